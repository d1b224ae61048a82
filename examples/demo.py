"""A short session with vorn and morvane.

Matrices and eigen-decompositions are printed by the native code straight
to standard output, so Python's own prints are flushed before each of them.
"""

import os

import morvane
import vorn


def title(text):
    print(f"\n== {text}", flush=True)


def symmetrise(op, n):
    """Copy the upper triangle onto the lower one, in place."""
    for i in range(n):
        for j in range(i + 1, n):
            op.set(j, i, op.get(i, j))


title("A random 3x3 Hamiltonian (uniform on [0, 1))")
h = vorn.HamiltonianReal()
h.randu(3, 3)
h.print()
h.eigen()
title("its eigenvalues and eigenvectors (general solver: complex results)")
h.print_eigen()

title("A symmetric Hamiltonian")
s = vorn.HamiltonianReal()
s.randn(3, 3)
symmetrise(s, 3)
s.print()
s.eigen()
title("its eigenvalues (ascending) and orthonormal eigenvectors")
s.print_eigen()

title("Product h * s (a plain OperatorReal)")
p = h * s
print(type(p).__name__, flush=True)
p.print()

title("Inverse of s, and s * inverse(s)")
inv = s.inverse()
inv.print()
(s * inv).print()
print(f"det(s) = {s.det():.6f}, det(inverse(s)) * det(s) = {inv.det() * s.det():.6f}")

title("A complex operator: conjugate transpose and determinant")
c = vorn.OperatorComplex()
c.randn(2, 2)
c.print()
c.transpose().print()
print(f"det = {c.det():.4f}", flush=True)

title("Basis sum: (1, 1, 1) + (0, 1, 2)")
a = vorn.BasisReal()
a.ones(3)
b = vorn.BasisReal()
b.set_size(3)
for i in range(3):
    b.set(i, i)
(a + b).print()

title("Reading an XYZ structure file with morvane")
water = os.path.join(os.path.dirname(os.path.abspath(__file__)), "water.xyz")
print(f"morvane.read_xyz({os.path.basename(water)!r}) -> {morvane.read_xyz(water)!r}")
try:
    morvane.read_xyz(os.path.join(os.path.dirname(water), "no-such-file.xyz"))
except OSError as error:
    print(f"a missing file raises {type(error).__name__}: {error}")
