// Registers zorvak::Hamiltonian<T> as "Hamiltonian" + suffix, a subclass of
// the Operator class of the same flavour, which must be registered first.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "bindings/instance_safety.hpp"
#include "bindings/value_casters.hpp"
#include "linalg/hamiltonian.hpp"

namespace zorvak::bindings {

namespace py = pybind11;

template <typename T>
void bind_hamiltonian(py::module_& m, const std::string& suffix) {
    py::class_<Hamiltonian<T>, Operator<T>> cls(m, ("Hamiltonian" + suffix).c_str());
    cls.def(py::init<>());
    class_swap_guard::watch(cls);
}

}  // namespace zorvak::bindings
