"""RVI, inertia, PGO, the Elder force index and the forward shift."""
import math
import random

import numpy as np
import pytest
from numpy.lib.stride_tricks import sliding_window_view

from conftest import first_defined, nan_equal, native_program, random_bars, value_error
from reference import ref_ema, ref_rvi

NAN = math.nan


def ohlcv(n, seed=5):
    h, l, c = random_bars(n, seed)
    rng = random.Random(seed + 1)
    o = [lo + (hi - lo) * rng.random() for hi, lo in zip(h, l)]
    return o, h, l, c, [1000 * rng.random() for _ in range(n)]


O, H, L, C, V = ohlcv(3000)


@pytest.mark.parametrize("p, q", [(10, 4), (1, 1), (3, 7), (40, 2)])
def test_rvi_against_reference(m, p, q):
    rvi, signal = m.py_rvi(O, H, L, C, p, q)
    ref_line, ref_signal = ref_rvi(O, H, L, C, p, q)
    assert first_defined(rvi) == p + 2 and first_defined(signal) == p + q + 1
    assert nan_equal(rvi, ref_line, 1e-9) and nan_equal(signal, ref_signal, 1e-9)


def test_rvi_flat_range_blanks_a_bar_and_restarts_the_signal(m):
    p, q, k = 3, 2, 20
    h, l = H[:60], L[:60]
    h[k : k + p + 3] = l[k : k + p + 3]  # no range on p + 3 consecutive bars
    rvi, signal = m.py_rvi(O[:60], h, l, C[:60], p, q)
    blank = k + p + 2
    assert math.isnan(rvi[blank]) and not math.isnan(rvi[blank - 1]) and not math.isnan(rvi[blank + 1])
    assert [math.isnan(x) for x in signal[blank - 1 : blank + q + 1]] == [False] + [True] * q + [False]


@pytest.mark.parametrize("r, p", [(14, 20), (2, 2), (5, 30)])
def test_inertia_is_the_fitted_line_at_the_newest_bar(m, r, p):
    y = sliding_window_view(np.asarray(m.py_rvi(O, H, L, C, r, 4)[0]), p)
    x = np.arange(p) - (p - 1) / 2
    slope = ((y - y.mean(axis=1, keepdims=True)) * x).sum(axis=1) / (x * x).sum()
    end = y.mean(axis=1) + slope * (p - 1) / 2
    got = m.py_inertia(O, H, L, C, r, p)
    assert first_defined(got) == r + p + 1
    assert nan_equal(got, [NAN] * (p - 1) + list(end), 1e-9)


@pytest.mark.parametrize("p", [14, 1, 2999])
def test_pgo_is_the_close_less_its_mean_in_atrs(m, p):
    mean, atr = m.py_sma(C, p), m.py_atr(H, L, C, p)
    expected = [NAN if math.isnan(s + a) or abs(a) < 1e-10 else (c - s) / a for c, s, a in zip(C, mean, atr)]
    assert nan_equal(m.py_pgo(H, L, C, p), expected) and first_defined(expected) == p


