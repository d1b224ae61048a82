import builtins
import errno
import fcntl
import inspect
import os
import pathlib
import select
import signal
import subprocess
import sys
import textwrap
import time
import traceback

import pytest

import morvane
from child_python import (HAS_SUBINTERPRETERS, SUBINTERPRETER_KINDS, child_env, import_refusals,
                          run_python)

WATER = """\
3
cell: 10.0 0.0 0.0 | 0.0 10.0 0.0 | 0.0 0.0 10.0
8 0.0 0.0 0.1174
1 0.0 0.7572 -0.4696
1 0.0 -0.7572 -0.4696
"""


@pytest.fixture
def good_file(tmp_path):
    path = tmp_path / "water.xyz"
    path.write_text(WATER)
    return str(path)


def last_entry(excinfo):
    return traceback.extract_tb(excinfo.tb)[-1]


def python_reading_a_pipe(code, *args):
    """code in a fresh interpreter whose standard input is a pipe from here."""
    return subprocess.Popen([sys.executable, "-c", textwrap.dedent(code), *args],
                            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, env=child_env())


# Under ASan (./dev sanitize) freed memory is held back, and memory refused
# ends the process instead of raising.
SANITIZED = "asan" in os.environ.get("LD_PRELOAD", "")
under_sanitizer = pytest.mark.skipif(SANITIZED, reason="memory is measured without the sanitizer")


# -- module surface ---------------------------------------------------------

def test_module_attributes():
    spec = morvane.__spec__
    assert morvane.__name__ == "morvane"
    assert morvane.__file__ == spec.origin
    assert morvane.__loader__ is spec.loader
    assert morvane.__package__ == spec.parent
    assert not hasattr(morvane, "__path__"), "a plain module has no __path__"
    assert morvane.__builtins__ is builtins
    assert morvane.__test__ == {} and type(morvane.__test__) is dict
    assert morvane.__doc__.startswith("\nReference:\n    http"), repr(morvane.__doc__)
    assert sys.modules["morvane"] is morvane


def test_read_xyz_is_a_builtin_without_docstring():
    f = morvane.read_xyz
    assert (f.__name__, f.__module__, f.__doc__) == ("read_xyz", "morvane", None)
    assert type(f).__name__ == "builtin_function_or_method"
    assert str(inspect.signature(f)) == "(xyz_file_in, /)"


def test_repeated_import_gives_the_same_module():
    import importlib

    saved = sys.modules.pop("morvane")
    try:
        again = importlib.import_module("morvane")
        assert again is saved
        assert importlib.reload(again) is saved
    finally:
        sys.modules["morvane"] = saved


def test_good_read_returns_none_and_prints_nothing(good_file, capfd):
    assert morvane.read_xyz(good_file) is None
    assert capfd.readouterr() == ("", "")


def test_sample_file_reads():
    sample = os.path.join(os.path.dirname(__file__), os.pardir, "examples", "water.xyz")
    assert morvane.read_xyz(os.path.abspath(sample)) is None


# -- argument checks --------------------------------------------------------

class StrSub(str):
    pass


@pytest.mark.parametrize("arg, type_name", [
    (b"water.xyz", "bytes"),
    (1, "int"),
    (StrSub("water.xyz"), "StrSub"),
    (pathlib.Path("water.xyz"), "PosixPath"),
])
def test_non_str_argument_is_a_type_error(arg, type_name):
    with pytest.raises(TypeError) as excinfo:
        morvane.read_xyz(arg)
    assert str(excinfo.value) == (
        f"Argument 'xyz_file_in' has incorrect type (expected str, got {type_name})")
    assert last_entry(excinfo).name != "morvane.read_xyz", "the type check adds no entry"


@pytest.mark.parametrize("args, kwargs, message", [
    ((), {}, "takes exactly one argument (0 given)"),
    (("a", "b"), {}, "takes exactly one argument (2 given)"),
    ((), {"xyz_file_in": "a"}, "takes no keyword arguments"),
])
def test_argument_count_is_checked_by_the_interpreter(args, kwargs, message):
    with pytest.raises(TypeError, match=message.replace("(", r"\(").replace(")", r"\)")):
        morvane.read_xyz(*args, **kwargs)


# -- errors after the type check: exception, traceback entry, session goes on

