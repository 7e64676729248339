"""Streaming indicators: warm-up, refusals, reset, constructor checks, access rules and
long runs against direct window computations."""
import math
import random
import struct

import pytest
from hypothesis import given, settings
from hypothesis import strategies as hs

import vorn_library.vorn_library as vl
from conftest import Reenter, native_program
from reference import (
    exact_online_atr, exact_online_rsi, ref_online_atr, ref_online_bollinger, ref_online_ema,
    ref_online_macd, ref_online_rsi, ref_online_sma, ref_online_stochastic, ref_online_supertrend,
)

NAMES = ["OnlineSMA", "OnlineEMA", "OnlineRSI", "OnlineATR", "OnlineMACD",
         "OnlineBollingerBands", "OnlineStochastic", "OnlineSuperTrend"]

VALUE_MSG = "Invalid value at index 0: value must be finite"
OHLC_MSG = "Invalid value at index 0: ohlc values must be finite"
ZERO_PERIOD = "Invalid period: 0 (must be > 0 and <= data length 0)"


# ---- data ------------------------------------------------------------------------------

def walk(n, seed=1, start=100.0, step=1.0):
    rng = random.Random(seed)
    x, out = start, []
    for _ in range(n):
        x += rng.gauss(0.0, step)
        out.append(x)
    return out


def bars(n, seed=2):
    """(high, low, close) bars around a random walk; every 37th bar has high below low."""
    rng = random.Random(seed)
    out = []
    for i, c in enumerate(walk(n, seed)):
        h = c + abs(rng.gauss(0.0, 0.8))
        lo = c - abs(rng.gauss(0.0, 0.8))
        if i % 37 == 36:
            h, lo = lo, h
        out.append((h, lo, c))
    return out


def feed(obj, inputs):
    return [obj.update(*x) for x in inputs]


# Every class, built with small periods, and its kind of input.
KINDS = {
    "OnlineSMA": (lambda: vl.OnlineSMA(5), 1),
    "OnlineEMA": (lambda: vl.OnlineEMA(5), 1),
    "OnlineRSI": (lambda: vl.OnlineRSI(5), 1),
    "OnlineATR": (lambda: vl.OnlineATR(5), 3),
    "OnlineMACD": (lambda: vl.OnlineMACD(3, 5, 2), 1),
    "OnlineBollingerBands": (lambda: vl.OnlineBollingerBands(5, 2.0), 1),
    "OnlineStochastic": (lambda: vl.OnlineStochastic(4, 2, 3), 3),
    "OnlineSuperTrend": (lambda: vl.OnlineSuperTrend(4, 1.5), 3),
}


def inputs_for(arity, n, seed=3):
    if arity == 1:
        return [(x,) for x in walk(n, seed)]
    return bars(n, seed)


def close(a, b, rel):
    if a is None or b is None:
        return a is None and b is None
    if isinstance(a, tuple):
        return len(a) == len(b) and all(close(x, y, rel) for x, y in zip(a, b))
    return abs(a - b) <= rel * (1.0 + abs(b))


# ---- registration and docstrings -------------------------------------------------------

def test_registered_in_order():
    names = list(vl.__all__)
    start = names.index("OnlineSMA")
    assert names[start:start + len(NAMES)] == NAMES


@pytest.mark.parametrize("name,sig", [
    ("OnlineSMA", "(period)"),
    ("OnlineEMA", "(period)"),
    ("OnlineRSI", "(period)"),
    ("OnlineATR", "(period)"),
    ("OnlineMACD", "(fast=12, slow=26, signal=9)"),
    ("OnlineBollingerBands", "(period=20, std_dev=2.0)"),
    ("OnlineStochastic", "(k_period=14, smooth_k=3, d_period=3)"),
    ("OnlineSuperTrend", "(period=10, multiplier=3.0)"),
])
def test_constructor_signature(name, sig):
    assert getattr(vl, name).__text_signature__ == sig


@pytest.mark.parametrize("name,method,sig,prose", [
    ("OnlineSMA", "update", "($self, value)", ""),
    ("OnlineSMA", "len", "($self)", ""),
    ("OnlineSMA", "is_empty", "($self)", ""),
    ("OnlineSMA", "force_recalculate", "($self)", ""),
    ("OnlineEMA", "is_ready", "($self)", ""),
    ("OnlineRSI", "reset", "($self)", ""),
    ("OnlineATR", "update", "($self, high, low, close)", ""),
    ("OnlineATR", "is_ready", "($self)", ""),
    ("OnlineMACD", "update", "($self, value)", "Returns (MACD, Signal, Histogram) or None if not ready"),
    ("OnlineBollingerBands", "update", "($self, value)", "Returns (Upper, Middle, Lower) or None if not ready"),
    ("OnlineBollingerBands", "force_recalculate", "($self)", ""),
    ("OnlineStochastic", "update", "($self, high, low, close)", "Returns (%K, %D) or None if not ready"),
    ("OnlineSuperTrend", "update", "($self, high, low, close)",
     "Returns (supertrend_value, trend_direction) or None if not ready\ntrend_direction: 1 = uptrend, -1 = downtrend"),
    ("OnlineSuperTrend", "current_trend", "($self)", ""),
])
def test_method_docstrings(name, method, sig, prose):
    m = getattr(getattr(vl, name), method)
    assert m.__text_signature__ == sig
    assert (m.__doc__ or "") == prose


