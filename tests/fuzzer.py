"""The fuzzer behind tests/test_robustness.py: parameter kinds, hostile inputs, the worker that
feeds them to every exported name, and the parent that runs workers in subprocesses.

Every function and class in ``__all__`` is fed, each argument aimed by the kind its binding declares,
random data of random lengths, series of unequal lengths, NaN/inf at random positions, huge and tiny
magnitudes, edge periods (0, 1, len-1, len, len+1, 2**63, 2**64-1), floats where integers are expected,
None, strings, NumPy arrays of several dtypes and layouts, and, for the classes, random sequences of
method calls. Only three things are asserted:

* a refused call raises ValueError, TypeError or OverflowError (never a PanicException, SystemError,
  RuntimeError or a crash);
* a successful batch call returns a list as long as its first series, or a tuple of such lists;
* no input object is changed and no input object is returned.

A crash cannot be caught in the process that suffers it, so the fuzz loop runs in worker subprocesses
(``python -c WORKER_CODE``, which imports this module). Before each call a worker writes the call
(function and arguments) to a scratch file; when a worker dies, the parent reads that file, records the
crash against the function and restarts a worker on the functions that are left.
"""
import array
import json
import math
import os
import random
import signal
import subprocess
import sys
import inspect

import numpy as np

import vorn_bench_floor
import vorn_library.vorn_library as vl

ALLOWED = (ValueError, TypeError, OverflowError)

# --------------------------------------------------------------------------------------------------------
# Parameter kinds
# --------------------------------------------------------------------------------------------------------
# Each parameter's kind is the one its binding declares (the native type it converts to), as reported by
# the test-only module vorn_bench_floor, which an in-place build puts beside the product module:
#   series: a sequence of floats aligned with the bars; count: unsigned 64-bit integer; int64: signed
#   64-bit integer; real: float; setting: a float that configures the computation (NaN refused); flag: bool;
#   text: str; levels: the nine-price pivot row (a tuple); reals[N] / settings[N]: exactly N floats (of data
#   / of settings); list[K]: a sequence of K; tuple[K, ...]: a tuple of those kinds;
#   any: a native type without a declared kind (fuzzed with a mix of every kind, so robustness is still
#   checked, but no shape is).
# A settable attribute is declared as "Owner.name.__set__" with the one value its setter takes.
DECLARED = vorn_bench_floor.parameters()

SCALAR_KINDS = frozenset({"series", "count", "int64", "real", "setting", "flag", "text", "levels"})
LEVEL_COUNT = 9  # pivot, r1..r4, s1..s4


def kind_parts(kind):
    """A kind's head and its bracketed parts: "list[tuple[text, real]]" -> ("list", ["tuple[text, real]"])."""
    head, bracket, rest = kind.partition("[")
    if not bracket:
        return kind, []
    parts, depth, start, inner = [], 0, 0, rest[:-1]
    for i, c in enumerate(inner):
        depth += (c == "[") - (c == "]")
        if c == "," and depth == 0:
            parts.append(inner[start:i].strip())
            start = i + 1
    return head, parts + [inner[start:].strip()]


def aimed(kind):
    """True when the fuzzer can draw well-formed values of KIND (every part of it known, none "any")."""
    head, parts = kind_parts(kind)
    if head in SCALAR_KINDS:
        return not parts
    if head in ("reals", "settings"):
        return len(parts) == 1 and parts[0].isdigit()
    if head == "list":
        return len(parts) == 1 and aimed(parts[0])
    if head == "tuple":
        return bool(parts) and all(aimed(p) for p in parts)
    return False


def parameters(owner, member=None):
    """(name, kind, omissible) for each parameter of the exported function OWNER (member None), of the
    class OWNER's constructor (member "__new__") or of its method MEMBER, as the binding declares them.
    A parameter that takes None but must be given is not omissible. ValueError when nothing is bound
    under that name (a record class has no constructor)."""
    key = owner if member is None else f"{owner}.{member}"
    try:
        declared = DECLARED[key]
    except KeyError:
        raise ValueError(f"{key} has no binding") from None
    return [(p["name"], p["kind"], not p["required"]) for p in declared]


def attribute_kind(owner, attr):
    """The kind a settable attribute takes; a read-only one refuses every value alike, so any will do."""
    declared = DECLARED.get(f"{owner}.{attr}.__set__")
    return declared[0]["kind"] if declared else "any"


def tame(kind, count=2):
    """A plain well-formed value of KIND, for the sweeps that vary one argument and hold the others."""
    head, parts = kind_parts(kind)
    if head == "count":
        return count
    if head in ("real", "setting"):
        return 1.5
    if head == "flag":
        return False
    if head == "text":
        return "standard"
    if head == "int64":
        return 0
    if head == "levels":
        return tuple(100.0 + i for i in range(LEVEL_COUNT))
    if head in ("reals", "settings"):
        return (1.0,) * int(parts[0])
    if head == "list":
        return [tame(parts[0], count) for _ in range(3)]
    if head == "tuple":
        return tuple(tame(p, count) for p in parts)
    if head == "series":
        return [float(100 + i) for i in range(40)]
    return count


