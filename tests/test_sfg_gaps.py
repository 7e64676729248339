"""Fair-value gaps and breaker blocks."""
import math
import random

import pytest

import vorn_library.vorn_library as vl
from conftest import nan_equal, random_bars, value_error
from reference import breaker_scan, fvg_scan

NAN = math.nan


@pytest.mark.parametrize("fn, signature, text", [
    (vl.py_fvg_signals, "(high, low)", "FVG (Fair Value Gap) 信号\n返回: (bullish_fvg, bearish_fvg, fvg_upper, fvg_lower)"),
    (vl.py_breaker_block_signals, "(open, high, low, close, lookback)",
     "Breaker Block 信号\n返回: (buy_signals, sell_signals, breaker_upper, breaker_lower)"),
])
def test_docstrings(fn, signature, text):
    assert fn.__text_signature__ == signature
    assert fn.__doc__ == text


# ---- fair-value gaps -----------------------------------------------------------------------

GAP_HIGH = [10, 11, 13, 14, 13, 16, 17, 18, 17, 13.5, 13.2, 13.8, 12, 11.5]
GAP_LOW = [9, 10, 12, 12.5, 11.5, 15, 15.5, 16, 15.2, 13, 12.5, 13, 11, 10.5]


def sparse(n, values):
    out = [NAN] * n
    for i, v in values.items():
        out[i] = v
    return out


def test_fvg_hand_traced():
    # Gaps (middle bar: upper, lower): bullish 1 (12, 10) and 2 (12.5, 11), filled by bar 4;
    # bullish 4 (15, 14): bars 9 .. 13 trade below it without reaching 14, never filled;
    # bullish 5 (15.5, 13), filled three bars later by bar 8; bearish 8 (16, 13.5), filled by
    # bar 11 after bar 10 stays below it; bearish 9 (15.2, 13.2), filled by bar 11; bearish
    # 11 (12.5, 12) and 12 (13, 11.5), never filled. Each gap's own third bar lies on its edge
    # (bar 13's high 11.5 is gap 12's lower edge) and does not fill it.
    out = vl.py_fvg_signals(GAP_HIGH, GAP_LOW)
    n = len(GAP_HIGH)
    assert nan_equal(out[0], sparse(n, {4: 1.0}))
    assert nan_equal(out[1], sparse(n, {11: 1.0, 12: 1.0}))
    assert nan_equal(out[2], sparse(n, {4: 15.0, 11: 12.5, 12: 13.0}))
    assert nan_equal(out[3], sparse(n, {4: 14.0, 11: 12.0, 12: 11.5}))


@pytest.mark.parametrize("high, low, expected", [
    # one bullish gap, never filled: marked at its middle bar
    ([1, 2, 5], [0, 1, 3], ([NAN, 1, NAN], [NAN] * 3, [NAN, 3, NAN], [NAN, 1, NAN])),
    # bar 3 trades back to the first gap's upper edge: filled (edges inclusive); the second
    # gap (3, 2) has no bar after its third one
    ([1, 2, 5, 6], [0, 1, 3, 3], ([NAN, NAN, 1, NAN], [NAN] * 4, [NAN, NAN, 3, NAN], [NAN, NAN, 2, NAN])),
    ([1, 2, 5, 6], [0, 1, 3, 3.5], ([NAN, 1, 1, NAN], [NAN] * 4, [NAN, 3, 3.5, NAN], [NAN, 1, 2, NAN])),
    # no gap at all: NaN, not 0.0
    ([2, 2, 2], [1, 1, 1], ([NAN] * 3,) * 4),
])
def test_fvg_cases(high, low, expected):
    assert all(nan_equal(a, b) for a, b in zip(vl.py_fvg_signals(high, low), expected))


def assert_gaps(high, low, marked):
    bull, bear, upper, lower = vl.py_fvg_signals(high, low)
    for i in range(len(high)):
        kind, up, lo = marked.get(i, (None, NAN, NAN))
        assert (bull[i] == 1.0) == (kind == 0) and (bear[i] == 1.0) == (kind == 1)
        assert nan_equal([upper[i], lower[i]], [up, lo])


def test_fvg_on_a_walk_matches_a_bar_by_bar_scan():
    high, low, _ = random_bars(3000, 11)
    marked = fvg_scan(high, low)
    assert len(marked) > 3
    assert_gaps(high, low, marked)


