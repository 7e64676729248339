"""Rolling statistics: the sliding-window kernels and the statistics functions built on them.

Windowed references are computed directly on every window with NumPy (centred, two-pass),
so they share no incremental state with the library; agreement over thousands of bars
covers the scheduled recomputations of the sliding sums (every 1000 slides).

Tolerance: the library works from raw running sums (p*Q - S*S and the like), updated
incrementally for up to 1000 slides between recomputations, so its rounding error is a
few ulps per slide of the series' own magnitude rather than of the window's spread. Each
comparison allows EPS_SUM x (largest square in the series) per element of a raw sum,
propagated to the statistic; windows so ill-conditioned that this bound exceeds 1% of
the statistic's own scale are not compared (a genuine fault shows up as an error of order
the value). The recomputation schedule itself is tested exactly, separately.
"""
import math
import random

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

from conftest import nan_equal, native_program
from reference import exact_standard_error, nan_window_ref, pad_windows, ref_line_fit, windows

NAN = math.nan
INF = math.inf
# Relative-and-absolute tolerance of the incremental sums against direct window sums.
TOL = 1e-8


def walk(n, seed=7, start=100.0, scale=1.0):
    rng = random.Random(seed)
    out, x = [], start
    for _ in range(n):
        x += rng.gauss(0, scale)
        out.append(x)
    return out


SERIES = {
    "walk": walk(4321),
    "walk_far_from_zero": walk(3600, seed=3, start=1e4, scale=3.0),
    "noise": (lambda r: [r.uniform(-5, 5) for _ in range(3300)])(random.Random(11)),
}
EPS_SUM = 1e-12


def assert_close(got, ref, bound, p, skip=None):
    """got, ref: full-length lists; bound, skip: arrays over the windows (index p - 1 on)."""
    got, ref = np.asarray(got, dtype=float), np.asarray(ref, dtype=float)
    assert np.isnan(got[: p - 1]).all()
    g, r = got[p - 1 :], ref[p - 1 :]
    keep = np.ones(len(g), bool) if skip is None else ~np.asarray(skip)
    assert keep.mean() > 0.75, "too few well-conditioned windows to compare"
    err = np.abs(g - r)[keep]
    lim = (np.asarray(bound, dtype=float) + 1e-12 * np.abs(r))[keep]
    worst = int(np.argmax(err - lim))
    assert (err <= lim).all(), f"window {worst}: got {g[keep][worst]!r}, want {r[keep][worst]!r}"
PERIODS = [2, 3, 17, 250]


# ---- edge cases with exact values ---------------------------------------------------------


@pytest.mark.parametrize(
    "name, args, expected",
    [
        ("py_zscore", ([1, 2, 3], 3), [NAN, NAN, math.sqrt(1.5)]),
        ("py_zscore", ([4, 4, 4, 5], 3), [NAN, NAN, 0.0, 1.4142135623730951]),
        ("py_var", ([1, 2, 3, 4], 2), [NAN, 0.25, 0.25, 0.25]),
        ("py_var", ([7, 7, 7], 3), [NAN, NAN, 0.0]),
        ("py_var", ([1, 2, 3, 4], 1), [NAN] * 4),
        ("py_covariance", ([1, 2, 3], [2, 4, 6], 3), [NAN, NAN, 4 / 3]),
        ("py_beta", ([2, 4, 6], [1, 2, 3], 3), [NAN, NAN, 2.0]),
        ("py_beta", ([2, 4, 6], [5, 5, 5], 3), [NAN, NAN, 0.0]),
        ("py_linearreg", ([1, 2, 3, 4, 5], 3), [NAN, NAN, 3, 4, 5]),
        ("py_linearreg_intercept", ([1, 2, 3, 4, 5], 3), [NAN, NAN, 1, 2, 3]),
        ("py_tsf", ([1, 2, 3, 4, 5], 3), [NAN, NAN, 4, 5, 6]),
        ("py_tsf", ([1, 2, 3], 3), [NAN, NAN, 4.0]),
        ("py_linearreg_slope", ([1, 2, 3, 4, 5], 3), [NAN, NAN, 1, 1, 1]),
        ("py_linearreg_slope", ([1, 2, 3], 1), [NAN] * 3),
        ("py_linearreg_angle", ([1, 2, 3, 4, 5], 3), [NAN, NAN, 45.0, 45.0, 45.0]),
        ("py_linearreg_angle", ([3, 2, 1], 3), [NAN, NAN, -45.0]),
        ("py_standard_error", ([1, 2, 3], 3), [NAN, NAN, 0.0]),
        ("py_stderr", ([1, 2, 3, 5], 2), [NAN] * 4),
        ("py_standard_error", ([1, 2, 3, 5], 2), [NAN] * 4),
        ("py_correlation", ([1, 2, 3, 4], [1, 2, 3, 4], 3), [NAN, NAN, 1.0, 1.0]),
        ("py_correl", ([1, 2, 3, 4], [-1, -2, -3, -4], 3), [NAN, NAN, -1.0, -1.0]),
        ("py_correlation", ([1, 2, 3, 4], [5, 5, 5, 6], 3), [NAN, NAN, 0.0, 0.8660254037844387]),
        ("py_correl", ([1, 2, 3], [1, 2, 3], 1), [NAN] * 3),
    ],
)
def test_exact_values(m, name, args, expected):
    assert nan_equal(getattr(m, name)(*args), expected, 1e-15)


