"""Parabolic SAR and extended SAR, MAMA, TRIMA, midpoint and midprice.

The two SAR functions are checked against hand-traced bars and against a compact reference
of their stepping rules; TRIMA, midpoint and midprice against window computations. Peer
values come from TA-Lib 0.8.2 on random_bars(24, 3), taken where its definitions coincide."""
import math

import pytest

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, native_driver, random_bars, random_walk, value_error

NAN = math.nan
INF = math.inf


def lo(a, b):
    """Minimum that ignores a NaN operand; ties keep the first."""
    return b if a != a else a if b != b else (b if b < a else a)


def hi(a, b):
    return b if a != a else a if b != b else (b if b > a else a)


def ref_sar(h, l, a, m):
    n = len(h)
    out = [NAN] * n
    up = h[1] + l[1] > h[0] + l[0]
    s, ep = (l[0], h[1]) if up else (h[0], l[1])
    af = a
    out[1] = s
    for i in range(2, n):
        s = s + af * (ep - s)
        if up:
            s = lo(s, l[i - 1])
            if i >= 3:
                s = lo(s, l[i - 2])
            if s > l[i]:
                s, ep, af, up = ep, l[i], a, False
            elif h[i] > ep:
                ep, af = h[i], lo(af + a, m)
        else:
            s = hi(s, h[i - 1])
            if i >= 3:
                s = hi(s, h[i - 2])
            if h[i] > s:
                s, ep, af, up = ep, h[i], a, True
            elif l[i] < ep:
                ep, af = l[i], lo(af + a, m)
        out[i] = s
    return out


def ref_sarext(h, l, start, offset, ail, al, aml, ais, as_, ams):
    s = l[0] if abs(start) < 1e-10 else start
    ep, af, up, out = h[0], ail, True, [s]
    for i in range(1, len(h)):
        new = s + af * (ep - s)
        if up and new > l[i]:
            s, ep, af, up = ep + offset, l[i], ais, False
        elif up:
            if h[i] > ep:
                ep, af = h[i], lo(af + al, aml)
            s = lo(new, l[i - 1])
            s = lo(s, l[i - 2]) if i >= 2 else s
        elif h[i] > new:
            s, ep, af, up = ep - offset, h[i], ail, True
        else:
            if l[i] < ep:
                ep, af = l[i], lo(af + as_, ams)
            s = hi(new, h[i - 1])
            s = hi(s, h[i - 2]) if i >= 2 else s
        out.append(s)
    return out


SAREXT_DEFAULTS = (0.0, 0.0, 0.02, 0.02, 0.2, 0.02, 0.02, 0.2)

# A long run peaking at bar 3 that turns down at bar 4 (unclamped test) or bar 5 (clamped
# test), then short until bar 7 turns it up again. Traced by hand with every factor 0.5.
RUN_H = [10, 12, 20, 30, 22, 21, 19, 25]
RUN_L = [9, 11, 12, 19, 20, 15, 14, 20]


# ---- SAR: hand-traced bars --------------------------------------------------------------


