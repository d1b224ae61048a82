// A faster entry for the element readers `get`.
//
// pybind11's generic dispatcher costs a few hundred nanoseconds per call,
// several times numpy's scalar indexing, which matters for element loops
// written in Python.  The entry installed here handles the common call
// (an instance of exactly the bound class, plain ints that fit a 32-bit int)
// directly and hands every other call, and every call that fails, to the
// pybind11 function it replaces.  Conversions, overload errors, exception
// messages and the docstring therefore stay those of the pybind11 binding.
#pragma once

#include <pybind11/complex.h>
#include <pybind11/pybind11.h>

#include <array>
#include <climits>
#include <utility>

namespace zorvak::bindings {

namespace py = pybind11;

template <auto Getter>
struct fast_get;

template <typename Class, typename Result, typename... Index, Result (Class::*Getter)(Index...) const>
struct fast_get<Getter> {
    static constexpr Py_ssize_t arity = sizeof...(Index);

    // One installation per bound class: the class lives as long as the
    // process, so these are never released.
    static inline PyTypeObject* type = nullptr;
    static inline PyObject* fallback = nullptr;
    static inline PyObject* doc = nullptr;  // the fallback's __doc__, kept alive
    static inline PyMethodDef def{};

    static bool plain_int(PyObject* arg, int& out) {
        if (!PyLong_CheckExact(arg)) return false;
        int overflow = 0;
        const long value = PyLong_AsLongAndOverflow(arg, &overflow);
        if (overflow != 0 || value < INT_MIN || value > INT_MAX) return false;
        out = static_cast<int>(value);
        return true;
    }

    template <std::size_t... I>
    static PyObject* call_direct(Class& self, const std::array<int, arity>& index, std::index_sequence<I...>) {
        return py::cast((self.*Getter)(index[I]...)).release().ptr();
    }

    // Called as a plain function with the instance first, like the
    // pybind11 function it replaces, so that anything unusual (another
    // self type, keywords, other counts) can be forwarded unchanged.
    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        if (kwnames == nullptr && nargs == arity + 1 && Py_TYPE(args[0]) == type) {
            std::array<int, arity> index{};
            bool plain = true;
            for (Py_ssize_t k = 0; k < arity && plain; ++k) plain = plain_int(args[k + 1], index[k]);
            auto holder = reinterpret_cast<py::detail::instance*>(args[0])->get_value_and_holder();
            if (plain && holder.holder_constructed()) {
                try {
                    return call_direct(*holder.template value_ptr<Class>(), index,
                                       std::make_index_sequence<arity>{});
                } catch (...) {
                    // Fall through: the pybind11 function raises the
                    // translated exception with its own message.
                }
            }
        }
        return PyObject_Vectorcall(fallback, args, static_cast<size_t>(nargs), kwnames);
    }

    // Replaces cls.<name>, which must already be bound to Getter.
    template <typename PyClass>
    static void install(PyClass& cls, const char* name) {
        type = reinterpret_cast<PyTypeObject*>(cls.ptr());
        py::object bound = cls.attr(name);
        fallback = bound.release().ptr();
        doc = py::object(py::handle(fallback).attr("__doc__")).release().ptr();
        def.ml_name = name;
        def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call));
        def.ml_flags = METH_FASTCALL | METH_KEYWORDS;
        def.ml_doc = PyUnicode_AsUTF8(doc);
        if (def.ml_doc == nullptr) throw py::error_already_set();
        py::object module_name = cls.attr("__module__");
        auto function = py::reinterpret_steal<py::object>(PyCFunction_NewEx(&def, nullptr, module_name.ptr()));
        if (!function) throw py::error_already_set();
        // An instance method, as pybind11 stores its own methods.
        auto method = py::reinterpret_steal<py::object>(PyInstanceMethod_New(function.ptr()));
        if (!method) throw py::error_already_set();
        py::setattr(cls, name, method);
    }
};

}  // namespace zorvak::bindings