def test_linear_regression_tuple(m):
    r = m.py_linear_regression([1, 2, 3, 4, 5], 3)
    assert isinstance(r, tuple) and len(r) == 3 and all(isinstance(s, list) for s in r)
    assert nan_equal(r[0], [NAN, NAN, 1, 1, 1], 1e-15)
    assert nan_equal(r[1], [NAN, NAN, 1, 2, 3], 1e-15)
    assert nan_equal(r[2], [NAN, NAN, 1, 1, 1])


def test_flat_window_regression(m):
    s, b, r2 = m.py_linear_regression([4, 4, 4, 4], 3)
    assert (s[2:], b[2:], r2[2:]) == ([0.0, 0.0], [4.0, 4.0], [1.0, 1.0])
    assert m.py_standard_error([4, 4, 4, 4], 3)[2:] == [0.0, 0.0]


# ---- validation order and messages ------------------------------------------------------

ONE_SERIES = [
    ("py_linear_regression", "y_values"),
    ("py_standard_error", "y_values"),
    ("py_stderr", "y_values"),
    ("py_zscore", "values"),
    ("py_linearreg", "values"),
    ("py_linearreg_slope", "values"),
    ("py_linearreg_angle", "values"),
    ("py_linearreg_intercept", "values"),
    ("py_var", "values"),
    ("py_tsf", "values"),
]
TWO_SERIES = [
    ("py_correlation", "x", "y"),
    ("py_correl", "values1", "values2"),
    ("py_covariance", "x", "y"),
    ("py_beta", "asset_returns", "benchmark_returns"),
]


def raises(fn, *args):
    with pytest.raises(ValueError) as e:
        fn(*args)
    return str(e.value)


@pytest.mark.parametrize("name, series", ONE_SERIES)
def test_one_series_validation(m, name, series):
    fn = getattr(m, name)
    assert raises(fn, [], 0) == f"Empty input: {series} cannot be empty"
    # the non-finite pass runs before the period test
    assert raises(fn, [1.0, INF, NAN], 0) == f"Invalid value at index 1: {series} contains non-finite value: inf"
    assert raises(fn, [1.0, 2.0, -INF], 9) == f"Invalid value at index 2: {series} contains non-finite value: -inf"
    assert raises(fn, [1.0, 2.0], 0) == "Invalid period: 0 (must be > 0 and <= data length 2)"
    assert raises(fn, [1.0, 2.0], 3) == "Invalid period: 3 (must be > 0 and <= data length 2)"
    out = fn([1.0, 2.0], 1)  # accepted; the statistic needs more and is NaN throughout
    for s in out if isinstance(out, tuple) else [out]:
        assert nan_equal(s, [NAN, NAN])
    with pytest.raises(TypeError):
        fn([1.0, 2.0], None)
    with pytest.raises(OverflowError):
        fn([1.0, 2.0], -1)


