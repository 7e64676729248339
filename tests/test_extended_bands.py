"""Squeeze, aberration, WAE and the SSL channel.

The flags and lines are compared with the library's own Bollinger, Keltner, SMA and ATR
functions where the definitions coincide (exact), and the rest with direct window
computations in NumPy (tolerance 1e-9 relative)."""
import math

import numpy as np
import pytest
from numpy.lib.stride_tricks import sliding_window_view

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, random_bars, random_walk, same_series, value_error
from reference import ref_ema, rolling_np

NAN = math.nan
N = 3000


@pytest.fixture(scope="module")
def bars():
    return random_bars(N, 21)


# ---- squeeze ------------------------------------------------------------------------------


@pytest.mark.parametrize("bb_period, bb_std, kc_period, kc_atr, kc_mult", [
    (20, 2.0, 20, 20, 1.5), (10, 1.0, 30, 7, 2.0), (50, 0.5, 5, 40, 0.8)])
def test_squeeze_flags_compare_the_bands_and_momentum_is_range_mid_minus_mean(bars, bb_period, bb_std, kc_period,
                                                                              kc_atr, kc_mult):
    h, l, c = bars
    on, off, mom = vl.py_squeeze(h, l, c, bb_period, bb_std, kc_period, kc_atr, kc_mult)
    bu, _, bl = vl.py_bollinger_bands(c, bb_period, bb_std)
    ku, _, kl = vl.py_keltner_channel(h, l, c, kc_period, kc_atr, kc_mult)
    want_on = [NAN if math.isnan(bu[i]) or math.isnan(ku[i]) else float(ku[i] > bu[i] and bl[i] > kl[i])
               for i in range(N)]
    assert nan_equal(on, want_on)
    assert nan_equal(off, [x if math.isnan(x) else 1.0 - x for x in want_on])
    assert 0 < sum(x == 1.0 for x in on) < N - 60, "both states should occur"
    assert first_defined(on) == max(bb_period - 1, kc_period - 1, kc_atr)
    ref = (rolling_np(c, bb_period, np.max) + rolling_np(c, bb_period, np.min)) * 0.5 - rolling_np(c, bb_period, np.mean)
    assert nan_equal(mom, list(ref), tol=1e-9)
    assert first_defined(mom) == bb_period - 1


@pytest.mark.parametrize("bb_period", [2, 4, 8, 9, 16, 20, 33])
def test_squeeze_momentum_is_the_librarys_max_min_and_mean(bars, bb_period):
    # Exactly: the range and the mean taken in one pass are the rolling kernels' own, ties
    # of 0.0 and -0.0 included (the later one counts).
    h, l, _ = bars
    c = [float(round(x / 7.0)) - 14.0 for x in bars[2]]
    c = [-0.0 if x == 0.0 and k % 2 else x for k, x in enumerate(c)]
    mom = vl.py_squeeze(h, l, c, bb_period, 2.0, 20, 20, 1.5)[2]
    hi, lo, mean = vl.py_max(c, bb_period), vl.py_min(c, bb_period), vl.py_sma(c, bb_period)
    want = [NAN if math.isnan(m) else (a + b) * 0.5 - m for a, b, m in zip(hi, lo, mean)]
    assert nan_equal(mom, want)
    assert [math.copysign(1.0, x) for x in mom] == [math.copysign(1.0, x) for x in want]


def test_squeeze_defaults_over_30_bars():
    h, l, c = random_bars(30, 3)
    on, off, mom = vl.py_squeeze(h, l, c, None, None, None, None, None)
    assert same_series((on, off, mom), vl.py_squeeze(h, l, c, 20, 2.0, 20, 20, 1.5))
    assert first_defined(on) == first_defined(off) == 20
    assert first_defined(mom) == 19


def test_squeeze_bb_period_one_gives_no_flags_and_zero_momentum():
    h, l, c = random_bars(40, 4)
    on, off, mom = vl.py_squeeze(h, l, c, 1, 2.0, 5, 5, 1.5)
    assert all(math.isnan(x) for x in on + off)
    assert mom == [0.0] * 40


