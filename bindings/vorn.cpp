// Module entry of vorn: the six classes, registered in a fixed order.
#include <complex>

#include "bindings/bind_basis.hpp"
#include "bindings/bind_hamiltonian.hpp"
#include "bindings/bind_operator.hpp"
#include "bindings/instance_safety.hpp"
#include "bindings/pybind11_internals.hpp"

namespace {

// The order is behaviour:
// - the instance base's guard goes on before any class is made, so that no
//   instance of a bound class is ever built without it;
// - the classes come in the order of the module's documented listing, each
//   Operator before the Hamiltonian of its flavour, which looks its base up
//   in pybind11's registry;
// - the guards on the Operator __init__ go on last: pybind11 2.10.0 and
//   2.10.1 take whatever function a class has under the name they bind (for
//   a Hamiltonian, the inherited __init__) for one of their own, so the
//   Hamiltonians must have bound theirs first.
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
    init_guard<zorvak::Operator<double>>::install(m);
    init_guard<zorvak::Operator<complex_t>>::install(m);
    class_swap_guard::install();
}

// pybind11 2.x keeps one registry and one set of classes for the process
// and takes the interpreter lock through the main interpreter's thread
// state (PyGILState_Ensure), so it deadlocks or breaks when called from a
// subinterpreter: at its set-up, and in any call that raises from there.
// 3.x keeps a registry per interpreter, but only for a module that says it
// may be loaded in several (multi-phase, PYBIND11_MODULE's
// multiple_interpreters), which vorn, single-phase and patching pybind11's
// process-wide types, is not.
// vorn is therefore refused in every subinterpreter, also after the main
// interpreter has imported it.
bool in_main_interpreter() { return PyInterpreterState_Get() == PyInterpreterState_Main(); }

PyModuleDef definition;

// The module the main interpreter built, held for the process: its classes
// stay in pybind11's registry, so every later entry must hand it out
// rather than register them again.  CPython 3.13 runs this entry in the
// main interpreter when a subinterpreter imports vorn, then drops the
// module it got, so the interpreter's own module table cannot be asked.
PyObject* made_first = nullptr;

// The module to hand out without building one, or null with ImportError
// set in a subinterpreter, or null to build it.
PyObject* existing_module() {
    if (!in_main_interpreter()) {
        PyErr_SetString(PyExc_ImportError,
                        "vorn cannot be imported in a subinterpreter, only in the main interpreter");
        return nullptr;
    }
    // Imported before, taken out of sys.modules since, or built for a
    // subinterpreter's refused import: the same module.
    Py_XINCREF(made_first);
    return made_first;
}

void build_module(pybind11::module_& m, PyModuleDef& def) {
    if (!zorvak::bindings::number_kinds::import()) throw pybind11::error_already_set();
    register_classes(m);
    // pybind11's m_size of -1 has CPython give every later import, in any
    // interpreter, a copy of this module's attributes without calling this
    // entry; with 0 it calls the entry each time.
    def.m_size = 0;
    made_first = m.ptr();
    Py_INCREF(made_first);
}

}  // namespace

extern "C" PYBIND11_EXPORT PyObject* PyInit_vorn() {
    return zorvak::bindings::internals::module_entry("vorn", definition, &existing_module, &build_module);
}
