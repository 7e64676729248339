"""Moving averages against direct references written from their definitions."""
import math
import random

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

from conftest import first_defined, nan_equal, native_program, random_walk as walk
from reference import (
    exact_dema, exact_ema, exact_frama, exact_hma, exact_kama, exact_sma, exact_t3, exact_tema,
    exact_wma, exact_zlma, ref_dema, ref_ema, ref_hma, ref_sma, ref_t3, ref_tema, ref_wma,
    ref_zlma,
)

NAN = math.nan
TOL = 1e-9


# ---- agreement on long random walks ---------------------------------------------------

LONG = walk(3500, seed=7)


@pytest.mark.parametrize(
    "name, ref, n",
    [
        ("py_sma", ref_sma, 14),
        ("py_sma", ref_sma, 1),
        ("py_ema", ref_ema, 20),
        ("py_rma", lambda v, n: ref_ema(v, n, 1.0 / n), 14),
        ("py_wma", ref_wma, 10),
        ("py_hma", ref_hma, 16),
        ("py_dema", ref_dema, 9),
        ("py_tema", ref_tema, 9),
        ("py_zlma", ref_zlma, 12),
        ("py_kama", lambda v, n: exact_kama(v, n), 10),
        ("py_frama", lambda v, n: exact_frama(v, n), 16),
    ],
)
def test_long_series_agree_with_reference(m, name, ref, n):
    fn = getattr(m, name)
    got = fn(LONG, n) if name not in ("py_kama",) else fn(LONG, n, 2, 30)
    assert nan_equal(got, ref(LONG, n), TOL)


def test_t3_long_series(m):
    assert nan_equal(m.py_t3(LONG, 5, 0.7), ref_t3(LONG, 5, 0.7), TOL)


@pytest.mark.parametrize("n", [3, 50])
def test_recompute_schedule_keeps_window_means_exact(m, n):
    # Large offsets make any drift of the running sums visible over thousands of slides.
    rng = random.Random(3)
    v = [1e6 + rng.uniform(-1, 1) * 1e-3 if i % 97 else rng.uniform(-1e6, 1e6) for i in range(4200)]
    direct = np.convolve(np.array(v), np.ones(n) / n, mode="valid")
    got = np.array(m.py_sma(v, n)[n - 1 :])
    assert np.allclose(got, direct, rtol=0, atol=1e-9 * 1e6)
    assert nan_equal(m.py_wma(v, n), ref_wma(v, n), 1e-12)


# ---- exact small cases and warm-up positions -----------------------------------------


def test_small_exact_values(m):
    assert nan_equal(m.py_sma([1.0, 2.0, 3.0, 4.0, 5.0], 3), [NAN, NAN, 2.0, 3.0, 4.0])
    assert nan_equal(m.py_wma([1.0, 2.0, 3.0], 3), [NAN, NAN, 14 / 6])
    v = [3.0, 5.0, 10.0]
    assert m.py_ema(v, 3)[2] == 6.0 and m.py_rma(v, 3)[2] == 6.0
    assert m.py_ema(v, 1) == v and m.py_rma(v, 1) == v


@pytest.mark.parametrize(
    "name, n, length, first",
    [
        ("py_sma", 5, 20, 4),
        ("py_ema", 5, 20, 4),
        ("py_rma", 5, 20, 4),
        ("py_wma", 5, 20, 4),
        ("py_hma", 9, 20, 9 + 3 - 2),
        ("py_hma", 4, 4, 3),
        ("py_dema", 3, 5, 4),
        ("py_dema", 3, 4, None),
        ("py_tema", 3, 7, 6),
        ("py_tema", 3, 5, 4),
        ("py_zlma", 4, 20, 4),
        ("py_zlma", 1, 20, 0),
        ("py_kama", 5, 20, 4),
        ("py_frama", 4, 20, 3),
    ],
)
def test_first_defined_index(m, name, n, length, first):
    v = walk(length, seed=n + length)
    out = getattr(m, name)(v, n) if name != "py_kama" else m.py_kama(v, n, None, None)
    assert len(out) == length
    assert first_defined(out) == first
    if first is not None:
        assert all(not math.isnan(x) for x in out[first:])


def test_hma_falls_back_to_intermediate_line(m):
    v = [1.0, 4.0, 2.0, 8.0]
    out = m.py_hma(v, 4)
    wma2 = (2 * 8.0 + 2.0) / 3
    wma4 = (1 * 1.0 + 2 * 4.0 + 3 * 2.0 + 4 * 8.0) / 10
    assert nan_equal(out, [NAN, NAN, NAN, 2 * wma2 - wma4], 1e-15)


