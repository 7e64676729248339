"""Candlestick detectors: (name, fn(bars), series in, series out). Each detector is timed
with the series it takes, against a floor of as many input conversions and one output."""
import inspect

import vorn_library.vorn_library as vl

DETECTORS = """
py_doji py_dragonfly_doji py_rickshaw_man py_spinning_top py_highwave py_marubozu py_belthold py_takuri
py_hammer py_hanging_man py_shooting_star py_long_line py_short_line py_gravestone_doji py_inverted_hammer
py_long_legged_doji py_closing_marubozu
py_bullish_harami py_bearish_harami py_harami_cross py_doji_star py_kicking py_counterattack py_matching_low
py_homing_pigeon py_inneck py_onneck py_thrusting py_tweezers_top py_bullish_engulfing py_bearish_engulfing
py_tweezers_bottom py_dark_cloud_cover py_piercing_pattern py_separating_lines
py_morning_star py_evening_star py_abandoned_baby py_tristar py_three_inside py_three_outside py_advance_block
py_stick_sandwich py_unique_3_river py_hikkake py_three_black_crows py_three_white_soldiers
py_identical_three_crows py_stalled_pattern py_evening_doji_star py_morning_doji_star py_upside_gap_two_crows
py_gap_sidesidewhite py_xside_gap_3_methods
py_hikkake_mod py_ladder_bottom py_mat_hold py_breakaway py_rising_three_methods py_falling_three_methods
py_concealing_baby_swallow
""".split()

SERIES = ("open", "high", "low", "close")


def _case(name):
    fn = getattr(vl, name)
    taken = [p for p in inspect.signature(fn).parameters if p in SERIES]
    letters = ", ".join(s[0] for s in taken)
    return (f"{name}({letters})", lambda b: fn(*(b[s] for s in taken)), len(taken), 1)


CASES = [_case(n) for n in DETECTORS]
