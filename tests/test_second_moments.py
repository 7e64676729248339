"""Second moments exact relative to themselves: the variance, Bollinger's width (the library's
standard deviation), the z-score, covariance, beta, correlation, the regression family (slope,
intercept, fitted value, forecast, r_squared, standard error), CTI and OnlineBollingerBands.

Each is a small difference of large window sums, so a rounding that is negligible for the sums
need not be for the statistic. Held here, black-box:

- a window holding only zeros reads its degenerate value exactly (0.0; 1.0 for r_squared;
  Bollinger's three lines all 0.0), whatever values came before it;
- once a bad print, or the bars before a level drop, have left the window, every window equals
  a fresh start on the bars after them (the same function called on the series from there) to
  1e-9 of the statistic's scale (absolute for the dimensionless ones), for factors up to 1e6,
  wherever the outlier falls: in the first window, mid-series, or across the 1000th slide;
- on FX-like closes (near 1.1, moving 1e-4) every statistic is as close to its exact value as
  a two-pass computation: the variance within 1e-10 relative of the exact (rational) one.

Definitions read from the kernels: py_var, py_covariance, the z-score and both Bollinger forms
use the population moments (divisor p); beta (benchmark second) and correlation are ratios in
which the divisor cancels; the regression fits positions 0 (oldest) .. p - 1, its intercept is
the fit at position 0, py_linearreg the fit at p - 1, py_tsf at p, and the standard error divides
the residuals' squares by p - 2 (3 <= p). CTI is the correlation of the close with its bar index.

The scale of a statistic, from two passes over the window: itself for the variance, the width
and the standard error; the product of the deviations for the covariance; deviation over the
index's deviation for the slope; a few deviations for the fitted values; 1 for the z-score,
beta, correlation, r_squared and CTI. Bollinger's lines and the fitted values carry their level,
so the scale of their error also holds 1e-6 (1e-5) of the level: a few of its ulps.
"""
import math
import struct
from dataclasses import dataclass
from functools import lru_cache
from typing import Callable

import numpy as np
import pytest

import vorn_library.vorn_library as vl
from conftest import native_program
from reference import exact_line_residual, exact_moments, exact_population_variance, exact_standard_error, two_pass_moments

NAN = math.nan
TOL = 1e-9


def streamed_bands(x, p, k=2.0):
    """OnlineBollingerBands fed bar by bar, as three series (NaN while warming up)."""
    bands = vl.OnlineBollingerBands(p, k)
    out = [bands.update(v) for v in x]
    return tuple([NAN if o is None else o[j] for o in out] for j in range(3))


# Every function under test as outputs(x, y, p): a tuple of series. Single-series functions
# read x; pair functions (x, y), y the benchmark of beta.
CALLS = {
    "py_var": lambda x, y, p: (vl.py_var(x, p),),
    "py_bollinger_bands": lambda x, y, p: vl.py_bollinger_bands(x, p, 2.0),
    "OnlineBollingerBands": lambda x, y, p: streamed_bands(x, p),
    "py_zscore": lambda x, y, p: (vl.py_zscore(x, p),),
    "py_covariance": lambda x, y, p: (vl.py_covariance(x, y, p),),
    "py_beta": lambda x, y, p: (vl.py_beta(x, y, p),),
    "py_correlation": lambda x, y, p: (vl.py_correlation(x, y, p),),
    "py_correl": lambda x, y, p: (vl.py_correl(x, y, p),),
    "py_linear_regression": lambda x, y, p: vl.py_linear_regression(x, p),
    "py_standard_error": lambda x, y, p: (vl.py_standard_error(x, p),),
    "py_linearreg": lambda x, y, p: (vl.py_linearreg(x, p),),
    "py_linearreg_intercept": lambda x, y, p: (vl.py_linearreg_intercept(x, p),),
    "py_linearreg_slope": lambda x, y, p: (vl.py_linearreg_slope(x, p),),
    "py_linearreg_angle": lambda x, y, p: (vl.py_linearreg_angle(x, p),),
    "py_tsf": lambda x, y, p: (vl.py_tsf(x, p),),
    "py_cti": lambda x, y, p: (vl.py_cti(x, p),),
}


def outputs(name, x, y, p):
    return tuple(np.asarray(s, dtype=float) for s in CALLS[name](x, y, p))


# ---- What each statistic measures, its two-pass value and its scale -------------------------

@dataclass(frozen=True)
class Measure:
    label: str
    take: Callable  # the statistic from the function's outputs
    two_pass: Callable  # (moments, p) -> its two-pass value over every window
    scale: Callable  # moments -> the scale its error is measured against


def unit(m):
    return 1.0


def width_scale(m):
    return 2.0 * m["sd_x"] + 1e-6 * np.abs(m["mean_x"])


def fitted_scale(m):
    return 4.0 * m["sd_x"] + 1e-5 * np.abs(m["mean_x"])


def first(o):
    return o[0]


WIDTHS = [
    Measure("upper - middle", lambda o: o[0] - o[1], lambda m, p: 2.0 * m["sd_x"], width_scale),
    Measure("middle - lower", lambda o: o[1] - o[2], lambda m, p: 2.0 * m["sd_x"], width_scale),
]
CORRELATION = [Measure("r", first, lambda m, p: m["r"], unit)]

MEASURES = {
    "py_var": [Measure("variance", first, lambda m, p: m["var_x"], lambda m: m["var_x"])],
    "py_bollinger_bands": WIDTHS,
    "OnlineBollingerBands": WIDTHS,
    "py_zscore": [Measure("z-score", first, lambda m, p: m["zscore"], unit)],
    "py_covariance": [Measure("covariance", first, lambda m, p: m["cov"], lambda m: m["sd_x"] * m["sd_y"])],
    "py_beta": [Measure("beta", first, lambda m, p: m["beta"], unit)],
    "py_correlation": CORRELATION,
    "py_correl": CORRELATION,
    "py_linear_regression": [
        Measure("slope", lambda o: o[0], lambda m, p: m["slope"], lambda m: m["sd_x"] / m["sd_index"]),
        Measure("intercept", lambda o: o[1], lambda m, p: m["intercept"], fitted_scale),
        Measure("r_squared", lambda o: o[2], lambda m, p: m["r_squared"], unit),
    ],
    "py_standard_error": [Measure("standard error", first, lambda m, p: m["stderr"], lambda m: m["stderr"])],
    "py_linearreg": [
        Measure("fit at p - 1", first, lambda m, p: m["intercept"] + m["slope"] * (p - 1), fitted_scale)],
    "py_linearreg_intercept": [Measure("intercept", first, lambda m, p: m["intercept"], fitted_scale)],
    "py_linearreg_slope": [
        Measure("slope", first, lambda m, p: m["slope"], lambda m: m["sd_x"] / m["sd_index"])],
    "py_tsf": [Measure("forecast at p", first, lambda m, p: m["intercept"] + m["slope"] * p, fitted_scale)],
    "py_cti": [Measure("cti", first, lambda m, p: m["cti"], unit)],
}


