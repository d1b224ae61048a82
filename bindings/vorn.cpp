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

// pybind11 2.x sets up its process-wide registry under PyGILState_Ensure,
// which deadlocks when the calling thread holds the interpreter lock for a
// subinterpreter.  Once the main interpreter has imported vorn, CPython
// gives a subinterpreter a copy of the module without calling this entry.
bool in_main_interpreter() { return PyInterpreterState_Get() == PyInterpreterState_Main(); }

}  // namespace

// PYBIND11_MODULE spelled out, to refuse a subinterpreter before pybind11
// touches its registry.
PYBIND11_PLUGIN_IMPL(vorn) {
    PYBIND11_CHECK_PYTHON_VERSION
    if (!in_main_interpreter()) {
        PyErr_SetString(PyExc_ImportError,
                        "vorn cannot be initialised in a subinterpreter: import it in the main interpreter first");
        return nullptr;
    }
    PYBIND11_ENSURE_INTERNALS_READY
    static pybind11::module_::module_def definition;
    auto m = pybind11::module_::create_extension_module("vorn", nullptr, &definition);
    try {
        register_classes(m);
        return m.ptr();
    }
    PYBIND11_CATCH_INIT_EXCEPTIONS
}
