"""Momentum, price and other oscillators: MOM, ROC, APO, PPO, CMO, CCI, AO, Fisher, TSI, UO."""
import math
import random
from fractions import Fraction

import pytest

from conftest import first_defined, nan_equal, native_program, random_bars
from reference import exact_deviation_sum, kahan_sum, ref_cci, ref_cmo, ref_ema, ref_fisher, ref_sma, ref_tsi, ref_uo


def bars(n, seed=11):
    return random_bars(n, seed)


NAN = math.nan
TOL = 1e-9


def wild_bars(n, seed=5):
    """Prices that move by tens of percent a bar: window sums whose rounding a compensated
    sum visibly changes."""
    rng = random.Random(seed)
    high, low, close, x = [], [], [], 1000.0
    for _ in range(n):
        x = max(1.0, x * math.exp(rng.gauss(0, 0.3)))
        h, lo = x * (1 + rng.random() * 0.5), x * (1 - rng.random() * 0.5)
        high.append(h), low.append(lo), close.append(lo + (h - lo) * rng.random())
    return high, low, close


H, L, C = bars(5000)
N = len(C)
WILD = wild_bars(3000)


def ip(p, n):
    return f"Invalid period: {p} (must be > 0 and <= data length {n})"


def insufficient(need, got):
    return f"Insufficient data: need at least {need} elements, got {got}"


def raises(call, msg):
    with pytest.raises(ValueError) as e:
        call()
    assert str(e.value) == msg


def all_nan(v):
    return all(math.isnan(x) for x in v)


# ---- agreement with the references ------------------------------------------------------


@pytest.mark.parametrize("p", [1, 10, 37])
def test_mom_roc_cmo_match_reference(m, p):
    assert nan_equal(m.py_mom(C, p), [NAN] * p + [C[i] - C[i - p] for i in range(p, N)])
    assert nan_equal(m.py_roc(C, p), [NAN] * p + [(C[i] / C[i - p] - 1) * 100 for i in range(p, N)])
    assert nan_equal(m.py_cmo(C, p), ref_cmo(C, p), TOL)


@pytest.mark.parametrize("f,s", [(12, 26), (1, 2), (5, 50), (3, 9000)])
def test_apo_ppo_match_reference(m, f, s):
    fast, slow = ref_ema(C, f), ref_ema(C, min(s, N))
    assert nan_equal(m.py_apo(C, f, s), [a - b for a, b in zip(fast, slow)], TOL)
    assert nan_equal(m.py_ppo(C, f, s), [(a - b) / b * 100 for a, b in zip(fast, slow)], TOL)
    assert first_defined(m.py_apo(C, f, s)) == min(s, N) - 1


@pytest.mark.parametrize("p", [1, 2, 20, 55])
def test_cci_fisher_match_reference(m, p):
    assert nan_equal(m.py_cci(H, L, C, p), ref_cci(H, L, C, p), 1e-7)
    fisher, signal = m.py_fisher_transform(H, L, C, p)
    rf, rs = ref_fisher(H, L, C, p)
    assert nan_equal(fisher, rf, TOL) and nan_equal(signal, rs, TOL)


@pytest.mark.parametrize("f,s", [(5, 34), (1, 2), (10, 10000)])
def test_awesome_matches_reference(m, f, s):
    mid = [(a + b) * 0.5 for a, b in zip(H, L)]
    want = [a - b for a, b in zip(ref_sma(mid, f), ref_sma(mid, min(s, N)))]
    assert nan_equal(m.py_awesome_oscillator(H, L, f, s), want, TOL)


@pytest.mark.parametrize("periods", [(25, 13, 13), (1, 1, 1), (2, 7, 3), (40, 5, 20)])
def test_tsi_matches_reference(m, periods):
    got, want = m.py_tsi(C, *periods), ref_tsi(C, *periods)
    assert nan_equal(got[0], want[0], 1e-8) and nan_equal(got[1], want[1], 1e-8)
    lp, sp, gp = periods
    assert first_defined(got[0]) == lp + sp - 1 and first_defined(got[1]) == lp + sp + gp - 2


