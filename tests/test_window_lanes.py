"""Window sums run in lanes (the stretches between rebuilds side by side) give bit for bit what
one window at a time gives: vortex, choppiness, ulcer index, mass index, VHF and inertia's RVI
averages against their one-window-at-a-time form, built from the shared rolling kernels in a native test program
(tests/native/window_lanes.cpp)."""
import numpy as np
import pytest

from conftest import native_program


@pytest.fixture(scope="module")
def compare():
    run = native_program("window_lanes")

    def call(kind, high, low, close, period, aux=0):
        values = " ".join(repr(float(x)) for s in (high, low, close) for x in s)
        (line,) = run(f"{kind} {period} {aux} {len(high)} {values}")
        return line

    return call


def walk(n, seed=3):
    rng = np.random.default_rng(seed)
    close = 100.0 * np.exp(np.cumsum(rng.normal(0, 0.01, n)))
    return close * (1 + rng.uniform(0, 0.004, n)), close * (1 - rng.uniform(0, 0.004, n)), close


def spiked(n, at, scale=1e9):
    """One huge bar: once it leaves the window, the weight of that window's lane asks for a rebuild."""
    high, low, close = walk(n)
    high[at] *= scale
    close[at] *= scale / 10
    return high, low, close


def overflowing(n, at, width=300):
    """Bars whose sums overflow: a lane's state turns non-finite, and the whole series is
    computed one window at a time."""
    high, low, close = walk(n)
    high[at : at + width], low[at : at + width] = 1e307, -1e307
    # Drawdowns from a tiny highest close: squares near 1.7e306, 180 of them in a window.
    close[at : at + width] = -1.3e11
    close[at : at + width : 10] = 1e-140
    return high, low, close


def overflowing_between_additions(n, at, width=300):
    """Windows summing to 1.6e308, whose slides add the entering 8e307 before the leaving one
    goes: the sum overflows on the way while the window's weight stays finite, so only the
    lane's state shows it."""
    high, low, close = walk(n)
    high[at : at + width], low[at : at + width], close[at : at + width] = 8e307, 0.0, 0.0
    # Drawdowns of 8e307 from a tiny highest close, two in every window of three bars.
    close[at + width : at + 2 * width] = -8.94e11
    close[at + width : at + 2 * width : 3] = 1e-140
    return high, low, close


# Stretches of 1000 slides (up to windows of 1000 bars) start at bar period - 1; a group of lanes spans 4 stretches for the
# vortex sums and 8 for the others, then pairs of stretches, then one stretch in both halves.
KINDS = [("vortex", 0), ("choppiness", 0), ("ulcer", 0), ("mass", 2)]


@pytest.mark.parametrize("kind, aux", KINDS)
@pytest.mark.parametrize(
    "n, period",
    [
        (4, 2),  # shorter than a pair of lanes
        (1200, 7),  # one whole stretch and a short one
        (4006, 7),  # exactly one group of four stretches
        (8010, 11),  # one group of eight stretches and a short one
        (19500, 13),  # groups, a pair of whole stretches, a short one
        (9000, 1001),  # stretches of 2000 windows, as long as the window rounded up to a thousand
        (21000, 2500),  # a group of stretches of 3000, then a pair
    ],
)
def test_lanes_match_one_window_at_a_time(compare, kind, aux, n, period):
    line = compare(kind, *walk(n, seed=n), period, aux)
    assert line.startswith("same ") and int(line.split()[1]) >= n - 2 * period - 2 * aux


@pytest.mark.parametrize("kind, aux", KINDS)
@pytest.mark.parametrize(
    "at",
    [
        13 + 2 * 1000 + 400,  # a rebuild inside the third lane only
        12 + 4 * 1000 - 1,  # the last slide of the fourth stretch
        12 + 7 * 1000 + 1,  # the first slide of the eighth
        12 + 8 * 1000,  # a stretch's first bar, already a rebuild
        12 + 17 * 1000 + 500,  # the pair of whole stretches
        19490,  # the short last stretch
    ],
)
def test_rebuild_in_one_lane(compare, kind, aux, at):
    assert compare(kind, *spiked(19500, at - 13), 13, aux).startswith("same ")


