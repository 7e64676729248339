"""Swing points, supply/demand zones and the swing-based signals: regression channel against
zones, premium/discount crossings and divergences."""
import math
import random

import pytest

import vorn_library.vorn_library as vl
from conftest import nan_equal, native_program, random_bars, same_series, value_error
from reference import ref_linreg_channel, zones_scan

NAN = math.nan
HALF = 2**63

@pytest.fixture(scope="module")
def native():
    run = native_program("sfg_utils")

    def text(values):
        return f"{len(values)} " + " ".join(repr(float(x)) for x in values)

    def swings(values, lookback):
        (line,) = run(f"swings {lookback} {text(values)}")
        highs, lows = line[1:].split("L")
        return [int(t) for t in highs.split()], [int(t) for t in lows.split()]

    def zones(high, low, close, volume, period=10, tol=0.02):
        (line,) = run(f"zones {period} {tol!r} " + " ".join(text(s) for s in (high, low, close, volume)))
        if line.startswith("E "):
            return line[2:]
        t = line.split()[1:]
        return [(float(t[k]), float(t[k + 1]), float(t[k + 2]), int(t[k + 3]), float(t[k + 4]), t[k + 5] == "1",
                 t[k + 6] == "1") for k in range(0, len(t), 7)]

    return swings, zones


@pytest.mark.parametrize("values, lookback, highs, lows", [
    ([1, 3, 1], 1, [1], []),
    ([3, 1, 3], 1, [], [1]),
    # equal neighbours disqualify: a plateau marks nothing
    ([1, 3, 3, 1], 1, [], []),
    # bar 7 is the lowest of its neighbours but lies too close to the end for lookback 2
    ([5, 4, 3, 9, 3, 4, 5, 1, 5], 2, [3], []),
    ([5, 4, 3, 9, 3, 4, 5, 1, 5, 6, 7], 2, [3], [7]),
    # a NaN neighbour disqualifies nothing, and a NaN bar fails no comparison: it is both
    ([1, NAN, 5, 2, 1], 2, [2], []),
    ([NAN, 5, NAN], 1, [1], [1]),
    ([1, NAN, 1], 1, [1], [1]),
    # only bars lookback .. n - lookback - 1 qualify; 2 * lookback = n marks nothing
    ([1, 9, 1, 9], 2, [], []),
    ([9, 1, 2, 3, 4, 5, 0], 1, [5], [1]),
])
def test_find_swing_points(native, values, lookback, highs, lows):
    assert native[0](values, lookback) == (highs, lows)


def swings_scan(values, lookback):
    """Each bar against each neighbour in turn (a comparison with NaN never disqualifies)."""
    n = len(values)
    highs, lows = [], []
    for i in range(lookback, n - lookback):
        around = values[i - lookback: i] + values[i + 1: i + lookback + 1]
        if not any(x >= values[i] for x in around):
            highs.append(i)
        if not any(x <= values[i] for x in around):
            lows.append(i)
    return highs, lows


@pytest.mark.parametrize("lookback", [1, 2, 3, 5, 8, 13, 25])
@pytest.mark.parametrize("seed", [1, 2])
def test_find_swing_points_match_a_scan(native, lookback, seed):
    # whole numbers (ties everywhere), a few NaN bars, and a length that cuts the look-back's
    # blocks unevenly
    rng = random.Random(seed)
    values = [float(rng.randint(0, 6)) if rng.random() > 0.05 else NAN for _ in range(103)]
    values[50] = NAN
    values[51:53] = [9.0, 9.0]
    assert native[0](values, lookback) == swings_scan(values, lookback)


def v_and_peak(low_price, high_price):
    """21 bars: the close dips to a swing low at bar 5 and peaks at a swing high at bar 15. The
    lows are `low_side` at bar 5 and at bar 0, the highs `high_side` at bar 15 and at bar 20,
    every other low far below and every other high far above: two touches per candidate."""
    close = [10, 9, 8, 7, 6, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 20, 14, 13, 12, 11, 10]
    low, high = [0.0] * 21, [300.0] * 21
    low[0] = low[5] = low_price
    high[15] = high[20] = high_price
    volume = [1.0] * 21
    volume[0] = volume[5] = 10.0
    return high, low, close, volume


