"""KAMA's volatility, VWMA's two sums and Coppock's weighted sum: windows up to 48 bars are
summed afresh, longer ones slide, compensated and rebuilt on their schedules. Both paths
against every window summed exactly and rounded once (reference.py), on ordinary data, bad
prints, level drops and runs of zeros, across the 48/49 seam, the sliding sums' rebuilds and
the longest window."""
import math
import random

import pytest

from conftest import nan_equal, random_walk
from reference import (
    coppock_rounded_once, exact_kama, kama_rounded_once, ref_coppock, ref_roc_helper, ref_window, vwma_rounded_once,
)

import vorn_library.vorn_library as vl

NAN = math.nan
N = 2600  # a window of 49 bars slides 2,551 times: two rebuilds at least


def bars(kind, n=N, seed=4):
    """(close, volume) of one kind of data."""
    rng = random.Random(seed)
    close = random_walk(n, seed=seed, start=1000.0)
    volume = [rng.lognormvariate(8, 0.7) for _ in range(n)]
    if kind == "bad print":
        for k in (300, 301, 1700):
            close[k] *= 1e9
            volume[k] *= 1e12
    elif kind == "level drop":
        # A volatile, heavy first third, then prices and volumes a millionth of it.
        third = n // 3
        close = [c * 1e6 if i < third else c * 1e-6 for i, c in enumerate(close)]
        volume = [v * 1e9 if i < third else v for i, v in enumerate(volume)]
    elif kind == "zero close":
        # Rates of change over a base of 0 are undefined: Coppock's windows that hold them are
        # NaN, and those after them are not.
        for k in (400, 1500, 1510):
            close[k] = 0.0
    elif kind == "flat":
        # The price stands still and nothing trades for longer than most windows.
        for k in range(900, 1600):
            close[k] = close[899]
            volume[k] = 0.0
    return close, volume


KINDS = ["ordinary", "bad print", "level drop", "zero close", "flat"]
PERIODS = [1, 2, 48, 49, 64, 500, 1001, N]

# A window sum's rounding against the sum rounded once is at most 2u times the magnitudes
# that passed through it since it was last summed afresh (u = 2^-53): on ordinary data about
# 1 + 2000 / p times the window's own, so VWMA's quotient within 2^-48 of itself and Coppock's
# within 2^-47 of its largest rate-of-change sum. Where the window holds far less than what
# passed (the windows across a level drop, the last bars before a run without volume) the
# ratio is the data's (up to the weight's 2^20, past which the window is summed afresh):
# 2^-40 on these, still far below what the rounding of a bad print or of the level before the
# drop would leave if it were not forgotten. KAMA's volatility rounds the same way; its average, relative to itself, within
# 2^-40 (the smoothing constant's rounding passes into the recursion, which rounds as the
# reference does).
def tolerance(kind, ordinary):
    return ordinary if kind == "ordinary" else 2.0**-40


VWMA_TOL = 2.0**-48
COPPOCK_TOL = 2.0**-47
KAMA_TOL = 2.0**-40


def close_to(got, want, tol, scale=None):
    """Each value within tol of its reference, relative to it or to scale[i]."""
    scale = scale or [abs(w) for w in want]
    for g, w, s in zip(got, want, scale, strict=True):
        if math.isnan(g) or math.isnan(w):
            if not (math.isnan(g) and math.isnan(w)):
                return False
        elif abs(g - w) > tol * s:  # a window of zeros (scale 0): exactly
            return False
    return True


def largest_roc_sums(close, period):
    """The largest magnitude of the rate-of-change sums in each of Coppock's windows."""
    sums = [abs(a + b) for a, b in zip(ref_roc_helper(close, 11), ref_roc_helper(close, 14))]
    return ref_window(sums, period, lambda w, axis: w.max(axis=axis))


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("period", PERIODS)
def test_vwma_windows_against_sums_rounded_once(kind, period):
    close, volume = bars(kind)
    want = vwma_rounded_once(close, volume, period)
    assert close_to(vl.py_vwma(close, volume, period), want, tolerance(kind, VWMA_TOL))


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("period", PERIODS)
def test_kama_against_volatility_rounded_once(kind, period):
    close, _ = bars(kind)
    got = vl.py_kama(close, period, 2, 30)
    assert nan_equal(got, kama_rounded_once(close, period), KAMA_TOL)


