"""Streaming ensemble signal: warm-up, scores and weights traced by hand, agreement with its
four indicators run side by side, the transactional update and the constructor checks."""
import math

import numpy as np
import pytest

import vorn_library.vorn_library as vl
from conftest import random_bars
from reference import ref_ensemble_scores

ZERO_PERIOD = "Invalid period: 0 (must be > 0 and <= data length 0)"
WEIGHTS_ZERO = "Invalid value at index 0: weights sum cannot be zero"
FIELDS = ("signal", "rsi_contrib", "macd_contrib", "stoch_contrib", "trend_contrib", "confidence")


def feed(obj, bars):
    return [obj.update(*b) for b in bars]


def fields(r):
    return None if r is None else tuple(getattr(r, f) for f in FIELDS)


# Periods small enough that bar 2 is the first ready bar.
TINY = dict(rsi_period=1, macd_fast=1, macd_slow=2, macd_signal=1, stoch_k=1, stoch_smooth=1, stoch_d=2,
            supertrend_period=1)


@pytest.mark.parametrize("kwargs,first", [
    ({}, 45), (TINY, 2), (dict(rsi_period=60), 61), (dict(stoch_k=30, stoch_smooth=10, stoch_d=9), 47),
    (dict(supertrend_period=50), 51),
])
def test_first_result_at_update(kwargs, first):
    got = feed(vl.OnlineEnsembleSignal(**kwargs), list(zip(*random_bars(first + 10, first))))
    assert got[:first - 1] == [None] * (first - 1) and None not in got[first - 1:]


@pytest.mark.parametrize("close,want", [(100.5, 0.25), (99.5, -0.25)])
def test_only_the_trend_scores(close, want):
    # Constant closes: MACD 0 = signal, RSI 0 and %K = %D = 75 or 25, all inside thresholds 0 and 100.
    r = feed(vl.OnlineEnsembleSignal(overbought=100.0, oversold=0.0), [(101.0, 99.0, close)] * 45)[-1]
    assert fields(r) == (want, 0.0, 0.0, 0.0, want, 1.0)


# Bars (100, 0, 70) then (100, 0, 90) with TINY periods: RSI 100 scores -1; MACD 10 = signal
# scores 0; %K 90 and %D 80 score -((170 - 140) / 60) = -0.5; close 90 above the midpoint 50 is
# an uptrend, +1. Two of the three active scores are bearish: confidence 2/3.
@pytest.mark.parametrize("weights,want", [
    (None, (-0.125, -0.25, 0.0, -0.125, 0.25, 2 / 3)),
    ([-1, -1, -1, -1], (-0.125, -0.25, 0.0, -0.125, 0.25, 2 / 3)),
    ([0, 0, 0, 1], (1.0, 0.0, 0.0, 0.0, 1.0, 2 / 3)),
    ((2, 0, 0, 1), ((-2.0 + 1.0) / 3, -2.0 / 3, 0.0, 0.0, 1.0 / 3, 2 / 3)),
    (np.array([0.0, 0.0, 4.0, 0.0]), (-0.5, 0.0, 0.0, -0.5, 0.0, 2 / 3)),
])
def test_scores_and_weights(weights, want):
    got = feed(vl.OnlineEnsembleSignal(**TINY, weights=weights), [(100.0, 0.0, 70.0), (100.0, 0.0, 90.0)])
    assert got[0] is None and fields(got[1]) == want


@pytest.mark.parametrize("ob,os_,want", [(0.0, -1.0, -0.5), (100.0, 100.0, 0.5), (50.0, 50.0, 0.0)])
def test_rsi_score_thresholds(ob, os_, want):
    # RSI(2) over changes +1, -1: exactly 50. Only the RSI is weighted.
    e = vl.OnlineEnsembleSignal(**dict(TINY, rsi_period=2), weights=[1, 0, 0, 0], overbought=ob, oversold=os_)
    assert feed(e, [(11.0, 9.0, 10.0), (12.0, 10.0, 11.0), (11.0, 9.0, 10.0)])[-1].signal == want


@pytest.mark.parametrize("weights,ob,os_,seed", [(None, 70.0, 30.0, 1), ([0.5, 2.0, 1.0, 0.25], 60.0, 45.0, 2),
                                                 ([1.0, -3.0, 0.5, 2.0], 55.0, 50.0, 3)])
