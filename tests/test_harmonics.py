"""Swing points, harmonic XABCD patterns, PyHarmonicPattern."""
import math
from fractions import Fraction

import pytest

import vorn_library.vorn_library as vl
from conftest import native_program, random_bars, value_error
from reference import (
    HARMONIC_IDEAL, ref_completion_probability, ref_forming_probability, ref_harmonic_ratios,
    ref_prz, ref_swings,
)

NAN = math.nan
U64 = 2**64 - 1
TYPES = list(HARMONIC_IDEAL)
ZH = dict(zip(TYPES, ["伽利形态", "蝙蝠形态", "蝴蝶形态", "螃蟹形态", "深蟹形态", "鲨鱼形态", "赛弗形态", "三驱形态", "变体蝙蝠"]))
KEYS = ["AB/XA", "BC/AB", "CD/BC", "CD/XC", "AD/XA"]
ATTRS = ["pattern_type", "pattern_type_zh", "is_bullish", "state", "x_index", "x_price", "a_index", "a_price",
         "b_index", "b_price", "c_index", "c_price", "d_index", "d_price", "prz_high", "prz_low", "prz_center",
         "probability", "target_prices", "stop_loss"]

# Bullish X, A, B, C, D of each type (X a swing low), and a near miss with one leg just outside its window.
PATTERNS = {
    "Gartley": ([100, 110, 103.82, 107.5, 102.14], [100, 110, 103.5, 107.5, 102.14]),       # AB/XA 0.65
    "Bat": ([100, 110, 105.5, 108.2, 101.14], [100, 110, 105.5, 108.2, 100.8]),              # AD/XA 0.92
    "Butterfly": ([100, 110, 102.14, 107, 96.5], [100, 110, 102.14, 107, 95.9192]),          # CD/BC 2.28
    "Crab": ([100, 110, 105, 109.43, 93.82], [100, 110, 105, 109.43, 93.5]),                 # AD/XA 1.65
    "DeepCrab": ([100, 110, 101.14, 106.456, 93.82], [100, 110, 101.5, 106.456, 93.82]),     # AB/XA 0.85
    "Shark": ([100, 110, 105, 112, 100.5], [100, 110, 105, 113.25, 100.0]),                  # BC/AB 1.65
    "Cypher": ([100, 110, 105, 112, 102.3], [100, 110, 105, 112, 102.16]),                   # CD/XC 0.82
    "ThreeDrive": ([100, 110, 97, 104.8, 94], [100, 110, 97, 107.66, 94]),                   # BC/AB 0.82
    "AltBat": ([100, 110, 106.18, 109.5645, 98.7], [100, 110, 105.85, 109.5645, 98.7]),      # AB/XA 0.415
}


def zigzag(points, gap=1):
    """A high = low path turning exactly at the given prices, `gap` bars apart, padded so that the first
    and last are swings too: with left_bars = right_bars <= gap the swings are the points, at gap * (k + 1)."""
    pad0 = points[0] + (5.0 if points[1] > points[0] else -5.0)
    pad1 = points[-1] + (5.0 if points[-1] < points[-2] else -5.0)
    pts = [pad0, *points, pad1]
    out = [a + (b - a) * s / gap for a, b in zip(pts, pts[1:]) for s in range(gap)]
    return out + [pad1]


def mirror(points):
    return [200 - p for p in points]


def complete(records):
    return [r for r in records if r.state == "complete"]


@pytest.fixture(scope="module")
def native():
    run = native_program("harmonics")

    def call(cmd, *head, high=None, low=None):
        tail = [] if high is None else [len(high), *high, *(high if low is None else low)]
        return run(" ".join(str(v) if isinstance(v, (int, str)) else repr(float(v)) for v in (cmd, *head, *tail)))

    return call


def parse(line):
    name, bullish, prob, *ratios = line.split()
    return name, bullish == "1", float(prob), {k: float(v) for k, v in (r.split("=") for r in ratios)}


# ---- the nine types ------------------------------------------------------------------------------

