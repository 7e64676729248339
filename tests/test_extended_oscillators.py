"""QQE, KST, STC, SMI, TDFI and Coppock, and the two kernels they share.

STC and Coppock are compared exactly: the library's own EMA (the same kernel) and a direct
window scan with the same float operations. The others go through references whose seeds
are exact sums (fsum) rather than compensated running sums: tolerance 1e-9 relative."""
import math
import random

import numpy as np
import pytest
from numpy.lib.stride_tricks import sliding_window_view

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, native_program, random_bars, random_walk, value_error
from reference import ref_coppock, ref_ema, ref_qqe, ref_roc_helper, ref_stochastic_raw, rolling_mean

NAN = math.nan
N = 3000
TOL = 1e-9


@pytest.fixture(scope="module")
def bars():
    return random_bars(N, 51)


# ---- QQE ----------------------------------------------------------------------------------


@pytest.mark.parametrize("r, s, mult", [(14, 5, 4.236), (7, 2, 1.0), (30, 9, 0.0), (10, 3, -2.0)])
def test_qqe_against_reference(r, s, mult):
    close = random_walk(N, seed=r)
    got = vl.py_qqe(close, r, s, mult)
    want = ref_qqe(close, r, s, mult)
    assert nan_equal(got[0], want[0], tol=TOL) and nan_equal(got[1], want[1], tol=TOL)
    assert got[2] == want[2]
    assert first_defined(got[0]) == r + s - 1 and first_defined(got[1]) == r + 2 * s - 1
    assert got[2][:r + 2 * s - 1] == [0.0] * (r + 2 * s - 1)


def test_qqe_defaults_and_first_trailing_bar():
    close = random_walk(400, seed=9)
    m, t, d = vl.py_qqe(close, None, None, None)
    assert (first_defined(m), first_defined(t)) == (18, 23)
    assert d[23] == (1.0 if m[23] > 50 else -1.0)
    assert nan_equal(t, vl.py_qqe(close, 14, 5, 4.236)[1])


def test_qqe_refusals():
    c = random_walk(20)
    assert value_error(vl.py_qqe, c, 20, 5, 1.0) == "Insufficient data: need at least 21 elements, got 20"
    assert value_error(vl.py_qqe, c, 21, 5, 1.0) == "Invalid period: 21 (must be > 0 and <= data length 20)"
    assert value_error(vl.py_qqe, c, 5, 0, 1.0) == "Invalid period: 0 (must be > 0 and <= data length 20)"
    assert value_error(vl.py_qqe, c, 0, 21, 1.0) == "Invalid period: 0 (must be > 0 and <= data length 20)"
    assert value_error(vl.py_qqe, [], 1, 1, 1.0) == "Empty input: close cannot be empty"


# ---- KST ----------------------------------------------------------------------------------


@pytest.mark.parametrize("rocs, sig", [((10, 15, 20, 30), 9), ((0, 3, 7, 2), 4), ((25, 1, 1, 1), 1)])
def test_kst_against_reference(rocs, sig):
    close = random_walk(N, seed=17)
    s = [rolling_mean(ref_roc_helper(close, p), 15 if k == 3 else 10) for k, p in enumerate(rocs)]
    kst = [NAN if any(math.isnan(x[i]) for x in s) else 4 * s[3][i] + (3 * s[2][i] + (s[0][i] + 2 * s[1][i]))
           for i in range(N)]
    k = max(rocs[0] + 9, rocs[1] + 9, rocs[2] + 9, rocs[3] + 14)
    got = vl.py_kst(close, *rocs, sig)
    assert nan_equal(got[0], kst, tol=TOL)
    assert first_defined(got[0]) == k
    assert nan_equal(got[1], [NAN] * k + rolling_mean(kst[k:], sig), tol=TOL)
    assert first_defined(got[1]) == k + sig - 1