def test_agrees_with_its_four_indicators(weights, ob, os_, seed):
    bars = list(zip(*random_bars(2500, seed)))
    got = feed(vl.OnlineEnsembleSignal(weights=weights, overbought=ob, oversold=os_), bars)
    rsi = feed(vl.OnlineRSI(14), [(c,) for _, _, c in bars])
    macd = feed(vl.OnlineMACD(), [(c,) for _, _, c in bars])
    stoch, trend = feed(vl.OnlineStochastic(), bars), feed(vl.OnlineSuperTrend(), bars)
    w = weights or [1.0] * 4
    total = ((w[0] + w[1]) + w[2]) + w[3]
    for g, *parts in zip(got[44:], rsi[44:], macd[44:], stoch[44:], trend[44:]):
        sc = ref_ensemble_scores(*parts, ob, os_)
        c = [x * y for x, y in zip(sc, w)]
        active = sum(abs(x) >= 1e-10 for x in sc)
        conf = max(sum(x > 0 for x in sc), sum(x < 0 for x in sc)) / active
        assert fields(g) == ((((c[0] + c[1]) + c[2]) + c[3]) / total, *(x / total for x in c), conf)
    assert len({fields(g)[5] for g in got[44:]}) > 2


def test_refused_update_leaves_every_indicator_unchanged():
    # Windows and averages long enough to remember a bar: a stochastic window of three bars
    # whose lows differ, and a huge close that decays out of the RSI average over about a
    # thousand bars. Any state that took the refused bar shows it later.
    periods = dict(rsi_period=2, macd_fast=1, macd_slow=2, macd_signal=1, stoch_k=3, stoch_smooth=1, stoch_d=1,
                   supertrend_period=2)
    e, twin = vl.OnlineEnsembleSignal(**periods), vl.OnlineEnsembleSignal(**periods)
    assert e.update(2.0, 0.5, -1e308) is None and twin.update(2.0, 0.5, -1e308) is None
    with pytest.raises(ValueError) as info:
        e.update(1.0, 0.0, -9e307)  # the slow MACD seed overflows
    assert str(info.value) == "Invalid value at index 0: value must be finite"
    with pytest.raises(ValueError) as info:
        e.update(1.0, math.inf, 1.0)
    assert str(info.value) == "Invalid value at index 0: ohlc values must be finite"
    rest = list(zip(*random_bars(1200, 9)))
    assert [fields(r) for r in feed(e, rest)] == [fields(r) for r in feed(twin, rest)]


@pytest.mark.parametrize("kwargs,exc,msg", [
    (dict(weights=[0, 0, 0, 0]), ValueError, WEIGHTS_ZERO),
    (dict(weights=[1, -1, 0, 0]), ValueError, WEIGHTS_ZERO),
    (dict(rsi_period=0, weights=[0, 0, 0, 0]), ValueError, WEIGHTS_ZERO),
    (dict(weights=[1, 1, 1]), ValueError, "expected a sequence of length 4 (got 3)"),
    (dict(weights=[1] * 5, rsi_period=0), ValueError, "expected a sequence of length 4 (got 5)"),
    (dict(weights=5), TypeError, "argument 'weights': 'int' object cannot be cast as 'Sequence'"),
    (dict(weights=[1, "a", 1, 1]), TypeError, "argument 'weights': must be real number, not str"),
    (dict(rsi_period=0, macd_fast=26, macd_slow=12), ValueError, ZERO_PERIOD),
    (dict(macd_fast=26, macd_slow=12, stoch_k=0), ValueError, "Parameter slow out of range: 12 (valid range: 27..inf)"),
    (dict(macd_signal=0), ValueError, ZERO_PERIOD),
    (dict(stoch_d=0, supertrend_period=0), ValueError, ZERO_PERIOD),
    (dict(supertrend_period=0, supertrend_multiplier=0.0), ValueError, ZERO_PERIOD),
    (dict(supertrend_multiplier=0.0), ValueError, "Parameter multiplier out of range: 0 (valid range: 0..inf)"),
    # A stochastic window too long for memory is refused only once every parameter has passed.
    (dict(stoch_k=2 ** 62, supertrend_multiplier=0.0), ValueError,
     "Parameter multiplier out of range: 0 (valid range: 0..inf)"),
    (dict(stoch_d=2 ** 62, supertrend_period=0), ValueError, ZERO_PERIOD),
    (dict(stoch_smooth=2 ** 62, stoch_k=0), ValueError, ZERO_PERIOD),
    (dict(stoch_k=2 ** 62), MemoryError, ""),
    (dict(overbought=None), TypeError, "argument 'overbought'"),
])
def test_constructor_checks(kwargs, exc, msg):
    with pytest.raises(exc) as e:
        vl.OnlineEnsembleSignal(**kwargs)
    assert str(e.value).startswith(msg)


@pytest.mark.parametrize("kwargs", [dict(weights=None), dict(overbought=200.0, oversold=-5.0),
                                    dict(weights=[math.inf, 0, 0, 0])])
def test_constructor_accepts(kwargs):
    assert vl.OnlineEnsembleSignal(**kwargs).update(1.0, 0.5, 0.75) is None