@pytest.mark.parametrize("bullish", [True, False])
@pytest.mark.parametrize("t", TYPES)
def test_each_type_complete(native, t, bullish):
    pts = PATTERNS[t][0] if bullish else mirror(PATTERNS[t][0])
    path = zigzag(pts)
    ratios = ref_harmonic_ratios(*pts, cypher=t == "Cypher")
    (line,) = native("all", 1, 1, high=path)
    assert parse(line) == (t, bullish, ref_completion_probability(ratios, t), ratios)
    (rec,) = complete(vl.py_harmonics_patterns(path, path, 1, 1))
    x, a, b, c, d = pts
    m = abs(d - c) if bullish else -abs(d - c)
    assert [getattr(rec, k) for k in ATTRS] == [
        t, ZH[t], bullish, "complete", 1, x, 2, a, 3, b, 4, c, 5, d, *ref_prz(x, a, b, c, t, not bullish),
        ref_completion_probability(ratios, t), [d + m * 0.382, d + m * 0.618, c], d * 0.98 if bullish else d * 1.02]
    signals, upper, lower, prob = vl.py_harmonics(path, path, path, 1, 1, 0.0)
    assert (signals[5], upper[5], lower[5], prob[5]) == (1.0 if bullish else -1.0, rec.prz_high, rec.prz_low,
                                                          rec.probability)
    assert [s for i, s in enumerate(signals) if i != 5] == [0.0] * 6


@pytest.mark.parametrize("bullish", [True, False])
@pytest.mark.parametrize("t", TYPES)
def test_each_type_near_miss(native, t, bullish):
    pts = PATTERNS[t][1] if bullish else mirror(PATTERNS[t][1])
    path = zigzag(pts)
    assert native("all", 1, 1, high=path) == []
    assert complete(vl.py_harmonics_patterns(path, path, 1, 1)) == []
    assert set(vl.py_harmonics(path, path, path, 1, 1, 0.0)[0]) == {0.0}


@pytest.mark.parametrize("b, matches", [(412, True), (412.5, False)])
def test_window_bounds_are_inclusive(b, matches):
    # AB/XA = 588 / 1000 is exactly the Gartley window's lower end 0.618 - 0.03.
    path = zigzag([0, 1000, b, 764.8, 214])
    assert [r.pattern_type for r in complete(vl.py_harmonics_patterns(path, path, 1, 1))] == (["Gartley"] if matches else [])


# Window ends as double arithmetic gives them: lower - 0.03 and upper + 0.03, both included.
@pytest.mark.parametrize("t, k, value, fits", [
    ("Gartley", 0, 0.588, True), ("Gartley", 0, math.nextafter(0.588, 0), False),
    ("Gartley", 0, 0.648, True), ("Gartley", 0, math.nextafter(0.648, 1), False),
    ("Bat", 2, 1.588, True), ("Bat", 2, 2.6479999999999997, True), ("Bat", 2, 2.648, False),
    ("Butterfly", 3, 1.24, True), ("Butterfly", 3, math.nextafter(1.24, 0), False),
    ("Cypher", 3, 0.756, True), ("Cypher", 3, 0.8160000000000001, True), ("Cypher", 3, 0.8160000000000002, False),
    ("Gartley", 1, NAN, False),
])
def test_tolerance_window_ends(native, t, k, value, fits):
    assert native("fit", TYPES.index(t), k, value) == ["1" if fits else "0"]


@pytest.mark.parametrize("ratios, t, expected", [
    ({"AB/XA": 0.618, "BC/AB": 0.382, "CD/BC": 1.272, "AD/XA": 0.786}, "Gartley", 0.896560095182998),
    ({"AB/XA": 0.618, "BC/AB": 0.634, "CD/BC": 1.445, "AD/XA": 0.786}, "Gartley", 1.0),
    ({"AB/XA": 0.5, "BC/AB": 1.343, "CD/XC": 0.786, "AD/XA": 0.786}, "Cypher", 0.8),   # CD/XC is never scored
    ({"AB/XA": 0.618, "AD/XA": 0.786}, "Gartley", 0.6),                                # missing keys add nothing
    ({"AB/XA": 5.0, "BC/AB": 0.634}, "Gartley", 0.2),                                  # deviation capped at 1
    ({}, "Gartley", 0.0),
])
def test_completion_probability(native, ratios, t, expected):
    head = [TYPES.index(t), len(ratios)] + [v for k, x in ratios.items() for v in (KEYS.index(k), x)]
    assert float(native("prob", *head)[0]) == expected


