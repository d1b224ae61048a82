// The index/size and element-value arguments of the bound methods.
//
// pybind11 3 renders an `int` parameter as "typing.SupportsInt |
// typing.SupportsIndex" and a `double` one as "typing.SupportsFloat |
// typing.SupportsIndex", and each pybind11 line converts them by rules of
// its own (2.x truncates a numpy.float32 index, for one).  The methods are
// therefore bound with argument types of the package's own, rendered "int"
// and "float" and converted by one rule on every line:
// - an index or size takes exactly what operator.index takes, within a
//   32-bit int;
// - an element value takes a real number: float, int, and objects with
//   __float__ or __index__, but no complex number (complex,
//   numpy.complex64, ...), whose imaginary part would be dropped.
#pragma once

#include <Python.h>

#include <climits>

namespace zorvak::bindings {

struct index_argument {
    static constexpr char python_name[] = "int";
    int value;
    operator int() const { return value; }
};

struct element_value {
    static constexpr char python_name[] = "float";
    double value;
    operator double() const { return value; }
};

// A Python reference released when it goes out of scope.
class owned_ref {
public:
    explicit owned_ref(PyObject* object) : object(object) {}
    owned_ref(const owned_ref&) = delete;
    owned_ref& operator=(const owned_ref&) = delete;
    ~owned_ref() { Py_XDECREF(object); }
    PyObject* get() const { return object; }

private:
    PyObject* object;
};

// Loaders: true with the value set, or false with no Python error set
// (pybind11 then tries the next overload, or raises its TypeError).
inline bool load_argument(PyObject* source, index_argument& out) {
    const owned_ref index(PyNumber_Index(source));  // operator.index's own rule
    if (index.get() == nullptr) {
        PyErr_Clear();
        return false;
    }
    int overflow = 0;
    const long value = PyLong_AsLongAndOverflow(index.get(), &overflow);
    if (overflow != 0 || value < INT_MIN || value > INT_MAX) return false;
    out.value = static_cast<int>(value);
    return true;
}

// numbers.Complex and numbers.Real, which numpy registers its scalar types
// with: a complex number is a Complex that is not a Real.  Taken once, at
// module initialisation (a lazy import here could run with another thread
// waiting on the same initialisation while holding the interpreter lock).
class number_kinds {
public:
    // False with a Python error set when numbers cannot be imported.
    static bool import() {
        if (complex_kind != nullptr) return true;
        const owned_ref numbers(PyImport_ImportModule("numbers"));
        if (numbers.get() == nullptr) return false;
        real_kind = PyObject_GetAttrString(numbers.get(), "Real");
        if (real_kind == nullptr) return false;
        complex_kind = PyObject_GetAttrString(numbers.get(), "Complex");
        return complex_kind != nullptr;
    }

    // -1 with a Python error set when an isinstance check fails.
    static int is_complex_number(PyObject* object) {
        if (PyComplex_Check(object)) return 1;
        const int complex = PyObject_IsInstance(object, complex_kind);
        if (complex <= 0) return complex;
        const int real = PyObject_IsInstance(object, real_kind);
        return real < 0 ? -1 : real == 0;
    }

private:
    // Held for the process, as the classes are.
    static inline PyObject* complex_kind = nullptr;
    static inline PyObject* real_kind = nullptr;
};

inline bool load_argument(PyObject* source, element_value& out) {
    if (PyFloat_Check(source)) {
        out.value = PyFloat_AS_DOUBLE(source);
        return true;
    }
    if (!PyLong_Check(source)) {
        const int complex = number_kinds::is_complex_number(source);
        if (complex != 0) {
            if (complex < 0) PyErr_Clear();
            return false;
        }
    }
    const double value = PyFloat_AsDouble(source);  // __float__, else __index__
    if (value == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        return false;
    }
    out.value = value;
    return true;
}

template <typename Argument>
struct python_argument {
    using type = Argument;
};
template <>
struct python_argument<int> {
    using type = index_argument;
};
template <>
struct python_argument<double> {
    using type = element_value;
};
template <typename Argument>
using python_argument_t = typename python_argument<Argument>::type;

// A member function as pybind11 binds it, with the argument types above in
// place of int and double.
template <auto Member>
struct with_python_arguments;

template <typename Class, typename Result, typename... Args, Result (Class::*Member)(Args...)>
struct with_python_arguments<Member> {
    static Result call(Class& self, python_argument_t<Args>... args) { return (self.*Member)(args...); }
};

template <typename Class, typename Result, typename... Args, Result (Class::*Member)(Args...) const>
struct with_python_arguments<Member> {
    static Result call(const Class& self, python_argument_t<Args>... args) { return (self.*Member)(args...); }
};

// The bound form of Member.
template <auto Member>
constexpr auto python_method = &with_python_arguments<Member>::call;

}  // namespace zorvak::bindings