@pytest.mark.parametrize("name, a, b", TWO_SERIES)
def test_two_series_validation(m, name, a, b):
    fn = getattr(m, name)
    assert raises(fn, [], [], 0) == f"Empty input: {a} cannot be empty"
    # the first series is checked in full (NaN included) before the second is looked at
    assert raises(fn, [NAN], [], 1) == f"Invalid value at index 0: {a} contains non-finite value: NaN"
    assert raises(fn, [1.0], [], 1) == f"Empty input: {b} cannot be empty"
    # length before the second's non-finite values
    assert raises(fn, [1.0, 2.0, 3.0], [NAN, 2.0], 2) == f"Length mismatch: {a}=3, {b}=2"
    assert raises(fn, [1.0, 2.0], [1.0, -INF], 0) == f"Invalid value at index 1: {b} contains non-finite value: -inf"
    assert raises(fn, [1.0, 2.0], [1.0, 2.0], 0) == "Invalid period: 0 (must be > 0 and <= data length 2)"
    assert raises(fn, [1.0, 2.0], [1.0, 2.0], 3) == "Invalid period: 3 (must be > 0 and <= data length 2)"


def test_named_arguments(m):
    assert m.py_beta(asset_returns=[2, 4, 6], benchmark_returns=[1, 2, 3], period=3)[2] == 2.0
    assert nan_equal(m.py_correl(values1=[1, 2], values2=[2, 4], period=2), [NAN, 1.0])
    with pytest.raises(TypeError):
        m.py_correlation(values1=[1, 2], values2=[2, 4], period=2)


# ---- aliases and docstrings ---------------------------------------------------------------


def test_alias_pairs_agree(m):
    v, w = SERIES["walk"][:600], SERIES["noise"][:600]
    assert nan_equal(m.py_stderr(v, 20), m.py_standard_error(v, 20))
    assert nan_equal(m.py_correl(v, w, 20), m.py_correlation(v, w, 20))


DOC_SIGNATURE_ONLY = [
    "py_correl(values1, values2, period)",
    "py_linearreg(values, period)",
    "py_linearreg_slope(values, period)",
    "py_linearreg_angle(values, period)",
    "py_linearreg_intercept(values, period)",
    "py_var(values, period)",
    "py_tsf(values, period)",
]


@pytest.mark.parametrize("sig", DOC_SIGNATURE_ONLY)
def test_signature_only_docstrings(m, sig):
    fn = getattr(m, sig.split("(")[0])
    assert fn.__text_signature__ == "(" + sig.split("(", 1)[1]
    assert fn.__doc__ in (None, "")


def test_prose_docstrings(m):
    assert m.py_stderr.__doc__ == "Calculate Standard Error (alias for standard_error)"
    assert m.py_stderr.__text_signature__ == "(y_values, period)"
    assert m.py_linear_regression.__doc__ == (
        "Calculate Linear Regression\n\nReturns slope, intercept, and R-squared values over rolling window.\n\n"
        "Parameters\n----------\ny_values : list of float\n    Values to regress\nperiod : int\n    Lookback period\n\n"
        "Returns\n-------\ntuple of (list, list, list) - (slope, intercept, r_squared)"
    )
    assert m.py_zscore.__doc__.startswith(
        "Calculate Z-Score\n\nNumber of standard deviations from the mean.\nUsed for mean reversion strategies.\n\n"
    )
    assert m.py_beta.__text_signature__ == "(asset_returns, benchmark_returns, period)"
    assert "benchmark_returns : list of float\n    Benchmark return series\n" in m.py_beta.__doc__
    assert m.py_correlation.__doc__.endswith("Returns\n-------\nlist of float - Correlation values (-1 to +1)")
    assert m.py_covariance.__doc__.splitlines()[2] == "Measures how two variables change together."
    assert m.py_standard_error.__doc__.splitlines()[0] == "Calculate Standard Error"


# ---- agreement with direct window computations over thousands of bars ---------------------


