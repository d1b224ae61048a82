// A C entry put in front of the pybind11 function bound to a method.
//
// It is called like that function (the instance first, then the
// arguments), handles what it can itself and forwards everything else
// unchanged, so that conversions, overload errors, exception messages and
// the docstring stay pybind11's.
#pragma once

#include <pybind11/pybind11.h>

namespace zorvak::bindings {

namespace py = pybind11;

class front_entry {
public:
    using entry_function = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

    // Replaces cls.<name>, which must already be bound.  An installation
    // lives as long as the class, that is as long as the process, so
    // nothing here is ever released.
    template <typename PyClass>
    void install(py::module_& module, PyClass& cls, const char* name, entry_function entry) {
        fallback = py::object(cls.attr(name)).release().ptr();
        doc = py::object(py::handle(fallback).attr("__doc__")).release().ptr();
        def.ml_name = name;
        def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
        def.ml_flags = METH_FASTCALL | METH_KEYWORDS;
        def.ml_doc = PyUnicode_AsUTF8(doc);
        if (def.ml_doc == nullptr) throw py::error_already_set();
        // A function of the module, as its self says.  pybind11 inspects the
        // self of a function it finds under a name it binds again (a
        // subclass's own __init__), and a null one would crash it.
        py::object module_name = cls.attr("__module__");
        auto function =
            py::reinterpret_steal<py::object>(PyCFunction_NewEx(&def, module.ptr(), module_name.ptr()));
        if (!function) throw py::error_already_set();
        // An instance method, as pybind11 stores its own methods.
        auto method = py::reinterpret_steal<py::object>(PyInstanceMethod_New(function.ptr()));
        if (!method) throw py::error_already_set();
        py::setattr(cls, name, method);
    }

    // The pybind11 function, called with the arguments as received.
    PyObject* forward(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) const {
        return PyObject_Vectorcall(fallback, args, static_cast<size_t>(nargs), kwnames);
    }

private:
    PyObject* fallback = nullptr;
    PyObject* doc = nullptr;  // the fallback's __doc__, which def.ml_doc points into
    PyMethodDef def{};
};

}  // namespace zorvak::bindings
