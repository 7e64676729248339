"""Volume indicators: accumulation lines, money flow, VWAP, volume oscillator and profile."""
import math
import random
from fractions import Fraction

import numpy as np
import pytest
from numpy.lib.stride_tricks import sliding_window_view

from conftest import first_defined, nan_equal, native_program, random_bars, value_error
from reference import ref_rolling_vwap

NAN = math.nan
INF = math.inf


def bars(n, seed=3):
    h, l, c = random_bars(n, seed)
    rng = random.Random(seed + 1)
    return h, l, c, [1000 * rng.random() for _ in range(n)]


H, L, C, V = bars(3000)

# name -> (call on (m, h, l, c, v), first defined index)
CALLS = {
    "obv": (lambda m, h, l, c, v: m.py_obv(c, v), 0),
    "ad": (lambda m, h, l, c, v: m.py_ad(h, l, c, v), 0),
    "adosc": (lambda m, h, l, c, v: m.py_adosc(h, l, c, v, 3, 10), 0),
    "pvt": (lambda m, h, l, c, v: m.py_pvt(c, v), 0),
    "nvi": (lambda m, h, l, c, v: m.py_nvi(c, v), 0),
    "pvi": (lambda m, h, l, c, v: m.py_pvi(c, v), 0),
    "cmf": (lambda m, h, l, c, v: m.py_cmf(h, l, c, v, 20), 19),
    "mfi": (lambda m, h, l, c, v: m.py_mfi(h, l, c, v, 14), 13),
    "vwap": (lambda m, h, l, c, v: m.py_vwap(h, l, c, v), 0),
    "vwap_rolling": (lambda m, h, l, c, v: m.py_vwap(h, l, c, v, 7), 6),
    "eom": (lambda m, h, l, c, v: m.py_eom(h, l, v, 14), 13),
    "force_index": (lambda m, h, l, c, v: m.py_force_index(c, v, 13), 13),
    "volume_oscillator": (lambda m, h, l, c, v: m.py_volume_oscillator(v, 10, 5), 9),
}


