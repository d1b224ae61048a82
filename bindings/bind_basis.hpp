// Registers zorvak::Basis<T> as the Python class "Basis" + suffix.
#pragma once

#include <pybind11/complex.h>
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>

#include <string>

#include "bindings/fast_get.hpp"
#include "bindings/instance_safety.hpp"
#include "bindings/method_arguments.hpp"
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
        .def("get", python_method<&B::get>)
        .def("set_size", python_method<&B::set_size>)
        .def("set", python_method<&B::set>)
        .def("zeros", py::overload_cast<>(&B::zeros))
        .def("zeros", python_method<py::overload_cast<int>(&B::zeros)>)
        .def("ones", py::overload_cast<>(&B::ones))
        .def("ones", python_method<py::overload_cast<int>(&B::ones)>)
        .def("randu", py::overload_cast<>(&B::randu))
        .def("randu", python_method<py::overload_cast<int>(&B::randu)>)
        .def("randn", py::overload_cast<>(&B::randn))
        .def("randn", python_method<py::overload_cast<int>(&B::randn)>)
        .def("print", &B::print);
    fast_get<&B::get>::install(m, cls, "get");
    class_swap_guard::watch(cls);
}

}  // namespace zorvak::bindings
