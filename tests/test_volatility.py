"""True range, ATR, NATR, Bollinger bands and Keltner channel."""
import math
import random
from fractions import Fraction

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal
from reference import ref_atr, ref_bollinger, ref_ema_plain, ref_true_range

NAN = float("nan")


def random_walk_bars(n, seed):
    rng = random.Random(seed)
    close, high, low = [], [], []
    price = 100.0
    for _ in range(n):
        price += rng.gauss(0.0, 1.0)
        c = price
        h = c + abs(rng.gauss(0.0, 0.8))
        lo = c - abs(rng.gauss(0.0, 0.8))
        # Gaps between bars so the close-to-close legs of the true range matter.
        if rng.random() < 0.2:
            price += rng.gauss(0.0, 3.0)
        high.append(h)
        low.append(lo)
        close.append(c)
    return high, low, close


@pytest.fixture(scope="module")
def walk():
    return random_walk_bars(3600, 7)


def same(a, b):
    return len(a) == len(b) and all(nan_equal(x, y) for x, y in zip(a, b))


def err(fn, *args):
    with pytest.raises(ValueError) as e:
        fn(*args)
    return str(e.value)


# ---- agreement with the references on a long random walk ---------------------------------

class TestAgainstReferences:
    @pytest.mark.parametrize("drift", [1, 2, 5])
    def test_true_range(self, walk, drift):
        h, l, c = walk
        assert nan_equal(vl.py_true_range(h, l, c, drift), ref_true_range(h, l, c, drift))

    @pytest.mark.parametrize("period", [1, 2, 14, 50])
    def test_atr(self, walk, period):
        h, l, c = walk
        assert nan_equal(vl.py_atr(h, l, c, period), ref_atr(h, l, c, period), tol=1e-12)

    def test_natr(self, walk):
        h, l, c = walk
        ref = [a / cl * 100 for a, cl in zip(ref_atr(h, l, c, 14), c)]
        assert nan_equal(vl.py_natr(h, l, c, 14), ref, tol=1e-12)

    @pytest.mark.parametrize("period,k", [(2, 2.0), (20, 2.0), (20, 1.5), (333, 3.0)])
    def test_bollinger_across_recomputed_windows(self, walk, period, k):
        # 3600 bars: slides 1000, 2000 and 3000 are summed afresh, the others slide.
        # The deviation is compared through the variance: a square root near zero magnifies
        # the sliding update's rounding beyond any fixed tolerance on the deviation itself.
        _, _, c = walk
        up, mid, lo = vl.py_bollinger_bands(c, period, k)
        r_up, r_mid, _ = ref_bollinger(c, period, k)
        assert nan_equal(mid, r_mid, tol=1e-10)
        assert first_defined(up) == period - 1 == first_defined(lo)
        for i in range(period - 1, len(c)):
            sd, r_sd = (up[i] - mid[i]) / k, (r_up[i] - r_mid[i]) / k
            assert abs(sd * sd - r_sd * r_sd) < 1e-9
            assert abs((mid[i] - lo[i]) - (up[i] - mid[i])) < 1e-9

    def test_middle_is_the_exact_mean_far_from_zero(self):
        # A level far from zero with small moves: every window's middle is its exact mean to
        # the last bit or two, however long the bands slide.
        rng, x, c = random.Random(11), 0.0, []
        for _ in range(2200):
            x += rng.gauss(0.0, 1.0)
            c.append(1e6 + x * 1e-3)
        _, mid, _ = vl.py_bollinger_bands(c, 3, 1.0)
        for i in range(2, len(c)):
            exact = float(sum(Fraction(v) for v in c[i - 2 : i + 1]) / 3)
            assert abs(mid[i] - exact) <= 2.5e-16 * exact

    def test_huge_value_leaves_no_rounding_behind(self):
        # The window is summed afresh as soon as the huge first value has left it.
        c = [1e12] + [1.0, 2.0, 4.0] * 800
        up, mid, _ = vl.py_bollinger_bands(c, 3, 1.0)
        true_mid, true_sd = 7.0 / 3.0, float(np.std([1.0, 2.0, 4.0]))
        for i in (3, 4, 5, 1001, 1500, 2002):
            assert abs(mid[i] - true_mid) < 1e-12 and abs((up[i] - mid[i]) - true_sd) < 1e-12

    @pytest.mark.parametrize("period,atr_period,k", [(20, 20, 2.0), (10, 14, 1.0), (30, 5, 2.5)])
    def test_keltner(self, walk, period, atr_period, k):
        h, l, c = walk
        up, mid, lo = vl.py_keltner_channel(h, l, c, period, atr_period, k)
        e = ref_ema_plain(c, period)
        a = ref_atr(h, l, c, atr_period)
        assert nan_equal(mid, e, tol=1e-12)
        assert nan_equal(up, [m + x * k for m, x in zip(e, a)], tol=1e-12)
        assert nan_equal(lo, [m - x * k for m, x in zip(e, a)], tol=1e-12)
        assert first_defined(up) == max(period - 1, atr_period)


