"""Helpers for the vorn tests: moving matrices between vorn and numpy,
reading back what the native print functions wrote to file descriptor 1, and
running calls that could crash or hang in a child interpreter."""

import re
import subprocess
import textwrap

import numpy as np

import vorn
from child_python import run_python

FLAVOURS = {
    "real": (vorn.OperatorReal, np.float64),
    "complex": (vorn.OperatorComplex, np.complex128),
}


def to_numpy(op, n_rows, n_cols, dtype):
    out = np.empty((n_rows, n_cols), dtype=dtype)
    for i in range(n_rows):
        for j in range(n_cols):
            out[i, j] = op.get(i, j)
    return out


def from_real(cls, values):
    """An operator of class cls holding the real matrix `values`."""
    values = np.asarray(values, dtype=float)
    op = cls()
    op.set_size(*values.shape)
    for (i, j), v in np.ndenumerate(values):
        op.set(i, j, float(v))
    return op


def random_operator(cls, n_rows, n_cols, dtype):
    op = cls()
    op.randn(n_rows, n_cols)
    return op, to_numpy(op, n_rows, n_cols, dtype)


_COMPLEX = re.compile(r"\(([^,]+),([^)]+)\)")


def parse_rows(text):
    """The rows of numbers that Armadillo's print wrote, one list per line."""
    rows = []
    for line in text.splitlines():
        if "(" in line:
            rows.append([complex(float(a), float(b)) for a, b in _COMPLEX.findall(line)])
        else:
            rows.append([float(x) for x in line.split()])
    return rows


_MARK = "#> "

_EVALUATE_EACH = """
import sys
{setup}
for expression in sys.argv[1:]:
    try:
        outcome = repr(eval(expression))
    except Exception as error:
        outcome = type(error).__name__ + ": " + str(error).splitlines()[0]
    print({mark!r} + outcome, flush=True)
"""


def outcomes(setup, expressions):
    """Evaluates the expressions one after the other in one child interpreter,
    after the statements in setup.  Each outcome is what the expression
    printed natively, then its value's repr or its exception's type and first
    line.  A crash or a hang fails with the expression that caused it."""
    code = _EVALUATE_EACH.format(setup=textwrap.dedent(setup), mark=_MARK)
    try:
        result = run_python(code, *expressions)
        stdout, ending = result.stdout, f"return code {result.returncode}\n{result.stderr}"
    except subprocess.TimeoutExpired as hang:
        stdout, ending = (hang.stdout or b"").decode(), "no answer: it hangs"
    found, printed = [], ""
    for line in stdout.splitlines():
        if line.startswith(_MARK):
            found.append(printed + line[len(_MARK):])
            printed = ""
        else:
            printed += line + "\n"
    if len(found) < len(expressions):
        raise AssertionError(f"the child stopped at {expressions[len(found)]!r} with {ending}")
    return found