@pytest.mark.parametrize("periods", [(7, 14, 28), (28, 7, 14), (1, 1, 1), (3, 40, 9), (2, 17, 33), (14, 14, 5), (30, 6, 30)])
@pytest.mark.parametrize("data,n", [("calm", N), ("calm", 45), ("wild", 3000), ("wild", 997), ("wild", 20)])
def test_ultimate_matches_reference(m, periods, data, n):
    # windows of up to 32 bars are summed afresh in index order, so their values are
    # reproducible to the bit; longer ones slide, to the rounding of their windows
    h, l, c = (x[:n] for x in ((H, L, C) if data == "calm" else WILD))
    got = m.py_ultimate_oscillator(h, l, c, *periods)
    assert nan_equal(got, ref_uo(h, l, c, *periods), tol=0.0 if max(periods) <= 32 else 1e-12)
    assert first_defined(got) == (max(periods) if max(periods) < n else None)


# ---- fallbacks and flat input -----------------------------------------------------------


def test_roc_zero_base_and_examples(m):
    assert nan_equal(m.py_roc([1, 2, 4], 1), [NAN, 100.0, 100.0])
    assert nan_equal(m.py_roc([0.0, 2, 4, 0.0, 5, 6], 2), [NAN, NAN, NAN, -100.0, 25.0, NAN])
    assert nan_equal(m.py_mom([1, 4, 9, 16], 2), [NAN, NAN, 8.0, 12.0])


@pytest.mark.parametrize("close,value", [([3.0] * 20, 0.0), (list(range(20)), 100.0), (list(range(20, 0, -1)), -100.0)])
def test_cmo_constant_rising_falling(m, close, value):
    assert nan_equal(m.py_cmo(close, 5), [NAN] * 5 + [value] * 15)


def test_cci_flat_and_unit_period(m):
    assert m.py_cci(H[:50], L[:50], C[:50], 1) == [0.0] * 50
    flat = [2.0] * 5 + H[:10]
    assert m.py_cci(flat, flat, flat, 4)[3:5] == [0.0, 0.0]
    got = m.py_cci(H[:30], L[:30], C[:30], 30)
    assert all_nan(got[:29]) and not math.isnan(got[29])