@pytest.mark.parametrize("key", SERIES)
@pytest.mark.parametrize("p", PERIODS)
def test_regression_family_matches_direct(m, key, p):
    v = SERIES[key]
    w = windows(v, p)
    slope, icept, r2, syy = ref_line_fit(w)
    g = max(x * x for x in v)
    sq = p * g
    rms = math.sqrt(g)
    e_slope = EPS_SUM * rms * 12 / p
    e_icept = EPS_SUM * rms * (1 + p)
    got = m.py_linear_regression(v, p)
    assert_close(got[0], pad_windows(slope, p, len(v)), e_slope, p)
    assert_close(got[1], pad_windows(icept, p, len(v)), e_icept, p)
    e_r2 = EPS_SUM * sq / np.maximum(syy, 1e-300)
    assert_close(got[2], pad_windows(r2, p, len(v)), e_r2, p, skip=e_r2 > 1e-2)
    assert_close(m.py_linearreg_slope(v, p), pad_windows(slope, p, len(v)), e_slope, p)
    assert_close(m.py_linearreg_intercept(v, p), pad_windows(icept, p, len(v)), e_icept, p)
    assert_close(m.py_linearreg(v, p), pad_windows(icept + slope * (p - 1), p, len(v)), e_icept, p)
    assert_close(m.py_tsf(v, p), pad_windows(icept + slope * p, p, len(v)), e_icept, p)
    angle = np.degrees(np.arctan(slope))
    assert_close(m.py_linearreg_angle(v, p), pad_windows(angle, p, len(v)), 60 * e_slope, p)
    if p >= 3:
        se2 = np.maximum(syy * (1 - r2), 0) / (p - 2)
        e_se = np.sqrt(2 * EPS_SUM * sq / (p - 2))  # |sqrt a - sqrt b| <= sqrt |a - b|
        assert_close(m.py_standard_error(v, p), pad_windows(np.sqrt(se2), p, len(v)), e_se, p)


@pytest.mark.parametrize("key", SERIES)
@pytest.mark.parametrize("p", PERIODS)
def test_moments_match_direct(m, key, p):
    v = SERIES[key]
    w = windows(v, p)
    var = w.var(axis=-1)
    ms = max(x * x for x in v)
    assert_close(m.py_var(v, p), pad_windows(var, p, len(v)), EPS_SUM * ms, p)
    rel_var = EPS_SUM * ms / np.maximum(var, 1e-300)
    z = (w[:, -1] - w.mean(axis=-1)) / np.sqrt(var)
    e_z = np.abs(z) * rel_var + EPS_SUM * np.sqrt(ms / var)
    assert_close(m.py_zscore(v, p), pad_windows(z, p, len(v)), e_z, p, skip=rel_var > 1e-2)


@pytest.mark.parametrize("p", PERIODS)
@pytest.mark.parametrize("key", ["walk", "noise"])
def test_pair_statistics_match_direct(m, key, p):
    rng = random.Random(p)
    x = SERIES[key][:3100]
    y = [0.5 * a + rng.gauss(0, 1) for a in x]
    n = len(x)
    wx, wy = windows(x, p), windows(y, p)
    dx, dy = wx - wx.mean(-1, keepdims=True), wy - wy.mean(-1, keepdims=True)
    msx, msy = max(a * a for a in x), max(b * b for b in y)
    vx, vy = (dx * dx).mean(-1), (dy * dy).mean(-1)
    cov = (dx * dy).mean(-1)
    e_cov = EPS_SUM * np.sqrt(msx * msy)
    assert_close(m.py_covariance(x, y, p), pad_windows(cov, p, n), e_cov, p)
    rel_vy = EPS_SUM * msy / vy
    beta = cov / vy
    assert_close(m.py_beta(x, y, p), pad_windows(beta, p, n), np.abs(beta) * rel_vy + e_cov / vy, p, skip=rel_vy > 1e-2)
    rel = EPS_SUM * (msx / vx + msy / vy)
    corr = cov / np.sqrt(vx * vy)
    assert_close(m.py_correlation(x, y, p), pad_windows(corr, p, n), 2 * rel, p, skip=rel > 1e-2)


def wide(n, seed):
    """Magnitudes from 1e-3 to 1e9, so that sliding sums round differently from fresh ones."""
    r = random.Random(seed)
    return [r.uniform(-1, 1) * 10 ** r.randint(-3, 9) for _ in range(n)]


# The second moments: each window follows its own error bound, not a schedule.
SCHEDULE_A = [
    ("py_var", 1),
    ("py_zscore", 1),
    ("py_linearreg", 1),
    ("py_linearreg_intercept", 1),
    ("py_linearreg_slope", 1),
    ("py_tsf", 1),
    ("py_standard_error", 1),
    ("py_linear_regression", 1),
    ("py_correlation", 2),
    ("py_covariance", 2),
    ("py_beta", 2),
]


def first_of(result):
    return result[0] if isinstance(result, tuple) else result


