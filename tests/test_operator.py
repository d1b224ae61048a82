"""OperatorReal and OperatorComplex: construction, conversions, fills,
arithmetic, inverse/determinant, structure tests, eigen-decomposition and
printing.  Numerical results are checked against numpy on random matrices."""

import subprocess
import sys

import numpy as np
import pytest

import vorn
from vorn_support import from_real, outcomes, parse_rows, random_operator, run_python, to_numpy

OOB = "Mat::operator(): index out of bounds"


# --- construction and element access ------------------------------------

def test_new_operator_is_empty(flavour, capfd):
    cls, _ = flavour
    op = cls()
    with pytest.raises(IndexError, match=f"^{OOB}$".replace("(", r"\(").replace(")", r"\)")):
        op.get(0, 0)
    for fill in (op.zeros, op.ones, op.randu, op.randn, op.eye):
        fill()
    op.print()
    assert capfd.readouterr().out == "[matrix size: 0x0]\n"


def test_constructor_takes_no_arguments(flavour):
    cls, _ = flavour
    with pytest.raises(TypeError):
        cls(2, 2)


class Index:
    def __index__(self):
        return 1


@pytest.mark.parametrize("args, error", [
    ((0.0, 0), TypeError),              # a float never passes for an int
    ((2**31, 0), TypeError),            # outside the 32-bit int range
    ((0, -2**31 - 1), TypeError),
    (("0", 0), TypeError),
    ((-1, 0), IndexError),              # sign-extended to a huge index
    ((0, 2), IndexError),
    ((2, 0), IndexError),
])
def test_get_rejects_bad_indexes(flavour, args, error):
    op = flavour[0]()
    op.zeros(2, 2)
    with pytest.raises(error) as info:
        op.get(*args)
    if error is IndexError:
        assert str(info.value) == OOB


def test_index_conversions_and_set_values(flavour):
    cls, _ = flavour
    op = cls()
    op.zeros(2, 2)
    op.set(False, Index(), 1)           # bool and __index__ as ints, int as value
    assert op.get(0, 1) == 1.0 and type(op.get(0, 1)) is (float if cls is vorn.OperatorReal else complex)
    op.set(1, 0, 2.5)
    assert op.get(1, 0) == 2.5          # complex flavour: exactly 2.5+0j
    with pytest.raises(TypeError):
        op.set(0, 0, 1j)
    with pytest.raises(TypeError):
        op.set(0, 0, "1")
    with pytest.raises(IndexError, match="index out of bounds"):
        op.set(0, -1, 1.0)
    assert to_numpy(op, 2, 2, complex).tolist() == [[0, 1], [2.5, 0]]


def test_get_gives_one_answer_for_every_argument_form(flavour):
    # Plain ints take a short path; everything else goes through the
    # generic binding.  Both must agree, errors included.
    cls, _ = flavour
    op = from_real(cls, [[0.0, 1.0, 2.0], [3.0, 4.0, 5.0]])
    for args in [(1, 2), (True, 2), (Index(), np.int32(2))]:
        assert op.get(*args) == 5.0
    sub = type("Sub", (cls,), {})()
    sub.zeros(1, 1)
    assert sub.get(0, 0) == 0.0
    with pytest.raises(TypeError, match="incompatible function arguments"):
        op.get(i=0, j=0)
    with pytest.raises(TypeError, match="incompatible function arguments"):
        cls.get(object(), 0, 0)


def test_set_size_keeps_column_major_order(flavour):
    cls, dtype = flavour
    op = from_real(cls, np.arange(6).reshape(2, 3))
    op.set_size(2, 3)                   # same shape: nothing changes
    op.set_size(3, 2)
    expected = np.arange(6).reshape(2, 3).flatten(order="F").reshape(3, 2, order="F")
    np.testing.assert_array_equal(to_numpy(op, 3, 2, dtype), expected)
    op.set_size(2, 3)
    np.testing.assert_array_equal(to_numpy(op, 2, 3, dtype), np.arange(6).reshape(2, 3))


