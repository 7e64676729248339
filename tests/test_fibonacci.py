"""Fibonacci retracements, extensions, fan lines, time zones, touches and the rolling retracement."""
import random
import time

import pytest

import vorn_library.vorn_library as vl
from conftest import random_walk, value_error
from reference import FIB_KEYS, fib_terms, ref_dynamic_fib, ref_fib_fan, ref_fib_retracement

NAN = float("nan")
INF = float("inf")
MAX_U64 = 2 ** 64 - 1


# ---- retracement and extension -------------------------------------------------------------

@pytest.mark.parametrize("fn", [vl.py_fib_retracement, vl.py_fibonacci_retracement])
@pytest.mark.parametrize("start, end", [(100, 200), (200, 100), (50, 50), (-3.5, 7.25), (1e300, -1e300)])
def test_retracement(fn, start, end):
    out = fn(start, end)
    assert type(out) is list and all(type(p) is tuple for p in out)
    assert out == list(zip(FIB_KEYS, ref_fib_retracement(start, end)))
    assert out[0][1] == end and out[-1][1] == start


def test_retracement_hand_values():
    prices = [p for _, p in vl.py_fib_retracement(100, 200)]
    assert prices == pytest.approx([200, 176.4, 161.8, 150, 138.2, 121.4, 100])
    assert [p for _, p in vl.py_fib_retracement(50, 50)] == [50.0] * 7


@pytest.mark.parametrize("fn", [vl.py_fib_extension, vl.py_fibonacci_extension])
def test_extension(fn):
    out = fn(100, 200, 150)
    assert [k for k, _ in out] == ["1.272", "1.414", "1.618", "2.000", "2.618", "3.618"]
    assert [p for _, p in out] == pytest.approx([277.2, 291.4, 311.8, 350, 411.8, 511.8])
    assert out[3][1] == 350.0 and out[0][1] == 1.272 * 100 + 150
    assert fn(start_price=0.1, end_price=0.3, retracement_price=0.7)[3][1] == ((0.3 - 0.1) + (0.3 - 0.1)) + 0.7


@pytest.mark.parametrize("fn, args, name, value", [
    (vl.py_fib_retracement, (NAN, INF), "start_price", "NaN"),
    (vl.py_fibonacci_retracement, (1, -INF), "end_price", "-inf"),
    (vl.py_fib_extension, (1, 2, INF), "retracement_price", "inf"),
    (vl.py_fib_fan_lines, (5, 1, 2, INF, 0), "end_price", "inf"),
    (vl.py_fib_fan_lines, (5, 1, -INF, NAN, 0), "start_price", "-inf"),
])
def test_non_finite_prices(fn, args, name, value):
    assert value_error(fn, *args) == f"Invalid value at index 0: {name} contains non-finite value: {value}"


# ---- fan lines and time zones --------------------------------------------------------------


@pytest.mark.parametrize("args", [(0, 10, 100, 110, 20), (0, 3, 0.0, 3.0, 4), (5, 6, 10, 8, MAX_U64),
                                  (2, 9, -1.5, 4.0, 10)])
def test_fan_lines(args):
    assert vl.py_fib_fan_lines(*args) == ref_fib_fan(*args)


def test_fan_lines_hand_values():
    assert vl.py_fib_fan_lines(0, 10, 100, 110, 20) == pytest.approx((107.64, 110.0, 112.36))


@pytest.mark.parametrize("args, message", [
    ((10, 10, 1, 2, 5), "start_index must be < end_index"),
    ((11, 10, 1, 2, 20), "start_index must be < end_index"),
    ((0, 10, 1, 2, 10), "target_index must be > end_index"),
])
def test_fan_line_failures(args, message):
    assert value_error(vl.py_fib_fan_lines, *args) == "Invalid value at index 0: " + message


@pytest.mark.parametrize("start, zones", [(10, 5), (10, 1), (0, 92), (MAX_U64 - 1, 1), (MAX_U64 - 3, 2),
                                          (MAX_U64 - fib_terms(92)[-1], 92)])
def test_time_zones(start, zones):
    out = vl.py_fib_time_zones(start, zones)
    assert out == [start + t for t in fib_terms(zones)] and all(type(z) is int for z in out)


