"""Parabolic SAR and extended SAR, MAMA, TRIMA, midpoint and midprice.

The two SAR functions are checked against hand-traced bars and a compact reference of their
stepping rules; TRIMA, midpoint and midprice against window computations. Peer values come
from TA-Lib 0.8.2 on random_bars(12, 3), on bars where its definitions coincide."""
import math

import pytest

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, native_program, random_bars, random_walk, value_error
from reference import ref_sar, ref_sarext, rolling

NAN, INF = math.nan, math.inf


SX = (0.0, 0.0, 0.02, 0.02, 0.2, 0.02, 0.02, 0.2)  # sarext defaults after high, low
HALVES = (0.5,) * 6
# A long run peaking at bar 3 that turns down at bar 4 (unclamped test) or bar 5 (clamped
# test), then short until bar 7 turns it up again.
RUN_H = [10, 12, 20, 30, 22, 21, 19, 25]
RUN_L = [9, 11, 12, 19, 20, 15, 14, 20]


# ---- SAR ----------------------------------------------------------------------------------


@pytest.mark.parametrize("h, l, a, m, want", [
    ([3, 4], [1, 2], 0.02, 0.2, [NAN, 1]),   # bar 1's sum larger: long from low[0]
    ([3, 4], [1, 0], 0.02, 0.2, [NAN, 3]),   # equal sums start short from high[0]
    # af 0.1 -> 0.2 -> 0.25 (capped) -> 0.25 on the new highs of bars 2, 3 and 4
    ([10, 11, 12, 13, 14, 15], [9, 10, 11, 12, 13, 14], 0.1, 0.25, [NAN, 9, 9.2, 9.76, 10.57, 11.4275]),
    # bar 2 clamps with bar 1 alone: 10.5 -> 9.5 (bar 0's 9 takes no part)
    ([10, 12, 13], [9, 9.5, 10], 0.5, 0.5, [NAN, 9, 9.5]),
    # later bars with the two previous lows: 15.25 -> min(12, 11), then 16 -> min(19, 12)
    ([10, 12, 20, 21, 22], [9, 11, 12, 19, 20], 0.5, 0.5, [NAN, 9, 10.5, 11, 12]),
    # a low equal to the clamped 11 holds; 10.99 reverses to the extreme 20
    ([10, 12, 20, 21], [9, 11, 12, 11], 0.5, 0.5, [NAN, 9, 10.5, 11]),
    ([10, 12, 20, 21], [9, 11, 12, 10.99], 0.5, 0.5, [NAN, 9, 10.5, 20]),
    # a high equal to ep is no new extreme: af stays 0.1 (9.3 + 0.1 * 2.7); 12.5 makes it 0.2
    ([10, 12, 12, 13], [9, 11, 11.5, 12.5], 0.1, 1.0, [NAN, 9, 9.3, 9.57]),
    ([10, 12, 12.5, 13], [9, 11, 11.5, 12.5], 0.1, 1.0, [NAN, 9, 9.3, 9.94]),
    # bar 5 reverses (clamped 19 > 15) to the run's highest high, 30, unclamped; bar 6 steps
    # down to 22.5; bar 7's high 25 exceeds the clamped 21 and turns long at ep 14
    (RUN_H, RUN_L, 0.5, 0.5, [NAN, 9, 10.5, 11, 12, 30, 22.5, 14]),
    (RUN_H[:5] + [35], RUN_L[:6], 0.5, 0.5, [NAN, 9, 10.5, 11, 12, 30]),  # outside bar: still 30
])
def test_sar_hand_traced(h, l, a, m, want):
    got = vl.py_sar(h, l, a, m)
    assert nan_equal(got, want, tol=1e-12) and nan_equal(ref_sar(h, l, a, m), want, tol=1e-12)
    if h[1] + l[1] != h[0] + l[0]:  # the short rules mirror the long ones exactly
        assert nan_equal(vl.py_sar([-x for x in l], [-x for x in h], a, m), [-x for x in got])


def test_sar_rising_bars_stay_long_below_the_previous_lows():
    h = [100 + i + 0.5 * math.sin(i) for i in range(80)]
    l = [x - 2 for x in h]
    out = vl.py_sar(h, l, 0.02, 0.2)
    assert out[1] == l[0] and all(out[i] <= min(l[i - 1], l[i - 2]) for i in range(3, 80))
    assert all(b > a for a, b in zip(out[1:], out[2:]))


