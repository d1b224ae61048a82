"""HamiltonianReal and HamiltonianComplex behave as Operators of their
flavour, and every operation that builds an object returns an Operator."""

import numpy as np
import pytest

import vorn
from vorn_support import to_numpy

PAIRS = {
    "real": (vorn.HamiltonianReal, vorn.OperatorReal, np.float64),
    "complex": (vorn.HamiltonianComplex, vorn.OperatorComplex, np.complex128),
}


@pytest.fixture(params=sorted(PAIRS))
def pair(request):
    return PAIRS[request.param]


def test_module_holds_the_six_classes_in_order():
    classes = [k for k, v in vars(vorn).items() if isinstance(v, type)]
    assert classes == ["OperatorReal", "OperatorComplex", "BasisReal", "BasisComplex",
                       "HamiltonianReal", "HamiltonianComplex"]
    assert vorn.__doc__ is None
    assert all(getattr(vorn, c).__module__ == "vorn" for c in classes)


def test_class_relations(pair):
    ham, op, _ = pair
    assert ham.__bases__ == (op,)
    other = vorn.OperatorComplex if op is vorn.OperatorReal else vorn.OperatorReal
    assert not issubclass(ham, other)
    assert "__init__" in vars(ham) and len(vars(ham)) <= 4  # only its own constructor
    with pytest.raises(TypeError):
        ham(2, 2)
    h = ham()
    assert isinstance(h, op)
    with pytest.raises(IndexError):
        h.get(0, 0)
    with pytest.raises(AttributeError):
        h.label = "x"


@pytest.mark.parametrize("name", ["transpose", "inverse"])
def test_unary_results_are_operators(pair, name):
    ham, op, dtype = pair
    h = ham()
    h.eye(3, 3)
    h.set(0, 1, 2.0)
    result = getattr(h, name)()
    assert type(result) is op
    o = op()
    o.eye(3, 3)
    o.set(0, 1, 2.0)
    np.testing.assert_array_equal(to_numpy(result, 3, 3, dtype), to_numpy(getattr(o, name)(), 3, 3, dtype))


@pytest.mark.parametrize("symbol", ["+", "-", "*"])
def test_binary_results_are_operators(pair, symbol):
    ham, op, dtype = pair
    h, o = ham(), op()
    h.randn(3, 3)
    o.randn(3, 3)
    h_np, o_np = to_numpy(h, 3, 3, dtype), to_numpy(o, 3, 3, dtype)
    expected = {"+": np.add, "-": np.subtract, "*": np.matmul}[symbol]
    for lhs, rhs, l_np, r_np in [(h, h, h_np, h_np), (h, o, h_np, o_np), (o, h, o_np, h_np)]:
        result = eval(f"lhs {symbol} rhs")
        assert type(result) is op
        np.testing.assert_allclose(to_numpy(result, 3, 3, dtype), expected(l_np, r_np), rtol=1e-13, atol=1e-13)


def test_other_flavour_is_rejected():
    for expr in ("vorn.OperatorReal() + vorn.HamiltonianComplex()",
                 "vorn.HamiltonianReal() * vorn.HamiltonianComplex()",
                 "vorn.HamiltonianComplex() - vorn.OperatorReal()"):
        with pytest.raises(TypeError, match="unsupported operand"):
            eval(expr)
    with pytest.raises(TypeError, match="incompatible function arguments"):
        vorn.OperatorReal.get(vorn.HamiltonianComplex(), 0, 0)


def test_same_printed_output_as_an_operator(pair, capfd):
    ham, op, _ = pair
    outputs = []
    for cls in (ham, op):
        x = cls()
        x.set_size(3, 3)
        x.eye()
        x.set(0, 2, 0.5)
        x.set(2, 0, 0.5)
        x.ones(3, 2)                     # reshape in place
        x.set_size(3, 3)
        x.eye()
        x.set(1, 2, 4.0)
        x.eigen()                        # general branch
        x.set(2, 1, 4.0)
        x.eigen()                        # symmetric branch
        capfd.readouterr()
        x.print()
        x.print_eigen()
        x.set(2, 1, 0.0)
        x.print_eigen()
        print(x.det(), x.is_symmetric(), x.is_hermitian(), flush=True)
        outputs.append(capfd.readouterr().out)
    assert outputs[0] == outputs[1]


def test_get_reads_every_kind_of_instance_alike(pair):
    # Hamiltonians and Python subclasses take the short path of get; an
    # instance with two bound parts takes pybind11's.  All must agree.
    ham, op, dtype = pair

    class PythonHam(ham):
        pass

    class TwoParts(op, vorn.BasisReal):
        def __init__(self):
            op.__init__(self)
            vorn.BasisReal.__init__(self)

    expected = np.arange(6.0).reshape(2, 3)
    for x in (ham(), PythonHam(), TwoParts()):
        x.set_size(2, 3)
        for (i, j), v in np.ndenumerate(expected):
            x.set(i, j, v)
        got = np.array([[x.get(i, j) for j in range(3)] for i in range(2)])
        assert got.dtype == dtype and got.tolist() == expected.tolist(), type(x)
        assert x.get(True, 2) == 5.0
        for index in [(2, 0), (0, 3), (-1, 0)]:
            with pytest.raises(IndexError, match=r"^Mat::operator\(\): index out of bounds$"):
                x.get(*index)
        with pytest.raises(TypeError, match="incompatible function arguments"):
            x.get(0.0, 0)