def test_zones_of_opposite_sides_merge_and_keep_the_lower_side(native):
    _, zones = native
    # demand at 100, supply at 101: within 2% of 100, so one zone at 100.5 that stays demand;
    # its touching lows (bars 0 and 5, volume 10) beat the mean volume: strength 0.4 * 1.2
    (z,) = zones(*v_and_peak(100.0, 101.0))
    assert z == (100.5, 100.5 + 0.02 * 100.5, 100.5 - 0.02 * 100.5, 4, 0.4 * 1.2, True, True)
    # supply at 100 below demand at 101: the merged zone is supply; its touching highs are
    # bars 15 and 20 (volume 1), below the mean: strength 0.4 * 0.8
    high, low, close, volume = v_and_peak(101.0, 100.0)
    (z,) = zones(high, low, close, volume)
    assert z[0] == 100.5 and z[3] == 4 and z[4] == 0.4 * 0.8 and not z[5] and not z[6]


def test_zones_apart_stay_apart_and_single_touches_give_none(native):
    _, zones = native
    demand, supply = zones(*v_and_peak(100.0, 110.0))
    assert (demand[0], demand[5], supply[0], supply[5]) == (100.0, True, 110.0, False)
    # a swing low whose low only touches itself makes no zone
    high, low, close, volume = v_and_peak(100.0, 110.0)
    low[0] = 0.0
    assert [z[5] for z in zones(high, low, close, volume)] == [False]


@pytest.mark.parametrize("seed, tol", [(1, 0.005), (2, 0.01), (3, 0.002)])
def test_zones_on_a_walk_match_bar_by_bar_scans(native, seed, tol):
    high, low, close = random_bars(400, seed)
    volume = [1.0 + (i * 7919 % 13) for i in range(400)]
    found = native[1](high, low, close, volume, tol=tol)
    assert len(found) > 2 and {z[5] for z in found} == {True, False}
    assert found == zones_scan(high, low, close, volume, tol)


@pytest.mark.parametrize("seed, base, tol", [
    # lows and highs on a whole-number grid: many bars lie exactly tol * price away (2.0 from
    # 100 at 2%), and many share a price
    (4, 100.0, 0.02), (5, 100.0, 0.01), (6, 100.0, 0.0), (7, 100.0, math.inf),
    # zero and negative prices: tol * price is 0 or below, so only an equal price (or none) touches
    (8, 0.0, 0.02), (9, -50.0, 0.02),
])
def test_zones_on_a_price_grid_match_bar_by_bar_scans(native, seed, base, tol):
    rng = random.Random(seed)
    n = 120
    close = [round(10 * math.sin(i * 0.45)) + rng.randint(0, 1) * 0.5 for i in range(n)]
    low = [base + rng.choice([-4, -2, -1, 0, 0, 1, 2, 4]) for _ in range(n)]
    high = [base + rng.choice([-4, -2, -1, 0, 0, 1, 2, 4]) for _ in range(n)]
    volume = [float(rng.randint(0, 5)) for _ in range(n)]
    found = native[1](high, low, close, volume, tol=tol)
    assert found == zones_scan(high, low, close, volume, tol)
    assert found or base < 0


# Prices across many scales and signs, with signed zeros and repeats, over more bars than one
# stride of the sorted sample the touch counts search first.
@pytest.mark.parametrize("seed, tol", [(11, 0.02), (12, 0.5), (13, 0.0)])
def test_zones_over_mixed_scales_match_bar_by_bar_scans(native, seed, tol):
    rng = random.Random(seed)
    n = 300
    close = [round(10 * math.sin(i * 0.45)) + rng.randint(0, 1) * 0.5 for i in range(n)]
    pool = [0.0, -0.0, 1e-300, -1e-300, 3.5, -3.5, 3.5 * (1 + 1e-15), 1e6, 2e6, 1e-3, 1e300]
    low = [rng.choice(pool) * rng.choice([1.0, 1.0, 1.01]) for _ in range(n)]
    high = [rng.choice(pool) for _ in range(n)]
    volume = [float(rng.randint(0, 5)) for _ in range(n)]
    found = native[1](high, low, close, volume, tol=tol)
    assert found == zones_scan(high, low, close, volume, tol)
    assert found


