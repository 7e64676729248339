"""Element-wise math and rolling window math.

Element-wise results are compared exactly with Python's math module, which calls the same
platform math library; rolling extrema exactly with NumPy over each window; rolling sums
to 1e-9 relative (compensated sums against math.fsum).
"""
import math
import random

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

from conftest import nan_equal, random_walk as walk
from reference import ref_latest_extreme, ref_minmaxindex, ref_window

NAN = math.nan
INF = math.inf


def raises(fn, *args):
    with pytest.raises(ValueError) as e:
        fn(*args)
    return str(e.value)


def same_bits(a, b):
    return len(a) == len(b) and all(math.copysign(1, x) == math.copysign(1, y) and (x == y or x != x and y != y)
                                    for x, y in zip(a, b))


RNG = random.Random(3)
UNARY = {
    "py_sqrt": (math.sqrt, [RNG.uniform(0, 1e6) for _ in range(300)] + [0.0, -0.0, 2.0]),
    "py_ln": (math.log, [RNG.uniform(1e-9, 1e6) for _ in range(300)] + [1.0, 5e-324]),
    "py_log10": (math.log10, [RNG.uniform(1e-9, 1e6) for _ in range(300)] + [1000.0]),
    "py_exp": (math.exp, [RNG.uniform(-700, 700) for _ in range(300)] + [0.0]),
    "py_abs": (math.fabs, [RNG.uniform(-1e6, 1e6) for _ in range(300)] + [-0.0, 0.0]),
    "py_ceil": (lambda x: float(np.ceil(x)), [RNG.uniform(-50, 50) for _ in range(300)] + [-0.5, 0.5, -0.0]),
    "py_floor": (lambda x: float(np.floor(x)), [RNG.uniform(-50, 50) for _ in range(300)] + [-0.5, 0.5, -0.0]),
    "py_sin": (math.sin, [RNG.uniform(-100, 100) for _ in range(300)]),
    "py_cos": (math.cos, [RNG.uniform(-100, 100) for _ in range(300)]),
    "py_tan": (math.tan, [RNG.uniform(-100, 100) for _ in range(300)]),
    "py_asin": (math.asin, [RNG.uniform(-1, 1) for _ in range(300)] + [-1.0, 1.0]),
    "py_acos": (math.acos, [RNG.uniform(-1, 1) for _ in range(300)] + [-1.0, 1.0]),
    "py_atan": (math.atan, [RNG.uniform(-1e3, 1e3) for _ in range(300)]),
    "py_sinh": (math.sinh, [RNG.uniform(-700, 700) for _ in range(300)]),
    "py_cosh": (math.cosh, [RNG.uniform(-700, 700) for _ in range(300)]),
    "py_tanh": (math.tanh, [RNG.uniform(-20, 20) for _ in range(300)]),
}


@pytest.mark.parametrize("name", UNARY)
def test_unary_matches_math_library(m, name):
    ref, values = UNARY[name]
    got = getattr(m, name)(values)
    assert isinstance(got, list) and len(got) == len(values)
    assert same_bits(got, [ref(x) for x in values])


@pytest.mark.parametrize("name", UNARY)
def test_unary_validation(m, name):
    fn = getattr(m, name)
    assert fn.__text_signature__ == "(values)" and fn.__doc__ in (None, "")
    assert raises(fn, []) == "Empty input: values cannot be empty"
    assert raises(fn, [0.5, NAN]) == "Invalid value at index 1: values contains non-finite value: NaN"
    assert raises(fn, [0.5, 0.25, -INF]) == "Invalid value at index 2: values contains non-finite value: -inf"
    with pytest.raises(TypeError, match="^argument 'values'"):
        fn(None)


DOMAIN = [
    ("py_sqrt", -4.0, "values must be >= 0 for sqrt, got -4"),
    ("py_sqrt", -5e-324, "values must be >= 0 for sqrt, got -0." + "0" * 323 + "5"),
    ("py_ln", 0.0, "values must be > 0 for ln, got 0"),
    ("py_ln", -0.0, "values must be > 0 for ln, got -0"),
    ("py_ln", -2.5, "values must be > 0 for ln, got -2.5"),
    ("py_log10", 0.0, "values must be > 0 for log10, got 0"),
    ("py_log10", -0.0, "values must be > 0 for log10, got -0"),
    ("py_asin", math.nextafter(1.0, 2.0), "values must be in [-1, 1] for asin, got 1.0000000000000002"),
    ("py_asin", math.nextafter(-1.0, -2.0), "values must be in [-1, 1] for asin, got -1.0000000000000002"),
    ("py_acos", math.nextafter(1.0, 2.0), "values must be in [-1, 1] for acos, got 1.0000000000000002"),
    ("py_acos", -3.0, "values must be in [-1, 1] for acos, got -3"),
]


