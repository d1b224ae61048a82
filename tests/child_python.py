"""Fresh interpreters for tests whose calls could crash, hang or change the
process: they find the modules where this interpreter does.  Such a child
may cap its own address space, to run a read out of memory on purpose.
Subinterpreters of a child, for the tests that import a module in one."""

import os
import re
import resource
import subprocess
import sys
import textwrap

# CPython's private subinterpreter module: _xxsubinterpreters up to 3.12,
# _interpreters from 3.13 on.
try:
    import _interpreters as _subinterpreters
except ImportError:
    try:
        import _xxsubinterpreters as _subinterpreters
    except ImportError:
        _subinterpreters = None

HAS_SUBINTERPRETERS = _subinterpreters is not None
# "isolated": its own GIL, the default; "legacy": shares the main
# interpreter's GIL.  Before 3.12 both are the legacy kind.
SUBINTERPRETER_KINDS = ("isolated", "legacy")


def child_env():
    return dict(os.environ, PYTHONPATH=os.pathsep.join(os.path.abspath(p) for p in sys.path if p))


def run_python(code, *args, cwd=None, timeout=60):
    """Runs code in a fresh interpreter.  A crash shows as a negative return
    code, a hang as TimeoutExpired."""
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code), *args],
                          capture_output=True, text=True, env=child_env(), cwd=cwd, timeout=timeout)


def in_subinterpreter(code, kind="isolated"):
    """Runs code in a new subinterpreter of the given kind, with this
    interpreter's sys.path, then destroys it.  Returns "done", or the
    exception the code ended in as "ImportError: message"."""
    code = f"import sys\nsys.path[:] = {sys.path!r}\n{code}"
    if _subinterpreters.__name__ == "_interpreters":
        interpreter = _subinterpreters.create(kind)
        try:
            failure = _subinterpreters.run_string(interpreter, code)
        finally:
            _subinterpreters.destroy(interpreter)
        return "done" if failure is None else failure.formatted
    interpreter = _subinterpreters.create(isolated=kind == "isolated")
    try:
        _subinterpreters.run_string(interpreter, code)
        return "done"
    except _subinterpreters.RunFailedError as error:
        # Its text is "<class 'ImportError'>: message".
        return re.sub(r"^<class '(?:\w+\.)*(\w+)'>", r"\1", str(error))
    finally:
        _subinterpreters.destroy(interpreter)


def import_refusals(module, own_message, kind):
    """The outcomes of a refused import of module in a subinterpreter of the
    given kind: the module's own ImportError, and where CPython checks the
    module's declared support first (3.12 on, in an isolated one), CPython's."""
    refusals = {f"ImportError: {own_message}"}
    if kind == "isolated" and sys.version_info >= (3, 12):
        refusals.add(f"ImportError: module {module} does not support loading in subinterpreters")
    return refusals


def cap_address_space(headroom):
    """Caps the address space of this process `headroom` bytes above what it
    uses now; for a child interpreter, as the cap cannot be lifted again."""
    with open("/proc/self/status") as status:
        in_use = next(int(l.split()[1]) * 1024 for l in status if l.startswith("VmSize:"))
    resource.setrlimit(resource.RLIMIT_AS, (in_use + headroom,) * 2)