@pytest.mark.parametrize("shape, message", [
    ((-1, 2), "Mat::init(): requested size is too large"),
    ((2, -1), "Mat::init(): requested size is too large"),
    ((-1, 1), "arma::memory::acquire(): requested size is too large"),
])
def test_impossible_sizes_raise_runtime_error(flavour, shape, message):
    cls, dtype = flavour
    op = from_real(cls, [[1.0, 2.0]])
    for resize in (op.set_size, op.zeros, op.ones, op.randu, op.randn, op.eye):
        with pytest.raises(RuntimeError) as info:
            resize(*shape)
        assert str(info.value) == message
        # Small matrices live inside the object and survive the failure.
        np.testing.assert_array_equal(to_numpy(op, 1, 2, dtype), [[1.0, 2.0]])


def test_fills(flavour):
    cls, dtype = flavour
    op = cls()
    op.eye(2, 3)
    np.testing.assert_array_equal(to_numpy(op, 2, 3, dtype), np.eye(2, 3))
    op.set_size(3, 2)
    op.eye()
    np.testing.assert_array_equal(to_numpy(op, 3, 2, dtype), np.eye(3, 2))
    op.ones()
    np.testing.assert_array_equal(to_numpy(op, 3, 2, dtype), np.ones((3, 2)))
    op.zeros(4, 1)
    np.testing.assert_array_equal(to_numpy(op, 4, 1, dtype), np.zeros((4, 1)))
    op.randu(30, 30)
    values = to_numpy(op, 30, 30, dtype).view(float)   # real and imaginary parts
    assert values.min() >= 0.0 and values.max() < 1.0 and values.std() > 0.2
    op.randn()
    values = to_numpy(op, 30, 30, dtype).view(float)
    assert values.min() < 0.0 < values.max()


def test_fresh_processes_draw_the_same_sequence():
    # The generator is never seeded: runs are reproducible.
    code = ("import vorn; a = vorn.OperatorComplex(); a.randu(2, 2); b = vorn.OperatorReal(); b.randn(3, 1);"
            "print([a.get(i, j) for i in range(2) for j in range(2)], [b.get(i, 0) for i in range(3)])")
    runs = [subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
            for _ in range(2)]
    assert runs[0] == runs[1] and "j" in runs[0]


def test_randn_large_uses_every_element(flavour):
    # Large fills are split over OpenMP threads: no chunk may be left out.
    cls, dtype = flavour
    op = cls()
    op.randn(101, 103)
    values = to_numpy(op, 101, 103, dtype).ravel()
    assert np.count_nonzero(values == 0) == 0
    assert len(np.unique(values)) == values.size


# --- arithmetic and transposes ------------------------------------------

@pytest.mark.parametrize("op_name, numpy_op", [
    ("+", np.add), ("-", np.subtract), ("*", np.matmul),
])
def test_arithmetic_matches_numpy(flavour, op_name, numpy_op):
    cls, dtype = flavour
    shapes = {"*": ((4, 3), (3, 5))}.get(op_name, ((4, 3), (4, 3)))
    a, a_np = random_operator(cls, *shapes[0], dtype)
    b, b_np = random_operator(cls, *shapes[1], dtype)
    result = eval(f"a {op_name} b")
    assert type(result) is cls
    expected = numpy_op(a_np, b_np)
    np.testing.assert_allclose(to_numpy(result, *expected.shape, dtype), expected, rtol=1e-13, atol=1e-13)
    # Operands untouched; the result is independent of them.
    result.set(0, 0, 99.0)
    np.testing.assert_array_equal(to_numpy(a, *shapes[0], dtype), a_np)
    np.testing.assert_array_equal(to_numpy(b, *shapes[1], dtype), b_np)


def test_same_object_as_both_operands(flavour):
    cls, dtype = flavour
    a, a_np = random_operator(cls, 3, 3, dtype)
    np.testing.assert_allclose(to_numpy(a * a, 3, 3, dtype), a_np @ a_np, rtol=1e-13, atol=1e-13)
    np.testing.assert_array_equal(to_numpy(a - a, 3, 3, dtype), np.zeros((3, 3)))
    np.testing.assert_array_equal(to_numpy(a + a, 3, 3, dtype), 2 * a_np)
    np.testing.assert_array_equal(to_numpy(a, 3, 3, dtype), a_np)