def test_time_zones_hand_values():
    assert vl.py_fib_time_zones(10, 5) == [11, 12, 13, 15, 18]
    assert vl.py_fib_time_zones(0, 92)[-1] == 12200160415121876738


@pytest.mark.parametrize("start, zones, message", [
    (0, 0, "Invalid period: 0 (must be > 0 and <= data length 1)"),
    (0, 93, "Invalid value at index 92: Fibonacci sequence overflow"),
    (MAX_U64, 93, "Invalid value at index 92: Fibonacci sequence overflow"),
    (MAX_U64, 2, "Invalid value at index 0: fib_time_zones index overflow"),
    (MAX_U64 - 2, 3, "Invalid value at index 0: fib_time_zones index overflow"),
    (MAX_U64 - fib_terms(92)[-1] + 1, 92, "Invalid value at index 0: fib_time_zones index overflow"),
])
def test_time_zone_failures(start, zones, message):
    assert value_error(vl.py_fib_time_zones, start, zones) == message


def test_enormous_zone_count_is_refused_at_once():
    t = time.perf_counter()
    for _ in range(100):
        assert "sequence overflow" in value_error(vl.py_fib_time_zones, 0, MAX_U64)
    assert time.perf_counter() - t < 0.5
    with pytest.raises(OverflowError):
        vl.py_fib_time_zones(0, -1)


# ---- touch ---------------------------------------------------------------------------------

@pytest.mark.parametrize("price, levels, tolerance, key", [
    (100.05, [("0.618", 100.0)], None, "0.618"),
    (101, [("0.618", 100.0)], None, None),
    (100, [("0.618", 100.0)], 0.0, "0.618"),
    (160, [("a", 128.0)], 0.25, "a"),
    (96.00000000000001, [("a", 128.0)], 0.25, "a"),
    (95.99999999999999, [("a", 128.0)], 0.25, None),
    (5, [("a", 100.0), ("b", 7.0)], INF, "a"),
    (100, (("a", 100.0),), -0.0, "a"),
])
def test_touch(price, levels, tolerance, key):
    assert vl.py_detect_fib_touch(price, levels, tolerance) == key


@pytest.mark.parametrize("price, levels, key", [
    (100, [("a", 100.0), ("b", 100.0)], "a"),
    (100, [("far", 300.0), ("z", 100.0), ("a", 100.0)], "z"),
    # a repeated key keeps its first position and its last price
    (200, [("x", 100.0), ("y", 200.0), ("x", 200.0)], "x"),
    (100, [("x", 100.0), ("y", 200.0), ("x", 200.0)], None),
    (100, [("x", 200.0), ("y", 100.0), ("x", 100.0)], "x"),
    (100, [("x", NAN), ("y", 100.0), ("x", 100.0)], "x"),
    (100, [("y", 0.0), ("x", 100.0), ("y", 100.0)], "y"),
    # a touching level visited before a bad one answers
    (100, [("a", 100.0), ("z", 0.0)], "a"),
    (100, [("a", 100.0), ("z", NAN)], "a"),
])
def test_touch_visits_in_the_callers_order(price, levels, key):
    assert {vl.py_detect_fib_touch(price, levels, 0.0) for _ in range(20)} == {key}


@pytest.mark.parametrize("price, levels, tolerance, message", [
    (100, [("z", 0.0), ("a", 100.0)], 0.0, "Invalid value at index 0: fib_levels contains zero price level"),
    (100, [("z", NAN), ("a", 100.0)], 0.0, "Invalid value at index 0: fib_levels contains non-finite value: NaN"),
    (5, [("x", INF), ("x", 100.0), ("a", 0.0)], 0.0, "Invalid value at index 0: fib_levels contains zero price level"),
    (NAN, [], -1.0, "Invalid value at index 0: current_price contains non-finite value: NaN"),
    (5, [], -1.0, "Parameter tolerance out of range: -1 (valid range: 0..inf)"),
    (5, [], None, "Empty input: fib_levels cannot be empty"),
])
def test_touch_failures(price, levels, tolerance, message):
    assert value_error(vl.py_detect_fib_touch, price, levels, tolerance) == message


