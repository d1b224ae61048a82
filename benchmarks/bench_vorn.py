"""vorn against numpy, side by side in one run.

Each row times the same operation on matrices of the same size, best of
several repeats, with both BLAS libraries (Debian's OpenBLAS under vorn,
numpy's bundled OpenBLAS) held to the same thread count.  The ratio is
vorn time / numpy time: below 1 vorn is faster.

    python benchmarks/bench_vorn.py [--threads N] [--only TEXT]
"""

import argparse
import os
import time

import numpy as np
from threadpoolctl import threadpool_info, threadpool_limits

import vorn


# OpenBLAS threads keep spinning for a while after a call; on a small
# machine the other library's spinning pool would otherwise take the cores
# from the call being timed.
SETTLE_SECONDS = 0.3


def best_of_interleaved(fn_a, fn_b, repeats):
    """Best times of two callables run turn about, so that background load
    weighs on both alike, with a pause before each call for the other
    library's BLAS threads to go to sleep."""
    times_a, times_b = [], []
    for _ in range(repeats):
        for fn, times in ((fn_a, times_a), (fn_b, times_b)):
            time.sleep(SETTLE_SECONDS)
            start = time.perf_counter()
            fn()
            times.append(time.perf_counter() - start)
    return min(times_a), min(times_b)


def vorn_random(cls, n_rows, n_cols):
    op = cls()
    op.randn(n_rows, n_cols)
    return op


def shape_label(shape):
    """A square's side, or rows x columns."""
    n_rows, n_cols = shape
    return n_rows if n_rows == n_cols else f"{n_rows}x{n_cols}"