@pytest.mark.parametrize("h, l, a, m, want", [
    # Bar 1 starts long (sum 23 > 19): the seed is low[0]; bar 2 steps 9 + 0.1 * 3.
    # af 0.1 -> 0.2 -> 0.25 (capped) -> 0.25 on the new highs of bars 2, 3 and 4.
    ([10, 11, 12, 13, 14, 15], [9, 10, 11, 12, 13, 14], 0.1, 0.25, [NAN, 9, 9.2, 9.76, 10.57, 11.4275]),
    # Bar 2 clamps with bar 1 only (10.5 -> 9.5; bar 0's 9 takes no part).
    ([10, 12, 13], [9, 9.5, 10], 0.5, 0.5, [NAN, 9, 9.5]),
    # From bar 3 the two previous lows clamp: 15.25 -> min(12, 11) = 11, then 16 -> 12.
    ([10, 12, 20, 21, 22], [9, 11, 12, 19, 20], 0.5, 0.5, [NAN, 9, 10.5, 11, 12]),
    # A low equal to the clamped level (11) does not reverse; 10.99 does, to the extreme 20.
    ([10, 12, 20, 21], [9, 11, 12, 11], 0.5, 0.5, [NAN, 9, 10.5, 11]),
    ([10, 12, 20, 21], [9, 11, 12, 10.99], 0.5, 0.5, [NAN, 9, 10.5, 20]),
    # A high equal to ep is no new extreme: af stays 0.1 (9.3 + 0.1 * 2.7); 12.5 raises it to 0.2.
    ([10, 12, 12, 13], [9, 11, 11.5, 12.5], 0.1, 1.0, [NAN, 9, 9.3, 9.57]),
    ([10, 12, 12.5, 13], [9, 11, 11.5, 12.5], 0.1, 1.0, [NAN, 9, 9.3, 9.94]),
    # Reversal at bar 5 (clamped 19 > 15): the run's highest high (30, bar 3), unclamped; bar 6
    # steps down from it (22.5); bar 7's high 25 exceeds max(22.5 -> 21) and turns long at ep 14.
    (RUN_H, RUN_L, 0.5, 0.5, [NAN, 9, 10.5, 11, 12, 30, 22.5, 14]),
    # An outside reversal bar (high 35 above the extreme 30) still gives 30.
    (RUN_H[:5] + [35], RUN_L[:6], 0.5, 0.5, [NAN, 9, 10.5, 11, 12, 30]),
])
def test_sar_hand_traced(h, l, a, m, want):
    got = vl.py_sar(h, l, a, m)
    assert nan_equal(got, want, tol=1e-12)
    assert nan_equal(ref_sar(h, l, a, m), want, tol=1e-12)
    # The short rules mirror the long ones: negated, swapped bars give the negated levels.
    assert nan_equal(vl.py_sar([-x for x in l], [-x for x in h], a, m), [-x for x in got])


@pytest.mark.parametrize("h, l, want", [
    ([3, 4], [1, 2], [NAN, 1.0]),     # second sum larger: long, low[0]
    ([3, 4], [1, 0], [NAN, 3.0]),     # equal sums start short: high[0]
    ([3, 2.5], [1, 1], [NAN, 3.0]),
])
def test_sar_two_bars(h, l, want):
    assert nan_equal(vl.py_sar(h, l, 0.02, 0.2), want)


def test_sar_rising_bars_stay_long_below_the_previous_lows():
    h = [100 + i + 0.5 * math.sin(i) for i in range(80)]
    l = [x - 2 for x in h]
    out = vl.py_sar(h, l, 0.02, 0.2)
    assert math.isnan(out[0]) and out[1] == l[0]
    assert all(out[i] <= l[i - 1] for i in range(2, 80))
    assert all(out[i] <= min(l[i - 1], l[i - 2]) for i in range(3, 80))
    assert all(b > a for a, b in zip(out[1:], out[2:]))
    assert nan_equal(out, ref_sar(h, l, 0.02, 0.2))


@pytest.mark.parametrize("a, m", [(0.02, 0.2), (0.05, 0.05), (0.01, 0.5), (0.2, 1.0), (NAN, 0.2), (0.02, NAN)])
@pytest.mark.parametrize("seed", [1, 2, 9])
def test_sar_matches_reference(seed, a, m):
    h, l, _ = random_bars(800, seed)
    out = vl.py_sar(h, l, a, m)
    assert len(out) == 800 and math.isnan(out[0])
    assert nan_equal(out, ref_sar(h, l, a, m))
    # a NaN step or cap is computed with: every level from bar 1 stays finite
    assert all(math.isfinite(x) for x in out[1:])