@pytest.mark.parametrize("expr, message", [
    ("a + b", "addition: incompatible matrix dimensions: 2x3 and 3x2"),
    ("a - b", "subtraction: incompatible matrix dimensions: 2x3 and 3x2"),
    ("a * a", "matrix multiplication: incompatible matrix dimensions: 2x3 and 2x3"),
])
def test_dimension_mismatch_messages(flavour, expr, message):
    cls = flavour[0]
    a, b = cls(), cls()
    a.zeros(2, 3)
    b.zeros(3, 2)
    with pytest.raises(RuntimeError) as info:
        eval(expr)
    assert str(info.value) == message


def test_empty_operands(flavour, capfd):
    cls, dtype = flavour
    for result in (cls() + cls(), cls() - cls(), cls() * cls()):
        result.print()
    assert capfd.readouterr().out == "[matrix size: 0x0]\n" * 3
    a, b = cls(), cls()
    a.set_size(2, 0)
    b.set_size(0, 3)
    np.testing.assert_array_equal(to_numpy(a * b, 2, 3, dtype), np.zeros((2, 3)))


@pytest.mark.parametrize("other", [1, None, 1.5, object()])
@pytest.mark.parametrize("symbol", ["+", "-", "*"])
def test_foreign_operands_are_not_implemented(flavour, symbol, other):
    cls = flavour[0]
    wrong_flavour = vorn.OperatorComplex if cls is vorn.OperatorReal else vorn.OperatorReal
    for rhs in (other, wrong_flavour()):
        with pytest.raises(TypeError, match="unsupported operand"):
            eval(f"cls() {symbol} rhs")
    assert getattr(cls(), {"+": "__add__", "-": "__sub__", "*": "__mul__"}[symbol])(other) is NotImplemented


def test_augmented_add_rebinds(flavour):
    cls, dtype = flavour
    a = from_real(cls, [[1.0]])
    kept = a
    a += from_real(cls, [[2.0]])
    assert a is not kept
    assert a.get(0, 0) == 3.0 and kept.get(0, 0) == 1.0


def test_transposes(flavour):
    cls, dtype = flavour
    a, a_np = random_operator(cls, 3, 5, dtype)
    t = a.transpose()
    np.testing.assert_array_equal(to_numpy(t, 5, 3, dtype), a_np.conj().T)
    np.testing.assert_array_equal(to_numpy(t.transpose(), 3, 5, dtype), a_np)
    np.testing.assert_array_equal(to_numpy(a, 3, 5, dtype), a_np)
    a.inplace_transpose()
    np.testing.assert_array_equal(to_numpy(a, 5, 3, dtype), a_np.conj().T)
    s, s_np = random_operator(cls, 4, 4, dtype)
    s.inplace_transpose()
    np.testing.assert_array_equal(to_numpy(s, 4, 4, dtype), s_np.conj().T)
    empty = cls()
    empty.inplace_transpose()
    with pytest.raises(IndexError):
        empty.get(0, 0)


SPECIAL = [0.0, -0.0, float("inf"), float("-inf"), float("nan"), -float("nan"), 5e-324, -1.5]


def bits(values):
    return np.ascontiguousarray(values).view(np.uint64)


@pytest.mark.parametrize("shape", [(1, 9), (9, 1), (3, 5), (4, 8), (9, 7), (64, 64), (129, 66)])
def test_transposes_move_the_bits(flavour, shape):
    # Signed zeros, NaNs and infinities move unchanged; the complex flavour
    # flips the sign of each imaginary part, zeros included.
    cls, dtype = flavour
    a, a_np = random_operator(cls, *shape, dtype)
    for k, value in enumerate(SPECIAL):
        a.set(k % shape[0], (3 * k) % shape[1], value)
        a_np[k % shape[0], (3 * k) % shape[1]] = value
    want = bits(a_np.conj().T)
    assert np.array_equal(bits(to_numpy(a.transpose(), *shape[::-1], dtype)), want)
    assert np.array_equal(bits(to_numpy(a.transpose().transpose(), *shape, dtype)), bits(a_np))
    a.inplace_transpose()
    assert np.array_equal(bits(to_numpy(a, *shape[::-1], dtype)), want)


