"""The Ichimoku cloud: its five lines and shifts, and the colour, thickness, crossing and signal readers."""
import math

import pytest

import vorn_library.vorn_library as vl
from conftest import first_defined, nan_equal, random_bars, same_series, value_error

NAN = float("nan")
INF = float("inf")

# Eight hand-built bars with periods 2, 3, 4: the spans and the lagging line move by 3 bars.
HIGH = [10, 12, 11, 14, 13, 15, 16, 14]
LOW = [8, 9, 9, 11, 10, 12, 13, 12]
CLOSE = [9, 11, 10, 13, 12, 14, 15, 13]
TENKAN = [NAN, 10, 10.5, 11.5, 12, 12.5, 14, 14]
KIJUN = [NAN, NAN, 10, 11.5, 11.5, 12.5, 13, 14]
SPAN_A = [NAN] * 5 + [10.25, 11.5, 11.75]    # (tenkan + kijun) / 2 of bars 2, 3, 4
SPAN_B = [NAN] * 6 + [11, 11.5]               # 4-bar midline of bars 3 and 4
CHIKOU = [13, 12, 14, 15, 13, NAN, NAN, NAN]  # close 3 bars later
HAND = (TENKAN, KIJUN, SPAN_A, SPAN_B, CHIKOU)


def test_hand_built_cloud():
    out = vl.py_ichimoku_cloud(HIGH, LOW, CLOSE, 2, 3, 4)
    assert type(out) is tuple and len(out) == 5
    for got, want in zip(out, HAND):
        assert type(got) is list and nan_equal(got, want)


def test_hand_built_readers():
    assert vl.py_cloud_color(*HAND) == [0.0] * 6 + [1.0, 1.0]
    assert nan_equal(vl.py_cloud_thickness(*HAND), [NAN] * 6 + [0.5, 0.25])
    # bar 4: equal lines on bar 3 separate upward; bar 6 likewise after bar 5's tie
    assert vl.py_ichimoku_tk_cross(*HAND) == [0.0, 0.0, 0.0, 0.0, 1.0, 0.0, 1.0, 0.0]
    # above the cloud with span A on top, but no lagging value to confirm: plain bullish
    codes = vl.py_ichimoku_signals(CLOSE, *HAND)
    assert codes == [0, 0, 0, 0, 0, 0, 1, 1] and all(type(c) is int for c in codes)


def test_default_periods_on_100_bars():
    high, low, close = random_bars(100, 4)
    lines = vl.py_ichimoku_cloud(high, low, close, None, None, None)
    assert [first_defined(s) for s in lines] == [8, 25, 51, 77, 0]
    assert all(len(s) == 100 for s in lines)
    assert not any(math.isnan(v) for s in lines[:4] for v in s[first_defined(s):])
    assert not any(math.isnan(v) for v in lines[4][:74]) and all(math.isnan(v) for v in lines[4][74:])
    assert same_series(lines, vl.py_ichimoku_cloud(high, low, close, 9, 26, 52))


@pytest.mark.parametrize("tenkan, kijun, senkou_b", [(9, 26, 52), (1, 1, 1), (5, 3, 2), (40, 7, 60)])
def test_lines_from_the_rolling_midlines(tenkan, kijun, senkou_b):
    high, low, close = random_bars(300, tenkan + kijun)
    t, k, a, b, g = vl.py_ichimoku_cloud(high, low, close, tenkan, kijun, senkou_b)
    mid = lambda p: vl.py_donchian_channel(high, low, p)[1]
    assert nan_equal(t, mid(tenkan)) and nan_equal(k, mid(kijun))
    d, m = kijun, mid(senkou_b)
    assert nan_equal(a, [NAN] * d + [(x + y) * 0.5 for x, y in zip(t[:-d], k[:-d])])
    assert nan_equal(b, [NAN] * d + m[:-d])
    assert nan_equal(g, close[d:] + [NAN] * d)


def test_edge_lengths():
    lines = vl.py_ichimoku_cloud([5.0], [3.0], [4.0], 1, 1, 1)
    assert nan_equal([s[0] for s in lines], [4.0, 4.0, NAN, NAN, NAN])
    t, k, a, b, g = vl.py_ichimoku_cloud(HIGH, LOW, CLOSE, 2, 8, 3)
    assert all(math.isnan(v) for v in a + b + g) and first_defined(k) == 7