def test_t3_fallbacks_and_special_factors(m):
    v = walk(7, seed=2)
    out = m.py_t3(v[:5], 2, 0.7)
    assert nan_equal(out, ref_ema(v[:5], 2), 1e-12)
    assert first_defined(m.py_t3(v, 2, 0.7)) == 6
    long = walk(80, seed=5)
    e3 = ref_ema(ref_ema(ref_ema(long, 4), 4), 4)
    t3_zero = m.py_t3(long, 4, 0.0)
    start = first_defined(t3_zero)
    assert start == 18
    assert nan_equal(t3_zero[start:], e3[start:], 1e-12)
    assert nan_equal(m.py_t3(long, 1, 0.7), long, 1e-12)


def test_kama_special_cases(m):
    v = walk(12, seed=4)
    out = m.py_kama(v, 12, 2, 30)
    assert all(math.isnan(x) for x in out[:-1]) and out[-1] == v[-1]
    assert m.py_kama([5.0] * 20, 4, 2, 30)[3:] == [5.0] * 17
    assert same_bits(m.py_kama(v, 3, 0, 30), exact_kama(v, 3, 0, 30))


def test_frama_constant_and_periods(m):
    assert m.py_frama([2.5] * 20, 4)[3:] == [2.5] * 17
    assert first_defined(m.py_frama(walk(30), 2)) == 1
    for bad in (15, 0, 1, 31):
        with pytest.raises(ValueError, match=rf"^Invalid period: {bad} \(must be > 0 and <= data length 30\)$"):
            m.py_frama(walk(30), bad)
    with pytest.raises(ValueError, match=r"^Invalid period: 16 \(must be > 0 and <= data length 10\)$"):
        m.py_frama(walk(10), None)


# ---- validation ------------------------------------------------------------------------

ALL = ["py_sma", "py_ema", "py_rma", "py_wma", "py_hma", "py_dema", "py_tema", "py_zlma", "py_t3", "py_kama", "py_frama"]


def call(m, name, v, n):
    extra = {"py_t3": (0.7,), "py_kama": (2, 30)}.get(name, ())
    return getattr(m, name)(v, n, *extra)


@pytest.mark.parametrize("name", ALL)
def test_validation_order(m, name):
    with pytest.raises(ValueError, match=r"^Empty input: values cannot be empty$"):
        call(m, name, [], 0)
    with pytest.raises(ValueError, match=r"^Invalid value at index 1: values contains non-finite value: NaN$"):
        call(m, name, [1.0, NAN, 2.0], 0)
    with pytest.raises(ValueError, match=r"^Invalid value at index 2: values contains non-finite value: -inf$"):
        call(m, name, [1.0, 2.0, -math.inf], 2)
    with pytest.raises(ValueError, match=r"^Invalid period: 0 \(must be > 0 and <= data length 4\)$"):
        call(m, name, [1.0, 2.0, 3.0, 4.0], 0)
    with pytest.raises(ValueError, match=r"^Invalid period: 6 \(must be > 0 and <= data length 4\)$"):
        call(m, name, [1.0, 2.0, 3.0, 4.0], 6)


def test_period_equal_to_length_is_accepted(m):
    v = [1.0, 2.0, 3.0, 4.0, 5.0]
    assert nan_equal(m.py_sma(v, 5), [NAN] * 4 + [3.0])
    assert nan_equal(m.py_ema(v, 5), [NAN] * 4 + [3.0])


def test_hma_half_period(m):
    with pytest.raises(ValueError, match=r"^Invalid period: 0 \(must be > 0 and <= data length 3\)$"):
        m.py_hma([1.0, 2.0, 3.0], 1)


def test_sma_none_period_refused(m):
    with pytest.raises(TypeError, match=r"^argument 'period': "):
        m.py_sma([1.0, 2.0], None)


@pytest.mark.parametrize("name", ["py_sma", "py_wma"])
def test_overflowed_window_does_not_poison_later_windows(m, name):
    # Two bars near the largest double overflow the running sum; once they leave the
    # window the average must be a number again, not NaN until the next scheduled rebuild.
    v = [1e308] * 3 + [1.0] * 20
    out = getattr(m, name)(v, 2)
    assert math.isinf(out[1])
    assert all(math.isfinite(x) for x in out[3:])


