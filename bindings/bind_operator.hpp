// Registers zorvak::Operator<T> as the Python class "Operator" + suffix.
#pragma once

#include <pybind11/complex.h>
#include <pybind11/operators.h>
#include <pybind11/pybind11.h>

#include <string>

#include "bindings/fast_get.hpp"
#include "bindings/fast_result.hpp"
#include "bindings/instance_safety.hpp"
#include "bindings/method_arguments.hpp"
#include "bindings/value_casters.hpp"
#include "linalg/operator.hpp"

namespace zorvak::bindings {

namespace py = pybind11;

template <typename T>
void bind_operator(py::module_& m, const std::string& suffix) {
    using Op = Operator<T>;
    // Rows stand on the class in this order; the overloads of one name are
    // tried in it, so the no-argument fill comes before the sized one.
    py::class_<Op> cls(m, ("Operator" + suffix).c_str());
    cls
        .def(py::init<>())
        .def("eigen", &Op::eigen)
        .def(py::self + py::self)
        .def(py::self - py::self)
        .def(py::self * py::self)
        .def("transpose", &Op::transpose)
        .def("inplace_transpose", &Op::inplace_transpose)
        .def("inverse", &Op::inverse)
        .def("is_hermitian", &Op::is_hermitian)
        .def("is_symmetric", &Op::is_symmetric)
        .def("det", &Op::det)
        .def("get", python_method<&Op::get>)
        .def("set_size", python_method<&Op::set_size>)
        .def("set", python_method<&Op::set>)
        .def("zeros", py::overload_cast<>(&Op::zeros))
        .def("zeros", python_method<py::overload_cast<int, int>(&Op::zeros)>)
        .def("ones", py::overload_cast<>(&Op::ones))
        .def("ones", python_method<py::overload_cast<int, int>(&Op::ones)>)
        .def("randu", py::overload_cast<>(&Op::randu))
        .def("randu", python_method<py::overload_cast<int, int>(&Op::randu)>)
        .def("randn", py::overload_cast<>(&Op::randn))
        .def("randn", python_method<py::overload_cast<int, int>(&Op::randn)>)
        .def("eye", py::overload_cast<>(&Op::eye))
        .def("eye", python_method<py::overload_cast<int, int>(&Op::eye)>)
        .def("print", &Op::print)
        .def("print_eigen", &Op::print_eigen);
    fast_get<&Op::get>::install(m, cls, "get");
    fast_result<&Op::transpose_into>::install(cls, "transpose");
    class_swap_guard::watch(cls);
}

}  // namespace zorvak::bindings