def grid_trend(n, seed, turn):
    """Whole-number bars that climb for `turn` bars and then fall: a later bar often lies
    exactly on a gap's or a block's edge, and long runs stay clear of an old level."""
    rng = random.Random(seed)
    x, bars = 100, []
    for i in range(n):
        x = max(20, x + (rng.choice([-1, 1, 1, 2]) if i < turn else rng.choice([-2, -1, -1, 1])))
        c = x + rng.choice([-1, 0, 1])
        bars.append((float(x + rng.choice([-2, -1, 0, 1, 2])), float(x + rng.choice([0, 1, 2])),
                     float(x - rng.choice([0, 1, 2])), float(c)))
    return [list(col) for col in zip(*bars)]


@pytest.mark.parametrize("seed, n, turn", [(1, 2500, 1700), (2, 2500, 1200), (3, 400, 250)])
def test_fvg_on_whole_number_trends_matches_a_bar_by_bar_scan(seed, n, turn):
    _, high, low, _ = grid_trend(n, seed, turn)
    marked = fvg_scan(high, low)
    assert {k for k, _, _ in marked.values()} == {0, 1}
    assert_gaps(high, low, marked)


@pytest.mark.parametrize("high, low, message", [
    ([], [], "Empty input: high cannot be empty"),
    ([1.0, NAN], [1.0, 1.0], "Invalid value at index 1: high contains non-finite value: NaN"),
    ([1.0, 2.0], [1.0], "Length mismatch: high=2, low=1"),
    ([1.0, 2.0], [1.0, -math.inf], "Invalid value at index 1: low contains non-finite value: -inf"),
    ([1.0, 2.0], [1.0, 1.0], "Insufficient data: need at least 3 elements, got 2"),
])
def test_fvg_checks(high, low, message):
    assert value_error(vl.py_fvg_signals, high, low) == message


# ---- breaker blocks -----------------------------------------------------------------------

# Bar 2 is a bullish candle after two bars of falling closes, followed by a 6% rise: a bullish
# order block (high 10.1, low 9.7). Bar 4 closes 9.6, below its low: a bearish breaker at bar 4.
# Bar 5 comes back up into it (high 9.9 >= 9.7, close 9.8 <= 10.1): the retest, a sell.
BARS = [  # open, high, low, close
    (10.5, 11.0, 10.0, 10.2),
    (10.3, 10.4, 9.9, 10.0),
    (9.8, 10.1, 9.7, 9.9),
    (10.0, 10.6, 9.95, 10.5),
    (10.4, 10.5, 9.5, 9.6),
    (9.6, 9.9, 9.5, 9.8),
    (9.8, 9.85, 9.3, 9.4),
]


def columns(bars):
    return [list(c) for c in zip(*bars)]


def mirror(bars):
    """Prices reflected about 10: bullish becomes bearish, highs become lows."""
    return [(20 - o, 20 - lo, 20 - h, 20 - c) for o, h, lo, c in bars]


def test_bearish_breaker_hand_traced():
    buy, sell, upper, lower = vl.py_breaker_block_signals(*columns(BARS), 2)
    assert buy == [0.0] * 7 and sell == [0, 0, 0, 0, 0, 1, 0]
    assert nan_equal(upper, sparse(7, {4: 10.1})) and nan_equal(lower, sparse(7, {4: 9.7}))


def test_bullish_breaker_is_the_mirror():
    buy, sell, upper, lower = vl.py_breaker_block_signals(*columns(mirror(BARS)), 2)
    assert buy == [0, 0, 0, 0, 0, 1, 0] and sell == [0.0] * 7
    assert nan_equal(upper, sparse(7, {4: 20 - 9.7})) and nan_equal(lower, sparse(7, {4: 20 - 10.1}))


@pytest.mark.parametrize("change", [
    # a later close back above the block's high mitigates the breaker: no levels, no signal
    lambda bars: bars + [(9.5, 10.3, 9.4, 10.2)],
    # a bullish candle whose close rose above the one before is no order block
    lambda bars: bars[:2] + [(9.8, 10.1, 9.7, 10.05)] + bars[3:],
    # a next move of 1% or less is not strong enough
    lambda bars: bars[:3] + [(10.0, 10.6, 9.95, 9.99)] + bars[4:],
    # with lookback 3 the closes before bar 2 are too few; bar 3 onwards has no falling run
    None,
])
def test_breaker_variants_without_signal(change):
    bars = BARS if change is None else change(list(BARS))
    out = vl.py_breaker_block_signals(*columns(bars), 3 if change is None else 2)
    assert out[0] == out[1] == [0.0] * len(bars) and all(math.isnan(x) for x in out[2] + out[3])


