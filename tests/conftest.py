import pytest

from vorn_support import FLAVOURS


@pytest.fixture(params=sorted(FLAVOURS))
def flavour(request):
    """(Operator class, numpy dtype) for each flavour."""
    return FLAVOURS[request.param]
