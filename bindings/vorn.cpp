// Module entry of vorn: the six classes, registered in a fixed order.  The
// Hamiltonian classes look their Operator base up in pybind11's registry,
// so they come after it, and the guard on the Operator __init__ last.
#include <complex>

#include "bindings/bind_basis.hpp"
#include "bindings/bind_hamiltonian.hpp"
#include "bindings/bind_operator.hpp"
#include "bindings/instance_safety.hpp"

namespace {

void register_classes(pybind11::module_& m) {
    using namespace zorvak::bindings;
    using complex_t = std::complex<double>;

    instance_base_guard::install();
    bind_operator<double>(m, "Real");
    bind_operator<complex_t>(m, "Complex");
    bind_basis<double>(m, "Real");
    bind_basis<complex_t>(m, "Complex");
    bind_hamiltonian<double>(m, "Real");
    bind_hamiltonian<complex_t>(m, "Complex");
    // The Hamiltonian classes derive from these.
    init_guard<zorvak::Operator<double>>::install(m);
    init_guard<zorvak::Operator<complex_t>>::install(m);
}

// pybind11 2.x keeps one registry and one set of classes for the process
// and takes the interpreter lock through the main interpreter's thread
// state (PyGILState_Ensure), so it deadlocks or breaks when called from a
// subinterpreter: at its set-up, and in any call that raises from there.
// vorn is therefore refused in every subinterpreter, also after the main
// interpreter has imported it.
bool in_main_interpreter() { return PyInterpreterState_Get() == PyInterpreterState_Main(); }

pybind11::module_::module_def definition;

// The module the main interpreter built, held for the process: its classes
// stay in pybind11's registry, so every later entry must hand it out
// rather than register them again.  CPython 3.13 runs this entry in the
// main interpreter when a subinterpreter imports vorn, then drops the
// module it got, so the interpreter's own module table cannot be asked.
PyObject* made_first = nullptr;

}  // namespace

// PYBIND11_MODULE spelled out, to refuse a subinterpreter before pybind11
// touches its registry and to hand a later import the module made first.
PYBIND11_PLUGIN_IMPL(vorn) {
    PYBIND11_CHECK_PYTHON_VERSION
    if (!in_main_interpreter()) {
        PyErr_SetString(PyExc_ImportError,
                        "vorn cannot be imported in a subinterpreter, only in the main interpreter");
        return nullptr;
    }
    // Imported before, taken out of sys.modules since, or built for a
    // subinterpreter's refused import: the same module.
    if (made_first != nullptr) {
        Py_INCREF(made_first);
        return made_first;
    }
    PYBIND11_ENSURE_INTERNALS_READY
    auto m = pybind11::module_::create_extension_module("vorn", nullptr, &definition);
    try {
        register_classes(m);
        // pybind11's m_size of -1 has CPython give every later import, in
        // any interpreter, a copy of this module's attributes without
        // calling this entry; with 0 it calls the entry each time.
        definition.m_size = 0;
        made_first = m.ptr();
        Py_INCREF(made_first);
        return m.ptr();  // the reference PyModule_Create made; m only borrowed it
    }
    PYBIND11_CATCH_INIT_EXCEPTIONS
}