def test_transpose_of_a_subclass_instance_is_a_fresh_operator(flavour):
    cls, dtype = flavour
    sub = type("Sub", (cls,), {})()
    sub.eye(2, 3)
    result = sub.transpose()
    assert type(result) is cls
    result.set(0, 0, 5.0)
    np.testing.assert_array_equal(to_numpy(sub, 2, 3, dtype), np.eye(2, 3))


def test_transpose_keeps_the_binding_for_other_calls(flavour):
    cls = flavour[0]
    name = cls.__name__
    assert cls.transpose.__doc__ == f"transpose(self: vorn.{name}) -> vorn.{name}\n"
    for call in (lambda: cls().transpose(1), lambda: cls().transpose(x=1), lambda: cls.transpose()):
        with pytest.raises(TypeError, match=r"^transpose\(\): incompatible function arguments"):
            call()


@pytest.mark.plain_allocator
@pytest.mark.parametrize("cls_name", ["OperatorReal", "OperatorComplex"])
def test_transposes_out_of_memory_leave_the_operator_unchanged(cls_name):
    result = run_python(f"""
        import vorn
        from child_python import cap_address_space
        a = vorn.{cls_name}()
        a.eye(3000, 1000)
        cap_address_space(8 << 20)           # less than a copy of the matrix
        for method in (a.transpose, a.inplace_transpose):
            try:
                method()
            except MemoryError as error:
                print("MemoryError:", error)
        a.set_size(1000, 3000)               # the same elements, no allocation
        print(a.get(0, 0), a.get(999, 2999), a.get(1, 1))
    """)
    assert result.returncode == 0, result.stderr
    one, zero = ("1.0", "0.0") if cls_name == "OperatorReal" else ("(1+0j)", "0j")
    assert result.stdout == f"MemoryError: std::bad_alloc\n" * 2 + f"{one} {zero} {zero}\n"


HUGE = str(2**64 - 1)


@pytest.mark.parametrize("cls_name", ["OperatorReal", "OperatorComplex"])
@pytest.mark.parametrize("rows, cols", [(-1, 0), (0, -1)])
def test_every_operation_on_a_huge_empty_shape_returns_at_once(cls_name, rows, cols):
    # set_size(-1, 0) gives a 2^64-1 x 0 matrix: no elements, so no operation
    # may walk its dimensions (a real transpose used to loop 2^64 times).
    r, c = (HUGE if n == -1 else "0" for n in (rows, cols))
    shape, flipped = f"[matrix size: {r}x{c}]\n", f"[matrix size: {c}x{r}]\n"

    def square(n):
        return "[matrix size: 0x0]\nNone" if n == "0" else "RuntimeError: Mat::init(): requested size is too large"

    expected = {
        **{f"after('{fill}')": shape + "None" for fill in ("zeros", "ones", "randu", "randn", "eye")},
        **{f"after('{fill}', {rows}, {cols})": shape + "None"
           for fill in ("zeros", "ones", "randu", "randn", "eye", "set_size")},
        "after('inplace_transpose')": flipped + "None",
        "m().transpose().print()": flipped + "None",
        "m().get(0, 0)": "IndexError: Mat::operator(): index out of bounds",
        "m().set(0, 0, 1.0)": "IndexError: Mat::operator(): index out of bounds",
        "m().inverse()": "RuntimeError: inv(): given matrix must be square sized",
        "m().det()": "RuntimeError: det(): given matrix must be square sized",
        "(m().is_symmetric(), m().is_hermitian())": "(False, False)",
        "m().eigen()": "RuntimeError: eig_gen(): given matrix must be square sized",
        "m().print()": shape + "None",
        "m().print_eigen()": "[matrix size: 0x1]\n[matrix size: 0x0]\nNone",
        "(m() + m()).print()": shape + "None",
        "(m() - m()).print()": shape + "None",
        "m() * m()": f"RuntimeError: matrix multiplication: incompatible matrix dimensions: {r}x{c} and {r}x{c}",
        "(m() * m().transpose()).print()": square(r),
        "(m().transpose() * m()).print()": square(c),
    }
    setup = f"""
        import vorn
        def m():
            x = vorn.{cls_name}()
            x.set_size({rows}, {cols})
            return x
        def after(method, *args):
            x = m()
            getattr(x, method)(*args)
            x.print()
    """
    assert dict(zip(expected, outcomes(setup, list(expected)))) == expected