# Functions whose result is not one list (or a tuple of lists) as long as the input.
SHAPE_EXEMPT = frozenset({
    "py_volume_profile", "py_fib_retracement", "py_fib_extension", "py_fibonacci_retracement",
    "py_fibonacci_extension", "py_dynamic_fib_retracement", "py_detect_fib_touch", "py_fib_fan_lines",
    "py_fib_time_zones", "py_ichimoku_signals", "py_ichimoku_tk_cross", "py_cloud_thickness",
    "py_cloud_color", "py_standard_pivots", "py_classic_pivots", "py_fibonacci_pivots",
    "py_camarilla_pivots", "py_woodie_pivots", "py_demark_pivots", "py_calc_pivot_series",
    "py_detect_pivot_touch", "py_pivot_zone", "py_harmonics", "py_harmonics_patterns", "py_swing_points",
    "py_train_supertrend_model", "py_train_atr2_model", "py_train_momentum_model",
    "py_prepare_supertrend_features", "py_prepare_atr2_features", "py_prepare_momentum_features",
    "py_pivot_buy_sell", "py_detect_divergence", "py_fvg_signals", "py_volume_filter", "py_combine_signals",
    "py_calculate_stops", "py_trailing_stop", "py_pd_array_signals", "py_breaker_block_signals",
    "py_general_parameters_signals", "py_linreg_supply_demand_signals",
    # Validate nothing and return as many values as the shorter of the two series they read.
    "py_hikkake", "py_counterattack",
})

def exported():
    functions, classes = [], []
    for name in vl.__all__:
        obj = getattr(vl, name)
        (classes if isinstance(obj, type) else functions).append(name)
    return functions, classes


def shape_checked(name, params):
    return (name not in SHAPE_EXEMPT and any(k == "series" for _, k, _ in params)
            and all(k in ("series", "count", "real", "setting") for _, k, _ in params))


# --------------------------------------------------------------------------------------------------------
# Hostile objects
# --------------------------------------------------------------------------------------------------------
class Boom(ValueError):
    """Raised by a hostile sequence while it is read; must reach the caller unchanged."""


class LyingSeq:
    """A sequence whose length hint is absurd (or raises) and whose items may fail half-way."""

    def __init__(self, items, hint=2 ** 62, fail_at=None):
        self.items, self.hint, self.fail_at = items, hint, fail_at

    def __len__(self):
        if self.hint is None:
            raise Boom("no length")
        return self.hint

    def __getitem__(self, i):
        if self.fail_at is not None and i == self.fail_at:
            raise Boom("item refused")
        return self.items[i]

    def __iter__(self):
        for i, v in enumerate(self.items):
            if self.fail_at is not None and i == self.fail_at:
                raise Boom("item refused")
            yield v

    def __repr__(self):
        return f"LyingSeq({self.items!r}, hint={self.hint!r}, fail_at={self.fail_at!r})"


class SideEffect:
    """An item that runs an action on its own list (or calls back into the library) when converted."""

    def __init__(self, lst, action, label):
        self.lst, self.action, self.label = lst, action, label

    def __float__(self):
        self.action(self.lst)
        return 1.0

    def __repr__(self):
        return f"SideEffect({self.label})"


class Reentrant:
    """A float argument that calls another method of the object it is being passed to."""

    def __init__(self, call, label):
        self.call, self.label = call, label

    def __float__(self):
        self.call()
        return 1.0

    def __repr__(self):
        return f"Reentrant({self.label})"


class FloatLike:
    def __init__(self, v):
        self.v = v

    def __float__(self):
        return self.v

    def __repr__(self):
        return f"FloatLike({self.v!r})"


class IndexLike:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v

    def __repr__(self):
        return f"IndexLike({self.v!r})"


NAN, INF = float("nan"), float("inf")
SPECIAL_FLOATS = [NAN, INF, -INF, 1e300, -1e300, 1e-300, -1e-300, -0.0, 0.0, 5e-324, 1.7976931348623157e308,
                  -1.7976931348623157e308]
HUGE_COUNTS = [2 ** 63, 2 ** 64 - 1, 2 ** 63 - 1, 2 ** 32, 2 ** 32 + 1]
HOSTILE_COUNTS = [-1, 2 ** 64, 2.0, 3.5, NAN, None, True, False, "3", [3], IndexLike(3), IndexLike(-1)]
HOSTILE_REALS = [None, "1.0", 10 ** 400, -10 ** 400, [1.0], FloatLike(2.0), FloatLike(NAN), True, 3, 2 ** 64]
TEXTS = ["", "standard", "fibonacci", "woodie", "camarilla", "demark", "linear", "linreg", "ridge", "x" * 300,
         "\u00e9\u6f22", "\udcff"]
MODERATE_BAD = [NAN, INF, -INF, None, "1.0", [1.0], FloatLike(NAN), 10 ** 400, b"1"]
HOSTILE_TEXTS = [None, 1, b"standard", ["standard"]]


def snapshot(obj):
    """What must still hold after the call: identity of list items, bytes of buffers."""
    if isinstance(obj, list):
        return ("list", list(obj), [snapshot(x) for x in obj if isinstance(x, (list, np.ndarray))])
    if isinstance(obj, np.ndarray):
        return ("ndarray", obj.dtype, obj.shape, obj.strides, obj.tobytes())
    if isinstance(obj, array.array):
        return ("array", obj.typecode, obj.tobytes())
    if isinstance(obj, LyingSeq):
        return ("lying", list(obj.items))
    if isinstance(obj, tuple):
        return ("tuple", [snapshot(x) for x in obj])
    return None


def unchanged(obj, snap):
    if snap is None:
        return True
    kind = snap[0]
    if kind == "list":
        nested = [x for x in obj if isinstance(x, (list, np.ndarray))]
        return (len(obj) == len(snap[1]) and all(a is b for a, b in zip(obj, snap[1]))
                and all(unchanged(x, s) for x, s in zip(nested, snap[2])))
    if kind == "ndarray":
        return (obj.dtype, obj.shape, obj.strides, obj.tobytes()) == snap[1:]
    if kind == "array":
        return (obj.typecode, obj.tobytes()) == snap[1:]
    if kind == "lying":
        return len(obj.items) == len(snap[1]) and all(a is b for a, b in zip(obj.items, snap[1]))
    if kind == "tuple":
        return all(unchanged(x, s) for x, s in zip(obj, snap[1]))
    return True


