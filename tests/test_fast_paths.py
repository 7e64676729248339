"""The fast paths engage on ordinary data.

The lane engine and the loops written for vector registers compute the same bits as the
scalar paths beside them, so no output shows whether they ran. A test build counts each path
taken (utils/fast_path.hpp); these tests call each function that has such a path on an
ordinary random walk and read the counts, so that a path that quietly stops engaging (a plan
refused, a guard that grew too strict, a caller that no longer reaches it) fails here by name.
A window weight's look for a nonzero term is counted too: once for each run of zeros, never
once per slide of it.
"""
import pytest

from conftest import random_bars

floor = pytest.importorskip("vorn_bench_floor", reason="the counts come with an in-place build (make build)")
if floor.fast_paths() is None:
    pytest.skip("this build does not count fast paths (configure with VORN_BUILD_TESTS=ON)", allow_module_level=True)

N = 5000
HIGH, LOW, CLOSE = random_bars(N, seed=7)
OPEN = [CLOSE[0]] + CLOSE[:-1]
VOLUME = [1e6 + 1e4 * (i * 7919 % 101) for i in range(N)]

# (call on the library's bindings, {path: times taken by the call})
CASES = {
    # the lane engine: every window sum between rebuilds run side by side
    "vortex": (lambda v: v.py_vortex(HIGH, LOW, CLOSE, 14), {"lanes": 1}),
    "choppiness": (lambda v: v.py_choppiness(HIGH, LOW, CLOSE, 14), {"lanes": 1}),
    "vhf": (lambda v: v.py_vhf(CLOSE, 28), {"lanes": 1}),
    # the least-squares lines: two stretches of windows side by side
    "linearreg_slope": (lambda v: v.py_linearreg_slope(CLOSE * 2, 14), {"moments_lanes": 1}),
    # its returns from bar 1 (bar 0 has none), on closes that stay positive
    "historical_volatility": (lambda v: v.py_historical_volatility([c + 200 for c in CLOSE * 2], 20), {"moments_lanes": 1}),
    "inertia": (lambda v: v.py_inertia(OPEN, HIGH, LOW, CLOSE, 10, 14), {"lanes": 1}),  # RVI averages
    "ulcer_index": (lambda v: v.py_ulcer_index(CLOSE, 14), {"lanes": 1}),
    "mass_index": (lambda v: v.py_mass_index(HIGH, LOW, 9, 25), {"lanes": 1}),
    # loops over several windows or keys at once, with a scalar remainder or fallback
    "cci": (lambda v: v.py_cci(HIGH, LOW, CLOSE, 20), {"cci_windows": 1}),
    "ultimate_oscillator": (lambda v: v.py_ultimate_oscillator(HIGH, LOW, CLOSE, 7, 14, 28), {"uo_chains": 1}),
    # the candlestick lines' mean bodies over look-backs past 32 bars: sliding sums in lanes
    "long_line": (lambda v: v.py_long_line(OPEN, HIGH, LOW, CLOSE, 40), {"lanes": 1}),
    # its averages over windows past 32 bars: sliding sums in lanes
    "ultimate_oscillator_long": (lambda v: v.py_ultimate_oscillator(HIGH, LOW, CLOSE, 7, 14, 40), {"lanes": 1}),
    "ai_momentum_index": (lambda v: v.py_ai_momentum_index(CLOSE[:1500], 4, 3, 1), {"knn_bar_order": 1}),
    "coppock": (lambda v: v.py_coppock(CLOSE, 14, 11, 10), {"coppock_windows": 1}),
    "slope": (lambda v: v.py_slope(CLOSE, 14), {"slope_windows": 1}),
    # past 32 bars, the least-squares lines' stretches side by side
    "slope_long": (lambda v: v.py_slope(CLOSE * 2, 40), {"moments_lanes": 1}),
    "percent_rank": (lambda v: v.py_percent_rank(CLOSE, 14), {"percent_rank_windows": 1}),
    # long windows kept ranked instead
    "percent_rank_ranked": (lambda v: v.py_percent_rank(CLOSE, 1000), {"percent_rank_ranked": 1}),
    "cci_ranked": (lambda v: v.py_cci(HIGH, LOW, CLOSE, 2000), {"cci_ranked": 1}),
    "vwma": (lambda v: v.py_vwma(CLOSE, VOLUME, 20), {"vwma_windows": 1}),
    "sinwma": (lambda v: v.py_sinwma(CLOSE, 14), {"weighted_windows": 1}),
    "alma": (lambda v: v.py_alma(CLOSE, 9, 0.85, 6.0), {"weighted_windows": 1}),
    "pwma": (lambda v: v.py_pwma(CLOSE, 5), {"weighted_windows": 1}),
    "swma": (lambda v: v.py_swma(CLOSE, 7), {"weighted_windows": 1}),
    # long windows: weighted sums that slide, summed afresh only on their schedule on ordinary
    # data; binomial windows of their weights' band
    "sinwma, long": (lambda v: v.py_sinwma(CLOSE, 200), {"slid_windows": 1, "slid_afresh_after_fall": 0}),
    "swma, long": (lambda v: v.py_swma(CLOSE, 300), {"slid_windows": 1, "slid_afresh_after_fall": 0}),
    "pwma, long": (lambda v: v.py_pwma(CLOSE, 3000), {"transformed_windows": 1, "transform_window_summed": 0}),
    "pwma, long band summed": (lambda v: v.py_pwma(CLOSE, 100), {"weighted_windows": 1}),
    "alma, long": (lambda v: v.py_alma(CLOSE, 1000, 0.85, 6.0),
                   {"transformed_windows": 1, "transform_run_again": 0, "transform_window_summed": 0}),
    "alma, 127 bars summed": (lambda v: v.py_alma(CLOSE, 127, 0.85, 6.0), {"weighted_windows": 1}),
    "kama": (lambda v: v.py_kama(CLOSE, 10, 2, 30), {"kama_windows": 1}),
    # beyond 48 bars these windows slide instead: the blocks summed afresh are not taken
    "kama, 49 bars": (lambda v: v.py_kama(CLOSE, 49, 2, 30), {"kama_windows": 0}),
    "vwma, 49 bars": (lambda v: v.py_vwma(CLOSE, VOLUME, 49), {"vwma_windows": 0}),
    "coppock, 48 and 49 bars": (lambda v: (v.py_coppock(CLOSE, 14, 11, 48), v.py_coppock(CLOSE, 14, 11, 49)),
                                {"coppock_windows": 1}),
    "entropy": (lambda v: v.py_entropy(CLOSE, 10, 10), {"entropy_pairs": 1}),
    "sma": (lambda v: v.py_sma(CLOSE, 20), {"finite_blocks": 1}),  # the input scan for NaN and infinities
}