def assert_within(got, want, scale, what):
    """got, want, scale: arrays over the same windows."""
    got, want = np.asarray(got, dtype=float), np.asarray(want, dtype=float)
    assert len(got) == len(want) and len(got) > 0
    for series, whose in ((got, "got"), (want, "wanted")):
        assert not np.isnan(series).any(), f"{what}: NaN {whose} at window {int(np.argmax(np.isnan(series)))}"
    err = np.abs(got - want)
    lim = TOL * np.broadcast_to(np.asarray(scale, dtype=float), err.shape)
    bad = err > lim
    if bad.any():
        k = int(np.argmax(err / lim))
        # The message says it all: no traceback to render (a table fails by the hundred before its fix).
        pytest.fail(f"{what}: {int(bad.sum())} of {len(err)} windows off; worst window {k}: got {float(got[k])!r}, "
                    f"want {float(want[k])!r} (off {err[k]:.3g}, {err[k] / (lim[k] / TOL):.3g} of its scale)", pytrace=False)


# ---- Reported cases: a benchmark that stood still, a level drop, a bad print --------------------

# A benchmark that stood still (a halt, a stale quote): y holds only zeros from bar 3 on, x from
# bar 4 on; every window of 5 from bar 8 on holds zeros only.
X_HALT = [-0.000144, 2e-05, 1.3e-05, 5.5e-05] + [0.0] * 100
Y_HALT = [-9.1e-05, 1e-06, -6e-06] + [0.0] * 101

HALT_CASES = [
    # (function, output, due value) on (X_HALT, Y_HALT) with period 5, at bar 103
    ("py_beta", 0, 0.0),
    ("py_covariance", 0, 0.0),
    ("py_linear_regression", 0, 0.0),
    ("py_linear_regression", 1, 0.0),
    ("py_linear_regression", 2, 1.0),
]
HALT_SINGLE = ["py_var", "py_zscore", "py_standard_error", "py_linearreg", "py_linearreg_intercept",
               "py_linearreg_slope", "py_tsf"]


@pytest.mark.parametrize("times", [1, 1000])
@pytest.mark.parametrize("name, output, due", HALT_CASES + [(n, 0, 0.0) for n in HALT_SINGLE])
def test_window_after_a_halt_reads_its_degenerate_value(name, output, due, times):
    # Pair functions take (x, y), y the benchmark; single-series ones y.
    x, y = [v * times for v in X_HALT], [v * times for v in Y_HALT]
    pair = name in ("py_beta", "py_covariance")
    got = CALLS[name](x if pair else y, y if pair else None, 5)[output][103]
    assert got == due


@pytest.fixture(scope="module")
def level_drop_example():
    rng = np.random.default_rng(0)
    return list(150000 + rng.normal(0, 15, 300)) + list(100 + rng.normal(0, 0.01, 600))


@pytest.mark.parametrize("name", ["py_bollinger_bands", "OnlineBollingerBands"])
def test_bollinger_width_after_a_level_drop(level_drop_example, name):
    x = level_drop_example
    got = outputs(name, x, None, 20)
    fresh = outputs(name, x[300:], None, 20)
    m = two_pass_moments(x[300:], x[300:], 20)
    for measure in MEASURES[name]:
        # Bars 320 .. 899: the first window wholly after the drop ends at 319.
        g, f = measure.take(got)[320:], measure.take(fresh)[20:]
        assert_within(g, f, measure.scale(m)[1:], f"{name} {measure.label} against a fresh start")
        assert_within(g, measure.two_pass(m, 20)[1:], measure.scale(m)[1:], f"{name} {measure.label} against two passes")


@pytest.fixture(scope="module")
def bad_print_example():
    c = list(100 + np.random.default_rng(5).normal(0, 1e-3, 300))
    c[100] = 4.5e5
    return c


def test_variance_after_a_bad_print(bad_print_example):
    c = bad_print_example
    window = c[181:201]
    exact = float(exact_population_variance(window))
    assert exact == pytest.approx(1.367e-06, rel=1e-3)  # the population variance (the sample one is 5% larger)
    assert abs(vl.py_var(c, 20)[200] - exact) <= TOL * exact
    assert abs(vl.py_var(c, 20)[200] - float(np.var(window))) <= TOL * exact


@pytest.mark.parametrize("name", ["py_var", "py_bollinger_bands", "OnlineBollingerBands", "py_zscore",
                                  "py_standard_error", "py_linear_regression", "py_cti"])
def test_bad_print_forgotten_once_it_left(bad_print_example, name):
    # Every window from bar 120 on (the print at bar 100 gone) equals a fresh start on bar 101 on.
    c = bad_print_example
    got, fresh = outputs(name, c, c, 20), outputs(name, c[101:], c[101:], 20)
    m = two_pass_moments(c[101:], c[101:], 20)
    for measure in MEASURES[name]:
        assert_within(measure.take(got)[120:], measure.take(fresh)[19:], measure.scale(m),
                      f"{name} {measure.label}")


# ---- Bad prints and level drops are forgotten -------------------------------------------------

