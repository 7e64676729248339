"""Slope, bias, PSL, efficiency ratio, CFO, CTI, balance of power, percent rank, entropy.

Counts (PSL, percent rank, entropy bins) are compared exactly with direct window scans;
the regression-based measures with NumPy fits (tolerance) or, where the definition is one
of the library's own statistics, exactly with it."""
import math
import random

import numpy as np
import pytest
from numpy.lib.stride_tricks import sliding_window_view

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, random_walk, value_error
from reference import ref_entropy, ref_percent_rank

NAN = math.nan
N = 3000


@pytest.fixture(scope="module")
def close():
    return random_walk(N, seed=41)


def pad(values, first, n):
    return [NAN] * first + [float(x) for x in values]


# ---- slope, bias, CFO, CTI ----------------------------------------------------------------


@pytest.mark.parametrize("period", [2, 3, 14, 200])
def test_slope_is_the_least_squares_slope(close, period):
    w = sliding_window_view(np.asarray(close), period)
    want = np.polyfit(np.arange(period, dtype=float), w.T, 1)[0]
    assert nan_equal(vl.py_slope(close, period), pad(want, period - 1, N), tol=1e-9)


def test_bias_and_cfo_are_distances_in_percent(close):
    sma, tsf = vl.py_sma(close, 20), vl.py_tsf(close, 14)
    assert nan_equal(vl.py_bias(close, None), [(c - m) / m * 100 for c, m in zip(close, sma)])
    assert nan_equal(vl.py_cfo(close, None), [(c - f) / c * 100 for c, f in zip(close, tsf)])