@pytest.mark.parametrize("name, n", [("py_wma", 10), ("py_wma", 300), ("py_hma", 16)])
def test_weighted_window_of_zeros_after_heavy_bars_reads_zero(m, name, n):
    # The heavy bars' rounding stays in the running sums after they leave; zeros entering
    # never outweigh anything, so without a rebuild the window of zeros read that rounding
    # (1.9e-10 at n = 10, growing with every slide) instead of 0.
    rng = random.Random(n)
    v = [rng.uniform(-1e6, 1e6) * 1.1 for _ in range(2 * n)] + [0.0] * (3 * n)
    out = getattr(m, name)(v, n)
    assert out[-n:] == [0.0] * n


# ---- the same arithmetic, operation for operation ---------------------------------------
# Python floats are IEEE doubles, so models that perform the compensated additions,
# seeds and recomputations in the documented order must agree to the last bit. This
# pins the summation order and the recompute schedule, which a tolerance cannot see.


EXACT = {
    "py_sma": exact_sma,
    "py_ema": exact_ema,
    "py_rma": lambda x, n: exact_ema(x, n, 1.0 / n),
    "py_wma": exact_wma,
    "py_hma": exact_hma,
    "py_dema": exact_dema,
    "py_tema": exact_tema,
    "py_zlma": exact_zlma,
    "py_t3": lambda x, n: exact_t3(x, n, 0.7),
    "py_kama": exact_kama,
    "py_frama": exact_frama,
}


def same_bits(a, b):
    return len(a) == len(b) and all(
        (math.isnan(x) and math.isnan(y)) or (x == y and math.copysign(1, x) == math.copysign(1, y))
        for x, y in zip(a, b)
    )


# A level far from zero with small moves: the running sums' rounding then differs from a
# fresh sum, so a recomputation on the wrong slide changes the output bits.
OFFSET = [1e6 + v * 1e-3 for v in walk(3100, seed=11)]


@pytest.mark.parametrize("name", sorted(EXACT))
@pytest.mark.parametrize("data, n", [(LONG, 10), (OFFSET, 4)], ids=["walk", "offset"])
def test_bit_exact_against_operation_order(m, name, data, n):
    assert same_bits(call(m, name, data, n), EXACT[name](data, n))


@pytest.mark.parametrize("name, model", [("py_sma", exact_sma), ("py_wma", exact_wma)])
@pytest.mark.parametrize("n", [3, 7])
def test_recompute_slide(m, name, model, n):
    got = getattr(m, name)(OFFSET, n)
    assert same_bits(got, model(OFFSET, n))
    # the data is sensitive to the schedule: one slide earlier or later changes the bits
    assert not same_bits(got, model(OFFSET, n, every=999))
    assert not same_bits(got, model(OFFSET, n, every=1001))


@settings(max_examples=60, deadline=None)
@given(
    data=st.lists(st.floats(-1e6, 1e6, allow_nan=False, allow_infinity=False), min_size=1, max_size=60),
    n=st.integers(1, 12),
    name=st.sampled_from(sorted(EXACT)),
)
def test_bit_exact_property(m, data, n, name):
    n = min(n, len(data))
    if name == "py_frama":
        n -= n % 2
        if n < 2:
            return
    if name == "py_hma" and n < 2:
        return
    if name in ("py_sma", "py_wma", "py_hma"):
        # Values between 400 and 600: no value, nor any of the Hull average's inner series,
        # outweighs a window, so every slide is incremental (a value that does is summed away
        # at once when it leaves, which the operation-order models do not do).
        data = [500.0 + v / 1e4 for v in data]
    assert same_bits(call(m, name, data, n), EXACT[name](data, n))


def test_docstrings(m):
    first = {
        "py_sma": "Calculate Simple Moving Average (SMA)",
        "py_ema": "Calculate Exponential Moving Average (EMA)",
        "py_rma": "Calculate Rolling/Wilder Moving Average (RMA)",
        "py_wma": "Calculate Weighted Moving Average (WMA)",
        "py_hma": "Calculate Hull Moving Average (HMA)",
        "py_dema": "Calculate Double Exponential Moving Average (DEMA)",
        "py_tema": "Calculate Triple Exponential Moving Average (TEMA)",
        "py_t3": "Calculate T3 Moving Average (Tilson T3)",
        "py_kama": "Calculate Kaufman Adaptive Moving Average (KAMA)",
    }
    signature = {
        "py_t3": "(values, period=5, vfactor=0.7)",
        "py_kama": "(values, period=10, fast_period=2, slow_period=30)",
    }
    for name in ALL:
        fn = getattr(m, name)
        assert fn.__text_signature__ == signature.get(name, "(values, period)")
        if name in first:
            doc = fn.__doc__
            assert doc.startswith(first[name] + "\n\n")
            for section in ("Parameters", "Returns", "Raises"):
                assert f"\n{section}\n{'-' * len(section)}\n" in doc
            assert "If period <= 0 or insufficient data" in doc
        else:
            assert not fn.__doc__
    for name in ("py_sma", "py_ema"):
        assert "Lookback period (default: 20)" in getattr(m, name).__doc__
    assert "\nExamples\n--------\n" in m.py_sma.__doc__