@pytest.mark.parametrize("a, m", [(0.02, 0.2), (0.05, 0.05), (0.2, 1.0), (None, None)])
@pytest.mark.parametrize("seed", [1, 9])
def test_sar_matches_reference(seed, a, m):
    h, l, _ = random_bars(800, seed)
    out = vl.py_sar(h, l, a, m)
    assert nan_equal(out, ref_sar(h, l, 0.02 if a is None else a, 0.2 if m is None else m))
    assert len(out) == 800 and math.isnan(out[0]) and all(math.isfinite(x) for x in out[1:])


# TA-Lib SAR(0.02, 0.2): both start long and no reversal bar reaches past its extreme, so the
# definitions coincide on every bar. Its SAREXT with the same factors is this series with short
# levels negated; ours starts at bar 0 and clamps bar 2 with bar 0, so bars 0 to 3 differ.
PEER_SAR = [NAN, 98.886867961095, 98.93864640463, 99.112824461909, 103.2930978366, 103.211566275368,
            102.990065579061, 102.777424910606, 102.573289868889, 102.182407478922, 101.814978032352,
            101.469594352577]
# TA-Lib TRIMA(4), MIDPOINT(5) and MIDPRICE(5); TRIMA sums in another order (to 1e-12).
PEER_TRIMA4 = [101.620411672043, 101.695041289048, 100.91116026839, 100.049966512604, 99.873518627786,
               99.836762461957, 99.605030551508, 99.326941549568, 99.507336212584]
PEER_MIDPOINT5 = [101.459623865389, 100.729879367936, 100.729879367936, 99.867648932986, 99.699525043175,
                  99.670009233384, 99.670009233384, 99.670009233384]
PEER_MIDPRICE5 = [101.089982898847, 100.483573352144, 100.483573352144, 100.329030968551, 98.901984638809,
                  98.582675901835, 98.694284784327, 98.694284784327]


def test_agreement_with_peer():
    h, l, c = random_bars(12, 3)
    assert nan_equal(vl.py_sar(h, l, 0.02, 0.2), PEER_SAR, tol=1e-12)
    ext = vl.py_sarext(h, l, *SX)
    assert nan_equal(ext[4:], PEER_SAR[4:], tol=1e-12) and ext[0] == ext[2] == l[0] != PEER_SAR[2]
    assert nan_equal(vl.py_trima(c, 4), [NAN] * 3 + PEER_TRIMA4, tol=1e-12)
    assert nan_equal(vl.py_midpoint(c, 5), [NAN] * 4 + PEER_MIDPOINT5, tol=1e-12)
    assert nan_equal(vl.py_midprice(h, l, 5), [NAN] * 4 + PEER_MIDPRICE5, tol=1e-12)


# ---- SAREXT -------------------------------------------------------------------------------


@pytest.mark.parametrize("h, l, params, want", [
    ([10, 12, 13], [9, 11, 12], SX, [9, 9, 9]),               # bar 1 clamps with bar 0
    ([10, 12, 13], [9, 11, 12], (5e-11,) + SX[1:], [9, 9, 9]),  # |start| < 1e-10 seeds low[0]
    ([10, 12, 13], [9, 11, 12], (-5e-11,) + SX[1:], [9, 9, 9]),
    # 1e-10 itself is not below the bound and seeds the level: 1e-10 + 0.02 * (10 - 1e-10),
    # then s + 0.04 * (12 - s), both under the clamping lows
    ([10, 12, 13], [9, 11, 12], (1e-10,) + SX[1:], [1e-10, 0.200000000098, 0.672000000094]),
    # long from -5: -5 + 0.02 * 15, then -4.7 + 0.04 * 16.7
    ([10, 12, 13], [9, 11, 12], (-5.0,) + SX[1:], [-5, -4.7, -4.032]),
    # 98.2 > 11 reverses to ep 10; 10.02 < 13 turns long at 11
    ([10, 12, 13], [9, 11, 12], (100.0,) + SX[1:], [100, 10, 11]),
    # two bars, first step 9.5: holds while low[1] is not below it, else high[0] + offset
    ([10, 9.6], [9, 9.5], (0.0, 0.75) + HALVES, [9, 9]),
    ([10, 9.6], [9, 9.25], (0.0, 0.75) + HALVES, [9, 10.75]),
    # bar 4: the unclamped step 20.5 exceeds the low 20 (the clamped 12 would not) and reverses
    # to the extreme 30 + offset; bar 5 clamps to bar 3's high; bar 7 turns long at 14 - offset
    (RUN_H, RUN_L, (0.0, 0.0) + HALVES, [9, 9, 9, 11, 30, 30, 22.5, 14]),
    (RUN_H, RUN_L, (0.0, 1.0) + HALVES, [9, 9, 9, 11, 31, 30, 22.5, 13]),
    (RUN_H, RUN_L, (0.0, -2.5) + HALVES, [9, 9, 9, 11, 27.5, 30, 22.5, 16.5]),
])
def test_sarext_hand_traced(h, l, params, want):
    assert nan_equal(vl.py_sarext(h, l, *params), want, tol=1e-12)
    assert nan_equal(ref_sarext(h, l, *params), want, tol=1e-12)