def test_sar_none_selects_defaults_and_nan_cap_is_uncapped():
    h, l, _ = random_bars(300, 4)
    assert nan_equal(vl.py_sar(h, l, None, None), vl.py_sar(h, l, 0.02, 0.2))
    assert nan_equal(vl.py_sar(h, l, 0.02, NAN), vl.py_sar(h, l, 0.02, INF))
    # acceleration equal to maximum: af stays at that value
    assert nan_equal(vl.py_sar(h, l, 0.1, 0.1), ref_sar(h, l, 0.1, 0.1))


# TA-Lib SAR(0.02, 0.2) on random_bars(24, 3): both start long and no bar reverses outside the
# extreme, so the definitions coincide on every bar.
PEER_SAR = [NAN, 98.886867961095, 98.93864640463, 99.112824461909, 103.2930978366, 103.211566275368,
            102.990065579061, 102.777424910606, 102.573289868889, 102.182407478922, 101.814978032352,
            101.469594352577, 101.329986199225, 101.013702029437, 100.575854190597, 100.348463004, 100.348463004,
            99.646064730323, 99.027954249487, 98.484017026351, 94.495144056691, 94.626802700545, 94.755828171521,
            94.882273133077]


def test_sar_and_sarext_agree_with_peer_where_definitions_coincide():
    h, l, _ = random_bars(24, 3)
    assert nan_equal(vl.py_sar(h, l, 0.02, 0.2), PEER_SAR, tol=1e-12)
    # The peer's extended SAR (as magnitudes: it signs short levels negative) equals its SAR
    # here. Ours starts at bar 0 and clamps bar 2 with bar 0, so bars 0 to 3 differ.
    ext = vl.py_sarext(h, l, *SAREXT_DEFAULTS)
    assert nan_equal(ext[4:], PEER_SAR[4:], tol=1e-12)
    assert ext[0] == l[0] and ext[2] == l[0] != PEER_SAR[2]


# ---- SAREXT -----------------------------------------------------------------------------


@pytest.mark.parametrize("start, want", [
    (0.0, [9, 9, 9]),
    (5e-11, [9, 9, 9]),                  # |start| < 1e-10 seeds low[0]
    (-5.0, [-5, -4.7, -4.032]),          # long from -5: -5 + 0.02 * 15, then -4.7 + 0.04 * 16.7
    (100.0, [100, 10, 11]),              # 98.2 > 11 reverses to ep 10; 10.02 < 13 turns long at 11
])
def test_sarext_start_value(start, want):
    h, l = [10, 12, 13], [9, 11, 12]
    got = vl.py_sarext(h, l, start, *SAREXT_DEFAULTS[1:])
    assert nan_equal(got, want, tol=1e-12)
    assert nan_equal(ref_sarext(h, l, start, *SAREXT_DEFAULTS[1:]), want, tol=1e-12)


@pytest.mark.parametrize("offset, want", [
    # Bar 4: the unclamped step 20.5 exceeds the low 20 and reverses (the clamped 12 would not):
    # extreme 30 + offset. Bar 7 reverses up to the extreme low 14 - offset.
    (0.0, [9, 9, 9, 11, 30, 30, 22.5, 14]),
    (1.0, [9, 9, 9, 11, 31, 30, 22.5, 13]),
    (-2.5, [9, 9, 9, 11, 27.5, 30, 22.5, 16.5]),
])
def test_sarext_reversal_offsets(offset, want):
    halves = (0.5,) * 6
    got = vl.py_sarext(RUN_H, RUN_L, 0.0, offset, *halves)
    assert nan_equal(got, want)
    assert nan_equal(ref_sarext(RUN_H, RUN_L, 0.0, offset, *halves), want)


@pytest.mark.parametrize("h, l, offset, want", [
    # first step 9 + 0.5 * (10 - 9) = 9.5: it holds while low[1] is not below it, then
    # min(9.5, low[0]); it reverses to high[0] + offset when low[1] is below it
    ([10, 12], [9, 11], 0.75, [9, 9]),
    ([10, 9.6], [9, 9.5], 0.75, [9, 9]),
    ([10, 9.6], [9, 9.25], 0.75, [9, 10.75]),
    ([10, 9.6], [9, 9.25], 0.0, [9, 10]),
    ([10, 9.6], [8.5, 9.25], -1.0, [8.5, 8.5]),  # step 8.5 + 0.75 equals low[1]: holds
    ([10, 9.6], [8.5, 9.0], -1.0, [8.5, 9.0]),   # below it: 10 - 1
])
def test_sarext_two_bars(h, l, offset, want):
    got = vl.py_sarext(h, l, 0.0, offset, *(0.5,) * 6)
    assert nan_equal(got, want)


