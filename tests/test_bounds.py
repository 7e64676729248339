"""Outputs whose definition confines them to an interval stay inside it, compared exactly
(lo <= v <= hi, no tolerance), on the bars that push them there: closes sitting on their highs
or their lows for stretches, bodies spanning the whole bar, runs of only gains or only losses.
Rounding in a running sum or an average may not carry a value past its bound by any amount."""
import math
import random

import pytest

import vorn_library.vorn_library as vl

SCALES = (1.1, 100.0, 3e4)
TICK = {1.1: 1e-5, 100.0: 0.01, 3e4: 0.5}   # prices on a grid, so that bars tie
SEEDS = range(60)
N = 400


def pinned_bars(seed, scale):
    """Bars of a random walk in stretches: free bars, and stretches whose closes sit on their
    highs (opening on the low, rising) or on their lows (opening on the high, falling)."""
    rng = random.Random(seed)
    tick = TICK[scale]
    on = lambda x: round(x * scale / 100.0 / tick) * tick
    o, h, l, c, v = [], [], [], [], []
    x, kind, left = 100.0, "free", 0
    while len(c) < N:
        if left == 0:
            kind, left = rng.choice(["free", "high", "low", "high", "low"]), rng.randint(3, 40)
        left -= 1
        step = rng.gauss(0.0, 1.0)
        prev, x = x, max(x + (abs(step) if kind == "high" else -abs(step) if kind == "low" else step), 5.0)
        hi, lo = on(max(prev, x) + rng.random()), on(min(prev, x) - rng.random())
        if kind == "high":
            op, cl = lo, hi
        elif kind == "low":
            op, cl = hi, lo
        else:
            op, cl = min(max(on(prev), lo), hi), min(max(on(x), lo), hi)
        o.append(op), h.append(hi), l.append(lo), c.append(cl)
        v.append(rng.choice([1.0, 1e3, 1e6]) * rng.uniform(0.5, 2.0))
    return {"open": o, "high": h, "low": l, "close": c, "volume": v}


def hlc(b):
    return b["high"], b["low"], b["close"]


def hlcv(b):
    return b["high"], b["low"], b["close"], b["volume"]


PERCENT, UNIT, SIGNED_PERCENT = (0.0, 100.0), (-1.0, 1.0), (-100.0, 100.0)

