"""Floor pivot points: the five methods, the method names, the per-bar series, zone and touch."""
import math

import pytest

import vorn_library.vorn_library as vl
from conftest import nan_equal, random_bars, value_error

NAN = float("nan")
INF = float("inf")
STANDARD = (100.0, 110.0, 120.0, 130.0, 90.0, 80.0, 70.0)  # high 110, low 90, close 100
# (pivot, r1, r2, r3, r4, s1, s2, s3, s4): the standard bar with no fourth levels.
STANDARD_ROW = STANDARD[:4] + (NAN,) + STANDARD[4:] + (NAN,)


def row(pp=NAN, r1=NAN, r2=NAN, r3=NAN, r4=NAN, s1=NAN, s2=NAN, s3=NAN, s4=NAN):
    return (pp, r1, r2, r3, r4, s1, s2, s3, s4)


# ---- levels of each method on hand-computed bars -------------------------------------------

@pytest.mark.parametrize("fn, args, expected", [
    (vl.py_standard_pivots, (110, 90, 100), STANDARD),
    (vl.py_classic_pivots, (110, 90, 100), STANDARD),
    (vl.py_standard_pivots, (100, 100, 100), (100.0,) * 7),
    # PP = (200 + 208) / 4 = 102, then the standard ladder on it
    (vl.py_woodie_pivots, (110, 90, 104), (102.0, 114.0, 122.0, 134.0, 94.0, 82.0, 74.0)),
    # X = 100 + (90 + 90 + 110) = 390 (close below open)
    (vl.py_demark_pivots, (105, 110, 90, 100), (97.5, 105.0, NAN, NAN, 85.0, NAN, NAN)),
    # X = 100 + (110 + 110 + 90) = 410 (close above open)
    (vl.py_demark_pivots, (95, 110, 90, 100), (102.5, 115.0, NAN, NAN, 95.0, NAN, NAN)),
    # X = (100 + 100) + (110 + 90) = 400 (close equal to open)
    (vl.py_demark_pivots, (100, 110, 90, 100), (100.0, 110.0, NAN, NAN, 90.0, NAN, NAN)),
    # a high below the low is used unchanged: PP 100, D = -20
    (vl.py_standard_pivots, (90, 110, 100), (100.0, 90.0, 80.0, 70.0, 110.0, 120.0, 130.0)),
])
def test_levels_exact(fn, args, expected):
    out = fn(*args)
    assert type(out) is tuple and nan_equal(out, expected)


def test_fibonacci_and_camarilla_levels():
    pp, d = 100.0, 20.0
    assert vl.py_fibonacci_pivots(110, 90, 100) == (
        pp, pp + 0.382 * d, pp + 0.618 * d, pp + d, pp - 0.382 * d, pp - 0.618 * d, pp - d)
    assert vl.py_fibonacci_pivots(110, 90, 100) == pytest.approx((100, 107.64, 112.36, 120, 92.36, 87.64, 80))
    k1, k2 = 1.1 / 12, 1.1 / 6
    cam = vl.py_camarilla_pivots(110, 90, 100)
    assert cam == (100.0, 100 + d * k1, 100 + d * k2, 105.5, 111.0, 100 - d * k1, 100 - d * k2, 94.5, 89.0)


@pytest.mark.parametrize("fn, args, message", [
    (vl.py_woodie_pivots, (110, NAN, 100), "low contains non-finite value: NaN"),
    (vl.py_standard_pivots, (NAN, 90, INF), "high contains non-finite value: NaN"),
    (vl.py_demark_pivots, (INF, NAN, 90, 100), "open contains non-finite value: inf"),
    (vl.py_demark_pivots, (100, 110, 90, NAN), "close contains non-finite value: NaN"),
])
def test_non_finite_argument(fn, args, message):
    assert value_error(fn, *args) == "Invalid value at index 0: " + message