@pytest.mark.parametrize("params", [
    SAREXT_DEFAULTS,
    (0.0, 0.5, 0.03, 0.04, 0.25, 0.01, 0.05, 0.3),
    (-3.0, -1.0, 0.1, 0.1, 0.1, 0.02, 0.02, 0.2),
    (250.0, 0.0, 0.02, 0.02, INF, 0.02, 0.02, INF),
    (0.0, 0.0, NAN, 0.02, 0.2, 0.02, NAN, 0.2),
    (0.0, 0.0, 0.02, 0.02, NAN, 0.02, 0.02, NAN),
])
@pytest.mark.parametrize("seed", [2, 7])
def test_sarext_matches_reference(seed, params):
    h, l, _ = random_bars(800, seed)
    out = vl.py_sarext(h, l, *params)
    assert len(out) == 800 and nan_equal(out, ref_sarext(h, l, *params))
    assert all(math.isfinite(x) for x in out)
    # the level is returned in both positions: no sign marks a short one
    assert all(x > 0 for x in out[1:])


def test_sarext_nan_start_leaves_only_bar_zero_nan():
    h, l, _ = random_bars(100, 5)
    out = vl.py_sarext(h, l, NAN, *SAREXT_DEFAULTS[1:])
    assert math.isnan(out[0]) and first_defined(out) == 1 and all(math.isfinite(x) for x in out[1:])
    # a NaN step is replaced by the clamping bar: low[0] on bar 1
    assert out[1] == l[0]


def test_sarext_none_selects_defaults():
    h, l, _ = random_bars(200, 6)
    assert vl.py_sarext(h, l, *[None] * 8) == vl.py_sarext(h, l, *SAREXT_DEFAULTS)


def test_sar_and_sarext_differ_in_their_reversal_test():
    # same bars, same factors: the clamped test holds bar 4 long, the unclamped one reverses it
    assert vl.py_sar(RUN_H, RUN_L, 0.5, 0.5)[4] == 12
    assert vl.py_sarext(RUN_H, RUN_L, 0.0, 0.0, *(0.5,) * 6)[4] == 30


# ---- SAR refusals -----------------------------------------------------------------------

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
    ((H2, L2, 0, 0), "Invalid value at index 0: acceleration (0) must be > 0"),
    ((H2, L2, -0.5, 0.2), "Invalid value at index 0: acceleration (-0.5) must be > 0"),
    ((H2, L2, 0.3, 0), "Invalid value at index 0: maximum (0) must be > 0"),
    ((H2, L2, 0.3, 0.2), "Invalid value at index 0: maximum (0.2) must be >= acceleration (0.3)"),
    ((H2, L2, 0.3, None), "Invalid value at index 0: maximum (0.2) must be >= acceleration (0.3)"),
    ((H2, L2, None, 1e-3), "Invalid value at index 0: maximum (0.001) must be >= acceleration (0.02)"),
])
def test_sar_refusals_in_order(args, msg):
    assert value_error(vl.py_sar, *args) == msg


SX = dict(zip(["start_value", "offset_on_reverse", "af_init_long", "af_long", "af_max_long", "af_init_short",
               "af_short", "af_max_short"], SAREXT_DEFAULTS))


def sx(**kw):
    return tuple({**SX, **kw}.values())


