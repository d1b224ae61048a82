"""BasisReal and BasisComplex: sizes, element access, fills, sums."""

import numpy as np
import pytest

import vorn

OOB = "Mat::operator(): index out of bounds"
TOO_LARGE = "arma::memory::acquire(): requested size is too large"


@pytest.fixture(params=["real", "complex"])
def basis(request):
    return {"real": vorn.BasisReal, "complex": vorn.BasisComplex}[request.param]


def values(b, n):
    return np.array([b.get(i) for i in range(n)])


def make(cls, xs):
    b = cls()
    b.set_size(len(xs))
    for i, x in enumerate(xs):
        b.set(i, x)
    return b


def test_new_basis_is_empty(basis, capfd):
    b = basis()
    with pytest.raises(IndexError) as info:
        b.get(0)
    assert str(info.value) == OOB
    b.print()
    assert capfd.readouterr().out == "[matrix size: 0x1]\n"
    with pytest.raises(TypeError):
        basis(3)
    with pytest.raises(AttributeError):
        b.size = 3
    own = [k for k in vars(basis) if k not in ("__doc__", "__module__", "_pybind11_conduit_v1_")]
    assert own == ["__init__", "__add__", "__sub__", "get", "set_size", "set",
                   "zeros", "ones", "randu", "randn", "print"]
    name, scalar = basis.__name__, "float" if basis is vorn.BasisReal else "complex"
    assert basis.get.__doc__ == f"get(self: vorn.{name}, arg0: int) -> {scalar}\n"
    assert basis.zeros.__doc__ == (f"zeros(*args, **kwargs)\nOverloaded function.\n\n"
                                   f"1. zeros(self: vorn.{name}) -> None\n\n"
                                   f"2. zeros(self: vorn.{name}, arg0: int) -> None\n")


@pytest.mark.parametrize("index, error", [
    (3, IndexError), (-1, IndexError), (2**31, TypeError), (0.0, TypeError), ("0", TypeError),
])
def test_index_errors(basis, index, error):
    b = basis()
    b.zeros(3)
    assert b.get(2) == 0
    with pytest.raises(error) as info:
        b.get(index)
    if error is IndexError:
        assert str(info.value) == OOB
    with pytest.raises(error):
        b.set(index, 1.0)


def test_set_converts_values(basis):
    b = basis()
    b.zeros(2)
    b.set(0, 1)                 # an int value becomes 1.0
    b.set(1, 2.5)
    assert values(b, 2).tolist() == [1.0, 2.5]
    assert type(b.get(1)) is (float if basis is vorn.BasisReal else complex)
    with pytest.raises(TypeError):
        b.set(0, 1j)


def test_fills(basis):
    b = basis()
    b.zeros(4)
    assert values(b, 4).tolist() == [0] * 4
    b.ones()
    assert values(b, 4).tolist() == [1] * 4
    b.ones(2)
    assert values(b, 2).tolist() == [1, 1]
    with pytest.raises(IndexError):
        b.get(2)
    b.randu(1000)
    parts = values(b, 1000).astype(complex).view(float)
    if basis is vorn.BasisReal:
        parts = parts[::2]
    assert parts.min() >= 0 and parts.max() < 1 and parts.std() > 0.2
    b.randn()
    parts = values(b, 1000)
    assert parts.real.min() < 0 < parts.real.max()
    b.randn(3)
    assert len(set(values(b, 3))) == 3


@pytest.mark.parametrize("method", ["set_size", "zeros", "ones", "randu", "randn"])
def test_negative_size(basis, method):
    b = basis()
    with pytest.raises(RuntimeError) as info:
        getattr(b, method)(-1)
    assert str(info.value) == TOO_LARGE
    b.ones(2)                   # still usable
    assert values(b, 2).tolist() == [1, 1]


def test_sum_and_difference(basis):
    rng = np.random.default_rng(1)
    xs, ys = rng.normal(size=5), rng.normal(size=5)
    a, b = make(basis, xs), make(basis, ys)
    s, d = a + b, a - b
    assert type(s) is basis and type(d) is basis
    np.testing.assert_array_equal(values(s, 5), xs + ys)
    np.testing.assert_array_equal(values(d, 5), xs - ys)
    a.set(0, 100.0)             # results own their storage
    b.set_size(0)
    np.testing.assert_array_equal(values(s, 5), xs + ys)
    kept = a
    a += s
    assert a is not kept and kept.get(0) == 100.0
    e = basis() + basis()
    with pytest.raises(IndexError):
        e.get(0)


def test_size_mismatch_messages(basis):
    a, b = basis(), basis()
    a.zeros(3)
    b.zeros(2)
    with pytest.raises(RuntimeError) as info:
        a + b
    assert str(info.value) == "addition: incompatible matrix dimensions: 3x1 and 2x1"
    with pytest.raises(RuntimeError) as info:
        b - a
    assert str(info.value) == "subtraction: incompatible matrix dimensions: 2x1 and 3x1"


def test_flavours_never_mix():
    for lhs, rhs in [(vorn.BasisReal(), vorn.BasisComplex()), (vorn.BasisReal(), 1),
                     (vorn.BasisComplex(), vorn.OperatorComplex())]:
        for expr in ("lhs + rhs", "lhs - rhs"):
            with pytest.raises(TypeError, match="unsupported operand"):
                eval(expr)


def test_print(capfd):
    make(vorn.BasisReal, [1.0, -2.0]).print()
    make(vorn.BasisComplex, [1.0]).print()
    assert capfd.readouterr().out == "   1.0000\n  -2.0000\n    (+1.000e+00,+0.000e+00)\n"


def test_large_vectors_take_the_huge_page_path(basis):
    # Blocks of 4 MiB or more are allocated with a huge-page hint.
    n = 1 << 20
    a, b = basis(), basis()
    a.ones(n)
    b.randu(n)
    s = a + b
    assert s.get(0) == 1 + b.get(0) and s.get(n - 1) == 1 + b.get(n - 1)
    assert (s - a).get(n // 2) == (1 + b.get(n // 2)) - 1
