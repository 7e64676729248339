"""Every function's outputs on fixed bars, to compare one build with another (CI: x86-64 with
the aarch64 build run under qemu-user).

    outputs.py dump FILE          every output of the vorn_library on sys.path, floats exactly,
                                  with the machine (platform.machine()) it ran on
    outputs.py compare A B        exit 1 unless B equals A, apart from LIBM_BOUND below, or when
                                  A and B come from one architecture (nothing would be compared)

The standard library only, so that it runs in a bare interpreter. The bars come from
random.Random's integers and +, -, *, / alone: every input is the same double on every machine.
Each function is called with its series by parameter name, its omissible scalars left out and
its required ones given the first usual value it accepts; each streaming class is fed the bars.
A trained model is what it predicts on fixed features, with its features_dim and is_trained.
"""
import inspect
import json
import math
import platform
import random
import re
import sys

try:
    import vorn_library.vorn_library as vl
except ImportError:  # compare reads two dumps and needs no build
    vl = None

# Outputs that go through the C library's exp, log, pow or trigonometric functions, whose last
# bits may differ between two C libraries (or two builds of one, for two processors). These
# may differ from the reference by LIBM_ULPS units in the last place at most, relative to the
# larger of the two values; every other output must be identical, NaN for NaN.
LIBM_BOUND = {
    # the element-wise transforms
    "py_exp", "py_ln", "py_log10", "py_sin", "py_cos", "py_tan", "py_asin", "py_acos", "py_atan", "py_sinh",
    "py_cosh", "py_tanh",
    # the Hilbert-transform cycle measures (atan, sin, cos)
    "py_ht_dcperiod", "py_ht_dcphase", "py_ht_sine", "py_ht_trendmode",
    # weights or steps through exp, log, log10, sin or atan
    "py_alma", "py_sinwma", "py_frama", "py_fisher_transform", "py_linearreg_angle", "py_choppiness",
    "py_historical_volatility", "py_entropy",
}
LIBM_ULPS = 64

SERIES = {"open": "open", "high": "high", "low": "low", "close": "close", "volume": "volume",
          "values": "close", "values1": "close", "values2": "open", "x": "close", "y": "open",
          "y_values": "close", "prices": "close", "price": "close", "indicator": "rsi", "rsi": "rsi",
          "asset_returns": "ret1", "benchmark_returns": "ret2", "tenkan_sen": "close", "kijun_sen": "open",
          "senkou_span_a": "high", "senkou_span_b": "low", "chikou_span": "close", "buy1": "buy",
          "sell1": "sell", "buy2": "sell", "sell2": "buy", "atr_values": "atr", "atr": "atr",
          "buy_signals": "buy", "sell_signals": "sell", "direction": "dir"}
UNIT_INPUT = {"py_asin", "py_acos"}
# Required scalars that refuse None: values tried in turn until the call is accepted.
TRY = [14, 20, 3, 0.5, 2.0, "standard", "ridge", "linreg", True]
# The learned systems again with each model kind and feature set, beside their defaults.
VARIANTS = {"py_ai_supertrend_ml": [{"model_type": "linreg"}, {"model_type": "ridge"}],
            "py_ai_momentum_index_ml": [{"use_polynomial": False}, {"use_polynomial": True}],
            "py_train_supertrend_model": [{"use_ridge": True}]}
SINGLE_PRICES = {"py_standard_pivots", "py_classic_pivots", "py_fibonacci_pivots", "py_camarilla_pivots",
                 "py_woodie_pivots", "py_demark_pivots", "py_fib_retracement", "py_fib_extension",
                 "py_fibonacci_retracement", "py_fibonacci_extension", "py_detect_fib_touch", "py_fib_fan_lines",
                 "py_fib_time_zones", "py_detect_pivot_touch", "py_pivot_zone"}