@pytest.mark.parametrize("h, l, params, msg", [
    ([], [], sx(af_init_long=0), "Empty input: high cannot be empty"),
    ([INF], [], sx(af_init_long=0), NF.format(0, "high", "inf")),
    (H2, [1.0], sx(af_init_long=0), "Length mismatch: high=2, low=1"),
    ([1.0], [1.0], sx(af_init_long=0), "Insufficient data: need at least 2 elements, got 1"),
    (H2, L2, sx(af_init_long=0, af_long=0, af_init_short=0), P0 + "af_init_long (0) must be > 0"),
    (H2, L2, sx(af_long=-1, af_max_long=0.01, af_init_short=0), P0 + "af_long (-1) must be > 0"),
    (H2, L2, sx(af_max_long=0.01, af_init_short=0), P0 + "af_max_long (0.01) must be >= af_init_long (0.02)"),
    (H2, L2, sx(af_init_short=0, af_short=0), P0 + "af_init_short (0) must be > 0"),
    (H2, L2, sx(af_short=0, af_max_short=-1), P0 + "af_short (0) must be > 0"),
    (H2, L2, sx(af_max_short=-1), P0 + "af_max_short (-1) must be >= af_init_short (0.02)"),
    (H2, L2, sx(af_init_short=0.5), P0 + "af_max_short (0.2) must be >= af_init_short (0.5)"),
])
def test_sarext_refusals_in_order(h, l, params, msg):
    assert value_error(vl.py_sarext, h, l, *params) == msg


@pytest.mark.parametrize("params", [
    sx(start_value=-1e300, offset_on_reverse=-7.0),
    sx(af_max_long=INF, af_max_short=INF),
    sx(af_init_long=NAN, af_long=NAN, af_max_long=NAN, af_init_short=NAN, af_short=NAN, af_max_short=NAN),
])
def test_sarext_unchecked_parameters_are_accepted(params):
    assert len(vl.py_sarext(H2 * 3, L2 * 3, *params)) == 6


def test_sar_binding():
    with pytest.raises(TypeError, match=r"py_sar\(\) missing 2 required positional arguments: 'acceleration' and"):
        vl.py_sar(H2, L2)
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'af_max_short'"):
        vl.py_sarext(H2, L2, *SAREXT_DEFAULTS[:7])
    with pytest.raises(TypeError, match="^argument 'high': "):
        vl.py_sar(None, L2, None, None)
    assert nan_equal(vl.py_sar(high=H2, low=L2, maximum=0.3, acceleration=0.1), vl.py_sar(H2, L2, 0.1, 0.3))
    assert vl.py_sarext(H2, L2, **SX) == vl.py_sarext(H2, L2, *SAREXT_DEFAULTS)


# ---- MAMA -------------------------------------------------------------------------------


def ref_mama(v, alpha):
    m = f = v[0]
    mama, fama = [m], [f]
    for x in v[1:]:
        m = alpha * x + (1 - alpha) * m
        f = (alpha * 0.5) * m + (1 - alpha * 0.5) * f
        mama.append(m), fama.append(f)
    return mama, fama


@pytest.mark.parametrize("fast, slow, alpha", [
    (None, None, 0.5 / 6),
    (0.5, 0.05, 0.5 / 6),
    (0.3, 0.1, 0.1),      # 0.05 raised to the lower limit
    (0.9, 0.01, 0.15),
    (0.06, 0.05, 0.05),
    (0.04, 0.04, 0.04),   # raised to 0.04, which is also the upper limit
    (0.0, 0.0, 0.0),      # both lines stay at values[0]
])
def test_mama_fixed_factor(fast, slow, alpha):
    v = random_walk(300, seed=8)
    mama, fama = vl.py_mama(v, fast, slow)
    rm, rf = ref_mama(v, alpha)
    assert nan_equal(mama, rm, tol=1e-13) and nan_equal(fama, rf, tol=1e-13)
    assert mama[0] == fama[0] == v[0] and len(mama) == len(fama) == 300


