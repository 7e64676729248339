"""Floor-pivot crossings and the EMA-channel grid system."""
import math

import pytest

import vorn_library.vorn_library as vl
from conftest import nan_equal, random_bars, same_series, value_error
from reference import ref_pivot_grid

NAN = math.nan


@pytest.mark.parametrize("fn, signature, text", [
    (vl.py_pivot_buy_sell, "(high, low, close, lookback)",
     "Pivot 买卖信号\n返回: (pivot, r1, r2, s1, s2, buy_signals, sell_signals)"),
    (vl.py_general_parameters_signals, "(high, low, close, ema_fast, ema_slow, atr_period, grid_multiplier)",
     "General Parameters 信号 (EMA通道 + 网格入场)\n返回: (buy_signals, sell_signals, stop_loss, take_profit)"),
])
def test_docstrings(fn, signature, text):
    assert fn.__text_signature__ == signature
    assert fn.__doc__ == text


# ---- pivots ------------------------------------------------------------------------------------

def test_pivot_levels_from_the_bars_before():
    # bar 2 looks at bars 0 and 1: HH 12, LL 8, previous close 11
    out = vl.py_pivot_buy_sell([10, 12, 30], [8, 9, 1], [9, 11, 10], 2)
    expected = [31 / 3, 38 / 3, 43 / 3, 26 / 3, 19 / 3]
    for series, value in zip(out[:5], expected):
        assert nan_equal(series, [NAN, NAN, value], 1e-15)
    assert out[5] == out[6] == [0.0] * 3


# High 10 and low 8 throughout, lookback 2: S1[i] = (6 + 2 close[i-1]) / 3 and
# R1[i] = (12 + 2 close[i-1]) / 3, each close compared with its own bar's level.
@pytest.mark.parametrize("close, buy, sell", [
    # close 8.2 under S1[2] = 25/3, then 9 over S1[3] = 22.4/3: a buy at bar 3 only
    ([9, 9.5, 8.2, 9, 9], [0, 0, 0, 1, 0], [0] * 5),
    # close 9.8 over R1[2] = 29/3, then 9 under R1[3] = 31.6/3: a sell at bar 3 only
    ([9, 8.5, 9.8, 9, 9], [0] * 5, [0, 0, 0, 1, 0]),
    # the same crossings one bar later; bar 2 (= lookback) has no level before it
    ([9, 9, 9.5, 8.2, 9], [0, 0, 0, 0, 1], [0] * 5),
    ([9, 9, 8.5, 9.8, 9], [0] * 5, [0, 0, 0, 0, 1]),
    # close 8 exactly on S1[2] = 8: not below it, so no buy although 9 > S1[3]
    ([9, 9, 8, 9, 9], [0] * 5, [0] * 5),
    # close 7.5 under S1[2] = 8, then exactly on S1[3] = 7 (no buy) or just above it (a buy)
    ([9, 9, 7.5, 7, 7], [0] * 5, [0] * 5),
    ([9, 9, 7.5, 7.5, 7.5], [0, 0, 0, 1, 0], [0] * 5),
    # close 10.5 over R1[2] = 10, then exactly on R1[3] = 11 (no sell) or just under it (a sell)
    ([9, 9, 10.5, 11, 11], [0] * 5, [0] * 5),
    ([9, 9, 10.5, 10.9, 10.9], [0] * 5, [0, 0, 0, 1, 0]),
])
def test_pivot_crossings(close, buy, sell):
    out = vl.py_pivot_buy_sell([10.0] * 5, [8.0] * 5, close, 2)
    assert out[5] == buy and out[6] == sell


