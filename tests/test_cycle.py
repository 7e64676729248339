"""Cycle measures: dominant-cycle period and phase, sine, phasor and trend mode."""
import math

import pytest
from hypothesis import given, settings, strategies as st

from conftest import nan_equal, random_walk
from reference import HT_FIRST, ref_ht_chain, ref_ht_dcperiod, ref_ht_dcphase, ref_ht_trendmode

NAN = math.nan


def sinusoid(n, period, amp=1.0, level=0.0):
    return [level + amp * math.sin(2 * math.pi * k / period) for k in range(n)]


ALL = ["py_ht_dcperiod", "py_ht_dcphase", "py_ht_phasor", "py_ht_sine"]


# ---- exact agreement with the chain ------------------------------------------------------


@pytest.mark.parametrize(
    "values",
    # odd lengths too: the chain's stages are computed two bars at a time, the last bar alone
    [random_walk(3000, 1), sinusoid(400, 20, 5, 50), sinusoid(300, 13, 2, 0), [1.0] * 40, [0.0] * 50,
     random_walk(301, 2), sinusoid(65, 9, 3, 10), random_walk(33, 3)],
    ids=["walk", "sine20", "sine13", "const", "zero", "walk-odd", "sine9-odd", "shortest"],
)
def test_agrees_with_reference_chain(m, values):
    i1, q1 = ref_ht_chain(values)
    assert nan_equal(m.py_ht_dcphase(values), ref_ht_dcphase(values))
    assert nan_equal(m.py_ht_dcperiod(values), ref_ht_dcperiod(values))
    inphase, quad = m.py_ht_phasor(values)
    assert nan_equal(inphase, [NAN] * HT_FIRST + i1[HT_FIRST:])
    assert nan_equal(quad, [NAN] * HT_FIRST + q1[HT_FIRST:])
    sine, lead = m.py_ht_sine(values)
    phase = ref_ht_dcphase(values)
    assert nan_equal(sine, [NAN] * HT_FIRST + [math.sin(p * 0.017453292519943295) for p in phase[HT_FIRST:]])
    assert nan_equal(lead, [NAN] * HT_FIRST + [math.sin((p + 45.0) * 0.017453292519943295) for p in phase[HT_FIRST:]])
    if len(values) >= 63:
        assert nan_equal(m.py_ht_trendmode(values), ref_ht_trendmode(values))


# ---- fixed inputs ------------------------------------------------------------------------


def test_constant_one(m):
    x = [1.0] * 40
    assert nan_equal(m.py_ht_dcphase(x), [NAN] * 32 + [45.0] * 8)
    assert nan_equal(m.py_ht_dcperiod(x), [NAN] * 32 + [8.0] * 8)
    sine, lead = m.py_ht_sine(x)
    assert nan_equal(sine, [NAN] * 32 + [math.sin(math.pi / 4)] * 8, 1e-15)
    assert nan_equal(lead, [NAN] * 32 + [1.0] * 8)
    inphase, quad = m.py_ht_phasor(x)
    assert nan_equal(inphase, [NAN] * 32 + [1.0] * 8)
    assert nan_equal(quad, [NAN] * 32 + [1.0] * 8)


def test_constant_two_period_raised_to_lower_bound(m):
    x = [2.0] * 40
    assert nan_equal(m.py_ht_dcphase(x), [NAN] * 32 + [45.0] * 8)
    assert nan_equal(m.py_ht_dcperiod(x), [NAN] * 32 + [6.0] * 8)


def test_constant_capped_at_upper_bound(m):
    # atan(0.35**2) ~ 0.122 rad: a raw period of ~51.5 bars, capped at 50.
    x = [0.35] * 80
    assert nan_equal(m.py_ht_dcperiod(x), [NAN] * 32 + [50.0] * 48)


def test_all_zero(m):
    x = [0.0] * 40
    assert nan_equal(m.py_ht_dcphase(x), [NAN] * 32 + [0.0] * 8)
    assert nan_equal(m.py_ht_dcperiod(x), [NAN] * 32 + [0.0] * 8)
    sine, lead = m.py_ht_sine(x)
    assert nan_equal(sine, [NAN] * 32 + [0.0] * 8)
    assert nan_equal(lead, [NAN] * 32 + [math.sin(math.pi / 4)] * 8, 1e-15)