def missing_file(tmp_path):
    return str(tmp_path / "no such file.xyz")


@pytest.mark.parametrize("make_arg, exc_type, message, line", [
    (lambda tmp: None, AttributeError, "'NoneType' object has no attribute 'encode'", 18),
    (lambda tmp: "water\udc80.xyz", UnicodeEncodeError, None, 18),
    (lambda tmp: str(tmp / "water.xyz") + "\0.txt", ValueError, "embedded null character", 19),
    (missing_file, FileNotFoundError, None, 20),
    (lambda tmp: str(tmp), IsADirectoryError, None, 20),
], ids=["None", "surrogate", "embedded NUL", "missing file", "directory"])
def test_error_carries_entry_and_session_goes_on(tmp_path, good_file, make_arg, exc_type,
                                                 message, line):
    with pytest.raises(exc_type) as excinfo:
        morvane.read_xyz(make_arg(tmp_path))
    if message is not None:
        assert str(excinfo.value) == message
    entry = last_entry(excinfo)
    assert (entry.name, entry.filename, entry.lineno) == ("morvane.read_xyz", "morvane.cpp", line)
    assert morvane.read_xyz(good_file) is None


def test_missing_file_is_an_os_error_with_errno_and_filename(tmp_path):
    name = missing_file(tmp_path)
    with pytest.raises(FileNotFoundError) as excinfo:
        morvane.read_xyz(name)
    assert (excinfo.value.errno, excinfo.value.filename) == (errno.ENOENT, name)


def test_trailing_blanks_are_dropped_leading_blanks_kept(tmp_path, good_file, monkeypatch):
    monkeypatch.chdir(tmp_path)
    assert morvane.read_xyz("water.xyz   ") is None
    with pytest.raises(FileNotFoundError):
        morvane.read_xyz(" water.xyz")


@pytest.mark.parametrize("text, line, item", [
    ("2.0\ncell: 1 0 0 | 0 1 0 | 0 0 1\n", 1, 1),
    ("1\nLattice vectors follow\n1 0 0 0\n", 2, 2),
    ("1\ncell: 1 0 0 | 0 1 0 | 0 0 1\nO 0.0 0.0 0.1\n", 3, 1),
    ("1\ncell: 1 0 0 | 0 1 0 | 0 0 1\n99999999999 0 0 0\n", 3, 1),
    ("1\ncell: 1 0 0 | 0 1 0 | 0 0 1\n8 0 zero 0\n", 3, 3),
    ("3\ncell: 1 0 0 | 0 1 0 | 0 0 1\n8 0 0 0\n", 4, 1),
    ("2\ncell: 1 0 0 | 0 1 0 | 0 0 1\n8 0 0 0\n1 0 0", 4, 4),
    ("1\ncell: 1 0 0 | 0 1 0 | 0 0 1\n8 0 0 \xff\n", 3, 4),
], ids=["real count", "free-text cell line", "symbol for number", "number beyond 32 bits",
        "bad coordinate", "missing atom line", "end of file inside a line", "byte not UTF-8"])
def test_malformed_file_is_a_value_error_naming_file_line_item(tmp_path, good_file, text,
                                                               line, item):
    path = tmp_path / "bad.xyz"
    path.write_bytes(text.encode("latin-1"))
    with pytest.raises(ValueError) as excinfo:
        morvane.read_xyz(str(path))
    message = str(excinfo.value)
    assert str(path) in message and f"line {line}" in message and f"item {item}" in message, \
        message
    assert last_entry(excinfo).name == "morvane.read_xyz"
    assert morvane.read_xyz(good_file) is None


def test_non_ascii_name_reads(tmp_path):
    path = tmp_path / "wässer.xyz"
    path.write_text(WATER)
    assert morvane.read_xyz(str(path)) is None


def long_path(tmp_path):
    """A valid file whose absolute path is well over 128 bytes."""
    directory = tmp_path.joinpath(*["d" * 40] * 4)
    directory.mkdir(parents=True)
    path = directory / "water.xyz"
    path.write_text(WATER)
    assert len(os.fsencode(path)) > 200
    return str(path)


def test_long_name_is_not_cut(tmp_path):
    assert morvane.read_xyz(long_path(tmp_path)) is None