def bars(n, seed, whole=False):
    rng = random.Random(seed)
    c, close, open_, high, low, volume = 100.0, [], [], [], [], []
    for _ in range(n):
        o = c
        c = c * (1.0 + (rng.random() - 0.5) / 25.0)
        if whole:
            c = float(round(c))
        high.append(max(o, c) + rng.random() / 2.0)
        low.append(min(o, c) - rng.random() / 2.0)
        open_.append(o)
        close.append(c)
        volume.append(1e6 + rng.randrange(1000) * 997.0)
    rets = [0.0] + [(close[i] - close[i - 1]) / close[i - 1] for i in range(1, n)]
    rsi = [50.0 + 40.0 * ((close[i] - low[i]) / (high[i] - low[i]) - 0.5) for i in range(n)]
    tr = [high[i] - low[i] for i in range(n)]
    return {"open": open_, "high": high, "low": low, "close": close, "volume": volume, "ret1": rets,
            "ret2": [0.0] + rets[:-1], "rsi": rsi, "atr": tr, "buy": [float(i % 17 == 3) for i in range(n)],
            "sell": [float(i % 23 == 5) for i in range(n)], "dir": [1.0 if (i // 40) % 2 else -1.0 for i in range(n)],
            "unit": [(2.0 * rng.random() - 1.0) for _ in range(n)]}


SETS = [bars(1200, 1), bars(1200, 2, whole=True)]


# The rows a trained model predicts on: values of the size standardised features take, drawn
# from random.Random (the same doubles everywhere), seeded by the width so that each model of
# one width sees the same rows.
MODEL_ROWS = 9


def model_features(dim):
    rng = random.Random(dim)
    return [4.0 * rng.random() - 2.0 for _ in range(MODEL_ROWS * dim)]


def encode(x):
    if isinstance(x, float):
        return "nan" if math.isnan(x) else x.hex()
    if isinstance(x, (bool, int, str)) or x is None:
        return x
    if isinstance(x, (list, tuple)):
        return [encode(y) for y in x]
    if isinstance(x, dict):
        return {str(k): encode(v) for k, v in sorted(x.items(), key=lambda kv: repr(kv[0]))}
    if callable(getattr(x, "predict", None)):  # a model: its state shows only through its methods
        dim = outcome(x.features_dim)
        return {"features_dim": dim, "is_trained": outcome(x.is_trained),
                "predict": outcome(lambda: x.predict(model_features(dim), MODEL_ROWS))}
    return {a: encode(getattr(x, a)) for a in sorted(dir(x))  # a record: its data attributes
            if not a.startswith("_") and not callable(getattr(x, a))}


def outcome(f):
    try:
        return encode(f())
    except Exception as e:  # the error is part of the behaviour
        return f"{type(e).__name__}: {e}"


def arguments(fn, data, unit=False):
    """Keyword arguments fn accepts, found on the first bar set: its series by name, every
    scalar given (its text signature's default, else None, else the first of TRY accepted).
    Some text signatures show a default the binding still requires, or miss a parameter: the
    binding's own refusals say which."""
    kw = {}
    for p in inspect.signature(fn).parameters.values():
        if p.name in SERIES:
            kw[p.name] = "unit" if unit else SERIES[p.name]
        else:
            kw[p.name] = None if p.default is inspect.Parameter.empty else p.default
    tries = {}
    for _ in range(60):
        try:
            fn(**call(kw, data))
            return kw
        except TypeError as e:
            msg = str(e)
            if m := re.search(r"missing \d+ required (?:positional|keyword-only) arguments?: (.*)$", msg):
                for key in re.findall(r"'(\w+)'", m.group(1)):
                    kw[key] = ("unit" if unit else SERIES[key]) if key in SERIES else None
                continue
            if (m := re.search(r"unexpected keyword argument '(\w+)'", msg)) and m.group(1) in kw:
                del kw[m.group(1)]
                continue
            m = re.search(r"argument '(\w+)'", msg)
            if m and m.group(1) in kw and m.group(1) not in SERIES and tries.get(m.group(1), 0) < len(TRY):
                kw[m.group(1)] = TRY[tries.get(m.group(1), 0)]
                tries[m.group(1)] = tries.get(m.group(1), 0) + 1
                continue
            return kw
        except Exception:  # refused on its values: the outputs record the refusal
            return kw
    return kw


def call(kw, data):
    return {k: data[v] if k in SERIES and isinstance(v, str) else v for k, v in kw.items()}


def dump():
    out = {}
    for name in vl.__all__:
        if not name.startswith("py_") or name in SINGLE_PRICES:
            continue
        fn = getattr(vl, name)
        kw = arguments(fn, SETS[0], name in UNIT_INPUT)
        out[name] = [outcome(lambda d=d: fn(**call(kw, d))) for d in SETS]
        for v in VARIANTS.get(name, []):
            label = name + "[" + ",".join(f"{k}={x}" for k, x in v.items()) + "]"
            out[label] = [outcome(lambda d=d: fn(**call({**kw, **v}, d))) for d in SETS]
    d = SETS[0]
    h, lo, c = d["high"], d["low"], d["close"]
    points = range(0, len(c), 61)
    for name in sorted(SINGLE_PRICES):
        fn = getattr(vl, name)
        nargs = len(inspect.signature(fn).parameters)
        levels = vl.py_fib_retracement(h[0], lo[0])
        pivots = vl.py_standard_pivots(h[0], lo[0], c[0])
        zone = tuple(pivots) + (pivots[3] + 1.0, pivots[6] - 1.0)
        args = {"py_demark_pivots": lambda i: (h[i], lo[i], c[i], d["open"][i]),
                "py_detect_fib_touch": lambda i: (c[i], levels, 0.01), "py_detect_pivot_touch": lambda i: (c[i], zone, 0.01),
                "py_pivot_zone": lambda i: (c[i], zone), "py_fib_fan_lines": lambda i: (0, 50, lo[i], h[i], 80),
                "py_fib_time_zones": lambda i: (i % 50, 12)}.get(name, lambda i: (h[i], lo[i], c[i])[:nargs])
        out[name] = [outcome(lambda i=i: fn(*args(i))) for i in points]
    # streaming classes, fed the first bar set
    for name in vl.__all__:
        cls = getattr(vl, name)
        if not (isinstance(cls, type) and name.startswith("Online")):
            continue
        def feed(cls=cls):
            obj = cls(**arguments(cls, {}))
            hlc = len(inspect.signature(obj.update).parameters) == 3
            return [obj.update(h[i], lo[i], c[i]) if hlc else obj.update(c[i]) for i in range(len(c))]
        out[name] = outcome(feed)
    out["OhlcvFrame"] = outcome(lambda: vl.OhlcvFrame(list(range(len(c))), d["open"], h, lo, c, d["volume"])
                                .compute_common_indicators())
    return {"machine": platform.machine(), "outputs": out}


def ulps_apart(a, b):
    if a == b:
        return 0
    scale = max(abs(a), abs(b))
    return math.inf if math.isinf(scale) else abs(a - b) / math.ulp(scale)


def differences(a, b, libm):
    """(exact, largest ulps): whether a and b match exactly, and where they differ only in
    finite floats, by how many units in the last place at most (infinite when anything else
    differs, or when the name is not libm-bound)."""
    if a == b:
        return 0
    if isinstance(a, list) and isinstance(b, list) and len(a) == len(b):
        return max((differences(x, y, libm) for x, y in zip(a, b)), default=0)
    if isinstance(a, dict) and isinstance(b, dict) and a.keys() == b.keys():
        return max((differences(a[k], b[k], libm) for k in a), default=0)
    if libm and isinstance(a, str) and isinstance(b, str) and "nan" not in (a, b):
        try:
            return ulps_apart(float.fromhex(a), float.fromhex(b))
        except ValueError:
            pass
    return math.inf


def load(path):
    with open(path) as f:
        d = json.load(f)
    if not (isinstance(d, dict) and isinstance(d.get("machine"), str) and isinstance(d.get("outputs"), dict)):
        raise SystemExit(f"{path}: not a dump of this script with the machine it ran on")
    return d["machine"], d["outputs"]


def compare(path_a, path_b):
    (machine_a, a), (machine_b, b) = load(path_a), load(path_b)
    if machine_a == machine_b:
        print(f"both dumps come from {machine_a}: comparing an architecture with itself shows nothing")
        return 1
    bad, libm_seen = [f"{n}: listed as libm-bound but not dumped" for n in sorted(LIBM_BOUND - set(a))], {}
    for name in sorted(set(a) | set(b)):
        if name not in a or name not in b:
            bad.append(f"{name}: only in {'the first' if name in a else 'the second'}")
            continue
        d = differences(a[name], b[name], name in LIBM_BOUND)
        if d == 0:
            continue
        if name in LIBM_BOUND and d <= LIBM_ULPS:
            libm_seen[name] = d
        else:
            bad.append(f"{name}: {'differs' if math.isinf(d) else f'{d:.0f} ulps apart'}")
    same = len(a) - len(bad) - len(libm_seen)
    print(f"{machine_b} against {machine_a}: {len(a)} names compared: {same} identical, "
          f"{len(libm_seen)} libm-bound within {LIBM_ULPS} ulps"
          + (" (" + ", ".join(f"{n} {u:.0f}" for n, u in sorted(libm_seen.items())) + ")" if libm_seen else "")
          + f", {len(bad)} differing")
    for line in bad:
        print("  " + line)
    return 1 if bad else 0


if __name__ == "__main__":
    if sys.argv[1:2] == ["dump"] and len(sys.argv) == 3:
        result = dump()
        with open(sys.argv[2], "w") as f:
            json.dump(result, f, sort_keys=True)
        print(f"{len(result['outputs'])} names dumped on {result['machine']}")
    elif sys.argv[1:2] == ["compare"] and len(sys.argv) == 4:
        sys.exit(compare(sys.argv[2], sys.argv[3]))
    else:
        sys.exit(__doc__)
