"""The type stubs: shipped in the wheel, the same signatures as the modules
render in their docstrings, and good enough for mypy --strict to accept
typed code and to reject misuse."""

import ast
import os
import re
import subprocess
import sys
import sysconfig
import textwrap

import pytest

import vorn

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), os.pardir))
STUB_SOURCES = {
    "vorn": os.path.join(ROOT, "bindings", "vorn-stubs", "__init__.pyi"),
    "morvane": os.path.join(ROOT, "module", "morvane-stubs", "__init__.pyi"),
}
TYPED_EXAMPLE = os.path.join(ROOT, "examples", "typed_usage.py")

# pybind11's own attribute on every bound class, not part of the interface.
BINDING_MACHINERY = {"_pybind11_conduit_v1_"}


@pytest.mark.parametrize("module", sorted(STUB_SOURCES))
def test_wheel_ships_the_stubs(module):
    installed = os.path.join(sysconfig.get_paths()["purelib"], f"{module}-stubs", "__init__.pyi")
    assert os.path.isfile(installed), f"no stub package {module}-stubs beside the installed modules"
    with open(installed) as got, open(STUB_SOURCES[module]) as wanted:
        assert got.read() == wanted.read(), f"{installed} differs from its source"


# --- docstrings: what an editor's hover and help() show -------------------------

@pytest.mark.parametrize("module", sorted(STUB_SOURCES))
def test_every_class_and_function_of_the_stubs_has_a_docstring(module):
    with open(STUB_SOURCES[module]) as f:
        tree = ast.parse(f.read())
    # Every definition, at any depth (an overload on its own): a new method
    # without a docstring fails here.
    missing = [f"{node.name} (line {node.lineno})" for node in ast.walk(tree)
               if isinstance(node, (ast.ClassDef, ast.FunctionDef, ast.AsyncFunctionDef))
               and not (ast.get_docstring(node) or "").strip()]
    assert missing == [], f"{module}-stubs: no docstring on " + ", ".join(missing)
    assert (ast.get_docstring(tree) or "").strip(), f"{module}-stubs: no module docstring"


# --- the stubs of vorn against the signatures pybind11 renders ------------------

def stub_classes():
    with open(STUB_SOURCES["vorn"]) as f:
        tree = ast.parse(f.read())
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


def render_type(node):
    """An annotation as pybind11 writes the type: bound classes qualified."""
    if isinstance(node, ast.Constant) and node.value is None:
        return "None"
    assert isinstance(node, ast.Name), ast.dump(node)
    return f"vorn.{node.id}" if hasattr(vorn, node.id) else node.id


def render_stub(class_name, function):
    """A stub method in pybind11's signature form.  pybind11's unnamed
    arguments cannot be passed by keyword: one that the stub allows so is
    marked, and then matches no rendered signature."""
    args = function.args
    assert not (args.vararg or args.kwarg or args.kwonlyargs or args.defaults), function.name
    params = []
    for arg in args.posonlyargs + args.args:
        if arg.arg == "self":
            params.append(f"self: vorn.{class_name}")
        else:
            keyword = "" if arg in args.posonlyargs else " (by keyword too)"
            params.append(f"{arg.arg}{keyword}: {render_type(arg.annotation)}")
    return f"{function.name}({', '.join(params)}) -> {render_type(function.returns)}"


def runtime_signatures(method):
    """The signatures in a pybind11 docstring, overloads in their order."""
    lines = method.__doc__.splitlines()
    if len(lines) > 1 and lines[1] == "Overloaded function.":
        return [m.group(1) for m in map(re.compile(r"\d+\. (.*)").fullmatch, lines) if m]
    return [lines[0]]


RUNTIME_CLASSES = sorted(name for name, value in vars(vorn).items() if isinstance(value, type))


def test_stub_has_exactly_the_classes_of_the_module():
    assert sorted(stub_classes()) == RUNTIME_CLASSES


@pytest.mark.parametrize("class_name", RUNTIME_CLASSES)
def test_stub_signatures_are_the_rendered_ones(class_name):
    cls = getattr(vorn, class_name)
    stub = stub_classes()[class_name]
    stub_bases = [base.id for base in stub.bases]
    runtime_bases = [base.__name__ for base in cls.__bases__ if base.__module__ == "vorn"]
    assert stub_bases == runtime_bases, f"bases: stub {stub_bases}, module {runtime_bases}"

    wanted = {}
    for name, value in vars(cls).items():
        if callable(value) and name not in BINDING_MACHINERY:
            wanted[name] = runtime_signatures(value)
    got = {}
    for node in stub.body:
        if isinstance(node, ast.FunctionDef):
            got.setdefault(node.name, []).append(render_stub(class_name, node))
    assert list(got) == list(wanted), "methods, in the order the class has them"
    for name in wanted:
        assert got[name] == wanted[name], f"{class_name}.{name}"


# --- mypy --strict on typed code ---------------------------------------------

