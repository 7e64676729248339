"""Windows where nothing happened: after ordinary bars, a stretch of zero volume, of flat prices, or
of both. A function whose value at a bar comes from a finite window of bars must give, on such a
stretch, what it gives when started afresh on the stretch: the traces of the bars that left the window
(the rounding a sliding sum keeps of them) may not read as a signal. And every function with a
documented range stays inside it on the whole grid.

The functions are read from the binding's declarations, so a new series function is swept without
being named here; what cannot be swept is named below with the reason.
"""
import math
import random

import pytest

import vorn_library.vorn_library as vl

vorn_bench_floor = pytest.importorskip(
    "vorn_bench_floor", reason="the bindings' declarations come with an in-place build (make build)")

DECLARED = vorn_bench_floor.parameters()

# Values carried from the whole past by definition (exponential and Wilder smoothing, the
# adaptive averages, parabolic stops, running totals, and what is built on them): after a flat
# stretch they still hold what their recursion kept of the bars before it. Named only where the
# sweep tells them apart from a fresh start; the others have forgotten their past by then.
RECURSIVE = frozenset({
    "py_rma", "py_kama", "py_mama", "py_vidya", "py_alligator", "py_efi", "py_force_index",
    "py_rsi", "py_stochrsi", "py_stoch_rsi", "py_qqe", "py_cmo", "py_macd", "py_apo", "py_ppo",
    "py_trix", "py_tsi", "py_stc", "py_wae", "py_smi", "py_qstick",
    "py_atr", "py_natr", "py_keltner_channel", "py_chandelier_exit", "py_mass_index", "py_aberration",
    "py_squeeze", "py_pgo", "py_supertrend", "py_adx", "py_dmi", "py_dx", "py_plus_di", "py_minus_di",
    "py_psar", "py_parabolic_sar", "py_sar", "py_sarext", "py_ht_dcperiod",
    "py_obv", "py_ad", "py_pvt", "py_nvi", "py_pvi",
    "py_dynamic_macd", "py_atr2_signals", "py_general_parameters_signals",
})

# Values not defined from a window of the bars: inputs that are other indicators' outputs or
# signals, levels and patterns read from the whole series, models trained on the past, and
# results that are not one value per bar.
NOT_A_WINDOW = frozenset({
    "py_ichimoku_signals", "py_ichimoku_tk_cross", "py_cloud_thickness", "py_cloud_color",
    "py_combine_signals", "py_calculate_stops", "py_trailing_stop", "py_detect_divergence",
    "py_volume_profile", "py_dynamic_fib_retracement", "py_calc_pivot_series",
    "py_harmonics", "py_harmonics_patterns", "py_swing_points", "py_pivot_buy_sell", "py_fvg_signals",
    "py_pd_array_signals", "py_breaker_block_signals", "py_linreg_supply_demand_signals",
    "py_ai_supertrend", "py_ai_momentum_index", "py_ai_supertrend_ml", "py_atr2_signals_ml",
    "py_ai_momentum_index_ml", "py_train_supertrend_model", "py_train_atr2_model", "py_train_momentum_model",
    "py_prepare_supertrend_features", "py_prepare_atr2_features", "py_prepare_momentum_features",
})

# A deviation is the square root of a difference of window sums. On a flat window of a price that
# is not a whole number the sliding sums leave that difference at rounding size, and its root is
# about 1e-8 of the window's ordinary deviation: their tolerance (the others': 1e-9).
ROOT_OF_ROUNDING = frozenset({"py_bollinger_bands", "py_zscore", "py_standard_error", "py_stderr"})

