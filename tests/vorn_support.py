"""Helpers for the vorn tests: moving matrices between vorn and numpy, and
reading back what the native print functions wrote to file descriptor 1."""

import re

import numpy as np

import vorn

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