@pytest.mark.parametrize("params", [
    SX, (None,) * 8, (0.0, 0.5, 0.03, 0.04, 0.25, 0.01, 0.05, 0.3), (-3.0, -1.0, 0.1, 0.1, 0.1, 0.02, 0.02, 0.2),
    (250.0, 0.0, 0.02, 0.02, INF, 0.02, 0.02, INF),
])
@pytest.mark.parametrize("seed", [2, 7])
def test_sarext_matches_reference(seed, params):
    h, l, _ = random_bars(800, seed)
    out = vl.py_sarext(h, l, *params)
    assert len(out) == 800 and nan_equal(out, ref_sarext(h, l, *(SX if params[0] is None else params)))
    # the level itself in both positions: no sign marks a short one
    assert all(math.isfinite(x) for x in out) and all(x > 0 for x in out[1:])


# ---- refusals -----------------------------------------------------------------------------

H2, L2 = [3.0, 4.0], [1.0, 2.0]
NF = "Invalid value at index {}: {} contains non-finite value: {}"
P0 = "Invalid value at index 0: "


@pytest.mark.parametrize("args, msg", [
    (([], [], 0, 0), "Empty input: high cannot be empty"),
    (([1.0, NAN], [], 0, 0), NF.format(1, "high", "NaN")),
    (([1.0, 2.0], [], 0, 0), "Empty input: low cannot be empty"),
    (([1.0, 2.0], [1.0], 0, 0), "Length mismatch: high=2, low=1"),
    (([1.0, 2.0], [1.0, -INF], 0, 0), NF.format(1, "low", "-inf")),
    (([1.0], [1.0], 0, 0), "Insufficient data: need at least 2 elements, got 1"),
    ((H2, L2, 0, 0), P0 + "acceleration (0) must be > 0"),
    ((H2, L2, 0.3, 0), P0 + "maximum (0) must be > 0"),
    ((H2, L2, 0.3, None), P0 + "maximum (0.2) must be >= acceleration (0.3)"),
    ((H2, L2, None, 1e-3), P0 + "maximum (0.001) must be >= acceleration (0.02)"),
])
def test_sar_refusals_in_order(args, msg):
    assert value_error(vl.py_sar, *args) == msg


def sx(**kw):
    names = "start_value offset_on_reverse af_init_long af_long af_max_long af_init_short af_short af_max_short"
    return tuple({**dict(zip(names.split(), SX)), **kw}.values())


@pytest.mark.parametrize("h, l, params, msg", [
    ([INF], [], sx(af_init_long=0), NF.format(0, "high", "inf")),
    (H2, [1.0], sx(af_init_long=0), "Length mismatch: high=2, low=1"),
    ([1.0], [1.0], sx(af_init_long=0), "Insufficient data: need at least 2 elements, got 1"),
    (H2, L2, sx(af_init_long=0, af_long=0, af_init_short=0), P0 + "af_init_long (0) must be > 0"),
    (H2, L2, sx(af_long=-1, af_max_long=0.01, af_init_short=0), P0 + "af_long (-1) must be > 0"),
    (H2, L2, sx(af_max_long=0.01, af_init_short=0), P0 + "af_max_long (0.01) must be >= af_init_long (0.02)"),
    (H2, L2, sx(af_init_short=0, af_short=0), P0 + "af_init_short (0) must be > 0"),
    (H2, L2, sx(af_short=0, af_max_short=-1), P0 + "af_short (0) must be > 0"),
    (H2, L2, sx(af_init_short=0.5), P0 + "af_max_short (0.2) must be >= af_init_short (0.5)"),
])
def test_sarext_refusals_in_order(h, l, params, msg):
    assert value_error(vl.py_sarext, h, l, *params) == msg