# ---- true range ---------------------------------------------------------------------------

class TestTrueRange:
    def test_first_bar_has_none(self):
        assert nan_equal(vl.py_true_range([10, 11], [9, 10], [9.5, 10.5]), [NAN, 1.5])

    @pytest.mark.parametrize("call", [
        lambda h, l, c: vl.py_true_range(h, l, c),
        lambda h, l, c: vl.py_true_range(h, l, c, None),
        lambda h, l, c: vl.py_true_range(h, l, c, drift=None),
        lambda h, l, c: vl.py_true_range(h, l, c, 1),
    ])
    def test_drift_defaults_to_one(self, call):
        h, l, c = [10, 12, 11], [9, 10, 8], [9.5, 11, 9]
        assert nan_equal(call(h, l, c), [NAN, 2.5, 3.0])

    def test_drift_two_compares_two_bars_back(self):
        h, l, c = [10, 12, 11, 13], [9, 10, 8, 12], [9.5, 11, 9, 12.5]
        # bar 2: max(3, |11-9.5|, |8-9.5|) = 3; bar 3: max(1, |13-11|, |12-11|) = 2
        assert nan_equal(vl.py_true_range(h, l, c, 2), [NAN, NAN, 3.0, 2.0])

    def test_drift_n_minus_one_gives_last_bar_only(self):
        h, l, c = [10, 12, 11, 13], [9, 10, 8, 12], [9.5, 11, 9, 12.5]
        assert nan_equal(vl.py_true_range(h, l, c, 3), [NAN, NAN, NAN, 3.5])

    @pytest.mark.parametrize("drift,msg", [
        (4, "Insufficient data: need at least 5 elements, got 4"),
        (0, "Invalid period: 0 (must be > 0 and <= data length 4)"),
    ])
    def test_drift_refused(self, drift, msg):
        h, l, c = [10, 12, 11, 13], [9, 10, 8, 12], [9.5, 11, 9, 12.5]
        assert err(vl.py_true_range, h, l, c, drift) == msg


# ---- validation order shared by true range, ATR and Keltner --------------------------------

HLC_FAILURES = [
    (([], [1.0], [1.0]), "Empty input: high cannot be empty"),
    (([1.0, NAN], [], []), "Invalid value at index 1: high contains non-finite value: NaN"),
    (([1.0, 2.0], [], [1.0]), "Empty input: low cannot be empty"),
    (([1.0, 2.0], [1.0], [1.0, math.inf]), "Length mismatch: high=2, low=1"),
    (([1.0, 2.0], [1.0, -math.inf], [1.0]), "Invalid value at index 1: low contains non-finite value: -inf"),
    (([1.0, 2.0], [1.0, 1.0], [1.0, 2.0, 3.0]), "Length mismatch: high=2, close=3"),
    (([1.0, 2.0], [1.0, 1.0], [math.inf, 1.0]), "Invalid value at index 0: close contains non-finite value: inf"),
]


@pytest.mark.parametrize("fn", [
    lambda h, l, c: vl.py_true_range(h, l, c, 0),
    lambda h, l, c: vl.py_atr(h, l, c, 0),
    lambda h, l, c: vl.py_keltner_channel(h, l, c, 0, 0, -1.0),
])
@pytest.mark.parametrize("args,msg", HLC_FAILURES)
def test_series_checked_before_parameters(fn, args, msg):
    assert err(fn, *args) == msg


# ---- ATR and NATR ----------------------------------------------------------------------------

