"""Stochastic oscillator, KDJ, Williams %R and stochastic RSI."""
import math

import pytest
from hypothesis import given, settings, strategies as st

from conftest import first_defined, nan_equal, random_bars
from reference import ref_stochastic, ref_stochrsi, ref_williams


def bars(n, seed=7):
    return random_bars(n, seed)


NAN = math.nan
TOL = 1e-9


H, L, C = bars(4000)


# ---- agreement with the references ------------------------------------------------------


@pytest.mark.parametrize("kp,sk,dp", [(14, 3, 3), (1, 1, 1), (5, 1, 4), (30, 7, 2), (9, 3, 3)])
def test_stochastic_and_kdj_match_reference(m, kp, sk, dp):
    k, d = m.py_stochastic(H, L, C, kp, sk, dp)
    rk, rd = ref_stochastic(H, L, C, kp, sk, dp)
    assert nan_equal(k, rk, TOL) and nan_equal(d, rd, TOL)
    assert first_defined(k) == kp + sk - 2 and first_defined(d) == kp + sk + dp - 3
    kk, kd, j = m.py_kdj(H, L, C, kp, sk, dp)
    assert nan_equal(kk, k) and nan_equal(kd, d)
    assert nan_equal(j, [NAN if math.isnan(b) else a * 3 - 2 * b for a, b in zip(k, d)], 1e-12)


@pytest.mark.parametrize("p", [1, 2, 14, 50])
def test_williams_r_matches_reference(m, p):
    assert nan_equal(m.py_williams_r(H, L, C, p), ref_williams(H, L, C, p), TOL)


@pytest.mark.parametrize("periods", [(14, 14, 3, 3), (5, 10, 1, 1), (2, 3, 4, 5), (30, 8, 3, 6)])
def test_stochrsi_matches_reference(m, periods):
    k, d = m.py_stochrsi(C, *periods)
    rk, rd = ref_stochrsi(C, *periods)
    assert nan_equal(k, rk, 1e-7) and nan_equal(d, rd, 1e-7)
    rp, sp, kp, dp = periods
    assert first_defined(k) == rp + sp + kp - 2 and first_defined(d) == rp + sp + kp + dp - 3


# ---- flat windows and fallbacks ---------------------------------------------------------


def test_flat_windows_read_mid_range(m):
    flat = [5.0] * 30
    k, d = m.py_stochastic(flat, flat, flat, 5, 2, 3)
    assert all(v == 50.0 for v in k[5:]) and all(v == 50.0 for v in d[7:])
    assert m.py_williams_r(flat, flat, flat, 5)[4:] == [-50.0] * 26
    # a constant close has a constant RSI of 0.0, so its stochastic RSI sits at 50
    k, d = m.py_stochrsi(flat, 5, 5, 3, 3)
    assert k[11:] == [50.0] * 19 and d[13:] == [50.0] * 17 and all(math.isnan(v) for v in k[:11])


def test_williams_r_at_window_extremes(m):
    high = [10.0, 12.0, 11.0, 13.0]
    low = [9.0, 8.0, 10.0, 11.0]
    at_high = m.py_williams_r(high, low, [9.5, 10, 10.5, 13.0], 2)
    assert at_high[3] == 0.0 and math.copysign(1, at_high[3]) == -1.0  # zero times -100
    assert m.py_williams_r(high, low, [9.5, 8.0, 10.5, 11.0], 2)[1] == -100.0


def test_kdj_j_waits_for_d(m):
    k, d, j = m.py_kdj(H[:40], L[:40], C[:40])
    assert first_defined(k) == 10 and first_defined(d) == 12 and first_defined(j) == 12


# ---- defaults and None ------------------------------------------------------------------


def test_defaults(m):
    h, l, c = H[:200], L[:200], C[:200]
    for got, want in [(m.py_stochastic(h, l, c), m.py_stochastic(h, l, c, 14, 3, 3)),
                      (m.py_kdj(h, l, c), m.py_kdj(h, l, c, 9, 3, 3))]:
        assert all(nan_equal(a, b) for a, b in zip(got, want)) and len(got) == len(want)
    assert not nan_equal(m.py_kdj(h, l, c)[0], m.py_kdj(h, l, c, 14, 3, 3)[0])
    assert nan_equal(m.py_williams_r(H, L, C, None), m.py_williams_r(H, L, C, 14))
    a = m.py_stochrsi(C[:300], None, None, None, None)
    assert nan_equal(a[0], m.py_stochrsi(C[:300], 14, 14, 3, 3)[0])
    for args in [(None, None, None, None), (7, None, 2, None), (3, 9, 2, 4)]:
        x, y = m.py_stochrsi(C[:300], *args), m.py_stoch_rsi(C[:300], *args)
        assert nan_equal(x[0], y[0]) and nan_equal(x[1], y[1])


@pytest.mark.parametrize("fn", ["py_stochastic", "py_kdj"])
@pytest.mark.parametrize("pos", [3, 4, 5])
def test_explicit_none_refused(m, fn, pos):
    args = [H[:50], L[:50], C[:50], 5, 3, 3]
    args[pos] = None
    name = ["k_period", "smooth_k", "d_period"][pos - 3]
    with pytest.raises(TypeError, match=f"^argument '{name}'"):
        getattr(m, fn)(*args)


def test_required_parameters(m):
    with pytest.raises(TypeError):
        m.py_williams_r(H, L, C)
    with pytest.raises(TypeError):
        m.py_stoch_rsi(C, 14, 14, 3)