@pytest.mark.parametrize("lookback", [1, 2, 5, 20])
def test_pivot_signals_fire_on_bars_that_close_inside_their_range(lookback):
    high, low, close = random_bars(3000, lookback)
    pivot, r1, r2, s1, s2, buy, sell = vl.py_pivot_buy_sell(high, low, close, lookback)
    assert sum(buy) > 10 and sum(sell) > 10
    assert buy[:lookback + 1] == sell[:lookback + 1] == [0.0] * (lookback + 1)
    for i in range(lookback + 1, 3000):
        assert buy[i] == float(close[i - 1] < s1[i - 1] and close[i] > s1[i])
        assert sell[i] == float(close[i - 1] > r1[i - 1] and close[i] < r1[i])


def test_pivot_lookback_equal_to_length_and_default():
    high, low, close = random_bars(30, 4)
    out = vl.py_pivot_buy_sell(high, low, close, 30)
    assert all(math.isnan(x) for s in out[:5] for x in s) and out[5] == out[6] == [0.0] * 30
    default = vl.py_pivot_buy_sell(high, low, close, None)
    assert nan_equal(default[0], vl.py_pivot_buy_sell(high, low, close, 5)[0]) and math.isnan(default[0][4])
    assert default[0][5] == (max(high[:5]) + min(low[:5]) + close[4]) / 3


@pytest.mark.parametrize("args, message", [
    (([1.0], [1.0], [], 1), "Empty input: close cannot be empty"),
    (([], [], [1.0, NAN], 1), "Invalid value at index 1: close contains non-finite value: NaN"),
    (([], [], [1.0], 1), "Empty input: high cannot be empty"),
    (([1.0], [1.0, 2.0], [1.0], 1), "Length mismatch: high=1, low=2"),
    (([1.0], [1.0], [1.0], 0), "Invalid period: 0 (must be > 0 and <= data length 1)"),
    (([1.0], [1.0], [1.0], 2), "Invalid period: 2 (must be > 0 and <= data length 1)"),
])
def test_pivot_checks(args, message):
    assert value_error(vl.py_pivot_buy_sell, *args) == message


# ---- grid system ---------------------------------------------------------------------------------

def rising_then(last):
    close = [10.0, 20.0, 30.0, 40.0, last]
    return [c + 0.5 for c in close], [c - 0.5 for c in close], close


def test_grid_buy_hand_traced():
    # EMA(3) of the close: 20, 30, 27.5 from bar 2; EMA(2): 15, 25, 35, 28.33 from bar 1.
    # ATR(2): 10.5 at bars 2 and 3, then (10.5 + 15.5) / 2 = 13. With grid 0.25, g = 3.25:
    # the lower grid of bar 4 is 27.5 - 4.875 .. 27.5 - 1.625, holding the close 25, while
    # the fast EMA is above the slow one.
    buy, sell, stop, target = vl.py_general_parameters_signals(*rising_then(25.0), 2, 3, 2, 0.25)
    assert buy == [0, 0, 0, 0, 1] and sell == [0] * 5
    assert nan_equal(stop, [NAN] * 4 + [27.5 - 3.25 - 13]) and nan_equal(target, [NAN] * 4 + [27.5 + 3.25])


def test_grid_sell_is_the_mirror():
    high, low, close = rising_then(25.0)
    buy, sell, stop, target = vl.py_general_parameters_signals(
        [-x for x in low], [-x for x in high], [-x for x in close], 2, 3, 2, 0.25)
    assert sell == [0, 0, 0, 0, 1] and buy == [0] * 5
    assert nan_equal(stop, [NAN] * 4 + [-27.5 + 3.25 + 13]) and nan_equal(target, [NAN] * 4 + [-27.5 - 3.25])


@pytest.mark.parametrize("last, fires", [
    # slow EMA(3) at bar 4: 0.5 * last + 15, equal to the close only at 30; the fast EMA(2)
    # is 31.67 above it. ATR(2) 10.5 and g 0: stop 30 - 10.5, target the slow EMA itself
    (30.0, True), (30.5, False), (29.5, False),
])
def test_grid_multiplier_zero_needs_the_close_on_the_slow_average(last, fires):
    buy, sell, stop, target = vl.py_general_parameters_signals(*rising_then(last), 2, 3, 2, 0.0)
    assert buy == [0, 0, 0, 0, 1 if fires else 0] and sell == [0] * 5
    assert nan_equal(stop, [NAN] * 4 + [19.5 if fires else NAN]) and nan_equal(target, [NAN] * 4 + [30.0 if fires else NAN])