# -- the C entry, through ctypes in a child process -------------------------

C_ENTRY = """
    import ctypes, sys, morvane
    entry = ctypes.CDLL(morvane.__file__).c_read_xyz
    entry.argtypes = [ctypes.c_char_p]
    entry(None if sys.argv[1] == "NULL" else sys.argv[1].encode())
    print("returned")
"""


def test_c_entry_returns_on_a_good_file(tmp_path):
    result = run_python(C_ENTRY, long_path(tmp_path))
    assert (result.returncode, result.stdout, result.stderr) == (0, "returned\n", "")


@pytest.mark.parametrize("name, shown", [
    ("missing.xyz", "missing.xyz"),
    ("NULL", "''"),
    ("bad.xyz", "bad.xyz"),
], ids=["missing file", "null pointer", "malformed file"])
def test_c_entry_exits_with_status_2_and_a_diagnostic(tmp_path, name, shown):
    (tmp_path / "bad.xyz").write_text("1\ncell: 1 0 0 | 0 1 0 | 0 0 1\nO 0 0 0\n")
    result = run_python(C_ENTRY, name, cwd=tmp_path)
    assert result.returncode == 2, result.stderr
    assert result.stdout == ""
    assert shown in result.stderr and result.stderr.count("\n") == 1, result.stderr


# -- one interpreter per process, and the module table ----------------------

@pytest.mark.skipif(not HAS_SUBINTERPRETERS, reason="needs CPython's private subinterpreter module")
@pytest.mark.parametrize("kind", SUBINTERPRETER_KINDS)
def test_second_interpreter_is_refused(kind):
    result = run_python("""
        import sys, morvane
        from child_python import in_subinterpreter
        print(in_subinterpreter("import morvane", sys.argv[2]))
        morvane.read_xyz(sys.argv[1])
    """, os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir, "examples",
                                      "water.xyz")), kind)
    assert result.returncode == 0, result.stderr
    own = ("Interpreter change detected - this module can only be loaded into one interpreter "
           "per process.")
    assert result.stdout[:-1] in import_refusals("morvane", own, kind), result.stdout


def test_import_as_submodule_enters_module_table(tmp_path):
    package = tmp_path / "pkg"
    package.mkdir()
    (package / "__init__.py").write_text("")
    os.symlink(morvane.__file__, package / os.path.basename(morvane.__file__))
    result = run_python("""
        import sys
        sys.path.insert(0, sys.argv[1])
        import pkg.morvane
        assert sys.modules["morvane"] is pkg.morvane, sys.modules.get("morvane")
        assert pkg.morvane.__name__ == "pkg.morvane" and pkg.morvane.__package__ == "pkg"
    """, str(tmp_path))
    assert result.returncode == 0, result.stderr


# -- running out of memory, in a child with a capped address space -----------

OUT_OF_MEMORY = """
    import ctypes, sys, morvane
    from child_python import cap_address_space
    # Room for the file's text (24 MB), not for the 78 MB of atom arrays.
    cap_address_space(48 << 20)
    if sys.argv[2] == "python":
        try:
            morvane.read_xyz(sys.argv[1])
        except MemoryError as error:
            print("MemoryError:", error)
        morvane.read_xyz(sys.argv[3])
        print("went on")
    else:
        ctypes.CDLL(morvane.__file__).c_read_xyz(sys.argv[1].encode())
"""


@pytest.mark.plain_allocator
@pytest.mark.parametrize("caller", ["python", "c entry"])
def test_out_of_memory(tmp_path, good_file, caller):
    big = tmp_path / "big.xyz"
    big.write_text("3000000\ncell: 1 0 0 | 0 1 0 | 0 0 1\n" + "1 0 0 0\n" * 3_000_000)
    result = run_python(OUT_OF_MEMORY, str(big), caller.split()[0], good_file)
    if caller == "python":
        assert result.returncode == 0, result.stderr
        assert result.stdout.startswith("MemoryError: ") and "Error allocating" in result.stdout
        assert result.stdout.endswith("went on\n")
    else:
        assert result.returncode == 1, result.stderr
        assert "Error allocating" in result.stderr and result.stderr.count("\n") == 1