@pytest.mark.parametrize("name, arity", SCHEDULE_A)
@pytest.mark.parametrize("p", [3, 30])
def test_every_window_is_its_own_fresh_start(m, name, arity, p):
    # Magnitudes over twelve decades passing through the sums for 3,000 slides: each window
    # still reads what the same window gives as a series of its own, to 1e-11 of the
    # statistic (of the window's values for a slope, which may be small beside them).
    fn = getattr(m, name)
    x, y = wide(p + 3100, 21), wide(p + 3100, 22)
    args = (x, y) if arity == 2 else (x,)
    got = first_of(fn(*args, p))
    for i in range(p - 1, len(x), 97):
        fresh = first_of(fn(*(a[i - p + 1 : i + 1] for a in args), p))[-1]
        scale = max(abs(t) for t in x[i - p + 1 : i + 1]) if "slope" in name or "regression" in name else 0.0
        assert abs(got[i] - fresh) <= 1e-11 * (1.0 + abs(fresh) + scale), (i, got[i], fresh)


@pytest.mark.parametrize("p", [1, 4, 50])
def test_rolling_sum_rebuilt_on_every_thousandth_slide(m, p):
    v = wide(p + 3100, 23)
    got = m.py_sum(v, p)

    def fresh(i):
        return m.py_sum(v[i - p + 1 : i + 1], p)[-1]

    for k in (1, 2, 3):
        i = p - 1 + 1000 * k
        assert got[i] == fresh(i), (k, got[i], fresh(i))
    if p > 1:
        assert any(got[i] != fresh(i) for i in range(p - 1 + 900, p - 1 + 1000))


def test_recomputation_does_not_reach_outside_the_window(m):
    # A huge excursion that has left the window must leave no trace once the sums are
    # rebuilt; incremental updates alone would carry its rounding error for ever.
    v = [1e9 if 100 <= i < 110 else float(i % 7) for i in range(2600)]
    p = 20
    for name in ("py_var", "py_linearreg_slope", "py_tsf"):
        got = getattr(m, name)(v, p)
        after = got[1200:]
        ref = getattr(m, name)(v[1200 - p + 1 :], p)[p - 1 :]
        assert max(abs(a - b) for a, b in zip(after, ref)) < 1e-6, name


OVERFLOWING = [
    ("py_var", 1),
    ("py_zscore", 1),
    ("py_standard_error", 1),
    ("py_linear_regression", 1),
    ("py_correlation", 2),
    ("py_correl", 2),
    ("py_covariance", 2),
    ("py_beta", 2),
]


@pytest.mark.parametrize("name, arity", OVERFLOWING)
@pytest.mark.parametrize("p", [3, 8])
def test_overflowing_window_leaves_no_trace(m, name, arity, p):
    # 1e307 squared (or times ~100) overflows, so every window holding it has an infinite sum;
    # once it has left, the windows are what the same bars give on their own, up to the last
    # bits (the other series' sums may lend their mean as the origin of the window that forgets
    # it, where a fresh start finds the value nearest the mean).
    fn = getattr(m, name)
    x, y = walk(300, seed=31), walk(300, seed=32)
    x[10] = 1e307
    if name == "py_beta":
        x, y = y, x  # beta squares its benchmark
    args = (x, y) if arity == 2 else (x,)
    got = fn(*args, p)
    fresh = fn(*(a[11:] for a in args), p)
    for g, f in zip(got if arity == 1 and isinstance(got, tuple) else (got,),
                    fresh if isinstance(fresh, tuple) else (fresh,)):
        assert nan_equal(g[11 + p - 1 :], f[p - 1 :], 1e-12)
        assert all(math.isfinite(t) for t in g[11 + p - 1 :])


# ---- properties ---------------------------------------------------------------------------

finite = st.floats(-1e6, 1e6, allow_nan=False, allow_infinity=False)


@settings(max_examples=60, deadline=None)
@given(st.lists(st.tuples(finite, finite), min_size=2, max_size=60), st.integers(2, 60))
def test_correlation_bounded_and_symmetric(m, pairs, p):
    x, y = [a for a, _ in pairs], [b for _, b in pairs]
    p = min(p, len(x))
    r = m.py_correlation(x, y, p)
    assert len(r) == len(x)
    assert all(math.isnan(v) for v in r[: p - 1])
    assert all(-1.0 <= v <= 1.0 for v in r[p - 1 :])
    assert nan_equal(r, m.py_correlation(y, x, p))