@pytest.mark.parametrize("args, message", [
    (([], [1.0], [], 1, 1, 1), "Empty input: high cannot be empty"),
    (([1.0, INF], [], [], 1, 1, 1), "Invalid value at index 1: high contains non-finite value: inf"),
    (([1.0], [], [1.0], 1, 1, 1), "Empty input: low cannot be empty"),
    (([1.0, 2.0], [1.0], [1.0], 1, 1, 1), "Length mismatch: high=2, low=1"),
    (([1.0, 2.0], [1.0, 1.0], [1.0, NAN], 0, 1, 1), "Invalid value at index 1: close contains non-finite value: NaN"),
    (([1.0] * 5, [1.0] * 5, [1.0] * 5, 0, 9, 9), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (([1.0] * 5, [1.0] * 5, [1.0] * 5, 6, 0, 9), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (([1.0] * 5, [1.0] * 5, [1.0] * 5, 5, 5, 6), "Invalid period: 6 (must be > 0 and <= data length 5)"),
    (([1.0] * 30, [1.0] * 30, [1.0] * 30, None, None, None), "Invalid period: 52 (must be > 0 and <= data length 30)"),
    (([1.0] * 20, [1.0] * 20, [1.0] * 20, None, None, None), "Invalid period: 26 (must be > 0 and <= data length 20)"),
    (([1.0] * 5, [1.0] * 5, [1.0] * 5, None, None, None), "Invalid period: 9 (must be > 0 and <= data length 5)"),
])
def test_cloud_validation_order(args, message):
    assert value_error(vl.py_ichimoku_cloud, *args) == message


def test_cloud_parameters():
    with pytest.raises(TypeError, match="unexpected keyword argument 'conversion'"):
        vl.py_ichimoku_cloud(HIGH, LOW, CLOSE, conversion=9)
    with pytest.raises(TypeError, match="missing 3 required positional arguments"):
        vl.py_ichimoku_cloud(HIGH, LOW, CLOSE)
    with pytest.raises(OverflowError):
        vl.py_ichimoku_cloud(HIGH, LOW, CLOSE, 2, -1, 3)
    out = vl.py_ichimoku_cloud(high=HIGH, low=LOW, close=CLOSE, tenkan_period=2, kijun_period=3, senkou_b_period=4)
    assert same_series(out, HAND)
    assert vl.py_ichimoku_cloud.__text_signature__ == "(high, low, conversion=9, base=26, span_b=52, displacement=26)"
    assert vl.py_ichimoku_cloud.__doc__.startswith("Calculate Ichimoku Cloud\n")


# ---- readers -------------------------------------------------------------------------------

def lines_for(a, b, t=0.0, k=0.0, g=0.0):
    return [t], [k], [a], [b], [g]


@pytest.mark.parametrize("a, b, color, thickness", [
    (9, 8, 1.0, 1.0), (5, 7, -1.0, 2.0), (8, 8, 0.0, 0.0), (NAN, 8, 0.0, NAN), (8, NAN, 0.0, NAN),
    (INF, 8, 1.0, INF), (INF, INF, 0.0, NAN), (-INF, INF, -1.0, INF),
])
def test_color_and_thickness(a, b, color, thickness):
    lines = lines_for(a, b, t=NAN, k=INF, g=NAN)  # the other lines are never read
    assert vl.py_cloud_color(*lines) == [color]
    assert nan_equal(vl.py_cloud_thickness(*lines), [thickness])


@pytest.mark.parametrize("t, k, cross", [
    ([1, 2], [1, 1], [0.0, 1.0]),
    ([1, 1], [1, 2], [0.0, -1.0]),
    ([1], [2], [0.0]),
    ([1, 3, 1, 1], [2, 2, 2, 0], [0.0, 1.0, -1.0, 1.0]),
    ([1, 2, 3], [2, 2, 2], [0.0, 0.0, 1.0]),      # touching is not crossing
    ([NAN, 3, 1], [2, 2, NAN], [0.0, 0.0, 0.0]),
    ([-INF, INF], [0, 0], [0.0, 1.0]),
])
def test_tk_cross(t, k, cross):
    n = len(t)
    assert vl.py_ichimoku_tk_cross(t, k, [NAN] * n, [NAN] * n, [NAN] * n) == cross


@pytest.mark.parametrize("c, a, b, g, code", [
    (10, 8, 8, 9, 1), (5, 8, 8, 4, -2), (10, 9, 8, 11, 2), (10, 9, 8, 10, 1), (10, 8, 9, 11, 1),
    (5, 8, 9, 4, -2), (5, 9, 8, 4, -1), (5, 8, 8, 5, -1), (8, 8, 9, 0, 0), (8.5, 8, 9, 99, 0), (9, 8, 9, 99, 0),
    (10, NAN, 8, 11, 0), (10, 9, NAN, 11, 0), (10, 9, 8, NAN, 1), (5, 8, 9, NAN, -1), (10, INF, 8, 11, 0),
    (10, 9, 8, INF, 2), (5, 8, 9, -INF, -2),
])
def test_signal_codes(c, a, b, g, code):
    assert vl.py_ichimoku_signals([c], *lines_for(a, b, t=NAN, k=NAN, g=g)) == [code]


READERS = [vl.py_cloud_color, vl.py_cloud_thickness, vl.py_ichimoku_tk_cross,
           lambda *lines: vl.py_ichimoku_signals([1.0] * max(1, len(lines[0])), *lines)]


@pytest.mark.parametrize("reader", READERS)
@pytest.mark.parametrize("lengths, message", [
    ((0, 0, 0, 0, 0), "Empty input: ichimoku.tenkan_sen cannot be empty"),
    ((0, 1, 2, 3, 4), "Empty input: ichimoku.tenkan_sen cannot be empty"),
    ((2, 3, 2, 2, 1), "Length mismatch: ichimoku.tenkan_sen=2, ichimoku.kijun_sen=3"),
    ((2, 2, 1, 0, 0), "Length mismatch: ichimoku.tenkan_sen=2, ichimoku.senkou_span_a=1"),
    ((2, 2, 2, 0, 0), "Length mismatch: ichimoku.tenkan_sen=2, ichimoku.senkou_span_b=0"),
    ((2, 2, 2, 2, 5), "Length mismatch: ichimoku.tenkan_sen=2, ichimoku.chikou_span=5"),
])
def test_record_check(reader, lengths, message):
    assert value_error(reader, *[[NAN] * n for n in lengths]) == message


@pytest.mark.parametrize("close, lines, message", [
    ([NAN], lines_for(NAN, NAN), "Invalid value at index 0: close contains non-finite value: NaN"),
    ([], ([], [1.0], [], [], []), "Empty input: close cannot be empty"),
    ([1.0, INF], ([], [], [], [], []), "Invalid value at index 1: close contains non-finite value: inf"),
    ([1.0, 2.0, 3.0], ([1.0], [2.0], [3.0], [4.0], [1.0, 2.0]),
     "Length mismatch: ichimoku.tenkan_sen=1, ichimoku.chikou_span=2"),
    ([1.0, 2.0, 3.0], ([1.0, 1.0],) * 5, "Length mismatch: close=3, ichimoku.tenkan_sen=2"),
])
def test_signal_validation_order(close, lines, message):
    assert value_error(vl.py_ichimoku_signals, close, *lines) == message


def test_readers_take_the_cloud_unpacked():
    high, low, close = random_bars(120, 8)
    cloud = vl.py_ichimoku_cloud(high, low, close, None, None, None)
    color, thick = vl.py_cloud_color(*cloud), vl.py_cloud_thickness(*cloud)
    cross, codes = vl.py_ichimoku_tk_cross(*cloud), vl.py_ichimoku_signals(close, *cloud)
    assert all(len(s) == 120 for s in (color, thick, cross, codes))
    assert color[:51] == [0.0] * 51 and all(math.isnan(v) for v in thick[:51]) and codes[:51] == [0] * 51
    assert cross[:26] == [0.0] * 26
    assert set(codes) <= {-2, -1, 0, 1, 2} and set(color) <= {-1.0, 0.0, 1.0}
    assert vl.py_cloud_color.__text_signature__ == \
        "(tenkan_sen, kijun_sen, senkou_span_a, senkou_span_b, chikou_span)"
