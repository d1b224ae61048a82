// A faster entry for `transpose`, a method without arguments that returns
// a new object.
//
// For a small matrix pybind11's way through a call costs more than the
// transpose itself: the bound method object made for each call, the
// generic dispatcher, and the cast of the result (registry lookups, then a
// copy of the returned value onto the heap).  The entry installed here, a
// method descriptor (method_entry.hpp), serves the plain call (no
// arguments, on an instance whose constructed C++ object pybind11 itself
// would read as the bound class) directly: it makes a default-constructed
// result on the heap, has the value type fill it (Fill is the method's form
// that writes into a fresh result) and hands it to a new instance of the
// result's bound class, as pybind11 hands over a returned std::unique_ptr.
// An exception is translated as pybind11's dispatcher translates it, the
// object untouched; every other call goes to the pybind11 function, so that
// overload errors and the docstring stay pybind11's.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <memory>
#include <typeinfo>

#include "bindings/instance_safety.hpp"
#include "bindings/method_entry.hpp"
#include "bindings/pybind11_internals.hpp"

namespace zorvak::bindings {

namespace py = pybind11;

template <auto Fill>
struct fast_result;

template <typename Class, typename Result, void (Class::*Fill)(Result&) const>
struct fast_result<Fill> {
    // One installation per bound class.
    static inline const internals::bound_class* bound = nullptr;
    static inline const internals::bound_class* result_class = nullptr;
    static inline PyObject* fallback = nullptr;  // the pybind11 function

    static PyObject* call(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        if (kwnames == nullptr && nargs == 1) {
            if (const auto* self = internals::direct_object<Class>(args[0], bound)) {
                try {
                    auto result = std::make_unique<Result>();
                    (self->*Fill)(*result);
                    return internals::instance_owning(std::move(result), result_class);
                } catch (...) {
                    raise_in_python();
                    return nullptr;
                }
            }
        }
        return PyObject_Vectorcall(fallback, args, static_cast<std::size_t>(nargs), kwnames);
    }

    // Replaces cls.<name>, which must already be bound to the method that
    // returns what Fill writes.
    template <typename PyClass>
    static void install(PyClass& cls, const char* name) {
        bound = internals::bound_class_of(typeid(Class));
        result_class = internals::bound_class_of(typeid(Result));
        if (bound == nullptr || internals::python_type(bound) != reinterpret_cast<PyTypeObject*>(cls.ptr()) ||
            result_class == nullptr) {
            py::pybind11_fail("fast_result: the class or its result is not bound");
        }
        fallback = method_entry::install(cls, name, &call);
    }
};

}  // namespace zorvak::bindings
