"""NaN in a setting is refused; NaN in data passes on.

A real that configures a computation (a multiplier, a threshold, a tolerance, a weight) is
declared a setting, and the binding reports its kind as "setting" (or "settings[N]"). Every one
of them, read from the declarations, must refuse NaN with "{name} (NaN) must be a number" as the
argument is converted, before the kernel looks at anything else.
"""
import ast
import math

import numpy as np
import pytest

import vorn_library.vorn_library as vl
from conftest import series_by_name

floor = pytest.importorskip("vorn_bench_floor")
PARAMETERS = floor.parameters()
NAN = float("nan")

N = 260
BARS = series_by_name(N, seed=11)
CLOSE = BARS["close"]
PLAIN = {"count": 5, "real": 100.0, "setting": 0.5, "int64": 0, "flag": False, "text": "standard",
         "levels": tuple(95.0 + i for i in range(9)), "list[tuple[text, real]]": [("0.500", 100.0)]}

# The owners of methods that take a setting, and how to make one.
INSTANCES = {
    "OhlcvFrame": lambda: vl.OhlcvFrame(list(range(N)), BARS["open"], BARS["high"], BARS["low"], CLOSE,
                                        BARS["volume"]),
}


def is_setting(kind):
    return kind == "setting" or kind.startswith("settings[")


def target(key):
    """The callable bound under KEY: a function, a class (its constructor) or a fresh object's method."""
    owner, _, member = key.partition(".")
    obj = getattr(vl, owner)
    if member in ("", "__new__"):
        return obj
    return getattr(INSTANCES[owner](), member)


def arguments(params, series):
    """Every parameter given, by its declared default where it has one."""
    args = []
    for p in params:
        if p["kind"] == "series":
            args.append(series(p["name"]))
        elif p["default"] not in (None, "None"):
            args.append(ast.literal_eval(p["default"]))
        elif p["kind"].startswith("settings["):
            args.append([1.0] * int(p["kind"][9:-1]))
        else:
            args.append(PLAIN[p["kind"]])
    return args


def nan_of(kind):
    # Fixed-length settings: one NaN among numbers (the last) is enough to refuse them.
    return [1.0] * (int(kind[9:-1]) - 1) + [NAN] if kind.startswith("settings[") else NAN


CASES = [(key, i) for key, params in PARAMETERS.items() if not key.endswith(".__set__")
         for i, p in enumerate(params) if is_setting(p["kind"])]
IDS = [f"{key}-{PARAMETERS[key][i]['name']}" for key, i in CASES]


def test_the_table_holds_every_family():
    named = {(key, PARAMETERS[key][i]["name"]) for key, i in CASES}
    assert len(CASES) >= 75
    assert {("py_t3", "vfactor"), ("py_sar", "acceleration"), ("py_psar", "af_init"),
            ("py_sarext", "af_max_short"), ("py_bollinger_bands", "std_multiplier"), ("py_doji", "body_threshold"),
            ("py_detect_pivot_touch", "tolerance"), ("py_train_atr2_model", "ridge_alpha"),
            ("py_combine_signals", "weight1"), ("OnlineSuperTrend.__new__", "multiplier"),
            ("OnlineEnsembleSignal.__new__", "weights"), ("OnlineEnsembleSignal.__new__", "oversold"),
            ("OhlcvFrame.supertrend", "multiplier")} <= named
    assert {key.split(".")[0] for key, _ in CASES if "." in key and not key.endswith("__new__")} <= set(INSTANCES)


@pytest.mark.parametrize("key, index", CASES, ids=IDS)
def test_nan_setting_is_refused(key, index):
    params = PARAMETERS[key]
    name, kind = params[index]["name"], params[index]["kind"]
    fn = target(key)
    args = arguments(params, lambda s: BARS.get(s, CLOSE))
    fn(*args)  # the arguments are valid: only the NaN below is refused
    args[index] = nan_of(kind)
    with pytest.raises(ValueError) as e:
        fn(*args)
    assert str(e.value) == f"{name} (NaN) must be a number"
    # Refused before any work: empty series, which every kernel refuses first, are never looked at.
    empty = arguments(params, lambda s: [])
    empty[index] = nan_of(kind)
    with pytest.raises(ValueError, match=r"^" + name + r" \(NaN\) must be a number$"):
        fn(*empty)
    # By keyword, and through the float protocol rather than an exact float.
    kwargs = {p["name"]: a for p, a in zip(params, arguments(params, lambda s: BARS.get(s, CLOSE)))}
    kwargs[name] = np.array(nan_of(kind)) if kind.startswith("settings[") else np.float64(NAN)
    with pytest.raises(ValueError, match=r"^" + name + r" \(NaN\) must be a number$"):
        fn(**kwargs)


LEVELS = tuple(95.0 + i for i in range(9))


@pytest.mark.parametrize("call, message", [
    (lambda: vl.py_fib_retracement(NAN, 110.0), "start_price contains non-finite value: NaN"),
    (lambda: vl.py_detect_pivot_touch(NAN, LEVELS, 0.001), "current_price contains non-finite value: NaN"),
    (lambda: vl.py_standard_pivots(101.0, NAN, 100.0), "low contains non-finite value: NaN"),
    (lambda: vl.OnlineSMA(2).update(NAN), "value must be finite"),
    (lambda: vl.OnlineATR(2).update(101.0, 99.0, NAN), "ohlc values must be finite"),
], ids=["fib_retracement", "pivot_touch", "pivots", "sma_update", "atr_update"])
def test_nan_data_reaches_the_kernel(call, message):
    # A price or a bar's value is data: the kernel sees the NaN and answers with its own data check.
    with pytest.raises(ValueError) as e:
        call()
    assert str(e.value) == "Invalid value at index 0: " + message


def test_nan_data_is_kept_where_it_is_stored():
    candle = vl.Candle(0, NAN, 2.0, 1.0, 1.5, 10.0)
    candle.close = NAN
    assert math.isnan(candle.open) and math.isnan(candle.close)


def test_a_nan_setting_is_refused_before_nan_data():
    # Conversion order: the tolerance is refused before the kernel sees the NaN price.
    with pytest.raises(ValueError, match=r"^tolerance \(NaN\) must be a number$"):
        vl.py_detect_pivot_touch(NAN, LEVELS, NAN)


def test_only_prices_and_bar_values_are_declared_as_data():
    data = {p["name"] for params in PARAMETERS.values() for p in params
            if p["kind"] == "real" or p["kind"].startswith("reals[")}
    assert data == {"open", "high", "low", "close", "volume", "value", "start_price", "end_price",
                    "retracement_price", "current_price"}