# Misuse that the stubs must let mypy reject: (code, part of mypy's message).
MISUSE = [
    ("vorn.OperatorReal() + vorn.OperatorComplex()", 'Unsupported operand types for + ("OperatorReal" and "OperatorComplex")'),
    ("vorn.BasisReal() - vorn.BasisComplex()", 'Unsupported operand types for - ("BasisReal" and "BasisComplex")'),
    ("vorn.OperatorReal() * vorn.BasisReal()", 'Unsupported operand types for * ("OperatorReal" and "BasisReal")'),
    ("vorn.OperatorReal().get(0.0, 0)", 'Argument 1 to "get" of "OperatorReal" has incompatible type "float"; expected "int"'),
    ("vorn.BasisComplex().set(0, 1j)", 'Argument 2 to "set" of "BasisComplex" has incompatible type "complex"; expected "float"'),
    ("vorn.OperatorReal().get(arg0=0, arg1=0)", 'Unexpected keyword argument "arg0" for "get" of "OperatorReal"'),
    ("vorn.OperatorReal().zeros(3)", 'No overload variant of "zeros" of "OperatorReal" matches argument type "int"'),
    ("vorn.BasisReal().eye()", '"BasisReal" has no attribute "eye"'),
    ("vorn.HamiltonianReal(2)", 'Too many arguments for "HamiltonianReal"'),
    ("x: float = vorn.OperatorComplex().det()", 'Incompatible types in assignment (expression has type "complex", variable has type "float")'),
    ("x: float = vorn.BasisComplex().get(0)", 'Incompatible types in assignment (expression has type "complex", variable has type "float")'),
    ("h: vorn.HamiltonianReal = vorn.HamiltonianReal().inverse()", 'Incompatible types in assignment (expression has type "OperatorReal", variable has type "HamiltonianReal")'),
    ("morvane.read_xyz(b'water.xyz')", 'Argument 1 to "read_xyz" has incompatible type "bytes"; expected "str"'),
    ("morvane.read_xyz(xyz_file_in='water.xyz')", 'Unexpected keyword argument "xyz_file_in" for "read_xyz"'),
    ("r: int = morvane.read_xyz('water.xyz')", '"read_xyz" does not return a value'),
]


def misuse_source():
    """One function per case, so that each error stands on a known line."""
    lines = ["import morvane", "import vorn", ""]
    line_of = {}
    for k, (code, _) in enumerate(MISUSE):
        lines.append(f"def case_{k}() -> None:")
        line_of[k] = len(lines) + 1
        lines.append(f"    {code}")
    return "\n".join(lines) + "\n", line_of


@pytest.fixture(scope="module")
def mypy_strict(tmp_path_factory):
    """mypy --strict over the typed example and the misuse cases, in one run:
    (messages by file name, the misuse cases' line numbers)."""
    where = tmp_path_factory.mktemp("mypy")
    source, line_of = misuse_source()
    (where / "misuse.py").write_text(source)
    result = subprocess.run(
        [sys.executable, "-m", "mypy", "--strict", "--no-color-output", "--no-error-summary",
         "--show-error-codes", "--cache-dir", str(where / "cache"), "--config-file", os.devnull,
         TYPED_EXAMPLE, str(where / "misuse.py")],
        capture_output=True, text=True, cwd=where, timeout=600)
    # The misuse cases always give errors, so mypy that checked the files
    # exits with 1 and reports them; a missing mypy exits with 1 too, reporting
    # nothing.
    if "No module named mypy" in result.stderr:
        pytest.fail(f"mypy is not installed for {sys.executable}: the stubs cannot be checked "
                    "(install the test extra: pip install .[test])", pytrace=False)
    assert result.returncode == 1, result.stdout + result.stderr
    messages = {}
    for line in result.stdout.splitlines():
        path, _, rest = line.partition(":")
        messages.setdefault(os.path.basename(path), []).append(rest)
    assert "misuse.py" in messages, "mypy reported nothing on the misuse cases:\n" + result.stdout + result.stderr
    return messages, line_of


def test_typed_example_passes_mypy_strict(mypy_strict):
    messages, _ = mypy_strict
    assert messages.get("typed_usage.py", []) == []


def test_typed_example_runs():
    result = subprocess.run([sys.executable, TYPED_EXAMPLE], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    assert "trace: 6.0\n" in result.stdout and result.stdout.endswith("read water.xyz\n"), result.stdout


@pytest.mark.parametrize("case", range(len(MISUSE)), ids=[code for code, _ in MISUSE])
def test_mypy_rejects_misuse(mypy_strict, case):
    messages, line_of = mypy_strict
    code, wanted = MISUSE[case]
    on_line = [m for m in messages.get("misuse.py", []) if m.startswith(f"{line_of[case]}:")]
    assert any(wanted in m for m in on_line), textwrap.indent(
        "\n".join(on_line) or "no error", "  ") + f"\nwanted: {wanted}"