def test_mama_six_values_are_all_defined():
    v = [1.0, 2.0, 4.0, 3.0, 5.0, 6.0]
    mama, fama = vl.py_mama(v, 0.6, 0.5)   # alpha 0.5: exact halves
    assert mama == [1.0, 1.5, 2.75, 2.875, 3.9375, 4.96875]
    # fama: 0.25 * mama + 0.75 * previous
    assert fama[:3] == [1.0, 1.125, 1.53125]


@pytest.mark.parametrize("args, msg", [
    (([], 0.5, 0.05), "Empty input: values cannot be empty"),
    (([1.0, 2.0, NAN], 0.1, 0.5), NF.format(2, "values", "NaN")),
    (([1.0] * 5, 0.1, 0.5), "Insufficient data: need at least 6 elements, got 5"),
    (([1.0] * 6, 0.3, 0.5), "Invalid value at index 0: fast_limit (0.3) must be >= slow_limit (0.5)"),
    (([1.0] * 6, None, 0.6), "Invalid value at index 0: fast_limit (0.5) must be >= slow_limit (0.6)"),
    (([1.0] * 6, NAN, 0.05), "Invalid value at index 0: fast_limit (NaN) must be >= slow_limit (0.05)"),
    (([1.0] * 6, 0.5, NAN), "Invalid value at index 0: fast_limit (0.5) must be >= slow_limit (NaN)"),
])
def test_mama_refusals_in_order(args, msg):
    assert value_error(vl.py_mama, *args) == msg


# ---- TRIMA, midpoint, midprice -----------------------------------------------------------


def mean(w):
    return math.fsum(w) / len(w)


def window(v, p, fn):
    return [NAN] * (p - 1) + [fn(v[i - p + 1: i + 1]) for i in range(p - 1, len(v))]


