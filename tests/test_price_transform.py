"""Price transforms: exact arithmetic in the documented operation order, and validation."""
import math
import random

import pytest

NAN = math.nan
INF = math.inf

FUNCS = {
    "py_avgprice": (("open", "high", "low", "close"), lambda o, h, l, c: (((o + h) + l) + c) * 0.25),
    "py_medprice": (("high", "low"), lambda h, l: (h + l) * 0.5),
    "py_typprice": (("high", "low", "close"), lambda h, l, c: ((h + l) + c) / 3.0),
    "py_wclprice": (("high", "low", "close"), lambda h, l, c: ((c + c) + (h + l)) * 0.25),
}


def raises(fn, *args):
    with pytest.raises(ValueError) as e:
        fn(*args)
    return str(e.value)


@pytest.mark.parametrize(
    "name, args, expected",
    [
        ("py_medprice", ([3.0], [1.0]), [2.0]),
        ("py_typprice", ([3], [1], [2]), [2.0]),
        ("py_wclprice", ([4.0], [2.0], [3.0]), [3.0]),
        ("py_avgprice", ([1], [4], [0], [3]), [2.0]),
        ("py_typprice", ([0.1, 1.0], [0.2, 1.0], [0.4, 2.0]), [((0.1 + 0.2) + 0.4) / 3.0, 4.0 / 3.0]),
    ],
)
def test_small_cases(m, name, args, expected):
    assert getattr(m, name)(*args) == expected


@pytest.mark.parametrize("name", FUNCS)
def test_matches_operation_order(m, name):
    names, ref = FUNCS[name]
    rng = random.Random(len(names))
    cols = [[rng.uniform(-1e4, 1e4) * 10 ** rng.randint(-8, 8) for _ in range(2000)] for _ in names]
    assert getattr(m, name)(*cols) == [ref(*row) for row in zip(*cols)]


@pytest.mark.parametrize("name", FUNCS)
def test_overflow_is_returned(m, name):
    names, _ = FUNCS[name]
    assert getattr(m, name)(*([[1.7e308]] * len(names))) == [INF]


@pytest.mark.parametrize("name", FUNCS)
def test_validation_order(m, name):
    names, _ = FUNCS[name]
    fn = getattr(m, name)
    k = len(names)
    first = names[0]
    ok = [1.0, 2.0, 3.0]
    # the first series alone: empty, then non-finite, before anything about the others
    assert raises(fn, *([[]] * k)) == f"Empty input: {first} cannot be empty"
    assert raises(fn, [1.0, NAN], *([[]] * (k - 1))) == (
        f"Invalid value at index 1: {first} contains non-finite value: NaN"
    )
    for j in range(1, k):
        later = names[j]
        args = [ok] * k
        args[j] = []
        assert raises(fn, *args) == f"Empty input: {later} cannot be empty"
        args[j] = [1.0, NAN]  # length is tested before the values
        assert raises(fn, *args) == f"Length mismatch: {first}=3, {later}=2"
        args[j] = [1.0, 2.0, -INF]
        assert raises(fn, *args) == f"Invalid value at index 2: {later} contains non-finite value: -inf"
        if j + 1 < k:  # an earlier series is checked in full before a later one
            args[j + 1] = []
            assert raises(fn, *args) == f"Invalid value at index 2: {later} contains non-finite value: -inf"


def test_named_cases(m):
    assert raises(m.py_medprice, [1, 2], [1]) == "Length mismatch: high=2, low=1"
    assert raises(m.py_typprice, [1.0, 2.0], [1.0, 2.0], [3.0, NAN]) == (
        "Invalid value at index 1: close contains non-finite value: NaN"
    )
    assert m.py_medprice(high=[3.0], low=[1.0]) == [2.0]
    with pytest.raises(TypeError):
        m.py_medprice([3.0], None)


def test_docstrings(m):
    assert m.py_avgprice.__text_signature__ == "(open, high, low, close)"
    assert m.py_avgprice.__doc__.startswith("Calculate Average Price (OHLC/4)\n\n")
    assert m.py_medprice.__text_signature__ == "(high, low)"
    assert m.py_medprice.__doc__.startswith("Calculate Median Price (HL/2)\n\n")
    assert m.py_typprice.__text_signature__ == "(high, low, close)"
    assert m.py_typprice.__doc__.startswith("Calculate Typical Price (HLC/3)\n\n")
    for f in (m.py_avgprice, m.py_medprice, m.py_typprice):
        assert "\nReturns\n-------\n" in f.__doc__
    assert m.py_wclprice.__text_signature__ == "(high, low, close)"
    assert m.py_wclprice.__doc__ in (None, "")
