// Module entry of vorn: the classes, registered in a fixed order.  The
// Hamiltonian classes look their Operator base up in pybind11's registry,
// so they come after it.
#include <complex>

#include "bindings/bind_operator.hpp"

PYBIND11_MODULE(vorn, m) {
    using zorvak::bindings::bind_operator;
    using complex_t = std::complex<double>;

    bind_operator<double>(m, "Real");
    bind_operator<complex_t>(m, "Complex");
}