@pytest.mark.parametrize("rocs, sig", [((10, 15, 20, 30), 9), ((0, 4, 4, 1), 3), ((6, 6, 6, 6), 1)])
def test_kst_with_zero_closes(rocs, sig):
    # A rate of change over a zero base is undefined and restarts its average, also once all
    # four are taken two at a time.
    close = random_walk(400, seed=29)
    for k in (5, 60, 61, 150, 333):
        close[k] = 0.0
    s = [rolling_mean(ref_roc_helper(close, p), 15 if k == 3 else 10) for k, p in enumerate(rocs)]
    kst = [NAN if any(math.isnan(x[i]) for x in s) else 4 * s[3][i] + (3 * s[2][i] + (s[0][i] + 2 * s[1][i]))
           for i in range(len(close))]
    got = vl.py_kst(close, *rocs, sig)
    assert nan_equal(got[0], kst, tol=TOL)
    assert nan_equal(got[1], rolling_mean(kst, sig), tol=TOL)


def test_kst_defaults():
    close = random_walk(200, seed=2)
    kst, sig = vl.py_kst(close, None, None, None, None, None)
    assert (first_defined(kst), first_defined(sig)) == (44, 52)


@pytest.mark.parametrize("n, rocs, msg", [
    (12, (1, 1, 1, 1), "Invalid period: 15 (must be > 0 and <= data length 12)"),
    (9, (1, 1, 1, 1), "Invalid period: 10 (must be > 0 and <= data length 9)"),
    (30, (1, 1, 40, 1), "Invalid period: 40 (must be > 0 and <= data length 30)"),
    (30, (0, 0, 0, 0), "Invalid period: 0 (must be > 0 and <= data length 30)"),
])
def test_kst_refusals(n, rocs, msg):
    assert value_error(vl.py_kst, random_walk(n), *rocs, 1) == msg
    assert value_error(vl.py_kst, random_walk(30), 1, 1, 1, 1, 31) == \
        "Invalid period: 31 (must be > 0 and <= data length 30)"


# ---- STC ----------------------------------------------------------------------------------


@pytest.mark.parametrize("fast, slow, cycle", [(23, 50, 10), (12, 5, 3), (8, 8, 6), (3, 40, 60)])
def test_stc_is_two_stochastic_passes_over_macd(fast, slow, cycle):
    close = random_walk(N, seed=23)
    ef, es = vl.py_ema(close, fast), vl.py_ema(close, slow)
    macd = [NAN if math.isnan(a) or math.isnan(b) else a - b for a, b in zip(ef, es)]
    got = vl.py_stc(close, fast, slow, cycle)
    assert nan_equal(got, ref_stochastic_raw(ref_stochastic_raw(macd, cycle), cycle))
    first = max(cycle, max(fast, slow) - 1)
    assert first_defined(got) == first and got[first] == 50.0


def test_stc_defaults_and_degenerate_cycle():
    close = random_walk(60, seed=6)
    got = vl.py_stc(close, None, None, None)
    assert first_defined(got) == 49 and got[49] == 50.0
    assert all(math.isnan(x) for x in vl.py_stc(close, 5, 10, 60))
    assert set(vl.py_stc(close, 9, 9, 5)[9:]) == {50.0}


def test_stc_refusals():
    c = random_walk(10)
    for args, bad in (((0, 5, 5), 0), ((5, 11, 5), 11), ((5, 5, 12), 12)):
        assert value_error(vl.py_stc, c, *args) == f"Invalid period: {bad} (must be > 0 and <= data length 10)"


# ---- SMI ----------------------------------------------------------------------------------


@pytest.mark.parametrize("period, s1, s2", [(13, 25, 2), (5, 3, 3), (1, 1, 1)])
def test_smi_against_reference(bars, period, s1, s2):
    h, l, c = bars
    hh = rolling_mean(h, 1) if period == 1 else [NAN] * (period - 1) + list(
        sliding_window_view(np.asarray(h), period).max(-1))
    ll = rolling_mean(l, 1) if period == 1 else [NAN] * (period - 1) + list(
        sliding_window_view(np.asarray(l), period).min(-1))
    diff = [c[i] - (hh[i] + ll[i]) * 0.5 for i in range(N)]
    half = [(hh[i] - ll[i]) * 0.5 for i in range(N)]
    d, r = ref_ema(ref_ema(diff, s1), s2), ref_ema(ref_ema(half, s1), s2)
    got = vl.py_smi(h, l, c, period, s1, s2)
    assert nan_equal(got, [x / y * 100 for x, y in zip(d, r)], tol=TOL)
    assert first_defined(got) == period + s1 + s2 - 3


