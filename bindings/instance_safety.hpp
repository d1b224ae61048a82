// What keeps hostile but legal Python from crashing the interpreter through
// pybind11's instances: a method called with None or a never-initialised
// instance, a base class's __init__ called on a bound subclass's instance,
// __class__ assigned between bound classes, and pickling with protocols 0
// and 1.  All of it leans on pybind11 2.x internals (instance layout, type
// registry, instance base type), hence the pin below 3.
#pragma once

#include <pybind11/pybind11.h>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

#include <typeinfo>

#include "bindings/front_entry.hpp"
#include "bindings/pybind11_internals.hpp"

#include "linalg/basis.hpp"
#include "linalg/hamiltonian.hpp"
#include "linalg/operator.hpp"

namespace zorvak::bindings {

namespace py = pybind11;

// Sets the Python error for the exception being handled, as pybind11's
// dispatcher does.  Call it only inside a catch block.
inline void raise_in_python() {
    try {
        throw;
    } catch (py::error_already_set& e) {
        e.restore();
#if defined(__GLIBCXX__)
    } catch (abi::__forced_unwind&) {
        throw;  // thread cancellation must go on unwinding
#endif
    } catch (...) {
        internals::translate_active_exception();
    }
}

// CPython accepts `x.__class__ = other` when both types have the same
// layout and deallocator, and every pybind11 class shares both, so an
// OperatorReal could turn into an OperatorComplex over a real matrix.  Each
// bound class gets a deallocator of its own (doing what the inherited one
// does), and CPython then refuses the assignment between them ("deallocator
// differs").  Python subclasses get CPython's own deallocator, so
// assignments among them are decided exactly as before.
template <typename Value>
struct own_deallocator {
    static inline freefunc inherited = nullptr;

    static void release(void* self) { inherited(self); }

    template <typename PyClass>
    static void install(PyClass& cls) {
        inherited = internals::replace_free(reinterpret_cast<PyTypeObject*>(cls.ptr()), &release);
    }
};

// Pickle protocols 0 and 1 copy the state of an instance's first built-in
// base by calling that base with the instance (copyreg._reduce_ex).  For a
// bound class the base is pybind11's instance base, whose constructor
// throws through CPython, and the process aborts, whenever the type has no
// bound C++ class.  The guard answers such a construction with TypeError,
// in the words of the default protocol when it is given an instance.
class instance_base_guard {
public:
    static void install() {
        PyTypeObject* base = internals::instance_base();
        if (base->tp_new == &construct) return;
        unguarded = internals::replace_new(base, &construct);
    }

private:
    static inline newfunc unguarded = nullptr;

    static bool is_bound(PyTypeObject* type) { return !internals::parts_of(type).empty(); }

    static PyObject* construct(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
        try {
            if (is_bound(type)) return unguarded(type, args, kwargs);
            if (args != nullptr && PyTuple_GET_SIZE(args) == 1 && is_bound(Py_TYPE(PyTuple_GET_ITEM(args, 0)))) {
                PyErr_Format(PyExc_TypeError, "cannot pickle '%s' object", Py_TYPE(PyTuple_GET_ITEM(args, 0))->tp_name);
            } else {
                PyErr_Format(PyExc_TypeError, "cannot create '%s' instances", type->tp_name);
            }
        } catch (...) {
            raise_in_python();
        }
        return nullptr;
    }
};

// pybind11's __init__ of a class looks up the part of self that belongs to
// the class and throws outside its own handlers, aborting the process, when
// self is an instance of a bound C++ subclass: OperatorReal.__init__ called
// on a HamiltonianReal finds no Operator part to construct.  The guard
// answers that call with pybind11's TypeError for an unfit self and
// forwards every other call to the pybind11 function.
template <typename Class>
struct init_guard {
    static inline PyTypeObject* type = nullptr;
    static inline const internals::bound_class* bound = nullptr;
    static inline front_entry front;

    static bool has_own_part(PyObject* self) {
        for (const internals::bound_class* part : internals::parts_of(Py_TYPE(self))) {
            if (part == bound) return true;
        }
        return false;
    }

    static PyObject* call(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
        try {
            if (nargs >= 1 && PyObject_TypeCheck(args[0], type) && !has_own_part(args[0])) {
                PyErr_SetString(PyExc_TypeError, "__init__(self, ...) called with invalid or missing `self` argument");
                return nullptr;
            }
        } catch (...) {
            raise_in_python();
            return nullptr;
        }
        return front.forward(args, nargs, kwnames);
    }

    // Replaces the __init__ of Class's bound class.  Install it once the
    // bound subclasses have bound their own __init__: pybind11 2.10.0 and
    // 2.10.1 take whatever function a class has under the name they bind
    // (here the inherited __init__) for one of their own.
    static void install(py::module_& module) {
        bound = internals::bound_class_of(typeid(Class));
        if (bound == nullptr) py::pybind11_fail("init_guard: the class is not bound");
        type = internals::python_type(bound);
        py::type cls = py::type::of<Class>();
        front.install(module, cls, "__init__", &call);
    }
};

}  // namespace zorvak::bindings
