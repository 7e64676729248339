"""Directional movement, DX, ADX and SuperTrend."""
import math
import random

import pytest
from hypothesis import given, settings, strategies as st

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, same_series as same, value_error as err
from reference import ref_adx, ref_dx, ref_supertrend

NAN = float("nan")


def random_walk_bars(n, seed):
    rng = random.Random(seed)
    high, low, close = [], [], []
    p = 100.0
    for _ in range(n):
        p += rng.gauss(0.0, 1.0)
        lo = p - abs(rng.gauss(0.0, 1.0))
        hi = p + abs(rng.gauss(0.0, 1.0))
        high.append(hi)
        low.append(lo)
        close.append(lo + (hi - lo) * rng.random())
    return high, low, close


@pytest.fixture(scope="module")
def walk():
    return random_walk_bars(3000, 5)


# ---- agreement with the references --------------------------------------------------------

@pytest.mark.parametrize("period", [1, 3, 14, 40])
def test_adx_matches_reference(walk, period):
    h, l, c = walk
    got = vl.py_adx(h, l, c, period)
    for g, r in zip(got, ref_adx(h, l, c, period)):
        assert nan_equal(g, r, tol=1e-11)
    assert first_defined(got[0]) == 2 * period - 1 and first_defined(got[1]) == period


@pytest.mark.parametrize("period,mult", [(7, 3.0), (10, 1.0), (3, 0.5)])
def test_supertrend_matches_reference(walk, period, mult):
    h, l, c = walk
    got = vl.py_supertrend(h, l, c, period, mult)
    ref = ref_supertrend(h, l, c, period, mult)
    assert nan_equal(got[1], ref[1])  # directions exactly
    for g, r in zip(got, ref):
        assert nan_equal(g, r, tol=1e-11)


# ---- directional movement -------------------------------------------------------------------

