"""Nearest-neighbour searches of the AI SuperTrend and the AI momentum index against a brute
force: every candidate's distance, a full sort by (distance, bar), the k first.

The data is chosen to make the searches hard: whole-number closes whose features and distances
tie constantly (and where the tie rule is shown to change the answer), closes that cross zero or
sit around the 1e-10 cut of the price term, a series whose differences overflow so that the RSI
turns NaN, and lengths that give the momentum tree many levels. Results are compared bit for bit.
"""
import math
import struct
import time

import numpy as np
import pytest

import vorn_library.vorn_library as vl
from reference import ref_ai_momentum, ref_ai_supertrend

NAN = math.nan


def bits(series):
    """Each value's bit pattern (signed zeros apart), every NaN alike."""
    return [None if math.isnan(x) else struct.pack("<d", x) for x in series]


def closes(kind, n, seed):
    rng = np.random.default_rng(seed)
    if kind == "whole":          # whole numbers: RSI values and closes repeat, distances tie
        return list(np.maximum(5.0, 60.0 + np.cumsum(rng.integers(-2, 3, n))).astype(float))
    if kind == "cycle":          # a handful of levels: whole (RSI, close) points recur exactly
        return list(1.0 + np.abs(np.cumsum(rng.integers(-1, 2, n))) % 7)
    if kind == "walk":
        return list(100.0 * np.exp(np.cumsum(rng.normal(0.0, 0.01, n))))
    if kind == "signed":         # through zero: the relative change flips sign and grows large
        return list(np.cumsum(rng.normal(0.0, 1.0, n)))
    if kind == "cut":            # either side of 1e-10, where the price term is dropped
        return list(1e-10 * (1.0 + np.cumsum(rng.normal(0.0, 0.05, n))))
    if kind == "overflow":       # differences overflow half way: the RSI is NaN from there on
        x = list(100.0 * np.exp(np.cumsum(rng.normal(0.0, 0.01, n))))
        return x[: n // 2] + [1.7e308 if t % 2 else -1.7e308 for t in range(n - n // 2)]
    if kind == "flat":
        return [7.0] * n
    if kind == "alternating":    # two closes in turn: after the warm-up, two points repeated exactly
        return [100.0 + (t % 2) * 0.5 for t in range(n)]
    if kind == "stretches":      # flat runs at a few recurring levels between short walks
        out = []
        while len(out) < n:
            level = float(rng.choice([98.0, 99.0, 100.0, 101.0, 102.5]))
            out += [level] * int(rng.integers(5, 150))
            out += list(level + np.cumsum(rng.integers(-1, 2, int(rng.integers(1, 8)))).astype(float))
        return out[:n]
    raise ValueError(kind)


# (kind, bars, k, trend_length, smooth): k 16 fills a leaf; 50 and 14 are the defaults; 130 is
# past the counted ordering of the chosen bars.
MOMENTUM = [
    ("whole", 2500, 1, 1, 1),
    ("whole", 2500, 7, 5, 3),
    ("whole", 2000, 50, 14, 3),
    ("cycle", 2000, 3, 2, 2),
    ("cycle", 1500, 16, 4, 1),
    ("walk", 2500, 50, 14, 3),
    ("walk", 1200, 130, 6, 2),
    ("signed", 2000, 9, 3, 2),
    ("cut", 1500, 5, 4, 2),
    ("overflow", 600, 12, 3, 2),
    ("flat", 300, 20, 5, 2),
    # Thousands of exact ties: the search must still pick the earliest of them.
    ("flat", 2500, 50, 14, 3),
    ("alternating", 2500, 50, 14, 3),
    ("alternating", 1500, 3, 2, 1),
    ("stretches", 3000, 50, 14, 3),
    ("stretches", 2500, 7, 3, 2),
    ("stretches", 2000, 130, 5, 2),
]


@pytest.mark.parametrize("kind, n, k, tl, smooth", MOMENTUM)
def test_momentum_against_brute_force(kind, n, k, tl, smooth):
    close = closes(kind, n, seed=n + k)
    pred, smoothed = vl.py_ai_momentum_index(close, k, tl, smooth)
    want = ref_ai_momentum(close, k, tl)
    assert bits(pred) == bits(want)
    first = 2 * tl + k
    assert bits(smoothed) == bits([NAN] * first + vl.py_sma(pred[first:], smooth))
    if kind in ("whole", "cycle"):   # ties decide bars: the wrong rule gives other values
        assert bits(want) != bits(ref_ai_momentum(close, k, tl, later_ties=True))


@pytest.mark.parametrize("kind, seed", [("whole", 18), ("whole", 39), ("cycle", 4)])
def test_momentum_distinct_squares_sharing_a_root(kind, seed):
    # On these bars some k-th neighbour ties in distance with a bar whose squared distance is
    # a different double with the same rounded root (and an earlier index): ranking by the
    # squares alone would pick the wrong one.
    close = closes(kind, 300, seed)
    assert bits(vl.py_ai_momentum_index(close, 4, 3, 1)[0]) == bits(ref_ai_momentum(close, 4, 3))


def test_momentum_nan_rsi_takes_the_earliest_candidates():
    # From the overflow on, every distance is NaN: the k earliest candidates, whatever the bar.
    close = closes("overflow", 400, seed=3)
    rsi = vl.py_rsi(close, 3)
    start = next(i for i, r in enumerate(rsi) if i > 3 and math.isnan(r))
    pred = vl.py_ai_momentum_index(close, 4, 3, 1)[0]
    first_four = sum(rsi[x + 1] - rsi[x] for x in range(3, 7)) / 4
    assert all(p == first_four for p in pred[start:]) and not math.isnan(first_four)


def ramp(close):
    return [c + 1.0 for c in close], [c - 1.0 for c in close], close


# (kind, bars, k, n, price_trend, predict_trend, st_length, multiplier): one-bar features on
# whole numbers tie constantly; k 20 of 300 leaves many candidates within the first bound.
SUPERTREND = [
    ("whole", 1500, 1, 30, 1, 1, 5, 1.0),
    ("whole", 1500, 4, 40, 1, 1, 7, 2.0),
    ("whole", 1500, 5, 100, 10, 10, 10, 3.0),
    ("cycle", 1200, 3, 25, 1, 1, 3, 0.5),
    ("cycle", 1200, 1, 60, 1, 1, 3, 0.5),   # the nearest often at distance 0: a bound of 0
    ("walk", 1500, 5, 100, 10, 10, 10, 3.0),
    ("walk", 1500, 20, 300, 3, 6, 14, 0.5),
    ("walk", 800, 8, 9, 2, 2, 3, 1.5),      # a window barely wider than k
    ("signed", 1500, 6, 50, 4, 5, 20, 2.0),
    ("flat", 400, 5, 60, 3, 3, 5, 1.0),     # every distance 0: the earliest k of the window
    # Windows where many candidates tie at the k-th distance, for each way of settling them.
    ("flat", 1500, 3, 400, 1, 1, 3, 1.0),
    ("alternating", 1500, 5, 500, 10, 10, 10, 3.0),
    ("alternating", 1500, 13, 300, 1, 1, 3, 1.0),
    ("stretches", 2000, 1, 300, 1, 1, 3, 1.0),
    ("stretches", 2000, 30, 400, 2, 3, 5, 1.0),
]


@pytest.mark.parametrize("kind, bars, k, n, pt, qt, stl, mult", SUPERTREND)
def test_supertrend_against_brute_force(kind, bars, k, n, pt, qt, stl, mult):
    h, l, c = ramp(closes(kind, bars, seed=bars + k))
    got = vl.py_ai_supertrend(h, l, c, k, n, pt, qt, stl, mult)
    want = ref_ai_supertrend(h, l, c, k, n, pt, qt, stl, mult)
    assert bits(got[0]) == bits(want[0]) and bits(got[1]) == bits(want[1])
    if kind in ("whole", "cycle") and pt == qt == 1:
        assert bits(want[1]) != bits(ref_ai_supertrend(h, l, c, k, n, pt, qt, stl, mult, later_ties=True)[1])


@pytest.mark.parametrize("kind, k, n, pt, qt", [("whole", 4, 40, 3, 1), ("whole", 1, 30, 1, 3), ("walk", 5, 100, 10, 10)])
def test_supertrend_with_overflowing_features_later(kind, k, n, pt, qt):
    # Closes near the largest double at the end overflow the averages: from there on the
    # features are infinite or NaN, and the whole series is searched asking each candidate
    # whether it is defined. Every earlier bar reads only earlier data, so it must come out
    # as the brute force has it on the series without that end.
    h, l, c = ramp(closes(kind, 900, seed=k + n))
    want = ref_ai_supertrend(h, l, c, k, n, pt, qt, 7, 2.0)
    tail = [1.7e308] * 3
    got = vl.py_ai_supertrend(h + tail, l + tail, c + tail, k, n, pt, qt, 7, 2.0)
    assert bits(got[1][:900]) == bits(want[1])
    assert set(got[1][900:]) <= {1.0, -1.0}


@pytest.mark.parametrize("seed, k, n, pt, qt, stl, mult", [
    (11, 4, 25, 2, 1, 3, 1.5), (110, 2, 20, 1, 1, 3, 1.0), (147, 3, 30, 1, 2, 4, 0.5),
])
def test_supertrend_distinct_squares_sharing_a_root(seed, k, n, pt, qt, stl, mult):
    # Bars where a neighbour at the k-th distance ties with one whose squared distance is a
    # different double of the same rounded root: the squares alone would choose wrongly.
    h, l, c = ramp(closes("cycle", 300, seed))
    got = vl.py_ai_supertrend(h, l, c, k, n, pt, qt, stl, mult)
    assert bits(got[1]) == bits(ref_ai_supertrend(h, l, c, k, n, pt, qt, stl, mult)[1])


def cpu_seconds(call):
    """The least CPU time of this thread over three calls: what other processes do to the
    machine lengthens the wall clock, not this."""
    spent = []
    for _ in range(3):
        start = time.thread_time()
        call()
        spent.append(time.thread_time() - start)
    return min(spent)


@pytest.mark.parametrize("kind", ["flat", "alternating"])
def test_ties_cost_about_what_distinct_points_cost(kind):
    # Tied features once made every bar gather every tied candidate: 30,000 flat bars took 40
    # to 60 times as long as distinct ones in the momentum index, and windows of 2,000 bars
    # about 6 times as long in the SuperTrend. Now they take about as long; the limits leave
    # a wide margin both ways.
    n = 30_000
    tied, walk = closes(kind, n, seed=1), closes("walk", n, seed=1)
    ratio = cpu_seconds(lambda: vl.py_ai_momentum_index(tied, 50, 14, 3)) / cpu_seconds(
        lambda: vl.py_ai_momentum_index(walk, 50, 14, 3))
    assert ratio < 6.0
    ratio = cpu_seconds(lambda: vl.py_ai_supertrend(*ramp(tied), 5, 2000, 10, 10, 10, 3.0)) / cpu_seconds(
        lambda: vl.py_ai_supertrend(*ramp(walk), 5, 2000, 10, 10, 10, 3.0))
    assert ratio < 3.0
