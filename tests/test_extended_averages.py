"""ALMA, PWMA, SINWMA, SWMA, VWMA and VIDYA.

The fixed-weight averages and VWMA recompute each window with plain sums in bar order, so
a Python reference doing the same float operations in the same order matches bit for bit.
PWMA's long periods are checked against exact rational arithmetic."""
import math
from fractions import Fraction

import numpy as np
import pytest
from numpy.lib.stride_tricks import sliding_window_view

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, native_program, random_walk, value_error
from reference import (alma_raw, binomial_row, binomial_weights, long_double_dft, long_double_windows,
                       normalised_weights, sine_raw, triangle_raw, weighted_windows)

NAN = math.nan
N = 2500


@pytest.fixture(scope="module")
def close():
    return random_walk(N, seed=31)


@pytest.mark.parametrize("period", [1, 2, 3, 9, 10, 31])
@pytest.mark.parametrize("offset, sigma", [(0.85, 6.0), (0.5, 2.0), (0.0, 0.0), (1.3, -4.0)])
def test_alma_matches_window_arithmetic(close, period, offset, sigma):
    want = weighted_windows(close, normalised_weights(alma_raw(period, offset, sigma)), period - 1)
    assert nan_equal(vl.py_alma(close, period, offset, sigma), want)


@pytest.mark.parametrize("period", [1, 2, 5, 12, 64, 84])
def test_pwma_bit_for_bit_where_no_tail_is_dropped(close, period):
    want = weighted_windows(close, normalised_weights(binomial_row(period)), period - 1)
    assert nan_equal(vl.py_pwma(close, period), want)


def test_pwma_long_period_is_the_exact_binomial_average(close):
    """Unscaled, the weights' sum overflows from period 1025 (0.0 then NaN everywhere)."""
    p = 2000
    coeffs = [math.comb(p - 1, j) for j in range(p)]
    total = 2 ** (p - 1)
    got = vl.py_pwma(close, p)
    assert first_defined(got) == p - 1
    for i in (p - 1, p, 2217, N - 1):
        exact = Fraction(sum(c * Fraction(x) for c, x in zip(coeffs, close[i - p + 1:i + 1])), total)
        assert got[i] == pytest.approx(float(exact), rel=1e-13, abs=0)
    for p in (1025, 1031):
        assert not math.isnan(vl.py_pwma(close, p)[-1]) and vl.py_pwma(close, p)[-1] > 50


@pytest.mark.parametrize("period", [1, 2, 14, 20, 50, 64])
def test_sinwma_matches_window_arithmetic(close, period):
    assert nan_equal(vl.py_sinwma(close, period), weighted_windows(close, normalised_weights(sine_raw(period)), period - 1))


@pytest.mark.parametrize("period", [1, 4, 6, 7, 20, 64])
def test_swma_matches_window_arithmetic_from_index_period(close, period):
    got = vl.py_swma(close, period)
    assert nan_equal(got, weighted_windows(close, normalised_weights(triangle_raw(period)), period))
    assert first_defined(got) == period


# name: (call, normalised weights, first written index) of a fixed-weight average of period p
FIXED_WEIGHT = {
    "alma": (lambda x, p: vl.py_alma(x, p, 0.85, 6.0), lambda p: alma_raw(p, 0.85, 6.0), lambda p: p - 1),
    "pwma": (vl.py_pwma, binomial_row, lambda p: p - 1),
    "sinwma": (vl.py_sinwma, sine_raw, lambda p: p - 1),
    "swma": (vl.py_swma, triangle_raw, lambda p: p),
}
# Signs and magnitudes from 1e-6 to 1e6 side by side, so that a window summed in any other
# order (or any other grouping) than from its oldest bar differs in its last bits.
MIXED = [(-1) ** (i % 3) * 10.0 ** ((i * 7) % 13 - 6) * (1 + i / 7) for i in range(64)]


# Windows are summed in blocks of eight neighbours and the rest one at a time: every count of
# windows around a block's edges, each window bit for bit its own plain sum from the oldest bar.
@pytest.mark.parametrize("name", FIXED_WEIGHT)
@pytest.mark.parametrize("period", [1, 3, 14])
@pytest.mark.parametrize("windows", [1, 2, 7, 8, 9, 15, 16, 17, 31])
def test_window_counts_around_a_block_bit_for_bit(name, period, windows):
    call, raw, first = FIXED_WEIGHT[name]
    x = MIXED[:first(period) + windows]
    want = weighted_windows(x, normalised_weights(raw(period)), first(period))
    got = call(x, period)
    assert sum(not math.isnan(v) for v in got) == windows
    assert nan_equal(got, want)


