"""Trend-ratio, Heikin-Ashi MACD, nearest-neighbour and learned-model signal systems.

Hand-traced bars where the ATR is exactly 2 and the RSI of period 1 is exactly 0 or 100; the
MACD, SuperTrend, ATR and RSI lines against the library's own functions where the systems are
defined through them; the neighbour searches against a full sort with the tie rule (NumPy);
the learned systems on noiseless series whose model is exact, and against the online trainers'
own forecasts (tests/native/models.cpp).
"""
import math

import numpy as np
import pytest

import vorn_library.vorn_library as vl
from conftest import first_defined, floats, models_program, nan_equal, random_bars, same_series, value_error
from reference import ref_ai_momentum, ref_ai_supertrend

NAN = math.nan
U64_MAX = 2**64 - 1


def ramp_bars(close):
    """Bars one point either side of a close that moves at most one point a bar: ATR 2."""
    return [c + 1 for c in close], [c - 1 for c in close], close


def walk(n, seed, step=1.0):
    """Integer-valued closes: features and distances repeat, so ties occur."""
    rng = np.random.default_rng(seed)
    return list(np.maximum(5.0, 50.0 + np.cumsum(rng.integers(-2, 3, n) * step)))


# ---- docstrings --------------------------------------------------------------------------------

@pytest.mark.parametrize("fn, sig, text", [
    (vl.py_atr2_signals, "(high, low, close, volume, trend_length, confirmation_threshold, momentum_window)", ""),
    (vl.py_dynamic_macd, "(open, high, low, close, fast_length, slow_length, signal_smooth)", ""),
    (vl.py_ai_supertrend, "(high, low, close, k, n, price_trend, predict_trend, st_length, st_multiplier)", ""),
    (vl.py_ai_momentum_index, "(close, k, trend_length, smooth)", ""),
    (vl.py_atr2_signals_ml, "(high, low, close, volume, rsi_period, atr_period, ridge_alpha, momentum_window)",
     "ATR2 信号 ML 增强版\n返回: (rsi, buy_signals, sell_signals, signal_strength, stop_loss, take_profit)"),
    (vl.py_ai_supertrend_ml, "(high, low, close, st_length, st_multiplier, model_type, lookback, train_window)",
     "AI SuperTrend ML 增强版\n返回: (supertrend, direction, buy_signals, sell_signals, stop_loss, take_profit)"),
    (vl.py_ai_momentum_index_ml, "(close, rsi_period, smooth_period, use_polynomial, lookback, train_window)",
     "AI Momentum Index ML 增强版\n返回: (rsi, predicted_momentum, zero_cross_buy, zero_cross_sell, overbought, oversold)"),
])
def test_docstrings(fn, sig, text):
    assert fn.__doc__ == (text or None)   # a bare signature leaves no text
    assert fn.__text_signature__ == sig


# ---- ATR2 ---------------------------------------------------------------------------------------

FALL = [100.0] * 6 + [99.0, 98.0, 97.0, 96.0, 95.0, 96.0, 97.0, 98.0]


@pytest.mark.parametrize("sign", [1, -1])
def test_atr2_hand_traced(sign):
    # Momentum over 5 bars at bar 10 is -5 (or +5): ratio -2.5 past the threshold 2; bar 9's
    # ratio is exactly -2 (not past) and bar 11's is -2 again.
    close = [100.0 + sign * (c - 100.0) for c in FALL]
    high, low, close = ramp_bars(close)
    assert vl.py_atr(high, low, close, 3)[3:] == [2.0] * 11
    volume = [100.0] * 14
    volume[10] = volume[9] = 200.0
    signals, stop, target = vl.py_atr2_signals(high, low, close, volume, 3, 2.0, 5)
    assert signals == [0.0] * 10 + [float(sign)] + [0.0] * 3
    c = close[10]
    assert nan_equal(stop, [NAN] * 10 + [c - sign * 4.0] + [NAN] * 3)
    assert nan_equal(target, [NAN] * 10 + [c + sign * 6.0] + [NAN] * 3)
    # a volume equal to its mean never passes
    assert vl.py_atr2_signals(high, low, close, [100.0] * 14, 3, 2.0, 5)[0] == [0.0] * 14