@pytest.mark.parametrize("p", [13, 1, 2, 500])
def test_efi_is_the_seeded_average_of_the_force(m, p):
    force = [NAN] + [(C[i] - C[i - 1]) * V[i] for i in range(1, len(C))]
    got = m.py_efi(C, V, p)
    assert first_defined(got) == p and nan_equal(got, ref_ema(force, p), 1e-9)
    assert nan_equal(m.py_force_index(C, V, p), got)


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda m: m.py_rvi([1, 2, 3], [2, 3, 4], [0, 1, 2], [1, 2, 3], 1, 1), ([NAN] * 3, [NAN] * 3)),
        (lambda m: m.py_inertia(O[:50], H[:50], L[:50], C[:50], 5, 1), [NAN] * 50),
        (lambda m: m.py_efi([10, 11, 10.5], [100, 200, 300], 1), [NAN, 200.0, -150.0]),
        (lambda m: m.py_efi([10, 11, 10.5], [100, 200, 300], 3), [NAN] * 3),
        # seed: the mean of the first two forces; then e * (1 - alpha) + x * alpha, alpha = 2 / 3
        (lambda m: m.py_efi([1, 2, 4, 3], [1, 1, 1, 3], 2), [NAN, NAN, 1.5, 1.5 / 3 - 2.0]),
        # a zero ATR is a NaN bar, not an error
        (lambda m: m.py_pgo([5, 5, 5], [5, 5, 5], [5, 5, 5], 1), [NAN] * 3),
    ],
)
def test_edge_values(m, call, expected):
    got = call(m)
    assert all(nan_equal(a, b, 1e-15) for a, b in zip(got, expected)) if isinstance(got, tuple) else nan_equal(got, expected, 1e-15)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda m: m.py_rvi([], [1], [1], [1], 1, 1), "Empty input: open cannot be empty"),
        (lambda m: m.py_rvi([1, 2, 3], [1, 2], [1], [1], 1, 1), "Length mismatch: open=3, high=2"),
        (lambda m: m.py_rvi([1, 2], [1, 2], [1, 2], [1, NAN], 3, 1), "Invalid value at index 1: close contains non-finite value: NaN"),
        (lambda m: m.py_rvi([1, 2], [1, 2], [1, 2], [1, 2], 0, 9), "Invalid period: 0 (must be > 0 and <= data length 2)"),
        (lambda m: m.py_rvi([1, 2], [1, 2], [1, 2], [1, 2], 2, 3), "Invalid period: 3 (must be > 0 and <= data length 2)"),
        (lambda m: m.py_inertia([1] * 3, [1] * 3, [1] * 3, [1] * 3, 9, 0), "Invalid period: 9 (must be > 0 and <= data length 3)"),
        (lambda m: m.py_inertia([1] * 3, [1] * 3, [1] * 3, [1] * 3, 2, 0), "Invalid period: 0 (must be > 0 and <= data length 3)"),
        # the RVI's fixed signal period of 4 needs four bars
        (lambda m: m.py_inertia([1] * 3, [1] * 3, [1] * 3, [1] * 3, 2, 2), "Invalid period: 4 (must be > 0 and <= data length 3)"),
        (lambda m: m.py_pgo([1] * 5, [1] * 5, [1] * 4, 6), "Length mismatch: high=5, close=4"),
        (lambda m: m.py_pgo([1] * 5, [1] * 5, [1] * 5, 6), "Invalid period: 6 (must be > 0 and <= data length 5)"),
        (lambda m: m.py_pgo([1] * 5, [1] * 5, [1] * 5, 5), "Insufficient data: need at least 6 elements, got 5"),
        (lambda m: m.py_efi([1, 2], [], 1), "Empty input: volume cannot be empty"),
        (lambda m: m.py_efi([1, 2], [1, 2], 0), "Invalid period: 0 (must be > 0 and <= data length 2)"),
    ],
)
def test_errors(m, call, message):
    assert value_error(call, m) == message


def test_defaults_none_and_signatures(m):
    assert all(nan_equal(a, b) for a, b in zip(m.py_rvi(O, H, L, C, None, None), m.py_rvi(O, H, L, C, 10, 4)))
    for none, default, first in [
        (m.py_inertia(O, H, L, C, None, None), m.py_inertia(O, H, L, C, 14, 20), 35),
        (m.py_pgo(H, L, C, None), m.py_pgo(H, L, C, 14), 14),
        (m.py_efi(C, V, None), m.py_efi(C, V, 13), 13),
    ]:
        assert nan_equal(none, default) and first_defined(none) == first
    for fn, sig in [(m.py_rvi, "(open, high, low, close, period, signal_period)"),
                    (m.py_inertia, "(open, high, low, close, rvi_period, regression_period)"),
                    (m.py_pgo, "(high, low, close, period)"), (m.py_efi, "(close, volume, period)")]:
        assert fn.__text_signature__ == sig and fn.__doc__ is None
        with pytest.raises(TypeError):  # every parameter is required
            fn(*[C] * sig.count(","))


@pytest.fixture(scope="module")
def shift_forward():
    return native_program("shift_forward")


@pytest.mark.parametrize(
    "values, shift, expected",
    [
        ([1, 2.5, NAN, 4], 0, "1 2.5 nan 4 |"),
        ([1, 2.5, NAN, 4], 2, "nan nan 1 2.5 |"),
        ([1, 2.5, NAN, 4], 4, "nan nan nan nan |"),
        ([1, 2.5], 2**64 - 1, "nan nan |"),
        ([], 3, "|"),
    ],
)
def test_shift_forward(shift_forward, values, shift, expected):
    assert shift_forward(f"{shift} {len(values)} " + " ".join(repr(float(x)) for x in values)) == [expected]