# Ranges the functions document or their definitions imply, per output (None: that output has
# none).
RANGES = {
    "py_mfi": [(0.0, 100.0)],
    "py_cmf": [(-1.0, 1.0)],
    "py_rsi": [(0.0, 100.0)],
    "py_stochastic": [(0.0, 100.0), (0.0, 100.0)],
    "py_williams_r": [(-100.0, 0.0)],
    "py_ultimate_oscillator": [(0.0, 100.0)],
    "py_aroon": [(0.0, 100.0), (0.0, 100.0)],
    "py_cmo": [(-100.0, 100.0)],
    "py_adx": [(0.0, 100.0), (0.0, 100.0), (0.0, 100.0)],
    "py_dx": [(0.0, 100.0)],
    "py_plus_di": [(0.0, 100.0)],
    "py_minus_di": [(0.0, 100.0)],
    "py_bop": [(-1.0, 1.0)],
    "py_er": [(0.0, 1.0)],
    "py_percent_rank": [(0.0, 100.0)],
    "py_psl": [(0.0, 100.0)],
    "py_kdj": [(0.0, 100.0), (0.0, 100.0), None],
    "py_stochrsi": [(0.0, 100.0), (0.0, 100.0)],
    "py_stoch_rsi": [(0.0, 100.0), (0.0, 100.0)],
    "py_dmi": [(0.0, 100.0), (0.0, 100.0)],
    "py_cti": [(-1.0, 1.0)],
    "py_vhf": [(0.0, 1.0)],
    "py_stc": [(0.0, 100.0)],
    "py_smi": [(-100.0, 100.0)],
    "py_rvi": [(-1.0, 1.0), (-1.0, 1.0)],
    "py_qqe": [(0.0, 100.0), (0.0, 100.0), None],
    "py_entropy": [(0.0, math.log2(10))],
}

ORDINARY = 300   # ordinary bars before the stretch
STRETCH = 160    # bars in the stretch: longer than every window swept
COMPARED = 40    # the stretch's last bars, whose windows (and their windows) lie inside it
SCALES = (1e-3, 1.0, 100.0, 3e4)
VOLUMES = (1.0, 1e6, 1e9)
STRETCHES = ("zero volume", "flat prices", "both")

# Series parameters by name; any other name reads the closes.
SERIES = {"open": "open", "high": "high", "low": "low", "close": "close", "volume": "volume"}
PERIOD = 10  # for a count declared without a default
# Arguments other than the declared defaults: the VWAP's default is its cumulative form.
ARGUMENTS = {"py_vwap": {"period": 14}}


def bars(scale, volume, stretch, seed):
    """ORDINARY ordinary bars then STRETCH bars of the given kind: dict of series."""
    rng = random.Random(seed)
    o, h, l, c, v = [], [], [], [], []
    x = 100.0
    for i in range(ORDINARY + STRETCH):
        in_stretch = i >= ORDINARY
        if in_stretch and stretch != "zero volume":
            bar = (x, x, x, x)
        else:
            step = rng.gauss(0.0, 1.0)
            op, x = x, max(x + step, 1.0)
            hi, lo = max(op, x) + rng.random(), min(op, x) - rng.random()
            bar = (op, hi, max(lo, 0.5), x)
        vol = 0.0 if in_stretch and stretch != "flat prices" else volume * (0.5 + rng.random())
        for s, b in zip((o, h, l, c), bar):
            s.append(b * scale / 100.0)
        v.append(vol)
    return {"open": o, "high": h, "low": l, "close": c, "volume": v}


def default_of(p):
    text = p["default"]
    if text is None or text == "None":
        return PERIOD if p["kind"] == "count" else None
    return eval(text)  # the declaration's own literal


def swept():
    """Every exported series function whose arguments can all be formed, less the exclusions."""
    out = []
    for name in vl.__all__:
        params = DECLARED.get(name)
        if isinstance(getattr(vl, name), type) or not params or name in NOT_A_WINDOW | RECURSIVE:
            continue
        if any(p["kind"] == "series" for p in params) and all(
                p["kind"] in ("series", "count", "real", "setting", "flag", "text") for p in params):
            out.append(name)
    return out


def outputs(name, data):
    """The function's series outputs on DATA, or None when it refuses them."""
    args = [data[SERIES.get(p["name"], "close")] if p["kind"] == "series"
            else ARGUMENTS.get(name, {}).get(p["name"], default_of(p)) for p in DECLARED[name]]
    try:
        r = getattr(vl, name)(*args)
    except ValueError:
        return None
    n = len(data["close"])
    return tuple(x for x in (r if isinstance(r, tuple) else (r,)) if isinstance(x, list) and len(x) == n)