# ---- reversal zones, targets ---------------------------------------------------------------------

@pytest.mark.parametrize("pts, t, zone", [
    ([100, 110, 102.14, 107, 96.5], "Butterfly", (97.3, 96.1136, 96.7068)),                 # zones intersect
    ([100, 110, 105, 112, 102.3], "Cypher", (106.06933333333332, 105.06933333333332, 105.56933333333332)),
])
def test_reversal_zone(pts, t, zone):
    path = zigzag(pts)
    (rec,) = complete(vl.py_harmonics_patterns(path, path, 1, 1))
    assert (rec.pattern_type, rec.prz_high, rec.prz_low, rec.prz_center) == (t, *zone)


@pytest.mark.parametrize("pts, targets, stop", [
    ([100, 110, 102.14, 107, 96.5], [100.511, 102.989, 107], 94.57),
    ([100, 90, 97.86, 93, 103.5], [99.489, 97.011, 93], 105.57000000000001),
])
def test_targets_and_stop(pts, targets, stop):
    path = zigzag(pts)
    (rec,) = complete(vl.py_harmonics_patterns(path, path, 1, 1))
    assert (rec.target_prices, rec.stop_loss) == (targets, stop)
    assert rec.target_prices is not rec.target_prices


# ---- forming patterns ----------------------------------------------------------------------------

@pytest.mark.parametrize("pts, expected", [
    ([100, 110, 104, 107, 101], [("Gartley", 0.6158310618357783), ("Crab", 0.5560252365930599)]),   # 0.6, 0.5
    ([100, 110, 106, 108, 104], [("Bat", None), ("Crab", None), ("AltBat", None)]),                # 0.4, 0.5
])
def test_forming_windows(native, pts, expected):
    path = zigzag(pts)
    x, a, b, c, _ = pts
    ab, bc = abs(b - a) / abs(a - x), abs(c - b) / abs(b - a)
    lines = [parse(s) for s in native("forming", 1, 1, high=path)]
    assert [(n, bull, r) for n, bull, _, r in lines] == [(t, True, {"AB/XA": ab, "BC/AB": bc}) for t, _ in expected]
    records = vl.py_harmonics_patterns(path, path, 1, 1)
    assert [r.pattern_type for r in records] == [t for t, _ in expected]
    for rec, (t, p) in zip(records, expected):
        assert rec.probability == (p if p is not None else ref_forming_probability(ab, bc, t))
        assert [getattr(rec, k) for k in ATTRS[2:]] == [
            True, "forming", 1, x, 2, a, 3, b, 4, c, None, None, *ref_prz(x, a, b, c, t, False), rec.probability,
            [], None]


def test_forming_alone_needs_four_swings(native):
    path = zigzag([100, 110, 104, 107])
    assert native("all", 1, 1, high=path) == ["error Insufficient data: need at least 5 elements, got 4"]
    assert [parse(s)[0] for s in native("forming", 1, 1, high=path)] == ["Gartley", "Crab"]
    path = zigzag([100, 110, 104])
    assert native("forming", 1, 1, high=path) == ["error Insufficient data: need at least 4 elements, got 3"]


@pytest.mark.parametrize("count, k, seen", [(60, 10, True), (61, 10, False), (61, 11, True), (60, 9, False)])
def test_forming_looks_at_the_last_50_swings(count, k, seen):
    # Equal legs (every ratio 1.0 fits no type) around a forming Gartley (AB/XA 0.6, BC/AB 0.5) whose X is swing k.
    pts = [100.0 if i % 2 == 0 else 110.0 for i in range(count)]
    pts[k:k + 4] = [100, 110, 104, 107] if k % 2 == 0 else [110, 100, 106, 103]
    path = zigzag(pts)
    assert len(vl.py_swing_points(path, path, 1, 1)) == count
    found = [r for r in vl.py_harmonics_patterns(path, path, 1, 1) if r.state == "forming" and r.x_index == k + 1]
    assert [r.pattern_type for r in found] == (["Gartley", "Crab"] if seen else [])