class TestAtr:
    H, L, C = [10, 12, 11, 13, 15], [9, 10, 8, 12, 13], [9.5, 11, 9, 12.5, 14]

    def test_seed_is_mean_of_bars_one_to_period(self):
        # true ranges of bars 1..3: 2.5, 3.0, 4.0 (bar 0's 1.0 is not used)
        assert vl.py_atr(self.H, self.L, self.C, 3)[3] == (2.5 + 3.0 + 4.0) / 3

    def test_period_n_minus_one_gives_one_value(self):
        assert nan_equal(vl.py_atr(self.H, self.L, self.C, 4), [NAN] * 4 + [(2.5 + 3.0 + 4.0 + 2.5) / 4])

    def test_wilder_step(self):
        out = vl.py_atr(self.H, self.L, self.C, 3)
        assert out[4] == (out[3] * 2.0 + 2.5) / 3.0

    @pytest.mark.parametrize("fn", [vl.py_atr, vl.py_natr])
    @pytest.mark.parametrize("period,msg", [
        (5, "Insufficient data: need at least 6 elements, got 5"),
        (0, "Invalid period: 0 (must be > 0 and <= data length 5)"),
    ])
    def test_period_refused(self, fn, period, msg):
        assert err(fn, self.H, self.L, self.C, period) == msg

    @pytest.mark.parametrize("fn", [vl.py_atr, vl.py_natr])
    def test_none_selects_14_and_omission_is_refused(self, fn, walk):
        h, l, c = walk
        assert nan_equal(fn(h, l, c, None), fn(h, l, c, 14))
        assert first_defined(fn(h, l, c, None)) == 14
        with pytest.raises(TypeError):
            fn(h, l, c)

    def test_natr_zero_and_negative_close(self):
        h, l, c = [2.0, 3.0, 1.0, 0.5], [0.0, 1.0, -1.0, -2.0], [1.0, 0.0, 1e-11, -0.5]
        out = vl.py_natr(h, l, c, 1)
        atr = vl.py_atr(h, l, c, 1)
        assert math.isnan(out[0]) and math.isnan(out[1]) and math.isnan(out[2])
        assert out[3] == atr[3] / -0.5 * 100 and out[3] < 0

    @pytest.mark.parametrize("h,c,msg", [
        ([], [], "Empty input: close cannot be empty"),
        ([NAN, 1.0], [1.0, NAN], "Invalid value at index 1: close contains non-finite value: NaN"),
    ])
    def test_natr_checks_close_first(self, h, c, msg):
        assert err(vl.py_natr, h, [1.0, 1.0], c, 1) == msg


# ---- Bollinger ------------------------------------------------------------------------------

class TestBollinger:
    def test_period_n_gives_one_bar(self):
        up, mid, lo = vl.py_bollinger_bands([2, 4, 4, 4, 5, 5, 7, 9], 8, 1.0)
        assert nan_equal(mid, [NAN] * 7 + [5.0])
        assert nan_equal(up, [NAN] * 7 + [7.0])  # population deviation of this window is exactly 2
        assert nan_equal(lo, [NAN] * 7 + [3.0])

    def test_period_one_is_all_nan_without_error(self):
        for s in vl.py_bollinger_bands([1.0, 2.0, 3.0], 1, 2.0):
            assert len(s) == 3 and all(math.isnan(x) for x in s)

    def test_constant_integers_have_zero_width(self):
        up, mid, lo = vl.py_bollinger_bands([5.0] * 2500, 10, 2.0)
        assert up[9:] == [5.0] * 2491 and mid[9:] == up[9:] and lo[9:] == up[9:]

    def test_zero_multiplier_collapses_bands(self, walk):
        up, mid, lo = vl.py_bollinger_bands(walk[2], 20, 0.0)
        assert nan_equal(up, mid) and nan_equal(lo, mid) and first_defined(mid) == 19

    @pytest.mark.parametrize("args,msg", [
        (([1.0, 2.0], 2, -0.5), "Parameter std_multiplier out of range: -0.5 (valid range: 0..inf)"),
        (([1.0, 2.0], 3, 2.0), "Invalid period: 3 (must be > 0 and <= data length 2)"),
        (([1.0, 2.0], 0, -1.0), "Invalid period: 0 (must be > 0 and <= data length 2)"),
        (([], 0, -1.0), "Empty input: close cannot be empty"),
        (([1.0, NAN], 0, -1.0), "Invalid value at index 1: close contains non-finite value: NaN"),
    ])
    def test_refusals_in_order(self, args, msg):
        assert err(vl.py_bollinger_bands, *args) == msg

    def test_none_defaults(self, walk):
        c = walk[2]
        assert same(vl.py_bollinger_bands(c, None, None), vl.py_bollinger_bands(c, 20, 2.0))
        assert same(vl.py_bollinger_bands(c, 5, None), vl.py_bollinger_bands(c, 5, 2.0))
        assert not same(vl.py_bollinger_bands(c, 5, None), vl.py_bollinger_bands(c, 5, 2.5))
        with pytest.raises(TypeError):
            vl.py_bollinger_bands(c, 20)

    def test_integer_multiplier_accepted(self):
        assert same(vl.py_bollinger_bands([1.0, 3.0], 2, 1), ([NAN, 3.0], [NAN, 2.0], [NAN, 1.0]))