@pytest.mark.parametrize("kind, aux", KINDS)
@pytest.mark.parametrize("at", [1499 + 2 * 2000 + 700, 1499 + 4 * 2000, 1499 + 9 * 2000 - 1])
def test_rebuild_in_one_lane_of_long_windows(compare, kind, aux, at):
    # Windows of 1500 bars: stretches of 2000 from bar 1499.
    assert compare(kind, *spiked(24000, at - 1500), 1500, aux).startswith("same ")


@pytest.mark.parametrize("kind, aux", KINDS)
@pytest.mark.parametrize("at", [100, 5200, 17000])
def test_overflowing_windows(compare, kind, aux, at):
    assert compare(kind, *overflowing(19500, at), 200, aux).startswith("same ")


@pytest.mark.parametrize("kind, period", [("vortex", 2), ("choppiness", 2), ("ulcer", 3)])
@pytest.mark.parametrize("at", [100, 9500])
def test_sum_overflowing_between_its_additions_falls_back(compare, kind, period, at):
    assert compare(kind, *overflowing_between_additions(19500, at), period).startswith("same ")


# The VHF's sums rebuild on the 1000th slide; the placements below also cover stretches of 1001.
# Inertia: its RVI's averages run in lanes (aux: the RVI period).
LINE_KINDS = [("vhf", 0), ("inertia", 2), ("inertia", 14)]


def close_overflowing(n, at, width=300):
    """Closes of +-1e307: the line sums, the deviations, the VHF's changes and the RVI's bodies
    overflow, a lane's state turns non-finite and the whole series is computed one window at a
    time."""
    high, low, close = walk(n)
    close[at : at + width] = 1e307 * (-1.0) ** np.arange(width)
    return high, low, close


@pytest.mark.parametrize("kind, aux", LINE_KINDS)
@pytest.mark.parametrize("n, period", [(4, 2), (5, 3), (1200, 7), (4006, 7), (8010, 11), (19500, 13), (9000, 1001)])
def test_line_kinds_match_one_window_at_a_time(compare, kind, aux, n, period):
    line = compare(kind, *walk(n, seed=n), period, aux)
    assert line.startswith("same ") and int(line.split()[1]) >= n - 2 * period - 2 * aux - 4


@pytest.mark.parametrize("kind, aux", LINE_KINDS)
@pytest.mark.parametrize(
    "at",
    [
        13 + 2 * 1001 + 400,  # inside the third stretch of 1001 (of 1000: also the third)
        12 + 4 * 1001 - 1,  # the last slide of the fourth stretch of 1001
        12 + 4 * 1000 + 1,  # the first slide of the fifth stretch of 1000
        12 + 8 * 1001,  # a stretch's first bar
        12 + 17 * 1000 + 500,  # the pair of whole stretches
        19490,  # the short last stretch
    ],
)
def test_line_kinds_rebuild_in_one_lane(compare, kind, aux, at):
    line = compare(kind, *spiked(19500, at - 13), 13, aux)
    assert line.startswith("same ") and int(line.split()[1]) > 19000


@pytest.mark.parametrize("kind, aux", LINE_KINDS)
@pytest.mark.parametrize("at", [100, 5200, 17000])
def test_line_kinds_overflowing(compare, kind, aux, at):
    assert compare(kind, *close_overflowing(19500, at), 20, aux).startswith("same ")


def whole_bodies(n, seed):
    """Rising bars that open on the last close at their low and close on their high, about a
    third with a low one ulp below the open: the RVI's line lies a hair below 1 and rounding
    carries it past, where the RVI confines what it shows but inertia reads it as formed."""
    rng = np.random.default_rng(seed)
    close = 1.1 * np.cumprod(1.0 + rng.uniform(0.001, 0.01, n))
    low = np.r_[1.1, close[:-1]]
    wider = rng.random(n) < 0.3
    low[wider] = np.nextafter(low[wider], 0.0)
    return close, low, close


@pytest.mark.parametrize("seed", range(4))
@pytest.mark.parametrize("rvi_period, period", [(3, 5), (9, 12)])
def test_inertia_regresses_the_rvi_line_as_formed(compare, seed, rvi_period, period):
    line = compare("inertia", *whole_bodies(2000, seed), period, rvi_period)
    assert line.startswith("same ") and int(line.split()[1]) > 1950