@pytest.mark.parametrize("fn, args, msg", [
    (vl.py_mama, ([], 0.5, 0.05), "Empty input: values cannot be empty"),
    (vl.py_mama, ([1.0, 2.0, NAN], 0.1, 0.5), NF.format(2, "values", "NaN")),
    (vl.py_mama, ([1.0] * 5, 0.1, 0.5), "Insufficient data: need at least 6 elements, got 5"),
    # an empty clamp range (slow above fast, or a NaN limit) is refused
    (vl.py_mama, ([1.0] * 6, 0.3, 0.5), P0 + "fast_limit (0.3) must be >= slow_limit (0.5)"),
    (vl.py_mama, ([1.0] * 6, None, 0.6), P0 + "fast_limit (0.5) must be >= slow_limit (0.6)"),
    (vl.py_trima, ([], 0), "Empty input: values cannot be empty"),
    (vl.py_trima, ([1.0, INF], 0), NF.format(1, "values", "inf")),
    (vl.py_trima, ([1.0] * 3, 4), "Invalid period: 4 (must be > 0 and <= data length 3)"),
    (vl.py_midpoint, ([NAN], 0), NF.format(0, "values", "NaN")),
    (vl.py_midpoint, ([1.0] * 3, 0), "Invalid period: 0 (must be > 0 and <= data length 3)"),
    (vl.py_midprice, ([], [1.0], 0), "Empty input: high cannot be empty"),
    (vl.py_midprice, ([1.0] * 5, [1.0] * 4, 0), "Length mismatch: high=5, low=4"),
    (vl.py_midprice, ([1.0] * 2, [1.0, NAN], 0), NF.format(1, "low", "NaN")),
    (vl.py_midprice, ([1.0] * 2, [1.0] * 2, 3), "Invalid period: 3 (must be > 0 and <= data length 2)"),
])
def test_average_refusals_in_order(fn, args, msg):
    assert value_error(fn, *args) == msg


def test_binding():
    with pytest.raises(TypeError, match=r"py_sar\(\) missing 2 required positional arguments: 'acceleration' and"):
        vl.py_sar(H2, L2)
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'af_max_short'"):
        vl.py_sarext(H2, L2, *SX[:7])
    with pytest.raises(TypeError, match="^argument 'high': "):
        vl.py_sar(None, L2, None, None)
    with pytest.raises(TypeError, match=r"py_mama\(\) missing 1 required positional argument: 'slow_limit'"):
        vl.py_mama([1.0] * 6, None)
    with pytest.raises(TypeError, match="^argument 'values': "):
        vl.py_mama(None, None, None)
    for name, args in [("py_trima", ([1.0],)), ("py_midpoint", ([1.0],)), ("py_midprice", ([1.0], [1.0]))]:
        with pytest.raises(TypeError, match="missing 1 required positional argument: 'period'"):
            getattr(vl, name)(*args)
        with pytest.raises(TypeError, match="^argument 'period': "):
            getattr(vl, name)(*args, None)
    assert nan_equal(vl.py_sar(high=H2, low=L2, maximum=0.3, acceleration=0.1), vl.py_sar(H2, L2, 0.1, 0.3))


# ---- MAMA ---------------------------------------------------------------------------------


@pytest.mark.parametrize("fast, slow, alpha", [
    (None, None, 0.5 / 6), (0.3, 0.1, 0.1), (0.9, 0.01, 0.15), (0.04, 0.04, 0.04), (0.0, 0.0, 0.0)])
def test_mama_fixed_factor(fast, slow, alpha):
    v = random_walk(300, seed=8)
    mama, fama = vl.py_mama(v, fast, slow)
    m = f = v[0]
    for i, x in enumerate(v):
        if i:
            m = alpha * x + (1 - alpha) * m
            f = (alpha * 0.5) * m + (1 - alpha * 0.5) * f
        assert mama[i] == pytest.approx(m, rel=1e-13) and fama[i] == pytest.approx(f, rel=1e-13)


def test_mama_six_values_are_all_defined():
    mama, fama = vl.py_mama([1.0, 2.0, 4.0, 3.0, 5.0, 6.0], 0.6, 0.5)  # alpha 0.1 raised to 0.5
    assert mama == [1.0, 1.5, 2.75, 2.875, 3.9375, 4.96875]
    assert fama[:3] == [1.0, 1.125, 1.53125]  # 0.25 * mama + 0.75 * previous


# ---- TRIMA, midpoint, midprice ------------------------------------------------------------


def test_trima_hand_traced():
    assert nan_equal(vl.py_trima([1, 2, 3, 4, 5, 6, 7, 8], 4), [NAN] * 3 + [2.5, 3.5, 4.5, 5.5, 6.5])
    assert nan_equal(vl.py_trima([4, 8, 0, 4], 3), [NAN, NAN, 5.0, 3.0])  # weights 1, 2, 1
    v = [3.0, 1.0, 4.0, 1.0, 5.0]
    assert nan_equal(vl.py_trima(v, 5), [NAN] * 4 + [(3 + 2 * 1 + 3 * 4 + 2 * 1 + 5) / 9], tol=1e-15)
    assert nan_equal(vl.py_trima(v, 2), [NAN, 2.0, 2.5, 2.5, 3.0])