@under_sanitizer
def test_c_entry_exits_with_status_1_when_the_window_cannot_be_had(good_file):
    result = run_python("""
        import ctypes, sys, morvane
        from child_python import cap_address_space
        entry = ctypes.CDLL(morvane.__file__).c_read_xyz
        entry.argtypes = [ctypes.c_char_p]
        name = sys.argv[1].encode()
        # Less than the reader's 1 MiB window.
        cap_address_space(256 << 10)
        entry(name)
    """, good_file)
    assert result.returncode == 1, result.stderr
    assert result.stderr == f"file '{good_file}' on unit 101: not enough memory to read the file\n"


PEAK_OF_A_PIPE_READ = """
    import morvane, sys

    def status(field):
        with open("/proc/self/status") as f:
            return next(int(l.split()[1]) * 1024 for l in f if l.startswith(field + ":"))

    morvane.read_xyz(sys.argv[1])  # faults in the reader's code first
    before = status("VmRSS")
    with open("/proc/self/clear_refs", "w") as f:
        f.write("5")  # resets the high-water mark to the resident set
    morvane.read_xyz("/dev/stdin")
    print(status("VmHWM") - before)
"""


@under_sanitizer
def test_pipe_read_stays_within_its_memory_bound(good_file):
    # A count that cannot be trusted for memory, as no pipe's can, makes the
    # arrays grow with the atoms; one atom past a power of two is where
    # arrays that double would peak.
    natom = (1 << 22) + 1
    child = python_reading_a_pipe(PEAK_OF_A_PIPE_READ, good_file)
    out, err = child.communicate(f"{natom}\nc 1 0 0 c 0 1 0 c 0 0 1\n" + "1 0 0 0\n" * natom,
                                 timeout=120)
    assert child.returncode == 0, err
    peak, limit = int(out), 32 * natom + (8 << 20)
    assert peak <= limit, f"peak {peak / 2**20:.1f} MiB over the limit of {limit / 2**20:.1f} MiB"


# -- pipes and devices: read only as far as the structure needs --------------

def test_endless_device_fails_at_its_first_bad_value():
    # /dev/zero is one endless line of NUL bytes: the count is bad from its
    # first byte, and the error comes without reading on.
    with pytest.raises(ValueError, match=r"line 1, item 1 of the count group: bad integer value "
                                         r"'(\\x00){48}\.\.\.'"):
        morvane.read_xyz("/dev/zero")


def test_pipe_is_done_once_its_atoms_are_in(tmp_path, good_file):
    # The writer keeps the pipe open: waiting for its end would never return.
    fifo = tmp_path / "pipe.xyz"
    os.mkfifo(fifo)
    writer = subprocess.Popen(["sh", "-c", 'exec 3>"$1"; cat "$2" >&3; exec sleep 60', "sh",
                               str(fifo), good_file])
    try:
        result = run_python("import morvane, sys; print(morvane.read_xyz(sys.argv[1]))", str(fifo))
    finally:
        writer.kill()
        writer.wait()
    assert (result.returncode, result.stdout) == (0, "None\n"), result.stderr


def fifo_writer(fifo, *steps):
    """A process that opens fifo for writing and then, step by step, writes
    bytes (a bytes step) or pauses (a float step, in seconds), then holds
    the pipe open until killed."""
    script = fifo.with_name(fifo.name + ".steps")
    script.write_text(repr(steps))
    code = textwrap.dedent("""
        import ast, pathlib, sys, time
        steps = ast.literal_eval(pathlib.Path(sys.argv[2]).read_text())
        with open(sys.argv[1], "wb", buffering=0) as pipe:
            for step in steps:
                if isinstance(step, bytes):
                    pipe.write(step)
                else:
                    time.sleep(step)
            time.sleep(600)
    """)
    return subprocess.Popen([sys.executable, "-c", code, str(fifo), str(script)])


READ_FIFO = """
    import morvane, sys
    try:
        print(morvane.read_xyz(sys.argv[1]))
    except ValueError as error:
        print("ValueError:", error)
"""


@pytest.mark.parametrize("value_end", [1 << 20, 2 << 20, 100],
                         ids=["at the window's edge", "at 2 MiB", "at byte 100"])
