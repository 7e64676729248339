"""The adaptive, ML, AI and ensemble streaming classes and their result records: registration,
docstrings, records without a constructor, reset, refused updates, static constructors."""
import math
import random

import pytest

import vorn_library.vorn_library as vl
from conftest import Reenter, random_bars, random_walk

NEW = ["OnlineAdaptiveRSI", "OnlineEnsembleSignal", "EnsembleSignalResult", "OnlineMLSuperTrend",
       "MLSuperTrendResult", "OnlineAISuperTrendML", "AISuperTrendMLResult"]

# Each class with small periods, the kind of its input and its refusal message.
KINDS = {
    "OnlineAdaptiveRSI": (lambda: vl.OnlineAdaptiveRSI(3, 9, 4), 1, "value must be finite"),
    "OnlineEnsembleSignal": (lambda: vl.OnlineEnsembleSignal(3, 2, 4, 2, 3, 2, 2, 3, 1.5), 3,
                             "ohlc values must be finite"),
    "OnlineMLSuperTrend": (lambda: vl.OnlineMLSuperTrend(3, 1.5, 2, 5), 3, "ohlc values must be finite"),
    "OnlineAISuperTrendML": (lambda: vl.OnlineAISuperTrendML(3, 1.5, 2, 12), 3, "OHLC values must be finite"),
}
RECORDS = {
    "EnsembleSignalResult": ("OnlineEnsembleSignal", {"signal": float, "rsi_contrib": float, "macd_contrib": float,
                                                      "stoch_contrib": float, "trend_contrib": float,
                                                      "confidence": float}),
    "MLSuperTrendResult": ("OnlineMLSuperTrend", {"value": float, "confirmed_trend": int, "raw_trend": int,
                                                  "confidence": float, "effective_multiplier": float}),
    "AISuperTrendMLResult": ("OnlineAISuperTrendML", {"supertrend": float, "direction": int, "trend_offset": float,
                                                      "buy_signal": bool, "sell_signal": bool, "stop_loss": float,
                                                      "take_profit": float}),
}


def inputs(arity, n, seed=3):
    return [(x,) for x in random_walk(n, seed)] if arity == 1 else list(zip(*random_bars(n, seed)))


def plain(r):
    if r is None or isinstance(r, tuple):
        return r
    return tuple((a, getattr(r, a)) for a in dir(r) if not a.startswith("_"))


def run(obj, data):
    return [plain(obj.update(*x)) for x in data]


def test_registered_after_the_core_classes():
    names = list(vl.__all__)
    start = names.index("OnlineSuperTrend") + 1
    assert names[start:start + len(NEW)] == NEW


@pytest.mark.parametrize("name,sig", [
    ("OnlineAdaptiveRSI", "(min_period=7, max_period=21, volatility_period=14)"),
    ("OnlineEnsembleSignal", "(rsi_period=14, macd_fast=12, macd_slow=26, macd_signal=9, stoch_k=14, stoch_smooth=3, "
                             "stoch_d=3, supertrend_period=10, supertrend_multiplier=3.0, weights=None, "
                             "overbought=70.0, oversold=30.0)"),
    ("OnlineMLSuperTrend", "(period=10, base_multiplier=3.0, confirmation_bars=2, volatility_period=20)"),
    ("OnlineAISuperTrendML", "(st_length=10, st_multiplier=3.0, lookback=10, train_window=200)"),
])
def test_constructor_signature(name, sig):
    assert getattr(vl, name).__text_signature__ == sig


@pytest.mark.parametrize("name,method,sig,prose", [
    ("OnlineAdaptiveRSI", "update", "($self, value)", "Returns (adaptive_rsi, effective_period) or None if not ready"),
    ("OnlineAdaptiveRSI", "reset", "($self)", ""),
    ("OnlineEnsembleSignal", "update", "($self, high, low, close)", "Returns EnsembleSignalResult or None if not ready"),
    ("OnlineEnsembleSignal", "with_defaults", "()", ""),
    ("OnlineMLSuperTrend", "update", "($self, high, low, close)", "Returns MLSuperTrendResult or None if not ready"),
    ("OnlineMLSuperTrend", "confirmed_trend", "($self)", ""),
    ("OnlineMLSuperTrend", "with_defaults", "()", ""),
    ("OnlineAISuperTrendML", "update", "($self, high, low, close)", "更新并返回结果，预热期返回 None"),
    ("OnlineAISuperTrendML", "is_ready", "($self)", ""),
    ("OnlineAISuperTrendML", "direction", "($self)", ""),
    ("OnlineAISuperTrendML", "update_count", "($self)", ""),
    ("OnlineAISuperTrendML", "with_defaults", "()", ""),
])
def test_method_docstrings(name, method, sig, prose):
    m = getattr(getattr(vl, name), method)
    assert m.__text_signature__ == sig and (m.__doc__ or "") == prose