@pytest.mark.parametrize("name,absent", [
    ("OnlineRSI", ["is_ready", "len"]), ("OnlineMACD", ["is_ready"]), ("OnlineStochastic", ["is_ready"]),
    ("OnlineEMA", ["len", "force_recalculate"]), ("OnlineBollingerBands", ["is_ready", "len"]),
])
def test_only_the_listed_methods(name, absent):
    for a in absent:
        assert not hasattr(getattr(vl, name), a)


# ---- warm-up ---------------------------------------------------------------------------

@pytest.mark.parametrize("make,arity,first", [
    (lambda: vl.OnlineSMA(3), 1, 3),
    (lambda: vl.OnlineSMA(1), 1, 1),
    (lambda: vl.OnlineEMA(3), 1, 3),
    (lambda: vl.OnlineEMA(1), 1, 1),
    (lambda: vl.OnlineBollingerBands(), 1, 20),
    (lambda: vl.OnlineBollingerBands(2, 1.0), 1, 2),
    (lambda: vl.OnlineRSI(14), 1, 15),
    (lambda: vl.OnlineRSI(1), 1, 2),
    (lambda: vl.OnlineATR(3), 3, 4),
    (lambda: vl.OnlineATR(1), 3, 2),
    (lambda: vl.OnlineStochastic(), 3, 18),
    (lambda: vl.OnlineStochastic(1, 1, 1), 3, 1),
    (lambda: vl.OnlineStochastic(5, 2, 4), 3, 9),
    (lambda: vl.OnlineMACD(), 1, 45),
    (lambda: vl.OnlineMACD(2, 3, 2), 1, 5),
    (lambda: vl.OnlineMACD(1, 2, 1), 1, 2),
    (lambda: vl.OnlineSuperTrend(2, 1.0), 3, 3),
    (lambda: vl.OnlineSuperTrend(), 3, 11),
])
def test_first_value_at_update(make, arity, first):
    out = feed(make(), inputs_for(arity, first + 30))
    assert all(r is None for r in out[:first - 1])
    assert all(r is not None for r in out[first - 1:])


# ---- exact values ----------------------------------------------------------------------

def test_sma_values_and_fill():
    s = vl.OnlineSMA(3)
    assert s.is_empty() and s.len() == 0
    got = []
    for x in [1, 2, 3, 4]:
        got.append((s.update(x), s.len(), s.is_empty()))
    assert got == [(None, 1, False), (None, 2, False), (2.0, 3, False), (3.0, 3, False)]
    s.reset()
    assert s.is_empty() and s.len() == 0


@pytest.mark.parametrize("cls", [vl.OnlineSMA, vl.OnlineEMA])
def test_period_one_passes_inputs_through(cls):
    xs = walk(50)
    assert feed(cls(1), [(x,) for x in xs]) == xs


def test_ema_values():
    e = vl.OnlineEMA(3)
    got = []
    for x in [1, 2, 3, 4]:
        got.append((e.update(x), e.is_ready()))
    assert got == [(None, False), (None, False), (2.0, True), (3.0, True)]


@pytest.mark.parametrize("make,xs,want", [
    (lambda: vl.OnlineBollingerBands(2, 1.0), [1, 3], [None, (3.0, 2.0, 1.0)]),
    (lambda: vl.OnlineBollingerBands(), [5.0] * 21, [None] * 19 + [(5.0, 5.0, 5.0)] * 2),
    (lambda: vl.OnlineBollingerBands(2, 0.0), [1, 3], [None, (2.0, 2.0, 2.0)]),
    (lambda: vl.OnlineBollingerBands(2, -1.0), [1, 3], [None, (1.0, 2.0, 3.0)]),
    (lambda: vl.OnlineBollingerBands(1, 2.0), [7.5, -2.0], [(7.5, 7.5, 7.5), (-2.0, -2.0, -2.0)]),
])
def test_bollinger_values(make, xs, want):
    assert feed(make(), [(x,) for x in xs]) == want