@pytest.mark.parametrize("name", CALLS)
def test_length_warm_up_and_causality(m, name):
    call, first = CALLS[name]
    full = call(m, H, L, C, V)
    assert len(full) == len(H) and first_defined(full) == first
    assert all(not math.isnan(x) for x in full[first:])
    # a bar's value depends on no later bar, down to the last bit
    assert nan_equal(call(m, H[:1700], L[:1700], C[:1700], V[:1700]), full[:1700])


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda m: m.py_obv([], [1.0]), "Empty input: close cannot be empty"),
        (lambda m: m.py_pvt([1.0, 2.0], [1.0]), "Length mismatch: close=2, volume=1"),
        (lambda m: m.py_ad([1, 2], [1, 2], [1, 2], [1, NAN]), "Invalid value at index 1: volume contains non-finite value: NaN"),
        (lambda m: m.py_mfi([1, 2], [1], [], [1], 1), "Length mismatch: high=2, low=1"),
        (lambda m: m.py_cmf([NAN], [], [1], [1], 1), "Invalid value at index 0: high contains non-finite value: NaN"),
        (lambda m: m.py_adosc([1] * 5, [1] * 5, [1] * 5, [1] * 5, 9, 0), "Invalid period: 9 (must be > 0 and <= data length 5)"),
        (lambda m: m.py_adosc([1] * 5, [1] * 5, [1] * 5, [1] * 5, 3, 6), "Invalid period: 6 (must be > 0 and <= data length 5)"),
        (lambda m: m.py_nvi([1.0], [1.0]), "Insufficient data: need at least 2 elements, got 1"),
        (lambda m: m.py_pvi([1.0], [1.0]), "Insufficient data: need at least 2 elements, got 1"),
        (lambda m: m.py_cmf([1] * 5, [1] * 5, [1] * 5, [1] * 5, 0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
        (lambda m: m.py_mfi([1] * 5, [1] * 5, [1] * 5, [1] * 5, 6), "Invalid period: 6 (must be > 0 and <= data length 5)"),
        (lambda m: m.py_vwap([1] * 5, [1] * 5, [1] * 5, [1] * 5, 6), "Invalid period: 6 (must be > 0 and <= data length 5)"),
        # the typical-price check comes before the period check
        (lambda m: m.py_vwap([1, 1e308], [1, 1e308], [1, 1], [1, 1], 9),
         "Invalid value at index 1: typical_prices contains non-finite value: inf"),
        (lambda m: m.py_eom([1.0], [0.0], [1.0], 1), "Insufficient data: need at least 2 elements, got 1"),
        (lambda m: m.py_eom([1.0], [0.0], [1.0], 2), "Invalid period: 2 (must be > 0 and <= data length 1)"),
        (lambda m: m.py_eom([1, 2], [1, 2], [1, INF], 1), "Invalid value at index 1: volume contains non-finite value: inf"),
        (lambda m: m.py_force_index([1, 2], [1, 2], 3), "Invalid period: 3 (must be > 0 and <= data length 2)"),
        (lambda m: m.py_volume_oscillator([], 5, 10), "Empty input: volume cannot be empty"),
        (lambda m: m.py_volume_oscillator([1, -INF], 1, 1), "Invalid value at index 1: volume contains non-finite value: -inf"),
        # the periods are ordered first: the larger one is named whichever slot it came in
        (lambda m: m.py_volume_oscillator([1] * 5, 6, 2), "Invalid period: 6 (must be > 0 and <= data length 5)"),
        (lambda m: m.py_volume_oscillator([1] * 5, 9, 0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
        (lambda m: m.py_volume_profile([1], [1], [1], [1], 0), "Parameter num_bins out of range: 0 (valid range: 1..inf)"),
        (lambda m: m.py_volume_profile([1], [1], [1], [], 0), "Empty input: volume cannot be empty"),
    ],
)
def test_errors(m, call, message):
    assert value_error(call, m) == message


@pytest.mark.parametrize(
    "call",
    [
        lambda m: m.py_adosc(H, L, C, V, 3),
        lambda m: m.py_cmf(H, L, C, V),
        lambda m: m.py_mfi(H, L, C, V),
        lambda m: m.py_eom(H, L, V),
        lambda m: m.py_force_index(C, V),
        lambda m: m.py_volume_oscillator(V, 5),
        lambda m: m.py_volume_profile(H, L, C, V),
        lambda m: m.py_obv(None, V),
        lambda m: m.py_vwap(H, L, C, None),
    ],
)
def test_required_arguments_and_series_refuse_none(m, call):
    with pytest.raises(TypeError):
        call(m)


@pytest.mark.parametrize(
    "with_none, with_default",
    [
        (lambda m: m.py_adosc(H, L, C, V, None, None), lambda m: m.py_adosc(H, L, C, V, 3, 10)),
        (lambda m: m.py_cmf(H, L, C, V, None), lambda m: m.py_cmf(H, L, C, V, 20)),
        (lambda m: m.py_mfi(H, L, C, V, None), lambda m: m.py_mfi(H, L, C, V, 14)),
        (lambda m: m.py_eom(H, L, V, None), lambda m: m.py_eom(H, L, V, 14)),
        (lambda m: m.py_force_index(C, V, None), lambda m: m.py_force_index(C, V, 13)),
        (lambda m: m.py_force_index(C, V, period=None), lambda m: m.py_efi(C, V, 13)),
        (lambda m: m.py_volume_oscillator(V, None, None), lambda m: m.py_volume_oscillator(V, 5, 10)),
        (lambda m: m.py_volume_profile(H, L, C, V, None), lambda m: m.py_volume_profile(H, L, C, V, 24)),
        (lambda m: m.py_vwap(H, L, C, V, None), lambda m: m.py_vwap(H, L, C, V)),
        (lambda m: m.py_vwap(H, L, C, V, 0), lambda m: m.py_vwap(close=C, volume=V, high=H, low=L)),
        # the order of the oscillator's periods does not matter
        (lambda m: m.py_volume_oscillator(V, 10, 5), lambda m: m.py_volume_oscillator(V, 5, 10)),
        (lambda m: m.py_adosc(H, L, C, V, 10, 3), lambda m: [-x for x in m.py_adosc(H, L, C, V, 3, 10)]),
    ],
)
def test_equivalent_calls(m, with_none, with_default):
    a, b = with_none(m), with_default(m)
    assert (nan_equal(a[0], b[0]) and a[1:] == b[1:]) if isinstance(a, tuple) else nan_equal(a, b)


# Values traced by hand from the definitions.
@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda m: m.py_obv([10, 11, 11, 9, 12], [5, 3, 4, 2, 6]), [5, 8, 8, 6, 12]),
        (lambda m: m.py_obv([10], [-7]), [-7]),
        # a flat bar adds nothing to A/D; an inverted one neither
        (lambda m: m.py_ad([12, 10, 11, 9], [8, 10, 9, 10], [11, 10, 9.5, 9.5], [100, 50, 40, 9]), [50, 50, 30, 30]),
        (lambda m: m.py_adosc([12], [8], [11], [100], 1, 1), [0.0]),
        (lambda m: m.py_adosc([12, 10, 11], [8, 10, 9], [11, 10, 9.5], [100, 50, 40], 3, 3), [0.0, 0.0, 0.0]),
        # a previous close of 0 holds the line
        (lambda m: m.py_pvt([10, 11, 0, 5], [1, 2, 3, 4]), [0.0, 0.2, 0.2 - 3.0, 0.2 - 3.0]),
        (lambda m: m.py_nvi([10, 11, 12, 0, 5], [5, 4, 6, 3, 2]), [1000, 1100, 1100, 0.0, 0.0]),
        (lambda m: m.py_pvi([10, 11, 12, 0, 5], [5, 4, 6, 3, 2]), [1000, 1000] + [(1 / 11 + 1) * 1000] * 3),
        (lambda m: m.py_nvi([10, 11], [5, 5]) + m.py_pvi([10, 11], [5, 5]), [1000] * 4),
        (lambda m: m.py_cmf([12], [8], [11], [100], 1), [0.5]),
        (lambda m: m.py_cmf([12, 8], [8, 8], [11, 8], [0, 0], 2), [NAN, 0.0]),
        # an inverted bar keeps its negative range in the money flow; a flat one gives 0.0
        (lambda m: m.py_cmf([9, 5], [10, 5], [9.25, 5], [10, 10], 1), [0.5, 0.0]),
        (lambda m: m.py_mfi([1, 2, 2, 1, 0.5], [1, 2, 2, 1, 0.5], [1, 2, 2, 1, 0.5], [1, 1, 1, 1, 0], 1),
         [100, 100, 100, 0.0, 100]),
        (lambda m: m.py_mfi([1, 1, 1], [1, 1, 1], [1, 1, 1], [3, 4, 5], 3), [NAN, NAN, 100]),
        (lambda m: m.py_vwap([2, 3, 5, 6], [1, 2, 3, 3], [3, 4, 4, 6], [0, 0, 2, 1]), [NAN, NAN, 4, 13 / 3]),
        (lambda m: m.py_vwap([2, 3, 5, 6], [1, 2, 3, 3], [3, 4, 4, 6], [0, 0, 0, 0]), [NAN] * 4),
        (lambda m: m.py_vwap([2, 3, 5, 6], [1, 2, 3, 3], [3, 4, 4, 6], [1, 1, 2, 1], 4), [NAN, NAN, NAN, 18 / 5]),
        (lambda m: m.py_vwap([2, 3, 5, 6], [1, 2, 3, 3], [3, 4, 4, 6], [1, 0, 0, 1], 2), [NAN, 2, NAN, 5]),
        # bars with no range or no volume are gaps that blank the windows holding them
        (lambda m: m.py_eom([10, 12, 12, 14, 15], [8, 10, 12, 10, 11], [100, 2e8, 50, 4e8, 4e8], 1), [0.0, 2.0, NAN, 0.0, 1.0]),
        (lambda m: m.py_eom([10, 12, 12, 14, 15], [8, 10, 12, 10, 11], [100, 2e8, 50, 4e8, 4e8], 2), [NAN, 1.0, NAN, NAN, 0.5]),
        (lambda m: m.py_eom([10, 12, 13], [8, 10, 11], [1e8, 0, 1e8], 1), [0.0, NAN, 2.0]),
        (lambda m: m.py_force_index([10.0, 11.0, 10.5], [100.0, 200.0, 300.0], 1), [NAN, 200.0, -150.0]),
        (lambda m: m.py_force_index([10.0, 11.0, 10.5], [100.0, 200.0, 300.0], 3), [NAN] * 3),
        (lambda m: m.py_volume_oscillator([100, 200, 300], 1, 2), [NAN, 100 * 50 / 150, 100 * 50 / 250]),
        (lambda m: m.py_volume_oscillator([3, 1, 4, 1, 5], 2, 2), [NAN, 0.0, 0.0, 0.0, 0.0]),
        # a long average of 0.0 gives NaN, not an infinity
        (lambda m: m.py_volume_oscillator([5, 0, 0, 0, 6], 1, 3), [NAN, NAN, -100, NAN, 200]),
    ],
)
def test_hand_traced_values(m, call, expected):
    assert nan_equal(call(m), expected, 1e-12)