def test_smi_flat_range_and_defaults(bars):
    h, l, c = bars
    assert first_defined(vl.py_smi(h, l, c, None, None, None)) == 37
    assert all(math.isnan(x) for x in vl.py_smi([4.0] * 50, [4.0] * 50, random_walk(50), 5, 3, 3))


def test_smi_refusals():
    assert value_error(vl.py_smi, [1.0, 2.0], [1.0], [1.0, 2.0], 1, 1, 1) == "Length mismatch: high=2, low=1"
    assert value_error(vl.py_smi, [1.0, 2.0], [1.0, 2.0], [1.0], 1, 1, 1) == "Length mismatch: high=2, close=1"
    assert value_error(vl.py_smi, [1.0, 2.0], [1.0, NAN], [1.0, 2.0], 1, 1, 1) == \
        "Invalid value at index 1: low contains non-finite value: NaN"
    assert value_error(vl.py_smi, [1.0] * 3, [1.0] * 3, [1.0] * 3, 1, 4, 0) == \
        "Invalid period: 4 (must be > 0 and <= data length 3)"
    assert value_error(vl.py_smi, [1.0] * 3, [1.0] * 3, [1.0] * 3, 1, 1, 0) == \
        "Invalid period: 0 (must be > 0 and <= data length 3)"


# ---- TDFI ---------------------------------------------------------------------------------


@pytest.mark.parametrize("period, smooth", [(13, 3), (1, 1), (40, 12)])
def test_tdfi_against_reference(period, smooth):
    close = random_walk(N, seed=29)
    mom = [NAN] * period + [abs(close[i] - close[i - period]) for i in range(period, N)]
    got = vl.py_tdfi(close, period, smooth)
    assert nan_equal(got, ref_ema(mom, smooth), tol=TOL)
    assert first_defined(got) == period + smooth - 1 and min(got[period + smooth - 1:]) >= 0


def test_tdfi_edges():
    assert nan_equal(vl.py_tdfi([7.0] * 30, 13, 3), [NAN] * 15 + [0.0] * 15)
    assert first_defined(vl.py_tdfi(random_walk(30), None, None)) == 15
    assert all(math.isnan(x) for x in vl.py_tdfi(random_walk(8), 8, 1))
    assert value_error(vl.py_tdfi, random_walk(8), 2, 9) == "Invalid period: 9 (must be > 0 and <= data length 8)"


# ---- Coppock ------------------------------------------------------------------------------


@pytest.mark.parametrize("p1, p2, w", [(11, 14, 10), (0, 5, 1), (30, 2, 25)])
def test_coppock_bit_for_bit(p1, p2, w):
    close = random_walk(N, seed=37)
    got = vl.py_coppock(close, p1, p2, w)
    assert nan_equal(got, ref_coppock(close, p1, p2, w))
    assert first_defined(got) == max(p1, p2) + w - 1


@pytest.mark.parametrize("extra", range(0, 9))
def test_coppock_every_tail_bit_for_bit(extra):
    # Windows go eight at a time with a tail of up to seven.
    close = random_walk(14 + 10 - 1 + 8 + extra, seed=extra)
    assert nan_equal(vl.py_coppock(close, 11, 14, 10), ref_coppock(close, 11, 14, 10))


def test_coppock_zero_close_blanks_its_windows():
    close = random_walk(80, seed=3, start=50.0)
    close[40] = 0.0
    got = vl.py_coppock(close, None, None, None)
    assert first_defined(got) == 23
    assert nan_equal(got, ref_coppock(close, 11, 14, 10))
    # sums at 51 (roc 11) and 54 (roc 14) divide by the zero close: windows ending 51 .. 63
    assert all(math.isnan(x) for x in got[51:64]) and not math.isnan(got[64])


def test_coppock_refusals():
    c = random_walk(10)
    assert value_error(vl.py_coppock, c, 0, 0, 1) == "Invalid period: 0 (must be > 0 and <= data length 10)"
    assert value_error(vl.py_coppock, c, 3, 11, 1) == "Invalid period: 11 (must be > 0 and <= data length 10)"
    assert value_error(vl.py_coppock, c, 3, 0, 11) == "Invalid period: 11 (must be > 0 and <= data length 10)"


# ---- binding ------------------------------------------------------------------------------