@pytest.mark.parametrize("change, period, tol, message", [
    (lambda b: b[2].__setitem__(3, math.inf), 10, 0.02, "Invalid value at index 3: close contains non-finite value: inf"),
    (lambda b: b[0].clear(), 10, 0.02, "Empty input: high cannot be empty"),
    (lambda b: b[3].pop(), 10, 0.02, "Length mismatch: high=21, volume=20"),
    (lambda b: None, 10, -0.5, "Parameter tolerance out of range: -0.5 (valid range: 0..inf)"),
    (lambda b: None, 22, 0.02, "Insufficient data: need at least 22 elements, got 21"),
    (lambda b: [s.__delitem__(slice(9, None)) for s in b], 5, 0.02, "Insufficient data: need at least 10 elements, got 9"),
])
def test_zone_checks(native, change, period, tol, message):
    bars = v_and_peak(100.0, 110.0)
    change(bars)
    assert native[1](*bars, period=period, tol=tol) == message


# ---- regression channel against zones --------------------------------------------------------


def zone_bars():
    """Two dips whose lows rest on 100 (a demand zone), a plateau at 110 whose highs rest on
    111 next to the peak of bar 10 (a supply zone), then a one-bar plunge to 100.5."""
    close = [110, 108, 106, 104, 102, 100.5, 102, 104, 106, 108, 111, 108, 106, 104, 102, 101, 100.5, 101,
             102, 104, 106, 108] + [110.0] * 24 + [100.5, 103, 106, 109, 110]
    high = [c + 1 for c in close]
    low = [c - 1 for c in close]
    low[5] = low[16] = 100.0
    high[10] = 111.5
    volume = [5.0 if abs(c - 100.5) < 1 else 1.0 for c in close]
    return high, low, close, volume


def test_linreg_supply_demand_hand_traced():
    high, low, close, volume = zone_bars()
    buy, sell, stop, target = vl.py_linreg_supply_demand_signals(high, low, close, volume, 20, 0.02)
    atr = vl.py_atr(high, low, close, 14)
    # demand: swing lows at bars 5 and 16 (low 100.0). Ten lows lie within 2.0 of 100 (bars 4,
    # 5, 6, 14 .. 18, 46 and 47, whose low 102 is exactly 2.0 away), strength 1, merged into one
    # zone 98 .. 102. The plunge at bar 46 closes 100.5, within 2% of 100 and below the
    # channel's lower band: a buy.
    line, band = ref_linreg_channel(close, 46, 20)
    assert line - band >= 100.5
    assert [i for i, b in enumerate(buy) if b] == [46]
    assert stop[46] == 98.0 - atr[46] and target[46] == pytest.approx(line, rel=1e-12)
    # supply: the peak at bar 10 (high 111.5), touched by the plateau's highs (111); the zone
    # reaches 111.5 + 2.23. A flat window has no residuals, so the close sits on the upper band:
    # every plateau bar whose window is fully flat (41 .. 45) sells, 1.5 below the zone price.
    supply_bars = [i for i, s in enumerate(sell) if s]
    assert supply_bars == list(range(41, 46))
    zone_upper = 111.5 + 0.02 * 111.5
    assert all(target[i] == 110.0 and stop[i] == pytest.approx(zone_upper + atr[i], rel=1e-12) for i in supply_bars)
    assert all(math.isnan(stop[i]) for i in range(len(close)) if not buy[i] and not sell[i])


def test_linreg_period_equal_to_length_signals_nothing():
    high, low, close = random_bars(40, 5)
    out = vl.py_linreg_supply_demand_signals(high, low, close, [1.0] * 40, 40, None)
    assert out[0] == [0.0] * 40 and out[1] == [0.0] * 40 and all(math.isnan(x) for x in out[2] + out[3])