# Traced by hand: lo = 8, hi = 14, three bins of width 2 centred on 9, 11 and 13.
PROFILE_H, PROFILE_L, PROFILE_C = [10, 12, 14], [8, 9, 10], [9, 12, 14]


@pytest.mark.parametrize(
    "extra, num_bins, centres, volumes, poc",
    [
        # typical prices 9, 11, 12.67: a tie between bins 1 and 2 goes to the lower price
        ([], 3, [9, 11, 13], [1, 2, 2], 11),
        ([], 1, [11], [5], 11),
        # a typical price equal to hi lands in the last bin, one on an inner edge in the upper bin
        ([(14, 14, 14, 4)], 3, [9, 11, 13], [1, 2, 6], 13),
        ([(10, 10, 10, 7)], 3, [9, 11, 13], [1, 9, 2], 11),
        # a close under every low puts the typical price below lo: bin 0
        ([(10, 8, 2, 9)], 3, [9, 11, 13], [10, 2, 2], 9),
    ],
)
def test_volume_profile_bins(m, extra, num_bins, centres, volumes, poc):
    h, l, c = PROFILE_H + [b[0] for b in extra], PROFILE_L + [b[1] for b in extra], PROFILE_C + [b[2] for b in extra]
    v = [1, 2, 2] + [b[3] for b in extra]
    assert m.py_volume_profile(h, l, c, v, num_bins) == (centres, volumes, poc)


