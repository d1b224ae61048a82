// zorvak::Hamiltonian<T>: an Operator told apart by its type alone.  It adds
// no data and no behaviour; every operation that builds a new object still
// yields a plain Operator.
#pragma once

#include <complex>

#include "linalg/operator.hpp"

namespace zorvak {

template <typename T>
class Hamiltonian : public Operator<T> {};

static_assert(sizeof(Hamiltonian<double>) == sizeof(Operator<double>) &&
                  sizeof(Hamiltonian<std::complex<double>>) == sizeof(Operator<std::complex<double>>),
              "a Hamiltonian is exactly its Operator base");

}  // namespace zorvak
