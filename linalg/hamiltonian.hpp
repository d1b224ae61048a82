// zorvak::Hamiltonian<T>: an Operator told apart by its type alone.  It adds
// no data and no behaviour; every operation that builds a new object still
// yields a plain Operator.
#pragma once

#include "linalg/operator.hpp"

namespace zorvak {

template <typename T>
class Hamiltonian : public Operator<T> {};

}  // namespace zorvak