@pytest.mark.parametrize("change, period, tol, message", [
    # the ATR's own checks come first
    (lambda b: b[2].__setitem__(4, NAN), 20, 0.02, "Invalid value at index 4: close contains non-finite value: NaN"),
    (lambda b: [s.__delitem__(slice(14, None)) for s in b], 3, 0.02, "Insufficient data: need at least 15 elements, got 14"),
    (lambda b: b[0].clear(), 20, -1.0, "Empty input: high cannot be empty"),
    (lambda b: b[3].clear(), 20, -1.0, "Empty input: volume cannot be empty"),
    (lambda b: b[3].__setitem__(0, math.inf), 20, -1.0, "Invalid value at index 0: volume contains non-finite value: inf"),
    (lambda b: None, 20, -1.0, "Parameter tolerance out of range: -1 (valid range: 0..inf)"),
    (lambda b: None, 0, 0.02, "Invalid period: 0 (must be > 0 and <= data length 51)"),
    (lambda b: None, 2, 0.02, "Invalid period: 2 (must be > 0 and <= data length 51)"),
    (lambda b: None, 52, 0.02, "Invalid period: 52 (must be > 0 and <= data length 51)"),
])
def test_linreg_checks(change, period, tol, message):
    bars = zone_bars()
    change(bars)
    assert value_error(vl.py_linreg_supply_demand_signals, *bars, period, tol) == message


def test_linreg_defaults():
    bars = zone_bars()
    assert same_series(vl.py_linreg_supply_demand_signals(*bars, None, None),
                       vl.py_linreg_supply_demand_signals(*bars, 20, 0.02))


# ---- premium / discount -----------------------------------------------------------------------

PD_CLOSE = [10, 11, 14, 11, 10, 8, 6, 8, 10, 11, 12, 11, 10, 9, 8, 9, 10, 11, 12, 14, 12, 11, 9, 8, 9, 10]


def test_pd_array_hand_traced():
    close = [float(c) for c in PD_CLOSE]
    high, low = [c + 1 for c in close], [c - 1 for c in close]
    buy, sell, stop, target = vl.py_pd_array_signals(high, low, close, 2)
    atr = vl.py_atr(high, low, close, 14)
    # swing highs at 2, 10, 19 and lows at 6, 14, 23 (lookback 2). From bar 14 the range is
    # 7 .. 13 (equilibrium 10): bar 17 closes 11 after 10, premium after discount, a sell.
    # From bar 19 the range is 7 .. 15 (equilibrium 11): bar 21 closes 11, not above it, a buy.
    # The crossings at bars 9 and 13 fall in the ATR warm-up and are skipped.
    assert [i for i, s in enumerate(sell) if s] == [17]
    assert [i for i, b in enumerate(buy) if b] == [21]
    assert stop[17] == 11 + 2 * atr[17] and target[17] == 10 - atr[17]
    assert stop[21] == 11 - 2 * atr[21] and target[21] == 11 + atr[21]
    assert sum(not math.isnan(x) for x in stop + target) == 4


def test_pd_array_without_a_swing_high_signals_nothing():
    close = [float(i) for i in range(30)]
    buy, sell, stop, target = vl.py_pd_array_signals([c + 1 for c in close], [c - 1 for c in close], close, 5)
    assert buy == sell == [0.0] * 30 and all(math.isnan(x) for x in stop + target)


@pytest.mark.parametrize("lookback, n, message", [
    (0, 30, "Invalid period: 0 (must be > 0 and <= data length 30)"),
    (HALF, 30, "Invalid value at index 0: swing_lookback * 2 overflow"),
    (HALF - 1, 30, f"Insufficient data: need at least {2**64 - 2} elements, got 30"),
    (16, 31, "Insufficient data: need at least 32 elements, got 31"),
    (1, 14, "Insufficient data: need at least 15 elements, got 14"),
])
def test_pd_array_checks(lookback, n, message):
    high, low, close = random_bars(n, 2)
    assert value_error(vl.py_pd_array_signals, high, low, close, lookback) == message


def test_pd_array_default_lookback_is_20():
    high, low, close = random_bars(200, 2)
    out = vl.py_pd_array_signals(high, low, close, None)
    assert same_series(out, vl.py_pd_array_signals(high, low, close, 20))
    assert any(out[0]) and not same_series(out, vl.py_pd_array_signals(high, low, close, 5))


