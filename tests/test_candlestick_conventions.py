"""What every candlestick detector shares: signatures, validation orders and messages,
warm-up, values written, and independence of bars outside the pattern."""
import doctest
import inspect
import math

import pytest

import vorn_library.vorn_library as vl
from candlestick_support import DETECTORS, OC, OHLC, bars, call, float_bars, integer_bars
from conftest import nan_equal, value_error
from reference import ref_bullish_engulfing, ref_hammer, ref_hikkake, ref_inverted_hammer

ALL = list(DETECTORS)
VALIDATED = [n for n in ALL if DETECTORS[n][4]]
WITH_PARAM = [n for n in ALL if DETECTORS[n][3]]


def test_sixty_one_detectors_registered():
    assert len(ALL) == 61
    assert set(ALL) <= set(vl.__all__)


@pytest.mark.parametrize("name", ALL)
def test_text_signature(name):
    _, _, series, param, _ = DETECTORS[name]
    params = inspect.signature(getattr(vl, name)).parameters
    shown = [(p.name, p.default) for p in params.values()]
    want = [(s, inspect.Parameter.empty) for s in series] + ([param] if param else [])
    assert shown == want


@pytest.mark.parametrize("name", [n for n in ALL if ">>>" in (getattr(vl, n).__doc__ or "")])
def test_docstring_examples(name):
    test = doctest.DocTestParser().get_doctest(getattr(vl, name).__doc__, vars(vl), name, None, 0)
    assert doctest.DocTestRunner().run(test).failed == 0


def flat(n):
    return [10.0] * n


def four(name, o, h, lo, c):
    return value_error(getattr(vl, name), o, h, lo, c)


# (series given as overrides of four valid bars, message); later series are wrong too, so the order shows.
FOUR_SERIES_ORDER = [
    (dict(open=[], high=[], low=[], close=[]), "Empty input: open cannot be empty"),
    (dict(open=[1.0, math.nan], high=[]), "Invalid value at index 1: open contains non-finite value: NaN"),
    (dict(open=flat(5), high=flat(4), low=[]), "Length mismatch: open=5, high=4"),
    (dict(high=flat(6)), "Length mismatch: open=4, high=6"),
    (dict(high=[1.0, 2.0, -math.inf, 4.0], low=[]), "Invalid value at index 2: high contains non-finite value: -inf"),
    (dict(low=[], close=[]), "Empty input: low cannot be empty"),
    (dict(low=[1.0, 2.0, math.inf, 4.0], close=flat(3)),
     "Invalid value at index 2: low contains non-finite value: inf"),
    (dict(close=flat(3)), "Length mismatch: open=4, close=3"),
    (dict(close=[1.0, 2.0, 3.0, math.nan]), "Invalid value at index 3: close contains non-finite value: NaN"),
]
TWO_SERIES_ORDER = [
    (dict(open=[], close=[]), "Empty input: open cannot be empty"),
    (dict(open=[math.inf, 1.0], close=[]), "Invalid value at index 0: open contains non-finite value: inf"),
    (dict(close=[]), "Empty input: close cannot be empty"),
    (dict(close=[1.0, 2.0, math.nan]), "Length mismatch: open=4, close=3"),
    (dict(close=[1.0, 2.0, 3.0, math.nan]), "Invalid value at index 3: close contains non-finite value: NaN"),
]


def three_series_order(side):
    return [
        ({"open": [], side: [], "close": []}, f"Empty input: {side} cannot be empty"),
        ({side: [math.nan, 1.0], "close": []}, f"Invalid value at index 0: {side} contains non-finite value: NaN"),
        ({"open": [], "close": []}, "Empty input: close cannot be empty"),
        ({"open": [], side: flat(3), "close": flat(2)}, f"Length mismatch: {side}=3, close=2"),
        ({"open": [], "close": [1.0, math.inf, 1.0, 1.0]},
         "Invalid value at index 1: close contains non-finite value: inf"),
        ({"open": []}, "Empty input: open cannot be empty"),
        ({"open": [math.nan] * 2}, "Length mismatch: open=2, close=4"),
        ({"open": [1.0, 1.0, 1.0, -math.inf]}, "Invalid value at index 3: open contains non-finite value: -inf"),
    ]


def validation_cases():
    for name in VALIDATED:
        series = DETECTORS[name][2]
        order = {OHLC: FOUR_SERIES_ORDER, OC: TWO_SERIES_ORDER}.get(series) or three_series_order(series[1])
        for given, message in order:
            yield pytest.param(name, given, message, id=f"{name}-{message[:40]}")