@pytest.mark.parametrize("name, bad, message", DOMAIN)
def test_domain_refusals(m, name, bad, message):
    fn = getattr(m, name)
    assert raises(fn, [0.5, bad, bad]) == f"Invalid value at index 1: {message}"
    # non-finite values anywhere are reported before any domain test
    assert raises(fn, [bad, 0.5, INF]) == "Invalid value at index 2: values contains non-finite value: inf"


def test_element_edge_cases(m):
    assert raises(m.py_sqrt, [-1.0, NAN]) == "Invalid value at index 1: values contains non-finite value: NaN"
    assert same_bits(m.py_sqrt([-0.0]), [-0.0])
    assert same_bits(m.py_abs([-0.0]), [0.0])
    assert same_bits(m.py_ceil([-0.5]), [-0.0])
    assert m.py_floor([-0.5]) == [-1.0]
    assert m.py_exp([710.0]) == [INF]
    assert m.py_sinh([1000.0, -1000.0]) == [INF, -INF]
    assert m.py_cosh([-1000.0]) == [INF]
    assert m.py_asin([-1.0, 1.0]) == [-math.pi / 2, math.pi / 2]
    assert m.py_acos([1.0, -1.0]) == [0.0, math.pi]


# ---- two series -----------------------------------------------------------------------------

BINARY = {
    "py_add": lambda a, b: a + b,
    "py_sub": lambda a, b: a - b,
    "py_mult": lambda a, b: a * b,
    "py_div": lambda a, b: a / b,
}


@pytest.mark.parametrize("name", BINARY)
def test_binary_values(m, name):
    rng = random.Random(8)
    a = [rng.uniform(-1e3, 1e3) for _ in range(500)]
    b = [rng.choice([-1, 1]) * rng.uniform(1e-3, 1e3) for _ in range(500)]
    assert getattr(m, name)(a, b) == [BINARY[name](x, y) for x, y in zip(a, b)]
    fn = getattr(m, name)
    assert fn.__text_signature__ == "(values1, values2)"


@pytest.mark.parametrize("name", BINARY)
def test_binary_validation_order(m, name):
    fn = getattr(m, name)
    assert raises(fn, [], [1.0]) == "Empty input: values1 cannot be empty"
    assert raises(fn, [], []) == "Empty input: values1 cannot be empty"
    # both emptiness tests come before any non-finite test
    assert raises(fn, [NAN], []) == "Empty input: values2 cannot be empty"
    # and the length test before the non-finite tests, whatever the values
    assert raises(fn, [1.0, 2.0, 3.0], [1.0, 2.0]) == "Length mismatch: values1=3, values2=2"
    assert raises(fn, [NAN, 2.0, 3.0], [INF, 2.0]) == "Length mismatch: values1=3, values2=2"
    assert raises(fn, [1.0, 2.0], [NAN, INF]) == "Invalid value at index 0: values2 contains non-finite value: NaN"
    assert raises(fn, [1.0, -INF], [NAN, 1.0]) == "Invalid value at index 1: values1 contains non-finite value: -inf"


def test_overflow_is_returned(m):
    big = 1.7e308
    assert m.py_add([big], [big]) == [INF]
    assert m.py_sub([-big], [big]) == [-INF]
    assert m.py_mult([1e200], [-1e200]) == [-INF]
    assert m.py_div([1e300], [1e-10]) == [INF]


@pytest.mark.parametrize(
    "divisor, ok",
    [(1e-11, False), (-1e-11, False), (0.0, False), (-0.0, False), (math.nextafter(1e-10, 0), False),
     (1e-10, True), (-1e-10, True), (5e-324, False)],
)
def test_div_refuses_tiny_divisors(m, divisor, ok):
    a, b = [1.0, 2.0, 3.0], [1.0, 1.0, divisor]
    if ok:
        assert m.py_div(a, b) == [1.0, 2.0, 3.0 / divisor]
    else:
        from_msg = raises(m.py_div, a, b)
        assert from_msg.startswith("Invalid value at index 2: values2 contains zero divisor: ")
        assert float(from_msg.rsplit(" ", 1)[1]) == divisor
        assert math.copysign(1, float(from_msg.rsplit(" ", 1)[1])) == math.copysign(1, divisor)