# ---- divergence ------------------------------------------------------------------------------

@pytest.mark.parametrize("price, indicator, types, strengths", [
    # a lower price low (2 below 3) against a higher indicator low (40 above 30)
    ([5, 3, 5, 2, 5, 5], [50, 30, 50, 40, 50, 50], [0, 0, 0, 0, 1, 1], [0, 0, 0, 0, 2 / 3, 2 / 3]),
    # a higher price high (4 above 3) against a lower indicator high (40 below 50)
    ([1, 3, 1, 4, 1, 1], [10, 50, 10, 40, 10, 10], [0, 0, 0, 0, 2, 2], [0, 0, 0, 0, 1 / 3 + 0.2, 1 / 3 + 0.2]),
    # within the threshold: 2.98 is not 1% below 3
    ([5, 3, 5, 2.98, 5, 5], [50, 30, 50, 40, 50, 50], [0] * 6, [0] * 6),
    # the indicator low must rise by more than the threshold as well
    ([5, 3, 5, 2, 5, 5], [50, 30, 50, 30.3, 50, 50], [0] * 6, [0] * 6),
])
def test_detect_divergence(price, indicator, types, strengths):
    t, s = vl.py_detect_divergence(price, indicator, 1, None)
    assert t == types and all(type(x) is int for x in t)
    assert nan_equal(s, strengths, 1e-15)


def test_bearish_overrides_bullish_and_strength_caps_at_one():
    # lows 3 (bar 1) then 2 (bar 5), highs 6 (bar 3) then 9 (bar 7)
    price = [5, 3, 5, 6, 5, 2, 5, 9, 5, 5]
    indicator = [50, 30, 50, 80, 50, 40, 50, 20, 50, 50]
    t, s = vl.py_detect_divergence(price, indicator, 1, 0.01)
    assert t == [0] * 6 + [1, 1, 2, 2]
    assert s[6] == pytest.approx(1 / 3 + 1 / 3) and s[8] == s[9] == 1.0


@pytest.mark.parametrize("args, message", [
    (([], [], None, None), "Empty input: price cannot be empty"),
    (([1.0, NAN], [1.0], None, None), "Invalid value at index 1: price contains non-finite value: NaN"),
    (([1.0, 2.0], [1.0], None, -1.0), "Length mismatch: price=2, indicator=1"),
    (([1.0, 2.0], [1.0, math.inf], None, -1.0), "Invalid value at index 1: indicator contains non-finite value: inf"),
    (([1.0, 2.0], [1.0, 2.0], 0, -0.25), "Parameter threshold out of range: -0.25 (valid range: 0..inf)"),
    (([1.0, 2.0], [1.0, 2.0], 0, 0.0), "Invalid period: 0 (must be > 0 and <= data length 2)"),
    (([1.0, 2.0], [1.0, 2.0], HALF, 0.0), "Invalid value at index 0: lookback * 2 overflow"),
    (([1.0] * 9, [1.0] * 9, None, None), "Insufficient data: need at least 10 elements, got 9"),
])
def test_detect_divergence_checks(args, message):
    assert value_error(vl.py_detect_divergence, *args) == message


@pytest.mark.parametrize("fn, signature, text", [
    (vl.py_linreg_supply_demand_signals, "(high, low, close, volume, linreg_period, tolerance)",
     "Linear Regression + Supply/Demand Zones 信号\n返回: (buy_signals, sell_signals, stop_loss, take_profit)"),
    (vl.py_pd_array_signals, "(high, low, close, swing_lookback)",
     "PD Array (Premium/Discount Array) 信号\n返回: (buy_signals, sell_signals, stop_loss, take_profit)"),
    (vl.py_detect_divergence, "(price, indicator, lookback, threshold)",
     "背离检测\n返回: (divergence_type, strength)\n"
     "divergence_type: 0=None, 1=RegularBullish, 2=RegularBearish, 3=HiddenBullish, 4=HiddenBearish"),
])
def test_docstrings(fn, signature, text):
    assert fn.__text_signature__ == signature
    assert fn.__doc__ == text