class TestDirectional:
    def test_all_functions_agree(self, walk):
        h, l, c = walk
        adx, plus, minus = vl.py_adx(h, l, c, 14)
        assert same(vl.py_dmi(h, l, c, 14), (plus, minus))
        assert nan_equal(vl.py_plus_di(h, l, c, 14), plus)
        assert nan_equal(vl.py_minus_di(h, l, c, 14), minus)
        dx = vl.py_dx(h, l, c, 14)
        assert nan_equal(dx, ref_dx(plus, minus)) and first_defined(dx) == 14
        assert adx[27] == sum(dx[14:28]) / 14

    @pytest.mark.parametrize("fn", [vl.py_adx, vl.py_dmi, vl.py_dx, vl.py_plus_di, vl.py_minus_di])
    def test_none_selects_14_and_omission_is_refused(self, walk, fn):
        h, l, c = walk
        got, ref = fn(h, l, c, None), fn(h, l, c, 14)
        assert same(got, ref) if isinstance(ref, tuple) else nan_equal(got, ref)
        assert not (same(got, fn(h, l, c, 13)) if isinstance(ref, tuple) else nan_equal(got, fn(h, l, c, 13)))
        with pytest.raises(TypeError):
            fn(h, l, c)
        with pytest.raises(OverflowError):
            fn(h, l, c, -1)

    def test_first_value_rests_on_period_minus_one_bars(self):
        # p = 3: the first sums are (2/3) * (x1 + x2) + x3.
        h, l, c = [10.0, 12.0, 11.0, 14.0], [9.0, 10.0, 7.0, 11.0], [9.5, 11.0, 8.0, 13.0]
        pdm, mdm, tr = [0, 2.0, 0, 3.0], [0, 0, 3.0, 0], [0, 2.5, 4.0, 6.0]
        sp = (2 / 3) * (pdm[1] + pdm[2]) + pdm[3]
        sm = (2 / 3) * (mdm[1] + mdm[2]) + mdm[3]
        st_ = (2 / 3) * (tr[1] + tr[2]) + tr[3]
        plus, minus = vl.py_dmi(h, l, c, 3)
        assert abs(plus[3] - 100 * sp / st_) < 1e-12 and abs(minus[3] - 100 * sm / st_) < 1e-12
        assert all(math.isnan(x) for x in plus[:3] + minus[:3])

    def test_period_one(self):
        h, l, c = [10.0, 12.0, 11.0, 11.0], [9.0, 10.0, 7.0, 7.0], [9.5, 11.0, 8.0, 9.0]
        adx, plus, minus = vl.py_adx(h, l, c, 1)
        # bar 1: +DM 2, TR 2.5; bar 2: -DM 3, TR 4; bar 3: no movement, TR 4
        assert nan_equal(plus, [NAN, 80.0, 0.0, 0.0])
        assert nan_equal(minus, [NAN, 0.0, 75.0, 0.0])
        assert nan_equal(adx, [NAN, 100.0, 100.0, 0.0])

    def test_adx_needs_two_periods(self, walk):
        h, l, c = (s[:20] for s in walk)
        adx, plus, _ = vl.py_adx(h, l, c, 11)
        assert all(math.isnan(x) for x in adx) and first_defined(plus) == 11
        adx, _, _ = vl.py_adx(h, l, c, 10)
        assert first_defined(adx) == 19

    @pytest.mark.parametrize("h,l,c", [
        ([5.0] * 30, [5.0] * 30, [5.0] * 30),  # flat market
        ([10.0 + (i % 2) for i in range(30)], [9.0 - (i % 2) for i in range(30)], [9.5] * 30),  # equal moves
    ])
    def test_no_directional_movement_reads_zero(self, h, l, c):
        adx, plus, minus = vl.py_adx(h, l, c, 5)
        assert plus[5:] == [0.0] * 25 and minus[5:] == [0.0] * 25
        assert vl.py_dx(h, l, c, 5)[5:] == [0.0] * 25 and adx[9:] == [0.0] * 21

    @pytest.mark.parametrize("fn", [vl.py_adx, vl.py_dmi, vl.py_dx, vl.py_plus_di, vl.py_minus_di])
    @pytest.mark.parametrize("args,msg", [
        (([], [1.0], [1.0], 0), "Empty input: high cannot be empty"),
        (([1.0, NAN], [1.0], [1.0], 0), "Invalid value at index 1: high contains non-finite value: NaN"),
        (([1.0, 2.0], [1.0], [1.0], 0), "Length mismatch: high=2, low=1"),
        (([1.0, 2.0], [1.0, 2.0], [1.0, math.inf], 0), "Invalid value at index 1: close contains non-finite value: inf"),
        (([1.0, 2.0], [1.0, 2.0], [1.0, 2.0], 0), "Invalid period: 0 (must be > 0 and <= data length 2)"),
        (([1.0, 2.0], [1.0, 2.0], [1.0, 2.0], 2), "Insufficient data: need at least 3 elements, got 2"),
        (([1.0], [1.0], [1.0], 1), "Insufficient data: need at least 2 elements, got 1"),
    ])
    def test_refusals_identical_everywhere(self, fn, args, msg):
        assert err(fn, *args) == msg

    @pytest.mark.parametrize("fn,first", [
        (vl.py_adx, "Calculate Average Directional Index (ADX)"),
        (vl.py_dx, "Calculate Directional Movement Index (DX)"),
        (vl.py_plus_di, "Calculate Plus Directional Indicator (+DI)"),
        (vl.py_minus_di, "Calculate Minus Directional Indicator (-DI)"),
    ])
    def test_docstrings(self, fn, first):
        assert fn.__text_signature__ == "(high, low, close, period=14)"
        assert fn.__doc__.split("\n")[0] == first
        for section in ("Parameters\n", "Returns\n", "Raises\n"):
            assert section in fn.__doc__

    def test_dmi_docstring_is_signature_only(self):
        assert vl.py_dmi.__text_signature__ == "(high, low, close, period=14)"
        assert not vl.py_dmi.__doc__


# ---- SuperTrend ----------------------------------------------------------------------------

def rally_fall_rally():
    close = [100.0 + 2 * i for i in range(30)]
    close += [close[-1] - 3 * i for i in range(1, 31)]
    close += [close[-1] + 3 * i for i in range(1, 31)]
    return [x + 1.0 for x in close], [x - 1.0 for x in close], close


