"""Every method's rendered signature, as users and their editors read it in
__doc__: the same on every pybind11 line the package builds with."""

import pytest

import vorn

# The signatures of each kind of class, in the order the class holds its
# methods; {cls} is the class, {scalar} the element type ("float" or
# "complex"), and a list is an overloaded method, in overload order.
OPERATOR = {
    "__init__": "__init__(self: vorn.{cls}) -> None",
    "eigen": "eigen(self: vorn.{cls}) -> None",
    "__add__": "__add__(self: vorn.{cls}, arg0: vorn.{cls}) -> vorn.{cls}",
    "__sub__": "__sub__(self: vorn.{cls}, arg0: vorn.{cls}) -> vorn.{cls}",
    "__mul__": "__mul__(self: vorn.{cls}, arg0: vorn.{cls}) -> vorn.{cls}",
    "transpose": "transpose(self: vorn.{cls}) -> vorn.{cls}",
    "inplace_transpose": "inplace_transpose(self: vorn.{cls}) -> None",
    "inverse": "inverse(self: vorn.{cls}) -> vorn.{cls}",
    "is_hermitian": "is_hermitian(self: vorn.{cls}) -> bool",
    "is_symmetric": "is_symmetric(self: vorn.{cls}) -> bool",
    "det": "det(self: vorn.{cls}) -> {scalar}",
    "get": "get(self: vorn.{cls}, arg0: int, arg1: int) -> {scalar}",
    "set_size": "set_size(self: vorn.{cls}, arg0: int, arg1: int) -> None",
    "set": "set(self: vorn.{cls}, arg0: int, arg1: int, arg2: float) -> None",
    **{fill: [f"{fill}(self: vorn.{{cls}}) -> None",
              f"{fill}(self: vorn.{{cls}}, arg0: int, arg1: int) -> None"]
       for fill in ("zeros", "ones", "randu", "randn", "eye")},
    "print": "print(self: vorn.{cls}) -> None",
    "print_eigen": "print_eigen(self: vorn.{cls}) -> None",
}
BASIS = {
    "__init__": "__init__(self: vorn.{cls}) -> None",
    "__add__": "__add__(self: vorn.{cls}, arg0: vorn.{cls}) -> vorn.{cls}",
    "__sub__": "__sub__(self: vorn.{cls}, arg0: vorn.{cls}) -> vorn.{cls}",
    "get": "get(self: vorn.{cls}, arg0: int) -> {scalar}",
    "set_size": "set_size(self: vorn.{cls}, arg0: int) -> None",
    "set": "set(self: vorn.{cls}, arg0: int, arg1: float) -> None",
    **{fill: [f"{fill}(self: vorn.{{cls}}) -> None",
              f"{fill}(self: vorn.{{cls}}, arg0: int) -> None"]
       for fill in ("zeros", "ones", "randu", "randn")},
    "print": "print(self: vorn.{cls}) -> None",
}
HAMILTONIAN = {"__init__": "__init__(self: vorn.{cls}) -> None"}

CLASSES = {f"{kind}{flavour}": table
           for kind, table in (("Operator", OPERATOR), ("Basis", BASIS), ("Hamiltonian", HAMILTONIAN))
           for flavour in ("Real", "Complex")}


def expected_doc(signature, cls, scalar):
    if isinstance(signature, str):
        return signature.format(cls=cls, scalar=scalar) + "\n"
    name = signature[0].split("(")[0]
    overloads = "".join(f"\n{k}. {s.format(cls=cls, scalar=scalar)}\n" for k, s in enumerate(signature, 1))
    return f"{name}(*args, **kwargs)\nOverloaded function.\n{overloads}"


@pytest.mark.parametrize("cls", sorted(CLASSES))
def test_every_method_renders_its_published_signature(cls):
    scalar = "complex" if cls.endswith("Complex") else "float"
    wanted = {name: expected_doc(signature, cls, scalar) for name, signature in CLASSES[cls].items()}
    got = {name: value.__doc__ for name, value in vars(getattr(vorn, cls)).items()
           if callable(value) and not name.startswith("_pybind11")}
    assert list(got) == list(wanted), "the methods, in the order the class holds them"
    for name in wanted:
        assert got[name] == wanted[name], f"{cls}.{name}"