@pytest.mark.parametrize("period", [1, 2, 3, 14, 1001])
@pytest.mark.parametrize("length", [1, 9, 1010])
@pytest.mark.parametrize("outlier", [None, 0.0, 1e300])
def test_cfo_is_the_forecast_distance_bit_for_bit(close, period, length, outlier):
    # Windows are stepped two at a time with a tail of one; sums that overflow (1e300) are
    # taken a window at a time instead, and a zero close blanks its own bar only.
    v = list(close[:length])
    if outlier is not None:
        v[length // 2] = outlier
    if period > length:
        return
    tsf = vl.py_tsf(v, period) if period >= 2 else [NAN] * length
    want = [NAN if math.isnan(f) or abs(c) < 1e-10 else (c - f) / c * 100 for c, f in zip(v, tsf)]
    assert nan_equal(vl.py_cfo(v, period), want)


def test_cti_is_correlation_with_the_bar_index(close):
    x = [float(i) for i in range(N)]
    assert nan_equal(vl.py_cti(close, None), vl.py_correlation(x, close, 12), 1e-12)
    assert nan_equal(vl.py_cti(close, 30), vl.py_correlation(x, close, 30), 1e-12)


@pytest.mark.parametrize("period", [2, 3, 12, 101])
@pytest.mark.parametrize("outlier", [None, 1e9, 1e200])
def test_cti_is_the_correlation_kernel_through_rebuilds(close, period, outlier):
    # CTI is the window's least-squares line read as a correlation: it agrees with the
    # correlation of the bar index through an outlier and after it has left (bar 1500).
    v = list(close)
    if outlier is not None:
        v[1500] = outlier
    x = [float(i) for i in range(N)]
    assert nan_equal(vl.py_cti(v, period), vl.py_correlation(x, v, period), 1e-12)


def test_near_zero_divisors():
    v = [1.0, -1.0, 1.0, -1.0, 0.0, 2.0]
    # the 2-bar mean is 0 on windows (1, -1) and (-1, 1): NaN there
    assert nan_equal(vl.py_bias(v, 2), [NAN, NAN, NAN, NAN, -100.0, 100.0 / 1.0])
    got = vl.py_cfo([1.0, 2.0, 0.0, 4.0], 2)  # forecast one past (1, 2) is 3
    assert nan_equal(got, [NAN, (2 - 3) / 2 * 100, NAN, (4 - 8) / 4 * 100])


# ---- PSL, ER ------------------------------------------------------------------------------


@pytest.mark.parametrize("period", [1, 2, 12, 100])
def test_psl_counts_rises(close, period):
    want = [NAN] * N
    for i in range(period, N):
        ups = sum(close[j] > close[j - 1] for j in range(i - period + 1, i + 1))
        want[i] = ups / period * 100
    assert nan_equal(vl.py_psl(close, period), want)


def test_psl_unchanged_close_is_not_a_rise():
    assert nan_equal(vl.py_psl([1.0, 2.0, 2.0, 1.0, 3.0], 2), [NAN, NAN, 50.0, 0.0, 50.0])
    assert all(math.isnan(x) for x in vl.py_psl([1.0, 2.0, 3.0], 3))


@pytest.mark.parametrize("period", [1, 10, 77])
def test_er_is_net_change_over_path(close, period):
    c = np.asarray(close)
    path = sliding_window_view(np.abs(np.diff(c)), period).sum(-1)
    change = np.abs(c[period:] - c[:-period])
    assert nan_equal(vl.py_er(close, period), pad(change / path, period, N), tol=1e-9)


def test_er_flat_window_is_zero():
    assert nan_equal(vl.py_er([2.0, 2.0, 2.0, 3.0, 2.0], 2), [NAN, NAN, 0.0, 1.0, 0.0])


# ---- BOP ----------------------------------------------------------------------------------


def test_bop_hand_values():
    o, h, l, c = [1.0, 5.0, 3.0, 2.0], [3.0, 5.0, 2.0, 4.0], [0.0, 5.0, 4.0, 0.0], [2.5, 9.0, 1.0, 1.0]
    # ranges 3, 0 (flat), -2 (high under low), 4
    assert vl.py_bop(o, h, l, c) == [0.5, 0.0, 0.0, -0.25]


@pytest.mark.parametrize("args, msg", [
    (([], [1], [1], [1]), "Empty input: open cannot be empty"),
    (([NAN], [1], [1], [1]), "Invalid value at index 0: open contains non-finite value: NaN"),
    (([1], [], [1], [1]), "Empty input: high cannot be empty"),
    (([1], [1, 2], [1], [1]), "Length mismatch: open=1, high=2"),
    (([1], [1], [math.inf], [1]), "Invalid value at index 0: low contains non-finite value: inf"),
    (([1], [1], [1], [1, 1]), "Length mismatch: open=1, close=2"),
])
def test_bop_refusals(args, msg):
    assert value_error(vl.py_bop, *args) == msg


# ---- percent rank -------------------------------------------------------------------------


@pytest.mark.parametrize("period", [2, 3, 14, 60])
def test_percent_rank_counts_strictly_smaller(close, period):
    v = [round(x) for x in close]  # ties
    want = [NAN] * N
    for i in range(period - 1, N):
        want[i] = sum(v[k] < v[i] for k in range(i - period + 1, i + 1)) / (period - 1) * 100
    assert nan_equal(vl.py_percent_rank(v, period), want)


@pytest.mark.parametrize("name", ["py_percent_rank"])
@pytest.mark.parametrize("period", [1, 2, 3, 8, 9])
def test_a_window_alone_equals_it_in_the_series(name, period):
    # In the series, windows are computed eight at a time; the last few, and a window alone,
    # one at a time. 29 bars: a batch and a remainder for every period.
    v = [float(x % 7) - 3.0 if k % 5 else x for k, x in enumerate(random_walk(29, seed=4))]
    fn = getattr(vl, name)
    whole = fn(v, period)
    for i in range(period - 1, len(v)):
        assert nan_equal([fn(v[i + 1 - period:i + 1], period)[-1]], [whole[i]]), i


def test_percent_rank_hand_traced():
    assert nan_equal(vl.py_percent_rank([1.0, 2.0, 3.0, 3.0], 3), [NAN, NAN, 100.0, 50.0])
    assert all(math.isnan(x) for x in vl.py_percent_rank([1.0, 2.0], 1))


def long_series(kind, n, seed=7):
    """Series for long windows: a walk, ties, runs of repeated values, bad prints with a
    level drop and signed zeros."""
    v = random_walk(n, seed)
    if kind == "ties":
        return [float(round(x / 4)) for x in v]
    if kind == "repeats":
        return [v[k - k % 50] for k in range(n)]
    if kind == "prints":
        for k in range(0, n, 97):
            v[k] *= 1000.0
        v[n // 2:] = [x / 100.0 for x in v[n // 2:]]
        v[n // 3:n // 3 + 40] = [0.0, -0.0] * 20
    return v


@pytest.mark.parametrize("kind", ["walk", "ties", "repeats", "prints"])
@pytest.mark.parametrize("period", [640, 641, 777, 2000])
def test_percent_rank_long_windows_equal_the_direct_count(kind, period):
    # From 641 bars the windows are kept ranked, sorted in blocks of `period` bars: 2000 bars
    # cross block seams at every period below 1000, and 2000 is a single window.
    v = long_series(kind, 2000)
    assert nan_equal(vl.py_percent_rank(v, period), ref_percent_rank(v, period))


@pytest.mark.parametrize("period", [10**4, 10**5])
def test_percent_rank_counts_exactly_at_long_periods(period):
    v = long_series("ties", period + 300, seed=period)
    assert nan_equal(vl.py_percent_rank(v, period), ref_percent_rank(v, period))


# ---- entropy ------------------------------------------------------------------------------


def entropy_data(kind, n=300, seed=3):
    """Closes that reach the binning's corners."""
    rng = random.Random(seed)
    if kind == "zeros":  # skipped pairs (a zero base), flat runs
        v = random_walk(n, seed)
        for k in range(0, n, 37):
            v[k] = 0.0
        v[100:112] = [v[99]] * 12
        return v
    if kind == "whole":  # whole-number prices: many equal returns
        return [float(round(x)) for x in random_walk(n, seed)]
    if kind == "edges":  # returns that are exact binary fractions: many land on bin edges
        v = [64.0]
        for _ in range(n - 1):
            v.append(v[-1] * (1 + rng.choice([-0.25, -0.125, 0.0, 0.125, 0.25, 0.5])))
            if not 1e-6 < v[-1] < 1e6:
                v[-1] = 64.0
        return v
    if kind == "overflow":  # returns near the largest float: the span overflows
        return [rng.choice([1.0, 2.0, 1e308, -1e308, 3.0]) for _ in range(n)]
    if kind == "trend":  # every return above the one before: a new extreme at every bar
        v = [1.0]
        for k in range(n - 1):
            v.append(v[-1] * (1 + 1e-4 * k))
        return v


# Around the switch the histogram once made at bins = 4 x period, the sorting networks (up to
# 16 returns unrolled, 17 to 32 merged), the kept sorted window beyond, and bin counts past
# the exactly representable floats.
ENTROPY_CASES = [(2, 1), (3, 7), (9, 35), (10, 10), (10, 39), (10, 40), (10, 41), (16, 63), (17, 68), (17, 69),
                 (18, 72), (25, 100), (33, 131), (33, 132), (34, 136), (34, 137), (40, 3), (60, 240), (60, 241),
                 (10, 2 ** 49), (12, 2 ** 50 + 1), (40, 2 ** 52 + 1), (10, 2 ** 64 - 1)]


@pytest.mark.parametrize("kind", ["zeros", "whole", "edges", "overflow"])
def test_entropy_bit_for_bit_across_paths(kind):
    v = entropy_data(kind)
    for period, bins in ENTROPY_CASES:
        assert nan_equal(vl.py_entropy(v, period, bins), ref_entropy(v, period, bins)), (period, bins)


@pytest.mark.parametrize("kind", ["zeros", "whole", "edges", "overflow", "trend"])
@pytest.mark.parametrize("period, bins", [(2, 2**64 - 1), (35, 10), (513, 10), (514, 10), (600, 1),
                                          (700, 2**64 - 1), (1199, 7), (1200, 10)])
def test_entropy_long_windows_bit_for_bit(kind, period, bins):
    # Windows beyond 33 bars (all with more than 2^49 bins) are kept sorted up to 512 returns,
    # ranked beyond in blocks of period - 1 returns: 1200 closes cross block seams below
    # period 600, and 1199 and 1200 leave one window and none.
    v = entropy_data(kind, 1200)
    assert nan_equal(vl.py_entropy(v, period, bins), ref_entropy(v, period, bins))


@pytest.mark.parametrize("period, extra", [(10**4, 40), (10**5, 6)])
def test_entropy_bit_for_bit_at_long_periods(period, extra):
    v = random_walk(period + extra, seed=period)
    assert nan_equal(vl.py_entropy(v, period, 10), ref_entropy(v, period, 10))


@pytest.mark.parametrize("period, bins", [(2, 3), (9, 10), (10, 40), (17, 17), (18, 72), (33, 5), (34, 136), (50, 7)])
def test_entropy_of_a_window_alone_equals_it_in_the_series(period, bins):
    # Alone, a window is binned on its own; in the series, two at a time or from the
    # previous window's sorted returns and bin counts.
    v = entropy_data("zeros", 180, seed=9)
    whole = vl.py_entropy(v, period, bins)
    for i in range(period, len(v)):
        alone = vl.py_entropy(v[i - period:i + 1], period, bins)[-1]
        assert nan_equal([alone], [whole[i]]), i


@pytest.mark.parametrize("period, bins", [(10, 10), (2, 5), (25, 3), (30, 1), (10, 40), (10, 41), (40, 500)])
def test_entropy_matches_histogram(close, period, bins):
    got = vl.py_entropy(close, period, bins)
    assert nan_equal(got, ref_entropy(close, period, bins))
    assert first_defined(got) == period
    assert all(0.0 <= x <= math.log2(bins) + 1e-12 for x in got[period:])


def test_entropy_zero_closes_are_skipped():
    v = [1.0, 2.0, 0.0, 3.0, 0.0, 0.0, 5.0, 6.0, 7.0, 8.5]
    got = vl.py_entropy(v, 3, 4)
    assert nan_equal(got, ref_entropy(v, 3, 4))
    assert math.isnan(got[2])  # index period - 1 is never written
    assert got[3:6] == [0.0, 0.0, 0.0]  # one kept return each
    assert math.isnan(got[6])  # both pairs divide by a zero close


def test_entropy_huge_bins_computes_without_a_bins_sized_histogram(close):
    # Every return of a window lands in its own bin: log2 of the number of returns.
    got = vl.py_entropy(close[:200], 10, 2**64 - 1)
    assert all(x == pytest.approx(math.log2(9)) for x in got[10:])
    with pytest.raises(OverflowError):
        vl.py_entropy(close, 10, 2**64)
    with pytest.raises(OverflowError):
        vl.py_entropy(close, 10, -1)


def test_entropy_period_and_bins_edges():
    v = [5.0] * 10
    assert nan_equal(vl.py_entropy(v, 4, 10), [NAN] * 4 + [0.0] * 6)
    assert all(math.isnan(x) for x in vl.py_entropy(random_walk(10), 1, 10))
    assert all(math.isnan(x) for x in vl.py_entropy(random_walk(10), 10, 10))
    assert vl.py_entropy(random_walk(10), 2, 7)[2:] == [0.0] * 8
    assert nan_equal(vl.py_entropy(random_walk(50), None, None), vl.py_entropy(random_walk(50), 10, 10))


@pytest.mark.parametrize("args, msg", [
    (([], 1, 1), "Empty input: close cannot be empty"),
    (([1.0, NAN], 0, 0), "Invalid value at index 1: close contains non-finite value: NaN"),
    (([1.0] * 10, 10, 0), "Invalid period: 10 (must be > 0 and <= data length 10)"),
    (([1.0] * 10, 0, 5), "Invalid period: 0 (must be > 0 and <= data length 10)"),
    (([1.0] * 10, 11, 5), "Insufficient data: need at least 11 elements, got 10"),
])
def test_entropy_refusals(args, msg):
    assert value_error(vl.py_entropy, *args) == msg


# ---- shared edges, validation, binding ----------------------------------------------------

ONE_SERIES = {"py_slope": "values", "py_bias": "close", "py_psl": "close", "py_er": "close", "py_cfo": "close",
              "py_cti": "close", "py_percent_rank": "values"}


def test_equal_small_integers_give_zero_everywhere():
    v = [5.0] * 10
    for name in ONE_SERIES:
        got = getattr(vl, name)(v, 4)
        assert set(x for x in got if not math.isnan(x)) == {0.0}, name
    assert vl.py_entropy(v, 4, 10)[4:] == [0.0] * 6


def test_period_one():
    v = [1.0, 3.0, 2.0, 2.0 + 1e-12, 0.0]
    for name in ("py_slope", "py_cfo", "py_percent_rank"):
        assert all(math.isnan(x) for x in getattr(vl, name)(v, 1)), name
    assert nan_equal(vl.py_cti(v, 1), [NAN, 0.0, 0.0, 0.0, 0.0])
    assert nan_equal(vl.py_bias(v, 1), [0.0, 0.0, 0.0, 0.0, NAN])
    assert nan_equal(vl.py_psl(v, 1), [NAN, 100.0, 0.0, 100.0, 0.0])
    assert nan_equal(vl.py_er(v, 1), [NAN, 1.0, 1.0, 0.0, 1.0], tol=1e-12)


def test_period_equal_to_length():
    v = random_walk(20, seed=5)
    for name in ("py_slope", "py_bias", "py_cfo", "py_cti", "py_percent_rank"):
        got = getattr(vl, name)(v, 20)
        assert first_defined(got) == 19, name
    assert value_error(vl.py_er, v, 20) == "Insufficient data: need at least 21 elements, got 20"


@pytest.mark.parametrize("name", ONE_SERIES)
def test_one_series_refusals(name):
    fn, series = getattr(vl, name), ONE_SERIES[name]
    assert value_error(fn, [], 1) == f"Empty input: {series} cannot be empty"
    assert value_error(fn, [1.0, -math.inf], 9) == \
        f"Invalid value at index 1: {series} contains non-finite value: -inf"
    assert value_error(fn, [1.0, 2.0], 0) == "Invalid period: 0 (must be > 0 and <= data length 2)"
    assert value_error(fn, [1.0, 2.0], 3) == "Invalid period: 3 (must be > 0 and <= data length 2)"
    if name != "py_cti":
        assert fn.__text_signature__ == f"({series}, period)" and not fn.__doc__
    with pytest.raises(TypeError):
        fn([1.0, 2.0])


def test_prose_docstrings():
    assert vl.py_cti.__text_signature__ == "(close, period=12)"
    assert vl.py_cti.__doc__.startswith("Calculate Correlation Trend Indicator (CTI)\n\n"
                                        "Measures correlation between price and linear regression.\n"
                                        "Values -1 to +1, high positive = strong uptrend.")
    assert vl.py_entropy.__text_signature__ == "(close, period=10, bins=10)"
    assert "Measures price distribution randomness/unpredictability.\n" \
           "Higher values = more random/uncertain market." in vl.py_entropy.__doc__
    assert "Histogram bins (default: 10)" in vl.py_entropy.__doc__
