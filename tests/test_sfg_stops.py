"""Stops at signal bars, the trailing stop, the weighted combination of two signal pairs and
the volume filter."""
import math

import pytest

import vorn_library.vorn_library as vl
from conftest import nan_equal, random_bars, value_error

NAN = math.nan
U64_MAX = 2**64 - 1


@pytest.mark.parametrize("fn, signature, text", [
    (vl.py_calculate_stops, "(close, atr_values, buy_signals, sell_signals, sl_multiplier, tp_multiplier)",
     "计算止损止盈\n返回: (stop_loss, take_profit)"),
    (vl.py_combine_signals, "(buy1, sell1, buy2, sell2, weight1)", "简单信号组合 (加权平均)\n返回: (combined_buy, combined_sell)"),
    (vl.py_trailing_stop, "(close, atr_values, direction, multiplier)", "计算追踪止损"),
    (vl.py_volume_filter, "(volume, period)", "成交量过滤器\n返回: (above_average, relative_volume, volume_spike)"),
])
def test_docstrings(fn, signature, text):
    assert fn.__text_signature__ == signature
    assert fn.__doc__ == text


def test_every_parameter_must_be_passed():
    with pytest.raises(TypeError, match=r"missing 1 required positional argument: 'multiplier'"):
        vl.py_trailing_stop([1.0], [1.0], [1.0])
    with pytest.raises(TypeError, match="argument 'buy_signals'"):
        vl.py_calculate_stops([1.0], [1.0], None, [0.0], None, None)


# ---- stops at signal bars ---------------------------------------------------------------------

@pytest.mark.parametrize("atr, buy, sell, sl, tp, stop, target", [
    # close 100, ATR 2: 1.5 and 2.5 ATRs below / above a buy, the mirror for a sell
    ([2, 2, 2], [0, 1, 0], [0, 0, 1], None, None, [NAN, 97, 103], [NAN, 105, 95]),
    ([2, 2, 2], [0, 1, 0], [0, 0, 1], 1.0, 3.0, [NAN, 98, 102], [NAN, 106, 94]),
    # a bar whose buy and sell both exceed 0.5 is a buy; 0.5 itself is no signal
    ([2, 2, 2], [1, 0.5, 0.6], [1, 0, 0], None, None, [97, NAN, 97], [105, NAN, 105]),
    # a NaN ATR leaves its signal bar NaN; a negative ATR is used as it is
    ([NAN, 2, -2], [1, 1, 1], [0, 0, 0], None, None, [NAN, 97, 103], [NAN, 105, 95]),
])
def test_calculate_stops(atr, buy, sell, sl, tp, stop, target):
    out = vl.py_calculate_stops([100.0] * 3, atr, buy, sell, sl, tp)
    assert nan_equal(out[0], stop) and nan_equal(out[1], target)


@pytest.mark.parametrize("args, message", [
    # the signal record comes first: an empty buy is refused before close is looked at
    (([], [], [], [], None, None), "Empty input: buy cannot be empty"),
    (([1.0], [1.0], [NAN], [0.0], None, None), "Invalid value at index 0: buy contains non-finite value: NaN"),
    (([1.0], [1.0], [0.0], [], None, None), "Empty input: sell cannot be empty"),
    (([1.0], [1.0], [0.0, 1.0], [0.0], None, None), "Length mismatch: buy=2, sell=1"),
    (([1.0], [1.0], [0.0], [math.inf], None, None), "Invalid value at index 0: sell contains non-finite value: inf"),
    (([], [1.0], [0.0], [0.0], -1.0, None), "Empty input: close cannot be empty"),
    (([1.0, NAN], [1.0], [0.0], [0.0], -1.0, None), "Invalid value at index 1: close contains non-finite value: NaN"),
    (([1.0], [], [0.0], [0.0], -0.5, -1.0), "Parameter sl_multiplier out of range: -0.5 (valid range: 0..inf)"),
    (([1.0], [], [0.0], [0.0], 1.5, -1.0), "Parameter tp_multiplier out of range: -1 (valid range: 0..inf)"),
    (([1.0, 2.0], [], [0.0], [0.0], None, None), "Length mismatch: close=2, atr=0"),
    (([1.0, 2.0], [1.0, 1.0], [0.0], [0.0], None, None), "Length mismatch: close=2, signals=1"),
    # an infinite ATR fails the call even at a bar without a signal
    (([1.0] * 3, [1.0, 1.0, -math.inf], [1.0, 0, 0], [0.0] * 3, None, None),
     "Invalid value at index 2: atr contains infinite value"),
])
def test_calculate_stops_checks(args, message):
    assert value_error(vl.py_calculate_stops, *args) == message


# ---- combination -----------------------------------------------------------------------------

@pytest.mark.parametrize("buy1, sell1, buy2, sell2, weight1, expected", [
    # with equal weights both inputs must agree
    ([1, 1], [0, 0], [1, 0], [0, 0], None, ([1, 0], [0, 0], [1, 0])),
    ([0.8, 0], [0, 0.9], [0.6, 0], [0, 0.9], 0.5, ([1, 0], [0, 1], [0.7, 0.9])),
    # weight 1 reproduces the first pair where its strength exceeds 0.5
    ([1, 0.5, 0.7], [0, 0, 0], [0, 0, 0], [0, 0, 0], 1.0, ([1, 0, 1], [0, 0, 0], [1, 0, 0.7])),
    # both sides pass (buy 0.6, sell 0.6 + 0.9 * 0.4): the sell sets the strength last
    ([1], [0.6], [0], [0.9], 0.6, ([1], [1], [0.96])),
    # strength is clamped to 1 before weighting
    ([3], [0], [3], [0], 0.25, ([1], [0], [1])),
])
def test_combine_signals(buy1, sell1, buy2, sell2, weight1, expected):
    out = vl.py_combine_signals(buy1, sell1, buy2, sell2, weight1)
    assert all(nan_equal(a, b, 1e-15) for a, b in zip(out, expected))