class TestSuperTrend:
    def test_bands_restart_after_a_break(self):
        h, l, c = rally_fall_rally()
        value, direction, upper, lower = vl.py_supertrend(h, l, c, 5, 2.0)
        ref = ref_supertrend(h, l, c, 5, 2.0)
        assert nan_equal(direction, ref[1])
        for g, r in zip((value, upper, lower), (ref[0], ref[2], ref[3])):
            assert nan_equal(g, r, tol=1e-12)
        # up through the rally, down through the fall, up again
        assert direction[10] == 1.0 and direction[50] == -1.0 and direction[85] == 1.0
        # The lower band fell to follow the fall, and the upper band rose back to follow the
        # second rally: neither is a running extreme held since the start.
        assert any(lower[i] < lower[i - 1] for i in range(6, len(c)))
        assert any(upper[i] > upper[i - 1] for i in range(6, len(c)))
        assert lower[50] < max(lower[5:30]) and upper[85] > min(upper[5:60])
        # In a trend the active band only tightens toward price.
        assert all(lower[i] >= lower[i - 1] for i in range(7, 30))
        assert value[10] == lower[10] and value[50] == upper[50]

    def test_first_bar_tie_is_down(self):
        h, l, c = [3.0, 4.0, 5.0], [1.0, 2.0, 3.0], [2.0, 3.0, 4.0]
        value, direction, upper, lower = vl.py_supertrend(h, l, c, 1, 1.0)
        assert direction[1] == -1.0 and value[1] == upper[1] == 3.0 + 2.0
        assert lower[1] == 1.0 and all(math.isnan(s[0]) for s in (value, direction, upper, lower))

    def test_close_on_the_band_keeps_direction(self):
        # With a zero multiplier both basic bands are the bar midpoint.
        # Up at bar 1 (close above hl2), then bar 2 closes exactly on its (raised) lower band.
        h, l, c = [2.0, 2.0, 4.0], [0.0, 0.0, 2.0], [1.0, 1.5, 3.0]
        _, direction, _, lower = vl.py_supertrend(h, l, c, 1, 0.0)
        assert direction[1] == 1.0 and lower[2] == 3.0 == c[2] and direction[2] == 1.0
        # Down at bar 1 (tie), then bar 2 closes exactly on its (lowered) upper band.
        h, l, c = [2.0, 2.0, 1.0], [0.0, 0.0, -1.0], [1.0, 1.0, 0.0]
        _, direction, upper, _ = vl.py_supertrend(h, l, c, 1, 0.0)
        assert direction[1] == -1.0 and upper[2] == 0.0 == c[2] and direction[2] == -1.0

    def test_close_on_the_previous_band_does_not_reset_it(self):
        # Zero multiplier: both basic bands are the bar midpoint. A band restarts only when the
        # previous close lies strictly beyond it; a close exactly on it keeps the band.
        h, l, c = [9.0, 2.0, 4.0, 2.5], [9.0, 0.0, 2.0, 1.5], [9.0, 1.5, 3.0, 2.8]
        _, direction, upper, lower = vl.py_supertrend(h, l, c, 1, 0.0)
        assert direction[1:3] == [1.0, 1.0] and lower[1:3] == [1.0, 3.0] == [lower[1], c[2]]
        assert lower[3] == 3.0 and upper[3] == 2.0 and direction[3] == -1.0
        h, l, c = [9.0, 2.0, 0.0, 1.0], [9.0, 0.0, -2.0, -1.0], [9.0, 1.0, -1.0, -0.5]
        _, direction, upper, lower = vl.py_supertrend(h, l, c, 1, 0.0)
        assert direction[1:3] == [-1.0, -1.0] and upper[1:3] == [1.0, -1.0] == [upper[1], c[2]]
        assert upper[3] == -1.0 and lower[3] == 0.0 and direction[3] == 1.0

    @pytest.mark.parametrize("args,msg", [
        (([], [1.0], [1.0], 0), "Empty input: high cannot be empty"),
        (([1.0, -math.inf], [1.0], [1.0], 0), "Invalid value at index 1: high contains non-finite value: -inf"),
        (([1.0, 2.0], [], [1.0], 0), "Empty input: low cannot be empty"),
        (([1.0, 2.0], [1.0, NAN], [1.0], 0), "Invalid value at index 1: low contains non-finite value: NaN"),
        (([1.0, 2.0], [1.0, 2.0], [1.0], 0), "Length mismatch: high=2, close=1"),
        (([1.0, 2.0], [1.0, 2.0], [math.inf, 2.0], 0), "Invalid value at index 0: close contains non-finite value: inf"),
    ])
    def test_series_checked_before_period(self, args, msg):
        assert err(vl.py_supertrend, *args, 3.0) == msg

    def test_period_n_minus_one_and_refusals(self):
        h, l, c = [3.0, 4.0, 5.0], [1.0, 2.0, 3.0], [2.0, 3.5, 4.0]
        out = vl.py_supertrend(h, l, c, 2, 3.0)
        assert all(first_defined(s) == 2 for s in out)
        assert err(vl.py_supertrend, h, l, c, 3, 3.0) == "Insufficient data: need at least 4 elements, got 3"
        assert err(vl.py_supertrend, h, l, c, 0, 3.0) == "Invalid period: 0 (must be > 0 and <= data length 3)"
        assert err(vl.py_supertrend, [1.0], [1.0], [1.0], 1, 3.0) == "Insufficient data: need at least 2 elements, got 1"
        assert err(vl.py_supertrend, h, l[:2], c, 0, 3.0) == "Length mismatch: high=3, low=2"

    def test_none_defaults_differ_from_docstring(self, walk):
        h, l, c = walk
        ref = vl.py_supertrend(h, l, c, 7, 3.0)
        assert same(vl.py_supertrend(h, l, c, None, None), ref)
        assert same(vl.py_supertrend(h, l, c, None, 3.0), ref)
        assert same(vl.py_supertrend(h, l, c, 7, None), ref)
        assert not same(vl.py_supertrend(h, l, c, None, None), vl.py_supertrend(h, l, c, 10, 3.0))
        assert same(vl.py_supertrend(h, l, c, 7, 3), ref)  # integer multiplier
        with pytest.raises(TypeError):
            vl.py_supertrend(h, l, c, 7)
        with pytest.raises(TypeError, match="argument 'multiplier'"):
            vl.py_supertrend(h, l, c, 7, "x")

    def test_multiplier_is_not_range_checked(self):
        h, l, c = [3.0, 4.0, 5.0], [1.0, 2.0, 3.0], [2.0, 3.5, 4.0]
        assert vl.py_supertrend(h, l, c, 1, -1.0)[2][1] == 3.0 - 2.0

    def test_docstring(self):
        assert vl.py_supertrend.__text_signature__ == "(high, low, close, period=10, multiplier=3.0)"
        doc = vl.py_supertrend.__doc__
        assert doc.split("\n")[0] == "Calculate SuperTrend"
        for section in ("Parameters\n", "Returns\n", "Raises\n"):
            assert section in doc


# ---- properties ----------------------------------------------------------------------------

bars = st.lists(
    st.tuples(st.floats(-1e3, 1e3), st.floats(0, 50), st.floats(0, 1)), min_size=2, max_size=60
).map(lambda rows: ([lo + w for lo, w, _ in rows], [lo for lo, _, _ in rows], [lo + w * f for lo, w, f in rows]))


@settings(max_examples=150, deadline=None)
@given(bars, st.integers(1, 10))
def test_di_bounded_and_supertrend_value_follows_direction(hlc, period):
    h, l, c = hlc
    if period >= len(h):
        return
    adx, plus, minus = vl.py_adx(h, l, c, period)
    for x in plus[period:] + minus[period:] + [a for a in adx if not math.isnan(a)]:
        assert -1e-9 <= x <= 100.0 + 1e-9
    value, direction, upper, lower = vl.py_supertrend(h, l, c, period, 2.0)
    for i in range(period, len(h)):
        assert value[i] == (lower[i] if direction[i] == 1.0 else upper[i])
        assert direction[i] in (1.0, -1.0)
