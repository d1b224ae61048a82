// morvane: checks XYZ structure files with the crystal library.
//
// What the module offers, as Python would write it.  Traceback entries
// added here ("morvane.read_xyz", "init morvane") name lines of this sketch.
//
//     """
//
//     Reference:
//         https://docs.python.org/3/c-api/unicode.html
//     """
//
//     def read_xyz(xyz_file_in, /):
//         if type(xyz_file_in) is not str and xyz_file_in is not None:
//             raise TypeError("Argument 'xyz_file_in' has incorrect type "
//                             f"(expected str, got {type(xyz_file_in).__name__})")
//         # Returns None once the named file has been read in full; the
//         # structure itself is discarded.  None fails on .encode below.
//         py_byte_string = xyz_file_in.encode("utf-8")
//         xyz_in = no_nul(py_byte_string)  # ValueError: embedded null character
//         c_read_xyz(xyz_in)  # OSError, ValueError, MemoryError; or a signal handler's error
//
// The module's state is process-wide, so only the first interpreter that
// imports it may use it.

#include <Python.h>
#include <frameobject.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "c_binding/morvane_c_binding.hpp"
#include "crystal/xyz_error.hpp"
#include "module/interpreter_version.hpp"

namespace {

// Owns one strong reference and releases it on every path out of a scope.
class Ref {
public:
    Ref() noexcept = default;
    explicit Ref(PyObject* owned) noexcept : p_(owned) {}
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Py_XDECREF(p_); }

    PyObject* get() const noexcept { return p_; }
    PyObject* release() noexcept { return std::exchange(p_, nullptr); }
    void reset(PyObject* owned = nullptr) noexcept { Py_XDECREF(std::exchange(p_, owned)); }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    PyObject* p_ = nullptr;
};

constexpr const char* module_name = "morvane";
constexpr const char* source_file = "morvane.cpp";
constexpr const char* read_xyz_frame = "morvane.read_xyz";
constexpr const char* init_frame = "init morvane";

// Lines of the sketch above that traceback entries point at.
constexpr int line_module = 1;
constexpr int line_def_read_xyz = 12;
constexpr int line_encode = 18;
constexpr int line_no_nul = 19;
constexpr int line_read = 20;

// Process-wide and never released: the module has no teardown, and the
// references must not be dropped after the interpreter has gone.
struct Module_state {
    PyObject* module = nullptr;    // strong, set by the exec that succeeds
    PyObject* dict = nullptr;      // borrowed from module
    PyObject* builtins = nullptr;  // strong
    PyObject* name = nullptr;      // interned "morvane"
    PyObject* read_xyz = nullptr;  // interned "read_xyz"
    PyObject* test = nullptr;      // interned "__test__"
    std::int64_t interpreter_id = -1;  // first interpreter to create the module
};
Module_state state;

// Synthetic code objects for traceback entries, made once per frame name and
// line.  Five entries at most: one per line number used above.
struct Code_entry {
    const char* function;
    int line;
    PyObject* code;
};
Code_entry code_cache[5];

PyObject* synthetic_code(const char* function, int line)
{
    for (Code_entry& entry : code_cache) {
        if (entry.code == nullptr) {
            entry = {function, line,
                     reinterpret_cast<PyObject*>(PyCode_NewEmpty(source_file, function, line))};
            return entry.code;
        }
        if (entry.line == line && std::strcmp(entry.function, function) == 0) return entry.code;
    }
    return nullptr;
}

// Adds a traceback entry for `function` at `line` to the pending exception.
// Failing to build the entry leaves the original exception as it was.
void add_traceback(const char* function, int line)
{
    if (state.dict == nullptr) return;
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    PyObject* code = synthetic_code(function, line);
    Ref frame;
    if (code != nullptr)
        frame.reset(reinterpret_cast<PyObject*>(PyFrame_New(
            PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code), state.dict, nullptr)));
    PyErr_Restore(type, value, traceback);
    if (frame) PyTraceBack_Here(reinterpret_cast<PyFrameObject*>(frame.get()));
}

PyObject* fail_in_read_xyz(int line)
{
    add_traceback(read_xyz_frame, line);
    return nullptr;
}

// Raises OSError(errno, reason, filename); the constructor picks the subclass
// (FileNotFoundError, PermissionError, ...) from errno.
void set_os_error(const zorvak_crystal::Xyz_error& e)
{
    const std::string& name = e.filename();
    Ref filename(PyUnicode_DecodeFSDefaultAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
    if (!filename) return;
    Ref args(Py_BuildValue("(isO)", e.sys_errno(), std::strerror(e.sys_errno()), filename.get()));
    if (!args) return;
    Ref error(PyObject_Call(PyExc_OSError, args.get(), nullptr));
    if (!error) return;
    PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.get())), error.get());
}