def reads_volume(name):
    return any(p["name"] == "volume" for p in DECLARED[name])


def grid(stretch):
    for si, scale in enumerate(SCALES):
        for vi, volume in enumerate(VOLUMES):
            yield scale, volume, bars(scale, volume, stretch, seed=10 * si + vi)


def mismatch(name, full, fresh):
    """The first bar of the stretch's end where FULL and FRESH disagree beyond the tolerance."""
    rtol = 1e-6 if name in ROOT_OF_ROUNDING else 1e-9
    for k, (a, b) in enumerate(zip(full, fresh)):
        ordinary = [abs(x) for x in a[:ORDINARY] if not math.isnan(x)]
        scale = max(ordinary, default=1.0)
        for x, y in zip(a[-COMPARED:], b[-COMPARED:]):
            if math.isnan(x) != math.isnan(y) or (not math.isnan(x) and abs(x - y) > rtol * (scale + abs(y))):
                return k, x, y
    return None


def test_the_sweep_reaches_every_family():
    names = set(swept())
    assert {"py_mfi", "py_cmf", "py_vwap", "py_sma", "py_sum", "py_bollinger_bands", "py_correlation"} <= names
    assert len(names) > 140
    # an exclusion that no longer names an export would hide a new function under an old name
    assert (RECURSIVE | NOT_A_WINDOW | ROOT_OF_ROUNDING) <= set(vl.__all__)


@pytest.mark.parametrize("stretch", STRETCHES)
def test_a_stretch_longer_than_the_window_reads_as_a_fresh_start(stretch):
    failures = []
    for name in swept():
        if stretch == "zero volume" and not reads_volume(name):
            continue  # nothing changes for it: its windows are ordinary
        for scale, volume, data in grid(stretch):
            if not reads_volume(name) and volume != VOLUMES[0]:
                continue
            full = outputs(name, data)
            if full is None:
                continue  # an element-wise function refusing prices outside its domain
            fresh = outputs(name, {k: v[ORDINARY:] for k, v in data.items()})
            bad = fresh is not None and mismatch(name, full, fresh)
            if fresh is None or bad:
                failures.append((name, scale, volume, bad or "refused afresh"))
    assert not failures, failures


@pytest.mark.parametrize("stretch", STRETCHES)
@pytest.mark.parametrize("name", sorted(RANGES))
def test_documented_ranges_hold_on_the_whole_grid(name, stretch):
    for scale, volume, data in grid(stretch):
        for out, bound in zip(outputs(name, data), RANGES[name]):
            if bound is None:
                continue
            lo, hi = bound
            assert all(lo <= x <= hi for x in out if not math.isnan(x)), (scale, volume, min(out), max(out))


# The bars of the report: bars 6-8 share one typical price, so the window at bar 8 has no flow.
HIGH = [98.0, 103.0, 104.5, 98.0, 97.0, 100.5, 100.5, 100.5, 100.5]
LOW = [97.0, 102.0, 104.0, 97.0, 96.5, 99.5, 99.5, 99.5, 99.5]
CLOSE = [97.5, 102.5, 104.0, 97.5, 96.5, 100.0, 100.0, 100.0, 100.0]
VOLUME = [371e3, 953e3, 628e3, 649e3, 37e3, 329e3, 17e3, 817e3, 768e3]


def test_a_window_without_flow_reads_as_none():
    # no falling flow: 100 (the sliding sums read 123.08 once)
    assert vl.py_mfi(HIGH, LOW, CLOSE, VOLUME, 3)[-1] == 100.0
    quiet = VOLUME[:4] + [0.0] * 5
    assert vl.py_cmf(HIGH, LOW, CLOSE, quiet, 3)[-3:] == [0.0] * 3
    assert all(math.isnan(x) for x in vl.py_vwap(HIGH, LOW, CLOSE, quiet, 3)[-3:])
    assert vl.py_sum([3.1, -7.7, 0.1, 0.0, 0.0, 0.0], 3)[-1] == 0.0