def test_div_messages(m):
    assert raises(m.py_div, [1.0, 1.0], [2.0, 1e-11]) == (
        "Invalid value at index 1: values2 contains zero divisor: 0.00000000001"
    )
    assert raises(m.py_div, [1.0, 1.0], [2.0, -0.0]) == "Invalid value at index 1: values2 contains zero divisor: -0"
    # the divisor test comes after both non-finite passes
    v1 = [1.0, 2.0, 3.0, 4.0, NAN]
    v2 = [1.0, 0.0, 1.0, 1.0, 1.0]
    assert raises(m.py_div, v1, v2) == "Invalid value at index 4: values1 contains non-finite value: NaN"
    assert raises(m.py_div, [1.0, 1.0], [0.0, NAN]) == (
        "Invalid value at index 1: values2 contains non-finite value: NaN"
    )
    # the first tiny divisor wins
    assert raises(m.py_div, [1.0] * 4, [1.0, 1e-12, 0.0, 2.0]).startswith("Invalid value at index 1:")


# ---- rolling window -----------------------------------------------------------------------

ROLLING = ["py_max", "py_min", "py_sum", "py_minmax", "py_minmaxindex"]


@pytest.mark.parametrize("name", ROLLING)
def test_rolling_validation(m, name):
    fn = getattr(m, name)
    assert fn.__text_signature__ == "(values, period)" and fn.__doc__ in (None, "")
    assert raises(fn, [], 0) == "Empty input: values cannot be empty"
    assert raises(fn, [], 3) == "Empty input: values cannot be empty"
    # non-finite before the period, even when the period is invalid too
    assert raises(fn, [1.0, INF], 0) == "Invalid value at index 1: values contains non-finite value: inf"
    assert raises(fn, [NAN, 1.0], 9) == "Invalid value at index 0: values contains non-finite value: NaN"
    assert raises(fn, [1.0, 2.0, 3.0], 0) == "Invalid period: 0 (must be > 0 and <= data length 3)"
    assert raises(fn, [1.0, 2.0, 3.0], 4) == "Invalid period: 4 (must be > 0 and <= data length 3)"
    with pytest.raises(OverflowError):
        fn([1.0], -1)
    with pytest.raises(TypeError):
        fn([1.0], None)


@pytest.mark.parametrize(
    "name, values, period, expected",
    [
        ("py_max", [1, 3, 2, 5, 4], 2, [NAN, 3, 3, 5, 5]),
        ("py_min", [1, 3, 2, 5, 4], 2, [NAN, 1, 2, 2, 4]),
        ("py_sum", [1, 2, 3, 4], 2, [NAN, 3, 5, 7]),
        ("py_max", [1, 3, 2], 3, [NAN, NAN, 3]),
        ("py_sum", [0.1] * 5, 5, [NAN] * 4 + [0.5]),
        ("py_max", [4, -1, 7], 1, [4, -1, 7]),
        ("py_min", [4, -1, 7], 1, [4, -1, 7]),
    ],
)
def test_rolling_cases(m, name, values, period, expected):
    assert nan_equal(getattr(m, name)(values, period), expected)


def test_minmax_and_index_cases(m):
    assert m.py_minmax([4.0, -1.0, 7.0], 1) == ([4.0, -1.0, 7.0], [4.0, -1.0, 7.0])
    lo, hi = m.py_minmax([1, 3, 2, 5, 4], 2)
    assert nan_equal(lo, [NAN, 1, 2, 2, 4]) and nan_equal(hi, [NAN, 3, 3, 5, 5])
    assert m.py_minmaxindex([5.0], 1) == ([0.0], [0.0])
    assert m.py_minmaxindex([3.0, 9.0, 1.0], 1) == ([0.0] * 3, [0.0] * 3)
    lo, hi = m.py_minmaxindex([3, 1, 1, 5, 5], 3)
    assert nan_equal(lo, [NAN, NAN, 1, 0, 0]) and nan_equal(hi, [NAN, NAN, 0, 2, 1])
    lo, hi = m.py_minmaxindex([1, 2, 3, 4], 2)
    assert nan_equal(lo, [NAN, 0, 0, 0]) and nan_equal(hi, [NAN, 1, 1, 1])
    assert all(type(x) is float for x in lo + hi)
    # -0.0 and 0.0 are equal: the oldest of them holds the extreme
    lo, hi = m.py_minmaxindex([1.0, 0.0, -0.0, 2.0, 2.0], 3)
    assert (lo[2:], hi[2:]) == ([1.0, 0.0, 0.0], [0.0, 2.0, 1.0])