def test_include_forming_and_record_order():
    path = zigzag([100, 110, 103.82, 107.5, 102.14])
    every = vl.py_harmonics_patterns(path, path, 1, 1)
    # A forming record whose C lies before the complete pattern's D comes first; at D's index the
    # complete pattern stays ahead of the window forming there.
    assert [(r.pattern_type, r.state, r.d_index if r.d_index is not None else r.c_index) for r in every] == [
        ("Gartley", "forming", 4), ("Crab", "forming", 4), ("Gartley", "complete", 5), ("Shark", "forming", 5)]
    assert [r.state for r in vl.py_harmonics_patterns(path, path, 1, 1, None)] == [r.state for r in every]
    assert [r.state for r in vl.py_harmonics_patterns(path, path, 1, 1, include_forming=False)] == ["complete"]


# ---- the per-bar series --------------------------------------------------------------------------

JUST_ABOVE = "just above the complete pattern's probability"


@pytest.mark.parametrize("min_probability, written, last", [
    (0.5, True, "Gartley"),          # the first qualifying forming record fills the last bar; later ones do not
    (JUST_ABOVE, False, "Gartley"),  # the complete pattern is skipped; forming ones need half the threshold
    (0.0, True, "Gartley"),
])
def test_harmonics_series(min_probability, written, last):
    path = zigzag([100, 110, 103.82, 107.5, 102.14])
    records = vl.py_harmonics_patterns(path, path, 1, 1)
    done = complete(records)[0]
    if min_probability == JUST_ABOVE:
        min_probability = math.nextafter(done.probability, 1.0)
    signals, upper, lower, prob = vl.py_harmonics(path, path, path, 1, 1, min_probability)
    assert signals == [0.0] * 5 + [1.0 if written else 0.0, 0.0]
    at_d = (upper[5], lower[5], prob[5])
    assert at_d == (done.prz_high, done.prz_low, done.probability) if written else all(map(math.isnan, at_d))
    fill = next((r for r in records if r.pattern_type == last and r.state == "forming"), None)
    tail = (upper[6], lower[6], prob[6])
    assert tail == (fill.prz_high, fill.prz_low, fill.probability) if fill else all(map(math.isnan, tail))
    assert all(math.isnan(v) for s in (upper, lower, prob) for v in s[:5])


def test_two_complete_patterns_on_one_bar():
    # Bar 6 is both a swing high (C of a bullish Shark, D of a bearish Gartley) and a swing low (the
    # Shark's D). Detection order puts Gartley first; the series keeps the later Shark.
    high = [110, 115.75, 100, 110, 105, 108, 112, 106]
    low = [110, 115.75, 100, 110, 105, 108, 100.5, 106]
    records = complete(vl.py_harmonics_patterns(high, low, 1, 1))
    assert [(r.pattern_type, r.is_bullish, r.d_index) for r in records] == [("Gartley", False, 6), ("Shark", True, 6)]
    signals, upper, lower, prob = vl.py_harmonics(high, low, high, 1, 1, 0.0)
    shark = records[1]
    assert (signals[6], upper[6], lower[6], prob[6]) == (1.0, shark.prz_high, shark.prz_low, shark.probability)


def test_consistent_with_records_on_random_bars():
    high, low, close = random_bars(3000, seed=7)
    signals, upper, _, prob = vl.py_harmonics(high, low, close, 2, 2, 0.0)
    last = {r.d_index: r for r in complete(vl.py_harmonics_patterns(high, low, 2, 2))}
    assert len(last) > 5
    for i in range(len(high) - 1):
        r = last.get(i)
        if r:
            assert (signals[i], upper[i], prob[i]) == (1.0 if r.is_bullish else -1.0, r.prz_high, r.probability)
        else:
            assert signals[i] == 0.0 and math.isnan(upper[i]) and math.isnan(prob[i])


# ---- swing points --------------------------------------------------------------------------------