def test_value_cut_by_a_pause_in_a_pipe_is_read_whole(tmp_path, value_end):
    # The writer pauses right after "0." and then sends "5e": the value is
    # 0.5e, which is bad, and must not be taken as 0 when the pause falls
    # where the reader's window ends.
    head = b"1\ncell: 1 0 0 | 0 1 0 | 0 0 1\n8 0 0 0."
    padded = head[:2] + b" " * (value_end - len(head)) + head[2:]
    fifo = tmp_path / "pipe.xyz"
    os.mkfifo(fifo)
    writer = fifo_writer(fifo, padded, 0.5, b"5e\n")
    try:
        result = run_python(READ_FIFO, str(fifo))
    finally:
        writer.kill()
        writer.wait()
    assert result.returncode == 0, result.stderr
    assert "line 3, item 4 of atom 1: bad real value '0.5e'" in result.stdout, result.stdout


def test_content_after_the_structure_is_not_waited_for(tmp_path):
    # The last atom's line goes on, and the writer neither ends it nor
    # closes the pipe: the structure is complete, so the read returns.
    fifo = tmp_path / "pipe.xyz"
    os.mkfifo(fifo)
    writer = fifo_writer(fifo, WATER.encode() + b"more lines, never read\nand a line never ended")
    try:
        result = run_python(READ_FIFO, str(fifo))
    finally:
        writer.kill()
        writer.wait()
    assert (result.returncode, result.stdout) == (0, "None\n"), result.stderr


# -- a wait for a pipe answers signals --------------------------------------

WAIT_WITH_SIGNALS = """
    import morvane, os, signal, subprocess, sys

    fifo, writer, handler = sys.argv[1:]
    calls = []

    def note(signum, frame):
        calls.append(signum)

    scripts = {
        # Opens the pipe and writes nothing: the read waits in read(), not open().
        "silent": 'exec 3>"$1"; exec sleep 600',
        "late": 'sleep 1; printf "1\\\\nc 1 0 0 c 0 1 0 c 0 0 1\\\\n8 0 0 0\\\\n" >"$1"',
    }
    if writer in scripts:
        writer = subprocess.Popen(["sh", "-c", scripts[writer], "sh", fifo],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    # Ctrl-C's handler raises KeyboardInterrupt; the other one returns.
    signal.signal(signal.SIGALRM, signal.default_int_handler if handler == "raises" else note)
    signal.setitimer(signal.ITIMER_REAL, 0.05, 0.05)
    try:
        print(morvane.read_xyz(fifo), "after", "some" if calls else "no", "signals")
    except KeyboardInterrupt:
        print("KeyboardInterrupt")
    finally:
        # A tick after the interpreter has restored the default action, as
        # it does on its way out, would end the process.
        signal.setitimer(signal.ITIMER_REAL, 0)
    if writer != "none":
        writer.kill()
"""


@pytest.mark.parametrize("writer", ["none", "silent"])
def test_waiting_read_is_interrupted_by_a_raising_handler(tmp_path, writer):
    fifo = tmp_path / "pipe.xyz"
    os.mkfifo(fifo)
    result = run_python(WAIT_WITH_SIGNALS, str(fifo), writer, "raises")
    assert (result.returncode, result.stdout) == (0, "KeyboardInterrupt\n"), result.stderr


def test_waiting_read_goes_on_after_a_handler_that_returns(tmp_path):
    fifo = tmp_path / "pipe.xyz"
    os.mkfifo(fifo)
    result = run_python(WAIT_WITH_SIGNALS, str(fifo), "late", "returns")
    assert (result.returncode, result.stdout) == (0, "None after some signals\n"), result.stderr


READ_UNTIL_SIGNAL = """
    import morvane, signal, sys
    from child_python import cap_address_space

    class Stop(Exception):
        pass

    def stop(signum, frame):
        raise Stop

    signal.signal(signal.SIGUSR1, stop)
    if sys.argv[1] == "capped":
        # Far less than an endless value would take if it were held.
        cap_address_space(64 << 20)
    try:
        print(morvane.read_xyz("/dev/stdin"))
    except Stop:
        print("stopped")
"""


def write_all(fd, data):
    while data:
        data = data[os.write(fd, data):]