@pytest.mark.parametrize("p", [1, 2, 7, 64, 1000, 4999])
def test_rolling_match_direct(m, p):
    v = walk(5000, p)
    assert nan_equal(m.py_max(v, p), ref_window(v, p, np.max))
    assert nan_equal(m.py_min(v, p), ref_window(v, p, np.min))
    lo, hi = m.py_minmax(v, p)
    assert nan_equal(lo, ref_window(v, p, np.min)) and nan_equal(hi, ref_window(v, p, np.max))
    sums = [NAN] * (p - 1) + [math.fsum(v[i - p + 1 : i + 1]) for i in range(p - 1, len(v))]
    assert nan_equal(m.py_sum(v, p), sums, 1e-9)


def is_greater(a, b):
    return a > b


def is_less(a, b):
    return a < b


def test_extrema_of_equal_values_come_from_the_latest_bar(m):
    assert same_bits(m.py_max([0.0, -0.0, 1.0], 2)[1:], [-0.0, 1.0])
    assert same_bits(m.py_max([-0.0, 0.0, -1.0], 2)[1:], [0.0, 0.0])
    assert same_bits(m.py_min([0.0, -0.0, 1.0], 2)[1:], [-0.0, -0.0])
    assert same_bits(m.py_min([-0.0, 0.0, 1.0], 2)[1:], [0.0, 0.0])
    lo, hi = m.py_minmax([-0.0, 0.0, 0.0, -0.0], 3)
    assert same_bits(lo[2:], [0.0, -0.0]) and same_bits(hi[2:], [0.0, -0.0])


signed_small = st.sampled_from([-2.0, -1.0, -0.0, 0.0, 1.0, 2.0, 3.5, 1e300, -1e300])


@settings(max_examples=120, deadline=None)
@given(st.lists(signed_small, min_size=1, max_size=90), st.integers(1, 90))
def test_extrema_match_a_scan_bit_for_bit(m, v, p):
    # windows straddle every possible boundary between blocks of `period` bars
    p = min(p, len(v))
    assert same_bits(m.py_max(v, p), ref_latest_extreme(v, p, is_greater))
    assert same_bits(m.py_min(v, p), ref_latest_extreme(v, p, is_less))


def test_sum_recovers_after_an_overflowing_window(m):
    # [1e308, 1e308] overflows; the running sum must not carry inf/NaN into later windows
    got = m.py_sum([1e308, 1e308, 0.0, 0.0, 1.0, 2.0, 3.0, 4.0], 2)
    assert nan_equal(got, [NAN, INF, 1e308, 0.0, 1.0, 3.0, 5.0, 7.0])
    v = [-1.7e308] * 3 + [0.0] * 3 + walk(200, 4)
    got = m.py_sum(v, 3)
    assert not math.isfinite(got[2]) and got[4] == -1.7e308
    # from the first window of zeros on, exactly what the same bars give on their own
    assert got[5:] == m.py_sum(v[3:], 3)[2:]


@pytest.mark.parametrize("p", [1, 2, 5, 40, 300])
def test_minmaxindex_matches_scan_with_many_ties(m, p):
    r = random.Random(p)
    v = [float(r.randint(0, 6)) for _ in range(3000)]  # plenty of equal extremes
    lo, hi = m.py_minmaxindex(v, p)
    rlo, rhi = ref_minmaxindex(v, p)
    assert nan_equal(lo, rlo) and nan_equal(hi, rhi)


@settings(max_examples=80, deadline=None)
@given(st.lists(st.integers(-5, 5).map(float), min_size=1, max_size=80), st.integers(1, 80))
def test_extrema_and_positions_agree(m, v, p):
    p = min(p, len(v))
    lo, hi = m.py_minmax(v, p)
    ilo, ihi = m.py_minmaxindex(v, p)
    rlo, rhi = ref_minmaxindex(v, p)
    assert nan_equal(ilo, rlo) and nan_equal(ihi, rhi)
    for i in range(p - 1, len(v)):
        s = i - p + 1
        assert v[s + int(ilo[i])] == lo[i] and v[s + int(ihi[i])] == hi[i]
