// Registers zorvak::Basis<T> as the Python class "Basis" + suffix.
#pragma once

#include <pybind11/complex.h>
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>

#include <string>

#include "bindings/fast_get.hpp"
#include "bindings/instance_safety.hpp"
#include "bindings/value_casters.hpp"
#include "linalg/basis.hpp"

namespace zorvak::bindings {

namespace py = pybind11;

template <typename T>
void bind_basis(py::module_& m, const std::string& suffix) {
    using B = Basis<T>;
    py::class_<B> cls(m, ("Basis" + suffix).c_str());
    cls
        .def(py::init<>())
        .def(py::self + py::self)
        .def(py::self - py::self)
        .def("get", &B::get)
        .def("set_size", &B::set_size)
        .def("set", &B::set)
        .def("zeros", py::overload_cast<>(&B::zeros))
        .def("zeros", py::overload_cast<int>(&B::zeros))
        .def("ones", py::overload_cast<>(&B::ones))
        .def("ones", py::overload_cast<int>(&B::ones))
        .def("randu", py::overload_cast<>(&B::randu))
        .def("randu", py::overload_cast<int>(&B::randu))
        .def("randn", py::overload_cast<>(&B::randn))
        .def("randn", py::overload_cast<int>(&B::randn))
        .def("print", &B::print);
    fast_get<&B::get>::install(m, cls, "get");
    own_deallocator<B>::install(cls);
}

}  // namespace zorvak::bindings