def test_bollinger_flat_window_never_has_nan_bands():
    # Cancellation in mean(x^2) - mean(x)^2 comes out below zero for many constants.
    rng = random.Random(5)
    for _ in range(300):
        c = rng.uniform(-1000, 1000)
        upper, middle, lower = feed(vl.OnlineBollingerBands(20, 2.0), [(c,)] * 20)[-1]
        assert not math.isnan(upper) and not math.isnan(lower)
        assert upper - middle == middle - lower
        assert upper - middle <= 1e-5 * abs(c)


@pytest.mark.parametrize("period,xs,want", [
    (2, [1, 2, 3], [None, None, 100.0]),
    (2, [5, 5, 5, 5], [None, None, 0.0, 0.0]),
    (2, [1, 2, 1, 2], [None, None, 50.0, 75.0]),
    (1, [3, 1, 2], [None, 0.0 + 0.0, 100.0]),
])
def test_rsi_values(period, xs, want):
    assert feed(vl.OnlineRSI(period), [(x,) for x in xs]) == want


def test_atr_values():
    a = vl.OnlineATR(3)
    got = []
    for b in [(10, 8, 9), (11, 9, 10), (12, 9, 11), (11, 10, 10.5), (14, 11, 13)]:
        got.append((a.update(*b), a.is_ready()))
    # True ranges of bars 2..4 are 2, 3, 1; then 3.5 enters the Wilder average.
    assert got == [(None, False), (None, False), (None, False), (2.0, True), ((2.0 * 2 + 3.5) / 3, True)]


def test_atr_period_one_is_the_true_range_and_high_low_keeps_its_sign():
    a = vl.OnlineATR(1)
    assert a.update(10, 10, 10) is None
    assert a.update(9, 11, 10) == 1.0  # high - low = -2 loses to the gaps of 1
    assert a.update(12, 11, 11.5) == 2.0
    assert a.update(13, 12.5, 12) == 1.5


@pytest.mark.parametrize("bar,want", [((3.0, 1.0, 2.5), (75.0, 75.0)), ((2.0, 2.0, 2.0), (50.0, 50.0))])
def test_stochastic_single_bar(bar, want):
    assert vl.OnlineStochastic(1, 1, 1).update(*bar) == want


def test_stochastic_flat_bars():
    out = feed(vl.OnlineStochastic(), [(4.0, 4.0, 4.0)] * 20)
    assert out == [None] * 17 + [(50.0, 50.0)] * 3


def test_macd_values():
    m = vl.OnlineMACD(1, 2, 1)
    assert feed(m, [(1,), (2,), (3,)]) == [None, (0.5, 0.5, 0.0), (0.5, 0.5, 0.0)]


def test_supertrend_first_value_and_trend():
    s = vl.OnlineSuperTrend(2, 1.0)
    assert s.update(10, 8, 9) is None and s.current_trend() == 0
    assert s.update(11, 9, 10) is None and s.current_trend() == 0
    r = s.update(12, 10, 11)
    assert isinstance(r, tuple) and s.current_trend() == r[1]
    s.reset()
    assert s.current_trend() == 0


# Third bar (11, 10, c): ATR 1, basic bands 10.75 / 10.25; the upper band holds at 10.5
# (the basic one is wider and the previous close 10 stayed below it).
@pytest.mark.parametrize("third,want", [
    ((11, 10, 10.75), (10.25, 1)),  # close above the final upper band: uptrend
    ((11, 10, 10.5), (10.5, -1)),   # close equal to it: the downtrend holds
    ((11, 10, 10.25), (10.5, -1)),
])
def test_supertrend_band_rules(third, want):
    s = vl.OnlineSuperTrend(1, 0.25)
    assert s.update(10, 8, 9) is None
    # First ATR bar: close equals the midpoint, so it starts in downtrend on the upper band.
    assert s.update(11, 9, 10) == (10.5, -1)
    assert s.update(*third) == want
    assert s.current_trend() == want[1]


# Fourth bar (11, 10, c): ATR 1, basic bands 10.75 / 10.25. The previous close 10.75 broke
# above the old upper band 10.5, so the upper band resets to 10.75; the lower band holds.
@pytest.mark.parametrize("fourth,want", [
    ((11, 10, 10.25), (10.25, 1)),  # close equal to the final lower band: the uptrend holds
    ((11, 10, 10.2), (10.75, -1)),  # below it: downtrend on the reset upper band
])
def test_supertrend_uptrend_rules(fourth, want):
    s = vl.OnlineSuperTrend(1, 0.25)
    feed(s, [(10, 8, 9), (11, 9, 10), (11, 10, 10.75)])
    assert s.update(*fourth) == want


# ---- result types ----------------------------------------------------------------------