@settings(max_examples=60, deadline=None)
@given(finite, st.floats(-100, 100, allow_nan=False), st.integers(3, 40), st.integers(0, 50))
def test_straight_line_is_fitted_exactly(m, c, slope, p, extra):
    v = [c + slope * i for i in range(p + extra)]
    s, b, r2 = m.py_linear_regression(v, p)
    scale = 1.0 + abs(c) + abs(slope) * len(v)
    for i in range(p - 1, len(v)):
        assert abs(s[i] - slope) <= 1e-7 * scale
        assert abs(b[i] - v[i - p + 1]) <= 1e-7 * scale
    assert all(math.isnan(x) for x in s[: p - 1] + b[: p - 1] + r2[: p - 1])
    assert all(0.0 <= x <= 1.0 for x in r2[p - 1 :])


# ---- the kernels themselves, on NaN gaps, infinities and unusable periods -------------------
# The Python functions refuse non-finite input, so the kernels' NaN rules are driven through
# tests/native/stats.cpp, linked against the library's own compiled core.

@pytest.fixture(scope="module")
def kernel():
    run = native_program("stats")

    def call(name, values, period, other=None):
        line = f"{name} {period} {len(values)} " + " ".join(repr(float(x)) for x in values)
        if other is not None:
            line += f" {len(other)} " + " ".join(repr(float(x)) for x in other)
        rows = [[float(t) for t in r.split()[1:]] for r in run(line)]
        return rows if name in ("lr", "hl") else rows[0]

    return call


@pytest.mark.parametrize(
    "name, values, period, expected",
    [
        ("max", [1, 3, 2, 5, 4], 2, [NAN, 3, 3, 5, 5]),
        ("min", [1, 3, 2, 5, 4], 2, [NAN, 1, 2, 2, 4]),
        ("max", [1, NAN, 3, 4], 2, [NAN, NAN, NAN, 4]),
        ("max", [1, NAN, 3, 4], 1, [1, NAN, 3, 4]),
        ("min", [5, NAN, NAN, 2, 3, 1], 2, [NAN, NAN, NAN, NAN, 2, 1]),
        ("max", [1, INF, 2, 3], 2, [NAN, INF, INF, 3]),
        ("min", [1, -INF, 2, 3], 3, [NAN, NAN, -INF, -INF]),
        ("sum", [1, 2, 3, 4], 2, [NAN, 3, 5, 7]),
        ("sum", [1, NAN, 3, 4], 2, [NAN, 1, 3, 7]),
        ("sum", [NAN, NAN, 3], 2, [NAN, 0.0, 3]),
        ("stdev", [2, 4, 4, 4, 5, 5, 7, 9], 8, [NAN] * 7 + [math.sqrt(32 / 7)]),
        ("stdev", [3, 3, 3, 3], 2, [NAN, 0.0, 0.0, 0.0]),
        ("stdev", [1, 2, 3], 1, [NAN] * 3),
        # a NaN poisons exactly the windows that hold it, and leaves no residue after
        ("stdev", [1, 2, NAN, 4, 6, 8], 2, [NAN, math.sqrt(0.5), NAN, NAN, math.sqrt(2), math.sqrt(2)]),
        ("slope", [1, 2, NAN, 4, 5, 6, 8], 2, [NAN, 1, NAN, NAN, 1, 1, 2]),
        ("tsf", [1, 2, 3], 3, [NAN, NAN, 4.0]),
        ("tsf", [1, NAN, 3, 4, 5, 6], 3, [NAN, NAN, NAN, NAN, 6, 7]),
        ("slope", [1, 2, 3], 1, [NAN] * 3),
        ("stderr", [1, 2, 3], 3, [NAN, NAN, 0.0]),
        ("stderr", [1, 2, 3], 2, [NAN] * 3),
    ],
)
def test_kernel_cases(kernel, name, values, period, expected):
    assert nan_equal(kernel(name, values, period), expected, 1e-14)


@pytest.mark.parametrize("name", ["max", "min", "sum", "stdev", "slope", "tsf", "stderr"])
def test_kernel_unusable_periods(kernel, name):
    v = [1.0, 2.0, 4.0]
    for p in (0, 4):
        assert nan_equal(kernel(name, v, p), [NAN] * 3)
    assert kernel(name, [], 1) == []