def test_atr2_thresholds_and_warm_up():
    h, l, c = random_bars(60, 7)
    rising = [float(i + 1) for i in range(60)]   # above its own mean on every bar
    # A negative threshold: every ratio satisfies one test, and the buy wins the middle.
    sig = vl.py_atr2_signals(h, l, c, rising, 8, -1e9, 12)[0]
    assert sig == [0.0] * 12 + [1.0] * 48
    # Flat bars: the ATR is 0, the ratio 0.0, which passes only a negative threshold.
    flat = [5.0] * 30
    assert vl.py_atr2_signals(flat, flat, flat, rising[:30], 4, 0.0, 4)[0] == [0.0] * 30
    assert vl.py_atr2_signals(flat, flat, flat, rising[:30], 4, -0.5, 4)[0] == [0.0] * 4 + [1.0] * 26
    v = rising
    assert same_series(vl.py_atr2_signals(h, l, c, v, None, None, None), vl.py_atr2_signals(h, l, c, v, 14, 2.0, 10))


# ---- Heikin-Ashi MACD ----------------------------------------------------------------------------

def test_dynamic_macd_hand_traced():
    o, h, l, c = [10.0, 12.0, 11.0], [13.0, 14.0, 13.0], [9.0, 10.0, 10.0], [12.0, 11.0, 12.0]
    macd, signal, hist, ha_open, ha_close = vl.py_dynamic_macd(o, h, l, c, 1, 2, 1)
    assert ha_close == [11.0, 11.75, 11.5]
    assert ha_open == [11.0, 11.0, 11.375]
    src = [11.5, 11.5, 11.75]   # (h + l + 2c) / 4
    assert same_series((macd, signal, hist), vl.py_macd(src, 1, 2, 1))
    assert math.isnan(macd[0]) and macd[1] == 0.0
    # equal fast and slow lengths are accepted: the two averages cancel
    assert vl.py_dynamic_macd(o, h, l, c, 2, 2, 1)[0][1:] == [0.0, 0.0]


def test_dynamic_macd_against_macd_of_the_weighted_price():
    h, l, c = random_bars(80, 3)
    o = [c[0]] + c[:-1]
    out = vl.py_dynamic_macd(o, h, l, c, None, None, None)
    src = [(a + b + x + x) * 0.25 for a, b, x in zip(h, l, c)]
    assert same_series(out[:3], vl.py_macd(src, 12, 26, 9))
    assert same_series(out, vl.py_dynamic_macd(o, h, l, c, 12, 26, 9))
    short = vl.py_dynamic_macd(o[:34], h[:34], l[:34], c[:34], 12, 26, 9)
    assert all(first_defined(s) == 33 for s in short[:3])


# ---- nearest neighbours ----------------------------------------------------------------------------


@pytest.mark.parametrize("seed, k, n, pt, qt, stl, m", [
    (1, 1, 30, 1, 1, 5, 1.0), (2, 4, 40, 1, 1, 7, 2.0), (3, 5, 100, 10, 10, 10, 3.0), (4, 3, 25, 4, 6, 3, 0.5),
])
def test_ai_supertrend_against_full_sort(seed, k, n, pt, qt, stl, m):
    c = walk(400, seed)
    h, l, c = ramp_bars(c)
    got = vl.py_ai_supertrend(h, l, c, k, n, pt, qt, stl, m)
    want = ref_ai_supertrend(h, l, c, k, n, pt, qt, stl, m)
    assert same_series(got, want)
    direction = vl.py_supertrend(h, l, c, stl, m)[1]
    assert nan_equal(got[1][:n], direction[:n])
    if pt == qt == 1:   # integer closes and held bands: equal distances with different outcomes
        assert want[1] != ref_ai_supertrend(h, l, c, k, n, pt, qt, stl, m, later_ties=True)[1]


@pytest.mark.parametrize("m", [math.inf, -math.inf])
def test_ai_supertrend_non_finite_multiplier(m):
    # The SuperTrend line is NaN or infinite: the trend feature is undefined (no candidates) or
    # its distances are NaN, which rank after every number; the search stays defined.
    h, l, c = random_bars(200, 3)
    value, signal = vl.py_ai_supertrend(h, l, c, 5, 50, 5, 5, 10, m)
    st_value, direction = vl.py_supertrend(h, l, c, 10, m)[:2]
    assert nan_equal(value, st_value) and set(signal[10:]) <= {1.0, -1.0}