# --- inverse, determinant, structure tests ------------------------------

def test_inverse_and_det_match_numpy(flavour):
    cls, dtype = flavour
    a, a_np = random_operator(cls, 6, 6, dtype)
    inv = a.inverse()
    assert type(inv) is cls
    np.testing.assert_allclose(to_numpy(inv, 6, 6, dtype), np.linalg.inv(a_np), rtol=1e-10, atol=1e-12)
    det = a.det()
    assert type(det) is (float if dtype is np.float64 else complex)
    np.testing.assert_allclose(det, np.linalg.det(a_np), rtol=1e-10)
    inv.set(0, 0, 123.0)
    np.testing.assert_array_equal(to_numpy(a, 6, 6, dtype), a_np)


@pytest.mark.parametrize("matrix", [
    np.ones((3, 3)),
    np.zeros((1, 1)),          # the closed 1x1 formula must not hand back +inf
    np.zeros((2, 2)),
])
def test_singular_inverse_raises(flavour, matrix):
    a = from_real(flavour[0], matrix)
    with pytest.raises(RuntimeError) as info:
        a.inverse()
    assert str(info.value) == "inv(): matrix is singular"
    assert a.det() == 0.0


def test_non_square_inverse_and_det(flavour):
    a = flavour[0]()
    a.zeros(2, 3)
    with pytest.raises(RuntimeError) as info:
        a.inverse()
    assert str(info.value) == "inv(): given matrix must be square sized"
    with pytest.raises(RuntimeError) as info:
        a.det()
    assert str(info.value) == "det(): given matrix must be square sized"
    assert not a.is_symmetric() and not a.is_hermitian()


def test_empty_operator_analysis(flavour, capfd):
    cls = flavour[0]
    a = cls()
    assert a.is_symmetric() and a.is_hermitian()
    assert a.det() == 1.0
    a.inverse().print()
    assert capfd.readouterr().out == "[matrix size: 0x0]\n"


def test_complex_det_of_rotation():
    a = from_real(vorn.OperatorComplex, [[0.0, 1.0], [-1.0, 0.0]])
    assert a.det() == 1 + 0j


@pytest.mark.parametrize("matrix, symmetric", [
    ([[np.nan]], True),                                   # no off-diagonal element
    ([[1.0, 2.0], [2.0, 1.0]], True),
    ([[1.0, 0.1], [np.nextafter(0.1, 1.0), 1.0]], False),  # one unit in the last place
    ([[1.0, np.nan], [np.nan, 1.0]], False),
    ([[np.nan, 2.0], [2.0, np.nan]], True),
])
def test_structure_tests_are_exact(flavour, matrix, symmetric):
    a = from_real(flavour[0], matrix)
    assert a.is_symmetric() is symmetric
    assert a.is_hermitian() is symmetric


def test_complex_symmetric_versus_hermitian():
    one, _ = random_operator(vorn.OperatorComplex, 1, 1, complex)
    assert one.is_symmetric() and not one.is_hermitian()
    a, _ = random_operator(vorn.OperatorComplex, 3, 3, complex)
    h = a + a.transpose()
    assert h.is_hermitian() and not h.is_symmetric()


# --- eigen-decomposition and printing -----------------------------------

def printed_eigen(op, capfd, n):
    """(eigenvalues, eigenvector rows) as print_eigen wrote them."""
    capfd.readouterr()
    op.print_eigen()
    rows = parse_rows(capfd.readouterr().out)
    assert len(rows) == 2 * n
    return [r[0] for r in rows[:n]], np.array(rows[n:])


def test_eigen_symmetric_matches_eigh(flavour, capfd):
    cls, dtype = flavour
    a, _ = random_operator(cls, 5, 5, dtype)
    h = a + a.transpose()
    h.eigen()
    values, vectors = printed_eigen(h, capfd, 5)
    expected = np.linalg.eigh(to_numpy(h, 5, 5, dtype))[0]
    assert all(isinstance(v, float) for v in values)     # real layout, ascending
    np.testing.assert_allclose(values, expected, rtol=1e-3, atol=1e-3)
    assert vectors.shape == (5, 5)


