import math

import pytest

import vorn_library.vorn_library as vl


@pytest.fixture(scope="session")
def m():
    return vl


def nan_equal(a, b, tol=0.0):
    """Element-wise equality where NaN matches NaN; tol is relative+absolute."""
    if len(a) != len(b):
        return False
    for x, y in zip(a, b):
        if math.isnan(x) or math.isnan(y):
            if not (math.isnan(x) and math.isnan(y)):
                return False
        elif tol == 0.0:
            if x != y:
                return False
        elif abs(x - y) > tol * (1.0 + abs(y)):
            return False
    return True


def first_defined(series):
    for i, v in enumerate(series):
        if not math.isnan(v):
            return i
    return None