def rows(rng):
    """(label, n, vorn callable, numpy callable, repeats, target ratio)."""
    out = []

    # Per-call overhead of element access: 10^5 reads in a Python loop.
    a_v, a_n = vorn_random(vorn.OperatorReal, 10, 10), rng.standard_normal((10, 10))
    calls = 100_000

    def get_vorn(get=a_v.get):
        for _ in range(calls):
            get(3, 4)

    def get_numpy(a=a_n):
        for _ in range(calls):
            a[3, 4]
    out.append(("get x 1e5 vs a[i, j]", 10, get_vorn, get_numpy, 5, 2.0))

    # The same reads on a Hamiltonian; the peer is get on the OperatorReal.
    h_v = vorn_random(vorn.HamiltonianReal, 10, 10)

    def get_hamiltonian(get=h_v.get):
        for _ in range(calls):
            get(3, 4)
    out.append(("get x 1e5 Hamiltonian/Operator", 10, get_hamiltonian, get_vorn, 5, 1.25))

    n = 2000
    a_v, b_v = vorn_random(vorn.OperatorReal, n, n), vorn_random(vorn.OperatorReal, n, n)
    a_n, b_n = rng.standard_normal((n, n)), rng.standard_normal((n, n))
    out.append(("a + b", n, lambda a=a_v, b=b_v: a + b, lambda a=a_n, b=b_n: a + b, 7, 1.1))
    out.append(("a - b", n, lambda a=a_v, b=b_v: a - b, lambda a=a_n, b=b_n: a - b, 7, 1.1))

    for n in (1000, 2000):
        a_v, b_v = vorn_random(vorn.OperatorReal, n, n), vorn_random(vorn.OperatorReal, n, n)
        a_n, b_n = rng.standard_normal((n, n)), rng.standard_normal((n, n))
        out.append(("a * b (dgemm)", n, lambda a=a_v, b=b_v: a * b, lambda a=a_n, b=b_n: a @ b, 5, 1.1))
    n = 1000
    a_v, b_v = vorn_random(vorn.OperatorComplex, n, n), vorn_random(vorn.OperatorComplex, n, n)
    a_c = rng.standard_normal((n, n)) + 1j * rng.standard_normal((n, n))
    b_c = rng.standard_normal((n, n)) + 1j * rng.standard_normal((n, n))
    out.append(("a * b complex (zgemm)", n, lambda a=a_v, b=b_v: a * b, lambda a=a_c, b=b_c: a @ b, 3, 1.1))

    # numpy's .T is a view; the materialised transpose is the peer of both
    # transposes.  Each call allocates its result on both sides.
    for shape in ((1000, 1000), (1000, 3000), (3000, 1000), (4000, 4000)):
        t_v, t_n = vorn_random(vorn.OperatorReal, *shape), rng.standard_normal(shape)
        out.append(("transpose", shape_label(shape), t_v.transpose, lambda t_n=t_n: t_n.T.copy(), 7, 1.0))
    # Below 64x64 the call is most of the cost: 10^4 calls in a Python loop,
    # each with its method lookup, as numpy's with .T and .copy.
    small_calls = 10_000
    for n in (8, 32):
        t_v, t_n = vorn_random(vorn.OperatorReal, n, n), rng.standard_normal((n, n))

        def transpose_vorn(a=t_v):
            for _ in range(small_calls):
                a.transpose()

        def transpose_numpy(a=t_n):
            for _ in range(small_calls):
                a.T.copy()
        out.append(("transpose x 1e4", n, transpose_vorn, transpose_numpy, 7, 1.0))
    # The conjugate transpose, against numpy's quickest way to a new array in
    # C order: np.conj(a.T, order="C") in one pass for large matrices,
    # a.conj().T.copy() for small ones.  np.conj(a.T) alone would keep a.T's
    # Fortran order, conjugating a's memory where it lies: no transpose.
    n = 1000
    t_v = vorn_random(vorn.OperatorComplex, n, n)
    t_c = rng.standard_normal((n, n)) + 1j * rng.standard_normal((n, n))
    out.append(("transpose complex vs conj(order=C)", n, t_v.transpose, lambda t_c=t_c: np.conj(t_c.T, order="C"),
                7, 1.0))
    n = 8
    t_v = vorn_random(vorn.OperatorComplex, n, n)
    t_c = rng.standard_normal((n, n)) + 1j * rng.standard_normal((n, n))

    def transpose_complex_vorn(a=t_v):
        for _ in range(small_calls):
            a.transpose()

    def transpose_complex_numpy(a=t_c):
        for _ in range(small_calls):
            a.conj().T.copy()
    out.append(("transpose complex x 1e4", n, transpose_complex_vorn, transpose_complex_numpy, 7, 1.0))
    # In place: a square swaps across its diagonal, any other shape goes
    # through a temporary (and alternates between its two shapes here).
    for shape in ((4000, 4000), (1000, 3000)):
        t_v, t_n = vorn_random(vorn.OperatorReal, *shape), rng.standard_normal(shape)
        out.append(("inplace_transpose", shape_label(shape), t_v.inplace_transpose,
                    lambda t_n=t_n: t_n.T.copy(), 7, 1.1))

    n = 1000
    a_v, a_n = vorn_random(vorn.OperatorReal, n, n), rng.standard_normal((n, n))
    out.append(("inverse", n, a_v.inverse, lambda a=a_n: np.linalg.inv(a), 5, 1.1))
    out.append(("det", n, a_v.det, lambda a=a_n: np.linalg.det(a), 5, 1.1))

    s_v = a_v + a_v.transpose()
    s_n = a_n + a_n.T
    out.append(("eigen symmetric vs eigh", n, s_v.eigen, lambda: np.linalg.eigh(s_n), 3, 1.1))
    n = 500
    g_v, g_n = vorn_random(vorn.OperatorReal, n, n), rng.standard_normal((n, n))
    out.append(("eigen general vs eig", n, g_v.eigen, lambda: np.linalg.eig(g_n), 3, 1.1))

    # Fills into existing storage on both sides: numpy's default generator
    # (PCG64; ziggurat normals) filling as many doubles as vorn draws (a
    # complex element is a real part and an imaginary part), and, for the
    # real flavour, numpy's legacy Mersenne Twister (polar normals).
    n = 4000
    legacy = np.random.RandomState(0)
    for cls, dtype, suffix in ((vorn.OperatorReal, np.float64, ""), (vorn.OperatorComplex, np.complex128, " complex")):
        f_v = cls()
        f_v.zeros(n, n)
        buf = np.empty((n, n), dtype).view(np.float64)
        out.append((f"randu fill{suffix}", n, f_v.randu, lambda buf=buf: rng.random(out=buf), 5, 0.75))
        out.append((f"randn fill{suffix}", n, f_v.randn, lambda buf=buf: rng.standard_normal(out=buf), 5, 1.0))
        if cls is vorn.OperatorReal:
            out.append(("randu fill vs legacy MT19937", n, f_v.randu,
                        lambda n=n: legacy.random_sample((n, n)), 5, None))
            out.append(("randn fill vs legacy MT19937", n, f_v.randn,
                        lambda n=n: legacy.standard_normal((n, n)), 5, None))

    # Basis: element-wise sums of long vectors and the fills.
    n = 10_000_000
    x_v, y_v = vorn.BasisReal(), vorn.BasisReal()
    x_v.randn(n)
    y_v.randn(n)
    x_n, y_n = rng.standard_normal(n), rng.standard_normal(n)
    out.append(("Basis a + b", n, lambda: x_v + y_v, lambda: x_n + y_n, 7, 1.1))
    out.append(("Basis a - b", n, lambda: x_v - y_v, lambda: x_n - y_n, 7, 1.1))
    for cls, dtype, suffix in ((vorn.BasisReal, np.float64, ""), (vorn.BasisComplex, np.complex128, " complex")):
        f_v = cls()
        f_v.zeros(n)
        vbuf = np.empty(n, dtype).view(np.float64)
        out.append((f"Basis randu fill{suffix}", n, f_v.randu, lambda vbuf=vbuf: rng.random(out=vbuf), 5, 0.75))
        out.append((f"Basis randn fill{suffix}", n, f_v.randn,
                    lambda vbuf=vbuf: rng.standard_normal(out=vbuf), 5, 1.0))
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--threads", type=int, default=os.cpu_count())
    parser.add_argument("--only", default="", metavar="TEXT", help="run only the rows whose label contains TEXT")
    args = parser.parse_args()

    # A 1000x1000 normal matrix has a determinant beyond the double range.
    with threadpool_limits(limits=args.threads, user_api="blas"), np.errstate(over="ignore"):
        blas = [(os.path.basename(i["filepath"]), i["version"], i.get("architecture"), i["num_threads"])
                for i in threadpool_info() if i["user_api"] == "blas"]
        print(f"BLAS libraries (file, version, processor kernel, threads): {blas}")
        print(f"{'operation':32} {'n':>9} {'vorn ms':>10} {'numpy ms':>10} {'ratio':>7}  target")
        for label, n, fn_vorn, fn_numpy, repeats, target in rows(np.random.default_rng(0)):
            if args.only not in label:
                continue
            fn_vorn(), fn_numpy()               # warm up: page faults, lazy init
            t_vorn, t_numpy = best_of_interleaved(fn_vorn, fn_numpy, repeats)
            ratio = t_vorn / t_numpy
            mark = "" if target is None else f"<= {target}" + ("" if ratio <= target else "  MISSED")
            print(f"{label:32} {n:>9} {t_vorn * 1e3:10.2f} {t_numpy * 1e3:10.2f} {ratio:7.2f}  {mark}",
                  flush=True)


if __name__ == "__main__":
    main()
