// Module entry of vorn: the six classes, registered in a fixed order.  The
// Hamiltonian classes look their Operator base up in pybind11's registry,
// so they come last.
#include <complex>

#include "bindings/bind_basis.hpp"
#include "bindings/bind_hamiltonian.hpp"
#include "bindings/bind_operator.hpp"

PYBIND11_MODULE(vorn, m) {
    using namespace zorvak::bindings;
    using complex_t = std::complex<double>;

    bind_operator<double>(m, "Real");
    bind_operator<complex_t>(m, "Complex");
    bind_basis<double>(m, "Real");
    bind_basis<complex_t>(m, "Complex");
    bind_hamiltonian<double>(m, "Real");
    bind_hamiltonian<complex_t>(m, "Complex");
}
