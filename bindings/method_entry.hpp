// A C entry put in front of a pybind11 method as a method descriptor.
//
// pybind11 stores a method in its class as an instancemethod, so every
// `x.f(...)` first makes a bound method object and then calls through it.
// CPython skips that step for a class attribute whose type is flagged as a
// method descriptor (its own methods, Python functions): it calls the
// attribute with the instance as first argument.  The attribute installed
// here is such a descriptor for one entry, which is called like the
// pybind11 function (the instance first, then the arguments).  Read from
// the class, the attribute gives pybind11's attribute, as before; read from
// an instance, a method bound to the entry.  Its name, qualified name and
// docstring are the pybind11 function's.
#pragma once

#include <pybind11/pybind11.h>
#include <structmember.h>

#include <cstddef>

namespace zorvak::bindings {

namespace py = pybind11;

class method_entry {
public:
    using entry_function = PyObject* (*)(PyObject* const*, Py_ssize_t, PyObject*);

    // Replaces cls.<name>, which must be a pybind11 method, and returns the
    // pybind11 function, for the entry to forward to.  An installation lives
    // as long as the class, that is as long as the process, so nothing here
    // is ever released.
    template <typename PyClass>
    static PyObject* install(PyClass& cls, const char* name, entry_function entry) {
        PyObject* function = py::object(cls.attr(name)).release().ptr();
        auto* made = PyObject_New(method_entry, descriptor_type());
        if (made == nullptr) throw py::error_already_set();
        made->vectorcall = &call;
        made->entry = entry;
        made->function = function;
        py::setattr(cls, name, py::reinterpret_steal<py::object>(reinterpret_cast<PyObject*>(made)));
        return function;
    }

private:
    PyObject_HEAD
    vectorcallfunc vectorcall;
    entry_function entry;
    PyObject* function;  // pybind11's attribute, as the class gave it

    static PyObject* call(PyObject* self, PyObject* const* args, std::size_t nargsf, PyObject* kwnames) {
        return reinterpret_cast<method_entry*>(self)->entry(args, PyVectorcall_NARGS(nargsf), kwnames);
    }

    // From the class, pybind11's attribute; from an instance, a method bound
    // to the entry, so that a call through it takes the entry too.
    static PyObject* get(PyObject* self, PyObject* instance, PyObject*) {
        PyObject* function = reinterpret_cast<method_entry*>(self)->function;
        if (instance == nullptr || instance == Py_None) return Py_NewRef(function);
        return PyMethod_New(self, instance);
    }

    // What introspection reads from the class's attribute is the function's.
    static PyObject* function_attribute(PyObject* self, void* name) {
        return PyObject_GetAttrString(reinterpret_cast<method_entry*>(self)->function, static_cast<const char*>(name));
    }

    static PyTypeObject* descriptor_type() {
        static PyTypeObject* const type = [] {
            static PyMemberDef members[] = {
                {"__vectorcalloffset__", T_PYSSIZET, offsetof(method_entry, vectorcall), READONLY, nullptr},
                {nullptr, 0, 0, 0, nullptr},
            };
            static char doc[] = "__doc__", name[] = "__name__", qualname[] = "__qualname__";
            static PyGetSetDef attributes[] = {
                {doc, &function_attribute, nullptr, nullptr, doc},
                {name, &function_attribute, nullptr, nullptr, name},
                {qualname, &function_attribute, nullptr, nullptr, qualname},
                {nullptr, nullptr, nullptr, nullptr, nullptr},
            };
            static PyType_Slot slots[] = {
                {Py_tp_descr_get, reinterpret_cast<void*>(&get)},
                {Py_tp_call, reinterpret_cast<void*>(&PyVectorcall_Call)},
                {Py_tp_members, members},
                {Py_tp_getset, attributes},
                {0, nullptr},
            };
            static PyType_Spec spec = {
                "vorn.method_entry", sizeof(method_entry), 0,
                Py_TPFLAGS_DEFAULT | Py_TPFLAGS_METHOD_DESCRIPTOR | Py_TPFLAGS_HAVE_VECTORCALL |
                    Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_IMMUTABLETYPE,
                slots,
            };
            PyObject* made = PyType_FromSpec(&spec);
            if (made == nullptr) throw py::error_already_set();
            return reinterpret_cast<PyTypeObject*>(made);
        }();
        return type;
    }
};

}  // namespace zorvak::bindings