@pytest.mark.parametrize("fn, sig", [
    (vl.py_kst, "(close, roc1, roc2, roc3, roc4, signal_period)"), (vl.py_stc, "(close, fast, slow, cycle)"),
    (vl.py_smi, "(high, low, close, period, smooth1, smooth2)"), (vl.py_tdfi, "(close, period, smooth)"),
    (vl.py_coppock, "(close, period1, period2, wma_period)")])
def test_signature_only_docstrings(fn, sig):
    assert fn.__text_signature__ == sig and not fn.__doc__


def test_qqe_docstring():
    assert vl.py_qqe.__text_signature__ == "(close, rsi_period=14, smooth=5, multiplier=4.236)"
    doc = vl.py_qqe.__doc__
    assert doc.startswith("Calculate QQE (Quantitative Qualitative Estimation)\n\n"
                          "Smoothed RSI with dynamic volatility-based trailing stops.\n"
                          "Generates cleaner signals than standard RSI.")
    assert doc.endswith("tuple of (list, list, list) - (QQE line, trailing line, histogram)")
    assert "multiplier : float, optional\n    ATR multiplier for bands (default: 4.236)" in doc


def test_parameters_required_and_series_refuse_none():
    with pytest.raises(TypeError):
        vl.py_tdfi(random_walk(30), None)
    with pytest.raises(TypeError, match="argument 'close'"):
        vl.py_tdfi(None, None, None)


# ---- the shared kernels on gaps -----------------------------------------------------------
# The Python functions hand these kernels NaN only in warm-ups; their gap rules are driven
# through tests/native/extended_oscillator_kernels.cpp.

@pytest.fixture(scope="module")
def kernel():
    run = native_program("extended_oscillator_kernels")
    return lambda which, v, p: [float(t) for t in run(f"{which} {p} {len(v)} " + " ".join(repr(float(x)) for x in v))]


@pytest.mark.parametrize("v, p", [
    ([NAN, 1.0, 3.0, NAN, NAN, NAN, 2.0, 2.0, 5.0, NAN, 4.0], 3),
    ([1.0, NAN, NAN, NAN, 7.0], 2),
    ([float(x % 5) for x in range(40)], 7),
])
def test_stochastic_raw_skips_nan(kernel, v, p):
    assert nan_equal(kernel("stoch", v, p), ref_stochastic_raw(v, p))


@pytest.mark.parametrize("p", [1, 2, 4, 5, 8, 9, 16])
def test_stochastic_raw_window_lengths(kernel, p):
    # The windows' highs and lows come from blocks of p bars and suffix extremes kept in a
    # ring of a power of two: lengths at, below and above powers of two.
    v = [NAN if k % 11 == 3 else x for k, x in enumerate(random_walk(67, seed=p))]
    assert nan_equal(kernel("stoch", v, p), ref_stochastic_raw(v, p))


@pytest.mark.parametrize("v, p", [([9.0, 0.0, 5.0, -0.0], 3), ([9.0, 0.0, 5.0, 7.0, -0.0], 4), ([9.0, -0.0, 3.0, 0.0, -0.0], 3)])
def test_stochastic_raw_low_is_the_latest_of_equal_zeros(kernel, v, p):
    # (-0.0 - lo) is +0.0 only where the low is the later -0.0, as the rolling minimum picks.
    last = kernel("stoch", v, p)[-1]
    assert last == 0.0 and math.copysign(1.0, last) == 1.0


def test_stochastic_raw_edges(kernel):
    v = [1.0, 2.0, 3.0]
    assert all(math.isnan(x) for x in kernel("stoch", v, 3) + kernel("stoch", v, 0))
    # one defined value in a window: a flat range, 50.0 even where the bar itself is NaN
    assert nan_equal(kernel("stoch", [NAN, NAN, 4.0, NAN], 2), [NAN, NAN, 50.0, 50.0])
    assert nan_equal(kernel("stoch", [NAN, NAN, NAN, 4.0], 2), [NAN, NAN, NAN, 50.0])


def test_roc_helper_edges(kernel):
    v = [2.0, 0.0, 3.0, NAN, 4.0]
    assert nan_equal(kernel("roc", v, 1), [NAN, -100.0, NAN, NAN, NAN])
    assert nan_equal(kernel("roc", v, 0), [0.0, NAN, 0.0, NAN, 0.0])
    assert all(math.isnan(x) for x in kernel("roc", v, 5) + kernel("roc", v, 9))
