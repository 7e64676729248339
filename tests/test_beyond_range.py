"""Plain window sums over values near the top of the double range: windows beyond the range
read NaN, windows that fit read their sums, and once the huge values have left every window
equals a fresh start on the bars after them, batch and stream alike. (Their cost is timed in
bench/hostile_range.py, never here.)"""
import math
import struct
from fractions import Fraction

import pytest

import vorn_library.vorn_library as vl
from conftest import nan_equal

NAN = float("nan")
P = 20


def prices(n, scale=1.0, seed=0):
    return [(100.0 + 10.0 * math.sin(k / 37.0 + seed) + math.sin(k * 1.3 + seed)) * scale for k in range(n)]


def volumes(n, scale=1.0):
    return [1e6 * (1.5 + math.sin(k / 11.0)) * scale for k in range(n)]


def streamed(period, values):
    s = vl.OnlineSMA(period)
    return [NAN if r is None else r for r in (s.update(x) for x in values)]


def bits(xs):
    return [b"nan" if math.isnan(x) else struct.pack("<d", x) for x in xs]


# (label, function of a bars dict, the series the hostile stretch goes into, windows of the
# fresh start to leave out: the money-flow index's first flow needs the bar before it)
CASES = [
    ("py_sum", lambda b: vl.py_sum(b["close"], P), "close", 0),
    ("py_sma", lambda b: vl.py_sma(b["close"], P), "close", 0),
    ("py_wma", lambda b: vl.py_wma(b["close"], P), "close", 0),
    ("py_hma", lambda b: vl.py_hma(b["close"], P), "close", 0),
    ("py_trima", lambda b: vl.py_trima(b["close"], P), "close", 0),
    ("OnlineSMA", lambda b: streamed(P, b["close"]), "close", 0),
    ("py_cmf", lambda b: vl.py_cmf(b["high"], b["low"], b["close"], b["volume"], P), "volume", 0),
    ("py_mfi", lambda b: vl.py_mfi(b["high"], b["low"], b["close"], b["volume"], P), "volume", P),
    ("py_vwap", lambda b: vl.py_vwap(b["high"], b["low"], b["close"], b["volume"], P), "volume", 0),
]

# Hostile stretches: every window of P bars beyond the range; sums that fit beside weights that
# do not; squares beyond the range (the weighted means' weight); windows at the edge, whose
# slide (the entering term added first) overflows on the way.
STRETCHES = {
    "above max/p": lambda k: 4.0 / P * 1e308 * (1.0 + 0.25 * math.sin(k)),
    "1e308": lambda k: 1e308,
    "alternating": lambda k: 1e308 if k % 2 else -1e308,
    "squares": lambda k: 1e200 * (1.0 + 0.25 * math.sin(k)),
    "edge": lambda k: 1.7976e308 / P * (1.0 - 1e-9 * (k % 7)),
}


def bars(n):
    c = prices(n)
    return {"high": [x + 1.0 for x in c], "low": [x - 1.0 for x in c], "close": c, "volume": volumes(n)}


def spoilt(field, stretch, start, length, n):
    b = bars(n)
    f = STRETCHES[stretch]
    for k in range(start, start + length):
        if field == "volume":
            # Volumes near the top of the range; for the flows (price times volume) of the
            # money-flow index and the VWAP, a hundredth of it.
            b["volume"][k] = abs(f(k)) / 100.0
        else:
            b["close"][k] = f(k)
            b["high"][k] = max(b["high"][k], f(k))
            b["low"][k] = min(b["low"][k], f(k))
    return b


@pytest.mark.parametrize("start", [0, 700, 1900], ids=["first window", "mid-series", "across the 2000th slide"])
@pytest.mark.parametrize("stretch", STRETCHES)
@pytest.mark.parametrize("label, fn, field, skip", CASES, ids=[c[0] for c in CASES])
def test_windows_after_the_stretch_equal_a_fresh_start(label, fn, field, skip, stretch, start):
    n, length = 2600, 150
    b = spoilt(field, stretch, start, length, n)
    clean = start + length
    got = fn(b)
    want = fn({k: v[clean:] for k, v in b.items()})
    pairs = [(got[clean + i], w) for i, w in enumerate(want) if i >= skip and not math.isnan(w)]
    assert len(pairs) > (n - clean) // 2
    for g, w in pairs:
        assert abs(g - w) <= 1e-9 * abs(w) + 1e-12, (g, w)


@pytest.mark.parametrize("period", [2, 5, 1000])
@pytest.mark.parametrize("name", ["py_sum", "py_sma", "py_wma", "py_trima"])
def test_a_window_beyond_the_range_reads_nan(name, period):
    out = getattr(vl, name)([1e308] * (3 * period + 5), period)
    # Only a first window whose last addition alone overflowed reads an infinity, as it always
    # did: a window of two 1e308.
    defined = [x for x in out if not (math.isnan(x) or math.isinf(x))]
    assert defined == []
    assert sum(math.isinf(x) for x in out) <= 1


