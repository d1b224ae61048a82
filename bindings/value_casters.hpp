// The caster of the value types (Operator, Hamiltonian, Basis), which every
// bind_*.hpp includes, so that every translation unit that binds them
// converts them alike.
//
// pybind11 lets None through as a null pointer when a function has no
// argument records (ours have none: their arguments are unnamed), and for
// an instance whose __init__ never ran it hands out freshly allocated,
// unconstructed storage.  A member call on either crashes.  This caster
// refuses both, so the call ends in pybind11's usual TypeError, or in
// NotImplemented for an operator.
#pragma once

#include "bindings/pybind11_internals.hpp"

namespace zorvak::bindings {

template <typename Value>
class value_caster : public internals::caster_base<Value> {
public:
    bool load(py::handle src, bool convert) {
        if (!src || src.is_none()) return false;
        if (const internals::bound_class* bound = this->typeinfo; bound != nullptr) {
            const auto part = internals::part_read_as(src.ptr(), bound);
            if (part && !part->constructed) return false;
        }
        return internals::caster_base<Value>::load(src, convert);
    }
};

}  // namespace zorvak::bindings
