"""One conversion rule for index/size arguments and one for element values,
run through every method that takes them, in every class: an index takes
exactly what operator.index takes (within a 32-bit int), a value takes a
real number and never a complex one."""

import decimal
import fractions
import operator
import warnings

import numpy as np
import pytest

import vorn


class Index:
    def __repr__(self):
        return "Index()"

    def __index__(self):
        return 1


class IntOnly:
    def __repr__(self):
        return "IntOnly()"

    def __int__(self):
        return 1


class FloatOnly:
    def __repr__(self):
        return "FloatOnly()"

    def __float__(self):
        return 0.5


class IntSub(int):
    pass


class FloatSub(float):
    pass


class ComplexSub(complex):
    pass


# name: (the argument, taken as an index, taken as an element value)
KINDS = {
    "int": (1, True, True),
    "negative int": (-1, True, True),
    "int subclass": (IntSub(1), True, True),
    "bool": (True, True, True),
    "largest int32": (2**31 - 1, True, True),
    "int beyond int32": (2**31, False, True),
    "int below int32": (-2**31 - 1, False, True),
    "int beyond double": (10**400, False, False),
    "__index__": (Index(), True, True),
    "__int__ only": (IntOnly(), False, False),
    "__float__": (FloatOnly(), False, True),
    "float": (1.0, False, True),
    "float subclass": (FloatSub(0.5), False, True),
    "Fraction": (fractions.Fraction(1, 2), False, True),
    "Decimal": (decimal.Decimal("0.5"), False, True),
    "complex": (1 + 0j, False, False),
    "complex subclass": (ComplexSub(1), False, False),
    "str": ("1", False, False),
    "bytes": (b"1", False, False),
    "None": (None, False, False),
    "numpy bool": (np.True_, False, True),
    "numpy 0-d int array": (np.array(1), True, True),
    **{f"numpy {t.__name__}": (t(1), True, True)
       for t in (np.int8, np.int16, np.int32, np.int64, np.uint8, np.uint16, np.uint32, np.uint64)},
    "numpy int64 beyond int32": (np.int64(2**31), False, True),
    **{f"numpy {t.__name__}": (t(0.5), False, True)
       for t in (np.float16, np.float32, np.float64, np.longdouble)},
    **{f"numpy {t.__name__}": (t(1), False, False)
       for t in (np.complex64, np.complex128, np.clongdouble)},
}

CLASSES = ["OperatorReal", "OperatorComplex", "BasisReal", "BasisComplex",
           "HamiltonianReal", "HamiltonianComplex"]


def methods(cls_name):
    """(method, arguments) for every method taking indexes or values, with
    plausible arguments: index 1 into a 2x2 (or 2-element) object, sizes 0,
    the value last for set."""
    dims = 1 if cls_name.startswith("Basis") else 2
    sized = ["set_size", "zeros", "ones", "randu", "randn"] + (["eye"] if dims == 2 else [])
    return [("get", [1] * dims), ("set", [1] * dims + [0.5]), *((name, [0] * dims) for name in sized)]


def fresh(cls_name):
    x = getattr(vorn, cls_name)()
    if cls_name.startswith("Basis"):
        x.zeros(2)
    else:
        x.zeros(2, 2)
    return x


def outcome(method, args):
    """'refused' for pybind11's TypeError, else 'taken' (a result, or an
    error of the method itself such as IndexError)."""
    try:
        method(*args)
    except TypeError as e:
        assert "incompatible function arguments" in str(e), str(e)
        return "refused"
    except (IndexError, RuntimeError, MemoryError):
        pass
    return "taken"


@pytest.mark.parametrize("kind", KINDS)
def test_every_argument_kind_through_every_method(kind):
    argument, as_index, as_value = KINDS[kind]
    wrong = []
    for cls_name in CLASSES:
        for name, plain in methods(cls_name):
            for position in range(len(plain)):
                is_value = name == "set" and position == len(plain) - 1
                if kind == "largest int32" and name != "get" and len(plain) == 1:
                    continue  # a Basis of 2**31 - 1 elements would take 16 GiB
                args = [*plain[:position], argument, *plain[position + 1:]]
                with warnings.catch_warnings():
                    # Neither rule may go through a conversion that warns
                    # (numpy does when a complex scalar is made real).
                    warnings.simplefilter("error")
                    got = outcome(getattr(fresh(cls_name), name), args)
                wanted = "taken" if (as_value if is_value else as_index) else "refused"
                if got != wanted:
                    wrong.append(f"{cls_name}.{name}{tuple(args)!r}: {got}, wanted {wanted}")
    assert not wrong, "\n".join(wrong)


@pytest.mark.parametrize("kind", KINDS)
def test_the_index_rule_is_operator_index(kind):
    argument, as_index, _ = KINDS[kind]
    with warnings.catch_warnings():
        # As in the method calls: older numpy (2.2, the last for CPython
        # 3.10) still takes a numpy bool as an index, with a
        # DeprecationWarning.
        warnings.simplefilter("error")
        try:
            taken = -2**31 <= operator.index(argument) < 2**31
        except (TypeError, DeprecationWarning):
            taken = False
    assert taken == as_index


@pytest.mark.parametrize("cls_name", CLASSES)
@pytest.mark.parametrize("kind", [k for k, (_, as_index, _) in KINDS.items() if as_index and k != "largest int32"])
def test_an_index_reads_the_element_it_names(cls_name, kind):
    x = fresh(cls_name)
    index = KINDS[kind][0]
    args = [index] * (1 if cls_name.startswith("Basis") else 2)
    if operator.index(index) < 0:
        with pytest.raises(IndexError):
            x.get(*args)
        return
    x.set(*args, 2.5)
    assert x.get(*[operator.index(a) for a in args]) == 2.5


@pytest.mark.parametrize("cls_name", ["OperatorReal", "BasisComplex"])
@pytest.mark.parametrize("kind", [k for k, (_, _, as_value) in KINDS.items() if as_value])
def test_a_value_is_stored_as_its_float(cls_name, kind):
    x = fresh(cls_name)
    value = KINDS[kind][0]
    args = [0] * (1 if cls_name.startswith("Basis") else 2)
    if kind == "int beyond int32":
        value = 2**53 + 1  # rounds to the nearest double, as float() does
    x.set(*args, value)
    assert x.get(*args) == float(value)
