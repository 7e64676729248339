"""Single-bar candlestick detectors: a bar on which each fires, and near misses that move one
price onto (or just past) the rule's boundary."""
import pytest

import vorn_library.vorn_library as vl
from candlestick_support import bars, call, check_row, moved, named

# (detector, (open, high, low, close), value, near misses as (field, price), extra arguments)
ROWS = [
    ("py_doji", (10, 15, 5, 10.5), 1.0, [("c", 11), ("h", 10), ("l", 15)], ()),  # body/range 0.1 is no doji
    ("py_doji", (10, 12, 8, 10), 1.0, [], ()),
    ("py_doji", (10, 15, 5, 11), 1.0, [], (0.2,)),
    ("py_dragonfly_doji", (10, 10, 8, 10), 1.0, [("l", 10), ("h", 12)], ()),
    ("py_dragonfly_doji", (10, 10.5, 1, 10), 1.0, [("h", 11)], ()),  # upper shadow 0.1 x range
    ("py_rickshaw_man", (10.75, 12.5, 7.5, 10.75), 1.0, [("l", 6.5)], ()),
    ("py_rickshaw_man", (11, 12.5, 7.5, 11), 0.0, [], ()),  # body midpoint 0.2 x range off the bar's
    ("py_rickshaw_man", (10, 12.5, 7.5, 10.5), 1.0, [], (0.2,)),
    ("py_rickshaw_man", (10, 12.5, 7.5, 10.5), 0.0, [], ()),  # body 0.1 x range
    ("py_spinning_top", (10, 12.5, 8.5, 10.75), 1.0, [("c", 11), ("h", 11.5), ("l", 9.75)], ()),
    ("py_highwave", (10, 13, 7, 10.5), 1.0, [("h", 11.5), ("l", 9)], ()),
    ("py_highwave", (10, 11.75, 8.5, 10.5), 1.0, [], (0.2,)),
    ("py_highwave", (10, 11.75, 8.5, 10.5), 0.0, [], ()),
    ("py_marubozu", (10, 15, 9.875, 15), 1.0, [("l", 9.75), ("c", 10), ("h", 15.25)], ()),
    ("py_marubozu", (15, 15, 9.875, 10), -1.0, [("l", 9.75)], ()),
    ("py_belthold", (10, 19, 9.25, 18.5), 1.0, [("l", 9), ("c", 17.3)], ()),
    ("py_belthold", (10, 18, 10, 17), 1.0, [], ()),  # an upper shadow of 12.5% is not tested
    ("py_belthold", (18.5, 19.25, 9.5, 10), -1.0, [("h", 19.5)], ()),
    ("py_takuri", (10, 10, 8, 10), 1.0, [("h", 10.25)], ()),
    ("py_takuri", (10, 11.5, 5, 11), 1.0, [("l", 5.25)], ()),  # lower shadow of at least 5 bodies
    ("py_hammer", (10, 11, 8, 11), 1.0, [("l", 8.5), ("c", 10)], ()),
    ("py_hammer", (11, 11, 8, 10), -1.0, [("l", 8.5)], ()),
    ("py_hammer", (10, 12, 8, 11), 1.0, [("h", 12.25)], ()),  # upper shadow equal to the body
    ("py_hanging_man", (10, 11, 8, 11), -1.0, [("l", 8.5), ("c", 10)], ()),
    ("py_hanging_man", (11, 11, 8, 10), -1.0, [], ()),
    ("py_shooting_star", (10, 13, 10, 11), -1.0, [("h", 12.5), ("l", 8.75)], ()),
    ("py_shooting_star", (10, 11, 8, 11), 0.0, [], ()),
    ("py_gravestone_doji", (10.0, 10.8, 9.95, 10.05), -1.0, [], ()),
    ("py_gravestone_doji", (10, 19, 9.5, 10), -1.0, [("l", 9), ("h", 10.5)], ()),
    ("py_inverted_hammer", (10, 11.5, 10, 10.5), 1.0, [("h", 11.25), ("c", 10)], ()),
    ("py_inverted_hammer", (10.5, 11.5, 10, 10), -1.0, [], ()),
    ("py_inverted_hammer", (10, 11.5, 9.5, 10.5), 1.0, [("l", 9.25)], ()),  # lower shadow equal to the body
    ("py_long_legged_doji", (10.3, 11.0, 9.5, 10.35), 1.0, [], ()),
    ("py_long_legged_doji", (10.3, 11.0, 9.5, 10.35), 0.0, [], (0.02,)),
    ("py_long_legged_doji", (10, 13.5, 3, 10), 1.0, [("h", 13)], ()),  # upper shadow 0.3 x range
    ("py_closing_marubozu", (10.0, 10.92, 9.9, 10.9), 1.0, [("h", 11)], ()),
    ("py_closing_marubozu", (10.9, 10.95, 9.99, 10.0), -1.0, [], ()),
    ("py_closing_marubozu", (2.0, 10.0, 0.0, 10.0), 0.0, [], ()),  # body exactly 0.8 x range
]