def own_error(inputs, error):
    """True when error is what one of the inputs raises by itself when read as a series of floats (a
    two-dimensional memoryview refuses iteration with NotImplementedError): such errors pass unchanged."""
    for v in inputs:
        if isinstance(v, (str, bytes, type(None), int, float)):
            continue
        try:
            [float(x) for x in v]
        except BaseException as own:
            if type(own) is type(error) and str(own) == str(error):
                return True
    return False


def describe(value, limit=None):
    if isinstance(value, np.ndarray):
        text = (f"np.array({value.tolist()!r}, dtype=np.{value.dtype})"
                f"{'' if value.flags.c_contiguous else '  # strided view'}")
    elif isinstance(value, array.array):
        text = f"array.array('d', {value.tolist()!r})"
    else:
        text = repr(value)
    if limit is not None and len(text) > limit:
        text = text[:limit] + "..."
    return text


def describe_call(name, args, kwargs, limit=None):
    parts = [describe(a, limit) for a in args] + [f"{k}={describe(v, limit)}" for k, v in kwargs.items()]
    return f"{name}({', '.join(parts)})"


def nan_same(a, b):
    if isinstance(a, float) and isinstance(b, float):
        return a == b or (math.isnan(a) and math.isnan(b))
    if isinstance(a, (list, tuple)) and isinstance(b, (list, tuple)):
        return type(a) is type(b) and len(a) == len(b) and all(nan_same(x, y) for x, y in zip(a, b))
    return type(a) is type(b) and a == b


# --------------------------------------------------------------------------------------------------------
# The worker: Hypothesis-driven fuzzing, run in a subprocess
# --------------------------------------------------------------------------------------------------------
# Bounded so that the whole file stays well under a minute; VORN_FUZZ_SCALE multiplies both for a long hunt.
_SCALE = max(1, int(os.environ.get("VORN_FUZZ_SCALE", "1")))
BATCH_EXAMPLES = 100 * _SCALE
CLASS_EXAMPLES = 120 * _SCALE


