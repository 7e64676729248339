"""Candlestick patterns: how often each of the 61 detectors fires on the sample bars."""
import inspect
import textwrap

GROUPS = [
    ("one bar", "doji dragonfly_doji gravestone_doji long_legged_doji rickshaw_man spinning_top highwave marubozu "
                "closing_marubozu belthold takuri hammer inverted_hammer hanging_man shooting_star long_line "
                "short_line"),
    ("two bars", "bullish_engulfing bearish_engulfing bullish_harami bearish_harami harami_cross doji_star kicking "
                 "counterattack matching_low homing_pigeon inneck onneck thrusting tweezers_top tweezers_bottom "
                 "dark_cloud_cover piercing_pattern separating_lines"),
    ("three bars", "morning_star evening_star morning_doji_star evening_doji_star abandoned_baby tristar "
                   "three_white_soldiers three_black_crows identical_three_crows stalled_pattern three_inside "
                   "three_outside advance_block stick_sandwich unique_3_river upside_gap_two_crows gap_sidesidewhite "
                   "xside_gap_3_methods hikkake"),
    ("four and five bars", "hikkake_mod concealing_baby_swallow ladder_bottom mat_hold breakaway "
                           "rising_three_methods falling_three_methods"),
]


def run(vl, bars, section, show):
    section(f"Candlestick patterns: firings on {len(bars['close'])} bars, as name(bullish/bearish)")
    latest = (-1, "")
    for title, names in GROUPS:
        counts = []
        for name in names.split():
            fn = getattr(vl, "py_" + name)
            out = fn(*(bars[p] for p in inspect.signature(fn).parameters if p in bars))
            up, down = out.count(1.0), out.count(-1.0)
            if up or down:
                counts.append(f"{name}({up}/{down})")
            last = max((i for i, v in enumerate(out) if v in (1.0, -1.0)), default=-1)
            latest = max(latest, (last, name))
        print(textwrap.fill(f"{title}: " + (", ".join(counts) or "no firing"), 100, initial_indent="  ",
                            subsequent_indent="    "))
    if latest[0] >= 0:
        print(f"  most recent: {latest[1]} on bar {latest[0]} of {len(bars['close'])}")