def test_ai_momentum_hand_traced_tie():
    close = [10.0, 11.0, 12.0, 11.0, 12.0, 13.0, 11.0, 12.0]
    assert nan_equal(vl.py_rsi(close, 1), [NAN, 100, 100, 0, 100, 100, 0, 100])
    # Bar 7 (RSI 100, close 12) lies at distance 0 from bars 2 and 4; bar 2 wins the tie, and its
    # next-bar change is -100 (bar 4's would be 0).
    assert same_series(vl.py_ai_momentum_index(close, 1, 1, 1), ([NAN] * 3 + [0.0, -100.0, -100.0, 100.0, -100.0],) * 2)
    assert vl.py_ai_momentum_index(close, 2, 1, 1)[0][4:] == [-50.0, -50.0, 50.0, -50.0]
    assert vl.py_ai_momentum_index(close, 3, 1, 2)[1][6:] == [0.0, -100.0 / 3]


@pytest.mark.parametrize("n, k, tl, smooth, step", [(300, 1, 2, 1, 1.0), (900, 7, 5, 3, 1.0), (1500, 50, 14, 3, 0.25)])
def test_ai_momentum_against_full_sort(n, k, tl, smooth, step):
    close = walk(n, n, step)
    pred, smoothed = vl.py_ai_momentum_index(close, k, tl, smooth)
    assert nan_equal(pred, ref_ai_momentum(close, k, tl))
    assert first_defined(pred) == 2 * tl + k and first_defined(smoothed) == 2 * tl + k + smooth - 1
    assert nan_equal(smoothed[2 * tl + k:], vl.py_sma(pred[2 * tl + k:], smooth))


def test_ai_momentum_flat_and_short():
    assert same_series(vl.py_ai_momentum_index([3.0] * 40, 5, 4, 2), ([NAN] * 13 + [0.0] * 27, [NAN] * 14 + [0.0] * 26))
    assert same_series(vl.py_ai_momentum_index(walk(11, 1), 3, 4, 2), ([NAN] * 11,) * 2)   # no bar has 3 candidates
    c = walk(120, 2)
    assert same_series(vl.py_ai_momentum_index(c, None, None, None), vl.py_ai_momentum_index(c, 50, 14, 3))
    assert same_series(vl.py_ai_supertrend(*ramp_bars(c), *[None] * 6), vl.py_ai_supertrend(*ramp_bars(c), 5, 100, 10, 10, 10, 3.0))


# ---- learned systems -------------------------------------------------------------------------------

