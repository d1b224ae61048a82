// What keeps hostile but legal Python from crashing the interpreter through
// pybind11's instances: a method called with None or a never-initialised
// instance, a base class's __init__ called on a bound subclass's instance,
// __class__ or __bases__ assigned across vorn classes, and pickling with
// protocols 0 and 1.  All of it leans on pybind11's internals (instance layout, type
// registry, instance base type), read through pybind11_internals.hpp.
#pragma once

#include <pybind11/pybind11.h>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

#include <array>
#include <cstddef>
#include <cstring>
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

// CPython accepts `x.__class__ = other` and `T.__bases__ = (...)` when it
// finds the layouts alike, and every pybind11 class has the layout of
// pybind11's instance base: an OperatorReal could turn into an
// OperatorComplex over a real matrix.  Up to 3.14 CPython's own check is
// stopped by a difference it sees (the deallocators of two bound classes, a
// subclass's managed __dict__), but 3.15 counts a subclass that adds only
// __dict__ and __weakref__ as having its base's layout, and compares
// layouts only, no longer deallocators, for __bases__: subclasses of two
// vorn classes, and a vorn class given another's bases, pass.  Both
// assignments raise the audit event "object.__setattr__" on every version,
// before CPython's checks, so an audit hook refuses each that would change
// which vorn classes an object's type derives from, whatever the path
// (setattr, or the descriptor itself).  What keeps them CPython decides as
// before: two Python subclasses of one vorn class trade classes, a subclass
// and its bound class do not ("deallocator differs").
class class_swap_guard {
public:
    // Each bound class, as it is registered.
    template <typename PyClass>
    static void watch(PyClass& cls) {
        if (count == watched.size()) py::pybind11_fail("class_swap_guard: too many classes");
        watched[count++] = reinterpret_cast<PyTypeObject*>(cls.inc_ref().ptr());  // held for the process
    }

    // Once, after the classes; the hook lasts as long as the process.
    static void install() {
        if (installed) return;
        if (PySys_AddAuditHook(&audit, nullptr) != 0) {
            if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, "vorn could not add its audit hook");
            throw py::error_already_set();
        }
        installed = true;
    }

private:
    static inline std::array<PyTypeObject*, 8> watched{};
    static inline std::size_t count = 0;
    static inline bool installed = false;

    // The vorn classes `type` derives from (itself included), one bit each.
    static unsigned kinds(PyTypeObject* type) {
        unsigned bits = 0;
        for (std::size_t k = 0; k < count; ++k) {
            if (PyType_IsSubtype(type, watched[k])) bits |= 1u << k;
        }
        return bits;
    }

    static unsigned own_kind(PyTypeObject* type) {
        for (std::size_t k = 0; k < count; ++k) {
            if (type == watched[k]) return 1u << k;
        }
        return 0;
    }

    static int refuse(const char* attribute, PyTypeObject* to, PyTypeObject* from) {
        PyErr_Format(PyExc_TypeError, "%s assignment: '%s' object layout differs from '%s'", attribute, to->tp_name,
                     from->tp_name);
        return -1;
    }

    static int check_class(PyObject* object, PyObject* value) {
        if (!PyType_Check(value)) return 0;  // CPython refuses it itself
        auto* to = reinterpret_cast<PyTypeObject*>(value);
        if (kinds(to) == kinds(Py_TYPE(object))) return 0;
        return refuse("__class__", to, Py_TYPE(object));
    }

    // T's kinds after the assignment: its own, and those of its new bases.
    static int check_bases(PyObject* target, PyObject* value) {
        if (!PyType_Check(target) || !PyTuple_Check(value) || PyTuple_GET_SIZE(value) == 0) return 0;
        auto* type = reinterpret_cast<PyTypeObject*>(target);
        unsigned after = own_kind(type);
        for (Py_ssize_t k = 0; k < PyTuple_GET_SIZE(value); ++k) {
            PyObject* base = PyTuple_GET_ITEM(value, k);
            if (!PyType_Check(base)) return 0;
            after |= kinds(reinterpret_cast<PyTypeObject*>(base));
        }
        if (after == kinds(type)) return 0;
        return refuse("__bases__", reinterpret_cast<PyTypeObject*>(PyTuple_GET_ITEM(value, 0)), type->tp_base);
    }

    static int audit(const char* event, PyObject* args, void*) {
        if (std::strcmp(event, "object.__setattr__") != 0) return 0;
        // vorn lives in the main interpreter only; the hook serves them all.
        if (PyInterpreterState_Get() != PyInterpreterState_Main()) return 0;
        if (!PyTuple_Check(args) || PyTuple_GET_SIZE(args) != 3) return 0;
        PyObject* name = PyTuple_GET_ITEM(args, 1);
        if (!PyUnicode_Check(name)) return 0;
        if (PyUnicode_CompareWithASCIIString(name, "__class__") == 0) {
            return check_class(PyTuple_GET_ITEM(args, 0), PyTuple_GET_ITEM(args, 2));
        }
        if (PyUnicode_CompareWithASCIIString(name, "__bases__") == 0) {
            return check_bases(PyTuple_GET_ITEM(args, 0), PyTuple_GET_ITEM(args, 2));
        }
        return 0;
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