# ---- period rules and validation order --------------------------------------------------


def ip(p, n):
    return f"Invalid period: {p} (must be > 0 and <= data length {n})"


def test_stochastic_period_equal_to_length(m):
    h, l, c = H[:20], L[:20], C[:20]
    k, d = m.py_stochastic(h, l, c, 20, 2, 1)
    assert all(math.isnan(v) for v in k + d)
    k, d = m.py_stochastic(h, l, c, 20, 1, 2)
    assert first_defined(k) == 19 and all(math.isnan(v) for v in d)
    assert first_defined(m.py_williams_r(h, l, c, 20)) == 19


@pytest.mark.parametrize("periods,bad", [((21, 3, 3), 21), ((0, 3, 3), 0), ((3, 0, 3), 0), ((3, 21, 3), 21),
                                         ((3, 3, 0), 0), ((3, 3, 21), 21), ((0, 0, 21), 0)])
def test_stochastic_period_errors(m, periods, bad):
    with pytest.raises(ValueError, match=f"^{ip(bad, 20)}$".replace("(", r"\(").replace(")", r"\)")):
        m.py_stochastic(H[:20], L[:20], C[:20], *periods)


@pytest.mark.parametrize("p", [0, 21])
def test_williams_r_period_errors(m, p):
    with pytest.raises(ValueError) as e:
        m.py_williams_r(H[:20], L[:20], C[:20], p)
    assert str(e.value) == ip(p, 20)


@pytest.mark.parametrize("h,l,c,msg", [
    ([], [1.0], [NAN], "Empty input: high cannot be empty"),
    ([1.0, 2.0], [1.0], [NAN], "Length mismatch: high=2, low=1"),
    ([1.0, 2.0], [1.0, NAN], [1.0], "Invalid value at index 1: low contains non-finite value: NaN"),
    ([1.0, 2.0], [1.0, 1.0], [1.0], "Length mismatch: high=2, close=1"),
    ([1.0, -math.inf], [1.0, 1.0], [], "Invalid value at index 1: high contains non-finite value: -inf"),
])
def test_series_checks(m, h, l, c, msg):
    for call in (lambda: m.py_stochastic(h, l, c, 1, 1, 1), lambda: m.py_williams_r(h, l, c, 1),
                 lambda: m.py_kdj(h, l, c, 1, 1, 1)):
        with pytest.raises(ValueError) as e:
            call()
        assert str(e.value) == msg


@pytest.mark.parametrize("close,periods,msg", [
    ([], (1, 1, 1, 1), "Empty input: close cannot be empty"),
    ([1.0, math.inf], (1, 1, 1, 1), "Invalid value at index 1: close contains non-finite value: inf"),
    ([1.0] * 10, (10, 1, 0, 1), ip(0, 10)),          # zero periods come before the RSI
    ([1.0] * 10, (10, 1, 11, 1), "Insufficient data: need at least 11 elements, got 10"),
    ([1.0] * 10, (3, 1, 11, 1), ip(11, 10)),
    ([1.0] * 10, (3, 1, 2, 11), ip(11, 10)),
])
def test_stochrsi_errors(m, close, periods, msg):
    for fn in (m.py_stochrsi, m.py_stoch_rsi):
        with pytest.raises(ValueError) as e:
            fn(close, *periods)
        assert str(e.value) == msg


def test_stochrsi_long_stoch_period_is_all_nan(m):
    k, d = m.py_stochrsi(C[:30], 5, 31, 3, 3)
    assert len(k) == len(d) == 30 and all(math.isnan(v) for v in k + d)


# ---- docstrings -------------------------------------------------------------------------

DOCS = [
    ("py_stochastic", "(high, low, close, k_period=14, smooth_k=3, d_period=3)", "Calculate Stochastic Oscillator"),
    ("py_kdj", "(high, low, close, k_period=9, smooth_k=3, d_period=3)", "Calculate KDJ Indicator"),
    ("py_williams_r", "(high, low, close, period=14)", "Calculate Williams %R"),
    ("py_stochrsi", "(close, rsi_period=14, stoch_period=14, k_period=3, d_period=3)", "Calculate Stochastic RSI"),
    ("py_stoch_rsi", "(close, rsi_period=14, stoch_period=14, k_period=3, d_period=3)", None),
]


@pytest.mark.parametrize("name,sig,first", DOCS)
def test_docstrings(m, name, sig, first):
    f = getattr(m, name)
    assert f.__text_signature__ == sig
    if first is None:
        assert not f.__doc__
    else:
        lines = f.__doc__.splitlines()
        assert lines[0] == first and "Parameters" in lines and "Raises" in lines


# ---- properties -------------------------------------------------------------------------


@settings(max_examples=60, deadline=None)
@given(st.lists(st.tuples(st.floats(-1e6, 1e6), st.floats(0, 1e3), st.floats(0, 1)), min_size=1, max_size=60),
       st.integers(1, 8))
def test_bounded_when_close_inside_range(m, rows, p):
    low = [a for a, _, _ in rows]
    high = [a + w for a, w, _ in rows]
    close = [a + w * f for a, w, f in rows]
    p = min(p, len(rows))
    k, _ = m.py_stochastic(high, low, close, p, 1, 1)
    w = m.py_williams_r(high, low, close, p)
    assert len(k) == len(w) == len(rows)
    assert all(-1e-9 <= v <= 100 + 1e-9 for v in k[p - 1 :])
    assert all(-100 - 1e-9 <= v <= 1e-9 for v in w[p - 1 :])