// The library's messages quote bytes from the file, which need not be UTF-8;
// those are shown escaped rather than losing the message to a decode error.
void set_library_error(PyObject* type, const char* what)
{
    Ref message(PyUnicode_DecodeUTF8(what, static_cast<Py_ssize_t>(std::strlen(what)), "backslashreplace"));
    if (message) PyErr_SetObject(type, message.get());
}

void set_read_error(const zorvak_crystal::Xyz_error& e)
{
    using zorvak_crystal::Error_kind;
    switch (e.kind()) {
    case Error_kind::cannot_open:
    case Error_kind::write_failed:
        set_os_error(e);
        return;
    case Error_kind::end_of_file:
    case Error_kind::bad_value:
        set_library_error(PyExc_ValueError, e.what());
        return;
    case Error_kind::out_of_memory:
        set_library_error(PyExc_MemoryError, e.what());
        return;
    case Error_kind::already_read:
        break;
    }
    // A fresh record is read every time, so this is a fault of the library.
    set_library_error(PyExc_SystemError, e.what());
}

// Asked before each wait for the file (a pipe with no writer yet, a silent
// one, or an endless stream), and when a signal cut one short: runs the
// Python handlers of the signals that came.  One that raises, as Ctrl-C's
// does, abandons the read with its exception set; otherwise the read goes on.
void check_signals()
{
    if (PyErr_CheckSignals() < 0) throw zorvak_crystal::Read_interrupted();
}

// Reads the named file; false with a Python exception set when it fails.
// The crystal library's exceptions stop here.
bool read_file(const char* xyz_in) noexcept
{
    try {
        morvane_c_binding::read_xyz_by_name(xyz_in, check_signals);
        return true;
    } catch (const zorvak_crystal::Read_interrupted&) {
        // The handler's exception is already set.
    } catch (const zorvak_crystal::Xyz_error& e) {
        set_read_error(e);
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_Format(PyExc_SystemError, "read_xyz(): %s", e.what());
    } catch (...) {
        PyErr_SetString(PyExc_SystemError, "read_xyz(): unknown failure in the crystal library");
    }
    return false;
}

PyObject* read_xyz(PyObject*, PyObject* xyz_file_in)
{
    // Exactly str: a subclass could override encode() and hand over
    // something other than the name it shows.
    if (Py_TYPE(xyz_file_in) != &PyUnicode_Type && xyz_file_in != Py_None) {
        PyErr_Format(PyExc_TypeError, "Argument '%.200s' has incorrect type (expected %.200s, got %.200s)",
                     "xyz_file_in", "str", Py_TYPE(xyz_file_in)->tp_name);
        return nullptr;
    }
    if (xyz_file_in == Py_None) {
        PyErr_Format(PyExc_AttributeError, "'NoneType' object has no attribute '%.30s'", "encode");
        return fail_in_read_xyz(line_encode);
    }
    Ref py_byte_string(PyUnicode_AsUTF8String(xyz_file_in));
    if (!py_byte_string) return fail_in_read_xyz(line_encode);

    char* xyz_in = nullptr;
    Py_ssize_t length = 0;
    if (PyBytes_AsStringAndSize(py_byte_string.get(), &xyz_in, &length) < 0)
        return fail_in_read_xyz(line_no_nul);
    // The reader takes a C string: a NUL would silently name another file.
    if (std::memchr(xyz_in, '\0', static_cast<std::size_t>(length)) != nullptr) {
        PyErr_SetString(PyExc_ValueError, "embedded null character");
        return fail_in_read_xyz(line_no_nul);
    }
    // The interpreter lock stays held for the whole read: reads are serialised.
    if (!read_file(xyz_in)) return fail_in_read_xyz(line_read);
    Py_RETURN_NONE;
}

// A text signature only: inspect sees the parameter, __doc__ stays None.
PyMethodDef read_xyz_def = {"read_xyz", read_xyz, METH_O, "read_xyz(xyz_file_in, /)\n--\n\n"};

// Copies spec.<from> into the module dict as <to>.  A missing attribute is
// skipped; None is skipped only where keep_none is false.
int copy_from_spec(PyObject* spec, PyObject* dict, const char* from, const char* to, bool keep_none)
{
    Ref value(PyObject_GetAttrString(spec, from));
    if (!value) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        return 0;
    }
    if (value.get() == Py_None && !keep_none) return 0;
    return PyDict_SetItemString(dict, to, value.get());
}

