"""Two-bar candlestick detectors: a pair on which each fires (the value on its second bar),
and near misses that move one price onto the rule's boundary."""
import math

import pytest

import vorn_library.vorn_library as vl
from candlestick_support import bars, call, check_row, named

# (detector, (bar 1, bar 2) as (open, high, low, close), value, near misses as (bar, field, price), extra)
ROWS = [
    ("py_bullish_harami", [(10, 11, 5, 6), (8, 10, 7, 9)], 1.0, [(2, "o", 6), (2, "c", 10)], ()),
    ("py_bearish_harami", [(6, 11, 5, 10), (9, 10, 7, 8)], -1.0, [(2, "o", 10), (2, "c", 6)], ()),
    ("py_harami_cross", [(12, 12.5, 7.5, 8), (10, 11.25, 8.75, 10)], 1.0,
     [(1, "c", 12), (2, "c", 10.25), (1, "o", 10)], ()),  # colourless bar 1; body/range 0.1; top on top
    ("py_harami_cross", [(8, 12.5, 7.5, 12), (10, 11.25, 8.75, 10)], -1.0, [(1, "c", 10)], ()),
    ("py_harami_cross", [(12, 12.5, 7.5, 8), (10, 11.25, 8.75, 10.25)], 1.0, [], (0.2,)),
    ("py_doji_star", [(12, 12.5, 9.5, 10), (9, 9.5, 8.5, 9)], 1.0, [(2, "h", 10), (1, "c", 12)], ()),
    ("py_doji_star", [(10, 12.5, 9.5, 12), (13, 13.5, 12.5, 13)], -1.0, [(2, "l", 12)], ()),
    ("py_kicking", [(10, 10, 8, 8), (10.5, 12, 10.5, 12)], 1.0, [(2, "h", 12.25), (1, "l", 7.75)], ()),
    ("py_kicking", [(8, 10, 8, 10), (7.5, 7.5, 6, 6)], -1.0, [(2, "o", 8)], ()),
    ("py_counterattack", [(10, 10.5, 7.5, 8), (5, 8.5, 4.5, 8.03)], 1.0, [(2, "c", 8.05)], ()),
    ("py_counterattack", [(10, 10.5, 7.5, 8), (5, 10, 4.5, 9.5)], 1.0, [(2, "c", 10)], (0.25,)),
    ("py_counterattack", [(8, 10.5, 7.5, 10), (13, 13.5, 9.5, 10.02)], -1.0, [(2, "o", 10.02)], ()),
    ("py_matching_low", [(12, 12.5, 9.5, 10), (11, 11.5, 9.5, 10)], 1.0, [(2, "o", 10), (1, "o", 10)], ()),
    ("py_matching_low", [(12, 12.5, 7.5, 8), (11, 11.5, 9, 9.5)], 1.0, [(2, "c", 10)], (0.25,)),
    # A negative first close makes the ratio negative, passing any positive tolerance; a zero one never passes.
    ("py_matching_low", [(1, 1.5, -2.5, -2), (-0.5, 1, -5.5, -5)], 1.0, [(1, "c", 0)], ()),
    ("py_onneck", [(1, 1.5, -2.5, -2), (-5.2, 1, -6, -5)], -1.0, [(1, "c", 0)], ()),
    ("py_homing_pigeon", [(14, 14.5, 9.5, 10), (12.5, 13, 10.5, 11)], 1.0, [(2, "o", 13), (2, "c", 10)], ()),
    ("py_inneck", [(12, 12.5, 9, 10), (8, 9.5, 7.5, 9.05)], -1.0, [(2, "c", 10)], ()),  # bar 1's low, not close
    ("py_inneck", [(12, 12.5, 8, 10), (8, 10, 7.5, 9.5)], -1.0, [(2, "c", 10)], (0.25,)),
    ("py_onneck", [(20, 20.5, 9.5, 10), (8, 10.5, 7.5, 10)], -1.0, [(2, "o", 7), (2, "c", 10.125)], ()),
    ("py_thrusting", [(14, 14.5, 9.5, 10), (9, 12.5, 8.5, 11.5)], -1.0, [(2, "c", 12), (2, "o", 9.5)], ()),
    ("py_tweezers_top", [(10, 12.5, 9.5, 12), (12, 12.55, 10, 10.5)], -1.0, [(2, "h", 12.7)], ()),
    ("py_tweezers_top", [(1, 3, 0.5, 2), (4.5, 5, 1, 2)], -1.0, [], (0.75,)),
    ("py_tweezers_top", [(1, 3, 0.5, 2), (4.5, 5, 1, 2)], 0.0, [], (0.5,)),  # |h2 - h1| / mean = 0.5
    ("py_tweezers_top", [(-3, -1, -3.5, -1.5), (-1.5, -1, -3, -2.5)], 0.0, [], (10.0,)),  # mean high below 0
    ("py_bullish_engulfing", [(10, 10.5, 9, 9.5), (9, 11, 8.5, 10.5)], 1.0, [(2, "o", 9.75), (2, "c", 9.75)], ()),
    ("py_bullish_engulfing", [(10, 10.5, 9, 9.5), (9.5, 10.5, 9, 10)], 1.0, [(1, "c", 10)], ()),  # equal edges
    ("py_bearish_engulfing", [(9.5, 10.5, 9, 10), (10, 10.5, 9, 9.5)], -1.0, [(2, "c", 9.75), (1, "c", 9.5)], ()),
    ("py_tweezers_bottom", [(10.5, 10.75, 9, 10.2), (10, 10.75, 8.98, 10.7)], 1.0, [(2, "l", 8.9)], ()),
    ("py_tweezers_bottom", [(10.5, 10.75, 9, 10.2), (10, 10.75, 8.98, 10.7)], 0.0, [], (0.002,)),
    ("py_tweezers_bottom", [(4, 4.5, 3, 3.5), (5.5, 6.5, 5, 6)], 1.0, [], (0.75,)),
    ("py_tweezers_bottom", [(4, 4.5, 3, 3.5), (5.5, 6.5, 5, 6)], 0.0, [], (0.5,)),
    ("py_tweezers_bottom", [(-1, -0.5, -3, -2), (-2.5, -1, -2.9, -1.5)], 0.0, [], (10.0,)),  # mean low below 0
    ("py_dark_cloud_cover", [(10, 11, 9.5, 11), (11.2, 11.5, 10, 10.3)], -1.0,
     [(2, "o", 11), (2, "c", 10.5), (2, "c", 10)], ()),
    ("py_piercing_pattern", [(11, 11.5, 9.9, 10), (9.8, 11, 9.7, 10.7)], 1.0,
     [(2, "o", 9.9), (2, "c", 10.5), (2, "c", 11)], ()),
    ("py_separating_lines", [(10, 10.1, 9.7, 9.8), (10.02, 10.9, 10, 10.8)], 1.0, [(2, "o", 10.06)], ()),
    ("py_separating_lines", [(10, 10.5, 9.9, 10.3), (10.02, 10.1, 9.4, 9.5)], -1.0, [(2, "c", 10.02)], ()),
    ("py_separating_lines", [(8, 8.5, 6.5, 7), (9.5, 11, 9, 10.5)], 1.0, [(2, "o", 10)], (0.25,)),
    ("py_separating_lines", [(0, 1, -1, -0.5), (0, 1, -1, 0.5)], 0.0, [], ()),  # a first open of 0 divides by 0
]


@pytest.mark.parametrize("name, rows, value, misses, extra", ROWS)
def test_fires_and_near_misses(name, rows, value, misses, extra):
    check_row(name, rows, value, misses, extra)


def test_every_two_bar_detector_has_rows():
    assert {r[0] for r in ROWS} == set(named(2))


def test_counterattack_validates_nothing():
    cut = vl.py_counterattack
    assert cut([10.0, 5.0, 1.0], [], [1.0], [8.0, 8.03]) == [0.0, 1.0]
    assert cut([10.0, 5.0], [], [], []) == []
    assert cut([], [1.0], [1.0], [1.0]) == []
    assert cut([10.0], [], [], [8.0]) == [0.0]
    assert cut([10.0, 5.0, 7.0], [], [], [8.0, math.nan, 8.0]) == [0.0, 0.0, 0.0]
    assert cut([10.0, 5.0, math.inf], [], [], [8.0, 8.03, 8.0]) == [0.0, 1.0, 0.0]
    # a positive tolerance never marks a pair whose first close is zero or below
    assert cut([1.0, -1.0], [], [], [0.0, 0.0]) == [0.0, 0.0]