def test_scalar_arguments():
    assert vl.py_standard_pivots(high=110, low=90, close=100) == STANDARD
    assert vl.py_standard_pivots.__text_signature__ == "(high, low, close)"
    assert vl.py_standard_pivots.__doc__ in (None, "")
    assert vl.py_demark_pivots.__text_signature__ == "(open, high, low, close)"
    with pytest.raises(TypeError, match="argument 'close'"):
        vl.py_standard_pivots(110, 90, None)


# ---- the per-bar series and the method names -----------------------------------------------

@pytest.mark.parametrize("method, scalar", [
    ("standard", vl.py_standard_pivots), ("CLASSIC", vl.py_standard_pivots), ("Fibonacci", vl.py_fibonacci_pivots),
    ("fIb", vl.py_fibonacci_pivots), ("Woodie", vl.py_woodie_pivots), ("WOODIES", vl.py_woodie_pivots),
    ("CamaRilla", vl.py_camarilla_pivots), ("demark", None), ("DM", None), ("DEMAR\u212a", None),
])
def test_series_rows_are_the_previous_bar_levels(method, scalar):
    high, low, close = random_bars(6, 3)
    open_ = [c + 0.5 * (-1) ** i for i, c in enumerate(close)]
    rows = vl.py_calc_pivot_series(open_, high, low, close, method)
    assert len(rows) == 6 and all(type(r) is tuple and len(r) == 9 for r in rows)
    for i, r in enumerate(rows):
        j = max(i - 1, 0)
        if scalar is None:
            pp, r1, _, _, s1, _, _ = vl.py_demark_pivots(open_[j], high[j], low[j], close[j])
            expected = row(pp, r1, s1=s1)
        elif scalar is vl.py_camarilla_pivots:
            expected = scalar(high[j], low[j], close[j])
        else:
            lv = scalar(high[j], low[j], close[j])
            expected = lv[:4] + (NAN,) + lv[4:] + (NAN,)
        assert nan_equal(r, expected)


def test_series_of_one_and_three_bars():
    assert nan_equal(vl.py_calc_pivot_series([0.0], [110.0], [90.0], [100.0], "standard")[0], STANDARD_ROW)
    rows = vl.py_calc_pivot_series([1, 1, 1], [110, 10, 7], [90, 2, 1], [100, 6, 4], "standard")
    assert nan_equal(rows[0], STANDARD_ROW) and nan_equal(rows[1], STANDARD_ROW)
    assert nan_equal(rows[2], (6.0, 10.0, 14.0, 18.0, NAN, 2.0, -2.0, -6.0, NAN))


@pytest.mark.parametrize("args, message", [
    (([1.0], [], [], [1.0, 2.0], "x"), "Empty input: high cannot be empty"),
    (([], [1.0, 2.0, NAN], [1.0], [1.0], ""), "Invalid value at index 2: high contains non-finite value: NaN"),
    (([], [1.0], [1.0], [1.0], ""), "Empty input: open cannot be empty"),
    (([1.0, 1.0], [1.0], [1.0], [1.0], ""), "Length mismatch: open=2, high=1"),
    (([INF], [1.0], [1.0], [1.0], ""), "Invalid value at index 0: open contains non-finite value: inf"),
    (([1.0], [1.0], [-INF], [1.0], "dm"), "Invalid value at index 0: low contains non-finite value: -inf"),
    (([1.0], [1.0], [1.0], [1.0], ""), "Invalid value at index 0: method cannot be empty"),
    (([1.0], [1.0], [1.0], [1.0], " \t\n\u3000\u2028"), "Invalid value at index 0: method cannot be empty"),
    (([1.0], [1.0], [1.0], [1.0], " standard"), "Invalid value at index 0: unknown pivot method:  standard"),
    (([1.0], [1.0], [1.0], [1.0], "\x1c"), "Invalid value at index 0: unknown pivot method: \x1c"),
    (([1.0], [1.0], [1.0], [1.0], "\u0130"), "Invalid value at index 0: unknown pivot method: \u0130"),
    # the name is quoted whole, NUL characters and what follows them included
    (([1.0], [1.0], [1.0], [1.0], "fib\x00 x"), "Invalid value at index 0: unknown pivot method: fib\x00 x"),
])
def test_series_validation_order(args, message):
    assert value_error(vl.py_calc_pivot_series, *args) == message