@pytest.mark.parametrize(
    "h, l, c, v, num_bins, expected",
    [
        # a span below 1e-10 is one bin at the lowest low, whatever num_bins is
        ([5, 5 + 1e-11], [5, 5], [5, 5], [2, -3], 24, ([5], [-1], 5)),
        ([5, 5 + 1e-11], [5, 5], [5, 5], [2, -3], 2**24 + 1, ([5], [-1], 5)),
        ([5, 5], [5, 5], [5, 5], [2, 4], 2**64 - 1, ([5], [6], 5)),
        # every high under the lowest low: a negative width, centres descending from lo
        ([5, 6], [7, 8], [6, 7], [3, 4], 2, ([6.75, 6.25], [4, 3], 6.75)),
        # a typical price that overflows is clamped, never cast as NaN or infinity
        ([1.7e308, 1.0], [1.7e308, -1.7e308], [1.7e308, 0.0], [1, 2], 2, None),
    ],
)
def test_volume_profile_edges(m, h, l, c, v, num_bins, expected):
    got = m.py_volume_profile(h, l, c, v, num_bins)
    if expected is not None:
        assert got == expected
    else:
        assert len(got[0]) == len(got[1]) == num_bins and sum(got[1]) == sum(v)


@pytest.mark.parametrize("num_bins, shown", [(2**24 + 1, "16777217"), (2**32, "4294967296"), (2**64 - 1, None)])
def test_volume_profile_bin_count_is_bounded(m, num_bins, shown):
    message = value_error(m.py_volume_profile, [2.0, 3.0], [1.0, 2.0], [1.5, 2.5], [1.0, 1.0], num_bins)
    assert message.startswith("Parameter num_bins out of range: ") and message.endswith(" (valid range: 1..16777216)")
    assert shown is None or shown in message


def test_volume_profile_against_direct_binning(m):
    centres, volumes, poc = m.py_volume_profile(H, L, C, V, 37)
    lo, hi = min(L), max(H)
    width = (hi - lo) / 37
    assert centres == [lo + (k + 0.5) * width for k in range(37)]
    direct = [0.0] * 37
    for h, l, c, v in zip(H, L, C, V):
        direct[min(36, max(0, math.floor((((h + l) + c) / 3 - lo) / width)))] += v
    assert volumes == direct and poc == centres[volumes.index(max(volumes))]