def test_touch_level_conversion():
    assert vl.py_detect_fib_touch(150, vl.py_fib_retracement(100, 200), None) == "0.500"
    assert vl.py_detect_fib_touch(350, vl.py_fib_extension(100, 200, 150), 0.0) == "2.000"
    assert vl.py_detect_fib_touch(7, [("a", 7)], 0.0) == "a"
    for levels, text in [("ab", "Can't extract `str` to `Vec`"), ({"a": 1.0}, "'dict' object cannot be cast as 'Sequence'"),
                         ((p for p in [("a", 1.0)]), "'generator' object cannot be cast as 'Sequence'"),
                         ([["a", 1.0]], "'list' object cannot be cast as 'tuple'"),
                         ([(1, 1.0)], "'int' object cannot be cast as 'str'"),
                         ([("a", "1")], "must be real number, not str")]:
        with pytest.raises(TypeError) as e:
            vl.py_detect_fib_touch(1.0, levels, None)
        assert str(e.value) == "argument 'levels': " + text
    assert value_error(vl.py_detect_fib_touch, 1.0, [("a", 1.0, 2.0)], None) == \
        "expected tuple of length 2, but got tuple of length 3"


# ---- rolling retracement -------------------------------------------------------------------


@pytest.mark.parametrize("lookback", [1, 2, 3, 7, 20, 64, 299])
def test_dynamic_against_window_scan(lookback):
    rng = random.Random(lookback)
    # rounded prices so that windows hold tied lows and highs
    prices = [round(p) for p in random_walk(300, seed=lookback)] + [rng.choice([90.0, 110.0]) for _ in range(50)]
    assert vl.py_dynamic_fib_retracement(prices, lookback) == ref_dynamic_fib(prices, lookback)


@pytest.mark.parametrize("prices, lookback, expected", [
    ([1, 3, 2], 2, [{}, {}, dict(zip(FIB_KEYS, ref_fib_retracement(1, 3)))]),
    # tied lows and highs: the first low (bar 1) comes before the last high (bar 2), a move up
    ([9, 1, 9, 1], 3, [{}, {}, {}, dict(zip(FIB_KEYS, ref_fib_retracement(1, 9)))]),
    ([4, 4, 4], 1, [{}] + [dict.fromkeys(FIB_KEYS, 4.0)] * 2),
    ([5, 2, 8, 1, 3], 4, [{}] * 4 + [dict(zip(FIB_KEYS, ref_fib_retracement(8, 1)))]),
])
def test_dynamic_hand_values(prices, lookback, expected):
    out = vl.py_dynamic_fib_retracement(prices, lookback)
    assert out == expected and all(type(d) is dict for d in out)


@pytest.mark.parametrize("prices, lookback, message", [
    ([1.0] * 5, 5, "Invalid period: 5 (must be > 0 and <= data length 4)"),
    ([1.0], 1, "Invalid period: 1 (must be > 0 and <= data length 0)"),
    ([1.0], MAX_U64, f"Invalid period: {MAX_U64} (must be > 0 and <= data length 0)"),
    ([1.0] * 20, None, "Invalid period: 20 (must be > 0 and <= data length 19)"),
    ([], 0, "Empty input: prices cannot be empty"),
    ([1.0, 2.0, 3.0, NAN], 9, "Invalid value at index 3: prices contains non-finite value: NaN"),
])
def test_dynamic_failures(prices, lookback, message):
    assert value_error(vl.py_dynamic_fib_retracement, prices, lookback) == message


def test_dynamic_spans_the_whole_window():
    last = vl.py_dynamic_fib_retracement([1, 3, 2], 2)[2]
    assert (last["0.000"], last["0.500"], last["1.000"]) == (3.0, 2.0, 1.0)
    out = vl.py_dynamic_fib_retracement([2, 5, 3, 4, 1], 4)  # high at bar 1 before the low at bar 4
    assert out[:4] == [{}] * 4 and (out[4]["0.000"], out[4]["1.000"]) == (1.0, 5.0)


def test_dynamic_default_lookback():
    prices = random_walk(40, seed=5)
    assert vl.py_dynamic_fib_retracement(prices, None) == ref_dynamic_fib(prices, 20)
    assert vl.py_dynamic_fib_retracement.__text_signature__ == "(prices, lookback=20)"