class Worker:
    def __init__(self, trace_path):
        self.trace_fd = os.open(trace_path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)

    def trace(self, text):
        data = text.encode("utf-8", "backslashreplace")
        os.lseek(self.trace_fd, 0, os.SEEK_SET)
        os.write(self.trace_fd, data)
        os.ftruncate(self.trace_fd, len(data))

    # ---- drawing inputs ------------------------------------------------------------------------------
    @staticmethod
    def draw_length(data):
        from hypothesis import strategies as st
        # The long bucket passes the 1000-slide point at which the sliding sums are rebuilt.
        return data.draw(st.one_of(st.sampled_from([0, 1, 2, 3]), st.integers(4, 30), st.integers(150, 400),
                                   st.sampled_from([0, 1, 2, 3, 5]), st.integers(4, 30), st.integers(150, 400),
                                   st.integers(1001, 2100)), label="n")

    @staticmethod
    def base_series(names, n, seed, style):
        rng = random.Random(seed)
        bars = {k: [] for k in ("open", "high", "low", "close", "volume")}
        walks = ([], [])
        x = 100.0
        w = [100.0, 50.0]
        for _ in range(n):
            x += rng.gauss(0, 1)
            spread = abs(rng.gauss(0, 1)) + 0.01
            high, low = x + rng.random() * spread, x - rng.random() * spread
            bars["high"].append(high)
            bars["low"].append(low)
            bars["open"].append(low + (high - low) * rng.random())
            bars["close"].append(low + (high - low) * rng.random())
            bars["volume"].append(rng.uniform(0.0, 1e6))
            w[0] += rng.gauss(0, 1)
            w[1] += rng.gauss(0, 1)
            walks[0].append(w[0])
            walks[1].append(w[1])
        other = {"values": walks[0], "x": walks[0], "values1": walks[0], "y_values": walks[0],
                 "asset_returns": [v / 100.0 - 1.0 for v in walks[0]],
                 "y": walks[1], "values2": walks[1], "benchmark_returns": [v / 50.0 - 1.0 for v in walks[1]]}
        out = []
        for name in names:
            s = list(bars.get(name) or other.get(name) or walks[len(out) % 2])
            if style == "const":
                s = [s[0] if s else 1.0] * n
            elif style == "huge":
                s = [v * 1e298 for v in s]
            elif style == "tiny":
                s = [v * 1e-302 for v in s]
            elif style == "negzero":
                s = [-0.0] * n
            elif style == "zero":
                s = [0.0] * n
            elif style == "alternating":
                s = [1.7e308 if i % 2 else -1.7e308 for i in range(n)]
            elif style == "integral":
                s = [float(round(v)) for v in s]
            elif style == "subnormal":
                s = [5e-324 * (i % 7) for i in range(n)]
            out.append(s)
        return out

    def draw_series_set(self, data, names, n, clean):
        from hypothesis import strategies as st
        seed = data.draw(st.integers(0, 2 ** 32 - 1), label="seed")
        style = "walk" if clean else data.draw(st.sampled_from(
            ["walk", "walk", "walk", "const", "huge", "tiny", "negzero", "zero", "alternating", "integral",
             "subnormal"]), label="style")
        series = self.base_series(names, n, seed, style)
        if not clean and len(series) > 1 and data.draw(st.integers(0, 5), label="mismatch?") == 0:
            i = data.draw(st.integers(0, len(series) - 1), label="mismatched series")
            m = data.draw(st.sampled_from([0, 1, max(n - 1, 0), n + 1, n + 7]), label="its length")
            series[i] = (series[i] + [1.0] * m)[:m]
        if not clean:
            for _ in range(data.draw(st.integers(0, 3), label="corruptions")):
                i = data.draw(st.integers(0, len(series) - 1), label="series")
                if series[i]:
                    where = data.draw(st.sampled_from(["first", "last", "middle", "random"]), label="where")
                    pos = {"first": 0, "last": len(series[i]) - 1, "middle": len(series[i]) // 2}.get(
                        where) if where != "random" else data.draw(st.integers(0, len(series[i]) - 1))
                    series[i][pos] = data.draw(st.sampled_from(SPECIAL_FLOATS), label="special")
        return [self.container(data, s, clean) for s in series]

    @staticmethod
    def container(data, s, clean):
        from hypothesis import strategies as st
        kinds = ["list", "list", "tuple", "f64", "i64", "f32", "strided", "array_d"]
        if not clean:
            kinds += ["lying", "hostile"]
        kind = data.draw(st.sampled_from(kinds), label="container")
        if kind == "tuple":
            return tuple(s)
        if kind == "f64":
            return np.array(s, dtype=np.float64)
        if kind == "i64":
            if all(math.isfinite(v) and abs(v) < 2 ** 62 for v in s):
                return np.array([round(v) for v in s], dtype=np.int64)
            return np.array(s, dtype=np.float64)
        if kind == "f32":
            with np.errstate(over="ignore"):
                return np.array(s, dtype=np.float32)
        if kind == "strided":
            base = np.zeros(2 * len(s) + 1, dtype=np.float64)
            view = base[1::2]
            view[:] = s
            return view
        if kind == "array_d":
            return array.array("d", s)
        if kind == "lying":
            hint = data.draw(st.sampled_from([2 ** 62, 2 ** 31, 0, None, len(s) + 1]), label="length hint")
            fail_at = data.draw(st.sampled_from([None, None, 0, len(s) // 2]), label="fail at")
            return LyingSeq(list(s), hint, fail_at if s else None)
        if kind == "hostile":
            obj = data.draw(st.sampled_from([
                None, "1.0,2.0", {1.0, 2.0}, {"a": 1.0}, 3.0, (v for v in s), [1.0, "a"], [1.0, None],
                [10 ** 400], [FloatLike(1.0)] * len(s), [IndexLike(2)] * len(s), [[1.0]], b"\x00" * 8,
                np.zeros((2, 2)), np.array(["a", "b"]), np.array(5.0), np.zeros((0, 3)),
                np.arange(6.0).reshape(6, 1), np.asfortranarray(np.arange(6.0).reshape(2, 3)),
                np.zeros(3, dtype=[("a", "f8")]), np.array([1.0, None], dtype=object),
                np.array([True, False]), np.arange(3, dtype=np.longdouble), np.arange(4, dtype=">f8"),
                np.array([2 ** 64 - 1], dtype=np.uint64), bytearray(b"abc"),
                "2-d memoryview",
            ]), label="hostile series")
            if isinstance(obj, str) and obj == "2-d memoryview":  # built here: Hypothesis hashes what it samples, a memoryview cannot be
                return memoryview(array.array("d", range(6))).cast("B").cast("d", [2, 3])
            return obj
        return list(s)

    @staticmethod
    def draw_count(data, n, clean):
        from hypothesis import strategies as st
        if clean:
            return data.draw(st.integers(1, max(1, min(n, 12))), label="count")
        edges = sorted({0, 1, 2, max(n - 1, 0), n, n + 1})
        return data.draw(st.one_of(
            st.integers(1, 12), st.sampled_from(edges), st.sampled_from(HUGE_COUNTS),
            st.sampled_from(HOSTILE_COUNTS), st.integers(0, 2 ** 64 - 1)), label="count")

    @staticmethod
    def draw_real(data, clean):
        from hypothesis import strategies as st
        if clean:
            return data.draw(st.floats(0.01, 5.0), label="real")
        return data.draw(st.one_of(
            st.floats(0.01, 5.0), st.sampled_from(SPECIAL_FLOATS + [-1.0, 0.5, 1.0, 2.0, 1e-10]),
            st.floats(allow_nan=True, allow_infinity=True), st.sampled_from(HOSTILE_REALS)), label="real")

    def draw_value(self, data, kind, n, clean, names_for_any=("values",)):
        from hypothesis import strategies as st
        head, parts = kind_parts(kind)
        if head == "count":
            return self.draw_count(data, n, clean)
        if head in ("real", "setting"):
            return self.draw_real(data, clean)
        if head == "flag":
            return data.draw(st.sampled_from([True, False] if clean else
                                             [True, False, None, 1, 0, np.bool_(True), "yes"]), label="flag")
        if head == "text":
            return data.draw(st.sampled_from(TEXTS if clean else TEXTS + HOSTILE_TEXTS), label="text")
        if head == "int64":
            if clean:
                return data.draw(st.integers(-2 ** 63, 2 ** 63 - 1), label="int64")
            return data.draw(st.one_of(st.integers(-2 ** 63, 2 ** 63 - 1), st.sampled_from(
                [0, -1, 2 ** 63, -2 ** 63 - 1, 1.5, None, "1", IndexLike(7)])), label="int64")
        if head == "levels":
            return self.draw_reals(data, LEVEL_COUNT, clean, as_tuple=True)
        if head in ("reals", "settings"):
            return self.draw_reals(data, int(parts[0]), clean, as_tuple=False)
        if head == "list":
            return self.draw_list(data, parts[0], n, clean)
        if head == "tuple":
            return self.draw_tuple(data, parts, n, clean)
        if head == "series":
            return self.draw_series_set(data, list(names_for_any), n, clean)[0]
        return self.draw_any(data, n, clean)

    def draw_reals(self, data, count, clean, as_tuple):
        """Exactly COUNT floats (a tuple where the binding takes only a tuple); unclean draws also give other
        lengths, other containers and items that are no floats."""
        from hypothesis import strategies as st
        if clean:
            return tuple(data.draw(st.lists(st.floats(0.01, 5.0), min_size=count, max_size=count), label="reals"))
        how = data.draw(st.sampled_from(["exact", "exact", "length", "container", "item", "hostile"]), label="reals how")
        if how == "hostile":
            return data.draw(st.sampled_from([None, 1.0, "1.0", (), b"\x00" * 8, {1.0: 2.0}]), label="reals")
        length = count if how != "length" else data.draw(
            st.sampled_from(sorted({0, 1, count - 1, count + 1, 2 * count})), label="reals length")
        items = [data.draw(st.one_of(st.floats(0.01, 5.0), st.sampled_from(SPECIAL_FLOATS)), label="real")
                 for _ in range(length)]
        if how == "item" and items:
            items[data.draw(st.integers(0, length - 1), label="bad item")] = data.draw(
                st.sampled_from(HOSTILE_REALS), label="item")
        if how == "container":
            kind = data.draw(st.sampled_from(["list", "ndarray", "array_d", "lying"]), label="reals container")
            if kind == "ndarray":
                return np.array(items, dtype=np.float64)
            if kind == "array_d":
                return array.array("d", items)
            if kind == "lying":
                return LyingSeq(items, data.draw(st.sampled_from([2 ** 62, count, None]), label="hint"),
                                data.draw(st.sampled_from([None, 0]), label="fail at") if items else None)
            return items
        return tuple(items) if as_tuple or data.draw(st.booleans(), label="tuple?") else items

    def draw_list(self, data, item_kind, n, clean):
        """A sequence of ITEM_KIND values: as long as the series in a clean call (at most 12), otherwise
        of an edge length, with some items unclean, or a container that is no list at all."""
        from hypothesis import strategies as st
        m = max(1, min(n, 12))
        if clean:
            return [self.draw_value(data, item_kind, n, True) for _ in range(m)]
        how = data.draw(st.sampled_from(["list", "list", "tuple", "lying", "hostile"]), label="list how")
        if how == "hostile":
            return data.draw(st.sampled_from([None, 1, "ab", b"ab", {1: 2}, (v for v in range(3))]), label="list")
        length = data.draw(st.sampled_from(sorted({0, 1, m, m + 1})), label="list length")
        items = [self.draw_value(data, item_kind, n, data.draw(st.integers(0, 7), label="item clean?") != 0)
                 for _ in range(length)]
        if how == "tuple":
            return tuple(items)
        if how == "lying":
            return LyingSeq(items, data.draw(st.sampled_from([2 ** 62, 0, None]), label="hint"),
                            data.draw(st.sampled_from([None, length // 2]), label="fail at") if items else None)
        return items

    def draw_tuple(self, data, item_kinds, n, clean):
        """A tuple of the given kinds in order; unclean draws also give another arity or a list."""
        from hypothesis import strategies as st
        items = [self.draw_value(data, k, n, clean) for k in item_kinds]
        if clean:
            return tuple(items)
        how = data.draw(st.sampled_from(["tuple", "tuple", "list", "short", "long", "none"]), label="tuple how")
        if how == "list":
            return items
        if how == "short":
            return tuple(items[:-1])
        if how == "long":
            return tuple(items + items[-1:])
        if how == "none":
            return None
        return tuple(items)

    def draw_any(self, data, n, clean):
        from hypothesis import strategies as st
        k = data.draw(st.sampled_from(["count", "real", "flag", "text", "series", "none"]), label="any kind")
        if k == "none":
            return None
        return self.draw_value(data, k, n, clean)

    # ---- one batch function --------------------------------------------------------------------------
    def fuzz_function(self, name):
        from hypothesis import given, settings, HealthCheck, strategies as st

        fn = getattr(vl, name)
        params = parameters(name)
        check_shape = shape_checked(name, params)
        series_names = [p for p, k, _ in params if k == "series"]

        def call_once(data):
            clean = data.draw(st.integers(0, 3), label="clean?") == 0
            n = self.draw_length(data)
            if clean and n == 0:
                n = 1
            series = iter(self.draw_series_set(data, series_names, n, clean)) if series_names else iter(())
            values = []
            for pname, kind, _ in params:
                if kind == "series":
                    values.append(next(series))
                elif kind == "any":
                    values.append(self.draw_any(data, n, clean))
                else:
                    values.append(self.draw_value(data, kind, n, clean))
            # Leave out some trailing omissible parameters, pass the rest by position or keyword.
            omissible = 0
            while omissible < len(params) and params[len(params) - 1 - omissible][2]:
                omissible += 1
            drop = data.draw(st.integers(0, omissible), label="left out") if omissible else 0
            kept = len(params) - drop
            by_kw = data.draw(st.integers(0, kept), label="first keyword") if kept else 0
            args = values[:by_kw]
            kwargs = {params[i][0]: values[i] for i in range(by_kw, kept)}
            accepted[0] += self.run_call(name, fn, args, kwargs, check_shape)

        accepted = [0]
        self.sweep_edges(name, fn, params, check_shape)
        self.sweep_reentrant(name, fn, params)
        test = settings(max_examples=BATCH_EXAMPLES, derandomize=True, database=None, deadline=None,
                        suppress_health_check=list(HealthCheck), print_blob=False)(given(st.data())(call_once))
        test()
        if not accepted[0]:
            raise AssertionError(f"none of {BATCH_EXAMPLES} drawn calls of {name} was accepted: the kinds "
                                 f"{[k for _, k, _ in params]} do not reach its kernel")

    def run_call(self, name, fn, args, kwargs, check_shape):
        """One call held to the promises; True when it was accepted (returned a result)."""
        inputs = list(args) + list(kwargs.values())
        snaps = [snapshot(v) for v in inputs]
        self.trace(describe_call(name, args, kwargs))
        try:
            result = fn(*args, **kwargs)
        except ALLOWED as e:
            result, error = None, e
        except BaseException as e:  # PanicException derives from BaseException
            if own_error(inputs, e):
                return False
            raise AssertionError(f"{describe_call(name, args, kwargs, 2000)} raised "
                                 f"{type(e).__module__}.{type(e).__qualname__}: {e}") from None
        else:
            error = None
        for v, s in zip(inputs, snaps):
            if not unchanged(v, s):
                raise AssertionError(f"{describe_call(name, args, kwargs, 2000)} changed its input {describe(v, 2000)}")
        if error is not None:
            return False
        for v in inputs:
            if v is None or isinstance(v, (int, float, str)):
                continue  # immutable scalars: CPython shares None and small ints, so an equal one is no copy
            if v is result or (isinstance(result, tuple) and any(v is r for r in result)):
                raise AssertionError(f"{describe_call(name, args, kwargs, 2000)} returned an input object")
        if check_shape:
            first = inputs[0] if inputs else None
            n = len(first.items) if isinstance(first, LyingSeq) else len(first)
            parts = result if isinstance(result, tuple) else (result,)
            if not parts or not all(type(p) is list and len(p) == n and all(type(x) is float for x in p)
                                    for p in parts):
                shape = [f"{type(p).__name__}[{len(p) if hasattr(p, '__len__') else '-'}]" for p in parts]
                raise AssertionError(f"{describe_call(name, args, kwargs, 2000)} returned {shape}, "
                                     f"expected lists of {n} floats")
        return True

    def sweep_edges(self, name, fn, params, check_shape):
        """Every count parameter alone at each edge value, the others at 2, over short and long inputs."""
        series_names = [p for p, k, _ in params if k == "series"]
        for n in (1, 2, 5, 64):
            base = self.base_series(series_names, n, n, "walk")
            for i, (pname, kind, _) in enumerate(params):
                if kind != "count":
                    continue
                for edge in sorted({0, 1, max(n - 1, 0), n, n + 1}) + HUGE_COUNTS:
                    it = iter(base)
                    args = [list(next(it)) if k == "series" else tame(k) for _, k, _ in params]
                    args[i] = edge
                    self.run_call(name, fn, args, {}, check_shape)

    def sweep_reentrant(self, name, fn, params):
        """Series whose items, while being converted, resize or rewrite the very list being read, or call
        the same function again: the conversion may see either state, but must not read freed memory."""
        series_at = [i for i, (_, k, _) in enumerate(params) if k == "series"]
        if not series_at:
            return
        actions = {
            "clear": lambda lst: lst.clear(),
            "grow": lambda lst: lst.extend([2.0] * 4096),
            "shrink": lambda lst: lst.__delitem__(slice(1, None)),
            "rewrite": lambda lst: lst.__setitem__(slice(None), [NAN] * len(lst)),
            "recurse": lambda lst: fn(*[[float(i) for i in range(40)] if k == "series" else tame(k, 3)
                                        for _, k, _ in params]),
        }
        for what, act in actions.items():
            for target in series_at:
                args = []
                for _, k, _ in params:
                    args.append([float(100 + i) for i in range(40)] if k == "series" else tame(k, 3))
                victim = args[target]
                for pos in (0, 7, 39):
                    victim[pos] = SideEffect(victim, act, what)
                self.trace(f"{describe_call(name, args, {})}  # items {what} the list while it is read")
                try:
                    fn(*args)
                except ALLOWED:
                    pass
                except BaseException as e:
                    raise AssertionError(f"{name} over a list whose items {what} it raised "
                                         f"{type(e).__module__}.{type(e).__qualname__}: {e}") from None

    # ---- one class ---------------------------------------------------------------------------------
    def fuzz_class(self, name):
        from hypothesis import given, settings, HealthCheck, strategies as st

        cls = getattr(vl, name)
        try:
            ctor = parameters(name, "__new__")
        except ValueError:
            ctor = None  # a record: calling the class must be refused
        methods, attributes = {}, []
        for attr, obj in vars(cls).items():
            if attr.startswith("_"):
                continue
            if inspect.isdatadescriptor(obj):
                attributes.append(attr)
            elif callable(obj):
                try:
                    sig = list(inspect.signature(obj).parameters.values())
                except (ValueError, TypeError):
                    continue
                if sig and sig[0].name == "self":
                    methods[attr] = [(p, k) for p, k, _ in parameters(name, attr)]
                else:
                    methods[attr] = None  # static: called on the class
        streaming = "update" in methods and "reset" in methods

        def example(data):
            if ctor is None:
                self.expect_refusal(f"{name}()", cls)
                return
            clean = data.draw(st.integers(0, 2), label="clean ctor?") == 0
            args = [self.draw_value(data, k, 8, clean) if k != "count" or not clean
                    else data.draw(st.integers(1, 6)) for _, k, _ in ctor]
            obj, twin = self.construct(name, cls, args, streaming)
            if obj is None:
                return
            moderate = data.draw(st.booleans(), label="moderate values?")
            burst_done = False
            for _ in range(data.draw(st.integers(0, 60), label="ops")):
                op = data.draw(st.sampled_from(sorted(methods) + [f"@{a}" for a in attributes]
                                               + (["!burst"] if streaming and not burst_done else [])), label="op")
                if op == "!burst":
                    burst_done = True
                    self.burst(data, name, obj, twin if moderate else None, methods["update"])
                    continue
                if op.startswith("@"):
                    self.poke_attribute(data, name, obj, op[1:])
                    continue
                mparams = methods[op]
                if mparams is None:
                    self.guarded(f"{name}.{op}()", getattr(cls, op))
                    continue
                margs = []
                if streaming and any(k == "real" for _, k in mparams) and data.draw(
                        st.integers(0, 11), label="re-enter?") == 0:
                    self.reenter(data, name, obj, twin if moderate else None, op, mparams, methods)
                    continue
                for pname, kind in mparams:
                    if kind == "real" and moderate:
                        # Refused values only of the kinds refused before any state changes, so that the
                        # twin below can hold the object to "a refused call changes nothing".
                        if data.draw(st.integers(0, 7), label="bad?") != 0:
                            margs.append(data.draw(st.floats(-1000.0, 1000.0), label=pname))
                        else:
                            margs.append(data.draw(st.sampled_from(MODERATE_BAD), label=pname))
                    else:
                        margs.append(self.draw_value(data, kind, 12, False))
                self.call_member(name, op, obj, twin if moderate else None, margs)

        self.trace(f"{name}: introspection")
        test = settings(max_examples=CLASS_EXAMPLES, derandomize=True, database=None, deadline=None,
                        suppress_health_check=list(HealthCheck), print_blob=False)(given(st.data())(example))
        test()

    def guarded(self, text, fn, *args, allowed=ALLOWED):
        snaps = [snapshot(a) for a in args]
        self.trace(text + " " + ", ".join(describe(a) for a in args))
        try:
            result = fn(*args)
        except allowed as e:
            result = e
        except BaseException as e:
            if own_error(args, e):
                return e
            raise AssertionError(f"{text} with {', '.join(describe(a, 2000) for a in args)} raised "
                                 f"{type(e).__module__}.{type(e).__qualname__}: {e}") from None
        for a, s in zip(args, snaps):
            if not unchanged(a, s):
                raise AssertionError(f"{text} changed its input {describe(a, 2000)}")
        return result

    def expect_refusal(self, text, cls):
        result = self.guarded(text, cls)
        if not isinstance(result, TypeError):
            raise AssertionError(f"{text} built an instance of a class without a constructor")

    def construct(self, name, cls, args, streaming):
        # A streaming constructor reserves its window up front; a period of billions may fail to allocate.
        allowed = ALLOWED + (MemoryError,) if streaming else ALLOWED
        obj = self.guarded(f"{name}{tuple(args)!r}", cls, *args, allowed=allowed)
        if isinstance(obj, BaseException):
            return None, None
        twin = None
        if streaming:
            twin = self.guarded(f"{name}{tuple(args)!r} (twin)", cls, *args, allowed=allowed)
            if isinstance(twin, BaseException):
                raise AssertionError(f"{name}{tuple(args)!r} succeeded once and then failed: {twin!r}")
        return obj, twin

    def call_member(self, cname, op, obj, twin, args):
        """Call obj.op(*args); a twin that only ever sees the accepted calls must answer the same."""
        result = self.guarded(f"{cname}.{op}", getattr(obj, op), *args)
        if twin is None:
            return
        if isinstance(result, BaseException):
            return  # a refused call must leave the state exactly as it was: the twin never sees it
        expect = self.guarded(f"{cname}.{op} (twin)", getattr(twin, op), *args)
        if isinstance(expect, BaseException) or not nan_same(self.plain(result), self.plain(expect)):
            raise AssertionError(f"{cname}.{op}{tuple(args)!r} returned {result!r}, but an object that never saw "
                                 f"the refused calls returned {expect!r}: a refused call changed the state")

    def burst(self, data, cname, obj, twin, mparams):
        """A thousand or two updates at once, past the point where windows rebuild their running sums."""
        from hypothesis import strategies as st
        count = data.draw(st.integers(900, 2100), label="burst length")
        seed = data.draw(st.integers(0, 2 ** 32 - 1), label="burst seed")
        scale = 1.0 if twin is not None else data.draw(st.sampled_from([1.0, 1e300, 1e-300, 0.0]), label="scale")
        self.trace(f"{cname}.update burst of {count} values, seed {seed}, scale {scale}, 2% NaN")
        rng = random.Random(seed)
        width = len(mparams)
        for i in range(count):
            x = rng.gauss(100.0, 10.0) * scale
            args = [x + 1.0, x - 1.0, x] if width == 3 else [x] * width
            if rng.random() < 0.02:
                args[rng.randrange(width)] = NAN
            try:
                got = obj.update(*args)
            except ALLOWED:
                continue  # refused: the twin never sees it
            except BaseException as e:
                raise AssertionError(f"{cname}.update{tuple(args)!r} at step {i} of a burst (seed {seed}, "
                                     f"scale {scale}) raised {type(e).__module__}.{type(e).__qualname__}: {e}")
            if twin is not None:
                want = twin.update(*args)
                if not nan_same(self.plain(got), self.plain(want)):
                    raise AssertionError(f"{cname}.update{tuple(args)!r} at step {i} of a burst (seed {seed}) "
                                         f"returned {got!r}, an object that never saw the refused calls {want!r}")

    def reenter(self, data, cname, obj, twin, op, mparams, methods):
        """obj.op(...) with an argument whose conversion calls obj.other(): the inner call meets the outer
        call's access and is refused with RuntimeError, which the outer call passes on, changing nothing."""
        from hypothesis import strategies as st
        inner = data.draw(st.sampled_from(sorted(m for m, p in methods.items() if p is not None)), label="inner")
        inner_args = [1.0 if k == "real" else 1 for _, k in methods[inner]]
        args = [1.0] * len(mparams)
        args[0] = Reentrant(lambda: getattr(obj, inner)(*inner_args), f"{cname}.{inner}{tuple(inner_args)}")
        text = f"{cname}.{op} with {args[0]!r}"
        result = self.guarded(text, getattr(obj, op), *args, allowed=ALLOWED + (RuntimeError,))
        if isinstance(result, RuntimeError):
            if str(result) not in ("Already borrowed", "Already mutably borrowed"):
                raise AssertionError(f"{text} raised RuntimeError {result}, not an access conflict")
            return
        if isinstance(result, BaseException) or twin is None:
            return
        # The inner call got through (an access that does not conflict): the twin makes both calls.
        self.guarded(f"{cname}.{inner} (twin)", getattr(twin, inner), *inner_args)
        expect = self.guarded(f"{cname}.{op} (twin)", getattr(twin, op), *[1.0] * len(mparams))
        if not nan_same(self.plain(result), self.plain(expect)):
            raise AssertionError(f"{text} returned {result!r}, the same calls made one after the other {expect!r}")

    @staticmethod
    def plain(v):
        if isinstance(v, (type(None), bool, int, float, str, tuple, list)):
            return v
        return tuple(sorted((a, repr(getattr(v, a))) for a in dir(v) if not a.startswith("_")))

    def poke_attribute(self, data, cname, obj, attr):
        from hypothesis import strategies as st
        action = data.draw(st.sampled_from(["get", "get", "set", "del"]), label="attribute action")
        allowed = ALLOWED + (AttributeError,)
        if action == "get":
            self.guarded(f"{cname}.{attr} (get)", lambda: getattr(obj, attr))
        elif action == "set":
            value = self.draw_value(data, attribute_kind(cname, attr), 4, False)
            self.guarded(f"{cname}.{attr} = ", lambda v: setattr(obj, attr, v), value, allowed=allowed)
        else:
            self.guarded(f"del {cname}.{attr}", lambda: delattr(obj, attr), allowed=allowed)


def worker_main(trace_path, names):
    """Fuzz each name in turn; one JSON line per name on stdout, a START line before it."""
    worker = Worker(trace_path)
    for name in names:
        print("START " + name, flush=True)
        obj = getattr(vl, name)
        try:
            if isinstance(obj, type):
                worker.fuzz_class(name)
            else:
                worker.fuzz_function(name)
            outcome = {"name": name, "ok": True}
        except BaseException as e:
            if isinstance(e, KeyboardInterrupt):
                raise
            outcome = {"name": name, "ok": False, "message": f"{type(e).__name__}: {e}"[:6000]}
        print("RESULT " + json.dumps(outcome), flush=True)


# --------------------------------------------------------------------------------------------------------
# The parent: workers in subprocesses, crashes turned into failures
# --------------------------------------------------------------------------------------------------------
WORKERS = max(1, min(8, os.cpu_count() or 1))
WORKER_TIMEOUT = 240 * _SCALE


WORKER_CODE = ("import sys; sys.path.insert(0, sys.argv[1]); import fuzzer as t; "
               "t.worker_main(sys.argv[2], sys.argv[3:])")


def run_workers(names, tmp_dir, code=WORKER_CODE, timeout=None, workers=WORKERS):
    """Run the worker code over names in parallel subprocesses; a worker that dies or hangs costs only the
    function it was on, whose result then carries the last call written to the trace file."""
    here = os.path.dirname(os.path.abspath(__file__))
    timeout = WORKER_TIMEOUT if timeout is None else timeout
    results = {}
    queues = [names[i::workers] for i in range(workers)]
    running = []

    def launch(index, queue):
        trace = os.path.join(tmp_dir, f"trace-{index}-{len(queue)}.txt")
        proc = subprocess.Popen([sys.executable, "-c", code, here, trace, *queue], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        running.append((proc, queue, trace, index))

    for i, q in enumerate(queues):
        if q:
            launch(i, q)
    while running:
        proc, queue, trace, index = running.pop(0)
        try:
            out, err = proc.communicate(timeout=timeout)
            hung = False
        except subprocess.TimeoutExpired:
            proc.kill()
            out, err = proc.communicate()
            hung = True
        started = None
        for line in out.splitlines():
            if line.startswith("START "):
                started = line[6:]
            elif line.startswith("RESULT "):
                outcome = json.loads(line[7:])
                results[outcome["name"]] = outcome
                started = None
        if started is not None:
            try:
                with open(trace, encoding="utf-8") as f:
                    last_call = f.read()
            except OSError:
                last_call = "(no call recorded)"
            if hung:
                how = f"did not finish within {timeout} s"
            elif proc.returncode < 0:
                how = f"crashed the interpreter with {signal.Signals(-proc.returncode).name}"
            else:
                how = f"ended the interpreter with exit status {proc.returncode}"
            results[started] = {"name": started, "ok": False,
                                "message": f"{how} during {last_call[:6000]}\nstderr:\n{err[-3000:]}"}
            rest = queue[queue.index(started) + 1:]
            if rest:
                launch(index, rest)
        elif proc.returncode != 0:
            for name in queue:
                results.setdefault(name, {"name": name, "ok": False,
                                          "message": f"worker failed before {name}: {err[-3000:]}"})
    return results
