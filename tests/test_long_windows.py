"""Long windows: a sliding sum over p bars is summed afresh once in about p slides (every 1000
up to 1000 bars, else p rounded up to a thousand), so its cost does not grow with p, and its
windows keep what short ones promise: the value of the window to rounding, an extreme value
forgotten once it has left, a window of zeros exactly zero, each window independent of how
long the series runs."""
import math
import random

import pytest

import vorn_library.vorn_library as vl
from conftest import nan_equal, random_walk
from reference import exact_sma, exact_wma, rebuild_every, ref_linreg_channel, ref_lines, ref_uo_at, window_slope

NAN = float("nan")


def same_bits(a, b):
    return len(a) == len(b) and all(
        (math.isnan(x) and math.isnan(y)) or (x == y and math.copysign(1, x) == math.copysign(1, y))
        for x, y in zip(a, b)
    )


def offset(n, seed):
    """A level far from zero with small moves: a rebuild on another slide changes the bits."""
    return [1e6 + v * 1e-3 for v in random_walk(n, seed=seed)]


def streamed(obj, values):
    return [NAN if r is None else r for r in (obj.update(x) for x in values)]


@pytest.mark.parametrize("p, every", [(1, 1000), (999, 1000), (1000, 1000), (1001, 2000), (2500, 3000),
                                      (10**4, 10**4)])
def test_rebuild_every(p, every):
    assert rebuild_every(p) == every


@pytest.mark.parametrize("name, model", [("py_sma", exact_sma), ("py_wma", exact_wma)])
@pytest.mark.parametrize("p", [1001, 2500])
def test_long_window_rebuilds_on_the_rounded_period(name, model, p):
    x = offset(p + 3 * rebuild_every(p) + 50, seed=p)
    got = getattr(vl, name)(x, p)
    assert same_bits(got, model(x, p))
    # the data is sensitive to the schedule: the short windows' schedule gives other bits
    assert not same_bits(got, model(x, p, every=1000))


@pytest.mark.parametrize("p", [1, 2, 20, 1001, 2500, 40000])  # 40000: past the windows a weight covers
def test_stream_mean_gives_the_batch_bits_at_any_period(p):
    rng = random.Random(p)
    x = [rng.uniform(0.5, 2) * rng.choice([1.0, 1e6, 1e-3]) for _ in range(p + 2 * rebuild_every(p) + 300)]
    assert nan_equal(streamed(vl.OnlineSMA(p), x), vl.py_sma(x, p))


def window_mean(x, i, p):
    return math.fsum(x[i + 1 - p:i + 1]) / p


@pytest.mark.parametrize("p", [1500, 4000])
def test_long_window_mean_within_its_bound(p):
    # 2^-50 (p + 2 R) times the largest magnitude: the sums' rounding bound at any period
    x = offset(p + 2 * rebuild_every(p) + 500, seed=7)
    got = vl.py_sma(x, p)
    bound = 2.0**-50 * (p + 2 * rebuild_every(p)) * max(x) / p
    for i in range(p - 1, len(x), 37):
        assert abs(got[i] - window_mean(x, i, p)) <= bound


@pytest.mark.parametrize("name", ["py_sum", "py_sma", "py_wma", "OnlineSMA"])
@pytest.mark.parametrize("factor", [1e8, 1e300])
def test_long_window_forgets_an_extreme_value(name, factor):
    # Integers: every sum is exact, so after the extreme value has left, every window equals
    # a fresh start on the bars after it, bit for bit.
    p, at = 1500, 700
    v = [float(100 + (i * 7) % 13) for i in range(6000)]
    v[at] *= factor
    fn = (lambda s: streamed(vl.OnlineSMA(p), s)) if name == "OnlineSMA" else (lambda s: getattr(vl, name)(s, p))
    assert nan_equal(fn(v)[at + p:], fn(v[at + 1:])[p - 1:])


@pytest.mark.parametrize("name", ["py_sum", "py_sma", "OnlineSMA"])
@pytest.mark.parametrize("p", [2000, 40000])
def test_long_window_of_zeros_is_exactly_zero(name, p):
    rng = random.Random(3)
    v = [rng.uniform(1e3, 1e4) for _ in range(3 * p)] + [0.0] * (3 * p) + [rng.uniform(1, 2) for _ in range(50)]
    out = streamed(vl.OnlineSMA(p), v) if name == "OnlineSMA" else getattr(vl, name)(v, p)
    zeros = out[4 * p - 1:6 * p]
    assert zeros == [0.0] * len(zeros)
    assert all(w > 0.0 for w in out[6 * p:])


@pytest.mark.parametrize("name", ["py_sum", "py_sma", "py_wma", "py_ulcer_index", "py_trima"])
@pytest.mark.parametrize("p", [1001, 3000])
def test_a_long_window_does_not_depend_on_the_series_length(name, p):
    x = [100.0 + v for v in random_walk(4 * p + 4000, seed=p)]
    whole = getattr(vl, name)(x, p)
    for m in (p, p + 1, 2 * p + 999, len(x) - 1):
        assert nan_equal(getattr(vl, name)(x[:m], p), whole[:m])


@pytest.mark.parametrize("p", [1, 2, 3])
def test_period_at_the_series_length(p):
    x = offset(p, seed=1)
    assert nan_equal(vl.py_sma(x, p)[-1:], [window_mean(x, p - 1, p)], tol=1e-15)
    assert nan_equal(streamed(vl.OnlineSMA(p), x), vl.py_sma(x, p))