def long_bars(kind, n, seed=13):
    """Bars for long windows: ordinary, whole-number prices (ties, typical prices at the
    mean), bad prints with a level drop, a flat stretch longer than the window, and prices
    near the largest float."""
    high, low, close = random_bars(n, seed)
    if kind == "ties":
        return [float(round(x)) for x in high], [float(round(x)) for x in low], [float(round(x)) for x in close]
    if kind == "prints":
        for k in range(0, n, 97):
            high[k] *= 1000.0
        for series in (high, low, close):
            series[n // 2:] = [x / 100.0 for x in series[n // 2:]]
    if kind == "flat":
        for series in (high, low, close):
            series[n // 3:n // 3 + 1500] = [7.25] * 1500
    if kind == "huge":  # sums of a window's typical prices would overflow unscaled
        return [x * 1e303 for x in high], [x * 1e303 for x in low], [x * 1e303 for x in close]
    return high, low, close


def assert_cci_within_bound(m, got, high, low, close, p, indices):
    """Long windows sum their deviation from ranked sums: within 2^-52 of itself plus
    32 (log2(2p) + 2) p^2 2^-105 X (X the largest typical price) of the exact sum about the
    window's mean; the three roundings after it add 3 * 2^-53 to the value's error."""
    tp = [(a + b + c) / 3.0 for a, b, c in zip(high, low, close)]
    mean = m.py_sma(tp, p)
    largest = max(map(abs, tp))
    for i in indices:
        if math.isnan(mean[i]):  # the mean's own sum overflowed
            assert math.isnan(got[i]), i
            continue
        dev = exact_deviation_sum(tp[i + 1 - p:i + 1], mean[i])
        if dev / p < Fraction(1e-10):  # far below: the values here are not near the guard
            assert got[i] == 0.0, i
            continue
        want = (Fraction(tp[i]) - Fraction(mean[i])) / (dev / p * Fraction(0.015))
        slack = 6 * 2.0**-53 + 32 * (math.log2(2 * p) + 2) * p * p * 2.0**-105 * largest / float(dev)
        assert abs(Fraction(got[i]) - want) <= Fraction(slack) * abs(want), (i, got[i], float(want))


@pytest.mark.parametrize("kind", ["walk", "ties", "prints", "flat", "huge"])
@pytest.mark.parametrize("p", [1025, 1400, 4000])
def test_cci_long_windows_within_bound_of_the_exact_deviation(m, kind, p):
    # From 1025 bars the deviation comes from sums kept ranked in blocks of p bars: 4000 bars
    # cross the seams, and 4000 is a single window.
    high, low, close = long_bars(kind, 4000)
    got = m.py_cci(high, low, close, p)
    assert all_nan(got[:p - 1])
    assert_cci_within_bound(m, got, high, low, close, p, range(p - 1, 4000, 7))
    if kind == "flat" and p <= 1500:  # a window wholly inside the flat stretch
        assert got[4000 // 3 + 1499] == 0.0


@pytest.mark.parametrize("p", [10**4, 10**5])
def test_cci_long_period_precision(m, p):
    high, low, close = random_bars(p + 400, seed=p)
    got = m.py_cci(high, low, close, p)
    assert_cci_within_bound(m, got, high, low, close, p, range(p - 1, p + 400, 37))


def test_fisher_fallbacks(m):
    flat = [4.0] * 6
    assert m.py_fisher_transform(flat, flat, flat, 3)[0][2:] == [0.0] * 4
    high, low = [5.0, 6.0, 7.0, 8.0], [4.0, 4.5, 5.0, 6.0]
    fisher, signal = m.py_fisher_transform(high, low, high, 2)
    assert fisher[1:] == [0.5 * math.log(1.999 / 0.001)] * 3 and nan_equal(signal, [NAN] + fisher[:-1])
    fisher, signal = m.py_fisher_transform(high, low, high, 4)
    assert all_nan(fisher[:3]) and not math.isnan(fisher[3]) and all_nan(signal)
    # an overflowing range makes the position inf/inf; the clamp still bounds it
    fisher, _ = m.py_fisher_transform([1e308], [-1e308], [1e308], 1)
    assert fisher == [0.5 * math.log(0.001 / 1.999)]


def test_tsi_flat_and_rising(m):
    assert all(all_nan(x) for x in m.py_tsi([7.0] * 60, 5, 3, 3))
    tsi, signal = m.py_tsi([float(i) for i in range(1, 41)], 25, 13, 13)
    assert first_defined(tsi) == 37 and all(abs(v - 100) <= 1.5e-14 for v in tsi[37:]) and all_nan(signal)
    # periods that fit one by one but not together: no error, nothing defined
    assert all(all_nan(x) for x in m.py_tsi(C[:20], 15, 10, 2))


def test_tsi_flat_stretch_restarts_signal(m):
    close = C[:60] + [C[59]] * 12 + C[60:120]
    got, want = m.py_tsi(close, 1, 1, 4), ref_tsi(close, 1, 1, 4)
    assert nan_equal(got[0], want[0], 1e-9) and nan_equal(got[1], want[1], 1e-9)
    # no change over the flat bars: the line is undefined there and the signal reseeds after
    assert all_nan(got[0][60:72]) and all_nan(got[1][60:75]) and first_defined(got[1][72:]) == 3


def test_ultimate_long_period_and_defaults(m):
    assert all_nan(m.py_ultimate_oscillator(H[:30], L[:30], C[:30], 7, 14, 30))
    got = m.py_ultimate_oscillator(H[:30], L[:30], C[:30], None, None, None)
    assert first_defined(got) == 28
    assert nan_equal(got, m.py_ultimate_oscillator(H[:30], L[:30], C[:30], 7, 14, 28))


def test_none_selects_defaults(m):
    c = C[:300]
    assert nan_equal(m.py_mom(c, None), m.py_mom(c, 10)) and nan_equal(m.py_roc(c, None), m.py_roc(c, 10))
    assert nan_equal(m.py_apo(c, None, None), m.py_apo(c, 12, 26))
    assert nan_equal(m.py_ppo(c, None, None), m.py_ppo(c, 12, 26))
    assert nan_equal(m.py_cmo(c, None), m.py_cmo(c, 14))
    assert nan_equal(m.py_cci(H[:300], L[:300], c, None), m.py_cci(H[:300], L[:300], c, 20))
    assert nan_equal(m.py_awesome_oscillator(H[:300], L[:300], None, None),
                     m.py_awesome_oscillator(H[:300], L[:300], 5, 34))
    # None selects 9 although the signature shows 10
    assert nan_equal(m.py_fisher_transform(H[:300], L[:300], c, None)[0], m.py_fisher_transform(H[:300], L[:300], c, 9)[0])
    assert nan_equal(m.py_tsi(c, None, None, None)[1], m.py_tsi(c, 25, 13, 13)[1])


# ---- period rules and messages ----------------------------------------------------------


@pytest.mark.parametrize("fn", ["py_mom", "py_roc"])
def test_mom_roc_period_rule(m, fn):
    assert all_nan(getattr(m, fn)(C[:12], 12))
    raises(lambda: getattr(m, fn)(C[:12], 0), ip(0, 12))
    raises(lambda: getattr(m, fn)(C[:12], 13), ip(13, 12))
    raises(lambda: getattr(m, fn)([1.0, NAN], 1), "Invalid value at index 1: values contains non-finite value: NaN")
    raises(lambda: getattr(m, fn)([], 1), "Empty input: values cannot be empty")


FAST_SLOW = "Invalid value at index 0: fast_period ({}) must be <= slow_period ({})"


@pytest.mark.parametrize("fn", ["py_apo", "py_ppo"])
def test_apo_ppo_rules(m, fn):
    f = getattr(m, fn)
    raises(lambda: f(C, 12, 12), insufficient(12, N))
    raises(lambda: f(C, 13, 12), FAST_SLOW.format(13, 12))
    raises(lambda: f(C, 0, 12), ip(0, N))
    raises(lambda: f(C, 13, 0), ip(0, N))
    raises(lambda: f(C[:20], 20, 26), insufficient(26, 20))
    raises(lambda: f([1.0, math.inf], 1, 2), "Invalid value at index 1: close contains non-finite value: inf")
    raises(lambda: f([], 1, 2), "Empty input: close cannot be empty")
    got = f(C[:20], 12, 26)
    assert first_defined(got) == 19 and all_nan(got[:19])


def test_ppo_near_zero_slow(m):
    # the slow EMA seeds at exactly 0.0 on the second bar; the APO is still defined there
    assert nan_equal(m.py_ppo([1.0, -1.0, 1.0], 1, 2), [NAN, NAN, (1 - 2 / 3) / (2 / 3) * 100], 1e-12)
    assert nan_equal(m.py_apo([1.0, -1.0, 1.0], 1, 2), [NAN, -1.0, 1 - 2 / 3], 1e-12)


def test_cmo_rules(m):
    got = m.py_cmo(C[:15], 14)
    assert first_defined(got) == 14
    raises(lambda: m.py_cmo(C[:15], 15), insufficient(16, 15))
    raises(lambda: m.py_cmo(C[:15], 0), ip(0, 15))


def test_cci_rules(m):
    raises(lambda: m.py_cci(H[:30], L[:30], C[:30], 31), ip(31, 30))
    raises(lambda: m.py_cci(H[:30], L[:30], C[:30], 0), ip(0, 30))
    big = [1e308] * 3
    raises(lambda: m.py_cci(big, big, big, 2), "Invalid value at index 0: values contains non-finite value: inf")
    raises(lambda: m.py_cci(big, big, big, 4), ip(4, 3))  # the period is tested before the typical price
    raises(lambda: m.py_cci([1.0, 1e308], [1.0, 1e308], [1.0, 1e308], 1),
           "Invalid value at index 1: values contains non-finite value: inf")
    raises(lambda: m.py_cci(H[:3], L[:2], C[:3], 2), "Length mismatch: high=3, low=2")


def test_awesome_rules(m):
    raises(lambda: m.py_awesome_oscillator(H, L, 5, 5), insufficient(5, N))
    raises(lambda: m.py_awesome_oscillator(H, L, 6, 5), FAST_SLOW.format(6, 5))
    raises(lambda: m.py_awesome_oscillator(H, L, 0, 5), ip(0, N))
    got = m.py_awesome_oscillator(H[:10], L[:10], 5, 34)
    assert first_defined(got) == 9 and all_nan(got[:9])
    big = [1e308, 1e308]
    raises(lambda: m.py_awesome_oscillator(big, big, 1, 2),
           "Invalid value at index 0: values contains non-finite value: inf")
    # the period rules come before the median price is looked at
    raises(lambda: m.py_awesome_oscillator(big, big, 2, 2), insufficient(2, 2))
    raises(lambda: m.py_awesome_oscillator(big, big, 0, 2), ip(0, 2))
    raises(lambda: m.py_awesome_oscillator(H[:3], [], 1, 2), "Empty input: low cannot be empty")


def test_fisher_rules(m):
    raises(lambda: m.py_fisher_transform(H[:9], L[:9], C[:9], 10), ip(10, 9))
    raises(lambda: m.py_fisher_transform(H[:9], L[:9], C[:9], 0), ip(0, 9))
    raises(lambda: m.py_fisher_transform(H[:9], L[:9], C[:8], 2), "Length mismatch: high=9, close=8")
    with pytest.raises(TypeError):
        m.py_fisher_transform(H[:20], L[:20], 10)


def test_tsi_rules(m):
    raises(lambda: m.py_tsi([1.0], 1, 1, 1), insufficient(2, 1))
    raises(lambda: m.py_tsi([NAN], 1, 1, 1), "Invalid value at index 0: close contains non-finite value: NaN")
    raises(lambda: m.py_tsi([1.0], 0, 0, 0), insufficient(2, 1))
    raises(lambda: m.py_tsi([1.0, NAN], 1, 1, 1), "Invalid value at index 1: close contains non-finite value: NaN")
    raises(lambda: m.py_tsi(C[:10], 11, 0, 1), ip(0, 10))
    raises(lambda: m.py_tsi(C[:10], 11, 12, 13), ip(11, 10))
    raises(lambda: m.py_tsi(C[:10], 5, 12, 13), ip(12, 10))
    raises(lambda: m.py_tsi(C[:10], 5, 5, 13), ip(13, 10))


def test_ultimate_rules(m):
    raises(lambda: m.py_ultimate_oscillator([1.0], [1.0], [1.0], 1, 1, 1), insufficient(2, 1))
    raises(lambda: m.py_ultimate_oscillator(H[:9], L[:9], C[:9], 7, 0, 28), ip(0, 9))
    raises(lambda: m.py_ultimate_oscillator([1.0], [1.0], [NAN], 1, 1, 1),
           "Invalid value at index 0: close contains non-finite value: NaN")


# ---- docstrings -------------------------------------------------------------------------

DOCS = [
    ("py_mom", "(values, period=10)", "Calculate Momentum", False),
    ("py_roc", "(values, period=10)", "Calculate Rate of Change (ROC)", False),
    ("py_apo", "(close, fast_period=12, slow_period=26)", "Calculate Absolute Price Oscillator (APO)", True),
    ("py_ppo", "(close, fast_period=12, slow_period=26)", "Calculate Percentage Price Oscillator (PPO)", True),
    ("py_cmo", "(close, period=14)", "Calculate Chande Momentum Oscillator (CMO)", True),
    ("py_cci", "(high, low, close, period=20)", "Calculate Commodity Channel Index (CCI)", True),
    ("py_awesome_oscillator", "(high, low, fast_period=5, slow_period=34)", "Calculate Awesome Oscillator (AO)",
     True),
    ("py_fisher_transform", "(high, low, period=10)", "Calculate Fisher Transform", True),
    ("py_tsi", "(close, long_period=25, short_period=13, signal_period=13)", "Calculate True Strength Index (TSI)",
     True),
    ("py_ultimate_oscillator", "(high, low, close, period1=7, period2=14, period3=28)",
     "Calculate Ultimate Oscillator", True),
]


@pytest.mark.parametrize("name,sig,first,has_raises", DOCS)
def test_docstrings(m, name, sig, first, has_raises):
    f = getattr(m, name)
    assert f.__text_signature__ == sig
    lines = f.__doc__.splitlines()
    assert lines[0] == first and "Parameters" in lines and "Returns" in lines
    assert ("Raises" in lines) == has_raises


# ---- the ultimate oscillator's window kernel on gaps ------------------------------------
# The Python function never hands the kernel a NaN past its first bar, so the kernel's gap
# rule is driven through tests/native/uo_average.cpp.

@pytest.fixture(scope="module")
def uo_avg():
    run = native_program("uo_average")

    def call(bp, tr, p):
        return [float(t) for t in run(f"{p} {len(bp)} " + " ".join(repr(float(x)) for x in bp + tr))]

    return call


def test_uo_avg_skips_gaps(uo_avg):
    bp = [NAN, 1.0, NAN, 3.0, 4.0, 1.0]
    tr = [NAN, 2.0, 2.0, NAN, 8.0, 0.0]
    assert nan_equal(uo_avg(bp, tr, 2), [NAN, NAN, 0.25, 1.5, 0.875, 5 / 8])
    # windows start one bar late, and a true-range sum below 1e-10 leaves NaN
    assert nan_equal(uo_avg([NAN, 1.0, 2.0, 3.0], [NAN, 0.0, 0.0, 4.0], 1), [NAN, NAN, NAN, 0.75])
    assert nan_equal(uo_avg([NAN, 1.0, 2.0], [NAN, 1.0, 1.0], 3), [NAN] * 3)


@pytest.mark.parametrize("p", [33, 40, 1500])
def test_uo_avg_sliding_windows_in_lanes_to_the_bit(uo_avg, p):
    # Without a gap the sliding sums run in lanes; a NaN after the last bar sends the series
    # one window at a time, and both give every window's bits.
    h, l, c = WILD[0], WILD[1], WILD[2]
    bp = [NAN] + [c[i] - min(l[i], c[i - 1]) for i in range(1, len(c))]
    tr = [NAN] + [max(h[i], c[i - 1]) - min(l[i], c[i - 1]) for i in range(1, len(c))]
    lanes = uo_avg(bp, tr, p)
    assert sum(not math.isnan(x) for x in lanes) == len(c) - p
    assert nan_equal(lanes, uo_avg(bp + [NAN], tr + [NAN], p)[:-1])


@pytest.mark.parametrize("gap", [None, 5, 40])
def test_uo_avg_long_windows_to_the_bit(uo_avg, gap):
    # long enough for the side-by-side windows; a gap anywhere sends every window the
    # careful way, and both ways give the scalar sums exactly
    h, l, c = WILD[0][:90], WILD[1][:90], WILD[2][:90]
    bp = [NAN] + [c[i] - min(l[i], c[i - 1]) for i in range(1, 90)]
    tr = [NAN] + [max(h[i], c[i - 1]) - min(l[i], c[i - 1]) for i in range(1, 90)]
    if gap is not None:
        bp[gap] = NAN
    for p in (1, 7, 23, 33, 88):
        want = [NAN] * 90
        for i in range(p, 90):
            s = kahan_sum(tr[i - p + 1 : i + 1])
            if abs(s) >= 1e-10:
                want[i] = kahan_sum(bp[i - p + 1 : i + 1]) / s
        # windows past 32 bars slide, skipping a gap as the sums afresh do
        assert nan_equal(uo_avg(bp, tr, p), want, tol=0.0 if p <= 32 else 1e-13)