PyObject* create_module(PyObject* spec, PyModuleDef*)
{
    const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current == -1) return nullptr;
    if (state.interpreter_id == -1) {
        state.interpreter_id = current;
    } else if (state.interpreter_id != current) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one "
                        "interpreter per process.");
        return nullptr;
    }
    if (state.module != nullptr) {
        // The import machinery clears the state pointer of the module that
        // create returns, and exec then allocates a fresh (empty) block: the
        // block of the previous import would be lost on every re-import.
        PyMem_Free(PyModule_GetState(state.module));
        Py_INCREF(state.module);
        return state.module;
    }

    Ref name(PyObject_GetAttrString(spec, "name"));
    if (!name) return nullptr;
    Ref module(PyModule_NewObject(name.get()));
    if (!module) return nullptr;
    PyObject* dict = PyModule_GetDict(module.get());
    if (copy_from_spec(spec, dict, "loader", "__loader__", true) < 0
        || copy_from_spec(spec, dict, "origin", "__file__", true) < 0
        || copy_from_spec(spec, dict, "parent", "__package__", true) < 0
        || copy_from_spec(spec, dict, "submodule_search_locations", "__path__", false) < 0)
        return nullptr;
    return module.release();
}

// The module is built for one interpreter version; warn when another runs it.
int check_version()
{
    char compiled[32];
    std::snprintf(compiled, sizeof compiled, "%d.%d", PY_MAJOR_VERSION, PY_MINOR_VERSION);
    const std::string_view running = morvane_module::major_minor(Py_GetVersion());
    if (running == compiled) return 0;
    char running_text[32];
    std::snprintf(running_text, sizeof running_text, "%.*s", static_cast<int>(running.size()), running.data());
    return PyErr_WarnFormat(PyExc_RuntimeWarning, 1,
                            "compiletime version %s of module '%.100s' does not match runtime version %s",
                            compiled, module_name, running_text);
}

// Interned names, made once; after a failed exec the next one completes them.
bool intern_names()
{
    const std::pair<PyObject**, const char*> names[] = {
        {&state.name, module_name}, {&state.read_xyz, "read_xyz"}, {&state.test, "__test__"}};
    for (const auto& [slot, text] : names) {
        if (*slot == nullptr) *slot = PyUnicode_InternFromString(text);
        if (*slot == nullptr) return false;
    }
    return true;
}

// Under a package the module is still reachable as "morvane".
int enter_in_module_table(PyObject* module)
{
    PyObject* modules = PyImport_GetModuleDict();
    const int present = PySequence_Contains(modules, state.name);
    if (present != 0) return present < 0 ? -1 : 0;
    return PyObject_SetItem(modules, state.name, module);
}

int add_read_xyz(PyObject* dict)
{
    Ref function(PyCFunction_NewEx(&read_xyz_def, nullptr, state.name));
    if (!function) return -1;
    return PyDict_SetItem(dict, state.read_xyz, function.get());
}

int add_test_dict(PyObject* dict)
{
    Ref test(PyDict_New());
    if (!test) return -1;
    return PyDict_SetItem(dict, state.test, test.get());
}

// Fills the stored module; 0, or the sketch line to blame for a failure.
int fill_module(PyObject* module)
{
    if (state.builtins == nullptr) state.builtins = PyImport_ImportModule("builtins");
    if (state.builtins == nullptr
        || PyDict_SetItemString(state.dict, "__builtins__", state.builtins) < 0
        || !intern_names()
        || enter_in_module_table(module) < 0)
        return line_module;
    if (add_read_xyz(state.dict) < 0) return line_def_read_xyz;
    if (add_test_dict(state.dict) < 0) return line_module;
    return 0;
}

int exec_module(PyObject* module)
{
    if (state.module != nullptr) {
        if (state.module == module) return 0;
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'morvane' has already been imported. Re-initialisation is not supported.");
        return -1;
    }
    if (check_version() < 0) return -1;

    Py_INCREF(module);
    state.module = module;
    state.dict = PyModule_GetDict(module);
    const int failed_line = fill_module(module);
    if (failed_line == 0) return 0;

    if (PyErr_Occurred()) add_traceback(init_frame, failed_line);
    else PyErr_SetString(PyExc_ImportError, "init morvane");
    // Forget the module so that a later import starts afresh.
    state.dict = nullptr;
    Py_CLEAR(state.module);
    return -1;
}

PyModuleDef_Slot slots[] = {
    // Refuses a second interpreter; a repeated import gets the same module.
    {Py_mod_create, reinterpret_cast<void*>(create_module)},
    // Warns on a version mismatch and adds read_xyz, once per process.
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef def = {
    PyModuleDef_HEAD_INIT,
    module_name,
    "\nReference:\n    https://docs.python.org/3/c-api/unicode.html\n",
    0,  // no per-module state: it is process-wide
    nullptr,  // read_xyz is added by exec
    slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_morvane()
{
    return PyModuleDef_Init(&def);
}