def test_grid_needs_the_trend():
    # close 19: slow 24.5, fast 24.33 below it; ATR 16, g 4, the lower grid 18.5 .. 22.5 holds
    # the close but the trend is down
    out = vl.py_general_parameters_signals(*rising_then(19.0), 2, 3, 2, 0.25)
    assert out[0] == out[1] == [0.0] * 5 and all(math.isnan(x) for x in out[2] + out[3])


def test_grid_negative_multiplier_and_late_channel():
    high, low, close = random_bars(400, 9)
    out = vl.py_general_parameters_signals(high, low, close, 5, 20, 10, -1.0)
    assert out[0] == out[1] == [0.0] * 400
    # the default periods on 50 bars: the channel would start at bar 50
    out = vl.py_general_parameters_signals(high[:50], low[:50], close[:50], None, None, None, None)
    assert out[0] == out[1] == [0.0] * 50 and all(math.isnan(x) for x in out[2] + out[3])


# equal EMA periods never make a trend, so they never signal
@pytest.mark.parametrize("seed, periods, m, fires", [
    (1, (5, 20, 14), 1.0, True), (2, (3, 8, 3), 0.5, True), (3, (30, 10, 5), 2.0, True), (2, (8, 8, 3), 0.5, False),
])
def test_grid_against_peer_averages(seed, periods, m, fires):
    high, low, close = random_bars(600, seed)
    out = vl.py_general_parameters_signals(high, low, close, *periods, m)
    ref = ref_pivot_grid(high, low, close, *periods, m)
    assert (sum(out[0]) > 0 and sum(out[1]) > 0) == fires
    assert all(nan_equal(a, b) for a, b in zip(out, ref))


@pytest.mark.parametrize("given, defaults", [
    ((None, None, None, None), (20, 50, 14, 1.0)),
    ((None, 30, None, 0.5), (20, 30, 14, 0.5)),
    ((10, None, 5, None), (10, 50, 5, 1.0)),
])
def test_grid_none_selects_each_default(given, defaults):
    high, low, close = random_bars(800, 6)
    out = vl.py_general_parameters_signals(high, low, close, *given)
    assert sum(out[0]) > 0 and sum(out[1]) > 0
    assert same_series(out, vl.py_general_parameters_signals(high, low, close, *defaults))
    assert same_series(out, ref_pivot_grid(high, low, close, *defaults))


@pytest.mark.parametrize("periods, message", [
    ((0, 50, 14), "Invalid period: 0 (must be > 0 and <= data length 50)"),
    ((20, 51, 0), "Invalid period: 51 (must be > 0 and <= data length 50)"),
    ((20, 50, 51), "Invalid period: 51 (must be > 0 and <= data length 50)"),
    ((60, 50, 14), "Invalid period: 60 (must be > 0 and <= data length 50)"),
    # the ATR's own test: a period equal to the length needs one more bar
    ((20, 50, 50), "Insufficient data: need at least 51 elements, got 50"),
])
def test_grid_period_checks(periods, message):
    high, low, close = random_bars(50, 1)
    assert value_error(vl.py_general_parameters_signals, high, low, close, *periods, None) == message


def test_grid_checks_close_first():
    assert value_error(vl.py_general_parameters_signals, [], [], [NAN], 0, 0, 0, None) == \
        "Invalid value at index 0: close contains non-finite value: NaN"
    assert value_error(vl.py_general_parameters_signals, [1.0], [], [1.0], 0, 0, 0, None) == \
        "Empty input: low cannot be empty"