@pytest.mark.parametrize(
    "high, low, period",
    [
        ([1, 3, 2, 5, 4], [0, 2, 1, 4, 3], 2),
        ([0.0, -0.0, 0.0, -0.0, -0.0], [-0.0, 0.0, -0.0, 0.0, 0.0], 2),  # of equal extremes the later
        ([0.0, -0.0, 0.0, -0.0, -0.0], [-0.0, 0.0, -0.0, 0.0, 0.0], 3),
        ([2, 2, 2, 1], [1, 1, 1, 2], 4),  # one window, the whole series
        ([5, 4, 3, 2, 1, 0, 1, 2], [0, 1, 2, 3, 4, 5, 4, 3], 1),
        ([5, 4, 3, 2, 1, 0, 1, 2], [0, 1, 2, 3, 4, 5, 4, 3], 3),  # blocks of 3 over 8 bars
        ([1, INF, 2, 3, -INF], [1, -INF, 2, 3, INF], 2),
        ([1, 2, 3], [1, 2, 3], 0),
        ([1, 2, 3], [1, 2, 3], 4),
    ],
)
def test_kernel_high_low_is_max_and_min(kernel, high, low, period):
    # The one-pass extremes of two series are bit for bit rolling_max and rolling_min.
    got_max, got_min = kernel("hl", high, period, low)
    for got, want in ((got_max, kernel("max", high, period)), (got_min, kernel("min", low, period))):
        assert len(got) == len(want) == len(high)
        assert all(str(g) == str(w) for g, w in zip(got, want))


def test_kernel_linear_regression_nan(kernel):
    s, b, r2 = kernel("lr", [1, 2, 3, NAN, 5, 6, 7], 3)
    assert nan_equal(s, [NAN, NAN, 1, NAN, NAN, NAN, 1], 1e-14)
    assert nan_equal(b, [NAN, NAN, 1, NAN, NAN, NAN, 5], 1e-14)
    assert nan_equal(r2, [NAN, NAN, 1, NAN, NAN, NAN, 1], 1e-14)


@pytest.mark.parametrize(
    "x, y, period, expected",
    [
        ([1, 2, 3, 4], [1, 2, 3, 4], 3, [NAN, NAN, 1.0, 1.0]),
        ([1, 2, 3, 4], [-1, -2, -3, -4], 3, [NAN, NAN, -1.0, -1.0]),
        ([1, 2, 3, 4], [2, 2, 2, 2], 3, [NAN, NAN, 0.0, 0.0]),
        ([1, 2, 3, 4, 5], [1, 2, 4], 2, [NAN, 1.0, 1.0]),
        ([1, 2, 3, 4, 5], [1, 2, 4], 4, [NAN, NAN, NAN]),
        ([1, 2, NAN, 4, 5, 6], [1, 2, 3, 4, NAN, 6], 2, [NAN, 1.0, 0.0, 0.0, 0.0, 0.0]),
        ([1, 2, NAN, 4, 5, 6, 7], [1, 2, 3, 4, NAN, 6, 5], 2, [NAN, 1.0, 0.0, 0.0, 0.0, 0.0, -1.0]),
        ([1, 2, 3], [1, 2, 3], 1, [NAN] * 3),
    ],
)
def test_kernel_correlation(kernel, x, y, period, expected):
    assert nan_equal(kernel("corr", x, period, y), expected, 1e-14)


@pytest.mark.parametrize("name", ["sum", "stdev", "slope", "tsf", "stderr", "lr"])
@pytest.mark.parametrize("bad", [INF, -INF, 1.7e308])
def test_kernel_recovers_after_non_finite_state(kernel, name, bad):
    # An infinity in the input, or sums that overflow, must not turn every later window
    # into NaN: once the offending bars have left, a window is computed from its own bars.
    p = 3
    v = [1.0, 2.0, bad, bad, 0.0, 0.0, 0.0] + walk(40, seed=2)
    got = kernel(name, v, p)
    fresh = kernel(name, v[4:], p)
    rows = zip(got, fresh) if name == "lr" else [(got, fresh)]
    for g, f in rows:
        assert nan_equal(g[6:], f[2:])
        assert not any(math.isnan(t) for t in g[6:])