def test_windows_of_1e308_read_nan_and_the_mean_is_back_once_they_leave():
    assert all(math.isnan(x) for x in vl.py_sma([1e308] * 10, 5))
    assert all(math.isnan(x) for x in vl.py_sum([1e308] * 6, 5))
    # Two bars of 1e308 leave and the mean is a number again at once.
    assert nan_equal(vl.py_sma([1e308] * 5 + [1.0] * 10, 5)[9:], [1.0] * 6)


def exact_sum(window):
    return float(sum(Fraction(x) for x in window))


@pytest.mark.parametrize("period", [2, 4, 7])
def test_sums_that_fit_beside_weights_that_do_not_read_their_value(period):
    # 1e308 and -1e308 in turn, with small values between: every window weighs beyond the
    # range, yet its sum fits.
    v = [1e308 if k % 3 == 0 else (-1e308 if k % 3 == 1 else 0.5 * k) for k in range(300)]
    got = vl.py_sum(v, period)
    for i in range(period - 1, len(v)):
        want = exact_sum(v[i + 1 - period : i + 1])
        # A compensated sum of terms this size is exact to about 2^-52 of their magnitudes.
        assert abs(got[i] - want) <= 2e-16 * 1e308 * period, (i, got[i], want)


@pytest.mark.parametrize("period", [3, 20, 50])
def test_weighted_means_whose_squares_leave_the_range_keep_their_value(period):
    v = prices(400, scale=1e200)
    got = vl.py_wma(v, period)
    divisor = Fraction(period * (period + 1), 2)
    for i in range(period - 1, len(v)):
        want = sum(Fraction(j + 1) * Fraction(x) for j, x in enumerate(v[i + 1 - period : i + 1])) / divisor
        assert abs(Fraction(got[i]) - want) <= Fraction(1, 10**12) * abs(want)


@pytest.mark.parametrize("seed", range(6))
def test_the_stream_gives_the_batch_bits_on_hostile_series(seed):
    n, p = 1500, [1, 3, 20, 200, 50, 7][seed]
    v = prices(n, seed=seed)
    for k in range(n):
        r = (k * 7919 + seed * 104729) % 97
        if r < 9:
            v[k] = [1e308, -1e308, 1.7e308, 9e307][r % 4]
        elif r < 18:
            v[k] = 0.0
        elif r < 40:
            v[k] *= 1e305 / p
    assert bits(streamed(p, v)) == bits(vl.py_sma(v, p))


@pytest.mark.parametrize("short,long", [(2, 5), (5, 20), (20, 1000)])
def test_the_volume_oscillator_reads_its_two_means_through_the_range(short, long):
    # Its two means run side by side in one loop of their own; each bar must read exactly
    # what the simple mean reads alone, through a stretch beyond the range and after it.
    # Windows whose sums leave the range over the scaled stretch (the longer ones), and beyond
    # it over the largest values.
    v = volumes(3000) + volumes(4 * long, scale=1e300) + [1.7e308] * (3 * long) + volumes(3000)
    got = vl.py_volume_oscillator(v, short, long)
    s, l = vl.py_sma(v, short), vl.py_sma(v, long)
    want = [NAN if math.isnan(a) or math.isnan(b) else ((a - b) / b) * 100.0 for a, b in zip(s, l)]
    assert bits(got) == bits(want)
    # Defined before the huge values and again after they left, NaN among the largest.
    assert not math.isnan(got[2999]) and not math.isnan(got[-1])
    assert math.isnan(got[3000 + 4 * long + 2 * long])


# Windows at the edge of the range, and windows that go in and out of it every p bars: each
# rebuild tried is a pass over the window, and comes at most about once per p slides
# (utils/beyond_range.hpp), beside the scheduled ones. A test build counts the stream's, which
# makes the series kernels' decisions.
EDGES = {
    "at the edge": lambda k, p: 1.7976e308 / p * (1.0 - 1e-9 * (k % 7)),
    "in and out": lambda k, p: 1.7976e308 / p * (1.0 if (k // p) % 2 else 0.3),
    "around half the limit": lambda k, p: 1.7976e308 / p * (0.5 + 0.49 * math.sin(k / 5)),
    "above max/p": lambda k, p: STRETCHES["above max/p"](k),
}


@pytest.mark.parametrize("p", [5, 20, 100])
@pytest.mark.parametrize("edge", EDGES)
def test_windows_beyond_the_range_try_a_rebuild_once_per_window_length(edge, p):
    floor = pytest.importorskip("vorn_bench_floor", reason="the counts come with an in-place build")
    if floor.fast_paths() is None:
        pytest.skip("this build does not count its paths (configure with VORN_BUILD_TESTS=ON)")
    n, start, length = 6000, 700, 3000
    v = prices(n)
    for k in range(start, start + length):
        v[k] = EDGES[edge](k, p)
    floor.fast_paths()
    streamed(p, v)
    rebuilds = floor.fast_paths().get("online_sma_rebuilds", 0)
    windows = (length + p) / p  # the windows that hold a value of the stretch, in window lengths
    assert rebuilds <= windows + n / 1000 + 2, rebuilds
