"""Streaming SuperTrend and the SuperTrend-based classes: bar by bar they equal the batch
SuperTrend; the ML class's confirmation and confidence rules, the AI class's signals, levels
and trend offset."""
import math

import pytest

import vorn_library.vorn_library as vl
from conftest import random_bars

OHLC_AI = "Invalid value at index 0: OHLC values must be finite"
ZERO_PERIOD = "Invalid period: 0 (must be > 0 and <= data length 0)"


def feed(obj, bars):
    return [obj.update(*b) for b in bars]


def batch(bars, period, mult):
    h, lo, c = zip(*bars)
    value, direction, _, _ = vl.py_supertrend(list(h), list(lo), list(c), period, mult)
    return value, direction


def flips(directions):
    return sum(a != b for a, b in zip(directions, directions[1:]))


# ---- the streaming SuperTrend equals the batch one ------------------------------------------

@pytest.mark.parametrize("period,mult", [(10, 3.0), (1, 0.5), (7, 1.25), (20, 2.0), (3, 0.1)])
def test_streaming_supertrend_equals_batch_and_flips_as_often(period, mult):
    bars = list(zip(*random_bars(4000, period)))
    value, direction = batch(bars, period, mult)
    got = feed(vl.OnlineSuperTrend(period, mult), bars)
    assert got[:period] == [None] * period
    assert got[period:] == [(v, int(d)) for v, d in zip(value[period:], direction[period:])]
    assert flips([g[1] for g in got[period:]]) == flips(direction[period:]) > 10


@pytest.mark.parametrize("period,mult", [(10, 3.0), (4, 1.5)])
def test_embedded_supertrends_equal_batch(period, mult):
    bars = list(zip(*random_bars(1500, period + 7)))
    value, direction = batch(bars, period, mult)
    ml = feed(vl.OnlineMLSuperTrend(period, mult, 2, 20), bars)
    assert [(r.value, r.raw_trend) for r in ml[period:]] == [(v, int(d)) for v, d in
                                                             zip(value[period:], direction[period:])]
    ai = feed(vl.OnlineAISuperTrendML(period, mult, 5, 40), bars)
    first = 2 * period
    assert ai[:first] == [None] * first
    assert [(r.supertrend, r.direction) for r in ai[first:]] == [(v, int(d)) for v, d in
                                                                 zip(value[first:], direction[first:])]


# ---- ML SuperTrend ----------------------------------------------------------------------------

def steady(n, close=100.5):
    """Bars of range 2 whose close sits above the midpoint: an uptrend from the first value."""
    return [(101.0, 99.0, close)] * n


def test_ml_warm_up_confirmation_and_confidence():
    ml = vl.OnlineMLSuperTrend()
    assert feed(ml, steady(10)) == [None] * 10 and ml.confirmed_trend() == 0
    first, second = feed(ml, steady(2))
    # Pending on its first bar (progress 0.3) and no full range window yet (stability 0.2).
    assert (first.confirmed_trend, first.raw_trend, first.confidence, first.effective_multiplier) == (0, 1, 0.5, 3.0)
    assert (second.confirmed_trend, second.confidence) == (1, 0.8)
    later = feed(ml, steady(8))[-1]  # range window of 20 equal ranges: cv 0, stability 0.4
    assert (later.confidence, later.effective_multiplier) == (1.0, (1.0 * 0.4 + 0.8) * 3.0)
    ml.reset()
    assert ml.confirmed_trend() == 0 and feed(ml, steady(10)) == [None] * 10


def test_ml_flat_bars_keep_base_multiplier_and_low_stability():
    r = feed(vl.OnlineMLSuperTrend(2, 2.5, 2, 3), [(5.0, 5.0, 5.0)] * 6)[-1]
    assert (r.effective_multiplier, r.confidence) == (2.5, 0.6 + 0.2)


# Period-1 bars around a fixed midpoint of 100 with bands at 100 +- 0.02: UP always ends a
# downtrend, DOWN always ends an uptrend.
UP, DOWN = (101.0, 99.0, 100.5), (101.0, 99.0, 99.5)


@pytest.mark.parametrize("cb,seq,want", [
    # (confirmed_trend, progress score) after each ready bar
    (1, [UP, UP], [(0, 0.6), (1, 0.6)]),
    (3, [UP, UP, UP, UP], [(0, (1 / 3) * 0.6), (0, (2 / 3) * 0.6), (1, 0.6), (1, 0.6)]),
    (3, [UP, DOWN, UP], [(0, (1 / 3) * 0.6)] * 3),
    # a confirmed uptrend interrupted by one down bar: the next up bar is pending again
    (2, [UP, UP, DOWN, UP], [(0, 0.3), (1, 0.6), (1, 0.3), (1, 0.3)]),
])
def test_ml_confirmation_rules(cb, seq, want):
    ml = vl.OnlineMLSuperTrend(1, 0.01, cb, 100)  # the range window never fills: stability 0.2
    assert ml.update(*UP) is None
    got = feed(ml, seq)
    assert [r.raw_trend for r in got] == [1 if b is UP else -1 for b in seq]
    assert [(r.confirmed_trend, r.confidence) for r in got] == [(t, p + 0.2) for t, p in want]
    assert ml.confirmed_trend() == want[-1][0]