# Peer values (TA-Lib 0.8.2 OBV, AD, ADOSC(3, 10), MFI(14)) on bars(40, 11) at indices 30, 33, 36, 39.
PEER = {
    "obv": [2492.200714796348, 3363.0175221918744, 4517.779830994971, 5110.910069507165],
    "ad": [853.4653058251828, 557.2826487389418, 1116.5350874075125, 1416.1962499006497],
    "adosc": [145.69088321966512, -77.97693028305446, 81.39736266840941, 275.92984808324115],
    "mfi": [62.41664513577264, 58.64158737240406, 43.83858478984828, 40.63825118111268],
}


@pytest.mark.parametrize("name", PEER)
def test_against_peer(m, name):
    h, l, c = random_bars(40, 11)
    rng = random.Random(12)
    v = [1000 * rng.random() for _ in range(40)]
    got = CALLS[name][0](m, h, l, c, v)
    assert all(abs(got[i] - p) <= 1e-9 * (1 + abs(p)) for i, p in zip([30, 33, 36, 39], PEER[name]))


def window_sums(x, p):
    return sliding_window_view(np.asarray(x, dtype=float), p).sum(axis=1)


@pytest.mark.parametrize("p", [1, 50, 1200])
def test_rolling_sums_against_direct_windows(m, p):
    # past the 1000-slide rebuilds the incremental sums still match direct window sums
    tp = [((h + l) + c) / 3 for h, l, c in zip(H, L, C)]
    vwap = window_sums([t * v for t, v in zip(tp, V)], p) / window_sums(V, p)
    assert nan_equal(m.py_vwap(H, L, C, V, p), [NAN] * (p - 1) + list(vwap), 1e-10)
    mult = [0.0 if abs(h - l) < 1e-10 else ((c - l) - (h - c)) / (h - l) for h, l, c in zip(H, L, C)]
    cmf = window_sums([k * v for k, v in zip(mult, V)], p) / window_sums(V, p)
    assert nan_equal(m.py_cmf(H, L, C, V, p), [NAN] * (p - 1) + list(cmf), 1e-9)
    short, long_ = m.py_sma(V, max(1, p // 2)), m.py_sma(V, p)
    osc = [NAN if math.isnan(s + q) else (s - q) / q * 100 for s, q in zip(short, long_)]
    assert nan_equal(m.py_volume_oscillator(V, p, max(1, p // 2)), osc)


def spiked(seed):
    """Bars with a few volumes and one bar's prices far off the rest, which rebuild the sums
    between their scheduled rebuilds."""
    h, l, c, v = (list(x) for x in bars(2600, seed))
    for i, factor in [(40, 1e8), (700, 1e300), (1500, 1e-200), (2100, 1e4)]:
        v[i] *= factor
    h[300], l[300], c[300] = h[300] * 1e6, l[300] * 1e6, c[300] * 1e6
    return h, l, c, v


@pytest.mark.parametrize("p", [1, 2, 14, 999, 1000, 1001])
@pytest.mark.parametrize("seed", [3, 8])
def test_money_flows_are_quotients_of_rolling_sums_bit_for_bit(m, p, seed):
    # the two sums step side by side with py_sum's arithmetic, schedule and extra rebuilds
    h, l, c, v = spiked(seed)
    mult = [0.0 if abs(a - b) < 1e-10 else ((d - b) - (a - d)) / (a - b) for a, b, d in zip(h, l, c)]
    flow_sum, volume_sum = m.py_sum([k * x for k, x in zip(mult, v)], p), m.py_sum(v, p)
    cmf = [NAN if math.isnan(f) else (0.0 if abs(q) < 1e-10 else f / q) for f, q in zip(flow_sum, volume_sum)]
    assert nan_equal(m.py_cmf(h, l, c, v, p), cmf)
    # rising and falling are decided on the exact h + l + c, the flow is the rounded price's
    raw = [x * (((a + b) + d) / 3) for x, a, b, d in zip(v, h, l, c)]
    ex = [Fraction(a) + Fraction(b) + Fraction(d) for a, b, d in zip(h, l, c)]
    pos = m.py_sum([0.0] + [r if t > s else 0.0 for r, t, s in zip(raw[1:], ex[1:], ex)], p)
    neg = m.py_sum([0.0] + [r if t < s else 0.0 for r, t, s in zip(raw[1:], ex[1:], ex)], p)
    mfi = [NAN if math.isnan(a) else (100.0 if abs(b) < 1e-10 else 100.0 - 100.0 / (a / b + 1.0)) for a, b in zip(pos, neg)]
    assert nan_equal(m.py_mfi(h, l, c, v, p), mfi)


# (bar before, bar): how their h + l + c compare as real numbers, where the rounded thirds say
# otherwise or say it by a last bit that is not there
TIES = [
    ((1.11832, 1.11715, 1.11775), (1.11809, 1.1173, 1.11783), 0),  # thirds 1.1177400000000002, 1.11774
    ((1.10903, 1.10025, 1.1163), (1.11044, 1.10466, 1.11048), 0),
    ((1.11608, 1.10322, 1.1118), (1.10268, 1.11699, 1.11143), 0),
    ((1.10262, 1.10019, 1.11364), (1.10235, 1.10193, 1.11217), 1),  # thirds equal
    ((1.11247, 1.11101, 1.10973), (1.10397, 1.11969, 1.10955), -1),  # thirds equal
    ((1.10632, 1.10168, 1.11673), (1.11345, 1.10969, 1.10159), 1),  # the thirds fall
]


@pytest.mark.parametrize("before, bar, move", TIES)
def test_mfi_books_a_move_only_where_the_exact_price_sum_moves(m, before, bar, move):
    # a fall onto `before` first, so that a later fall and a tie read apart from a rise: over
    # the last two bars the index is above 0 only with a rising flow, and over the last bar
    # 0.0 only with a falling one
    h, l, c = ([before[k] + 1.0, before[k], bar[k]] for k in range(3))
    v = [1.0, 1.0, 1.0]
    frame = m.OhlcvFrame([0, 1, 2], c, h, l, c, v)
    for got in (m.py_mfi(h, l, c, v, 2)[2], frame.mfi(2)[2]):
        assert (got > 0.0) == (move > 0)
    for got in (m.py_mfi(h, l, c, v, 1)[2], frame.mfi(1)[2]):
        assert got == (0.0 if move < 0 else 100.0)


@pytest.mark.parametrize(
    "first, second, expected",
    [
        ((0.1, 0.2, 0.3), (0.3, 0.2, 0.1), 0),  # rounded: 0.6000000000000001 and 0.6
        ((1e16, 1.0, -1e16), (0.5, 0.5, 0.0), 0),  # the 1 is lost to rounding, not to the sum
        ((1e16, 1.0, -1e16), (0.5, 0.25, 0.0), 1),
        ((1e308, 1e308, -1e308), (1e308, 1e308, -1e308), 0),  # partial sums beyond the range
        ((1e308, 1e308, -1e308), (1e308, 1e308, -9.999999999999998e307), -1),
        ((1.7e308, 1.7e308, 1.7e308), (1.7e308, 1.7e308, 1.6e308), 1),
        ((5e-324, 0.0, 0.0), (0.0, 0.0, 0.0), 1),
        ((-5e-324, 1e-300, -1e-300), (0.0, 0.0, 0.0), -1),
    ],
)
def test_exact_comparison_of_three_term_sums(first, second, expected):
    run = native_program("exact_sum")
    assert run(" ".join(repr(float(x)) for x in first + second)) == [str(expected)]
    assert run(" ".join(repr(float(x)) for x in second + first)) == [str(-expected)]


# volumes over five decades: the compensations carry low bits that a reset would lose (a wider
# spread has values that outweigh their window, which rebuilds its sums at once)
WIDE_V = [10 ** random.Random(9 + i).uniform(0, 5) for i in range(2600)]


@pytest.mark.parametrize("p", [1, 2, 7, 50, 999, 1000, 1001, 2500])
def test_rolling_vwap_sums_bit_for_bit(m, p):
    h, l, c = H[:2600], L[:2600], C[:2600]
    assert nan_equal(m.py_vwap(h, l, c, WIDE_V, p), ref_rolling_vwap(h, l, c, WIDE_V, p))


def test_rolling_vwap_recovers_once_an_overflowed_product_leaves(m):
    h, l, c, v = [2.0] * 8, [1.0] * 8, [1.5] * 8, [1.0] * 8
    h[3] = l[3] = c[3] = v[3] = 1e200  # tp * volume overflows; the typical price itself is finite
    assert nan_equal(m.py_vwap(h, l, c, v, 2), [NAN, 1.5, 1.5, math.inf, NAN, 1.5, 1.5, 1.5])


def test_cumulative_vwap_against_running_sums(m):
    tp = [((h + l) + c) / 3 for h, l, c in zip(H, L, C)]
    pv, vv = np.cumsum([t * v for t, v in zip(tp, V)]), np.cumsum(V)
    assert nan_equal(m.py_vwap(H, L, C, V), list(pv / vv), 1e-12)


@pytest.fixture(scope="module")
def ema_seed():
    run = native_program("volume_ema_seed")
    return lambda values, period: run(f"{period} {len(values)} " + " ".join(repr(float(x)) for x in values))[0].strip()


@pytest.mark.parametrize(
    "values, period, expected",
    [
        ([1, 2, 3], 3, "1 1.5 2.25"),
        # a NaN passes through and the next number restarts the average from itself
        ([1, NAN, 4, 6], 3, "1 nan 4 5"),
        ([NAN, 2, 4], 1, "nan 2 4"),
        ([], 1, "error Empty input: values cannot be empty"),
        ([1, 2, 3], 4, "error Invalid period: 4 (must be > 0 and <= data length 3)"),
        ([1, 2, 3], 0, "error Invalid period: 0 (must be > 0 and <= data length 3)"),
    ],
)
def test_ema_seed_kernel(ema_seed, values, period, expected):
    assert ema_seed(values, period) == expected


@pytest.fixture(scope="module")
def stepped_and_whole_sums():
    run = native_program("rolling_sum_window")
    return lambda values, period: run(f"{period} {len(values)} " + " ".join(repr(float(x)) for x in values))


def gappy_walk(seed):
    """A walk with NaN gaps, extreme values and a pair that overflows a sum."""
    v = [100.0 + x for x in random_bars(2300, seed)[2]]
    for i in range(50, 2300, 97):
        v[i] = NAN
    v[400], v[900], v[1600], v[1601], v[2000] = 1e300, -1e8, 1.5e308, 1.5e308, INF
    return v


@pytest.mark.parametrize("p", [1, 2, 3, 14, 999, 1000, 1001])
@pytest.mark.parametrize("seed", [1, 2])
def test_stepped_rolling_sum_is_the_whole_series_sum_bit_for_bit(stepped_and_whole_sums, p, seed):
    # the window the money flows step: its gaps, schedule and extra rebuilds are the kernel's
    stepped, whole = (line.split() for line in stepped_and_whole_sums(gappy_walk(seed), p))
    assert stepped == whole and len(stepped) == 2300


@pytest.mark.parametrize(
    "name, signature, first_line",
    [
        ("py_obv", "(close, volume)", "Calculate On-Balance Volume (OBV)"),
        ("py_ad", "(high, low, close, volume)", None),
        ("py_adosc", "(high, low, close, volume, fast_period, slow_period)", None),
        ("py_pvt", "(close, volume)", None),
        ("py_nvi", "(close, volume)", None),
        ("py_pvi", "(close, volume)", None),
        ("py_cmf", "(high, low, close, volume, period=20)", "Calculate Chaikin Money Flow (CMF)"),
        ("py_mfi", "(high, low, close, volume, period=14)", "Calculate Money Flow Index (MFI)"),
        ("py_vwap", "(high, low, close, volume)", "Calculate Volume Weighted Average Price (VWAP)"),
        ("py_eom", "(high, low, volume, period)", None),
        ("py_force_index", "(close, volume, period=13)", "Calculate Force Index (Elder's Force Index)"),
        ("py_volume_oscillator", "(volume, short_period=5, long_period=10)", "Calculate Volume Oscillator"),
        ("py_volume_profile", "(high, low, close, volume, num_bins)", None),
    ],
)
def test_docstrings(m, name, signature, first_line):
    fn = getattr(m, name)
    assert fn.__text_signature__ == signature
    if first_line is None:
        assert fn.__doc__ is None
    else:
        sections = ["Parameters", "Returns", "Raises"] + ["Examples"] * name.endswith(("index", "oscillator"))
        lines = fn.__doc__.splitlines()
        assert lines[0] == first_line and [s for s in lines if s in sections] == sections