def geometric(n, g, spike=0.1):
    """A close growing by g - 1 every bar; highs and lows that swing the SuperTrend both ways."""
    close = [100.0 * g ** i for i in range(n)]
    up = [(i // 5) % 2 == 0 for i in range(n)]
    high = [x * (1 + (spike if u else 0.001)) for x, u in zip(close, up)]
    low = [x * (1 - (0.001 if u else spike)) for x, u in zip(close, up)]
    return high, low, close


@pytest.mark.parametrize("g", [1.03, 0.97])
def test_atr2_ml_on_a_constant_return(g):
    # The target is a constant 100 (g - 1) %: the ridge forecast is that constant, so the levels
    # are 30 -+ 3 and 70 +- 3 from the look-back on, 30 and 70 before it. The RSI of a monotone
    # close is 100 (or 0), and a zero volume lets every bar through.
    high, low, close = geometric(240, g, 0.01)
    rsi, buy, sell, strength, stop, target = vl.py_atr2_signals_ml(high, low, close, [0.0] * 240, 5, 5, 1.0, 20)
    assert nan_equal(rsi, vl.py_rsi(close, 5))
    atr = vl.py_atr(high, low, close, 5)
    side = 1 if g < 1 else -1
    assert (buy if side == 1 else sell) == [0.0] * 5 + [1.0] * 235 and (sell if side == 1 else buy) == [0.0] * 240
    assert strength[5:20] == [1.0] * 15
    assert np.allclose(strength[20:], 1.1 if side == 1 else 0.9, rtol=0, atol=1e-9)
    assert nan_equal(stop, [NAN] * 5 + [c - side * 2 * a for c, a in zip(close[5:], atr[5:])])
    assert nan_equal(target, [NAN] * 5 + [c + side * 3 * a for c, a in zip(close[5:], atr[5:])])
    # alpha 0 on the two constant feature columns: the solve fails, the forecast is 0.0
    assert vl.py_atr2_signals_ml(high, low, close, [0.0] * 240, 5, 5, 0.0, 20)[3][5:] == [1.0] * 235


# Least squares refuses the lagged closes of a constant return (proportional columns): its
# forecast is 0.0 and nothing fires. Ridge forecasts the constant.
@pytest.mark.parametrize("g, model, fires", [(1.01, "ridge", True), (0.99, "ridge", True), (1.01, None, False)])
def test_ai_supertrend_ml_on_a_constant_return(g, model, fires):
    high, low, close = geometric(260, g)
    out = vl.py_ai_supertrend_ml(high, low, close, 5, 0.1, model, 20, 200)
    value, direction = vl.py_supertrend(high, low, close, 5, 0.1)[:2]
    atr = vl.py_atr(high, low, close, 5)
    assert same_series(out[:2], (value, direction))
    # the forecast is g - 1 from the look-back on (0.0 before): only turns its way fire
    s = 1 if g > 1 else -1
    turns = [i for i in range(20, 260) if direction[i - 1] == -s and direction[i] == s]
    assert len(turns) > 20 and any(direction[i - 1] == -s and direction[i] == s for i in range(1, 20))
    if not fires:
        assert out[2:4] == ([0.0] * 260,) * 2 and same_series(out[4:], ([NAN] * 260,) * 2)
        return
    fired, quiet = (out[2], out[3]) if s == 1 else (out[3], out[2])
    assert [i for i, x in enumerate(fired) if x] == turns and quiet == [0.0] * 260
    assert nan_equal(out[4], [close[i] - s * 2 * atr[i] if i in turns else NAN for i in range(260)])
    assert nan_equal(out[5], [close[i] + s * 3 * atr[i] if i in turns else NAN for i in range(260)])


def test_ai_momentum_ml_exact_model():
    # Closes down, up, down, ...: the RSI of period 1 alternates 0 and 100, and the next change
    # (+-100) is an exact linear function of the last two values, the first row's 50 included.
    close = [9.0 if i % 2 else 10.0 for i in range(120)]
    rsi, pred, zc_buy, zc_sell, over, under = vl.py_ai_momentum_index_ml(close, 1, 3, False, 2, 100)
    assert pred[:2] == [0.0, 0.0]
    assert np.allclose(pred[2:], [rsi[i] - rsi[i - 1] for i in range(2, 120)], rtol=0, atol=1e-8)
    ups = [0.0, 0.0] + [1.0 if i % 2 == 0 else 0.0 for i in range(2, 120)]
    downs = [0.0, 0.0] + [1.0 if i % 2 else 0.0 for i in range(2, 120)]
    assert (zc_buy, over, zc_sell, under) == (ups, ups, downs, downs)   # bar 2 crosses up out of the zeros
    # The pairwise products of three distinct rows are rank-deficient: no fit, no forecast, no flag.
    out = vl.py_ai_momentum_index_ml(close, 1, 3, True, 2, 100)
    assert out[1:] == ([0.0] * 120,) * 5


@pytest.fixture(scope="module")
def native():
    return models_program()


def test_atr2_ml_levels_clamp_the_forecast(native):
    # Returns that reverse (r[t+1] ~ -0.8 r[t]) teach the ridge model to forecast a rebound; a
    # 30 % fall at bar 230 and a 30 % jump at bar 240 then push the forecast beyond +-10. A zero
    # volume passes the filter on every bar.
    rng = np.random.default_rng(4)
    r = [0.0]
    for _ in range(259):
        r.append(-0.8 * r[-1] + rng.normal(0, 0.004))
    r[230], r[240] = -0.30, 0.30
    close = list(100 * np.cumprod(1 + np.array(r)))
    high, low = [c * 1.01 for c in close], [c * 0.99 for c in close]
    atr = vl.py_atr(high, low, close, 14)
    p = floats(native("online", [0, 200, 10, 1.0, 1, 0], close, atr, [0.0] * 260)[0])
    assert p[230] > 10 and p[240] < -10
    rsi, buy, sell, strength, stop, target = vl.py_atr2_signals_ml(high, low, close, [0.0] * 260, 14, 14, 1.0, 10)
    # clamped levels 20 / 80 at bar 230: its RSI (below 20) buys, though 30 - p is below it
    assert rsi[230] < 20 and rsi[230] > 30 - p[230]
    assert (buy[230], sell[230], strength[230]) == (1.0, 0.0, (20 - rsi[230]) / 30)
    assert (stop[230], target[230]) == (close[230] - 2 * atr[230], close[230] + 3 * atr[230])
    # clamped levels 40 / 60 at bar 240: its RSI (below 60) does not sell, though above 70 + p
    assert 70 + p[240] < rsi[240] < 60
    assert (buy[240], sell[240], strength[240]) == (0.0, 0.0, 0.0) and math.isnan(stop[240])


def test_learned_systems_read_the_trainers(native):
    h, l, c = random_bars(320, 11)
    v = [1e3 + (i * 37) % 500 for i in range(320)]
    atr, rsi = vl.py_atr(h, l, c, 14), vl.py_rsi(c, 14)
    p = floats(native("online", [0, 200, 10, 1.0, 1, 0], c, atr, v)[0])
    out = vl.py_atr2_signals_ml(h, l, c, v, None, None, None, None)
    avg = vl.py_sma(v, 14)
    for i in range(14, 320):
        lv = min(10.0, max(-10.0, p[i]))
        ok = avg[i] <= 0 or v[i] > avg[i]
        assert out[1][i] == float(ok and rsi[i] < 30 - lv) and out[2][i] == float(ok and rsi[i] > 70 + lv)
        if out[1][i] or out[2][i]:
            assert out[3][i] == (30 - lv - rsi[i] if out[1][i] else rsi[i] - (70 + lv)) / 30
    st_atr = vl.py_atr(h, l, c, 10)
    p = floats(native("online", [2, 200, 10, 1.0, 0, 0], c, st_atr)[0])
    d = vl.py_supertrend(h, l, c, 10, 3.0)[1]
    out = vl.py_ai_supertrend_ml(h, l, c, None, None, None, None, None)
    assert out[2] == [float(i > 0 and d[i - 1] < 0.5 < d[i] and p[i] > 0) for i in range(320)]
    assert out[3] == [float(i > 0 and d[i - 1] > -0.5 > d[i] and p[i] < 0) for i in range(320)]
    out = vl.py_ai_momentum_index_ml(c, None, None, None, None, None)
    assert out[1] == floats(native("online", [1, 200, 5, 1.0, 0, 0], rsi)[0])
    assert same_series(out, vl.py_ai_momentum_index_ml(c, 14, 3, False, 5, 200))


# ---- validation ------------------------------------------------------------------------------------

def bars(n):
    h, l, c = random_bars(n, 5)
    return [h, l, c, [100.0] * n]


R = bars(5)
R12 = bars(12)
R210 = bars(210)
NF = "Invalid value at index 2: close contains non-finite value: NaN"


def nan_close(b):
    b = [list(s) for s in b]
    b[2][2] = NAN
    return b


@pytest.mark.parametrize("call, message", [
    # py_atr2_signals: close first, then the group, then the two periods, then the ATR
    (lambda: vl.py_atr2_signals([], [], [], [], 1, 1.0, 1), "Empty input: close cannot be empty"),
    (lambda: vl.py_atr2_signals([], [1.0], *nan_close(R)[2:], 1, 1.0, 1), NF),
    (lambda: vl.py_atr2_signals(R[0], R[1][:4], R[2], R[3], 1, 1.0, 1), "Length mismatch: high=5, low=4"),
    (lambda: vl.py_atr2_signals(*R, 0, 1.0, 9), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_atr2_signals(*R, 6, 1.0, 0), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_atr2_signals(*R, 2, 1.0, 6), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_atr2_signals(*R, 5, 1.0, 1), "Insufficient data: need at least 6 elements, got 5"),
    # py_dynamic_macd
    (lambda: vl.py_dynamic_macd([1.0], [], [1.0], [1.0], None, None, None), "Empty input: high cannot be empty"),
    (lambda: vl.py_dynamic_macd([1.0], [1.0], [1.0], [1.0], None, None, None),
     "Invalid period: 12 (must be > 0 and <= data length 1)"),
    (lambda: vl.py_dynamic_macd(*R12[:3], R12[2], 3, 2, 1), "Invalid period: 3 (must be > 0 and <= data length 12)"),
    (lambda: vl.py_dynamic_macd(*R12[:3], R12[2], 3, 10, 4), "Insufficient data: need at least 13 elements, got 12"),
    # py_ai_supertrend: st_length, price_trend, predict_trend, k, n, then n + k against the length
    (lambda: vl.py_ai_supertrend(*R[:3], 0, 0, 0, 0, 9, 1.0), "Invalid period: 9 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_supertrend(*R[:3], 0, 0, 7, 0, 1, 1.0), "Invalid period: 7 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_supertrend(*R[:3], 0, 0, 1, 8, 1, 1.0), "Invalid period: 8 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_supertrend(*R[:3], 1, 6, 1, 1, 1, 1.0), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_supertrend(*R[:3], 0, 9, 1, 1, 1, 1.0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_supertrend(*R[:3], 2, 3, 1, 1, 1, 1.0), "Insufficient data: need at least 6 elements, got 5"),
    (lambda: vl.py_ai_supertrend(*R[:3], 1, 3, 1, 1, 5, 1.0), "Insufficient data: need at least 6 elements, got 5"),
    # py_ai_momentum_index: k, trend_length, smooth, then trend_length + k
    (lambda: vl.py_ai_momentum_index(R[2], 0, 9, 9), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_momentum_index(R[2], 1, 9, 0), "Invalid period: 9 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_momentum_index(R[2], 2, 3, 9), "Invalid period: 9 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_momentum_index(R[2], 2, 3, 1), "Insufficient data: need at least 6 elements, got 5"),
    # py_atr2_signals_ml: periods, the look-back 0, its overflow, 200 + it bars, then the kernels
    (lambda: vl.py_atr2_signals_ml(*nan_close(R), 1, 1, 1.0, 1), NF),
    (lambda: vl.py_atr2_signals_ml(*R, 6, 0, 1.0, 0), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_atr2_signals_ml(*R, 1, 1, 1.0, 0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_atr2_signals_ml(*R, 1, 1, 1.0, U64_MAX),
     "Invalid value at index 0: train_window + momentum_window overflow"),
    (lambda: vl.py_atr2_signals_ml(*R210, 1, 1, 1.0, 11), "Insufficient data: need at least 211 elements, got 210"),
    (lambda: vl.py_atr2_signals_ml(*R210, 210, 1, 1.0, 10), "Insufficient data: need at least 211 elements, got 210"),
    # py_ai_supertrend_ml: the model type only after the kernels
    (lambda: vl.py_ai_supertrend_ml(*R[:3], 1, 1.0, "x", 6, 0), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_supertrend_ml(*R[:3], 1, 1.0, "x", 1, 0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_supertrend_ml(*R[:3], 1, 1.0, "x", 1, U64_MAX),
     "Invalid value at index 0: train_window + lookback overflow"),
    (lambda: vl.py_ai_supertrend_ml(*R[:3], 1, 1.0, "x", 5, 1), "Insufficient data: need at least 6 elements, got 5"),
    (lambda: vl.py_ai_supertrend_ml(*R[:3], 5, 1.0, "x", 1, 4), "Insufficient data: need at least 6 elements, got 5"),
    (lambda: vl.py_ai_supertrend_ml(*R[:3], 2, 1.0, "Linreg", 1, 4), "Invalid value at index 0: unknown model_type: Linreg"),
    # py_ai_momentum_index_ml: rsi_period, smooth_period, lookback, train_window
    (lambda: vl.py_ai_momentum_index_ml(R[2], 0, 9, None, 9, 0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_momentum_index_ml(R[2], 1, 6, None, 0, 0), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_momentum_index_ml(R[2], 1, 1, None, 0, 0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_momentum_index_ml(R[2], 1, 1, None, 1, 0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (lambda: vl.py_ai_momentum_index_ml(R[2], 1, 1, None, 1, U64_MAX),
     "Invalid value at index 0: train_window + lookback overflow"),
    (lambda: vl.py_ai_momentum_index_ml(R[2], 1, 1, None, 2, 4), "Insufficient data: need at least 6 elements, got 5"),
    (lambda: vl.py_ai_momentum_index_ml(R[2], 5, 1, None, 1, 4), "Insufficient data: need at least 6 elements, got 5"),
])
def test_validation_order(call, message):
    assert value_error(call) == message
