// A faster entry for the element readers `get`.
//
// pybind11's generic dispatcher costs a few hundred nanoseconds per call,
// several times numpy's scalar indexing, which matters for element loops
// written in Python.  The entry installed here handles the common call
// (plain ints that fit a 32-bit int, on an instance whose constructed C++
// object pybind11 itself would read as the bound class) directly and hands
// every other call, and every call that fails, to the pybind11 function it
// replaces.  Conversions, overload errors, exception messages and the
// docstring therefore stay those of the pybind11 binding.
//
// The instance test is pybind11's own reading of an instance
// (pybind11_internals.hpp).
#pragma once

#include <pybind11/complex.h>
#include <pybind11/pybind11.h>

#include <array>
#include <climits>
#include <exception>
#include <optional>
#include <typeinfo>
#include <utility>

#include "bindings/front_entry.hpp"
#include "bindings/pybind11_internals.hpp"

namespace zorvak::bindings {

namespace py = pybind11;

template <auto Getter>
struct fast_get;

template <typename Class, typename Result, typename... Index, Result (Class::*Getter)(Index...) const>
struct fast_get<Getter> {
    static constexpr Py_ssize_t arity = sizeof...(Index);

    // One installation per bound class.
    static inline const internals::bound_class* bound = nullptr;
    static inline front_entry front;

    static bool plain_int(PyObject* arg, int& out) {
        if (!PyLong_CheckExact(arg)) return false;
        int overflow = 0;
        const long value = PyLong_AsLongAndOverflow(arg, &overflow);
        if (overflow != 0 || value < INT_MIN || value > INT_MAX) return false;
        out = static_cast<int>(value);
        return true;
    }

    template <std::size_t... I>
    static Result call_direct(const Class& self, const std::array<int, arity>& index, std::index_sequence<I...>) {
        return (self.*Getter)(index[I]...);
    }

    // Anything unusual (another self type, keywords, other counts, other
    // argument types, a failing read) goes to the pybind11 function.
    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        if (kwnames == nullptr && nargs == arity + 1) {
            const Class* self = internals::direct_object<Class>(args[0], bound);
            std::array<int, arity> index{};
            bool plain = self != nullptr;
            for (Py_ssize_t k = 0; k < arity && plain; ++k) plain = plain_int(args[k + 1], index[k]);
            if (plain) {
                std::optional<Result> value;
                try {
                    value = call_direct(*self, index, std::make_index_sequence<arity>{});
                } catch (const std::exception&) {
                    // No Python error is set here: the pybind11 function
                    // below raises the translated exception with its message.
                }
                // Null with the error set if Python cannot allocate the result.
                if (value) return py::cast(*value).release().ptr();
            }
        }
        return front.forward(args, nargs, kwnames);
    }

    // Replaces cls.<name>, which must already be bound to Getter.
    template <typename PyClass>
    static void install(py::module_& module, PyClass& cls, const char* name) {
        bound = internals::bound_class_of(typeid(Class));
        if (bound == nullptr || internals::python_type(bound) != reinterpret_cast<PyTypeObject*>(cls.ptr())) {
            py::pybind11_fail("fast_get: the class is not bound");
        }
        front.install(module, cls, name, &call);
    }
};

}  // namespace zorvak::bindings