# (function, how it is called, the bounds of its outputs in order; None: no bound)
CASES = [
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 14, 3, 3), [PERCENT, PERCENT]),
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 14, 1, 3), [PERCENT, PERCENT]),
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 5, 3, 5), [PERCENT, PERCENT]),
    ("py_kdj", lambda b: vl.py_kdj(*hlc(b), 9, 3, 3), [PERCENT, PERCENT, None]),
    ("py_kdj", lambda b: vl.py_kdj(*hlc(b), 9, 1, 3), [PERCENT, PERCENT, None]),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 14, 14, 3, 3), [PERCENT, PERCENT]),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 5, 5, 1, 3), [PERCENT, PERCENT]),
    ("py_stoch_rsi", lambda b: vl.py_stoch_rsi(b["close"], 14, 14, 3, 3), [PERCENT, PERCENT]),
    ("py_williams_r", lambda b: vl.py_williams_r(*hlc(b), 14), [(-100.0, 0.0)]),
    ("py_rsi", lambda b: vl.py_rsi(b["close"], 14), [PERCENT]),
    ("py_rsi", lambda b: vl.py_rsi(b["close"], 3), [PERCENT]),
    ("py_mfi", lambda b: vl.py_mfi(*hlcv(b), 14), [PERCENT]),
    ("py_mfi", lambda b: vl.py_mfi(*hlcv(b), 3), [PERCENT]),
    ("py_cmf", lambda b: vl.py_cmf(*hlcv(b), 20), [UNIT]),
    ("py_cmf", lambda b: vl.py_cmf(*hlcv(b), 5), [UNIT]),
    ("py_ultimate_oscillator", lambda b: vl.py_ultimate_oscillator(*hlc(b), 7, 14, 28), [PERCENT]),
    ("py_ultimate_oscillator", lambda b: vl.py_ultimate_oscillator(*hlc(b), 2, 3, 5), [PERCENT]),
    ("py_aroon", lambda b: vl.py_aroon(b["high"], b["low"], 25), [PERCENT, PERCENT, SIGNED_PERCENT]),
    ("py_cmo", lambda b: vl.py_cmo(b["close"], 14), [SIGNED_PERCENT]),
    ("py_cmo", lambda b: vl.py_cmo(b["close"], 3), [SIGNED_PERCENT]),
    ("py_adx", lambda b: vl.py_adx(*hlc(b), 14), [PERCENT, PERCENT, PERCENT]),
    ("py_adx", lambda b: vl.py_adx(*hlc(b), 3), [PERCENT, PERCENT, PERCENT]),
    ("py_dmi", lambda b: vl.py_dmi(*hlc(b), 5), [PERCENT, PERCENT]),
    ("py_dx", lambda b: vl.py_dx(*hlc(b), 5), [PERCENT]),
    ("py_plus_di", lambda b: vl.py_plus_di(*hlc(b), 5), [PERCENT]),
    ("py_minus_di", lambda b: vl.py_minus_di(*hlc(b), 5), [PERCENT]),
    ("py_bop", lambda b: vl.py_bop(b["open"], *hlc(b)), [UNIT]),
    ("py_er", lambda b: vl.py_er(b["close"], 10), [(0.0, 1.0)]),
    ("py_er", lambda b: vl.py_er(b["close"], 3), [(0.0, 1.0)]),
    ("py_percent_rank", lambda b: vl.py_percent_rank(b["close"], 14), [PERCENT]),
    ("py_psl", lambda b: vl.py_psl(b["close"], 12), [PERCENT]),
    ("py_cti", lambda b: vl.py_cti(b["close"], 12), [UNIT]),
    ("py_stc", lambda b: vl.py_stc(b["close"], 23, 50, 10), [PERCENT]),
    ("py_smi", lambda b: vl.py_smi(*hlc(b), 5, 3, 3), [SIGNED_PERCENT]),
    ("py_qqe", lambda b: vl.py_qqe(b["close"], 14, 5, 4.236), [PERCENT, PERCENT, None]),
    ("py_qqe", lambda b: vl.py_qqe(b["close"], 3, 2, 4.236), [PERCENT, PERCENT, None]),
    ("py_rvi", lambda b: vl.py_rvi(b["open"], *hlc(b), 4, 3), [UNIT, UNIT]),
    ("py_vhf", lambda b: vl.py_vhf(b["close"], 5), [(0.0, 1.0)]),
    ("py_entropy", lambda b: vl.py_entropy(b["close"], 9, 4), [(0.0, 2.0)]),
    ("py_entropy", lambda b: vl.py_entropy(b["close"], 17, 8), [(0.0, 3.0)]),
]


def streamed(make, feed, b):
    """Each update's outputs as a tuple, in bar order, for a fresh state made by MAKE."""
    state, out = make(), []
    for i in range(len(b["close"])):
        r = state.update(*feed(b, i))
        if r is not None:
            out.append(tuple(r) if isinstance(r, tuple) else (r,))
    return [list(col) for col in zip(*out)]


STREAMS = [
    ("OnlineStochastic", lambda b: streamed(lambda: vl.OnlineStochastic(14, 3, 3), lambda b, i: (
        b["high"][i], b["low"][i], b["close"][i]), b), [PERCENT, PERCENT]),
    ("OnlineStochastic", lambda b: streamed(lambda: vl.OnlineStochastic(14, 1, 3), lambda b, i: (
        b["high"][i], b["low"][i], b["close"][i]), b), [PERCENT, PERCENT]),
    ("OnlineRSI", lambda b: streamed(lambda: vl.OnlineRSI(3), lambda b, i: (b["close"][i],), b), [PERCENT]),
    ("OnlineAdaptiveRSI", lambda b: streamed(lambda: vl.OnlineAdaptiveRSI(),
                                            lambda b, i: (b["close"][i],), b)[:1], [PERCENT]),
]