# ---- Keltner --------------------------------------------------------------------------------

class TestKeltner:
    def test_omitted_parameters(self, walk):
        h, l, c = walk
        full = vl.py_keltner_channel(h, l, c, 20, 20, 2.0)
        assert same(vl.py_keltner_channel(h, l, c), full)
        assert same(vl.py_keltner_channel(h, l, c, 20), full)
        assert same(vl.py_keltner_channel(h, l, c, 20, None), full)
        assert same(vl.py_keltner_channel(h, l, c, 20, None, 2.0), full)
        assert same(vl.py_keltner_channel(h, l, c, multiplier=2.0), full)
        assert same(vl.py_keltner_channel(h, l, c, 15), vl.py_keltner_channel(h, l, c, 15, 15, 2.0))
        assert not same(vl.py_keltner_channel(h, l, c, 15), vl.py_keltner_channel(h, l, c, 15, 20, 2.0))

    @pytest.mark.parametrize("kwargs,name", [({"period": None}, "period"), ({"multiplier": None}, "multiplier")])
    def test_none_refused(self, kwargs, name):
        with pytest.raises(TypeError, match=f"argument '{name}'"):
            vl.py_keltner_channel([1.0, 2.0], [0.5, 1.0], [1.0, 1.5], **kwargs)

    def test_atr_period_follows_period(self):
        h, l, c = [float(x) for x in range(2, 12)], [float(x) for x in range(10)], [float(x) + 1 for x in range(10)]
        # the EMA alone would fit ten bars; the ATR of period ten does not
        assert err(vl.py_keltner_channel, h, l, c, 10) == "Insufficient data: need at least 11 elements, got 10"

    def test_warmups(self, walk):
        h, l, c = walk
        up, mid, lo = vl.py_keltner_channel(h, l, c, 10, 14)
        assert first_defined(mid) == 9 and first_defined(up) == 14 and first_defined(lo) == 14

    @pytest.mark.parametrize("args,msg", [
        ((21, 3, 1.0), "Invalid period: 21 (must be > 0 and <= data length 20)"),
        ((5, 0, -1.0), "Invalid period: 0 (must be > 0 and <= data length 20)"),
        ((5, 20, -1.0), "Insufficient data: need at least 21 elements, got 20"),
        ((5, 3, -1.0), "Parameter multiplier out of range: -1 (valid range: 0..inf)"),
    ])
    def test_parameter_refusals_in_order(self, args, msg):
        h, l, c = random_walk_bars(20, 3)
        assert err(vl.py_keltner_channel, h, l, c, *args) == msg


# ---- docstrings -------------------------------------------------------------------------------

@pytest.mark.parametrize("fn,sig,first", [
    (vl.py_true_range, "(high, low, close, drift=1)", "Calculate True Range (TR)"),
    (vl.py_atr, "(high, low, close, period=14)", "Calculate Average True Range (ATR)"),
    (vl.py_natr, "(high, low, close, period=14)", "Calculate Normalized ATR (NATR)"),
    (vl.py_bollinger_bands, "(close, period=20, std_multiplier=2.0)", "Calculate Bollinger Bands"),
    (vl.py_keltner_channel, "(high, low, close, period=20, atr_period=None, multiplier=2.0)",
     "Calculate Keltner Channel"),
])
def test_docstring(fn, sig, first):
    assert fn.__text_signature__ == sig
    assert fn.__doc__.split("\n")[0] == first
    for section in ("Parameters\n", "Returns\n", "Raises\n"):
        assert section in fn.__doc__


# ---- properties -------------------------------------------------------------------------------

bars = st.lists(
    st.tuples(st.floats(-1e3, 1e3), st.floats(0, 50), st.floats(0, 1)), min_size=2, max_size=60
).map(lambda rows: ([lo + w for lo, w, _ in rows], [lo for lo, _, _ in rows], [lo + w * f for lo, w, f in rows]))


@settings(max_examples=150, deadline=None)
@given(bars, st.integers(1, 10))
def test_true_range_covers_bar_and_atr_stays_within_its_inputs(hlc, period):
    h, l, c = hlc
    tr = vl.py_true_range(h, l, c)
    for i in range(1, len(h)):
        assert tr[i] >= h[i] - l[i] and tr[i] >= 0.0
    if period < len(h):
        atr = vl.py_atr(h, l, c, period)
        assert first_defined(atr) == period and len(atr) == len(h)
        # a Wilder average never leaves the range of what it averages
        lo, hi = min(tr[1:]), max(tr[1:])
        assert all(lo - 1e-9 * (1 + hi) <= a <= hi + 1e-9 * (1 + hi) for a in atr[period:])