@pytest.mark.parametrize("name,shape", [
    ("OnlineSMA", float), ("OnlineEMA", float), ("OnlineRSI", float), ("OnlineATR", float),
    ("OnlineMACD", (float, float, float)), ("OnlineBollingerBands", (float, float, float)),
    ("OnlineStochastic", (float, float)), ("OnlineSuperTrend", (float, int)),
])
def test_result_types(name, shape):
    make, arity = KINDS[name]
    obj = make()
    r = feed(obj, inputs_for(arity, 40))[-1]
    if shape is float:
        assert type(r) is float
    else:
        assert type(r) is tuple and tuple(type(x) for x in r) == shape
    assert obj.reset() is None
    if name == "OnlineSuperTrend":
        assert r[1] in (1, -1)


def test_query_types():
    s = vl.OnlineSMA(2)
    assert type(s.len()) is int and type(s.is_empty()) is bool
    assert s.force_recalculate() is None
    assert type(vl.OnlineEMA(2).is_ready()) is bool and type(vl.OnlineATR(2).is_ready()) is bool
    assert type(vl.OnlineSuperTrend().current_trend()) is int
    assert vl.OnlineBollingerBands().force_recalculate() is None


# ---- refusals --------------------------------------------------------------------------

def refusals(arity):
    if arity == 1:
        return [((float("nan"),), ValueError, VALUE_MSG), ((float("inf"),), ValueError, VALUE_MSG),
                ((float("-inf"),), ValueError, VALUE_MSG), (("5",), TypeError, "argument 'value'"),
                ((None,), TypeError, "argument 'value'"), ((object(),), TypeError, "argument 'value'")]
    nan, inf = float("nan"), float("inf")
    return [((nan, 1.0, 1.0), ValueError, OHLC_MSG), ((2.0, -inf, 1.0), ValueError, OHLC_MSG),
            ((2.0, 1.0, inf), ValueError, OHLC_MSG), ((2.0, "1", 1.0), TypeError, "argument 'low'"),
            ((nan, 1.0, None), TypeError, "argument 'close'"),  # conversion comes before the finiteness check
            ((2.0, 1.0, [1]), TypeError, "argument 'close'")]


@pytest.mark.parametrize("name", NAMES)
def test_refused_update_changes_nothing(name):
    make, arity = KINDS[name]
    data = inputs_for(arity, 60)
    want = feed(make(), data)
    obj = make()
    got = []
    for i, x in enumerate(data):
        # Refusals during warm-up, at the first value and when ready.
        if i in (0, 2, 5, 9, 30):
            for args, exc, msg in refusals(arity):
                with pytest.raises(exc) as info:
                    obj.update(*args)
                if exc is ValueError:
                    assert str(info.value) == msg
                else:
                    assert str(info.value).startswith(msg)
        got.append(obj.update(*x))
    assert got == want


@pytest.mark.parametrize("name", NAMES)
def test_integers_and_booleans_are_floats(name):
    make, arity = KINDS[name]
    ints = [(i * 7 % 11, ) if arity == 1 else (i % 5 + 3, i % 3, i % 4 + 1) for i in range(40)]
    floats = [tuple(float(v) for v in x) for x in ints]
    assert feed(make(), ints) == feed(make(), floats)
    a, b = make(), make()
    flags = [(True,), (False,), (True,)] * 10 if arity == 1 else [(True, False, True), (True, True, False)] * 15
    assert feed(a, flags) == feed(b, [tuple(float(v) for v in x) for x in flags])


@pytest.mark.parametrize("name", ["OnlineSMA", "OnlineMACD", "OnlineATR"])
def test_update_binding_errors(name):
    make, arity = KINDS[name]
    obj = make()
    with pytest.raises(TypeError):
        obj.update()
    with pytest.raises(TypeError):
        obj.update(*([1.0] * (arity + 1)))
    with pytest.raises(TypeError):
        obj.update(1.0, unknown=2.0)
    kw = {"value": 1.0} if arity == 1 else {"high": 2.0, "low": 1.0, "close": 1.5}
    twin = make()
    assert obj.update(**kw) == twin.update(*kw.values())


def test_update_refuses_a_receiver_of_another_class():
    ema = vl.OnlineEMA(1)
    with pytest.raises(TypeError):
        vl.OnlineSMA.update(ema, 1.0)
    assert ema.update(2.0) == 2.0  # the foreign call touched nothing


def test_query_methods_take_no_arguments():
    with pytest.raises(TypeError):
        vl.OnlineSMA(3).len(1)
    with pytest.raises(TypeError):
        vl.OnlineEMA(3).is_ready(x=1)


# ---- reset -----------------------------------------------------------------------------

@pytest.mark.parametrize("name", NAMES)
@pytest.mark.parametrize("before", [0, 2, 7, 40, 1200])
def test_reset_equals_fresh(name, before):
    make, arity = KINDS[name]
    data = inputs_for(arity, before + 80, seed=before + 11)
    obj = make()
    feed(obj, data[:before])
    obj.reset()
    rest = data[before:]
    assert feed(obj, rest) == feed(make(), rest)