@pytest.mark.parametrize("args, message", [
    (([], [], [], [], 1.5), "Parameter weight1 out of range: 1.5 (valid range: 0..1)"),
    (([], [], [], [], -0.1), "Parameter weight1 out of range: -0.1 (valid range: 0..1)"),
    (([1.0], [], [1.0], [1.0], 0.5), "Empty input: sell cannot be empty"),
    (([1.0], [1.0], [1.0, 1.0], [1.0], 0.5), "Length mismatch: buy=2, sell=1"),
    (([0.0] * 5, [0.0] * 5, [0.0] * 6, [0.0] * 6, 0.5), "Length mismatch: signals[0]=5, signals[n]=6"),
])
def test_combine_signals_checks(args, message):
    assert value_error(vl.py_combine_signals, *args) == message


# ---- trailing stop -------------------------------------------------------------------------

@pytest.mark.parametrize("close, atr, direction, expected", [
    # long, long, then straight to short: the short run starts from its own first close, so
    # the stop sits above the price; the same on the turn back to long
    ([10, 12, 11, 9, 10, 8], [1] * 6, [1, 1, -1, -1, 1, 1], [8, 10, 13, 11, 8, 8]),
    ([10, 8, 9, 12, 11], [1] * 5, [-1, -1, 1, 1, -1], [12, 10, 7, 10, 13]),
    # a flat bar resets both extremes to its close and writes nothing
    ([10, 12, 11], [1] * 3, [1, 0, 1], [8, NAN, 10]),
    ([10, 12, 11], [1] * 3, [0.5, -0.5, NAN], [NAN, NAN, NAN]),
    # a NaN ATR skips its bar: no output, extremes and side kept
    ([10, 12, 11, 9], [1, NAN, 1, 1], [1, 1, -1, -1], [8, NAN, 13, 11]),
    ([10, 12, 13], [1, NAN, 1], [1, -1, 1], [8, NAN, 11]),
])
def test_trailing_stop(close, atr, direction, expected):
    assert nan_equal(vl.py_trailing_stop(close, atr, direction, None), expected)


def test_trailing_stop_long_run_follows_the_running_maximum():
    _, _, close = random_bars(300, 3)
    atr = [abs(math.sin(i)) + 0.5 for i in range(300)]
    out = vl.py_trailing_stop(close, atr, [1.0] * 300, 1.5)
    best = -math.inf
    for i, c in enumerate(close):
        best = max(best, c)
        assert out[i] == best - atr[i] * 1.5


@pytest.mark.parametrize("args, message", [
    (([], [], [], None), "Empty input: close cannot be empty"),
    (([1.0, math.inf], [], [], None), "Invalid value at index 1: close contains non-finite value: inf"),
    (([1.0], [], [], -2.0), "Parameter multiplier out of range: -2 (valid range: 0..inf)"),
    (([1.0, 2.0], [1.0], [], None), "Length mismatch: close=2, atr=1"),
    (([1.0, 2.0], [1.0, 1.0], [1.0], None), "Length mismatch: close=2, direction=1"),
    (([1.0, 2.0], [math.inf, 1.0], [0.0, 0.0], None), "Invalid value at index 0: atr contains infinite value"),
])
def test_trailing_stop_checks(args, message):
    assert value_error(vl.py_trailing_stop, *args) == message


# ---- volume filter ---------------------------------------------------------------------------

@pytest.mark.parametrize("volume, period, expected", [
    # bar 2: volume 3 is exactly twice the mean 1.5 of the two bars before it, not a spike
    ([1, 2, 3, 6], 2, ([False, False, True, True], [1.0, 1.0, 2.0, 2.4], [False, False, False, True])),
    # period 1 compares each bar with the one before it
    ([4, 2, 2, 5], 1, ([False, False, False, True], [1.0, 0.5, 1.0, 2.5], [False, False, False, True])),
    # a window mean of zero leaves the defaults
    ([0, 0, 3, 1], 2, ([False] * 4, [1.0, 1.0, 1.0, 1 / 1.5], [False] * 4)),
])
def test_volume_filter(volume, period, expected):
    assert vl.py_volume_filter(volume, period) == expected


def test_volume_filter_default_period_is_20():
    volume = [1.0] * 20 + [3.0]
    assert vl.py_volume_filter(volume, None) == ([False] * 20 + [True], [1.0] * 20 + [3.0], [False] * 20 + [True])


@pytest.mark.parametrize("volume, period, message", [
    ([], 2, "Empty input: volume cannot be empty"),
    ([1.0, NAN], 2, "Invalid value at index 1: volume contains non-finite value: NaN"),
    ([1.0, 2.0], 0, "Invalid period: 0 (must be > 0 and <= data length 2)"),
    ([1.0, 2.0], U64_MAX, "Invalid value at index 0: period + 1 overflow"),
    ([1.0, 2.0], 2, "Insufficient data: need at least 3 elements, got 2"),
])
def test_volume_filter_checks(volume, period, message):
    assert value_error(vl.py_volume_filter, volume, period) == message