@pytest.fixture(scope="module")
def lib():
    # The product's bindings run from the test module, over the kernels whose counts it reads.
    return floor.library()


@pytest.mark.parametrize("name", CASES)
def test_fast_path_engages_on_ordinary_data(lib, name):
    call, expected = CASES[name]
    floor.fast_paths()  # the counts start again
    call(lib)
    taken = floor.fast_paths()
    assert {path: taken.get(path, 0) for path in expected} == expected, f"taken: {taken}"


@pytest.mark.parametrize("call", [
    lambda v: v.py_var(CLOSE * 4, 14),
    lambda v: v.py_linear_regression(CLOSE * 4, 5),
    lambda v: v.py_correl(CLOSE * 4, OPEN * 4, 30),
])
def test_blocks_of_windows_are_taken_again_only_where_a_window_is_summed_afresh(lib, call):
    # Windows side by side are tested four at a time on their extremes; a block is taken again
    # window by window when that test fails, which on ordinary data is where one of its windows
    # is summed afresh (and rarely a block whose extremes alone fail).
    floor.fast_paths()
    call(lib)
    taken = floor.fast_paths()
    again, afresh = taken.get("moments_again", 0), taken.get("moments_afresh", 0)
    assert taken.get("moments_lanes") == 1 and afresh > 0, taken
    assert afresh <= again * 2 and again <= afresh * 1.25 + 4, taken
    # and a window summed afresh is, on ordinary data, summed about the mean its sums give (one
    # pass), not about the value nearest its mean (three)
    assert taken.get("moments_near", 0) >= 0.9 * afresh, taken