# ---- the kernels other families build on: NaN gaps, infinities, unusable periods -----------

@pytest.fixture(scope="module")
def kernel():
    run = native_program("moving_averages")

    def call_kernel(name, values, period):
        (line,) = run(f"{name} {period} {len(values)} " + " ".join(repr(float(x)) for x in values))
        if line.startswith("E "):
            return line[2:]
        return [float(t) for t in line.split()[1:]]

    return call_kernel


@pytest.mark.parametrize(
    "name, values, period, expected",
    [
        ("sma_allow_nan", [1, 2, NAN, 4, 5, 6], 2, [NAN, 1.5, NAN, NAN, 4.5, 5.5]),
        ("ema_allow_nan", [NAN, NAN, 1, 2, 3, 6], 3, [NAN, NAN, NAN, NAN, 2.0, 4.0]),
        ("ema_allow_nan", [1, 2, NAN, 4, 6, 8], 2, [NAN, 1.5, NAN, NAN, 5.0, 7.0]),
        ("wma_allow_nan", [1, 2, 3, NAN, 3, 6], 2, [NAN, 5 / 3, 8 / 3, NAN, NAN, 5.0]),
        ("sma_impl", [1, 2, 3, 4, 5], 3, [NAN, NAN, 2, 3, 4]),
        ("wma_impl", [1, 2, 3], 3, [NAN, NAN, 14 / 6]),
        ("ema_impl", [3, 5, 10, 10], 3, [NAN, NAN, 6.0, 8.0]),
        # an infinity is a number, not a gap
        ("sma_allow_nan", [1, math.inf, 3], 1, [1, math.inf, 3]),
        ("ema_allow_nan", [1, 1, math.inf, 1], 2, [NAN, 1.0, math.inf, math.inf]),
        ("dema", [1, 2, 3, 4], 3, [NAN] * 4),
        ("hma", [1, 4, 2, 8], 4, [NAN, NAN, NAN, 2 * (18 / 3) - 47 / 10]),
    ],
)
def test_kernel_cases(kernel, name, values, period, expected):
    assert nan_equal(kernel(name, values, period), expected, 1e-15)


@pytest.mark.parametrize("name", ["sma_allow_nan", "ema_allow_nan", "wma_allow_nan"])
def test_nan_tolerant_kernel_checks(kernel, name):
    assert kernel(name, [], 1) == "Empty input: values cannot be empty"
    for p in (0, 4):
        assert kernel(name, [NAN, 1.0, 2.0], p) == f"Invalid period: {p} (must be > 0 and <= data length 3)"
    assert len(kernel(name, [NAN, 1.0, 2.0], 3)) == 3


@pytest.mark.parametrize("name", ["sma", "ema", "rma", "wma", "hma", "dema"])
def test_validating_kernel_checks(kernel, name):
    assert kernel(name, [], 0) == "Empty input: values cannot be empty"
    assert kernel(name, [1.0, math.inf], 0) == "Invalid value at index 1: values contains non-finite value: inf"
    assert kernel(name, [1.0, 2.0], 3) == "Invalid period: 3 (must be > 0 and <= data length 2)"


@pytest.mark.parametrize("kind, model", [("sma", exact_sma), ("wma", exact_wma), ("ema", exact_ema)])
def test_nan_tolerant_kernels_restart_after_gaps(kernel, kind, model):
    rng = random.Random(kind)
    v = [NAN if rng.random() < 0.08 else rng.uniform(-50, 50) for _ in range(400)]
    for n in (1, 3, 6):
        assert same_bits(kernel(kind + "_allow_nan", v, n), model(v, n))


@pytest.mark.parametrize("period", [1, 3, 10])
@pytest.mark.parametrize("windows", [0, 1, 7, 8, 9, 16, 17])
def test_kama_window_counts_around_a_block(m, period, windows):
    # Its volatilities are summed eight windows at a time; the windows left over one by one.
    rng = random.Random(period * 100 + windows)
    v = [rng.choice([1e-3, 1.0, 1e3]) * rng.uniform(-1, 1) for _ in range(period + windows)]
    assert same_bits(m.py_kama(v, period, 2, 30), exact_kama(v, period))