PERIOD = 20
LENGTH = 2300
FACTORS = [10, 100, 1000, 4500, 1e5, 1e6]
# (level, step): closes moving about `step` a bar around `level`.
PRICES = {"1.1 by 1e-4": (1.1, 1e-4), "100 by 0.01": (100.0, 0.01), "100 by 1": (100.0, 1.0)}
# Where the outlier falls: inside the first window; mid-series; inside the window of the 1000th
# slide, where the sums are summed afresh on their schedule (1000 or 1001 slides after the first
# window) with the outlier in them.
PLACES = {"first window": 5, "mid-series": 600, "1000th slide": PERIOD + 999 - PERIOD // 2}


def prices(level, step, n, seed):
    """Closes wandering around level, moving about step a bar (mean-reverting, so that a few
    thousand bars stay near level)."""
    rng = np.random.default_rng(seed)
    shocks = rng.normal(0.0, step, n)
    out, d = np.empty(n), 0.0
    for i in range(n):
        d = 0.98 * d + shocks[i]
        out[i] = level + d
    return out


@lru_cache(maxsize=None)
def disrupted(price, place, kind, factor):
    """(x, y, start): two series (the outlier in both at the same bar) and the first bar after
    the outlier, from which a fresh start is taken."""
    level, step = PRICES[price]
    x, y = prices(level, step, LENGTH, 11), prices(level, step, LENGTH, 12)
    k = PLACES[place]
    if kind == "print":
        x[k] *= factor
        y[k] *= factor
        start = k + 1
    else:  # a level drop: bar k and every bar after it divided by the factor
        x[k:] /= factor
        y[k:] /= factor
        start = k
    return list(x), list(y), start


@lru_cache(maxsize=None)
def fresh_moments(price, place, kind, factor):
    x, y, start = disrupted(price, place, kind, factor)
    return two_pass_moments(x[start:], y[start:], PERIOD)


FRESH_NAMES = [n for n in MEASURES if n != "py_correl"]  # py_correl is py_correlation's kernel


@pytest.mark.parametrize("place", PLACES)
@pytest.mark.parametrize("price", PRICES)
@pytest.mark.parametrize("factor", FACTORS)
@pytest.mark.parametrize("kind", ["print", "drop"])
@pytest.mark.parametrize("name", FRESH_NAMES)
def test_outlier_forgotten_once_it_left(name, kind, factor, price, place):
    x, y, start = disrupted(price, place, kind, factor)
    p = PERIOD
    got = outputs(name, x, y, p)
    fresh = outputs(name, x[start:], y[start:], p)
    m = fresh_moments(price, place, kind, factor)
    for measure in MEASURES[name]:
        # The windows wholly after the outlier: the fresh start's windows, bar for bar.
        assert_within(measure.take(got)[start + p - 1:], measure.take(fresh)[p - 1:], measure.scale(m),
                      f"{name} {measure.label}")


# ---- Windows of zeros read their degenerate value exactly -------------------------------------

# The degenerate value of each output on a window of zeros.
DEGENERATE = {
    "py_var": (0.0,),
    "py_bollinger_bands": (0.0, 0.0, 0.0),
    "OnlineBollingerBands": (0.0, 0.0, 0.0),
    "py_zscore": (0.0,),
    "py_covariance": (0.0,),
    "py_beta": (0.0,),
    "py_correlation": (0.0,),
    "py_correl": (0.0,),
    "py_linear_regression": (0.0, 0.0, 1.0),
    "py_standard_error": (0.0,),
    "py_linearreg": (0.0,),
    "py_linearreg_intercept": (0.0,),
    "py_linearreg_slope": (0.0,),
    "py_linearreg_angle": (0.0,),
    "py_tsf": (0.0,),
    "py_cti": (0.0,),
}
ZERO_PERIODS = [2, 3, 5, 14, 20, 50]
ZERO_RUN = 150


def zeros_start(place, p):
    """The first zero: inside the first window; mid-series; or inside the window of the 1000th
    slide (the window summed afresh holds values and zeros)."""
    return {"first window": max(1, p // 2), "mid-series": 500, "1000th slide": p + 999 - (p - 1) // 2}[place]


@lru_cache(maxsize=None)
def values_then_zeros(size, place, p):
    z0 = zeros_start(place, p)
    rng = np.random.default_rng(int(z0 + p))
    x = list(size * rng.standard_normal(z0)) + [0.0] * ZERO_RUN
    y = list(size * rng.standard_normal(z0)) + [0.0] * ZERO_RUN
    return x, y, z0


# The standard error is defined from period 3 on.
ZERO_CASES = [(name, size, p, place) for name in DEGENERATE for size in (1e-4, 1e-2, 3.0, 1e6) for p in ZERO_PERIODS
              for place in ("first window", "mid-series", "1000th slide") if name != "py_standard_error" or p >= 3]


@pytest.mark.parametrize("name, size, p, place", ZERO_CASES)
def test_window_of_zeros_reads_its_degenerate_value(name, size, p, place):
    x, y, z0 = values_then_zeros(size, place, p)
    got = outputs(name, x, y, p)
    for j, due in enumerate(DEGENERATE[name]):
        window_values = got[j][z0 + p - 1:]  # windows holding only zeros
        assert len(window_values) == ZERO_RUN - p + 1
        off = np.flatnonzero(window_values != due)
        if len(off):
            pytest.fail(f"{name} output {j}: {len(off)} windows of zeros read otherwise, the first ending at bar "
                        f"{z0 + p - 1 + off[0]}: {float(window_values[off[0]])!r}", pytrace=False)


@lru_cache(maxsize=None)
def asset_moves_benchmark_halts(size, place, p):
    x, y, z0 = values_then_zeros(size, place, p)
    rng = np.random.default_rng(int(z0 + p + 1))
    return x[:z0] + list(size * rng.standard_normal(ZERO_RUN)), y, z0


@pytest.mark.parametrize("place", ["first window", "mid-series", "1000th slide"])
@pytest.mark.parametrize("p", [2, 5, 20, 50])
@pytest.mark.parametrize("size", [1e-4, 3.0, 1e6])
@pytest.mark.parametrize("name", ["py_covariance", "py_beta", "py_correlation", "py_correl"])
def test_benchmark_window_of_zeros_reads_its_degenerate_value(name, size, p, place):
    # The asset keeps moving: a benchmark that does not move has no covariance with it, and
    # neither a beta nor a correlation.
    x, y, z0 = asset_moves_benchmark_halts(size, place, p)
    window_values = outputs(name, x, y, p)[0][z0 + p - 1:]
    assert len(window_values) == ZERO_RUN - p + 1
    off = np.flatnonzero(window_values != 0.0)
    if len(off):
        pytest.fail(f"{name}: {len(off)} windows of a halted benchmark read otherwise, the first ending at bar "
                    f"{z0 + p - 1 + off[0]}: {float(window_values[off[0]])!r}", pytrace=False)


# ---- FX-like closes: as close to exact as two passes ------------------------------------------

FX_LENGTH = 3000


@lru_cache(maxsize=None)
def fx_bars():
    """Closes of a random walk from 1.1 moving about 1e-4 a bar, and opens a small gap away from
    the previous close."""
    rng = np.random.default_rng(41)
    close = 1.1 + np.cumsum(rng.normal(0.0, 1e-4, FX_LENGTH))
    opens = np.concatenate(([close[0]], close[:-1])) + rng.normal(0.0, 2e-5, FX_LENGTH)
    return list(close), list(opens)


@pytest.mark.parametrize("p", [5, 14, 20])
def test_fx_variance_within_1e_10_of_exact(p):
    close, _ = fx_bars()
    var = vl.py_var(close, p)
    worst = 0.0
    for i in range(p - 1, FX_LENGTH, 7):
        exact = float(exact_population_variance(close[i - p + 1:i + 1]))
        worst = max(worst, abs(var[i] - exact) / exact)
    assert worst <= 1e-10


@pytest.mark.parametrize("name", ["py_bollinger_bands", "OnlineBollingerBands"])
@pytest.mark.parametrize("p", [5, 20])
def test_fx_deviation_of_the_bands_against_exact(name, p):
    close, _ = fx_bars()
    upper, middle, _ = outputs(name, close, close, p)
    idx = range(p - 1, FX_LENGTH, 7)
    exact = np.array([2.0 * math.sqrt(exact_population_variance(close[i - p + 1:i + 1])) for i in idx])
    assert_within((upper - middle)[list(idx)], exact, exact + 1e-6 * middle[list(idx)], f"{name} width")


FX_NAMES = [n for n in MEASURES if n not in ("py_var",)]


@pytest.mark.parametrize("p", [5, 14, 30])
@pytest.mark.parametrize("name", FX_NAMES)
def test_fx_closes_as_close_as_two_passes(name, p):
    close, opens = fx_bars()
    got = outputs(name, close, opens, p)
    m = two_pass_moments(close, opens, p)
    for measure in MEASURES[name]:
        assert_within(measure.take(got)[p - 1:], measure.two_pass(m, p), measure.scale(m),
                      f"{name} {measure.label}")


# ---- the cost of staying exact ------------------------------------------------------------
# A test build counts the windows summed afresh after the first (utils/fast_path.hpp). Each
# costs a few passes over the window, so the count times the period is the extra work.

def _walk(n, step, start, seed):
    rng = np.random.default_rng(seed)
    return list(start + np.cumsum(rng.normal(0, step, n)))


_N = 20000
_COST_SERIES = {
    "random walk": _walk(_N, 1.0, 100.0, 1),
    "FX-like": _walk(_N, 1e-4, 1.1, 2),
    "1e300 alternating with 1": [1e300, 1.0] * (_N // 2),
    "geometric sawtooth": [2.0 ** (-1.5 * (k % 1400)) * 1e300 for k in range(_N)],
}
# Passes over the window per slide: on ordinary data a window is summed afresh every period
# slides at most; a window of values near the top of the range is scaled, so no more often; a
# sawtooth that sheds its largest value on every slide is bounded by the range of doubles
# (about 470 windows summed afresh before a new large value must enter and stay p slides).
_PASSES = {"random walk": 1.0, "FX-like": 1.0, "1e300 alternating with 1": 1.0, "geometric sawtooth": 100.0}
_COST_CALLS = {
    "py_var": lambda v, p: vl.py_var(v, p),
    "py_linear_regression": lambda v, p: vl.py_linear_regression(v, p),
    "py_correl": lambda v, p: vl.py_correl(v, v[::-1], p),
}


@pytest.mark.parametrize("p", [5, 50, 1000])
@pytest.mark.parametrize("label", _COST_SERIES)
@pytest.mark.parametrize("name", _COST_CALLS)
def test_windows_summed_afresh_cost_amortised_constant_time(name, label, p):
    floor = pytest.importorskip("vorn_bench_floor", reason="the counts come with an in-place build")
    if floor.fast_paths() is None:
        pytest.skip("this build does not count its paths (configure with VORN_BUILD_TESTS=ON)")
    floor.fast_paths()
    _COST_CALLS[name](_COST_SERIES[label], p)
    afresh = floor.fast_paths().get("moments_afresh", 0)
    assert afresh * p <= _PASSES[label] * _N, afresh


# ---- the standard error near a line ------------------------------------------------------
# The residual is a small difference of the window's spread and the line's share of it when the
# points lie almost on a line. The standard error holds 1e-8 of itself wherever the residuals'
# root is at least 1e-7 of the window's (sqrt(residual) >= 1e-7 sqrt(M2)); below, 1e-15 of the
# window's deviation sqrt(M2 / (p - 2)), what the standard error of a window with no line in it
# would be. Against the rational two-pass value, on windows either side of the stretches' seams
# (4,095, 4,096 and 8,192 windows after the first) and every 97th.

def _noisy_line(n, noise, seed, level=100.0, slope=0.5):
    rng = np.random.default_rng(seed)
    return list(level + slope * np.arange(n) + rng.normal(0.0, noise, n))


def test_standard_error_of_a_slow_exponential_reads_its_exact_value():
    x = [100 * math.exp(1e-6 * k) for k in range(4115)]
    got = vl.py_standard_error(x, 20)[4105]
    assert abs(got - 1.5679237478121344e-09) <= 1e-8 * 1.5679237478121344e-09, got


NEAR_LINES = {
    "exponential, rate 1e-6": lambda n: [100 * math.exp(1e-6 * k) for k in range(n)],
    "exponential, rate 1e-8": lambda n: [100 * math.exp(1e-8 * k) for k in range(n)],
    "line, noise 1e-2": lambda n: _noisy_line(n, 1e-2, 10),
    "line, noise 1e-3": lambda n: _noisy_line(n, 1e-3, 11),
    "line, noise 1e-4": lambda n: _noisy_line(n, 1e-4, 1),
    "line, noise 1e-6": lambda n: _noisy_line(n, 1e-6, 2),
    "line, noise 1e-9": lambda n: _noisy_line(n, 1e-9, 3),
    "FX line, noise 1e-12": lambda n: _noisy_line(n, 1e-12, 4, level=1.1, slope=1e-7),
    "line 0.1 k": lambda n: [0.1 * k for k in range(n)],
    "exact line": lambda n: [100.0 + 0.5 * k for k in range(n)],
    "random walk": lambda n: _walk(n, 1.0, 100.0, 5),
}


def _seam_windows(p, n):
    firsts = [0, 1, 4094, 4095, 4096, 4097, 8191, 8192, 8193, n - p]
    return sorted({p - 1 + w for w in firsts + list(range(0, n - p + 1, 97)) if 0 <= w <= n - p})


@pytest.mark.parametrize("name", ["py_standard_error", "py_stderr"])
@pytest.mark.parametrize("p", [3, 20, 50])
@pytest.mark.parametrize("case", NEAR_LINES)
def test_standard_error_near_a_line_against_exact(case, p, name):
    n = p - 1 + 8192 + 60
    x = NEAR_LINES[case](n)
    got = getattr(vl, name)(x, p)
    bad = []
    for i in _seam_windows(p, n):
        resid, m2 = exact_line_residual(x[i - p + 1:i + 1])
        want = math.sqrt(resid / (p - 2))
        lim = 1e-8 * want if resid >= 1e-14 * m2 else 1e-15 * math.sqrt(m2 / (p - 2))
        if not abs(got[i] - want) <= lim:
            bad.append((i, got[i], want))
    assert not bad, f"{len(bad)} windows off, first {bad[0]}"


@pytest.mark.parametrize("p", [1000, 4000])
@pytest.mark.parametrize("case", ["exponential, rate 1e-6", "line, noise 1e-2", "line, noise 1e-6", "random walk"])
def test_standard_error_of_long_windows_near_a_line_against_exact(case, p):
    n = p - 1 + 4096 + 600
    x = NEAR_LINES[case](n)
    got = vl.py_standard_error(x, p)
    for i in sorted({p - 1, p - 1 + 4095, p - 1 + 4096, n - 1} | set(range(p - 1, n, 577))):
        resid, m2 = exact_line_residual(x[i - p + 1:i + 1])
        want = math.sqrt(resid / (p - 2))
        lim = 1e-8 * want if resid >= 1e-14 * m2 else 1e-15 * math.sqrt(m2 / (p - 2))
        assert abs(got[i] - want) <= lim, (i, got[i], want)


@pytest.mark.parametrize("cut", [19 + 300, 19 + 1100, 19 + 4096 + 50])
def test_standard_error_near_a_line_is_the_same_whatever_the_length(cut):
    # Windows near a line are marked as they are read and summed again after: from a list of
    # them, or a look through every output where the list overflowed.
    x = _noisy_line(2 * 4096 + 500, 1e-6, 6)
    whole = vl.py_standard_error(x, 20)
    part = vl.py_standard_error(x[:cut], 20)
    assert [struct.pack("<d", a) for a in part] == [struct.pack("<d", b) for b in whole[:cut]]
    assert part[-1] == pytest.approx(exact_standard_error(x[cut - 20:cut]), rel=1e-8)


@pytest.mark.parametrize("p", [20, 1000])
@pytest.mark.parametrize("label, series, at_most", [
    ("random walk", _walk(20000, 1.0, 100.0, 7), 0.005),
    ("FX-like", _walk(20000, 1e-4, 1.1, 8), 0.005),
    ("slow exponential", [100 * math.exp(1e-6 * k) for k in range(20000)], 1.0),
])
def test_residuals_summed_only_near_a_line(label, series, at_most, p):
    # Near a line every window reads from its residuals, at a slide each: the line they are
    # taken from is drawn once per p windows.
    floor = pytest.importorskip("vorn_bench_floor", reason="the counts come with an in-place build")
    if floor.fast_paths() is None:
        pytest.skip("this build does not count its paths (configure with VORN_BUILD_TESTS=ON)")
    floor.fast_paths()
    vl.py_standard_error(series, p)
    counts = floor.fast_paths()
    summed, drawn = counts.get("line_residuals", 0), counts.get("line_drawn", 0)
    windows = len(series) - p + 1
    assert summed <= at_most * windows, summed
    if at_most == 1.0:
        assert summed == windows
        assert drawn <= windows // p + 1, drawn


# ---- stretches side by side ------------------------------------------------------------
# The windows are cut into stretches of 4096 from the first, each summed afresh at its start;
# two whole stretches run side by side, the rest one window at a time. Either way a window's
# value is the same bits: a series cut short (so that its stretches pair differently, or not
# at all) gives what the whole series gives on the windows it holds.
_OTHER = _walk(4 * 4096 + 500, 1.0, 50.0, 10)
_LINE_CALLS = {
    "py_var": lambda v: vl.py_var(v, 14),
    "py_zscore": lambda v: vl.py_zscore(v, 14),
    "py_bollinger_bands": lambda v: vl.py_bollinger_bands(v, 14, 2.0)[0],
    "py_covariance": lambda v: vl.py_covariance(v, _OTHER[: len(v)], 14),
    "py_correl": lambda v: vl.py_correl(v, _OTHER[: len(v)], 14),
    "py_beta": lambda v: vl.py_beta(_OTHER[: len(v)], v, 14),
    "py_linearreg_slope": lambda v: vl.py_linearreg_slope(v, 14),
    "py_tsf": lambda v: vl.py_tsf(v, 14),
    "py_standard_error": lambda v: vl.py_standard_error(v, 14),
    "py_linear_regression": lambda v: list(vl.py_linear_regression(v, 14)[2]),
    "py_cti": lambda v: vl.py_cti(v, 14),
}


@pytest.mark.parametrize("name", _LINE_CALLS)
def test_stretches_side_by_side_are_the_windows_alone(name):
    v = _walk(4 * 4096 + 500, 1.0, 100.0, 9)
    v[5000] *= 1000.0  # a bad print, so that a lane is summed afresh on its own
    whole = _LINE_CALLS[name](v)
    for cut in (13 + 4096 + 300, 13 + 2 * 4096, 13 + 3 * 4096 + 7):
        part = _LINE_CALLS[name](v[:cut])
        assert [struct.pack("<d", a) for a in part] == [struct.pack("<d", b) for b in whole[:cut]], cut


def test_streamed_bands_are_the_batch_bands_across_stretches():
    v = _walk(3 * 4096 + 200, 1e-4, 1.1, 11)
    v[6000] = 1000.0
    batch = vl.py_bollinger_bands(v, 20, 2.0)
    bands = vl.OnlineBollingerBands(20, 2.0)
    streamed = [bands.update(x) for x in v]
    for i in range(19, len(v)):
        assert tuple(streamed[i]) == (batch[0][i], batch[1][i], batch[2][i]), i


# ---- Windows near the ends of the double range ------------------------------------------------
# Deviations whose squares leave the range (above about 1e154) or fall into the subnormals
# (below about 1e-154): each statistic reads its exact value to 1e-9 of its own scale while the
# large or small values are inside the window, inf only where the statistic itself is beyond
# the range, and the dimensionless ones whatever the scale.

def test_bands_of_a_window_of_1e154_after_1e300_read_its_mean():
    x = [1.0, 1e300] + [1e154] * 8
    upper, middle, lower = vl.py_bollinger_bands(x, 3, 2.0)
    assert (upper[4], middle[4], lower[4]) == (1e154, 1e154, 1e154)
    # At period 20 after ten bars of 1.0 and one of 1e300, the nine windows of 1e154 alone.
    x = [1.0] * 10 + [1e300] + [1e154] * 28
    upper, middle, lower = vl.py_bollinger_bands(x, 20, 2.0)
    assert [(upper[i], middle[i], lower[i]) for i in range(30, 39)] == [(1e154, 1e154, 1e154)] * 9


def test_flat_window_of_1e154_fits_a_flat_line_at_its_level():
    x = [1.0, 1e300] + [1e154] * 8
    assert vl.py_linearreg_slope(x, 3)[4] == 0.0
    assert vl.py_linearreg_intercept(x, 3)[4] == 1e154
    assert vl.py_tsf(x, 3)[4] == 1e154
    assert vl.py_linearreg(x, 3)[4] == 1e154


def test_variance_beyond_the_range_reads_inf():
    got = vl.py_var([1, 2, 3, 1e200, 2, 1, 3], 3)
    assert got[2:] == [2 / 3, math.inf, math.inf, math.inf, 2 / 3]


def test_zscore_and_bands_of_values_1e200_apart_read_their_values():
    y = [1e200 * (1 + k % 7) for k in range(20)]
    m = exact_moments(y, y, 5)
    z = np.array(vl.py_zscore(y, 5)[4:])
    upper, middle, lower = (np.array(s[4:]) for s in vl.py_bollinger_bands(y, 5, 2.0))
    assert np.all(np.abs(z - m["zscore"]) <= TOL)
    assert np.all(m["sd_x"] > 1e200)  # a double, though its square is not
    assert np.all(np.abs((upper - middle) - 2.0 * m["sd_x"]) <= TOL * m["sd_x"])
    assert np.all(np.abs((middle - lower) - 2.0 * m["sd_x"]) <= TOL * m["sd_x"])
    assert np.all(np.abs(middle - m["mean_x"]) <= TOL * m["sd_x"])


def test_correlation_of_values_near_1e153_reads_its_value():
    got = vl.py_correl([1e153, 1.1e153, 1.3e153], [2e153, 2.2e153, 2.5e153], 3)[-1]
    assert abs(got - 0.9971764649527381) <= TOL  # exact: 0.99718


def test_zscore_of_values_near_1e_160_is_its_value():
    t = [1.1600019088999112e-160, 1.0202882440508609e-160, 8.267865157560415e-161, 9.916303807182975e-161,
         8.836774026555252e-161, 9.370711905938445e-161, 9.511994176723142e-161, 9.286686628367756e-161]
    got = vl.py_zscore(t, 3)
    want = exact_moments(t, t, 3)["zscore"]
    assert np.all(np.abs(np.array(got[2:]) - want) <= TOL), got


def _noise(scale, n, seed):
    return list(scale * np.random.default_rng(seed).normal(0.0, 1.0, n))


def _spiky(n, seed):
    """Ordinary closes with prints of 1e300, 1e-300 and -1e250 inside the windows."""
    x = list(100.0 + np.cumsum(np.random.default_rng(seed).normal(0.0, 1.0, n)))
    for k, v in ((17, 1e300), (45, 1e-300), (46, 3e299), (90, -1e250), (91, 1e-160)):
        x[k] = v
    return x


# Series whose windows hold values near the ends of the range, x and y (y the benchmark).
HOSTILE = {
    "1e-160 random walk": lambda n: (list(1e-160 * (1 + 0.01 * np.cumsum(np.random.default_rng(3).normal(0, 1, n)))),
                                     list(1e-160 * (1 + 0.01 * np.cumsum(np.random.default_rng(4).normal(0, 1, n))))),
    "1e154 noise": lambda n: (_noise(1e154, n, 5), _noise(1e154, n, 6)),
    "1e200 noise": lambda n: (_noise(1e200, n, 7), _noise(3e199, n, 8)),
    "1e-300 noise": lambda n: (_noise(1e-300, n, 9), _noise(1e-300, n, 10)),
    "mixed 1e154 and 1e-160": lambda n: ([1e154 * (1 + k % 3) if k % 5 == 0 else 1e-160 * k for k in range(n)],
                                         _noise(2e-155, n, 11)),
    "spiky ordinary": lambda n: (_spiky(n, 12), _spiky(n, 13)[::-1]),
}

# What each function reads against the exact window (exact_moments), and its scale: the
# statistic itself for a variance and a deviation, the product of deviations for the
# covariance, the ratio of the deviations for beta, the deviation over the index's for the
# slope, a few deviations for the mean and the fitted line; 1 for the dimensionless ones.
EXACT = {
    "py_var": [("variance", first, "var_x", lambda m: m["var_x"])],
    "py_bollinger_bands": [("width", lambda o: o[0] - o[1], None, lambda m: m["sd_x"]),
                           ("middle", lambda o: o[1], "mean_x", lambda m: m["sd_x"])],
    "OnlineBollingerBands": [("width", lambda o: o[1] - o[2], None, lambda m: m["sd_x"]),
                             ("middle", lambda o: o[1], "mean_x", lambda m: m["sd_x"])],
    "py_zscore": [("z-score", first, "zscore", unit)],
    "py_covariance": [("covariance", first, "cov", lambda m: m["sd_x"] * m["sd_y"])],
    "py_beta": [("beta", first, "beta", lambda m: m["sd_x"] / m["sd_y"])],
    "py_correl": [("r", first, "r", unit)],
    "py_linear_regression": [("slope", first, "slope", lambda m: m["sd_x"] / m["sd_index"]),
                             ("intercept", lambda o: o[1], "intercept", lambda m: 4.0 * m["sd_x"]),
                             ("r_squared", lambda o: o[2], "r_squared", unit)],
    "py_tsf": [("forecast", first, None, lambda m: 4.0 * m["sd_x"])],
    "py_cti": [("cti", first, "cti", unit)],
    "py_standard_error": [("standard error", first, "stderr", lambda m: m["stderr"])],
}


# a scale beyond the range (deviations near 1e200 multiplied, or one over a tiny one) is inf
@pytest.mark.filterwarnings("ignore:overflow encountered:RuntimeWarning")
@pytest.mark.parametrize("p", [3, 20])
@pytest.mark.parametrize("label", HOSTILE)
@pytest.mark.parametrize("name", EXACT)
def test_second_moments_near_the_ends_of_the_range_read_their_exact_values(name, label, p):
    x, y = HOSTILE[label](120)
    got = outputs(name, x, y, p)
    m = exact_moments(x, y, p)
    for what, take, key, scale in EXACT[name]:
        g = take(got)[p - 1:]
        if key is None:  # the width, and the forecast one bar past the window
            want = 2.0 * m["sd_x"] if what == "width" else m["intercept"] + m["slope"] * p
        else:
            want = m[key]
        s = np.broadcast_to(np.asarray(scale(m), dtype=float), want.shape)
        beyond = np.isinf(want)
        if what == "beta":  # a beta beyond the range reads its fallback, 0.0
            want, beyond = np.where(beyond, 0.0, want), np.zeros_like(beyond)
        if what == "standard error":  # away from a line: near one it carries the residual's own rounding
            keep = m["r_squared"] < 0.999
            g, want, s, beyond = g[keep], want[keep], s[keep], beyond[keep]
        # inf exactly where the statistic is beyond the range, and nowhere else.
        assert np.array_equal(np.isinf(g), beyond), f"{name} {what}: inf at {np.flatnonzero(np.isinf(g) != beyond)}"
        # A subnormal value carries no more than its last place.
        err, lim = np.abs(g[~beyond] - want[~beyond]), (TOL * s + 5e-324)[~beyond]
        bad = ~(err <= lim)
        if bad.any():
            k = int(np.argmax(bad))
            pytest.fail(f"{name} {what}: {int(bad.sum())} of {len(err)} windows off; first {k}: got "
                        f"{float(g[~beyond][k])!r}, want {float(want[~beyond][k])!r}", pytrace=False)


DIMENSIONLESS = ["py_zscore", "py_correl", "py_beta", "py_cti", "py_linear_regression"]


@pytest.mark.parametrize("factor", [2.0 ** -1000, 2.0 ** -560, 2.0 ** 520, 2.0 ** 1000])
@pytest.mark.parametrize("name", DIMENSIONLESS)
def test_dimensionless_statistics_do_not_depend_on_the_scale(name, factor):
    # Closes near 100 (and opens as the benchmark) scaled by a power of two, both alike: the
    # same values (r_squared for the regression) as unscaled.
    close, opens = fx_bars()
    x, y = [v * 100.0 for v in close[:300]], [v * 100.0 for v in opens[:300]]
    pick = (lambda o: o[2]) if name == "py_linear_regression" else first
    want = pick(outputs(name, x, y, 14))[13:]
    got = pick(outputs(name, [v * factor for v in x], [v * factor for v in y], 14))[13:]
    assert np.all(np.abs(got - want) <= TOL), float(np.max(np.abs(got - want)))


@pytest.mark.parametrize("label", HOSTILE)
def test_streamed_bands_are_the_batch_bands_near_the_ends_of_the_range(label):
    x, _ = HOSTILE[label](300)
    batch = outputs("py_bollinger_bands", x, x, 7)
    streamed = outputs("OnlineBollingerBands", x, x, 7)
    for b, s in zip(batch, streamed):
        assert [struct.pack("<d", v) for v in b[6:]] == [struct.pack("<d", v) for v in s[6:]]


# ---- The running bounds bound ------------------------------------------------------------
# Every running sum carries a bound on the rounding it has gathered; every decision (exact,
# summed afresh) rests on it. The native program checks every window's sums against the same
# sums taken afresh in long double: a bound below the actual error is a fault, however rarely
# it would change an output.

def _audited_series(n, seed):
    rng = np.random.default_rng(seed)
    spiky = 1.1 + np.cumsum(rng.normal(0, 1e-4, n))
    spiky[::97] *= 1e6
    spiky[50::211] = 1e-3
    return {
        "drifting": 100 + np.cumsum(rng.normal(0, 1, n)),
        "trending": 100 * np.exp(1e-3 * np.arange(n)) + rng.normal(0, 1e-3, n),
        "level drop": np.where(np.arange(n) < n // 3, 1.5e5, 100.0) + rng.normal(0, 0.01, n),
        "spiky": spiky,
    }


_AUDITED = _audited_series(9000, 1)
# Deviations of both signs whose sizes spread over decades, so that a slide's difference
# (in - out) is rounded, not exact, while the sums it leaves are small: the bound of a slide
# holds that rounding too.
_AUDITED["alternating amplitudes"] = 1.0 + np.where(np.arange(4000) % 2 == 0, 1.0, -1.0) * np.exp(
    np.random.default_rng(0).normal(0.0, 3.0, 4000))


@pytest.mark.parametrize("p", [2, 4, 5, 20, 200])
@pytest.mark.parametrize("label", _AUDITED)
@pytest.mark.parametrize("kind", ["spread", "co", "line"])
def test_every_running_bound_covers_the_actual_error(kind, label, p):
    x = _AUDITED[label]
    text = " ".join(repr(float(v)) for v in x)
    if kind == "co":
        text += " " + " ".join(repr(float(v)) for v in x[::-1])
    windows, broken, worst = native_program("moment_bounds")(f"{kind} {p} {len(x)} {text}")[0].split()
    assert int(windows) >= len(x) - p + 1
    assert int(broken) == 0, f"{broken} of {windows} windows' sums off by more than their bounds (worst {worst}x)"


@pytest.mark.parametrize("values, origin, scale", [
    ([1, 2, 10, 3], 3.0, 1.0),  # the value nearest the mean, 4
    ([100, 101, 102], 101.0, 1.0),
    ([1e300, -1e300], 1e300, 2.0 ** -997),  # deviations of 2e300: the largest brought near 1
    ([1e-160, 2e-160, 1.5e-160], 1.5e-160, 2.0 ** 533),  # the largest, 5e-161, brought near 1
    ([5e-324, 0.0, 1e-323], 5e-324, 2.0 ** 1000),  # no scale past 2^1000
])
def test_a_window_is_summed_about_the_value_nearest_its_mean_at_its_scale(values, origin, scale):
    text = " ".join(repr(float(v)) for v in values)
    got = native_program("moment_bounds")(f"origin 0 {len(values)} {text}")[0].split()
    assert (float(got[0]), float(got[1])) == (origin, scale)


@pytest.mark.parametrize("values, p, due", [
    ([1, 2, math.inf, 4, 5, 6], 4, 6),  # until the infinity has left
    ([1, 2, math.inf, 4, 5, -math.inf], 4, 9),  # the newest
    ([1, 2, 3, 4, 5, 6], 4, 9),  # none: p slides on
])
def test_a_window_not_finite_when_summed_afresh_is_held(values, p, due):
    text = " ".join(repr(float(v)) for v in values)
    assert native_program("moment_bounds")(f"hold {p} {len(values)} {text}") == [str(due)]


def _stretch(p):
    return 4096 if p <= 256 else 16 * p


@pytest.mark.parametrize("p", [5, 50, 1000, 5000])
@pytest.mark.parametrize("label", ["drifting", "trending"])
@pytest.mark.parametrize("name", _COST_CALLS)
def test_ordinary_windows_find_an_origin_only_where_a_stretch_starts(name, label, p):
    # Summed afresh, an ordinary window is summed about the mean its sums give, in one pass;
    # only a stretch's first window looks for the value nearest its mean (two more passes, for
    # each series).
    floor = pytest.importorskip("vorn_bench_floor", reason="the counts come with an in-place build")
    if floor.fast_paths() is None:
        pytest.skip("this build does not count its paths (configure with VORN_BUILD_TESTS=ON)")
    x = list(_AUDITED[label][:8500])  # drifting or trending
    floor.fast_paths()
    _COST_CALLS[name](x, p)
    taken = floor.fast_paths()
    stretches = -(-(len(x) - p + 1) // _stretch(p))
    sides = 2 if name == "py_correl" else 1
    assert taken.get("moments_origin", 0) == sides * stretches, taken
    assert taken.get("moments_summed", 0) == stretches + taken.get("moments_near", 0), taken


# ---- Long windows ------------------------------------------------------------------------
# A long window's stretches are 16 p windows (a stretch's start costs a few passes over the
# window, once per order of p slides); a short one's 4096. Across their seams, side by side
# or alone, the windows are the same bits, the stream gives the batch's, and each window is
# within its tolerance of its exact value.
_LONG_P = 300
_LONG = _walk(4 * 16 * _LONG_P + 700, 1.0, 100.0, 21)


@pytest.mark.parametrize("name", _LINE_CALLS)
def test_long_windows_stretches_side_by_side_are_the_windows_alone(name):
    v = list(_LONG)
    v[7000] *= 1000.0  # a bad print, so that a lane is summed afresh on its own
    whole = _long(name, v)
    stretch = 16 * _LONG_P
    for cut in (_LONG_P - 1 + stretch + 300, _LONG_P - 1 + 2 * stretch, _LONG_P - 1 + 3 * stretch + 7):
        part = _long(name, v[:cut])
        assert [struct.pack("<d", a) for a in part] == [struct.pack("<d", b) for b in whole[:cut]], cut


def _long(name, v):
    """The function at period _LONG_P (as _LINE_CALLS at 14)."""
    other = _OTHER_LONG[: len(v)]
    return {
        "py_var": lambda: vl.py_var(v, _LONG_P),
        "py_zscore": lambda: vl.py_zscore(v, _LONG_P),
        "py_bollinger_bands": lambda: vl.py_bollinger_bands(v, _LONG_P, 2.0)[0],
        "py_covariance": lambda: vl.py_covariance(v, other, _LONG_P),
        "py_correl": lambda: vl.py_correl(v, other, _LONG_P),
        "py_beta": lambda: vl.py_beta(other, v, _LONG_P),
        "py_linearreg_slope": lambda: vl.py_linearreg_slope(v, _LONG_P),
        "py_tsf": lambda: vl.py_tsf(v, _LONG_P),
        "py_standard_error": lambda: vl.py_standard_error(v, _LONG_P),
        "py_linear_regression": lambda: list(vl.py_linear_regression(v, _LONG_P)[2]),
        "py_cti": lambda: vl.py_cti(v, _LONG_P),
    }[name]()


_OTHER_LONG = _walk(len(_LONG), 1.0, 50.0, 22)


def test_long_windows_streamed_bands_are_the_batch_bands_across_stretches():
    v = list(_LONG)
    v[9000] = 1e6
    batch = vl.py_bollinger_bands(v, _LONG_P, 2.0)
    bands = vl.OnlineBollingerBands(_LONG_P, 2.0)
    streamed = [bands.update(x) for x in v]
    for i in range(_LONG_P - 1, len(v)):
        assert tuple(streamed[i]) == (batch[0][i], batch[1][i], batch[2][i]), i


@pytest.mark.parametrize("p", [10**4, 10**5])
def test_long_windows_variance_within_its_bound_of_exact(p):
    # Windows at the seams of the stretches and between them, against the rational variance;
    # the bound: 2^-36 + p 2^-42 of the variance (the error of a variance is twice that of a
    # deviation's, at most).
    n = 2 * 16 * p + p + 50 if p == 10**4 else 3 * p
    x = _walk(n, 1.0, 1000.0, 23)
    got = vl.py_var(x, p)
    tol = 2.0 * (2.0 ** -36 + p * 2.0 ** -42)
    seams = [p - 1 + k * 16 * p + d for k in range(3) for d in (-1, 0, 1)] + [n - 1, p - 1 + 12345]
    for i in sorted({s for s in seams if p - 1 <= s < n}):
        exact = float(exact_population_variance(x[i + 1 - p:i + 1]))
        assert abs(got[i] - exact) <= tol * exact, (i, got[i], exact)
