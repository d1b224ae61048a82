// Everything vorn reads or patches inside pybind11, and the only file that
// names pybind11::detail.  Checked against pybind11 2.10 to 2.13 and 3.0 to
// 3.1, the range pyproject.toml admits; where the lines differ, it says so
// beside the difference.  A new line is checked here first.
//
// What is read: the registry of bound classes (type records, the parts of
// an instance), the instance layout (which part holds which C++ object,
// and whether its holder was constructed), the instance base type, the
// exception translators, the module entry's internal macros, and the
// caster interface (a caster's name in signatures and its load).  What is
// done as pybind11 does it: an instance made for a C++ object that it takes
// over.  What is patched: the instance base type's tp_new.
//
// pybind11 3 keeps its registry per interpreter where 2.x keeps one for
// the process; vorn is refused in subinterpreters before either is
// touched, so both lines see the main interpreter's only.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <optional>
#include <typeinfo>
#include <vector>

#include "bindings/method_arguments.hpp"

namespace zorvak {
template <typename T>
class Operator;
template <typename T>
class Hamiltonian;
template <typename T>
class Basis;
}  // namespace zorvak

namespace zorvak::bindings {

namespace py = pybind11;

namespace internals {

// pybind11's record of a bound C++ class.
using bound_class = py::detail::type_info;

// The record of the bound class of `type`, or null when it is not bound.
inline const bound_class* bound_class_of(const std::type_info& type) { return py::detail::get_type_info(type); }

inline PyTypeObject* python_type(const bound_class* bound) { return bound->type; }

// The bound classes whose C++ objects make up an instance of `type`, one
// part each; empty for a type with no bound class in its bases.
inline const std::vector<bound_class*>& parts_of(PyTypeObject* type) { return py::detail::all_type_info(type); }

// The part of an instance of the bound class that pybind11's load reads as
// that class.
struct read_part {
    bool constructed;  // its holder holds a constructed object
    void* direct;      // the object, where it can be read without a cast (simple layout), else null
};

// What pybind11's load reads as `bound` in `self`, or nothing when self is
// not an instance of the bound class (or of a subclass).  With a simple
// layout that is the one object.  Otherwise the only part, or else the
// first that is the bound class or (no C++ multiple inheritance) derives
// from it; other parts pybind11 takes as redundant: in an instance of
// class N(HamiltonianReal, OperatorReal) the Hamiltonian part serves
// Operator methods too, and the Operator part is never built.  A bound
// subclass's object is read through the base pointer only when no class of
// the hierarchy uses C++ multiple inheritance.
inline std::optional<read_part> part_read_as(PyObject* self, const bound_class* bound) {
    if (!PyObject_TypeCheck(self, bound->type)) return std::nullopt;
    auto* inst = reinterpret_cast<py::detail::instance*>(self);
    if (inst->simple_layout) {
        const bool direct = Py_TYPE(self) == bound->type || bound->simple_type;
        return read_part{inst->simple_holder_constructed, direct ? inst->simple_value_holder[0] : nullptr};
    }
    const auto& parts = parts_of(Py_TYPE(self));
    if (Py_TYPE(self) == bound->type || parts.size() == 1) {
        return read_part{inst->get_value_and_holder(parts.front()).holder_constructed(), nullptr};
    }
    for (const bound_class* part : parts) {
        if (bound->simple_type ? PyType_IsSubtype(part->type, bound->type) != 0 : part->type == bound->type) {
            return read_part{inst->get_value_and_holder(part).holder_constructed(), nullptr};
        }
    }
    return read_part{true, nullptr};  // no part is read directly; pybind11 decides
}

// The C++ object behind self, when pybind11 would read it as `bound`
// without conversion: an instance of the bound class or of a subclass (a
// Python subclass, or a bound C++ subclass such as a Hamiltonian), with one
// C++ object whose holder is constructed and that pybind11 reads without a
// cast.  Null otherwise.
template <typename Class>
Class* direct_object(PyObject* self, const bound_class* bound) {
    const auto part = part_read_as(self, bound);
    if (!part || !part->constructed) return nullptr;
    return static_cast<Class*>(part->direct);
}

// A new instance of the bound class `bound` that takes `value` over: what
// pybind11 does with a returned std::unique_ptr (type_caster_generic::cast
// with take_ownership, then class_::init_instance from the holder), less
// its registry lookups, since the class record is known and a fresh object
// cannot be registered yet.  Null with the Python error set when the
// instance cannot be had; `value` is then deleted.
template <typename Value>
PyObject* instance_owning(std::unique_ptr<Value> value, const bound_class* bound) {
    PyObject* made = bound->type->tp_alloc(bound->type, 0);
    if (made == nullptr) return nullptr;
    auto self = py::reinterpret_steal<py::object>(made);
    auto* inst = reinterpret_cast<py::detail::instance*>(made);
    inst->allocate_layout();
    py::detail::value_and_holder part = inst->get_value_and_holder(bound);
    // Registered first: should that throw, the instance holds nothing yet.
    py::detail::register_instance(inst, value.get(), bound);
    part.value_ptr() = value.get();
    part.set_instance_registered();
    new (std::addressof(part.holder<std::unique_ptr<Value>>())) std::unique_ptr<Value>(std::move(value));
    part.set_holder_constructed();
    return self.release().ptr();
}

// The base type of every pybind11 instance, shared by all bound classes.
inline PyTypeObject* instance_base() {
    return reinterpret_cast<PyTypeObject*>(py::detail::get_internals().instance_base);
}

// Replaces a type's tp_new, returning the one it had.
inline newfunc replace_new(PyTypeObject* type, newfunc replacement) {
    const newfunc previous = type->tp_new;
    type->tp_new = replacement;
    return previous;
}

// Sets the Python error for the exception being handled, as pybind11's
// dispatcher does.  Call it only inside a catch block, for an exception
// that is not py::error_already_set.
inline void translate_active_exception() {
#if PYBIND11_VERSION_HEX >= 0x020D0000
    py::detail::try_translate_exceptions();
#else
    // The same, spelled out as the dispatcher of pybind11 2.10 to 2.12 does it.
    namespace detail = py::detail;
    if (!detail::apply_exception_translators(detail::get_local_internals().registered_exception_translators) &&
        !detail::apply_exception_translators(detail::get_internals().registered_exception_translators)) {
        PyErr_SetString(PyExc_SystemError, "Exception escaped from default exception translator!");
    }
#endif
}

// pybind11's caster for a bound class, which value_caster builds on.
template <typename Value>
using caster_base = py::detail::type_caster_base<Value>;

// PYBIND11_MODULE's entry, spelled out so that vorn can decide, before
// pybind11 touches its registry, whether to build a module at all
// (`existing` returns the module to hand out, or null to build one).  A
// failure of `build` becomes ImportError.
// The module stays single-phase on both lines (PYBIND11_MODULE itself is
// multi-phase from 3.0 on).  2.x calls the definition module_def, 3.x
// deprecates that name for PyModuleDef, which it stands for on both.
inline PyObject* module_entry(const char* name, PyModuleDef& definition, PyObject* (*existing)(),
                              void (*build)(py::module_&, PyModuleDef&)) {
    PYBIND11_CHECK_PYTHON_VERSION
    if (PyObject* module = existing(); module != nullptr || PyErr_Occurred()) return module;
    // 3.x: drops its cached pointer to the internals first and finds them
    // again, where 2.x only makes sure they exist.
    PYBIND11_ENSURE_INTERNALS_READY
    // 3.x takes a further argument, whether the module needs the GIL; its
    // default (it does) is 2.x's only behaviour.
    auto m = py::module_::create_extension_module(name, nullptr, &definition);
    try {
        build(m, definition);
        return m.ptr();  // the reference PyModule_Create made; m only borrowed it
    }
    PYBIND11_CATCH_INIT_EXCEPTIONS
    return nullptr;  // pybind11 3's macro ends without a return
}

}  // namespace internals

// The caster every bind_*.hpp uses for the value types (value_casters.hpp).
template <typename Value>
class value_caster;

// pybind11's caster for an argument type of method_arguments.hpp: the name
// signatures show for it, and its loader, the same on every pybind11 line.
// It is never returned, so it converts nothing back to Python.
template <typename Argument>
class argument_caster {
public:
    static constexpr auto name = py::detail::const_name(Argument::python_name);

    bool load(py::handle source, bool /*convert: one rule for both passes*/) {
        return load_argument(source.ptr(), value);
    }

    template <typename>
    using cast_op_type = Argument;
    operator Argument() const { return value; }

private:
    Argument value{};
};

}  // namespace zorvak::bindings

// The value types convert through value_caster, and the method arguments
// through argument_caster, in every translation unit that sees this header;
// value_casters.hpp completes value_caster.
namespace pybind11::detail {

template <typename T>
class type_caster<zorvak::Operator<T>> : public zorvak::bindings::value_caster<zorvak::Operator<T>> {};
template <typename T>
class type_caster<zorvak::Hamiltonian<T>> : public zorvak::bindings::value_caster<zorvak::Hamiltonian<T>> {};
template <typename T>
class type_caster<zorvak::Basis<T>> : public zorvak::bindings::value_caster<zorvak::Basis<T>> {};
template <>
class type_caster<zorvak::bindings::index_argument>
    : public zorvak::bindings::argument_caster<zorvak::bindings::index_argument> {};
template <>
class type_caster<zorvak::bindings::element_value>
    : public zorvak::bindings::argument_caster<zorvak::bindings::element_value> {};

}  // namespace pybind11::detail