@pytest.mark.parametrize("l, r", [(1, 1), (2, 3), (5, 5), (4, 1), (1, 13), (21, 2), (30, 30)])
def test_swing_points_random(l, r):
    high, low, _ = random_bars(800, seed=l * 10 + r)
    high = [round(h) for h in high]   # rounded: ties happen and count
    low = [round(x) - 1.0 for x in low]
    assert vl.py_swing_points(high, low, l, r) == ref_swings(high, low, l, r)


@pytest.mark.parametrize("high, low, l, r, expected", [
    ([1, 2, 3, 3, 3, 2, 1], [0, 1, 2, 2, 2, 1, 0], 1, 1,   # plateaus: ties count
     [(2, 3.0, True), (3, 3.0, True), (3, 2.0, False), (4, 3.0, True)]),
    ([1, 5, 1], [1, 0, 1], 1, 1, [(1, 5.0, True), (1, 0.0, False)]),     # one bar both: the high first
    ([5, 5, 5, 5, 5], [4, 4, 4, 4, 4], 1, 1, [(i, p, h) for i in (1, 2, 3) for p, h in ((5.0, True), (4.0, False))]),
    ([1, 2, 3, 4, 5], [0, 1, 2, 3, 4], 1, 1, []),                          # strictly rising
    ([1, 9, 2], [0, 8, 1], 1, 1, [(1, 9.0, True)]),                         # n = l + r + 1: one candidate
])
def test_swing_points_cases(high, low, l, r, expected):
    assert vl.py_swing_points(high, low, l, r) == expected


def test_defaults_and_constant_series():
    path = zigzag([100, 110, 103.82, 107.5, 102.14], gap=5)
    assert vl.py_swing_points(path, path) == vl.py_swing_points(path, path, None, None) == [
        (5 * (k + 1), p, k % 2 == 1) for k, p in enumerate([100, 110, 103.82, 107.5, 102.14])]
    assert [r.pattern_type for r in complete(vl.py_harmonics_patterns(path, path))] == ["Gartley"]
    assert vl.py_harmonics(path, path, path)[0][25] == 1.0   # default threshold 0.5
    flat = [3.0] * 8
    assert vl.py_harmonics_patterns(flat, [2.0] * 8, 1, 1) == []
    s = vl.py_harmonics(flat, [2.0] * 8, flat, 1, 1, 0.0)
    assert set(s[0]) == {0.0} and all(math.isnan(v) for v in s[1] + s[2] + s[3])


def test_same_kind_in_a_row_breaks_windows():
    path = zigzag([100, 110, 103.82, 107.5, 102.14])
    path.insert(4, 103.82)   # B doubled: two swing lows in a row, in every window
    assert len(vl.py_swing_points(path, path, 1, 1)) == 6
    assert vl.py_harmonics_patterns(path, path, 1, 1) == []


def test_degenerate_xa_leg():
    # |A - X| below 1e-10: AB/XA and AD/XA are 0.0 and fit nothing.
    path = [105, 100, 100 + 5e-11, 95, 99, 96, 100]
    assert len(vl.py_swing_points(path, path, 1, 1)) == 5
    assert [r.pattern_type for r in vl.py_harmonics_patterns(path, path, 1, 1) if r.x_index == 1] == []


# ---- validation ----------------------------------------------------------------------------------

GOOD = zigzag([100, 110, 103.82, 107.5, 102.14])
FOUR = zigzag([100, 110, 104, 107])