def test_eigen_general_matches_eig(flavour, capfd):
    cls, dtype = flavour
    a, a_np = random_operator(cls, 5, 5, dtype)
    a.eigen()
    values, _ = printed_eigen(a, capfd, 5)
    expected = np.linalg.eigvals(a_np)
    key = lambda z: (round(z.real, 2), round(z.imag, 2))
    np.testing.assert_allclose(sorted(values, key=key), sorted(expected, key=key), rtol=2e-3, atol=2e-3)


def test_eigen_of_small_known_matrices(capfd):
    s = from_real(vorn.OperatorReal, [[2.0, 1.0], [1.0, 2.0]])
    s.eigen()
    s.print_eigen()
    out = capfd.readouterr().out
    assert out.splitlines()[:2] == ["   1.0000", "   3.0000"]
    r = from_real(vorn.OperatorReal, [[0.0, 1.0], [-1.0, 0.0]])
    r.eigen()
    values, _ = printed_eigen(r, capfd, 2)
    assert values == [1j, -1j]


def test_print_eigen_follows_the_current_matrix(capfd):
    a = from_real(vorn.OperatorReal, [[2.0, 1.0], [1.0, 2.0]])
    a.eigen()                                # fills the symmetric pair
    a.set(0, 1, 1.5)                         # now not symmetric
    a.print_eigen()
    assert capfd.readouterr().out == "[matrix size: 0x1]\n[matrix size: 0x0]\n"
    a.eigen()                                # fills the general pair too
    a.set(0, 1, 1.0)                         # symmetric again: old results
    values, _ = printed_eigen(a, capfd, 2)
    assert values == [1.0, 3.0]


def test_eigen_failures_are_silent_or_clear(flavour, capfd):
    cls = flavour[0]
    a = from_real(cls, [[1.0, np.nan], [0.0, 1.0]])
    a.eigen()                                # general solver fails: empty pair
    a.print_eigen()
    assert capfd.readouterr().out == "[matrix size: 0x1]\n[matrix size: 0x0]\n"
    b = from_real(cls, [[0.0, 1.0], [-1.0, 0.0]])
    b.eigen()                                # general pair: +i, -i
    b.ones(2, 2)
    b.set(1, 1, 3.0)
    b.eigen()                                # symmetric pair of [[1, 1], [1, 3]]
    b.set_size(2, 3)
    with pytest.raises(RuntimeError) as info:
        b.eigen()
    assert str(info.value) == "eig_gen(): given matrix must be square sized"
    b.ones(2, 2)                             # both pairs kept their contents
    b.set(1, 1, 3.0)
    symmetric, _ = printed_eigen(b, capfd, 2)
    np.testing.assert_allclose(symmetric, [2 - 2**0.5, 2 + 2**0.5], atol=1e-4)
    b.set(0, 1, 2.0)
    general, _ = printed_eigen(b, capfd, 2)
    np.testing.assert_allclose(general, [1j, -1j], atol=1e-4)


def test_fresh_operator_prints_empty_pairs(flavour, capfd):
    a = flavour[0]()
    a.print_eigen()
    a.eigen()
    a.print_eigen()
    assert capfd.readouterr().out == "[matrix size: 0x1]\n[matrix size: 0x0]\n" * 2


def test_results_carry_no_eigen_results(flavour, capfd):
    cls, dtype = flavour
    a = from_real(cls, [[2.0, 1.0], [1.0, 2.0]])
    a.eigen()
    a.set(0, 1, 0.5)
    a.eigen()                                # both pairs filled
    for result in (a + a, a - a, a * a, a.transpose(), a.inverse()):
        capfd.readouterr()
        result.print_eigen()
        assert capfd.readouterr().out == "[matrix size: 0x1]\n[matrix size: 0x0]\n"


def test_complex_symmetric_non_hermitian_warns(capfd):
    a, a_np = random_operator(vorn.OperatorComplex, 1, 1, complex)
    a.eigen()
    captured = capfd.readouterr()
    assert captured.err == "\nwarning: eig_sym(): given matrix is not hermitian\n"
    values, vectors = printed_eigen(a, capfd, 1)
    np.testing.assert_allclose(values, [a_np[0, 0].real], rtol=1e-3)
    assert vectors.tolist() == [[1 + 0j]]


