"""RSI and MACD."""
import math
import random

import pytest
from hypothesis import given, settings, strategies as st

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, same_series as same, value_error as err
from reference import ref_macd, ref_rsi

NAN = float("nan")


@pytest.fixture(scope="module")
def walk():
    rng = random.Random(11)
    out, p = [], 50.0
    for _ in range(4000):
        p += rng.gauss(0.0, 1.0)
        out.append(p)
    return out


# ---- agreement with the references ---------------------------------------------------------

@pytest.mark.parametrize("period", [1, 2, 14, 100])
def test_rsi_matches_reference(walk, period):
    assert nan_equal(vl.py_rsi(walk, period), ref_rsi(walk, period), tol=1e-11)


@pytest.mark.parametrize("f,s,g", [(12, 26, 9), (3, 10, 1), (5, 5, 4), (1, 40, 20)])
def test_macd_matches_reference(walk, f, s, g):
    got = vl.py_macd(walk, f, s, g)
    for x, r in zip(got, ref_macd(walk, f, s, g)):
        assert nan_equal(x, r, tol=1e-10)
        assert first_defined(x) == s + g - 2


def test_fast_average_is_seeded_at_the_slow_seed():
    # With signal 1 the signal line is the MACD line itself from index slow - 1, so the first
    # MACD value shows the fast seed: the mean of the fast closes ending at slow - 1.
    close = [1.0, 2.0, 3.0, 4.0, 10.0]
    m, sig, hist = vl.py_macd(close, 2, 5, 1)
    assert m[4] == (4.0 + 10.0) / 2 - 4.0
    assert sig[4] == m[4] and hist[4] == 0.0


# ---- RSI -----------------------------------------------------------------------------------

class TestRsi:
    @pytest.mark.parametrize("close,value", [
        ([float(i) for i in range(30)], 100.0),
        ([float(-i) for i in range(30)], 0.0),
        ([7.0] * 30, 0.0),
    ])
    def test_monotone_and_flat(self, close, value):
        out = vl.py_rsi(close, 14)
        assert all(math.isnan(x) for x in out[:14]) and out[14:] == [value] * 16

    def test_flat_tail_after_moves_reads_zero(self):
        # Wilder averages decay geometrically; a long flat run drives both below 1e-10.
        out = vl.py_rsi([1.0, 2.0, 1.5] + [1.5] * 3000, 2)
        assert out[-1] == 0.0 and 0.0 < out[3] < 100.0

    def test_period_n_minus_one_and_n(self):
        close = [1.0, 3.0, 2.0, 4.0]
        out = vl.py_rsi(close, 3)
        assert nan_equal(out, [NAN, NAN, NAN, 100.0 - 100.0 / (4.0 / 1.0 + 1.0)])
        assert err(vl.py_rsi, close, 4) == "Insufficient data: need at least 5 elements, got 4"

    @pytest.mark.parametrize("close,period,msg", [
        ([], 0, "Empty input: close cannot be empty"),
        ([1.0, math.inf], 0, "Invalid value at index 1: close contains non-finite value: inf"),
        ([1.0, 2.0], 0, "Invalid period: 0 (must be > 0 and <= data length 2)"),
    ])
    def test_refusals_in_order(self, close, period, msg):
        assert err(vl.py_rsi, close, period) == msg

    def test_none_selects_14_and_omission_is_refused(self, walk):
        assert nan_equal(vl.py_rsi(walk, None), vl.py_rsi(walk, 14))
        assert nan_equal(vl.py_rsi(close=walk, period=None), vl.py_rsi(walk, 14))
        with pytest.raises(TypeError):
            vl.py_rsi(walk)
        with pytest.raises(TypeError):
            vl.py_rsi(None, 14)

    def test_docstring(self):
        assert vl.py_rsi.__text_signature__ == "(close, period=14)"
        doc = vl.py_rsi.__doc__
        assert doc.split("\n")[0] == "Calculate Relative Strength Index (RSI)"
        for section in ("Parameters\n", "Returns\n", "Raises\n", "Examples\n"):
            assert section in doc


# ---- MACD ----------------------------------------------------------------------------------