def test_series_level_positions_by_method():
    high, low, close = random_bars(20, 9)
    for method, nan_at in (("CAMARILLA", ()), ("woodie", (4, 8)), ("dm", (2, 3, 4, 6, 7, 8))):
        for r in vl.py_calc_pivot_series(close, high, low, close, method):
            assert [i for i, v in enumerate(r) if math.isnan(v)] == list(nan_at)


# ---- zone ----------------------------------------------------------------------------------

@pytest.mark.parametrize("price, zone", [
    (131, "Above R3"), (130, "R2-R3"), (120, "R1-R2"), (105, "PP-R1"), (110, "PP-R1"), (100, "PP-S1"),
    (90, "S1-S2"), (80, "S2-S3"), (70, "Below S3"),
])
def test_zone_bands(price, zone):
    assert vl.py_pivot_zone(price, STANDARD_ROW) == zone
    # r4 and s4 play no part, and infinite ones are taken as absent
    assert vl.py_pivot_zone(price, STANDARD_ROW[:4] + (INF,) + STANDARD_ROW[5:8] + (-INF,)) == zone


def test_zone_tests_the_ladder_as_listed():
    # Levels out of order: the first test that holds from the top decides.
    assert vl.py_pivot_zone(35, row(10, 60, 40, 30, NAN, 5, 4, 3)) == "Above R3"
    assert vl.py_pivot_zone(25, row(10, 20, 40, 30, NAN, 5, 4, 3)) == "R1-R2"


@pytest.mark.parametrize("price, levels, message", [
    (NAN, row(INF), "current_price contains non-finite value: NaN"),
    (100, STANDARD_ROW[:2] + (INF,) + STANDARD_ROW[3:], "r2 contains non-finite value: inf"),
    (100, STANDARD_ROW[:7] + (-INF, NAN), "s3 contains non-finite value: -inf"),
    (100, row(1, 2, 3, NAN, 0, -INF, 5, 6, 0), "s1 contains non-finite value: -inf"),
    (100, vl.py_calc_pivot_series([9.0], [10.0], [8.0], [9.0], "dm")[0],
     "pivot level r3 is NaN; pivot_zone requires full levels"),
    (100, STANDARD_ROW[:2] + (NAN,) + STANDARD_ROW[3:6] + (NAN,) + STANDARD_ROW[7:],
     "pivot level r2 is NaN; pivot_zone requires full levels"),
    (100, (NAN,) + STANDARD_ROW[1:], "pivot level pivot is NaN; pivot_zone requires full levels"),
])
def test_zone_failures(price, levels, message):
    assert value_error(vl.py_pivot_zone, price, levels) == "Invalid value at index 0: " + message


@pytest.mark.parametrize("fn", [vl.py_pivot_zone, lambda p, lv: vl.py_detect_pivot_touch(p, lv, None)])
def test_level_tuple_conversion(fn):
    assert value_error(fn, 100, STANDARD) == "expected tuple of length 9, but got tuple of length 7"
    assert value_error(fn, 100, STANDARD_ROW + (1.0,)) == "expected tuple of length 9, but got tuple of length 10"
    with pytest.raises(TypeError, match="^argument 'levels': 'list' object cannot be cast as 'tuple'$"):
        fn(100, list(STANDARD_ROW))
    with pytest.raises(TypeError, match="^argument 'levels': must be real number, not str$"):
        fn(100, ("1",) * 9)


# ---- touch ---------------------------------------------------------------------------------