@pytest.mark.parametrize("period", [8, 15, 30])
def test_sinusoid_ranges(m, period):
    x = sinusoid(600, period, 3.0, 100.0)
    phase = m.py_ht_dcphase(x)[HT_FIRST:]
    assert all(0.0 <= p < 90.0 or 270.0 < p < 360.0 for p in phase)
    dcp = m.py_ht_dcperiod(x)[HT_FIRST:]
    assert all(6.0 <= p <= 50.0 for p in dcp[10:])
    sine, lead = m.py_ht_sine(x)
    assert all(-1.0 <= v <= 1.0 for v in sine[HT_FIRST:] + lead[HT_FIRST:])


def test_sinusoid_around_zero_phase_moves(m):
    # Without a level the smoothed components swing through zero, so the phase visits both
    # of its half-ranges instead of sitting at a constant.
    phase = m.py_ht_dcphase(sinusoid(200, 20, 1.0))[HT_FIRST:]
    assert any(p < 90 for p in phase) and any(p > 270 for p in phase)


@pytest.mark.parametrize("seed", [3, 11, 29])
def test_random_walk_defined_after_warmup(m, seed):
    x = random_walk(5000, seed)
    for name in ALL:
        out = getattr(m, name)(x)
        for series in out if isinstance(out, tuple) else (out,):
            assert all(math.isnan(v) for v in series[:HT_FIRST]), name
            assert not any(math.isnan(v) for v in series[HT_FIRST:]), name
    tm = m.py_ht_trendmode(x)
    assert all(math.isnan(v) for v in tm[:63])
    assert set(tm[63:]) <= {0.0, 1.0}


# ---- lengths and trend mode --------------------------------------------------------------


@pytest.mark.parametrize("name", ALL)
def test_minimum_length(m, name):
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 33 elements, got 32$"):
        getattr(m, name)([1.0] * 32)
    out = getattr(m, name)(random_walk(33, 5))
    for s in out if isinstance(out, tuple) else (out,):
        assert len(s) == 33
        assert all(math.isnan(v) for v in s[:32]) and not math.isnan(s[32])


def test_trendmode_lengths(m):
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 63 elements, got 62$"):
        m.py_ht_trendmode([1.0] * 62)
    out = m.py_ht_trendmode([1.0] * 63)
    assert len(out) == 63 and all(math.isnan(v) for v in out)
    assert nan_equal(m.py_ht_trendmode([1.0] * 64), [NAN] * 63 + [0.0])


def test_trendmode_constant_one_is_cycle(m):
    assert nan_equal(m.py_ht_trendmode([1.0] * 100), [NAN] * 63 + [0.0] * 37)


def test_trendmode_long_period_counts_to_trend(m):
    # The smoothed period is 50 (> 40) from bar 63 on: the count starts at 1 and reaches 4 at 66.
    assert nan_equal(m.py_ht_trendmode([0.35] * 80), [NAN] * 63 + [0.0] * 3 + [1.0] * 14)


@settings(max_examples=60, deadline=None)
@given(st.lists(st.floats(-1e3, 1e3, allow_nan=False), min_size=63, max_size=200))
def test_trendmode_matches_reference(m, x):
    assert nan_equal(m.py_ht_trendmode(x), ref_ht_trendmode(x))


# ---- validation --------------------------------------------------------------------------


@pytest.mark.parametrize("name", ALL + ["py_ht_trendmode"])
def test_validation(m, name):
    f = getattr(m, name)
    with pytest.raises(ValueError, match=r"^Empty input: values cannot be empty$"):
        f([])
    x = [1.0] * 70
    x[5] = math.inf
    with pytest.raises(ValueError, match=r"^Invalid value at index 5: values contains non-finite value: inf$"):
        f(x)
    x[5], x[2] = 1.0, math.nan
    with pytest.raises(ValueError, match=r"^Invalid value at index 2: values contains non-finite value: NaN$"):
        f(x)
    with pytest.raises(TypeError):
        f(None)
    assert f.__text_signature__ == "(values)"
    assert f.__doc__ in (None, "")