@pytest.mark.parametrize("head, body, then", [
    (b"100000000\ncell: 1 0 0 | 0 1 0 | 0 0 1\n", b"1 0.5 0.25 0.125\n", "stalls"),
    (b"", b"\n", "goes on"),
    (b"", b"1", "goes on"),
    (b"0\ncell: 0.", b"0", "goes on"),
    (b"0\n", b"7", "goes on"),
], ids=["atoms, then the writer stalls", "endless blank lines", "endless count digits",
        "0. and endless zeros", "endless digit label"])
def test_signal_while_the_text_flows_ends_the_read(head, body, then):
    # The signal comes while the pipe is full, so the reader is not waiting
    # in read(): no wait is cut short, and only a check for signals made
    # as the text is taken can see it.  Afterwards the writer either
    # stalls with the pipe open or goes on for ever.
    child = python_reading_a_pipe(READ_UNTIL_SIGNAL, "uncapped" if SANITIZED else "capped")
    pipe = child.stdin.fileno()
    chunk = body * (65536 // len(body))
    try:
        fcntl.fcntl(pipe, fcntl.F_SETPIPE_SZ, 1 << 20)
        # Returns once the reader has taken most of it: it is inside read_xyz.
        write_all(pipe, head + chunk * 64)
        os.set_blocking(pipe, False)
        try:
            while True:
                os.write(pipe, chunk)
        except BlockingIOError:
            pass
        child.send_signal(signal.SIGUSR1)
        deadline = time.monotonic() + 60
        while child.poll() is None and time.monotonic() < deadline:
            if then == "goes on" and select.select([], [pipe], [], 0.1)[1]:
                try:
                    os.write(pipe, chunk)
                except (BlockingIOError, BrokenPipeError):
                    pass
            else:
                time.sleep(0.1)
        assert child.poll() is not None, "the read went on after the signal"
        assert (child.returncode, child.stdout.read()) == (0, "stopped\n"), child.stderr.read()
    finally:
        child.kill()
        child.wait()
        child.stdin.close()
        child.stdout.close()
        child.stderr.close()


def test_c_entry_keeps_waiting_through_signals(tmp_path):
    # The C entry has no one to ask: an interrupted wait simply goes on.
    fifo = tmp_path / "pipe.xyz"
    os.mkfifo(fifo)
    result = run_python("""
        import ctypes, signal, subprocess, sys, morvane
        subprocess.Popen(["sh", "-c", 'sleep 1; printf "0\\\\nc 1 0 0 c 0 1 0 c 0 0 1\\\\n" >"$1"',
                          "sh", sys.argv[1]])
        signal.signal(signal.SIGALRM, lambda signum, frame: None)
        signal.setitimer(signal.ITIMER_REAL, 0.05, 0.05)
        ctypes.CDLL(morvane.__file__).c_read_xyz(sys.argv[1].encode())
        signal.setitimer(signal.ITIMER_REAL, 0)  # no tick once the default action is back at exit
        print("returned")
    """, str(fifo))
    assert (result.returncode, result.stdout, result.stderr) == (0, "returned\n", "")


# -- re-importing ------------------------------------------------------------

@pytest.mark.plain_allocator
def test_reimport_does_not_grow_memory():
    result = run_python("""
        import sys, morvane

        # Anonymous memory only: a leak is there, while the pages of code
        # that a first call runs (this one's included) are file-backed.
        def resident_kib():
            with open("/proc/self/status") as status:
                return next(int(l.split()[1]) for l in status if l.startswith("RssAnon:"))

        def reimport(times):
            for _ in range(times):
                del sys.modules["morvane"]
                import morvane

        # The first rounds of even an empty loop grow the resident set (on
        # 3.13 by about 250 KiB in 30,000 rounds, then by nothing), so the
        # batch measured follows an equal warm-up batch.
        reimport(30000)
        before = resident_kib()
        reimport(30000)
        print(resident_kib() - before)
    """)
    assert result.returncode == 0, result.stderr
    # A leak of 32 bytes an import would be 940 KiB here.
    assert int(result.stdout) < 256, f"resident set grew by {result.stdout.strip()} KiB"


def test_string_conversions_are_not_exported():
    import ctypes

    library = ctypes.CDLL(morvane.__file__)
    assert hasattr(library, "c_read_xyz") and hasattr(library, "PyInit_morvane")
    for hidden in ("c_f_string_ptr", "c_f_string_chars"):
        assert not hasattr(library, hidden), hidden