@pytest.mark.parametrize("kind", KINDS)
@pytest.mark.parametrize("period", [p for p in PERIODS if p < N - 14])
def test_coppock_against_weighted_sums_rounded_once(kind, period):
    close, _ = bars(kind)
    got = vl.py_coppock(close, 11, 14, period)
    want = coppock_rounded_once(close, 11, 14, period)
    assert close_to(got, want, tolerance(kind, COPPOCK_TOL), largest_roc_sums(close, period))


@pytest.mark.parametrize("period", [1, 2, 48])
def test_short_windows_keep_their_bits(period):
    # Up to 48 bars every window is the plain sum from its oldest bar, as it always was.
    close, volume = bars("ordinary", n=300)
    assert nan_equal(vl.py_kama(close, period, 2, 30), exact_kama(close, period))
    assert nan_equal(vl.py_coppock(close, 11, 14, period), ref_coppock(close, 11, 14, period))
    plain = [NAN] * (period - 1)
    for i in range(period - 1, len(close)):
        a = v = 0.0
        for k in range(i + 1 - period, i + 1):
            a += close[k] * volume[k]
            v += volume[k]
        plain.append(a / v)
    assert nan_equal(vl.py_vwma(close, volume, period), plain)


def test_long_windows_of_nothing_read_exactly_nothing():
    # A long window that holds only a flat price, or no volume, after a heavy stretch:
    # Coppock's window is exactly 0.0 and VWMA's has no volume (NaN), however much rounding
    # the heavy bars left behind. (KAMA's flat window has no change either, so its ratio is 0
    # whatever its volatility reads.)
    p = 200
    close, volume = bars("level drop", n=1200)
    close[700:] = [close[699]] * 500
    volume[700:] = [0.0] * 500
    assert vl.py_coppock(close, 11, 14, p)[914:] == [0.0] * 286  # the rates of change are 0 from 714
    assert all(math.isnan(x) for x in vl.py_vwma(close, volume, p)[900:])


@pytest.mark.parametrize("period", [10**4, 10**5])
def test_precision_at_long_windows(period):
    n = period + 6000  # six rebuilds of each sliding sum
    close = random_walk(n, seed=11, start=1000.0)
    rng = random.Random(12)
    volume = [rng.lognormvariate(10, 0.6) for _ in range(n)]
    assert close_to(vl.py_vwma(close, volume, period), vwma_rounded_once(close, volume, period), VWMA_TOL)
    assert nan_equal(vl.py_kama(close, period, 2, 30), kama_rounded_once(close, period), KAMA_TOL)
    assert close_to(vl.py_coppock(close, 11, 14, period), coppock_rounded_once(close, 11, 14, period), COPPOCK_TOL,
                    largest_roc_sums(close, period))


@pytest.mark.parametrize("length", [100, 1049, 1050, 2051, N - 1])
def test_a_window_does_not_depend_on_the_bars_after_it(length):
    # The sums' rebuilds fall where the windows' own slides put them, not where the series
    # ends: a shorter series gives the longer one's values, bit for bit.
    close, volume = bars("bad print")
    for period in (49, 97):
        cut = close[:length]
        assert nan_equal(vl.py_kama(cut, period, 2, 30), vl.py_kama(close, period, 2, 30)[:length])
        assert nan_equal(vl.py_vwma(cut, volume[:length], period), vl.py_vwma(close, volume, period)[:length])
        assert nan_equal(vl.py_coppock(cut, 11, 14, period), vl.py_coppock(close, 11, 14, period)[:length])