@pytest.mark.parametrize("name, bar, value, misses, extra", ROWS)
def test_fires_and_near_misses(name, bar, value, misses, extra):
    check_row(name, [bar], value, [(1, field, price) for field, price in misses], extra)


def test_every_single_bar_detector_has_rows():
    assert {r[0] for r in ROWS} | {"py_long_line", "py_short_line"} == set(named(1))


@pytest.mark.parametrize("name", ["py_doji", "py_dragonfly_doji", "py_gravestone_doji", "py_long_legged_doji"])
def test_doji_shapes_need_a_range(name):
    assert call(name, bars((10, 10, 10, 10))) == [0.0]


def test_hammer_family_on_one_series():
    b = bars((10, 11, 8, 11), (11, 11, 8, 10), (10, 13, 10, 11), (10, 10, 10, 10))
    assert call("py_hammer", b) == [1.0, -1.0, 0.0, 0.0]
    assert call("py_hanging_man", b) == [-1.0, -1.0, 0.0, 0.0]
    assert call("py_inverted_hammer", b) == [0.0, 0.0, 1.0, 0.0]
    assert call("py_shooting_star", b) == [0.0, 0.0, -1.0, 0.0]


# Three bars of body 1 then the bar judged; the average body of the look-back is 1.
SMALL = [(10, 11.25, 9.75, 11)] * 3
LINE_ROWS = [
    ("py_long_line", (10, 13.25, 9.75, 13), 1.0, [("c", 12), ("h", 14.5)]),  # body 2 x A; upper 0.5 x body
    ("py_long_line", (13, 13.25, 9.75, 10), -1.0, [("l", 8.5)]),
    ("py_short_line", (10, 10.75, 9.75, 10.25), 1.0, [("c", 10.5), ("o", 10.25)]),  # body 0.5 x A; no colour
    ("py_short_line", (10.25, 10.75, 9.75, 10), -1.0, []),
]


@pytest.mark.parametrize("name, bar, value, misses", LINE_ROWS)
def test_lines_against_the_average_body(name, bar, value, misses):
    assert call(name, bars(*SMALL, bar), 3) == [0.0, 0.0, 0.0, value]
    for field, price in misses:
        assert call(name, bars(*moved(SMALL + [bar], 4, field, price)), 3) == [0.0] * 4, (field, price)


@pytest.mark.parametrize("name", ["py_long_line", "py_short_line"])
def test_lines_warm_up(name):
    tall = (10, 13.25, 9.75, 13)
    # The judged bar is not part of its own average: with it, 3 would not exceed 2 x 1.5.
    assert call(name, bars(*SMALL, tall), lookback=3)[3] == (1.0 if name == "py_long_line" else 0.0)
    assert call(name, bars(*SMALL), lookback=3) == [0.0] * 3
    assert call(name, bars(*SMALL, tall), lookback=0) == [0.0] * 4
    assert call(name, bars(*SMALL, tall), lookback=2 ** 64 - 1) == [0.0] * 4
    assert call(name, bars(*SMALL * 4)) == [0.0] * 12  # default look-back 10: bars 10 and 11 judged
    with pytest.raises(OverflowError):
        call(name, bars(*SMALL), lookback=-1)


def test_lines_on_a_zero_average_body():
    flat_then = bars(*[(10, 10.5, 9.5, 10)] * 3, (10, 10.5, 9.9, 10.5), (10.5, 10.75, 9.75, 10))
    assert call("py_long_line", flat_then, 3)[3] == 1.0
    assert call("py_short_line", flat_then, 3) == [0.0] * 5


def test_default_lookback_averages_ten_bodies():
    b = bars(*[(10, 11.25, 9.75, 11)] * 10, (10, 12.25, 9.75, 12.125))
    assert call("py_long_line", b) == [0.0] * 10 + [1.0]
    assert call("py_long_line", b, 11) == [0.0] * 11
    assert vl.py_short_line(b["open"], b["high"], b["low"], b["close"], lookback=None) == [0.0] * 11