def check_general_vectors(a_np, values, vectors):
    """The general pair of a real matrix as the solver promises it: unit
    columns with a real largest component, real columns for real
    eigenvalues, and A v = lambda v (to the printed four digits)."""
    for k, value in enumerate(values):
        v = vectors[:, k]
        assert abs(np.linalg.norm(v) - 1) < 2e-3, f"column {k} of {vectors} is not a unit vector"
        largest = np.abs(v).max()
        assert any(abs(c) > largest - 2e-3 and abs(c.imag) < 2e-3 for c in v), \
            f"column {k} of {vectors} has no real largest component"
        if value.imag == 0:
            assert all(c.imag == 0 for c in v), f"column {k} of {vectors} is not real for eigenvalue {value}"
        np.testing.assert_allclose(a_np @ v, value * v, atol=1e-2, err_msg=f"column {k} for {value}")


# Two equal real eigenvalues next to each other used to come back as the
# complex vectors VR_j +- i VR_j+1, of norm sqrt(2).
@pytest.mark.parametrize("matrix, expected", [
    ([[2, 0, 1], [0, 2, 0], [0, 0, 3]], [[1, 0], [0, 1], [0, 0]]),
    ([[1, 1], [0, 1]], [[1, -1], [0, 0]]),                   # Jordan block: parallel vectors
    ([[3, 0, 0, 1], [0, 3, 0, 0], [0, 0, -1, 2], [0, 0, 0, -1]],
     [[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 1, -1], [0, 0, 0, 0]]),
])
def test_repeated_real_eigenvalues_get_unit_real_vectors(matrix, expected, capfd):
    a = from_real(vorn.OperatorReal, matrix)
    a.eigen()
    n = len(matrix)
    values, vectors = printed_eigen(a, capfd, n)
    check_general_vectors(np.array(matrix, dtype=float), values, vectors)
    # LAPACK builds may differ in a column's sign.
    np.testing.assert_allclose(abs(vectors[:, :len(expected[0])]), abs(np.array(expected)), atol=2e-3)


def test_conjugate_pair_keeps_its_complex_vectors(capfd):
    a = from_real(vorn.OperatorReal, [[0, 1, 0], [-1, 0, 0], [0, 0, 1]])
    a.eigen()
    values, vectors = printed_eigen(a, capfd, 3)
    assert values == [1j, -1j, 1]
    check_general_vectors(to_numpy(a, 3, 3, float), values, vectors)
    assert (vectors[:, 0] == vectors[:, 1].conj()).all() and (vectors[:, 0].imag != 0).any()


def test_general_vectors_match_numpy_on_small_integer_matrices(capfd):
    # Small integer entries repeat eigenvalues often.  A repeated
    # eigenvalue's eigenspace basis may differ between LAPACK builds, so
    # only simple eigenvalues are compared column by column.
    rng = np.random.default_rng(17)
    compared = 0
    for _ in range(300):
        n = int(rng.integers(2, 5))
        a_np = rng.integers(-2, 3, size=(n, n)).astype(float)
        if (a_np == a_np.T).all():
            continue
        a = from_real(vorn.OperatorReal, a_np)
        a.eigen()
        values, vectors = printed_eigen(a, capfd, n)
        check_general_vectors(a_np, values, vectors)
        expected_values, expected_vectors = np.linalg.eig(a_np)
        for k, value in enumerate(values):
            gaps = np.abs(expected_values - value)
            nearest = int(gaps.argmin())
            if np.sort(gaps)[1] < 1e-2:
                continue                                    # not simple
            expected = expected_vectors[:, nearest]
            # Unit eigenvectors agree up to a unit factor: a sign, or for a
            # complex pair a phase, which LAPACK builds choose differently
            # when components tie in size.
            overlap = np.vdot(expected, vectors[:, k])
            where = f"{a_np}: column {k} {vectors[:, k]} against numpy's {expected}"
            assert abs(abs(overlap) - 1) < 2e-3, where
            assert np.abs(vectors[:, k] - overlap / abs(overlap) * expected).max() < 2e-3, where
            compared += 1
    assert compared > 300