class TestMacd:
    def test_equal_periods_give_zero_lines(self, walk):
        for series in vl.py_macd(walk[:200], 10, 10, 5):
            assert first_defined(series) == 13 and series[13:] == [0.0] * 187

    def test_slow_equals_length(self):
        close = [1.0, 4.0, 2.0, 8.0, 5.0]
        m, sig, hist = vl.py_macd(close, 2, 5, 1)
        for s in (m, sig, hist):
            assert first_defined(s) == 4 and not math.isnan(s[4])
        assert err(vl.py_macd, close, 2, 5, 2) == "Insufficient data: need at least 6 elements, got 5"

    @pytest.mark.parametrize("args,msg", [
        (([], 0, 0, 0), "Empty input: close cannot be empty"),
        (([1.0, NAN, 2.0], 0, 9, 0), "Invalid value at index 1: close contains non-finite value: NaN"),
        (([1.0, 2.0, 3.0], 0, 9, 1), "Invalid period: 0 (must be > 0 and <= data length 3)"),
        (([1.0, 2.0, 3.0], 1, 2, 0), "Invalid period: 0 (must be > 0 and <= data length 3)"),
        (([1.0, 2.0, 3.0], 1, 4, 1), "Insufficient data: need at least 4 elements, got 3"),
        (([1.0, 2.0, 3.0], 5, 3, 1), "Invalid period: 5 (must be > 0 and <= data length 3)"),
        (([1.0, 2.0, 3.0], 3, 2, 1), "Invalid period: 3 (must be > 0 and <= data length 3)"),
        (([1.0, 2.0, 3.0], 1, 3, 2), "Insufficient data: need at least 4 elements, got 3"),
    ])
    def test_refusals_in_order(self, args, msg):
        assert err(vl.py_macd, *args) == msg

    @pytest.mark.parametrize("slow", [1, 2, 3, 5])
    def test_huge_signal_period_is_insufficient_data(self, slow):
        # slow + signal - 2 must not wrap around below the length and let the call through.
        top = 2**64 - 1
        assert err(vl.py_macd, [1.0, 2.0, 3.0, 4.0, 5.0], 1, slow, top) == (
            f"Insufficient data: need at least {top} elements, got 5")

    def test_none_defaults_and_omission(self, walk):
        ref = vl.py_macd(walk, 12, 26, 9)
        assert same(vl.py_macd(walk, None, None, None), ref)
        assert same(vl.py_macd(walk, 12, None, 9), ref)
        assert same(vl.py_macd(walk, None, 26, None), ref)
        assert not same(vl.py_macd(walk, None, 30, None), ref)
        with pytest.raises(TypeError):
            vl.py_macd(walk, 12, 26)

    def test_docstring(self):
        assert vl.py_macd.__text_signature__ == "(close, fast_period=12, slow_period=26, signal_period=9)"
        doc = vl.py_macd.__doc__
        assert doc.split("\n")[0] == "Calculate Moving Average Convergence Divergence (MACD)"
        for section in ("Parameters\n", "Returns\n", "Raises\n"):
            assert section in doc


# ---- properties ----------------------------------------------------------------------------

prices = st.lists(st.floats(-1e6, 1e6, allow_nan=False), min_size=2, max_size=80)


@settings(max_examples=200, deadline=None)
@given(prices, st.integers(1, 20))
def test_rsi_bounded_with_exact_warmup(close, period):
    if period >= len(close):
        assert "Insufficient data" in err(vl.py_rsi, close, period)
        return
    out = vl.py_rsi(close, period)
    assert len(out) == len(close) and first_defined(out) == period
    assert all(0.0 <= x <= 100.0 for x in out[period:])


@settings(max_examples=150, deadline=None)
@given(prices, st.integers(1, 8), st.integers(1, 8), st.integers(1, 5))
def test_macd_histogram_is_line_minus_signal(close, f, s, g):
    if f > s or s + g - 2 >= len(close):
        return
    m, sig, hist = vl.py_macd(close, f, s, g)
    assert first_defined(m) == first_defined(sig) == first_defined(hist) == s + g - 2
    assert hist[s + g - 2:] == [a - b for a, b in zip(m[s + g - 2:], sig[s + g - 2:])]