# ---- AI SuperTrend ----------------------------------------------------------------------------

def test_ai_warm_up_readiness_and_count():
    ai = vl.OnlineAISuperTrendML()
    bars = [(101.0 + 2 * i, 99.0 + 2 * i, 100.0 + 2 * i) for i in range(45)]  # closes rise by 2.0
    got, ready = [], []
    for i, b in enumerate(bars):
        if i == 30:
            with pytest.raises(ValueError) as e:
                ai.update(1.0, math.nan, 1.0)
            assert str(e.value) == OHLC_AI
        got.append(ai.update(*b))
        ready.append(ai.is_ready())
    assert got[:20] == [None] * 20 and None not in got[20:]
    assert ready.index(True) == 39 and ai.update_count() == 45
    assert [r.trend_offset for r in got[20:39]] == [0.0] * 19
    assert [r.trend_offset for r in got[39:]] == [2.0] * 6
    assert got[20].buy_signal and not any(r.buy_signal or r.sell_signal for r in got[21:])
    assert ai.direction() == 1
    ai.reset()
    assert (ai.update_count(), ai.direction(), ai.is_ready()) == (0, 0, False)


def test_ai_levels_follow_a_second_atr():
    bars = list(zip(*random_bars(600, 11)))
    ai, atr = vl.OnlineAISuperTrendML(5, 1.0, 3, 13), vl.OnlineATR(5)
    got = feed(ai, bars)
    atrs = [None] * 5 + feed(atr, bars[5:])  # the second ATR starts at the SuperTrend's first bar
    last = 0
    for (_, _, c), r, a in zip(bars, got, atrs):
        if r is None:
            continue
        s = 1 if r.direction == 1 else -1
        assert (r.stop_loss, r.take_profit) == (c - s * (a + a), c + s * ((a + a) * 1.5))
        assert (r.buy_signal, r.sell_signal) == (s > 0 and last <= 0, s < 0 and last >= 0)
        last = s
    assert sum(r.buy_signal for r in got if r) > 3


def test_ai_constant_closes_and_single_lookback_give_no_slope():
    bars = [(101.0, 99.0, 100.0)] * 60
    assert {r.trend_offset for r in feed(vl.OnlineAISuperTrendML(3, 3.0, 4, 14), bars) if r} == {0.0}
    rising = [(101.0 + i, 99.0 + i, 100.0 + i) for i in range(60)]
    assert {r.trend_offset for r in feed(vl.OnlineAISuperTrendML(10, 3.0, 1, 11), rising) if r} == {0.0}
    assert feed(vl.OnlineAISuperTrendML(10, 3.0, 10, 20), rising)[-1].trend_offset == 1.0


@pytest.mark.parametrize("args,msg", [
    ((10, 3.0, 10, 19), "Invalid period: 19 (must be > 0 and <= data length 0)"),
    ((10, 3.0, 0, 5), "Invalid period: 5 (must be > 0 and <= data length 0)"),
    ((10, 3.0, 0, 200), ZERO_PERIOD),
    ((0,), ZERO_PERIOD),
    ((10, 0.0), "Parameter st_multiplier out of range: 0 (valid range: 0..inf)"),
    # A lookback near 2^64 must not wrap lookback + 10 around to a small bound.
    ((10, 3.0, 2 ** 64 - 5, 200), "Invalid period: 200 (must be > 0 and <= data length 0)"),
    ((10, 3.0, 2 ** 64 - 1, 2 ** 64 - 1), "Invalid period: 18446744073709551615 (must be > 0 and <= data length 0)"),
    ((10, 3.0, 2 ** 64 - 11, 2 ** 64 - 2), "Invalid period: 18446744073709551614 (must be > 0 and <= data length 0)"),
    ((10, 3.0, 10, 0), "Invalid period: 0 (must be > 0 and <= data length 0)"),
])
def test_ai_constructor_errors(args, msg):
    with pytest.raises(ValueError) as e:
        vl.OnlineAISuperTrendML(*args)
    assert str(e.value) == msg


@pytest.mark.parametrize("args,msg", [
    ((10, 3.0, 0), ZERO_PERIOD), ((10, 3.0, 2, 0), ZERO_PERIOD), ((0, 0.0), ZERO_PERIOD),
    ((10, 0.0), "Parameter base_multiplier out of range: 0 (valid range: 0..inf)"),
    ((10, -2.0), "Parameter base_multiplier out of range: -2 (valid range: 0..inf)"),
    ((10, math.inf), "Parameter base_multiplier out of range: inf (valid range: 0..inf)"),
])
def test_ml_constructor_errors(args, msg):
    with pytest.raises(ValueError) as e:
        vl.OnlineMLSuperTrend(*args)
    assert str(e.value) == msg