@pytest.mark.parametrize("name, given, message", list(validation_cases()))
def test_validation_order_and_messages(name, given, message):
    b = {**bars(*[(10, 11, 9, 10)] * 4), **given}
    assert value_error(getattr(vl, name), *(b[s] for s in DETECTORS[name][2])) == message


@pytest.mark.parametrize("name", WITH_PARAM)
def test_parameter_conversion_comes_before_validation(name):
    series = [[] for _ in DETECTORS[name][2]]
    with pytest.raises(TypeError, match=DETECTORS[name][3][0]):
        getattr(vl, name)(*series, "0.1")


@pytest.mark.parametrize("name", WITH_PARAM)
def test_none_and_omitted_select_the_default(name):
    b = integer_bars(300, seed=7)
    default = call(name, b)
    assert call(name, b, None) == default
    assert call(name, b, **{DETECTORS[name][3][0]: None}) == default
    assert call(name, b, DETECTORS[name][3][1]) == default


@pytest.mark.parametrize("name", [n for n in WITH_PARAM if DETECTORS[n][3][0] == "body_threshold"])
def test_negative_body_threshold_fires_nowhere(name):
    assert set(call(name, integer_bars(300, seed=8), -0.1)) == {0.0}


@pytest.mark.parametrize("name", ALL)
@pytest.mark.parametrize("seed", [1, 2])
def test_values_and_warm_up(name, seed):
    width = DETECTORS[name][0]
    out = call(name, integer_bars(400, seed))
    assert len(out) == 400
    assert set(out) <= {-1.0, 0.0, 1.0}
    assert all(math.copysign(1.0, v) == 1.0 for v in out if v == 0.0)  # never -0.0
    assert out[: width - 1] == [0.0] * (width - 1)


@pytest.mark.parametrize("name", [n for n in ALL if DETECTORS[n][0] > 1])
def test_input_shorter_than_the_pattern(name):
    width, short, _, _, _ = DETECTORS[name]
    for n in range(1, width):
        out = call(name, bars(*[(10, 11, 9, 10)] * n))
        assert nan_equal(out, [short] * n)


# Bars are judged two at a time along a series and alone at its end (and in a window as long
# as the pattern), so an odd and an even length put every bar in both positions.
@pytest.mark.parametrize("name", ALL)
@pytest.mark.parametrize("n", [120, 121])
def test_each_bar_depends_only_on_its_pattern_window(name, n):
    width = DETECTORS[name][0]
    extra = (3,) if DETECTORS[name][3] and DETECTORS[name][3][0] == "lookback" else ()
    width += extra[0] if extra else 0
    b = integer_bars(n, seed=3)
    whole = call(name, b, *extra)
    for i in range(width - 1, n):
        window = {k: v[i - width + 1: i + 1] for k, v in b.items()}
        assert call(name, window, *extra)[-1] == whole[i], i


# The two detectors that do not validate see NaN and infinite prices; a bar judged beside its
# neighbour must come out as it does alone, whatever the neighbour holds.
@pytest.mark.parametrize("name", ["py_counterattack", "py_hikkake"])
@pytest.mark.parametrize("bad", [math.nan, math.inf, -math.inf])
def test_unvalidated_detectors_bar_by_bar_with_non_finite_prices(name, bad):
    width = DETECTORS[name][0]
    b = float_bars(61, seed=4)
    for k, i in (("open", 5), ("close", 6), ("high", 20), ("low", 21), ("close", 40), ("open", 41)):
        b[k][i] = bad
    whole = call(name, b)
    for i in range(width - 1, 61):
        window = {k: v[i - width + 1: i + 1] for k, v in b.items()}
        assert call(name, window)[-1] == whole[i], i
    assert set(whole) <= {-1.0, 0.0, 1.0}


@pytest.mark.parametrize("name, width, ref", [
    ("py_hammer", 1, ref_hammer),
    ("py_inverted_hammer", 1, ref_inverted_hammer),
    ("py_hanging_man", 1, lambda *b: -abs(ref_hammer(*b))),
    ("py_shooting_star", 1, lambda *b: -abs(ref_inverted_hammer(*b))),
    ("py_bullish_engulfing", 2, ref_bullish_engulfing),
    ("py_hikkake", 3, ref_hikkake),
])
@pytest.mark.parametrize("make", [float_bars, integer_bars])
def test_against_reference(name, width, ref, make):
    b = make(500, seed=11)
    rows = list(zip(*(b[k] for k in OHLC)))
    want = [0.0] * (width - 1) + [ref(*(rows[i - width + 1: i + 1] if width > 1 else rows[i]))
                                  for i in range(width - 1, len(rows))]
    assert call(name, b) == [v + 0.0 for v in want]