def ref_trima(v, p):
    first = window(v, p - p // 2, mean)
    inner = first[p - p // 2 - 1:]
    return [NAN] * (p - p // 2 - 1) + window(inner, p // 2 + 1, mean)


def test_trima_hand_traced():
    # period 4: the average of the three two-bar averages ending at each bar
    assert nan_equal(vl.py_trima([1, 2, 3, 4, 5, 6, 7, 8], 4), [NAN, NAN, NAN, 2.5, 3.5, 4.5, 5.5, 6.5])
    # period 3: two two-bar windows, weights 1, 2, 1 over 4
    assert nan_equal(vl.py_trima([4, 8, 0, 4], 3), [NAN, NAN, 5.0, 3.0])
    v = [3.0, 1.0, 4.0, 1.0, 5.0]
    assert nan_equal(vl.py_trima(v, 5), [NAN] * 4 + [(3 + 2 * 1 + 3 * 4 + 2 * 1 + 5) / 9], tol=1e-15)
    assert nan_equal(vl.py_trima(v, 2), [NAN, 2.0, 2.5, 2.5, 3.0])


@pytest.mark.parametrize("p", [1, 2, 3, 4, 7, 10, 31])
def test_trima_matches_reference(p):
    v = random_walk(400, seed=p)
    out = vl.py_trima(v, p)
    assert first_defined(out) == p - 1 and len(out) == 400
    assert nan_equal(out, ref_trima(v, p), tol=1e-12)


def test_trima_period_one_and_full_length():
    v = random_walk(50, seed=3)
    # the input itself, to within the sliding sum's rounding
    assert nan_equal(vl.py_trima(v, 1), v, tol=1e-15)
    out = vl.py_trima(v, 50)
    assert first_defined(out) == 49


TRIMA_DRIVER = r"""
#include <cmath>
#include <cstdio>
#include <random>
#include "indicators/overlap/averages.hpp"
#include "utils/ma.hpp"
using namespace vorn;
int main() {
    unsigned long long n, p, seed; double spike;
    if (std::scanf("%llu %llu %llu %lf", &n, &p, &seed, &spike) != 4) return 2;
    std::mt19937_64 g(seed);
    std::normal_distribution<double> step;
    Series v(n);
    double x = 100.0;
    for (auto& e : v) { x += step(g); e = x; }
    for (std::size_t i = 97; i + 1 < n; i += 1009) v[i] = v[i + 1] = spike;  // overflowing pairs when huge
    auto t = indicators::overlap::trima(v, p);
    if (!t) return 3;
    const Series two = utils::ma::sma_impl(utils::ma::sma_impl(v, p - p / 2), p / 2 + 1);
    std::size_t differ = 0, undefined = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = (*t)[i], b = two[i];
        undefined += !std::isfinite(a);
        if (std::isnan(a) != std::isnan(b) || (!std::isnan(a) && a != b)) ++differ;
    }
    std::printf("%zu %zu\n", differ, undefined);
}
"""


@pytest.fixture(scope="module")
def trima_driver(tmp_path_factory):
    return native_driver(tmp_path_factory, TRIMA_DRIVER)


@pytest.mark.parametrize("p", [1, 2, 3, 30, 501, 2000])
@pytest.mark.parametrize("spike", [150.0, 1.5e308])
def test_trima_is_the_average_of_averages_bit_for_bit(trima_driver, p, spike):
    # 5000 bars: both windows pass their 1000-slide recomputes; huge spikes overflow the sums
    differ, undefined = map(int, trima_driver(f"5000 {p} {p + 11} {spike!r}")[0].split())
    assert differ == 0
    assert undefined == p - 1 if spike == 150.0 or p == 1 else undefined > p - 1


@pytest.mark.parametrize("p", [1, 2, 5, 14])
def test_midpoint_and_midprice_match_windows(p):
    h, l, c = random_bars(300, p)
    assert nan_equal(vl.py_midpoint(c, p), window(c, p, lambda w: (max(w) + min(w)) * 0.5))
    mid = [(x + y) * 0.5 if x == x else NAN for x, y in zip(window(h, p, max), window(l, p, min))]
    assert nan_equal(vl.py_midprice(h, l, p), mid)


def test_midpoint_hand_traced():
    assert nan_equal(vl.py_midpoint([1, 5, 2, 4], 3), [NAN, NAN, 3.0, 3.5])
    v = random_walk(20, seed=4)
    assert vl.py_midpoint(v, 1) == v
    assert nan_equal(vl.py_midprice([4, 6, 5], [1, 2, 3], 2), [NAN, 3.5, 4.0])


# TA-Lib TRIMA, MIDPOINT and MIDPRICE on random_bars(24, 3) (same definitions; TRIMA sums in
# another order, so to 1e-12).
PEER_TRIMA4 = [NAN, NAN, NAN, 101.620411672043, 101.695041289048, 100.91116026839, 100.049966512604,
               99.873518627786, 99.836762461957, 99.605030551508, 99.326941549568, 99.507336212584,
               99.763934419284, 99.044710486611, 98.238936261641, 97.690034419861, 97.014540850967,
               96.282246156431, 95.979209049418, 96.574211695608, 97.388376998867, 97.759650471786,
               97.886709330498, 98.429569034387]
PEER_TRIMA5 = [NAN, NAN, NAN, NAN, 101.615522695569, 101.202219457418, 100.568559255943, 99.987871016577,
               99.852294051654, 99.691247042513, 99.487909332842, 99.471629542931, 99.593845244693, 99.28347550096,
               98.748245277398, 97.900875501345, 97.394798853635, 96.596415431204, 96.254248606673,
               96.302862660965, 96.991669168297, 97.48982360921, 97.866667591557, 98.18395163289]
PEER_MIDPOINT5 = [NAN, NAN, NAN, NAN, 101.459623865389, 100.729879367936, 100.729879367936, 99.867648932986,
                  99.699525043175, 99.670009233384, 99.670009233384, 99.670009233384, 99.450185271213,
                  98.249291505682, 98.249291505682, 98.044734755533, 97.163231158166, 97.163231158166,
                  97.163231158166, 96.111170926858, 96.911607808336, 97.687040012178, 98.000423549456,
                  99.047025159323]
PEER_MIDPRICE5 = [NAN, NAN, NAN, NAN, 101.089982898847, 100.483573352144, 100.483573352144, 100.329030968551,
                  98.901984638809, 98.582675901835, 98.694284784327, 98.694284784327, 98.694284784327,
                  98.435295121583, 98.435295121583, 97.754245348384, 97.421803530345, 97.421803530345,
                  97.421803530345, 96.462253026334, 97.786610153023, 98.542661974062, 98.675931965034,
                  98.882288385686]


def test_averages_agree_with_peer():
    h, l, c = random_bars(24, 3)
    assert nan_equal(vl.py_trima(c, 4), PEER_TRIMA4, tol=1e-12)
    assert nan_equal(vl.py_trima(c, 5), PEER_TRIMA5, tol=1e-12)
    assert nan_equal(vl.py_midpoint(c, 5), PEER_MIDPOINT5, tol=1e-12)
    assert nan_equal(vl.py_midprice(h, l, 5), PEER_MIDPRICE5, tol=1e-12)


@pytest.mark.parametrize("name", ["py_trima", "py_midpoint"])
@pytest.mark.parametrize("v, p, msg", [
    ([], 0, "Empty input: values cannot be empty"),
    ([1.0, INF], 0, NF.format(1, "values", "inf")),
    ([1.0, 2.0, 3.0], 0, "Invalid period: 0 (must be > 0 and <= data length 3)"),
    ([1.0, 2.0, 3.0], 4, "Invalid period: 4 (must be > 0 and <= data length 3)"),
])
def test_single_series_refusals(name, v, p, msg):
    assert value_error(getattr(vl, name), v, p) == msg


@pytest.mark.parametrize("h, l, p, msg", [
    ([], [1.0], 0, "Empty input: high cannot be empty"),
    ([NAN], [], 0, NF.format(0, "high", "NaN")),
    ([1.0] * 5, [1.0] * 4, 0, "Length mismatch: high=5, low=4"),
    ([1.0] * 2, [1.0, NAN], 0, NF.format(1, "low", "NaN")),
    ([1.0] * 2, [1.0] * 2, 3, "Invalid period: 3 (must be > 0 and <= data length 2)"),
])
def test_midprice_refusals(h, l, p, msg):
    assert value_error(vl.py_midprice, h, l, p) == msg


@pytest.mark.parametrize("name, args", [("py_trima", ([1.0],)), ("py_midpoint", ([1.0],)),
                                        ("py_midprice", ([1.0], [1.0]))])
def test_period_is_required_and_refuses_none(name, args):
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'period'"):
        getattr(vl, name)(*args)
    with pytest.raises(TypeError, match="^argument 'period': "):
        getattr(vl, name)(*args, None)


# ---- docstrings -------------------------------------------------------------------------


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
    for name, sig, head, tail in [
        ("py_trima", "(values, period)", "Calculate Triangular Moving Average (TRIMA)\n\nDouble-smoothed SMA with "
         "triangular weighting.\nMore weight to middle of period, smoother than SMA.\n\n", "TRIMA values"),
        ("py_midpoint", "(values, period)", "Calculate Midpoint over Period\n\nAverage of highest and lowest values "
         "over the lookback period.\n(Highest + Lowest) / 2\n\n", "Midpoint values"),
        ("py_midprice", "(high, low, period)", "Calculate Midprice over Period\n\nAverage of highest high and lowest "
         "low over the lookback period.\n(Highest High + Lowest Low) / 2\n\n", "Midprice values"),
    ]:
        fn = getattr(vl, name)
        assert fn.__text_signature__ == sig
        assert fn.__doc__.startswith(head) and fn.__doc__.endswith("\nReturns\n-------\nlist of float - " + tail)
        assert "period : int\n    Lookback period\n" in fn.__doc__
    assert "values : list of float\n    Price data\n" in vl.py_trima.__doc__
    assert "high : list of float\n    High prices\nlow : list of float\n    Low prices\n" in vl.py_midprice.__doc__
