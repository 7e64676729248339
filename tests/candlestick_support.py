"""What the candlestick tests share: each detector's shape, and helpers that build bars and
call a detector with the series it takes."""
import math
import random

import vorn_library.vorn_library as vl

NAN = math.nan
OHLC = ("open", "high", "low", "close")
OC = ("open", "close")
OHC = ("open", "high", "close")
OLC = ("open", "low", "close")
BT = "body_threshold"
TOL = "tolerance"

# name: (bars in the pattern, what a shorter input returns (NaN or 0.0; None for one bar),
#        series taken, (trailing parameter, default) or None, validates its series)
DETECTORS = {
    "py_doji": (1, None, OHLC, (BT, 0.1), True),
    "py_dragonfly_doji": (1, None, OHLC, (BT, 0.1), True),
    "py_rickshaw_man": (1, None, OHLC, (BT, 0.1), True),
    "py_spinning_top": (1, None, OHLC, None, True),
    "py_highwave": (1, None, OHLC, (BT, 0.15), True),
    "py_marubozu": (1, None, OHLC, None, True),
    "py_belthold": (1, None, OHLC, None, True),
    "py_takuri": (1, None, OHLC, None, True),
    "py_hammer": (1, None, OHLC, None, True),
    "py_hanging_man": (1, None, OHLC, None, True),
    "py_shooting_star": (1, None, OHLC, None, True),
    "py_long_line": (1, None, OHLC, ("lookback", 10), True),
    "py_short_line": (1, None, OHLC, ("lookback", 10), True),
    "py_gravestone_doji": (1, None, OHLC, (BT, 0.1), True),
    "py_inverted_hammer": (1, None, OHLC, None, True),
    "py_long_legged_doji": (1, None, OHLC, (BT, 0.1), True),
    "py_closing_marubozu": (1, None, OHLC, None, True),
    "py_bullish_harami": (2, NAN, OC, None, True),
    "py_bearish_harami": (2, NAN, OC, None, True),
    "py_harami_cross": (2, NAN, OHLC, (BT, 0.1), True),
    "py_doji_star": (2, NAN, OHLC, (BT, 0.1), True),
    "py_kicking": (2, NAN, OHLC, None, True),
    "py_counterattack": (2, 0.0, OHLC, (TOL, 0.005), False),
    "py_matching_low": (2, NAN, OHLC, (TOL, 0.01), True),
    "py_homing_pigeon": (2, NAN, OHLC, None, True),
    "py_inneck": (2, NAN, OHLC, (TOL, 0.01), True),
    "py_onneck": (2, NAN, OHLC, (TOL, 0.01), True),
    "py_thrusting": (2, NAN, OHLC, None, True),
    "py_tweezers_top": (2, NAN, OHC, (TOL, 0.01), True),
    "py_bullish_engulfing": (2, NAN, OC, None, True),
    "py_bearish_engulfing": (2, NAN, OC, None, True),
    "py_tweezers_bottom": (2, NAN, OLC, (TOL, 0.01), True),
    "py_dark_cloud_cover": (2, NAN, OHC, None, True),
    "py_piercing_pattern": (2, NAN, OLC, None, True),
    "py_separating_lines": (2, NAN, OHLC, (TOL, 0.005), True),
    "py_morning_star": (3, NAN, OHLC, None, True),
    "py_evening_star": (3, NAN, OHLC, None, True),
    "py_abandoned_baby": (3, NAN, OHLC, (BT, 0.1), True),
    "py_tristar": (3, NAN, OHLC, (BT, 0.1), True),
    "py_three_inside": (3, NAN, OHLC, None, True),
    "py_three_outside": (3, NAN, OHLC, None, True),
    "py_advance_block": (3, NAN, OHLC, None, True),
    "py_stick_sandwich": (3, NAN, OHLC, (TOL, 0.01), True),
    "py_unique_3_river": (3, 0.0, OHLC, None, True),
    "py_hikkake": (3, 0.0, OHLC, None, False),
    "py_three_black_crows": (3, NAN, OLC, None, True),
    "py_three_white_soldiers": (3, NAN, OHC, None, True),
    "py_identical_three_crows": (3, NAN, OHLC, None, True),
    "py_stalled_pattern": (3, NAN, OHLC, None, True),
    "py_evening_doji_star": (3, NAN, OHLC, (BT, 0.1), True),
    "py_morning_doji_star": (3, NAN, OHLC, (BT, 0.1), True),
    "py_upside_gap_two_crows": (3, NAN, OHLC, None, True),
    "py_gap_sidesidewhite": (3, NAN, OHLC, None, True),
    "py_xside_gap_3_methods": (3, 0.0, OHLC, None, True),
    "py_hikkake_mod": (4, 0.0, OHLC, None, True),
    "py_ladder_bottom": (5, 0.0, OHLC, None, True),
    "py_mat_hold": (5, 0.0, OHLC, None, True),
    "py_breakaway": (5, 0.0, OHLC, None, True),
    "py_rising_three_methods": (5, NAN, OHLC, None, True),
    "py_falling_three_methods": (5, NAN, OHLC, None, True),
    "py_concealing_baby_swallow": (4, 0.0, OHLC, None, True),
}


def named(bar_count):
    """The detectors whose table is the one of this bar count (4 stands for four and five)."""
    return [n for n, d in DETECTORS.items() if min(d[0], 4) == bar_count]


def bars(*rows):
    """Bars from (open, high, low, close) rows."""
    return {k: [float(r[i]) for r in rows] for i, k in enumerate(OHLC)}


def call(name, b, *extra, **kw):
    """The detector called with the series it takes, positionally."""
    return getattr(vl, name)(*(b[s] for s in DETECTORS[name][2]), *extra, **kw)


def expected(name, signal):
    """The output of a detector on exactly its pattern's bars."""
    return [0.0] * (DETECTORS[name][0] - 1) + [signal]


def integer_bars(n, seed):
    """Small whole-number prices: patterns fire often and ties are common, with exact arithmetic."""
    rng = random.Random(seed)
    rows = []
    for _ in range(n):
        o, c = rng.randint(1, 8), rng.randint(1, 8)
        rows.append((o, max(o, c) + rng.choice((0, 0, 1, 2, 5)), min(o, c) - rng.choice((0, 0, 1, 2, 5)), c))
    return bars(*rows)


def float_bars(n, seed):
    rng = random.Random(seed)
    rows, x = [], 100.0
    for _ in range(n):
        o = x
        x += rng.gauss(0, 1)
        rows.append((o, max(o, x) + rng.random(), min(o, x) - rng.random(), x))
    return bars(*rows)


def moved(rows, bar, field, price):
    """The rows with one price of bar `bar` (1 is the oldest) moved; field is one of o, h, l, c."""
    rows = [list(r) for r in rows]
    rows[bar - 1]["ohlc".index(field)] = price
    return rows


def check_row(name, rows, value, misses=(), extra=()):
    """The detector gives `value` on the pattern's last bar, and nothing once one price moves."""
    assert call(name, bars(*rows), *extra) == expected(name, value)
    for bar, field, price in misses:
        assert call(name, bars(*moved(rows, bar, field, price)), *extra) == expected(name, 0.0), (bar, field, price)