@pytest.mark.parametrize("args, message", [
    (([], []), "Empty input: high cannot be empty"),
    (([1, NAN, 2], []), "Invalid value at index 1: high contains non-finite value: NaN"),
    (([1, 2], []), "Empty input: low cannot be empty"),
    (([1, 2], [1]), "Length mismatch: high=2, low=1"),
    (([1, 2], [1, math.inf]), "Invalid value at index 1: low contains non-finite value: inf"),
    (([1.0] * 5, [1.0] * 5, 0, U64), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (([1.0] * 5, [1.0] * 5, 3, 0), "Invalid period: 0 (must be > 0 and <= data length 5)"),
    (([1.0] * 5, [1.0] * 5, 2**63, 2**63), "Invalid value at index 0: left_bars + right_bars overflow"),
    (([1.0] * 5, [1.0] * 5, U64 - 1, 1), "Invalid value at index 0: left_bars + right_bars overflow"),
    (([1.0] * 5, [1.0] * 5, U64 - 2, 1), f"Insufficient data: need at least {U64} elements, got 5"),
    (([1.0], [1.0]), "Insufficient data: need at least 11 elements, got 1"),
    (([1.0] * 6, [1.0] * 6, 3, 3), "Insufficient data: need at least 7 elements, got 6"),
])
@pytest.mark.parametrize("fn", ["swings", "patterns", "series"])
def test_swing_validation_shared(fn, args, message):
    high, low, *counts = args
    call = {"swings": lambda: vl.py_swing_points(high, low, *counts),
            "patterns": lambda: vl.py_harmonics_patterns(high, low, *counts),
            "series": lambda: vl.py_harmonics(high, low, list(low) or [1.0] * len(high), *counts)}[fn]
    assert value_error(call) == message


@pytest.mark.parametrize("args, message", [
    (([NAN], [], []), "Invalid value at index 0: high contains non-finite value: NaN"),
    (([1.0, 2.0], [1.0, 2.0], [1.0]), "Length mismatch: high=2, close=1"),
    ((GOOD, GOOD, GOOD[:3] + [-math.inf] + GOOD[4:]), "Invalid value at index 3: close contains non-finite value: -inf"),
    (([1.0], [1.0], [1.0], 0, 0, -0.1), "Parameter min_probability out of range: -0.1 (valid range: 0..1)"),
    ((GOOD, GOOD, GOOD, 1, 1, 1.5), "Parameter min_probability out of range: 1.5 (valid range: 0..1)"),
    ((FOUR, FOUR, FOUR, 1, 1), "Insufficient data: need at least 5 elements, got 4"),
])
def test_harmonics_validation(args, message):
    assert value_error(vl.py_harmonics, *args) == message


def test_four_swings_and_argument_kinds():
    assert len(vl.py_swing_points(FOUR, FOUR, 1, 1)) == 4
    for include in (True, None, False):
        assert value_error(vl.py_harmonics_patterns, FOUR, FOUR, 1, 1, include) == \
            "Insufficient data: need at least 5 elements, got 4"
    with pytest.raises(TypeError, match="^argument 'include_forming': 'int' object cannot be cast as 'bool'$"):
        vl.py_harmonics_patterns(GOOD, GOOD, 1, 1, 1)
    with pytest.raises(OverflowError):
        vl.py_swing_points(GOOD, GOOD, -1, 1)
    for p in (0, Fraction(1, 2), 1):   # anything that converts to a float
        assert vl.py_harmonics(GOOD, GOOD, GOOD, 1, 1, p)[0][5] == (1.0 if p < 1 else 0.0)


def test_pattern_class():
    cls = vl.PyHarmonicPattern
    assert cls.__doc__ == "谐波形态 Python 类"
    assert [k for k in vars(cls) if not k.startswith("__")] == ATTRS
    with pytest.raises(TypeError):
        cls()
    rec = vl.py_harmonics_patterns(GOOD, GOOD, 1, 1)[0]
    for name in ATTRS:
        with pytest.raises(AttributeError):
            setattr(rec, name, getattr(rec, name))


def test_docstrings():
    assert vl.py_swing_points.__doc__ == "检测摆动点"
    assert vl.py_harmonics.__doc__ == ("谐波形态信号（时间序列格式）\n返回: (signals, prz_upper, prz_lower, probability)\n"
                                       "- signals: 1=看涨, -1=看跌, 0=无信号")
    assert vl.py_harmonics_patterns.__doc__ == "谐波形态详细信息\n返回 PyHarmonicPattern 列表"
    assert vl.py_harmonics_patterns.__text_signature__ == "(high, low, left_bars=None, right_bars=None, include_forming=None)"
    assert vl.py_harmonics.__text_signature__ == \
        "(high, low, close, left_bars=None, right_bars=None, min_probability=None)"
    assert vl.py_swing_points.__text_signature__ == "(high, low, left_bars=None, right_bars=None)"