@pytest.mark.parametrize("call", [lambda v, x: v.py_alma(x, 1000, 0.85, 6.0), lambda v, x: v.py_pwma(x, 20_000)])
def test_windows_beside_a_bad_print_are_taken_again_by_transform_not_one_by_one(lib, call):
    # The print spoils the bound of its pair of segments; the windows that do not hold it are
    # served again by segments of their own bars, and none is left to its direct sum.
    x = CLOSE * 8
    x[17_000] = 1e12
    floor.fast_paths()
    call(lib, x)
    taken = floor.fast_paths()
    assert taken.get("transform_run_again", 0) >= 1 and taken.get("transform_window_summed", 0) == 0, taken


def test_counts_start_again_and_name_only_paths_taken(lib):
    floor.fast_paths()
    assert floor.fast_paths() == {}
    lib.py_sma([1.0, 2.0, 3.0], 2)  # shorter than one block of the input scan: no path taken
    assert floor.fast_paths() == {}


def falls(count):
    """Ordinary bars, then `count` falls of 2,000 bars each on a new low with its close at that
    low (raw %K exactly 0, so the stochastic's windows fill with zeros), ordinary bars between."""
    high, low, close = (list(s) for s in random_bars(300, seed=11))
    for f in range(count):
        x = min(low)
        for _ in range(2000):
            x -= 0.01
            high.append(x + 1.0), low.append(x), close.append(x)
        if f + 1 < count:
            shift = min(low) - 110.0
            for out, part in zip((high, low, close), random_bars(300, seed=12 + f)):
                out.extend(v + shift for v in part)
    return high, low, close


def streamed(params):
    def run(lib, bars):
        update = lib.OnlineStochastic(*params).update
        for bar in zip(*bars):
            update(*bar)
    return run


def fed(make):
    """A streaming average fed ordinary values, then 2,000 zeros, as often as the falls come."""
    def run(lib, bars):
        update = make(lib).update
        for value in CLOSE[:300] + ([0.0] * 2000 + CLOSE[:300]) * (len(bars[0]) // 2000):
            update(value)
    return run


# (a streaming window, its looks for a nonzero term over one fall: one for each window the
# zeros fill; a window of one bar is summed afresh on every slide and never looks). Only the
# windows that settle out of line count their looks: the series kernels inline the same code.
ZERO_RUNS = {
    "stochastic, long %K window": (streamed((5, 50, 3)), 2),
    "stochastic, long %D window": (streamed((5, 3, 50)), 2),
    "stochastic, %D of one bar": (streamed((5, 2, 1)), 1),
    "simple mean": (fed(lambda lib: lib.OnlineSMA(50)), 1),
}


@pytest.mark.parametrize("count", [1, 2])
@pytest.mark.parametrize("name", ZERO_RUNS)
def test_a_run_of_zeros_is_looked_at_once(lib, name, count):
    run, looks = ZERO_RUNS[name]
    bars = falls(count)
    floor.fast_paths()
    run(lib, bars)
    assert floor.fast_paths().get("zero_window_looks", 0) == looks * count


@pytest.mark.parametrize("vp, data", [(200, "walk"), (1000, "walk"), (50, "ticks"), (100, "spikes")])
def test_adaptive_rsi_sums_its_volatility_window_afresh_once_a_window(lib, vp, data):
    # The period comes from a running sum of the absolute changes and a bound on its error;
    # the window is summed afresh once every vp slides, and otherwise only where the bound
    # cannot tell the period.
    closes = CLOSE * 4
    if data == "ticks":
        closes = [round(c, 2) for c in closes]
    elif data == "spikes":
        closes = [c * 1e9 if i % 97 == 0 else c for i, c in enumerate(closes)]
    update = lib.OnlineAdaptiveRSI(7, 21, vp).update
    floor.fast_paths()
    for c in closes:
        update(c)
    slides = len(closes) - 1 - vp
    assert slides // vp <= floor.fast_paths().get("adaptive_rsi_resums", 0) <= slides // vp + 10