def ratio_run(n, ratio, p, seed=5):
    """Magnitudes between 1 and `ratio`, log-uniform, a run of the largest in the middle."""
    rng = np.random.default_rng(seed)
    close = ratio ** rng.uniform(0.0, 1.0, n)
    close[n // 2 : n // 2 + p] = ratio
    close[n // 2 + p : n // 2 + 3 * p] = 1.0
    return close


def one_outlier(n, ratio, at):
    close = np.ones(n)
    close[at] = ratio
    return close


# (close, period, whether the glance may skip the plan). Skipping is right only when the
# plan asks for nothing; the close cases sit at and just past the spread it allows (2^19).
PLAN_CASES = [
    (walk(19500, seed=4)[2], 13, True),
    (walk(200000, seed=4)[2], 14, True),  # a wide range over the series, a narrow one per stretch
    (walk(9000, seed=4)[2], 1500, True),  # long windows, in stretches of 2000
    (ratio_run(6000, 2.0**19, 1), 1, True),
    (ratio_run(6000, 2.0**19, 7), 7, True),
    (one_outlier(6000, 2.0**19, 3000), 1, True),
    (one_outlier(6000, 2.0**19, 3000), 9, True),
    (one_outlier(6000, 2.0**19 * 1.01, 3000), 1, False),
    (one_outlier(6000, 2.0**21, 3000), 1, False),  # outweighs: the plan asks
    (one_outlier(6000, 2.0**30, 3000), 50, False),
    (one_outlier(6000, 2.0**30, 2), 9, False),  # in the first window, before its stretch's bar
    (spiked(19500, 7000)[2], 13, False),
    (np.r_[np.ones(3000), np.zeros(5), np.ones(3000)], 5, False),  # a window of zero magnitudes
    (np.r_[np.ones(3000), np.zeros(1), np.ones(3000)], 1, False),
    (np.r_[np.ones(3000), np.zeros(1), np.ones(3000)], 5, True),  # every run of 3 weighs 2 at least
    (np.r_[np.ones(3001), [1e-7, 1e-7], np.ones(3000)], 4, True),  # across two runs of 2
    (np.r_[np.ones(3000), [1e-7] * 3, np.ones(3000)], 4, False),  # a run of 2 that weighs 2e-7
    (np.r_[np.ones(3001), [1e-7] * 4, np.ones(3000)], 4, False),  # a window, off the runs of 4
    (np.r_[np.ones(3000), [1e307] * 20, np.ones(3000)], 5, False),
]


@pytest.mark.parametrize("case", range(len(PLAN_CASES)))
def test_glance_skips_only_plans_that_ask_nothing(compare, case):
    close, period, may_skip = PLAN_CASES[case]
    line = compare("plan", close, close, close, period)
    _, quiet, asked = line.split()
    assert quiet == ("1" if may_skip else "0")
    if quiet == "1":
        assert asked == "0"
    if case in (8, 9, 10, 11):
        assert int(asked) > 0  # these do ask, so the glance must not skip them


@pytest.mark.parametrize("p", [1, 2, 3, 5, 8, 13, 40])
def test_glance_never_skips_a_plan_that_asks(compare, p):
    # Runs of ordinary values broken by bursts of tiny and huge ones, at every scale around
    # the spreads the glance and the weights allow: whenever the glance skips the plan, the
    # plan asks for nothing.
    rng = np.random.default_rng(p)
    skipped = asked = 0
    for spread in [0.5, 2.0, 2.8, 3.5, 6.0, 9.0] * 3:
        close = 1.0 + rng.uniform(0.0, 1.0, 4000)
        for at in rng.integers(0, 3990, 6):
            close[at : at + rng.integers(1, 2 * p + 2)] = 10.0 ** rng.uniform(-spread, spread)
        _, quiet, count = compare("plan", close, close, close, p).split()
        if quiet == "1":
            skipped += 1
            assert count == "0"
        asked += count != "0"
    assert skipped > 0 and asked > 0