@pytest.mark.parametrize("args, msg", [
    (([], [], []), "Empty input: high cannot be empty"),
    (([1, math.inf], [1, 1], [1, 1]), "Invalid value at index 1: high contains non-finite value: inf"),
    (([1, 2], [1], [1, 2]), "Length mismatch: high=2, low=1"),
    (([1, 2], [1, 2], [1, NAN]), "Invalid value at index 1: close contains non-finite value: NaN"),
    # every period against the length before any kernel check
    (([1] * 5, [1] * 5, [1] * 5, 6, -1.0, 2, 2, -1.0), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (([1] * 5, [1] * 5, [1] * 5, 2, -1.0, 0, 2, -1.0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (([1] * 5, [1] * 5, [1] * 5, 2, -1.0, 2, 9, -1.0), "Invalid period: 9 (must be > 0 and <= data length 5)"),
    # then the Bollinger kernel, then the Keltner kernel (atr period before multiplier)
    (([1] * 5, [1] * 5, [1] * 5, 2, -1.0, 2, 5, -1.0),
     "Parameter std_multiplier out of range: -1 (valid range: 0..inf)"),
    (([1] * 5, [1] * 5, [1] * 5, 2, 2.0, 2, 5, -1.0), "Insufficient data: need at least 6 elements, got 5"),
    (([1] * 5, [1] * 5, [1] * 5, 2, 2.0, 2, 4, -0.5), "Parameter multiplier out of range: -0.5 (valid range: 0..inf)"),
])
def test_squeeze_refusals_in_order(args, msg):
    if len(args) == 3:
        args = args + (2, 2.0, 2, 1, 1.5)
    assert value_error(vl.py_squeeze, *args) == msg


# ---- aberration ---------------------------------------------------------------------------


@pytest.mark.parametrize("period, atr_period", [(20, 20), (5, 30), (40, 3)])
def test_aberration_is_distance_from_mean_in_atrs(bars, period, atr_period):
    h, l, c = bars
    sma, atr = vl.py_sma(c, period), vl.py_atr(h, l, c, atr_period)
    want = [NAN if math.isnan(sma[i]) or math.isnan(atr[i]) else (c[i] - sma[i]) / atr[i] for i in range(N)]
    got = vl.py_aberration(h, l, c, period, atr_period)
    assert nan_equal(got, want)
    assert first_defined(got) == max(period - 1, atr_period)
    assert nan_equal(vl.py_aberration(h, l, c, None, None), vl.py_aberration(h, l, c, 20, 20))


def test_aberration_flat_bars_have_no_value():
    assert all(math.isnan(x) for x in vl.py_aberration([3.0] * 30, [3.0] * 30, [3.0] * 30, 5, 5))


# ---- WAE ----------------------------------------------------------------------------------


@pytest.mark.parametrize("fast, slow, signal, bb_period, mult", [(20, 40, 9, 20, 2.0), (12, 5, 3, 7, -1.5)])
def test_wae_trend_and_explosion(fast, slow, signal, bb_period, mult):
    c = random_walk(N, seed=8)
    trend, explosion = vl.py_wae(c, fast, slow, signal, bb_period, mult)
    macd = np.array(ref_ema(c, fast)) - np.array(ref_ema(c, slow))
    start = max(fast, slow) - 1
    sig = np.full(N, NAN)
    sig[start + signal - 1:] = sliding_window_view(macd[start:], signal).mean(axis=-1)
    assert nan_equal(trend, list(np.abs(macd - sig)), tol=1e-8)
    assert first_defined(trend) == max(fast, slow) + signal - 2
    assert nan_equal(explosion, list(2 * rolling_np(c, bb_period, lambda w, axis: w.std(axis=axis, ddof=1)) * mult),
                     tol=1e-9)
    if mult < 0:
        assert all(x <= 0 for x in explosion[bb_period:])


def test_wae_equal_fast_and_slow_and_degenerate_periods():
    c = random_walk(60, seed=2)
    trend, explosion = vl.py_wae(c, 10, 10, 4, 1, 2.0)
    assert first_defined(trend) == 10 + 4 - 2 and set(trend[12:]) == {0.0}
    assert all(math.isnan(x) for x in explosion)
    trend, _ = vl.py_wae(c[:20], 15, 10, 7, 5, 2.0)  # 15 + 7 - 2 >= 20: no trend, no error
    assert all(math.isnan(x) for x in trend)
    assert nan_equal(vl.py_wae(c, None, None, None, None, None)[0], vl.py_wae(c, 20, 40, 9, 20, 2.0)[0])


# ---- SSL channel --------------------------------------------------------------------------


def test_ssl_channel_hand_traced():
    high = [10.0, 12.0, 14.0, 11.0, 13.0]
    low = [8.0, 10.0, 12.0, 9.0, 11.0]
    # means (period 2) from index 1: high 11, 13, 12.5, 12; low 9, 11, 10.5, 10
    close = [9.0, 11.5, 13.0, 12.6, 12.0]
    first, second = vl.py_ssl_channel(high, low, close, 2)
    # 11.5 > 11 -> low mean first; 13 == 13 is not above; 12.6 > 12.5; 12 == 12 is not above
    assert nan_equal(first, [NAN, 9.0, 13.0, 10.5, 12.0])
    assert nan_equal(second, [NAN, 11.0, 11.0, 12.5, 10.0])


def test_ssl_channel_is_the_two_means_by_bar(bars):
    h, l, c = bars
    up, down = vl.py_sma(h, 10), vl.py_sma(l, 10)
    first, second = vl.py_ssl_channel(h, l, c, None)
    above = [c[i] > up[i] for i in range(N)]
    assert nan_equal(first, [down[i] if above[i] else up[i] for i in range(N)])
    assert nan_equal(second, [up[i] if above[i] else down[i] for i in range(N)])
    assert 0 < sum(above) < N


ONES = [1.0] * 4


@pytest.mark.parametrize("fn, args, msg", [
    (vl.py_aberration, ([1, 2], [1, 2], [1], 2, 2), "Length mismatch: high=2, close=1"),
    (vl.py_aberration, (ONES, ONES, ONES, 5, 5), "Invalid period: 5 (must be > 0 and <= data length 4)"),
    (vl.py_aberration, (ONES, ONES, ONES, 2, 0), "Invalid period: 0 (must be > 0 and <= data length 4)"),
    (vl.py_aberration, (ONES, ONES, ONES, 2, 4), "Insufficient data: need at least 5 elements, got 4"),
    (vl.py_wae, ([], 1, 1, 1, 1, 2.0), "Empty input: close cannot be empty"),
    (vl.py_wae, ([1, NAN], 9, 9, 9, 9, 2.0), "Invalid value at index 1: close contains non-finite value: NaN"),
    (vl.py_wae, (ONES, 0, 9, 9, 9, 2.0), "Invalid period: 0 (must be > 0 and <= data length 4)"),
    (vl.py_wae, (ONES, 2, 6, 9, 9, 2.0), "Invalid period: 6 (must be > 0 and <= data length 4)"),
    (vl.py_wae, (ONES, 2, 3, 7, 9, 2.0), "Invalid period: 7 (must be > 0 and <= data length 4)"),
    (vl.py_wae, (ONES, 2, 3, 4, 9, 2.0), "Invalid period: 9 (must be > 0 and <= data length 4)"),
    (vl.py_ssl_channel, ([1, 2], [1], [1, 2], 1), "Length mismatch: high=2, low=1"),
    (vl.py_ssl_channel, (ONES, ONES, ONES, 5), "Invalid period: 5 (must be > 0 and <= data length 4)"),
])
def test_refusals_in_order(fn, args, msg):
    assert value_error(fn, *args) == msg


# ---- binding ------------------------------------------------------------------------------


def test_signature_only_docstrings():
    assert vl.py_wae.__text_signature__ == "(close, fast, slow, signal, bb_period, multiplier)"
    assert vl.py_ssl_channel.__text_signature__ == "(high, low, close, period)"
    assert not vl.py_wae.__doc__ and not vl.py_ssl_channel.__doc__


def test_prose_docstrings():
    assert vl.py_squeeze.__text_signature__ == \
        "(high, low, close, bb_period=20, bb_std=2.0, kc_period=20, kc_atr_period=20, kc_mult=1.5)"
    assert vl.py_squeeze.__doc__.startswith("Calculate Squeeze Momentum Indicator\n\nDetects when BB is inside KC "
                                            "(squeeze on) indicating\nlow volatility before potential breakout.")
    assert "kc_mult : float, optional\n    KC ATR multiplier (default: 1.5)" in vl.py_squeeze.__doc__
    assert vl.py_aberration.__doc__.endswith("list of float - Aberration values")
    assert "ATR. Identifies abnormal price behavior." in vl.py_aberration.__doc__


@pytest.mark.parametrize("fn, args", [(vl.py_aberration, ([1.0] * 5,) * 3 + (2,)),
                                      (vl.py_ssl_channel, ([1.0] * 5,) * 3)])
def test_every_parameter_required(fn, args):
    with pytest.raises(TypeError):
        fn(*args)
    with pytest.raises(TypeError):
        fn(None, *args[1:], 2, 2)