@pytest.mark.parametrize("bad", [INF, 1e200])
def test_kernel_correlation_recovers_after_non_finite_state(kernel, bad):
    x, y = walk(60, seed=3), walk(60, seed=4)
    x[5] = bad
    got = kernel("corr", x, 4, y)
    assert got[6:] != [0.0] * (len(got) - 6)
    # Up to the last bits: the window that forgets the bad bar is summed afresh about the mean
    # its sums give where they give it, a fresh start about the value nearest the mean.
    assert nan_equal(got[9:], kernel("corr", x[6:], 4, y[6:])[3:], 1e-13)


signed_or_nan = st.sampled_from([-1.0, -0.0, 0.0, 1.0, 2.0, NAN, INF, -INF])


@settings(max_examples=40, deadline=None)
@given(st.lists(signed_or_nan, min_size=1, max_size=40), st.integers(1, 40))
def test_kernel_extrema_match_a_scan(kernel, v, p):
    # of equal values the latest bar's is returned (0.0 vs -0.0); a window holding a NaN is NaN
    p = min(p, len(v))
    for name, better in (("max", lambda a, b: a > b), ("min", lambda a, b: a < b)):
        want = [NAN] * len(v)
        for i in range(p - 1, len(v)):
            w = v[i - p + 1 : i + 1]
            if any(math.isnan(t) for t in w):
                continue
            held = w[0]
            for t in w[1:]:
                if not better(held, t):
                    held = t
            want[i] = held
        got = kernel(name, v, p)
        assert nan_equal(got, want)
        assert [math.copysign(1, a) for a in got] == [math.copysign(1, b) for b in want]


@pytest.mark.parametrize("p", [2, 25])
def test_stdev_nan_voids_only_its_windows(kernel, p):
    v = wide(p + 2100, 24)
    v[p + 500] = NAN
    got = kernel("stdev", v, p)
    assert math.isnan(got[p + 500]) and math.isnan(got[p + 499 + p])
    for i in (p + 500 + p, p - 1 + 1000, p - 1 + 2000):
        want = kernel("stdev", v[i - p + 1 : i + 1], p)[-1]
        assert abs(got[i] - want) <= 1e-11 * want


def test_kernels_with_nan_gaps_match_direct_over_recomputations(kernel):
    rng = random.Random(5)
    v = walk(4200, seed=9)
    for i in rng.sample(range(len(v)), 25):
        v[i] = NAN
    for p in (5, 40):
        assert nan_equal(kernel("max", v, p), nan_window_ref(v, p, np.max))
        assert nan_equal(kernel("min", v, p), nan_window_ref(v, p, np.min))
        sums = [float(np.nansum(v[max(0, i - p + 1) : i + 1])) if i >= p - 1 else NAN for i in range(len(v))]
        assert nan_equal(kernel("sum", v, p), sums, TOL)
        assert nan_equal(kernel("stdev", v, p), nan_window_ref(v, p, lambda w: w.std(ddof=1)), 1e-7)
        slope = nan_window_ref(v, p, lambda w: float(ref_line_fit(w)[0]))
        assert nan_equal(kernel("slope", v, p), slope, TOL)
        stderr = nan_window_ref(
            v, p, lambda w: float(np.sqrt(max(ref_line_fit(w)[3] * (1 - ref_line_fit(w)[2]), 0) / (p - 2)))
        )
        assert nan_equal(kernel("stderr", v, p), stderr, 1e-6)


@pytest.mark.parametrize("p", [3, 20])
def test_kernel_standard_error_near_a_line_with_nan_gaps(kernel, p):
    # The kernel's path for series that hold NaN: a window near a line reads from its residuals
    # there too, and a window holding a NaN stays NaN.
    rng = np.random.default_rng(12)
    v = list(100.0 + 0.5 * np.arange(3000) + rng.normal(0.0, 1e-6, 3000))
    for i in (40, 41, 1500, 2999 - p):
        v[i] = NAN
    got = kernel("stderr", v, p)
    for i in range(p - 1, len(v), 7):
        w = v[i - p + 1 : i + 1]
        if any(math.isnan(x) for x in w):
            assert math.isnan(got[i]), i
        else:
            assert got[i] == pytest.approx(exact_standard_error(w), rel=1e-8), i
