"""Three-bar candlestick detectors: three bars on which each fires (the value on the third),
and near misses that move one price onto the rule's boundary."""
import math

import pytest

import vorn_library.vorn_library as vl
from candlestick_support import bars, call, check_row, named

# (detector, bars 1 to 3 as (open, high, low, close), value, near misses as (bar, field, price), extra)
ROWS = [
    ("py_morning_star", [(10, 10.2, 7.9, 8), (7, 7.3, 6.8, 7.1), (7.2, 9.6, 7.1, 9.5)], 1.0,
     [(3, "c", 9), (2, "c", 7.625)], ()),  # close at bar 1's body midpoint; a middle body over 0.3 x
    ("py_morning_star", [(10, 10.2, 7.9, 8), (8.2, 8.5, 7.95, 8.3), (7.2, 9.6, 7.1, 9.5)], 1.0, [(2, "l", 8)], ()),
    ("py_evening_star", [(8, 10.1, 7.8, 10), (10.9, 11.2, 10.7, 11), (10.8, 10.9, 8.4, 8.5)], -1.0,
     [(3, "c", 9), (2, "h", 10), (2, "c", 11.525)], ()),
    ("py_abandoned_baby", [(12, 12.5, 9.5, 10), (9, 9.5, 8.5, 9), (10, 12, 9.75, 11.5)], 1.0,
     [(3, "l", 9.5), (2, "h", 10), (2, "c", 9.25)], ()),
    ("py_abandoned_baby", [(10, 12.5, 9.5, 12), (13, 13.5, 12.5, 13), (12, 12.25, 10, 10.5)], -1.0,
     [(3, "h", 12.5), (2, "l", 12)], ()),
    ("py_tristar", [(10, 11, 9, 10), (8, 8.5, 7.5, 8), (10, 11, 9, 10)], 1.0, [(2, "h", 9), (1, "c", 10.25)], ()),
    ("py_tristar", [(10, 11, 9, 10), (12, 12.5, 11.5, 12), (10, 11, 9, 10)], -1.0, [(2, "l", 11)], ()),
    ("py_tristar", [(10, 11, 9, 10.25), (8, 8.5, 7.5, 8), (10, 11, 9, 10)], 1.0, [], (0.2,)),
    ("py_three_white_soldiers", [(10, 15.25, 9.5, 15), (12, 17.25, 11.5, 17), (14, 19.5, 13.5, 19)], 1.0,
     [(3, "h", 20.5), (2, "o", 10), (3, "o", 17), (3, "c", 17)], ()),  # upper shadow 0.3 x body
    ("py_identical_three_crows", [(10, 10.5, 8.5, 9), (9.5, 10, 8, 8.5), (9, 9.25, 7.5, 7.7)], -1.0,
     [(3, "c", 7), (3, "c", 7.4), (3, "o", 9.5)], ()),  # bodies 1, 1, 1.3 pass; 1, 1, 2 and 1, 1, 1.6 fail
    ("py_three_inside", [(12, 12.5, 7.5, 8), (9, 11, 8.5, 10.5), (10.5, 13.5, 10, 13)], 1.0,
     [(3, "c", 12.5), (2, "o", 8)], ()),
    ("py_three_inside", [(8, 12.5, 7.5, 12), (11, 11.5, 9, 9.5), (9.5, 10, 6.5, 7)], -1.0, [(3, "c", 7.5)], ()),
    ("py_three_outside", [(10, 10.5, 8.5, 9), (8.5, 11, 8, 10.5), (10, 12, 9.5, 11.5)], 1.0,
     [(3, "c", 10.5), (2, "c", 10), (2, "o", 9)], ()),
    ("py_three_outside", [(9, 10.5, 8.5, 10), (10.5, 11, 8, 8.5), (9, 9.5, 7, 7.5)], -1.0, [(3, "c", 8.5)], ()),
    ("py_advance_block", [(10, 13.25, 9.5, 13), (12, 14.5, 11.5, 14), (13.5, 15.5, 13, 14.5)], -1.0,
     [(2, "o", 11), (3, "h", 15)], ()),  # equal bodies; equal upper shadows
    ("py_stick_sandwich", [(12, 12.5, 9.5, 10), (10.5, 11.5, 10.25, 11), (12.5, 13, 9.75, 10)], 1.0,
     [(2, "h", 12), (2, "l", 10), (3, "c", 10.125)], ()),
    ("py_stick_sandwich", [(-8, -7.5, -10.5, -10), (-9.5, -8.5, -9.75, -9), (-4, -3.5, -5.5, -5)], 1.0,
     [], ()),  # a negative first close passes any positive tolerance
    ("py_stick_sandwich", [(1, 1.5, -0.5, 0), (0.25, 0.75, 0.125, 0.5), (0.5, 1, -0.5, 0)], 0.0, [], (1e300,)),
    ("py_unique_3_river", [(10, 10.1, 6.9, 7), (7.5, 7.6, 6.5, 7.3), (7.1, 7.3, 7.0, 7.2)], 1.0,
     [(2, "l", 6.9), (3, "c", 7)], ()),
    ("py_xside_gap_3_methods", [(10, 11.2, 9.9, 11), (11.6, 12.6, 11.5, 12.5), (12.4, 12.5, 11.25, 11.3)], 1.0,
     [(3, "c", 11.2), (2, "l", 11.2)], ()),
    ("py_xside_gap_3_methods", [(12, 12.1, 10.8, 11), (10.4, 10.5, 9.4, 9.5), (9.6, 10.75, 9.5, 10.7)], -1.0,
     [(3, "c", 10.8)], ()),
    ("py_three_black_crows", [(10, 10.1, 8.95, 9), (9.5, 9.6, 8.45, 8.5), (9, 9.1, 7.95, 8)], -1.0,
     [(3, "l", 7.6), (2, "o", 9)], ()),
    ("py_stalled_pattern", [(10, 11.1, 9.9, 11), (11, 12.1, 10.9, 12), (12.1, 12.6, 12, 12.2)], -1.0, [], ()),
    ("py_stalled_pattern", [(10, 11.1, 9.9, 11), (11, 12.1, 10.9, 12), (12.25, 13.25, 12.2, 12.5)], -1.0,
     [(3, "h", 13)], ()),  # upper shadow exactly twice the body
    ("py_evening_doji_star", [(10, 11.2, 9.9, 11), (11.5, 11.8, 11.3, 11.52), (11.2, 11.3, 10.2, 10.4)], -1.0,
     [(3, "c", 10.5), (2, "l", 11)], ()),
    ("py_evening_doji_star", [(10, 11.2, 9.9, 11), (11.5, 12, 11.25, 11.8), (11.2, 11.3, 10.2, 10.4)], -1.0,
     [], (0.5,)),  # a body of 40% of the range
    ("py_evening_doji_star", [(10, 11.2, 9.9, 11), (11.5, 12, 11.25, 11.8), (11.2, 11.3, 10.2, 10.4)], 0.0,
     [], ()),
    ("py_morning_doji_star", [(11, 11.1, 9.8, 10), (9.5, 9.7, 9.2, 9.48), (9.8, 10.9, 9.7, 10.6)], 1.0,
     [(2, "h", 10), (3, "c", 10.5)], ()),
    ("py_upside_gap_two_crows", [(10, 12.5, 9.5, 12), (13.5, 14, 12.75, 13), (14, 14.5, 12.25, 12.5)], -1.0,
     [(3, "c", 12), (3, "o", 13.5), (2, "o", 12)], ()),
    ("py_gap_sidesidewhite", [(10, 12.5, 9.5, 12), (12.5, 14.25, 12.25, 14), (12.625, 14.25, 12.5, 14.125)], 1.0,
     [(3, "o", 12.75), (3, "c", 13.125)], ()),  # opens 0.02 x apart; bodies 0.3 x apart
    ("py_gap_sidesidewhite", [(14, 14.5, 11.5, 12), (12.5, 13.75, 12.25, 13.5), (12.625, 13.75, 12.5, 13.625)],
     -1.0, [(1, "o", 13.5)], ()),  # the second close against the first bar's open
    ("py_gap_sidesidewhite", [(90, 99, 89, 98), (100, 106, 99.5, 105), (101.9, 107, 101, 106.9)], 1.0,
     [(3, "o", 102)], ()),
    ("py_gap_sidesidewhite", [(-16, -13.5, -16.5, -14), (-12.5, -10.5, -12.75, -11), (-12.5, -10.5, -12.75, -11)],
     0.0, [], ()),  # the open test keeps the sign of its bound
    ("py_hikkake", [(7, 10, 5, 7), (7, 9, 6, 7), (7, 9.5, 6.5, 7)], 1.0, [(2, "h", 10), (3, "h", 10)], ()),
    ("py_hikkake", [(7, 10, 5, 7), (7, 9, 6, 7), (7, 8.5, 5.5, 7)], -1.0, [(2, "l", 5), (3, "l", 5)], ()),
    ("py_hikkake", [(7, 10, 5, 7), (7, 9, 6, 7), (7, 10.5, 5.5, 7)], -1.0, [], ()),  # above bar 1, below bar 2
]