def test_adaptive_rsi_has_only_update_and_reset():
    assert {a for a in dir(vl.OnlineAdaptiveRSI) if not a.startswith("_")} == {"update", "reset"}


@pytest.mark.parametrize("name", sorted(RECORDS))
def test_records_refuse_construction_and_assignment(name):
    cls = getattr(vl, name)
    owner, attrs = RECORDS[name]
    assert cls.__doc__ is None
    with pytest.raises(TypeError):
        cls()
    make, arity, _ = KINDS[owner]
    obj = make()
    r = [obj.update(*b) for b in inputs(arity, 60)][-1]
    assert type(r) is cls and {a: type(getattr(r, a)) for a in attrs} == attrs
    assert [a for a in dir(r) if not a.startswith("_")] == sorted(attrs)
    for a in attrs:
        with pytest.raises(AttributeError):
            setattr(r, a, getattr(r, a))
    with pytest.raises(AttributeError):
        r.extra = 1.0


@pytest.mark.parametrize("name,args", [("OnlineEnsembleSignal", ()), ("OnlineMLSuperTrend", (10, 3.0, 2, 20)),
                                       ("OnlineAISuperTrendML", (10, 3.0, 10, 200))])
def test_with_defaults_is_static_and_equals_the_defaults(name, args):
    cls = getattr(vl, name)
    data = inputs(3, 300, seed=8)
    want = run(cls(*args), data)
    assert run(cls.with_defaults(), data) == want and run(cls(), data) == want
    with pytest.raises(TypeError):
        cls.with_defaults(1)


@pytest.mark.parametrize("name", sorted(KINDS))
@pytest.mark.parametrize("before", [0, 3, 9, 400])
def test_reset_equals_fresh(name, before):
    make, arity, _ = KINDS[name]
    data = inputs(arity, before + 60, seed=before + 1)
    obj = make()
    run(obj, data[:before])
    assert obj.reset() is None
    assert run(obj, data[before:]) == run(make(), data[before:])


@pytest.mark.parametrize("name", sorted(KINDS))
@pytest.mark.parametrize("seed", [1, 2, 3])
def test_refused_updates_are_invisible(name, seed):
    make, arity, msg = KINDS[name]
    data = inputs(arity, 80, seed=seed)
    rng = random.Random(seed)
    bad = [(math.nan,), (math.inf,)] if arity == 1 else [(math.nan, 1.0, 1.0), (2.0, -math.inf, 1.0),
                                                         (2.0, 1.0, math.inf)]
    obj, got = make(), []
    for x in data:
        if rng.random() < 0.2:
            with pytest.raises(ValueError) as info:
                obj.update(*rng.choice(bad))
            assert str(info.value) == "Invalid value at index 0: " + msg
            with pytest.raises(TypeError, match="^argument '"):
                obj.update(*(["1"] * arity))
        got.append(plain(obj.update(*x)))
    assert got == run(make(), data)
    if name == "OnlineAISuperTrendML":
        assert obj.update_count() == len(data)


@pytest.mark.parametrize("name,method,error", [
    ("OnlineMLSuperTrend", "confirmed_trend", "Already mutably borrowed"),
    ("OnlineAISuperTrendML", "is_ready", "Already mutably borrowed"),
    ("OnlineAISuperTrendML", "direction", "Already mutably borrowed"),
    ("OnlineAISuperTrendML", "update_count", "Already mutably borrowed"),
] + [(n, m, "Already borrowed") for n in sorted(KINDS) for m in ("reset", "update")])
def test_access_conflicts_are_refused_and_change_nothing(name, method, error):
    make, arity, _ = KINDS[name]
    data = inputs(arity, 60, seed=4)
    obj, twin = make(), make()
    run(obj, data[:25]), run(twin, data[:25])
    target = getattr(obj, method)
    call = (lambda: target(*([1.0] * arity))) if method == "update" else target
    with pytest.raises(RuntimeError) as info:
        obj.update(*([2.0] * (arity - 1)), Reenter(call))
    assert str(info.value) == error
    assert run(obj, data[25:]) == run(twin, data[25:])
    if name == "OnlineAISuperTrendML":
        assert obj.update_count() == len(data)