def hostile(n, seed):
    """A random walk around 1000 with a bad print, a level drop to a hundredth and a flat run."""
    x = [1000.0 + v for v in random_walk(n, seed=seed)]
    x[n // 5] = 1e9
    for i in range(n // 2, n):
        x[i] /= 100.0
    for i in range(3 * n // 4, 3 * n // 4 + n // 10):
        x[i] = x[3 * n // 4]
    return x


@pytest.mark.parametrize("p, n", [(2, 400), (3, 400), (20, 3000), (1000, 9000), (5000, 24000), (60, 60)])
def test_slope_within_its_bound_of_the_window_slope(p, n):
    x = hostile(n, seed=p)
    got = vl.py_slope(x, p)
    assert all(math.isnan(v) for v in got[:p - 1])
    for i in list(range(p - 1, n, max(1, n // 300))) + [n - 1]:
        want, scale = window_slope(x[i + 1 - p:i + 1])
        # exact relative to itself: 2^-36 + p 2^-42 of its scale, with room for the last division
        assert abs(got[i] - want) <= (2.0**-35 + p * 2.0**-41) * scale, (i, got[i], want)


def test_slope_of_one_bar_and_of_a_line():
    assert all(math.isnan(v) for v in vl.py_slope([1.0, 2.0, 3.0], 1))
    line = [3.0 + 0.5 * k for k in range(5000)]
    assert vl.py_slope(line, 2500)[2499:] == [0.5] * 2501
    flat = [7.25] * 4000
    assert vl.py_slope(flat, 1500)[1499:] == [0.0] * 2501


def hostile_bars(n, seed):
    """High, low, close around a hostile close (bad print, level drop, flat run)."""
    c = hostile(n, seed)
    rng = random.Random(seed)
    h = [x * (1 + rng.uniform(0, 0.004)) for x in c]
    lo = [x * (1 - rng.uniform(0, 0.004)) for x in c]
    return h, lo, c


@pytest.mark.parametrize("periods, n", [((7, 14, 28), 400), ((33, 2, 1), 400), ((1, 2, 100), 3000),
                                        ((2000, 14, 28), 9000), ((7, 5000, 1200), 20000), ((5, 9, 59), 60)])
def test_ultimate_oscillator_within_rounding_of_its_windows(periods, n):
    h, lo, c = hostile_bars(n, seed=n)
    got = vl.py_ultimate_oscillator(h, lo, c, *periods)
    first = max(periods)
    assert all(math.isnan(v) for v in got[:first])
    for i in list(range(first, n, max(1, n // 250))) + [n - 1]:
        assert abs(got[i] - ref_uo_at(h, lo, c, periods, i)) <= 1e-9, i


def dyadic_bars(n, seed):
    """Prices on a grid of 1/8 (every sum of bodies exact), with a bad print's huge body, a
    level drop and a run of bars without body."""
    rng = random.Random(seed)
    o, h, lo, c = [], [], [], []
    level = 4000.0
    for i in range(n):
        if i == n // 2:
            level = 40.0
        op = level + rng.randrange(-64, 64) / 8
        cl = op + rng.choice([rng.randrange(-40, 40), rng.randrange(-400, 400)]) / 8
        if i == n // 5:
            cl = op + 2.0**38
        if 3 * n // 4 <= i < 3 * n // 4 + 300:
            cl = op
        o.append(op), c.append(cl)
        h.append(max(op, cl) + rng.randrange(0, 80) / 8)
        lo.append(min(op, cl) - rng.randrange(0, 80) / 8)
    return o, h, lo, c


@pytest.mark.parametrize("lookback, n", [(0, 50), (1, 400), (2, 400), (10, 3000), (40, 3000), (1500, 8000), (6999, 7000),
                                         (7000, 7000)])
def test_lines_against_the_mean_body_of_long_look_backs(lookback, n):
    o, h, lo, c = dyadic_bars(n, seed=lookback)
    want_long, want_short = ref_lines(o, h, lo, c, lookback)
    assert vl.py_long_line(o, h, lo, c, lookback) == want_long
    assert vl.py_short_line(o, h, lo, c, lookback) == want_short


@pytest.mark.parametrize("p", [20, 33, 40, 300])
def test_linreg_channel_of_long_windows_sells_on_flat_windows(p):
    # Two dips onto a demand zone at 100, a plateau at 110 beside a supply zone at 111.5 (p + 4
    # bars: five fully flat windows), then a plunge to 100.5 below the lower band: a buy.
    close = [110, 108, 106, 104, 102, 100.5, 102, 104, 106, 108, 111, 108, 106, 104, 102, 101, 100.5, 101,
             102, 104, 106, 108] + [110.0] * (p + 4) + [100.5, 103, 106, 109, 110]
    high, low = [c + 1 for c in close], [c - 1 for c in close]
    low[5] = low[16] = 100.0
    high[10] = 111.5
    volume = [5.0 if abs(c - 100.5) < 1 else 1.0 for c in close]
    buy, sell, stop, target = vl.py_linreg_supply_demand_signals(high, low, close, volume, p, 0.02)
    # a flat window's line is its value and its error 0: the close sits on both bands
    flat = list(range(22 + p - 1, 22 + p + 4))
    assert [i for i, s in enumerate(sell) if s] == flat
    assert all(target[i] == 110.0 for i in flat)
    plunge = 22 + p + 4
    line, band = ref_linreg_channel(close, plunge, p)
    assert line - band >= 100.5
    assert [i for i, b in enumerate(buy) if b] == [plunge]
    assert target[plunge] == pytest.approx(line, rel=1e-12)