def test_streaming_windows_of_zeros_read_zero():
    sma, bands = vl.OnlineSMA(4), vl.OnlineBollingerBands(4, 2.0)
    for x in [0.1, 1e9, 0.7, 3.3, 1e-3] + [0.0] * 6:
        mean, band = sma.update(x), bands.update(x)
    assert mean == 0.0
    assert band == (0.0, 0.0, 0.0)
    stoch = vl.OnlineStochastic(3, 2, 2)
    for h, l, c in [(10.0, 9.0, 9.7), (10.3, 9.2, 10.1)] + [(9.0 - 0.3 * i, 8.0 - 0.3 * i, 8.0 - 0.3 * i) for i in range(6)]:
        value = stoch.update(h, l, c)
    assert value == (0.0, 0.0)  # closes on the lowest low: no %K at all


# Windows up to 2^16 bars read their sums as they are on the slides their weight passes; longer
# ones look at every sum near zero. Both sides of that length, after ordinary volumes of every
# size and a stretch of zeros longer than the window (the sums carry the rounding of 2^16 and
# more terms), and a stretch of tiny volumes whose sums must stay at or above 0.
@pytest.mark.parametrize("period", [2**16 - 1, 2**16 + 1])
def test_long_windows_of_zeros_read_zero(period):
    rng = random.Random(period)
    ordinary = [rng.choice([1.0, 1e6, 1e9]) * rng.uniform(0.5, 2.0) for _ in range(period + 1500)]
    volume = ordinary + [0.0] * (period + 1200) + [1e-300] * 50
    zeros = slice(len(ordinary) + period, len(ordinary) + period + 1200)
    for name, out in [("py_sum", vl.py_sum(volume, period)), ("py_sma", vl.py_sma(volume, period))]:
        assert out[zeros] == [0.0] * 1200, name
        assert all(x >= 0.0 for x in out[-50:]), name
    # no long average to compare with
    assert all(math.isnan(x) for x in vl.py_volume_oscillator(volume, period - 7, period)[zeros])
    filtered = vl.py_volume_filter(volume, period)
    assert filtered[1][zeros] == [1.0] * 1200  # no average volume: nothing relative to it
    price = [100.0 + (i % 7) * 0.25 for i in range(len(volume))]
    assert vl.py_cmf(price, price, price, volume, period)[zeros] == [0.0] * 1200


# The streaming windows look at their values only near zero, and at every slide of a window
# longer than 2^16: both sides, after ordinary values of every size, through a stretch of zeros
# longer than the window and a stretch of tiny values. The stream gives the series' bits.
@pytest.mark.parametrize("period", [3, 2**16 - 1, 2**16 + 1])
def test_streaming_windows_of_zeros_match_the_series(period):
    rng = random.Random(period)
    values = [rng.choice([1.0, 1e6, 1e9]) * rng.uniform(0.5, 2.0) for _ in range(period + 1500)]
    values += [0.0] * (period + 1200) + [1e-300] * 50 + [-3.0, 3.0] * 40
    sma = vl.OnlineSMA(period)
    stream = [sma.update(x) for x in values]
    batch = vl.py_sma(values, period)
    assert [math.nan if x is None else x for x in stream[period - 1:]] == batch[period - 1:]
    zeros = len(values) - 130 - 1200
    assert stream[zeros:zeros + 1200] == [0.0] * 1200
    assert all(x >= 0.0 for x in stream[-130:-80])
    # a stochastic whose closes sit on the lowest low: %K and %D windows of zeros
    stoch = vl.OnlineStochastic(2, period, 3)
    bars = [(p + 1.0, p - 1.0, p + rng.uniform(-1.0, 1.0)) for p in values[:period + 1500]]
    bars += [(5.0, 4.0, 4.0)] * (period + 200)
    for bar in bars:
        value = stoch.update(*bar)
    assert value == (0.0, 0.0)