def escapes(outputs, bounds):
    """(output index, value) of the first value outside its bound, None when all are inside."""
    for k, (out, bound) in enumerate(zip(outputs, bounds)):
        if bound is None:
            continue
        lo, hi = bound
        for x in out:
            if not math.isnan(x) and not lo <= x <= hi:
                return k, x
    return None


@pytest.mark.parametrize("scale", SCALES)
@pytest.mark.parametrize("name,call,bounds", CASES + STREAMS, ids=[c[0] for c in CASES + STREAMS])
def test_bounded_outputs_stay_inside_on_pinned_closes(name, call, bounds, scale):
    bad = []
    for seed in SEEDS:
        r = call(pinned_bars(seed, scale))
        outs = list(r) if isinstance(r, (tuple, list)) and isinstance(r[0], list) else [r]
        assert len(outs) == len(bounds)
        if (e := escapes(outs, bounds)) is not None:
            bad.append((seed, *e))
    assert not bad, bad


def test_the_streamed_stochastic_is_the_series_one():
    """The stream clamps as the series does: the same bits on the bars that needed it."""
    for seed in range(10):
        b = pinned_bars(seed, 100.0)
        for smooth in (1, 3):
            k, d = vl.py_stochastic(*hlc(b), 14, smooth, 3)
            sk, sd = streamed(lambda: vl.OnlineStochastic(14, smooth, 3), lambda b, i: (
                b["high"][i], b["low"][i], b["close"][i]), b)
            first = 13 + smooth - 1 + 2
            assert sk == k[first:] and sd == d[first:], (seed, smooth)


def test_the_reported_escapes_are_gone():
    # %K of closes on their highs: every raw value is exactly 100, their mean read 100.00000000000001
    h = [1.10233, 1.10311, 1.10338, 1.10377, 1.10405, 1.10436, 1.10452, 1.10473, 1.10511, 1.10527]
    l = [x - 0.00052 for x in h]
    k, d = vl.py_stochastic(h, l, h, 3, 3, 3)
    assert all(x <= 100.0 for x in k + d if not math.isnan(x))
    assert k[-1] == 100.0 and d[-1] == 100.0
    k1, d1 = vl.py_stochastic(h, l, h, 3, 1, 3)
    assert k1[2:] == [100.0] * 8 and d1[-1] == 100.0
    # every change a gain: the stochastic of a rising RSI is 100
    rising = [100.0 + 0.37 * i + 0.01 * (i % 3) for i in range(60)]
    sk, sd = vl.py_stochrsi(rising, 5, 5, 3, 3)
    assert all(0.0 <= x <= 100.0 for x in sk + sd if not math.isnan(x))
    stoch = vl.OnlineStochastic(3, 3, 3)
    values = [stoch.update(a, b, a) for a, b in zip(h, l)]
    assert values[-1] == (100.0, 100.0)
    # bars closing on their highs and lows with volumes of every size: CMF is exactly +-1
    up = vl.py_cmf(h, l, h, [1e6, 3.0, 7e3, 0.25, 9e5, 11.0, 1e3, 2e6, 0.5, 40.0], 4)
    down = vl.py_cmf(h, l, l, [1e6, 3.0, 7e3, 0.25, 9e5, 11.0, 1e3, 2e6, 0.5, 40.0], 4)
    assert up[3:] == [1.0] * 7 and down[3:] == [-1.0] * 7


@pytest.mark.parametrize("scale", SCALES)
def test_values_strictly_inside_keep_their_bits(scale):
    """Where a bounded output is strictly inside its bound, it equals its unconfined formula:
    %K is the plain mean of the raw %K (to rounding), and no inside value was moved to a bound."""
    for seed in range(5):
        b = pinned_bars(seed, scale)
        h, l, c = hlc(b)
        k1, _ = vl.py_stochastic(h, l, c, 14, 1, 3)
        k3, _ = vl.py_stochastic(h, l, c, 14, 3, 3)
        for i in range(15, N):
            mean = (k1[i] + k1[i - 1] + k1[i - 2]) / 3.0
            if 1e-9 < mean < 100.0 - 1e-9:
                assert 0.0 < k3[i] < 100.0 and abs(k3[i] - mean) <= 1e-9, (seed, i)