@pytest.mark.parametrize("price, levels, tolerance, key", [
    (100.05, STANDARD_ROW, None, "PP"),
    (100, STANDARD_ROW, 0.0, "PP"),
    (100.00000000000001, STANDARD_ROW, 0.0, None),
    (-5e300, STANDARD_ROW, INF, "PP"),
    # the relative distance exactly on the tolerance touches: |160 - 128| / 128 = 0.25
    (160, row(128), 0.25, "PP"),
    (96, row(128), 0.25, "PP"),
    (160.00000000000003, row(128), 0.25, None),
    # NaN levels are passed over; r4 and s4 take part only when present
    (7, row(NAN, 7), 0.0, "R1"),
    (131, STANDARD_ROW[:4] + (131,) + STANDARD_ROW[5:], 0.0, "R4"),
    (131, STANDARD_ROW[:4] + (INF,) + STANDARD_ROW[5:8] + (131,), 0.0, "S4"),
    (131, STANDARD_ROW[:4] + (INF,) + STANDARD_ROW[5:8] + (NAN,), INF, "PP"),
])
def test_touch(price, levels, tolerance, key):
    assert vl.py_detect_pivot_touch(price, levels, tolerance) == key


@pytest.mark.parametrize("levels, key", [
    (row(5, 5, 5, 5, 5, 5, 5, 5, 5), "PP"),
    (row(9, 5, 5, 5, 5, 5, 5, 5, 5), "R1"),
    (row(9, 9, 5, 9, 9, 9, 9, 5, 9), "R2"),
    (row(9, 9, 9, 9, 5, 9, 9, 5, 5), "S3"),
    (row(9, 9, 9, 9, 5, 5, 9, 9, 5), "S1"),
    (row(9, 9, 9, 9, 5, 9, 9, 9, 5), "R4"),
    (row(9, 9, 9, 9, 9, 9, 9, 9, 5), "S4"),
])
def test_touch_ties_resolve_in_build_order(levels, key):
    # PP, R1, R2, R3, S1, S2, S3, R4, S4: the same answer on every call and in every process
    assert {vl.py_detect_pivot_touch(5, levels, 0.0) for _ in range(20)} == {key}


@pytest.mark.parametrize("price, levels, key, zero", [
    (9, row(0, 9), None, "PP"),
    (9, row(7, 9, 8, 7, NAN, 6, -1e-11), "R1", None),
    (3, row(7, 9, 8, 7, NAN, 6, -1e-11), None, "S2"),
    (3, row(7, 9, 8, 7, 0.0, 6, 5, 4, 3), None, "R4"),
    (3, row(7, 9, 8, 7, 1.0, 6, 5, 4, -0.0), None, "S4"),
    (3, row(NAN, NAN, NAN, NAN, NAN, NAN, NAN, NAN, 3), "S4", None),
])
def test_touch_zero_levels(price, levels, key, zero):
    # A zero level raises when it is visited before a touching level, in the fixed order.
    if zero:
        message = value_error(vl.py_detect_pivot_touch, price, levels, 0.0)
        assert message == f"Invalid value at index 0: pivot level {zero} is zero"
    else:
        assert vl.py_detect_pivot_touch(price, levels, 0.0) == key


@pytest.mark.parametrize("price, levels, tolerance, message", [
    (NAN, row(INF), -1.0, "Invalid value at index 0: current_price contains non-finite value: NaN"),
    (100, row(INF), -1.0, "Parameter tolerance out of range: -1 (valid range: 0..inf)"),
    (100, row(0.0), -0.5, "Parameter tolerance out of range: -0.5 (valid range: 0..inf)"),
    (100, row(0.0, -INF), 0.1, "Invalid value at index 0: r1 contains non-finite value: -inf"),
])
def test_touch_validation_order(price, levels, tolerance, message):
    assert value_error(vl.py_detect_pivot_touch, price, levels, tolerance) == message


def test_touch_takes_the_rows_it_is_given():
    rows = vl.py_calc_pivot_series([100.0], [110.0], [90.0], [100.0], "camarilla")
    assert vl.py_detect_pivot_touch(111.0, rows[0], None) == "R4"
    assert vl.py_detect_pivot_touch(89.0, vl.py_camarilla_pivots(110, 90, 100), tolerance=None) == "S4"
    assert vl.py_detect_pivot_touch.__text_signature__ == "(current_price, levels, tolerance=0.001)"
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'tolerance'"):
        vl.py_detect_pivot_touch(100, STANDARD_ROW)