@pytest.mark.parametrize("matrix", [
    [[np.nan, 1.0], [1.0, 2.0]],                          # a corner Armadillo inspects
    [[1.0, np.inf], [np.inf, 1.0]],
    [[2.0, 1.0, -np.inf], [1.0, 2.0, 1.0], [-np.inf, 1.0, 2.0]],
])
def test_real_eigen_writes_no_warning(matrix, capfd):
    # An exactly symmetric real matrix with a non-finite corner fails
    # Armadillo's tolerance check: that warning must not appear.  The pair
    # is emptied silently, as for any failed decomposition.
    a = from_real(vorn.OperatorReal, matrix)
    a.eigen()
    a.print_eigen()
    assert capfd.readouterr() == ("[matrix size: 0x1]\n[matrix size: 0x0]\n", "")


@pytest.mark.parametrize("broken", ["/dev/full", "closed pipe"])
def test_print_resumes_after_a_failed_write(broken):
    # A failed write must not silence later prints; what it wrote is lost,
    # and nothing of it turns up later.
    code = f"""
        import os, vorn
        a = vorn.OperatorReal(); a.eye(2, 2)
        h = vorn.HamiltonianComplex(); h.ones(1, 1)
        b = vorn.BasisReal(); b.ones(1)
        if {broken!r} == "/dev/full":
            target = os.open("/dev/full", os.O_WRONLY)
        else:
            read_end, target = os.pipe()
            os.close(read_end)
        kept = os.dup(1)
        os.dup2(target, 1)
        a.print(); h.print_eigen(); b.print()
        os.dup2(kept, 1)
        a.print(); h.print_eigen(); b.print()
    """
    result = run_python(code)
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout == ("   1.0000        0\n        0   1.0000\n"
                             "[matrix size: 0x1]\n[matrix size: 0x0]\n   1.0000\n")


@pytest.mark.parametrize("matrix, expected", [
    ([[1, 2], [3, 4]], "   1.0000   2.0000\n   3.0000   4.0000\n"),
    ([[1, 0], [3, 150]], "   1.0000e+00            0\n   3.0000e+00   1.5000e+02\n"),
])
def test_print_layout_real(matrix, expected, capfd):
    from_real(vorn.OperatorReal, matrix).print()
    assert capfd.readouterr().out == expected


def test_print_layout_complex(capfd):
    a = from_real(vorn.OperatorComplex, [[1.0, 0.0]])
    a.print()
    assert capfd.readouterr().out == "    (+1.000e+00,+0.000e+00)                      (0,0)\n"


# --- the Python surface -------------------------------------------------

def test_method_table_and_signatures(flavour):
    cls, dtype = flavour
    own = [k for k in vars(cls) if k not in ("__doc__", "__module__", "_pybind11_conduit_v1_")]
    assert own == ["__init__", "eigen", "__add__", "__sub__", "__mul__", "transpose",
                   "inplace_transpose", "inverse", "is_hermitian", "is_symmetric", "det", "get",
                   "set_size", "set", "zeros", "ones", "randu", "randn", "eye", "print", "print_eigen"]
    name, scalar = cls.__name__, "float" if dtype is np.float64 else "complex"
    assert cls.__doc__ is None
    assert cls.get.__doc__ == f"get(self: vorn.{name}, arg0: int, arg1: int) -> {scalar}\n"
    assert cls.det.__doc__ == f"det(self: vorn.{name}) -> {scalar}\n"
    assert cls.set.__doc__ == f"set(self: vorn.{name}, arg0: int, arg1: int, arg2: float) -> None\n"
    assert cls.__add__.__doc__ == f"__add__(self: vorn.{name}, arg0: vorn.{name}) -> vorn.{name}\n"
    assert cls.eye.__doc__ == (f"eye(*args, **kwargs)\nOverloaded function.\n\n"
                               f"1. eye(self: vorn.{name}) -> None\n\n"
                               f"2. eye(self: vorn.{name}, arg0: int, arg1: int) -> None\n")
    with pytest.raises(AttributeError):
        cls().anything = 1