# Long windows: the sine and triangle sums slide, the binomial ones drop tails of at most
# 2^-83 of their weight, the binomial band and the Gaussian weights are summed by transform. Each window within its stated bound of a long-double sum with the
# weights the definition gives (exact binomials for PWMA), on ordinary bars, bad prints and a
# level dropping a millionfold, at the windows next to each print's leaving and the drop.
def long_series(kind, n):
    x = random_walk(n, seed=47)
    if kind == "bad prints":
        for k in range(n // 5, n, n // 3):
            x[k] = 1e12
    elif kind == "level drop":
        x = x[: n // 2] + [v * 1e-6 for v in x[n // 2 :]]
    return x


def bound(name, p, weight, largest):
    if name == "pwma":  # the dropped tails, the transform, the float weights' own rounding
        return (2.0**-83 + 2.0**-36 + 2.0**-53 * (3100 + 24 * math.sqrt(p))) * largest
    if name == "alma":  # the transform, or a window's plain sum (the same float weights)
        return (max(2.0**-36, 2.0**-47 * p) + 2.0**-53 * p) * largest
    return 2.0**-44 * weight


@pytest.mark.parametrize("name", ["sinwma", "swma", "pwma", "alma"])
@pytest.mark.parametrize("kind", ["ordinary", "bad prints", "level drop"])
@pytest.mark.parametrize("period, n", [(1, 300), (2, 300), (20, 300), (65, 600), (128, 900), (1000, 6000),
                                       (10_000, 40_000), (100_000, 250_000), (3000, 3000)])
def test_long_windows_within_their_bound_of_a_long_double_sum(name, kind, period, n):
    call, raw, first = FIXED_WEIGHT[name]
    x = long_series(kind, n)
    got = call(x, period)
    if name == "pwma":
        w = binomial_weights(period, int(10 * math.sqrt(period)) + 10)
    else:
        w = normalised_weights(raw(period))
    f = first(period)
    events = [k for k in range(n) if x[k] == 1e12] + [n // 2]
    ends = {f, f + 1, n - 1} | {i for e in events for i in (e - 1, e, e + period - 1, e + period, e + period + 1)}
    ends |= set(range(f, n, max(1, (n - f) // 40)))
    ends = sorted(i for i in ends if f <= i < n)
    for i, (want, weight, largest) in zip(ends, long_double_windows(x, w, ends)):
        tol = bound(name, period, weight, largest) + period * 2.0**-63 * weight  # and the reference's own
        assert abs(got[i] - want) <= tol, (i, got[i], want, tol)
    assert all(math.isnan(v) for v in got[:f])


# The Gaussian's width and place do not matter to the transform: a flat window, one centred,
# one a few bars wide at the newest bar, and one mirrored by a negative sigma, near bad prints.
@pytest.mark.parametrize("offset, sigma", [(0.85, 0.0), (0.5, 100.0), (1.0, 3e4), (1.3, -4.0)])
def test_alma_long_window_shapes_within_their_bound(offset, sigma):
    p, x = 2000, long_series("bad prints", 9000)
    got = vl.py_alma(x, p, offset, sigma)
    w, ends = normalised_weights(alma_raw(p, offset, sigma)), list(range(p - 1, len(x), 37))
    for i, (want, weight, largest) in zip(ends, long_double_windows(x, w, ends)):
        assert abs(got[i] - want) <= bound("alma", p, weight, largest) + p * 2.0**-63 * weight, (i, got[i], want)


def test_alma_long_window_whose_weights_all_underflow_is_nan():
    got = vl.py_alma(random_walk(900), 300, 0.33, 1e300)
    assert all(math.isnan(v) for v in got)


# The transform behind the long binomial windows: forward, and back from its bit-reversed
# spectrum (times N), each within log2(N) * 8 * 2^-53 * sqrt(N) |z| of the exact transform in
# the 2-norm; on prices, a bad print among them, and a lone spike.
@pytest.mark.parametrize("n", [2, 8, 256, 1024])
@pytest.mark.parametrize("kind", ["prices", "bad print", "spike"])
def test_transform_within_its_bound_of_a_long_double_dft(n, kind):
    re = np.array(random_walk(n, seed=n)) if kind != "spike" else np.zeros(n)
    im = np.array(random_walk(n, seed=n + 1)) if kind != "spike" else np.zeros(n)
    if kind != "prices":
        re[n // 3] = 1e12
    forward, back = native_program("fft")(f"{n} " + " ".join(f"{float(a)!r} {float(b)!r}" for a, b in zip(re, im)))
    got = np.array([float.fromhex(v) for v in forward.split()]).reshape(n, 2)
    want_re, want_im = long_double_dft(re + 1j * im)
    bound = math.log2(n) * 8 * 2.0**-53 * math.sqrt(n) * math.hypot(np.linalg.norm(re), np.linalg.norm(im))
    assert float(np.sqrt(np.sum((got[:, 0] - want_re) ** 2 + (got[:, 1] - want_im) ** 2))) <= bound
    round_trip = np.array([float.fromhex(v) for v in back.split()]).reshape(n, 2) / n
    assert float(np.sqrt(np.sum((round_trip[:, 0] - re) ** 2 + (round_trip[:, 1] - im) ** 2))) <= 2 * bound / math.sqrt(n)


@pytest.mark.parametrize("name", ["sinwma", "swma", "pwma", "alma"])
def test_long_windows_of_zeros_read_zero_and_of_positive_values_never_below(name):
    call, _, first = FIXED_WEIGHT[name]
    p = 500
    x = [1e12 if k % 97 == 0 else 100.0 + k % 13 for k in range(3 * p)] + [0.0] * (2 * p) + [1e-300] * p
    got = call(x, p)
    assert all(v == 0.0 and math.copysign(1.0, v) == 1.0 for v in got[4 * p : 5 * p])
    assert all(v >= 0.0 for v in got[first(p):])
    assert got[-1] == pytest.approx(1e-300, rel=1e-12)


def test_swma_hand_traced_and_triangle_shapes():
    assert triangle_raw(7) == [1, 2, 3, 4, 3, 2, 1] and triangle_raw(6) == [1, 2, 3, 3, 2, 1]
    v = [float(x) for x in range(10)]
    got = vl.py_swma(v, 7)
    assert all(math.isnan(x) for x in got[:7])
    assert got[7] == pytest.approx((1 * 1 + 2 * 2 + 3 * 3 + 4 * 4 + 3 * 5 + 2 * 6 + 1 * 7) / 16)
    assert all(math.isnan(x) for x in vl.py_swma(v, 10))


def test_period_one_and_period_len():
    v = [3.0, -1.5, 2.25, 8.0]
    for fn in (vl.py_pwma, vl.py_sinwma):
        assert fn(v, 1) == v
        assert nan_equal(fn(v, 4)[:3], [NAN] * 3) and not math.isnan(fn(v, 4)[3])
    assert vl.py_alma(v, 1, 0.85, 6.0) == v
    assert nan_equal(vl.py_alma(v, 4, 0.85, 6.0)[:3], [NAN] * 3) and not math.isnan(vl.py_alma(v, 4, 0.85, 6.0)[3])
    # one window of four: (3 * 1 - 1.5 * 2 + 2.25 * 3 + 8 * 4) / (1 + 2 + 3 + 4)
    assert nan_equal(vl.py_vwma(v, [1.0, 2.0, 3.0, 4.0], 4), [NAN] * 3 + [3.875])
    assert nan_equal(vl.py_swma(v, 1), [NAN] + v[1:])


def test_alma_special_parameters():
    v = random_walk(40, seed=3)
    sma = vl.py_sma(v, 9)
    assert nan_equal(vl.py_alma(v, 9, 0.85, 0.0), sma, tol=1e-13)  # sigma 0: equal weights
    # offset 0.5 over 3 bars: symmetric weights, so a reversed window gives the same value
    window = [1.0, 5.0, 2.0]
    assert vl.py_alma(window, 3, 0.5, 6.0)[2] == vl.py_alma(window[::-1], 3, 0.5, 6.0)[2]
    assert vl.py_alma(window, 3, 0.85, 6.0)[2] != vl.py_alma(window[::-1], 3, 0.85, 6.0)[2]
    assert all(math.isnan(x) for x in vl.py_alma(v, 9, 0.33, 1e300))  # every weight underflows
    assert nan_equal(vl.py_alma(v, None, None, None), vl.py_alma(v, 9, 0.85, 6.0))


# ---- VWMA ---------------------------------------------------------------------------------


def test_vwma_against_window_sums(close):
    vol = [float(1 + (i * 7919) % 13) for i in range(N)]
    got = vl.py_vwma(close, vol, 20)
    cv = np.asarray(close) * np.asarray(vol)
    want = [NAN] * 19 + list(sliding_window_view(cv, 20).sum(-1) / sliding_window_view(np.asarray(vol), 20).sum(-1))
    assert nan_equal(got, want, tol=1e-12)
    assert nan_equal(vl.py_vwma(close, vol, None), got)


@pytest.mark.parametrize("period", [1, 2, 7, 20])
@pytest.mark.parametrize("extra", range(0, 10))
def test_vwma_window_sums_in_bar_order(period, extra):
    # Windows go eight at a time with a tail of up to seven: every tail length, each window
    # summed from its oldest bar exactly as a plain loop sums it.
    n = period + 8 + extra
    close = random_walk(n, seed=extra)
    vol = [float((i * 37) % 11) - 1.0 for i in range(n)]
    want = [NAN] * (period - 1)
    for i in range(period - 1, n):
        a = v = 0.0
        for k in range(i + 1 - period, i + 1):
            a += close[k] * vol[k]
            v += vol[k]
        want.append(a / v if v > 0.0 else NAN)
    assert nan_equal(vl.py_vwma(close, vol, period), want)


def test_vwma_non_positive_volume_windows():
    close = [10.0, 11.0, 12.0, 13.0, 14.0, 15.0]
    vol = [1.0, 0.0, 0.0, -2.0, 1.0, 3.0]
    # windows of 2: (1,0) -> 10; (0,0) -> NaN; (0,-2) -> NaN; (-2,1) -> NaN; (1,3) -> (14+45)/4
    assert nan_equal(vl.py_vwma(close, vol, 2), [NAN, 10.0, NAN, NAN, NAN, 59.0 / 4])
    assert nan_equal(vl.py_vwma(close, vol, 1), [10.0, NAN, NAN, NAN, 14.0, 15.0])


# ---- VIDYA --------------------------------------------------------------------------------


@pytest.mark.parametrize("period", [2, 14, 40])
def test_vidya_against_reference(close, period):
    sd = [NAN] * (period - 1) + list(sliding_window_view(np.asarray(close), period).std(-1, ddof=1))
    alpha = 2.0 / (period + 1)
    want = [NAN] * N
    want[period - 1] = close[period - 1]
    for i in range(period, N):
        k = alpha * abs(sd[i] / close[i])
        want[i] = k * close[i] + (1 - k) * want[i - 1]
    assert nan_equal(vl.py_vidya(close, period), want, tol=1e-9)


def test_vidya_edges():
    v = [5.0, 6.0, 7.0, 7.0, 7.0, 7.0, 0.0, 8.0]
    got = vl.py_vidya(v, 3)
    assert got[2] == 7.0
    assert got[5] == got[4]  # flat window: deviation 0, the value repeats
    assert all(math.isnan(x) for x in got[6:])  # a zero close ends the line
    assert nan_equal(vl.py_vidya(v, 1), [5.0] + [NAN] * 7)
    assert nan_equal(vl.py_vidya(v, 8), [NAN] * 7 + [8.0])
    assert nan_equal(vl.py_vidya(random_walk(30), None), vl.py_vidya(random_walk(30), 14))


# ---- validation and binding ---------------------------------------------------------------


@pytest.mark.parametrize("fn, extra", [(vl.py_pwma, ()), (vl.py_sinwma, ()), (vl.py_swma, ()),
                                       (vl.py_alma, (0.85, 6.0))])
def test_one_series_refusals(fn, extra):
    assert value_error(fn, [], 1, *extra) == "Empty input: values cannot be empty"
    assert value_error(fn, [1.0, math.inf], 1, *extra) == \
        "Invalid value at index 1: values contains non-finite value: inf"
    assert value_error(fn, [1.0, 2.0], 0, *extra) == "Invalid period: 0 (must be > 0 and <= data length 2)"
    assert value_error(fn, [1.0, 2.0], 3, *extra) == "Invalid period: 3 (must be > 0 and <= data length 2)"
    with pytest.raises(TypeError):
        fn([1.0, 2.0])


def test_vidya_and_vwma_refusals():
    assert value_error(vl.py_vidya, [NAN], 1) == "Invalid value at index 0: close contains non-finite value: NaN"
    assert value_error(vl.py_vidya, [1.0], 2) == "Invalid period: 2 (must be > 0 and <= data length 1)"
    assert value_error(vl.py_vwma, [], [], 1) == "Empty input: close cannot be empty"
    assert value_error(vl.py_vwma, [1.0, NAN], [1.0], 1) == \
        "Invalid value at index 1: close contains non-finite value: NaN"
    assert value_error(vl.py_vwma, [1.0, 2.0], [], 1) == "Empty input: volume cannot be empty"
    assert value_error(vl.py_vwma, [1.0, 2.0], [NAN], 1) == "Length mismatch: close=2, volume=1"
    assert value_error(vl.py_vwma, [1.0, 2.0], [1.0, NAN], 1) == \
        "Invalid value at index 1: volume contains non-finite value: NaN"
    assert value_error(vl.py_vwma, [1.0, 2.0], [1.0, 2.0], 3) == \
        "Invalid period: 3 (must be > 0 and <= data length 2)"


@pytest.mark.parametrize("fn, sig", [(vl.py_alma, "(values, period, offset, sigma)"),
                                     (vl.py_pwma, "(values, period)"), (vl.py_sinwma, "(values, period)"),
                                     (vl.py_swma, "(values, period)"), (vl.py_vwma, "(close, volume, period)"),
                                     (vl.py_vidya, "(close, period)"),
                                     (vl.py_alligator, "(high, low, jaw_period, teeth_period, lips_period)")])
def test_signature_only_docstrings(fn, sig):
    assert fn.__text_signature__ == sig and not fn.__doc__


# ---- alligator ----------------------------------------------------------------------------


def shifted(v, k):
    return ([NAN] * k + v[:len(v) - k]) if k < len(v) else [NAN] * len(v)


@pytest.mark.parametrize("periods", [(13, 8, 5), (3, 21, 1), (50, 50, 50)])
def test_alligator_is_shifted_wilder_smoothing_of_the_median(close, periods):
    high = [c + 1.0 + (i % 3) for i, c in enumerate(close)]
    low = [c - 0.5 - (i % 5) for i, c in enumerate(close)]
    median = [(h + lo) * 0.5 for h, lo in zip(high, low)]
    got = vl.py_alligator(high, low, *periods)
    for line, p, k in zip(got, periods, (8, 5, 3)):
        assert nan_equal(line, shifted(vl.py_rma(median, p), k))
        assert first_defined(line) == p - 1 + k


def test_alligator_short_series():
    h, lo = [float(x) for x in range(2, 8)], [float(x) for x in range(6)]
    jaw, teeth, lips = vl.py_alligator(h, lo, 3, 3, 3)
    assert all(math.isnan(x) for x in jaw + teeth)
    assert nan_equal(lips, [NAN] * 5 + [2.0])  # mean of the first medians 1, 2, 3, three bars later
    jaw, teeth, lips = vl.py_alligator(random_walk(20), random_walk(20, seed=2), None, None, None)
    assert (first_defined(jaw), first_defined(teeth), first_defined(lips)) == (None, 12, 7)


@pytest.mark.parametrize("args, msg", [
    (([], [1.0]), "Empty input: high cannot be empty"),
    (([math.inf], []), "Invalid value at index 0: high contains non-finite value: inf"),
    (([1.0], []), "Empty input: low cannot be empty"),
    (([1.0], [NAN, 1.0]), "Length mismatch: high=1, low=2"),
    (([1.0, 2.0], [1.0, NAN]), "Invalid value at index 1: low contains non-finite value: NaN"),
    (([1.0, 2.0], [1.0, 2.0], 0, 0, 9), "Invalid period: 0 (must be > 0 and <= data length 2)"),
    (([1.0, 2.0], [1.0, 2.0], 1, 3, 0), "Invalid period: 3 (must be > 0 and <= data length 2)"),
    (([1.0, 2.0], [1.0, 2.0], 1, 1, 5), "Invalid period: 5 (must be > 0 and <= data length 2)"),
    # the smoothing kernel refuses an overflowed median under its own series name
    (([1.0, 1.5e308, 1.0], [1.0, 1.5e308, 1.0], 1, 1, 1),
     "Invalid value at index 1: values contains non-finite value: inf"),
])
def test_alligator_refusals(args, msg):
    if len(args) == 2:
        args = args + (1, 1, 1)
    assert value_error(vl.py_alligator, *args) == msg