def test_reset_after_forced_recalculation():
    for make in (lambda: vl.OnlineSMA(4), lambda: vl.OnlineBollingerBands(4, 1.5)):
        obj = make()
        feed(obj, [(x,) for x in walk(30)])
        obj.force_recalculate()
        obj.reset()
        data = [(x,) for x in walk(40, seed=9)]
        assert feed(obj, data) == feed(make(), data)


# ---- constructors ----------------------------------------------------------------------

@pytest.mark.parametrize("call,exc,msg", [
    (lambda: vl.OnlineSMA(0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineEMA(0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineRSI(0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineATR(0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineBollingerBands(0), ValueError, ZERO_PERIOD),
    # NaN is refused as the argument is converted, before the period is looked at
    (lambda: vl.OnlineBollingerBands(0, float("nan")), ValueError, "std_dev (NaN) must be a number"),
    (lambda: vl.OnlineBollingerBands(std_dev=float("-inf")), ValueError,
     "Invalid value at index 0: std_dev must be finite"),
    (lambda: vl.OnlineStochastic(14, 3, 0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineStochastic(0, 3, 3), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineStochastic(smooth_k=0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineMACD(12, 12), ValueError, "Parameter slow out of range: 12 (valid range: 13..inf)"),
    (lambda: vl.OnlineMACD(26, 12), ValueError, "Parameter slow out of range: 12 (valid range: 27..inf)"),
    (lambda: vl.OnlineMACD(slow=5), ValueError, "Parameter slow out of range: 5 (valid range: 13..inf)"),
    (lambda: vl.OnlineMACD(0, 0, 0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineMACD(12, 0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineMACD(26, 12, 0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineSuperTrend(10, 0.0), ValueError, "Parameter multiplier out of range: 0 (valid range: 0..inf)"),
    (lambda: vl.OnlineSuperTrend(10, -0.0), ValueError, "Parameter multiplier out of range: -0 (valid range: 0..inf)"),
    (lambda: vl.OnlineSuperTrend(10, -1), ValueError, "Parameter multiplier out of range: -1 (valid range: 0..inf)"),
    (lambda: vl.OnlineSuperTrend(10, float("inf")), ValueError,
     "Parameter multiplier out of range: inf (valid range: 0..inf)"),
    (lambda: vl.OnlineSuperTrend(0, float("nan")), ValueError, "multiplier (NaN) must be a number"),
    (lambda: vl.OnlineSuperTrend(0, 0.0), ValueError, ZERO_PERIOD),
    (lambda: vl.OnlineSMA(-1), OverflowError, None),
    (lambda: vl.OnlineStochastic(14, -3), OverflowError, None),
    (lambda: vl.OnlineSMA(2.5), TypeError, "argument 'period'"),
    (lambda: vl.OnlineSMA(None), TypeError, "argument 'period'"),
    (lambda: vl.OnlineBollingerBands(None), TypeError, "argument 'period'"),
    (lambda: vl.OnlineBollingerBands(20, None), TypeError, "argument 'std_dev'"),
    (lambda: vl.OnlineMACD(signal=None), TypeError, "argument 'signal'"),
    (lambda: vl.OnlineSuperTrend(10, "3"), TypeError, "argument 'multiplier'"),
    (lambda: vl.OnlineSMA(), TypeError, None),
    (lambda: vl.OnlineATR(3, 4), TypeError, None),
    (lambda: vl.OnlineEMA(period=3, extra=1), TypeError, None),
])
def test_constructor_errors(call, exc, msg):
    with pytest.raises(exc) as info:
        call()
    if msg is not None:
        if exc is ValueError:
            assert str(info.value) == msg
        else:
            assert str(info.value).startswith(msg)


@pytest.mark.parametrize("call", [
    lambda: vl.OnlineBollingerBands(5, -2.0),
    lambda: vl.OnlineBollingerBands(period=5, std_dev=0),
    lambda: vl.OnlineSuperTrend(10, 5e-324),
    lambda: vl.OnlineSuperTrend(multiplier=1e300),
    lambda: vl.OnlineSuperTrend(10, 2),
    lambda: vl.OnlineMACD(1, 2, 1),
    lambda: vl.OnlineEMA(2 ** 64 - 1),
])
def test_constructor_accepts(call):
    assert call() is not None


def test_defaults_are_the_documented_ones():
    data = inputs_for(1, 200)
    assert feed(vl.OnlineMACD(), data) == feed(vl.OnlineMACD(12, 26, 9), data)
    assert feed(vl.OnlineBollingerBands(), data) == feed(vl.OnlineBollingerBands(20, 2.0), data)
    hlc = inputs_for(3, 200)
    assert feed(vl.OnlineStochastic(), hlc) == feed(vl.OnlineStochastic(14, 3, 3), hlc)
    assert feed(vl.OnlineSuperTrend(), hlc) == feed(vl.OnlineSuperTrend(10, 3.0), hlc)


@pytest.mark.parametrize("call, values", [(lambda: vl.OnlineSMA(2 ** 62), 2 ** 62),
                                           (lambda: vl.OnlineStochastic(2 ** 44), 2 ** 44)])
def test_window_too_large_for_memory(call, values):
    with pytest.raises(MemoryError, match=f"^Cannot allocate {values} values of 8 bytes$"):
        call()


@pytest.mark.parametrize("line, want", [
    ("3", ["0 nan nan"]),                                   # an empty window has no extremes
    ("3 5 1 4 2 9", ["0 nan nan", "1 5 5", "2 5 1", "3 5 1", "3 4 1", "3 9 2"]),
    ("1 -2 7", ["0 nan nan", "1 -2 -2", "1 7 7"]),
    # Of equal values the latest the window holds, as the series' rolling extremes take.
    ("2 0 -0 -0 0 1", ["0 nan nan", "1 0 0", "2 -0 -0", "2 -0 -0", "2 0 0", "2 1 0"]),
    ("3 -0 0 -0 -0 0 0 -0", ["0 nan nan", "1 -0 -0", "2 0 0", "3 -0 -0", "3 -0 -0", "3 0 0", "3 0 0",
                             "3 -0 -0"]),
    ("3 4 4 4 1 4 4", ["0 nan nan", "1 4 4", "2 4 4", "3 4 4", "3 4 1", "3 4 1", "3 4 1"]),
    ("2 inf 1 -inf -inf 2", ["0 nan nan", "1 inf inf", "2 inf 1", "2 1 -inf", "2 -inf -inf", "2 2 -inf"]),
    ("18446744073709551615", ["Cannot allocate 18446744073709551615 values of 8 bytes"]),
])
def test_ring_window_extremes_and_room(line, want):
    assert native_program("ring_buffer")(line) == want


@pytest.mark.parametrize("capacity", [1, 2, 3, 16, 700])
def test_ring_window_extremes_equal_a_scan(capacity):
    rng = random.Random(capacity)
    xs = [rng.choice([-2.0, -1.0, 0.0, 1.0, 2.0]) + rng.choice([0.0, 0.0, 0.25]) for _ in range(3000)]
    got = native_program("ring_buffer")(" ".join(map(repr, [capacity] + xs)))[1:]
    windows = [xs[max(0, i + 1 - capacity):i + 1] for i in range(len(xs))]
    assert got == [f"{len(w)} {max(w):.17g} {min(w):.17g}" for w in windows]


# ---- long runs against direct window computations ---------------------------------------

def test_sma_long_run_across_recomputations():
    # A large offset makes plain running sums drift; 6000 updates cross several rebuilds.
    xs = [x + 1e6 for x in walk(6000, seed=21, step=3.0)]
    got = feed(vl.OnlineSMA(25), [(x,) for x in xs])
    want = ref_online_sma(xs, 25)
    assert all(close(g, w, 1e-15) for g, w in zip(got, want))


def test_sma_force_recalculate():
    xs = walk(3000, seed=4)
    plain, forced = vl.OnlineSMA(10), vl.OnlineSMA(10)
    assert feed(plain, [(x,) for x in xs[:5]]) == feed(forced, [(x,) for x in xs[:5]])
    forced.force_recalculate()  # window not full: no effect at all
    assert feed(plain, [(x,) for x in xs[5:1500]]) == feed(forced, [(x,) for x in xs[5:1500]])
    forced.force_recalculate()
    assert forced.len() == 10
    a, b = feed(plain, [(x,) for x in xs[1500:]]), feed(forced, [(x,) for x in xs[1500:]])
    assert all(close(x, y, 1e-14) for x, y in zip(a, b))


def test_bollinger_long_run_and_force_recalculate():
    xs = [x + 500.0 for x in walk(4500, seed=22, step=2.0)]
    bb = vl.OnlineBollingerBands(30, 2.5)
    got = feed(bb, [(x,) for x in xs[:4000]])
    bb.force_recalculate()
    got += feed(bb, [(x,) for x in xs[4000:]])
    want = ref_online_bollinger(xs, 30, 2.5)
    assert all(close(g, w, 1e-9) for g, w in zip(got, want))


@pytest.mark.parametrize("period", [1, 9, 50])
def test_ema_long_run(period):
    xs = walk(4000, seed=period)
    got = feed(vl.OnlineEMA(period), [(x,) for x in xs])
    assert all(close(g, w, 1e-12) for g, w in zip(got, ref_online_ema(xs, period)))


@pytest.mark.parametrize("period", [1, 14, 40])
def test_rsi_long_run(period):
    xs = walk(4000, seed=period + 1)
    got = feed(vl.OnlineRSI(period), [(x,) for x in xs])
    assert all(close(g, w, 1e-9) for g, w in zip(got, ref_online_rsi(xs, period)))


@pytest.mark.parametrize("period", [1, 14, 40])
def test_atr_long_run(period):
    bs = bars(4000, seed=period + 2)
    got = feed(vl.OnlineATR(period), bs)
    assert all(close(g, w, 1e-10) for g, w in zip(got, ref_online_atr(bs, period)))


@pytest.mark.parametrize("k,s,d", [(14, 3, 3), (1, 1, 1), (5, 1, 4), (20, 6, 2)])
def test_stochastic_long_run(k, s, d):
    bs = bars(3000, seed=k + s + d)
    got = feed(vl.OnlineStochastic(k, s, d), bs)
    assert all(close(g, w, 1e-9) for g, w in zip(got, ref_online_stochastic(bs, k, s, d)))


def tied_bars(n, seed):
    """Bars drawn from a few levels, 0.0 and -0.0 among them: equal highs and lows in every
    window, zero extremes of either sign, closes on them, and high below low now and then."""
    rng = random.Random(seed)
    return [(rng.choice([0.0, -0.0, 1.0, 2.0, -1.0, 3.0]), rng.choice([0.0, -0.0, -1.0, -2.0, 1.0]),
             rng.choice([0.0, -0.0, 0.5, -0.5, 1.0])) for _ in range(n)]


@pytest.mark.parametrize("k", [1, 2, 3, 7, 50, 2000, 6000])
@pytest.mark.parametrize("data", [bars, tied_bars])
def test_stochastic_extremes_give_the_batch_bits(k, data):
    # Unsmoothed, both lines are the raw stochastic of each window, which the batch function
    # finds from its own extremes: every bit equal, the sign of a zero included.
    bs = data(6000, k)
    k_line, d_line = vl.py_stochastic(*zip(*bs), k, 1, 1)
    got = feed(vl.OnlineStochastic(k, 1, 1), bs)
    assert got[:k - 1] == [None] * (k - 1)
    pack = struct.Struct("<dd").pack
    assert [pack(*g) for g in got[k - 1:]] == [pack(a, b) for a, b in zip(k_line[k - 1:], d_line[k - 1:])]


@pytest.mark.parametrize("f,s,g", [(12, 26, 9), (1, 2, 1), (3, 10, 5)])
def test_macd_long_run(f, s, g):
    xs = walk(4000, seed=f * s)
    got = feed(vl.OnlineMACD(f, s, g), [(x,) for x in xs])
    assert all(close(a, b, 1e-9) for a, b in zip(got, ref_online_macd(xs, f, s, g)))


@pytest.mark.parametrize("period,mult", [(10, 3.0), (1, 0.5), (7, 1.25)])
def test_supertrend_long_run(period, mult):
    bs = bars(4000, seed=period)
    got = feed(vl.OnlineSuperTrend(period, mult), bs)
    want = ref_online_supertrend(bs, period, mult)
    # Directions must agree exactly; values to rounding (the ATR reference sums plainly).
    assert [g and g[1] for g in got] == [w and w[1] for w in want]
    assert all(close(a, b, 1e-9) for a, b in zip(got, want))


@settings(max_examples=60, deadline=None)
@given(hs.lists(hs.floats(-1e6, 1e6, allow_nan=False), min_size=1, max_size=120), hs.integers(1, 12))
def test_sma_and_ema_match_direct_windows(xs, period):
    assert all(close(g, w, 1e-9) for g, w in zip(feed(vl.OnlineSMA(period), [(x,) for x in xs]),
                                                  ref_online_sma(xs, period)))
    assert all(close(g, w, 1e-9) for g, w in zip(feed(vl.OnlineEMA(period), [(x,) for x in xs]),
                                                  ref_online_ema(xs, period)))


@settings(max_examples=60, deadline=None)
@given(hs.sampled_from(NAMES), hs.integers(0, 10_000), hs.sets(hs.integers(0, 39), max_size=8))
def test_refusals_anywhere_are_invisible(name, seed, where):
    make, arity = KINDS[name]
    data = inputs_for(arity, 40, seed=seed)
    bad = (float("nan"),) if arity == 1 else (1.0, float("inf"), 1.0)
    obj, got = make(), []
    for i, x in enumerate(data):
        if i in where:
            with pytest.raises(ValueError):
                obj.update(*bad)
        got.append(obj.update(*x))
    assert got == feed(make(), data)


# ---- Wilder averages to the last bit, flat feeds included ---------------------------------


@pytest.mark.parametrize("period", [1, 2, 3, 4, 7, 14])
def test_atr_flat_feed_decays_through_subnormals_bit_exact(period):
    # Bars without range decay the average toward zero; it settles in the subnormal range on
    # a value the smoothing step maps to itself.
    bs = bars(40, seed=period) + [(50.0, 50.0, 50.0)] * (800 * period) + bars(20, seed=period + 1)
    got, want = feed(vl.OnlineATR(period), bs), exact_online_atr(bs, period)
    assert got == want
    settled = got[40 + 800 * period - 1]
    if period >= 3:
        assert 0.0 < settled < 2.2250738585072014e-308
        assert settled == got[40 + 800 * period - 2]
    else:
        assert settled == 0.0


@pytest.mark.parametrize("period", [1, 2, 3, 14, 30])
def test_rsi_bit_exact_with_flat_runs_and_tiny_moves(period):
    xs = walk(300, seed=period) + [7.0] * (800 * period) + [7.0 + i * 5e-324 for i in range(1, 40)] + walk(60)
    assert feed(vl.OnlineRSI(period), [(x,) for x in xs]) == exact_online_rsi(xs, period)


# ---- MACD: an update whose line overflows is refused whole ------------------------------

def test_macd_overflow_during_warmup_is_refused_whole():
    m = vl.OnlineMACD(1, 2, 1)
    assert m.update(-1e308) is None
    with pytest.raises(ValueError) as info:
        m.update(-1e308)  # the slow seed overflows: the MACD line is infinite
    assert str(info.value) == VALUE_MSG
    twin = vl.OnlineMACD(1, 2, 1)
    twin.update(-1e308)
    rest = [(0.0,), (5.0,), (-3.0,), (2.5,)]
    assert feed(m, rest) == feed(twin, rest)
    assert feed(vl.OnlineMACD(1, 2, 1), [(-1e308,), (0.0,)])[-1] == (5e307, 5e307, 0.0)


def test_macd_overflow_when_ready_is_refused_whole():
    m, twin = vl.OnlineMACD(1, 40, 3), vl.OnlineMACD(1, 40, 3)
    lead = [(0.0,)] * 50 + [(-1.7e308,)] * 300
    assert feed(m, lead) == feed(twin, lead)
    with pytest.raises(ValueError) as info:
        m.update(1.7e308)  # fast jumps to +1.7e308 while slow sits near -1.7e308
    assert str(info.value) == VALUE_MSG
    rest = [(-1.7e308,), (0.0,), (1.0,)] + [(float(i),) for i in range(60)]
    assert feed(m, rest) == feed(twin, rest)


# ---- access rules ----------------------------------------------------------------------

SHARED_QUERIES = [("OnlineSMA", "len"), ("OnlineSMA", "is_empty"), ("OnlineEMA", "is_ready"),
                  ("OnlineATR", "is_ready"), ("OnlineSuperTrend", "current_trend")]


def args_with(arity, x):
    return (x,) if arity == 1 else (2.0, 1.0, x)


@pytest.mark.parametrize("name,query", SHARED_QUERIES)
def test_query_during_update_is_refused(name, query):
    make, arity = KINDS[name]
    data = inputs_for(arity, 30)
    obj = make()
    feed(obj, data[:10])
    with pytest.raises(RuntimeError, match="^Already mutably borrowed$"):
        obj.update(*args_with(arity, Reenter(getattr(obj, query))))
    twin = make()
    feed(twin, data[:10])
    assert feed(obj, data[10:]) == feed(twin, data[10:])  # access released, state untouched


EXCLUSIVE_CALLS = [(n, m) for n in NAMES for m in ("reset", "update", "force_recalculate")
                   if hasattr(getattr(vl, n), m)]


@pytest.mark.parametrize("name,method", EXCLUSIVE_CALLS)
def test_exclusive_call_during_update_is_refused(name, method):
    make, arity = KINDS[name]
    obj = make()
    data = inputs_for(arity, 30)
    feed(obj, data[:12])
    target = getattr(obj, method)
    call = (lambda: target(*args_with(arity, 1.0))) if method == "update" else target
    with pytest.raises(RuntimeError, match="^Already borrowed$"):
        obj.update(*args_with(arity, Reenter(call)))
    twin = make()
    feed(twin, data[:12])
    assert feed(obj, data[12:]) == feed(twin, data[12:])


def test_queries_change_nothing():
    data = [(x,) for x in walk(50)]
    s, twin = vl.OnlineSMA(4), vl.OnlineSMA(4)
    got = []
    for x in data:
        s.len(), s.is_empty()
        got.append(s.update(*x))
    assert got == feed(twin, data)