@pytest.mark.parametrize("name, rows, value, misses, extra", ROWS)
def test_fires_and_near_misses(name, rows, value, misses, extra):
    check_row(name, rows, value, misses, extra)


def test_every_three_bar_detector_has_rows():
    assert {r[0] for r in ROWS} == set(named(3))


def test_overlapping_runs_mark_consecutive_bars():
    run = bars((10, 10.1, 8.95, 9), (9.5, 9.6, 8.45, 8.5), (9, 9.1, 7.95, 8), (8.5, 8.6, 7.45, 7.5))
    assert call("py_three_black_crows", run) == [0.0, 0.0, -1.0, -1.0]


def test_hikkake_validates_nothing():
    high, low = [10.0, 9.0, 9.5, 9.0, 8.0], [5.0, 6.0, 6.5]
    assert vl.py_hikkake([], high, low, [math.nan]) == [0.0, 0.0, 1.0]
    assert vl.py_hikkake([1.0], [10.0, 9.0, 9.5, 1.0], [5.0, 6.0], []) == [0.0, 0.0]
    assert vl.py_hikkake([1.0], high, [], [1.0]) == []
    assert vl.py_hikkake([], [10.0, math.nan, 9.5, 9.0], [5.0, 6.0, 6.5, math.inf], []) == [0.0] * 4
