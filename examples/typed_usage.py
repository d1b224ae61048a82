"""vorn and morvane in typed code.

The type stubs shipped with the package let mypy and pyright check calls
like these; the tests run `mypy --strict` on this file.
"""

import os
from typing import List

import morvane
import vorn


def trace(op: vorn.OperatorReal, n: int) -> float:
    return sum(op.get(i, i) for i in range(n))


def commutator(a: vorn.OperatorComplex, b: vorn.OperatorComplex) -> vorn.OperatorComplex:
    """a b - b a: a new OperatorComplex, also when a or b is a Hamiltonian."""
    return a * b - b * a


def diagonal(values: List[float]) -> vorn.HamiltonianReal:
    h = vorn.HamiltonianReal()
    h.zeros(len(values), len(values))
    for i, value in enumerate(values):
        h.set(i, i, value)
    return h


def main() -> None:
    h = diagonal([1.0, 2.0, 3.0])
    print("trace:", trace(h, 3))  # a Hamiltonian is an Operator
    squared: vorn.OperatorReal = h * h
    print("det of the square:", squared.det())

    a = vorn.OperatorComplex()
    a.randu(2, 2)
    b = vorn.HamiltonianComplex()
    b.eye(2, 2)
    determinant: complex = commutator(a, b).det()
    print("det of [a, 1]:", determinant)

    v = vorn.BasisComplex()
    v.ones(3)
    v.set(1, 2.5)
    first: complex = (v + v).get(1)
    print("element 1 of v + v:", first)

    water = os.path.join(os.path.dirname(os.path.abspath(__file__)), "water.xyz")
    morvane.read_xyz(water)
    print("read", os.path.basename(water))


if __name__ == "__main__":
    main()