def test_breaker_retest_waits_for_the_first_touch():
    # after the break at bar 4 the price stays below 9.7 until bar 7, which retests
    bars = BARS[:5] + [(9.5, 9.6, 9.2, 9.3), (9.3, 9.5, 9.1, 9.2), (9.2, 9.75, 9.1, 9.7), (9.7, 10.0, 9.6, 9.9)]
    buy, sell, upper, _ = vl.py_breaker_block_signals(*columns(bars), 2)
    assert sell == [0, 0, 0, 0, 0, 0, 0, 1, 0] and upper[4] == 10.1


@pytest.mark.parametrize("change, lookback, message", [
    (lambda b: b[3].clear(), 2, "Empty input: close cannot be empty"),
    (lambda b: b[3].__setitem__(6, NAN), 2, "Invalid value at index 6: close contains non-finite value: NaN"),
    (lambda b: b[0].clear(), 2, "Empty input: open cannot be empty"),
    (lambda b: b[2].pop(), 2, "Length mismatch: open=7, low=6"),
    (lambda b: b[1].__setitem__(0, math.inf), 2, "Invalid value at index 0: high contains non-finite value: inf"),
    (lambda b: None, 0, "Invalid period: 0 (must be > 0 and <= data length 7)"),
    (lambda b: None, 2**64 - 2, "Invalid value at index 0: lookback + 2 overflow"),
    (lambda b: None, 2**64 - 3, f"Insufficient data: need at least {2**64 - 1} elements, got 7"),
    (lambda b: None, 6, "Insufficient data: need at least 8 elements, got 7"),
    # a zero close fails only inside the order-block scan, bars lookback .. n - 2
    (lambda b: b[3].__setitem__(3, 0.0), 2, "Invalid value at index 3: close contains zero, cannot compute next_move"),
    (lambda b: b[3].__setitem__(5, -1e-11), 2, "Invalid value at index 5: close contains zero, cannot compute next_move"),
])
def test_breaker_checks(change, lookback, message):
    cols = columns(BARS)
    change(cols)
    assert value_error(vl.py_breaker_block_signals, *cols, lookback) == message


@pytest.mark.parametrize("index, lookback", [(0, 2), (1, 2), (6, 2), (4, 5)])
def test_breaker_zero_close_outside_the_scan_is_accepted(index, lookback):
    cols = columns(BARS)
    cols[3][index] = 0.0
    assert len(vl.py_breaker_block_signals(*cols, lookback)[0]) == 7


def test_breaker_default_lookback_is_20():
    high, low, close = random_bars(500, 8)
    opens = [close[0]] + close[:-1]
    out = vl.py_breaker_block_signals(opens, high, low, close, None)
    assert all(nan_equal(a, b) for a, b in zip(out, vl.py_breaker_block_signals(opens, high, low, close, 20)))


@pytest.mark.parametrize("seed, n, turn, lookback", [(6, 2500, 1200, 1), (6, 2500, 1200, 2), (3, 400, 250, 1), (2, 400, 250, 2)])
def test_breakers_on_whole_number_trends_match_bar_by_bar_scans(seed, n, turn, lookback):
    bars = grid_trend(n, seed, turn)
    out = vl.py_breaker_block_signals(*bars, lookback)
    assert sum(out[0]) >= 1 and sum(out[1]) >= 1
    assert all(nan_equal(a, b) for a, b in zip(out, breaker_scan(*bars, lookback)))


@pytest.mark.parametrize("seed, lookback", [(1, 1), (2, 2), (3, 1)])
def test_breakers_on_a_walk_match_bar_by_bar_scans(seed, lookback):
    high, low, close = random_bars(2000, seed)
    rng = random.Random(seed)
    opens = [lo + (h - lo) * rng.random() for h, lo in zip(high, low)]
    out = vl.py_breaker_block_signals(opens, high, low, close, lookback)
    assert sum(out[0]) + sum(out[1]) >= 3
    assert all(nan_equal(a, b) for a, b in zip(out, breaker_scan(opens, high, low, close, lookback)))