@pytest.mark.parametrize("p", [1, 2, 3, 4, 7, 31, 400])
def test_trima_matches_mean_of_means(p):
    v = random_walk(400, seed=p)
    mean = lambda w: math.fsum(w) / len(w)  # noqa: E731
    first = rolling(v, p - p // 2, mean)[p - p // 2 - 1:]
    out = vl.py_trima(v, p)
    assert first_defined(out) == p - 1 and len(out) == 400
    assert nan_equal(out, [NAN] * (p - p // 2 - 1) + rolling(first, p // 2 + 1, mean), tol=1e-12)


@pytest.fixture(scope="module")
def trima_driver():
    return native_program("trima")


@pytest.mark.parametrize("p", [1, 2, 3, 30, 2000])
@pytest.mark.parametrize("spike", [150.0, 1.5e308])
def test_trima_is_the_average_of_averages_bit_for_bit(trima_driver, p, spike):
    # 5000 bars: both windows pass their 1000-slide recomputes; huge pairs overflow the sums
    differ, undefined = map(int, trima_driver(f"5000 {p} {spike!r}")[0].split())
    assert differ == 0
    assert undefined == p - 1 if spike == 150.0 or p == 1 else undefined > p - 1


@pytest.mark.parametrize("p", [1, 2, 5, 14])
def test_midpoint_and_midprice_match_windows(p):
    h, l, c = random_bars(300, p)
    assert nan_equal(vl.py_midpoint(c, p), rolling(c, p, lambda w: (max(w) + min(w)) * 0.5))
    mid = [(x + y) * 0.5 for x, y in zip(rolling(h, p, max), rolling(l, p, min))]
    assert nan_equal(vl.py_midprice(h, l, p), mid)
    assert nan_equal(vl.py_midpoint([1, 5, 2, 4], 3), [NAN, NAN, 3.0, 3.5])
    assert vl.py_midpoint(c, 1) == c and nan_equal(vl.py_midprice([4, 6, 5], [1, 2, 3], 2), [NAN, 3.5, 4.0])


# ---- docstrings ---------------------------------------------------------------------------


def test_docstrings():
    assert vl.py_sar.__text_signature__ == "(high, low, acceleration=0.02, maximum=0.2)"
    assert vl.py_sar.__doc__ == (
        "Calculate Parabolic SAR (Stop and Reverse)\n\n"
        "Trailing stop system that follows price. Dots flip from\nbelow to above price on trend reversals.\n\n"
        "Parameters\n----------\nhigh : list of float\n    High prices\nlow : list of float\n    Low prices\n"
        "acceleration : float, optional\n    Acceleration factor step (default: 0.02)\n"
        "maximum : float, optional\n    Maximum acceleration (default: 0.2)\n\n"
        "Returns\n-------\nlist of float - SAR values")
    assert vl.py_sarext.__text_signature__ == (
        "(high, low, start_value, offset_on_reverse, af_init_long, af_long, af_max_long, af_init_short, "
        "af_short, af_max_short)")
    assert vl.py_mama.__text_signature__ == "(values, fast_limit, slow_limit)"
    assert not vl.py_sarext.__doc__ and not vl.py_mama.__doc__
    for fn, sig, head, tail in [
        (vl.py_trima, "(values, period)", "Calculate Triangular Moving Average (TRIMA)\n\nDouble-smoothed SMA with "
         "triangular weighting.\nMore weight to middle of period, smoother than SMA.\n\n", "TRIMA values"),
        (vl.py_midpoint, "(values, period)", "Calculate Midpoint over Period\n\nAverage of highest and lowest "
         "values over the lookback period.\n(Highest + Lowest) / 2\n\n", "Midpoint values"),
        (vl.py_midprice, "(high, low, period)", "Calculate Midprice over Period\n\nAverage of highest high and "
         "lowest low over the lookback period.\n(Highest High + Lowest Low) / 2\n\n", "Midprice values"),
    ]:
        assert fn.__text_signature__ == sig and fn.__doc__.startswith(head + "Parameters\n----------\n")
        assert fn.__doc__.endswith("period : int\n    Lookback period\n\nReturns\n-------\nlist of float - " + tail)
    assert "values : list of float\n    Price data\n" in vl.py_trima.__doc__
    assert "high : list of float\n    High prices\nlow : list of float\n    Low prices\n" in vl.py_midprice.__doc__
