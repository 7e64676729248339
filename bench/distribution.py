"""Every registered series function against the conversion floor of its own shape.

    make bench-dist                                   # 2x10^5 bars, the distribution
    .venv/bin/python bench/distribution.py --bars 50000,200000 --table --json after.json
    .venv/bin/python bench/distribution.py --compare before.json after.json
    .venv/bin/python bench/distribution.py --against ../baseline/build/python   # two builds, same rounds

A function's floor is what the binding layer alone costs for a call of its shape, built
with the library's own conversion code (the benchmark-only module vorn_bench_floor): one
list round trip, each further input converted, each further output list built, all of
the outputs kept alive together as a returned tuple's lists are. Its ratio is the median,
over paired runs, of (function time / floor time), the two taken back to back in
alternating order, so that a busy spell of the machine weighs on both sides alike.

The distribution (median, 90th percentile, worst) covers the functions whose every output
is as long as the input and whose cost grows linearly (a list of rows of levels counts as
one list per level); the rest (pattern records, swing lists, feature matrices, trained
models, the nearest-neighbour index) are timed and listed apart, since their floor is not
of the same kind.

When TA-Lib's Python binding happens to be installed (never a dependency of the build or
the tests), each function both libraries offer is also timed on the same NumPy float64
bars: the C++ time is the call on NumPy input (one buffer copy per series) less the same
conversions and output lists through the floor module, beside that library's C time.
"""
import argparse
import gc
import inspect
import json
import math
import os
import pathlib
import re
import statistics
import sys
import time

# NumPy's BLAS threads would spin beside the timed calls after any BLAS work.
os.environ.setdefault("OPENBLAS_NUM_THREADS", "1")
os.environ.setdefault("OMP_NUM_THREADS", "1")
import numpy as np  # noqa: E402

try:
    import vorn_bench_floor as floor
    import vorn_library.vorn_library as vl
except ImportError:  # --compare reads two result files and needs neither
    floor = vl = None

# The bar series each parameter name reads.
SERIES = {
    "open": "open", "high": "high", "low": "low", "close": "close", "volume": "volume",
    "values": "close", "values1": "close", "values2": "open", "x": "close", "y": "open",
    "y_values": "close", "prices": "close", "price": "close", "indicator": "rsi", "rsi": "rsi",
    "asset_returns": "ret1", "benchmark_returns": "ret2",
    "tenkan_sen": "close", "kijun_sen": "open", "senkou_span_a": "high", "senkou_span_b": "low",
    "chikou_span": "close", "buy1": "buy", "sell1": "sell", "buy2": "sell", "sell2": "buy",
    "atr_values": "atr", "atr": "atr", "buy_signals": "buy", "sell_signals": "sell", "direction": "dir",
}
# Functions of a single bar's prices (the pivot rows), timed by bench/run.py as per-call updates.
SINGLE_BAR = {"py_standard_pivots", "py_classic_pivots", "py_fibonacci_pivots", "py_camarilla_pivots",
              "py_woodie_pivots", "py_demark_pivots"}
# Functions of a few prices or a row of levels, no series.
SCALAR_PRICES = {"py_fib_retracement", "py_fib_extension", "py_fibonacci_retracement", "py_fibonacci_extension",
                 "py_detect_fib_touch", "py_fib_fan_lines", "py_fib_time_zones", "py_detect_pivot_touch",
                 "py_pivot_zone"}
# Inputs confined to [-1, 1].
UNIT_INPUT = {"py_asin", "py_acos"}
# Growth above linear by design of today's search (timed, kept out of the distribution).
NOT_LINEAR = {"py_ai_momentum_index"}
# Required scalars that refuse None: usual values.
PERIOD = {"py_sma": 20, "py_ema": 20, "py_wma": 20, "py_hma": 20, "py_dema": 20, "py_tema": 20, "py_rma": 20,
          "py_zlma": 20, "py_trima": 30, "py_max": 30, "py_min": 30, "py_sum": 30, "py_correl": 30,
          "py_minmax": 30, "py_minmaxindex": 30, "py_var": 5}
GUESS = {"period": 14, "lookback": 20, "num_bins": 20, "method": "standard", "fast_limit": 0.5,
         "slow_limit": 0.05, "start_value": 0.0, "offset_on_reverse": 0.0, "af_init_long": 0.02,
         "af_long": 0.02, "af_max_long": 0.2, "af_init_short": 0.02, "af_short": 0.02, "af_max_short": 0.2,
         "offset": 0.85, "sigma": 6.0, "threshold": 0.1, "weight1": 0.5, "sl_multiplier": 2.0,
         "tp_multiplier": 3.0, "multiplier": 3.0, "model_type": "ridge", "use_polynomial": False}


def make_bars(n, seed=1):
    """A random walk with OHLCV bars and the derived series some functions read; each as a
    list of floats and as a NumPy float64 array."""
    rng = np.random.default_rng(seed)
    r = rng.normal(0, 0.01, n)
    c = 100.0 * np.exp(np.cumsum(r))
    o = np.empty(n)
    o[0] = 100.0
    o[1:] = c[:-1]
    h = np.maximum(o, c) * (1 + np.abs(rng.normal(0, 0.004, n)))
    l = np.minimum(o, c) * (1 - np.abs(rng.normal(0, 0.004, n)))
    v = 1e6 * (1 + np.abs(rng.normal(0, 1, n)))
    prev = np.r_[c[0], c[:-1]]
    tr = np.maximum(h - l, np.maximum(np.abs(h - prev), np.abs(l - prev)))
    atr = np.convolve(tr, np.ones(14) / 14, mode="same")
    rsi = 50 + 50 * np.tanh(np.convolve(c - prev, np.ones(14), mode="same") / (atr * 4))
    arrays = {"open": o, "high": h, "low": l, "close": c, "volume": v, "atr": atr, "rsi": rsi,
              "buy": (rng.random(n) < 0.05).astype(float), "sell": (rng.random(n) < 0.05).astype(float),
              "dir": np.where(np.sin(np.arange(n) / 50.0) > 0, 1.0, -1.0), "unit": np.sin(c),
              "ret1": r, "ret2": np.roll(r, 1) * 0.8 + r * 0.2}
    return {k: a.tolist() for k, a in arrays.items()}, arrays


def parameters(name):
    return list(inspect.signature(getattr(vl, name)).parameters.values())


def series_functions():
    """Every function but those named above as taking no series: one whose series this file
    cannot feed fails the run by name rather than drop out of the distribution."""
    return [name for name in vl.__all__ if name.startswith("py_") and name not in SINGLE_BAR | SCALAR_PRICES]


class Call:
    """How to call one function: which bar series feed which parameter, and every scalar
    given explicitly (its signature default, else None where accepted, else a usual value)."""

    def __init__(self, name, small):
        self.name = name
        self.fn = getattr(vl, name)
        defaults = {p.name: p.default for p in parameters(name) if p.default is not inspect.Parameter.empty}
        self.series = [p.name for p in parameters(name) if p.name in SERIES]
        self.scalars = {p.name: defaults.get(p.name) for p in parameters(name) if p.name not in SERIES}
        self.error = None
        # A few text signatures name parameters the binding does not take (or omit one it
        # needs), so the binding's own refusals are read and the call adjusted.
        for _ in range(len(self.scalars) + 8):
            try:
                self.fn(**self.kwargs(small))
                return
            except TypeError as e:
                msg = str(e)
                if m := re.search(r"missing \d+ required (?:positional|keyword-only) arguments?: (.*)$", msg):
                    for key in re.findall(r"'(\w+)'", m.group(1)):
                        if key in SERIES:
                            self.series.append(key)
                        else:
                            self.scalars[key] = None
                    continue
                if (m := re.search(r"unexpected keyword argument '(\w+)'", msg)) and m.group(1) in self.scalars:
                    del self.scalars[m.group(1)]
                    continue
                m = re.search(r"argument '(\w+)'", msg)
                if not (m and m.group(1) in self.scalars and self.scalars[m.group(1)] is None):
                    self.error = f"TypeError: {msg}"
                    return
                key = m.group(1)
                self.scalars[key] = PERIOD.get(name, 14) if key == "period" else GUESS.get(key, 14)
            except Exception as e:  # noqa: BLE001 - reported, not fatal to the run
                self.error = f"{type(e).__name__}: {e}"
                return
        self.error = "no accepted argument set"

    def kwargs(self, bars):
        kw = {k: bars["unit" if self.name in UNIT_INPUT else SERIES[k]] for k in self.series}
        kw.update(self.scalars)
        return kw


def output_lengths(result):
    """The float lists a result amounts to, by length: a list of rows (tuples of levels, dicts
    of levels) counts as one list per field, as long as the rows; scalars and records count
    as nothing."""
    if isinstance(result, list):
        if result and isinstance(result[-1], (tuple, dict)):  # early rows may be empty
            return [len(result)] * max(len(result[0]), len(result[-1]))
        return [len(result)]
    if isinstance(result, tuple):
        return [len(x) for x in result if isinstance(x, list)]
    return []


def floor_of(inputs, out_lengths):
    """The binding layer's cost for a call of this shape: one round trip of the first input,
    each further input converted, each further output built, the outputs alive together
    until the call ends. `inputs` are the call's own lists: converting one list k times
    would find its floats in cache from the second time on, which k distinct lists do not."""
    first, rest_in = (inputs[0], inputs[1:]) if inputs else (None, [])
    if first is not None and out_lengths and out_lengths[0] == len(first):
        rest_out = out_lengths[1:]

        def run():
            kept = [floor.roundtrip(first)]
            for series in rest_in:
                floor.consume(series)
            kept += [floor.emit(k) for k in rest_out]
            return kept
        return run

    def run_apart():  # outputs of another length (or none): every input converted, then those
        for series in inputs:
            floor.consume(series)
        return [floor.emit(k) for k in out_lengths]
    return run_apart


def once(fn):
    t = time.perf_counter()
    kept = fn()
    t = time.perf_counter() - t
    del kept
    return t


def paired(fns, base, pairs):
    """For each of fns, the median of fn/base over rounds in which base and every fn run back
    to back (the order rotating from round to round), with the median times."""
    k = len(fns)
    ratios = [[] for _ in fns]
    times = [[] for _ in fns]
    t_base = []
    for i in range(pairs):
        order = [(j + i) % (k + 1) for j in range(k + 1)]  # k stands for base
        took = {}
        for j in order:
            took[j] = once(base if j == k else fns[j])
        t_base.append(took[k])
        for j in range(k):
            ratios[j].append(took[j] / took[k])
            times[j].append(took[j])
    return [(statistics.median(r), statistics.median(t), statistics.median(t_base)) for r, t in zip(ratios, times)]


def percentile(values, q):
    """Linear interpolation between closest ranks (NumPy's default)."""
    return float(np.percentile(np.asarray(values, dtype=float), q)) if values else math.nan


def time_functions(n, names, pairs, small, log, same_input=False, against=None):
    """Per-function rows for this module and, when `against` (another build's module) is
    given, for that module too, timed in the same rounds against the same floor."""
    bars, _ = make_bars(n)
    rows, other = {}, {}
    gc_was = gc.isenabled()
    gc.disable()
    try:
        for name in names:
            call = Call(name, small)
            if call.error:
                rows[name] = {"error": call.error}
                continue
            kw = call.kwargs(bars)
            fns = [lambda: call.fn(**kw)]
            if against is not None and hasattr(against, name):
                fns.append(lambda f=getattr(against, name): f(**kw))
            t0 = time.perf_counter()
            try:
                for f in fns[1:]:
                    f()  # its first call, so that neither side times its first use of memory
                result = fns[0]()
            except Exception as e:  # noqa: BLE001
                rows[name] = {"error": f"{type(e).__name__}: {e}"}
                continue
            first = (time.perf_counter() - t0) / len(fns)
            out_lengths = output_lengths(result)
            del result
            linear = bool(out_lengths) and set(out_lengths) == {n} and name not in NOT_LINEAR
            reps = pairs if first < 0.25 else max(3, min(pairs, int(2.0 / first) | 1))
            inputs = [bars["close"] if same_input else kw[k] for k in call.series]
            timed = paired(fns, floor_of(inputs, out_lengths), reps)
            for target, (ratio, t_fn, t_floor) in zip((rows, other), timed):
                target[name] = {"ratio": ratio, "ms": t_fn * 1e3, "floor_ms": t_floor * 1e3,
                                "inputs": len(call.series), "outputs": len(out_lengths), "series_shaped": linear,
                                "pairs": reps}
            line = f"  {name:<40} {timed[0][0]:7.2f}x  {timed[0][1] * 1e3:9.2f} ms"
            if len(timed) > 1:
                line += f"   (against {timed[1][0]:.2f}x)"
            log(line)
    finally:
        if gc_was:
            gc.enable()
    return rows, other


def distribution(rows):
    ratios = sorted(((r["ratio"], name) for name, r in rows.items() if r.get("series_shaped")), reverse=True)
    values = [x for x, _ in ratios]
    return {"count": len(values), "median": percentile(values, 50), "p90": percentile(values, 90), "worst": ratios}


def print_distribution(n, rows, worst, table):
    d = distribution(rows)
    print(f"\n{n:,} bars, {d['count']} series-shaped functions: median {d['median']:.2f}x the floor, "
          f"90th percentile {d['p90']:.2f}x")
    print(f"  worst {worst}:")
    for ratio, name in d["worst"][:worst]:
        r = rows[name]
        print(f"    {name:<40} {ratio:6.2f}x  {r['ms']:9.2f} ms  ({r['inputs']} in, {r['outputs']} out)")
    apart = sorted((name for name, r in rows.items() if "ratio" in r and not r["series_shaped"]))
    if apart:
        print("  outside the distribution (other shapes, or growth above linear):")
        for name in apart:
            r = rows[name]
            print(f"    {name:<40} {r['ratio']:8.2f}x  {r['ms']:9.2f} ms")
    failed = sorted(name for name, r in rows.items() if "error" in r)
    for name in failed:
        print(f"  not timed: {name}: {rows[name]['error']}")
    if table:
        print("  every function, by name:")
        for name in sorted(rows):
            r = rows[name]
            if "ratio" in r:
                print(f"    {name:<40} {r['ratio']:6.2f}x  {r['ms']:9.2f} ms  floor {r['floor_ms']:7.2f} ms")


def compare_rows(size, a, b, worst):
    da, db = distribution(a), distribution(b)
    print(f"\n{int(size):,} bars: median {da['median']:.2f}x -> {db['median']:.2f}x, "
          f"90th percentile {da['p90']:.2f}x -> {db['p90']:.2f}x ({da['count']} -> {db['count']} functions)")
    both = [n for n in a if n in b and "ratio" in a[n] and "ratio" in b[n]]
    moved = sorted(both, key=lambda n: b[n]["ratio"] / a[n]["ratio"])
    better = [n for n in moved if b[n]["ratio"] < a[n]["ratio"]][:worst]
    worse = [n for n in reversed(moved) if b[n]["ratio"] > a[n]["ratio"]][:worst]
    for title, names in (("most improved", better), ("most worsened", worse)):
        print(f"  {title}:")
        for n in names:
            print(f"    {n:<40} {a[n]['ratio']:6.2f}x -> {b[n]['ratio']:6.2f}x")


def compare(old_path, new_path, worst):
    old, new = json.load(open(old_path)), json.load(open(new_path))
    if old.get("floor_input", "close") != new.get("floor_input", "close"):
        print("note: the two runs used different floors (--floor-input); their ratios do not compare")
    for size in sorted(set(old["sizes"]) & set(new["sizes"]), key=int):
        compare_rows(size, old["sizes"][size], new["sizes"][size], worst)


def load_other_build(directory):
    """Another build's vorn_library (a directory holding its vorn_library package), loaded
    beside this one under another package name."""
    import glob
    import importlib.machinery
    import importlib.util

    found = glob.glob(str(pathlib.Path(directory) / "vorn_library" / "vorn_library*.so"))
    if not found:
        sys.exit(f"no vorn_library extension under {directory}/vorn_library")
    name = "against_build.vorn_library"  # the init function is found by the last component
    loader = importlib.machinery.ExtensionFileLoader(name, found[0])
    module = importlib.util.module_from_spec(importlib.util.spec_from_file_location(name, found[0], loader=loader))
    loader.exec_module(module)
    return module


# Functions both libraries offer: (ours, theirs, series read, our scalars, their scalars).
PEER = [
    ("py_sma", "SMA", ("close",), (20,), (20,)),
    ("py_ema", "EMA", ("close",), (20,), (20,)),
    ("py_wma", "WMA", ("close",), (20,), (20,)),
    ("py_dema", "DEMA", ("close",), (20,), (20,)),
    ("py_tema", "TEMA", ("close",), (20,), (20,)),
    ("py_trima", "TRIMA", ("close",), (30,), (30,)),
    ("py_kama", "KAMA", ("close",), (10, 2, 30), (10,)),
    ("py_t3", "T3", ("close",), (5, 0.7), (5, 0.7)),
    ("py_mama", "MAMA", ("close",), (0.5, 0.05), (0.5, 0.05)),
    ("py_midpoint", "MIDPOINT", ("close",), (14,), (14,)),
    ("py_midprice", "MIDPRICE", ("high", "low"), (14,), (14,)),
    ("py_bollinger_bands", "BBANDS", ("close",), (20, 2.0), (20, 2.0, 2.0)),
    ("py_rsi", "RSI", ("close",), (14,), (14,)),
    ("py_macd", "MACD", ("close",), (12, 26, 9), (12, 26, 9)),
    ("py_stochastic", "STOCH", ("high", "low", "close"), (14, 3, 3), (14, 3, 0, 3, 0)),
    ("py_cci", "CCI", ("high", "low", "close"), (20,), (20,)),
    ("py_williams_r", "WILLR", ("high", "low", "close"), (14,), (14,)),
    ("py_adx", "ADX", ("high", "low", "close"), (14,), (14,)),
    ("py_dx", "DX", ("high", "low", "close"), (14,), (14,)),
    ("py_plus_di", "PLUS_DI", ("high", "low", "close"), (14,), (14,)),
    ("py_minus_di", "MINUS_DI", ("high", "low", "close"), (14,), (14,)),
    ("py_aroon", "AROON", ("high", "low"), (25,), (25,)),
    ("py_sar", "SAR", ("high", "low"), (0.02, 0.2), (0.02, 0.2)),
    ("py_trix", "TRIX", ("close",), (15,), (15,)),
    ("py_mom", "MOM", ("close",), (10,), (10,)),
    ("py_roc", "ROC", ("close",), (10,), (10,)),
    ("py_cmo", "CMO", ("close",), (14,), (14,)),
    ("py_apo", "APO", ("close",), (12, 26), (12, 26)),
    ("py_ppo", "PPO", ("close",), (12, 26), (12, 26)),
    ("py_ultimate_oscillator", "ULTOSC", ("high", "low", "close"), (7, 14, 28), (7, 14, 28)),
    ("py_bop", "BOP", ("open", "high", "low", "close"), (), ()),
    ("py_mfi", "MFI", ("high", "low", "close", "volume"), (14,), (14,)),
    ("py_obv", "OBV", ("close", "volume"), (), ()),
    ("py_ad", "AD", ("high", "low", "close", "volume"), (), ()),
    ("py_adosc", "ADOSC", ("high", "low", "close", "volume"), (3, 10), (3, 10)),
    ("py_atr", "ATR", ("high", "low", "close"), (14,), (14,)),
    ("py_natr", "NATR", ("high", "low", "close"), (14,), (14,)),
    ("py_true_range", "TRANGE", ("high", "low", "close"), (1,), ()),
    ("py_avgprice", "AVGPRICE", ("open", "high", "low", "close"), (), ()),
    ("py_medprice", "MEDPRICE", ("high", "low"), (), ()),
    ("py_typprice", "TYPPRICE", ("high", "low", "close"), (), ()),
    ("py_wclprice", "WCLPRICE", ("high", "low", "close"), (), ()),
    ("py_ht_dcperiod", "HT_DCPERIOD", ("close",), (), ()),
    ("py_ht_dcphase", "HT_DCPHASE", ("close",), (), ()),
    ("py_ht_phasor", "HT_PHASOR", ("close",), (), ()),
    ("py_ht_sine", "HT_SINE", ("close",), (), ()),
    ("py_ht_trendmode", "HT_TRENDMODE", ("close",), (), ()),
    ("py_linearreg", "LINEARREG", ("close",), (14,), (14,)),
    ("py_linearreg_slope", "LINEARREG_SLOPE", ("close",), (14,), (14,)),
    ("py_linearreg_angle", "LINEARREG_ANGLE", ("close",), (14,), (14,)),
    ("py_linearreg_intercept", "LINEARREG_INTERCEPT", ("close",), (14,), (14,)),
    ("py_tsf", "TSF", ("close",), (14,), (14,)),
    ("py_var", "VAR", ("close",), (5,), (5,)),
    ("py_correl", "CORREL", ("close", "open"), (30,), (30,)),
    ("py_beta", "BETA", ("close", "open"), (5,), (5,)),
    ("py_max", "MAX", ("close",), (30,), (30,)),
    ("py_min", "MIN", ("close",), (30,), (30,)),
    ("py_sum", "SUM", ("close",), (30,), (30,)),
    ("py_minmax", "MINMAX", ("close",), (30,), (30,)),
    ("py_minmaxindex", "MINMAXINDEX", ("close",), (30,), (30,)),
    ("py_sqrt", "SQRT", ("close",), (), ()),
    ("py_ln", "LN", ("close",), (), ()),
    ("py_sin", "SIN", ("close",), (), ()),
    ("py_add", "ADD", ("close", "open"), (), ()),
    ("py_div", "DIV", ("close", "open"), (), ()),
]


def peer_table(n, pairs, log):
    try:
        import talib  # noqa: F401 - a benchmark peer only, present only when someone installed it
    except ImportError:
        return None
    _, arrays = make_bars(n)
    rows = []
    gc.disable()
    try:
        for ours, theirs, names, our_args, their_args in PEER:
            if not hasattr(vl, ours) or not hasattr(talib, theirs):
                continue
            ins = [arrays[k] for k in names]
            fn = lambda: getattr(vl, ours)(*ins, *our_args)  # noqa: E731
            result = fn()
            outs = [len(result)] if isinstance(result, list) else [len(x) for x in result]
            del result

            def base():
                kept = []
                for a in ins:
                    floor.consume(a)
                kept += [floor.emit(k) for k in outs]
                return kept
            # Least times over many runs: a kernel's time is small beside the lists' and the
            # machine's noise, and the least time of each side is the steadiest estimate.
            t_fn, t_base, t_c = [], [], []
            theirs_fn = getattr(talib, theirs)
            for i in range(2 * pairs):
                for j in ((0, 1, 2) if i % 2 else (2, 1, 0)):
                    if j == 0:
                        t_fn.append(once(fn))
                    elif j == 1:
                        t_base.append(once(base))
                    else:
                        t_c.append(once(lambda: theirs_fn(*ins, *their_args)))
            ours_t = max(min(t_fn) - min(t_base), 0.0)
            c_time = min(t_c)
            rows.append((ours, theirs, ours_t, c_time))
            log(f"  {ours:<28} {ours_t * 1e6:9.0f} us  {theirs:<20} {c_time * 1e6:9.0f} us")
    finally:
        gc.enable()
    return rows


def print_peer(n, rows):
    if rows is None:
        print("\n(TA-Lib's Python binding is not installed: no C-library column)")
        return
    print(f"\n{n:,} bars, NumPy float64 input: our C++ time (the call less the same conversions and output "
          f"lists through the floor module; validation included) beside TA-Lib's C time, least of many runs")
    for ours, theirs, t_ours, t_c in sorted(rows, key=lambda r: -(r[2] / r[3] if r[3] else 0)):
        ratio = t_ours / t_c if t_c else math.nan
        print(f"  {ours:<28} {t_ours * 1e6:9.0f} us   {theirs:<20} {t_c * 1e6:9.0f} us   {ratio:6.2f}x")


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--bars", default="200000", help="bar counts, comma separated (default 200000)")
    ap.add_argument("--pairs", type=int, default=9, help="paired runs per function (default 9)")
    ap.add_argument("--only", default="", help="comma-separated name substrings")
    ap.add_argument("--worst", type=int, default=20)
    ap.add_argument("--table", action="store_true", help="also print every function's ratio")
    ap.add_argument("--json", help="write the per-function results here, for --compare")
    ap.add_argument("--compare", nargs=2, metavar=("BEFORE", "AFTER"), help="compare two --json files and exit")
    ap.add_argument("--no-peer", action="store_true", help="skip the TA-Lib column even when it is installed")
    ap.add_argument("--floor-input", choices=("own", "close"), default="own",
                    help="the floor converts the call's own input lists (default), or the close list "
                         "once per input (cheaper: its floats stay in cache after the first)")
    ap.add_argument("--against", metavar="DIR",
                    help="another build's python directory (e.g. ../baseline/build/python): its functions are timed "
                         "in the same rounds, and both distributions printed")
    ap.add_argument("--against-json", metavar="FILE", help="write the --against build's results here")
    ap.add_argument("--quiet", action="store_true", help="no line per function while timing")
    a = ap.parse_args(argv)
    if a.compare:
        compare(*a.compare, a.worst)
        return 0
    if vl is None:
        sys.exit("vorn_library and vorn_bench_floor are not importable: put build/python on PYTHONPATH")
    log = (lambda s: None) if a.quiet else (lambda s: print(s, file=sys.stderr, flush=True))
    pats = [p for p in a.only.split(",") if p]
    names = [n for n in series_functions() if not pats or any(p in n for p in pats)]
    small, _ = make_bars(400)
    out = {"module": vl.__file__, "pairs": a.pairs, "floor_input": a.floor_input, "sizes": {}}
    against = load_other_build(a.against) if a.against else None
    other_out = {**out, "module": getattr(against, "__file__", None), "sizes": {}}
    for n in (int(s) for s in a.bars.split(",") if s):
        close = make_bars(n)[0]["close"]
        rt = min(once(lambda: floor.roundtrip(close)) for _ in range(5))
        t_in = min(once(lambda: floor.consume(close)) for _ in range(5))
        print(f"{n:,} bars: list round trip {rt * 1e3:.2f} ms (conversion in {t_in * 1e3:.2f} ms)", flush=True)
        rows, other = time_functions(n, names, a.pairs, small, log, same_input=a.floor_input == "close",
                                     against=against)
        out["sizes"][str(n)] = rows
        print_distribution(n, rows, a.worst, a.table)
        if against is not None:
            other_out["sizes"][str(n)] = other
            print(f"\n--against {a.against}, timed in the same rounds:")
            print_distribution(n, other, a.worst, False)
            compare_rows(n, other, rows, a.worst)
        if not a.no_peer:
            peer = peer_table(n, a.pairs, log)
            print_peer(n, peer)
            if peer is not None:
                out.setdefault("peer", {})[str(n)] = {o: {"theirs": t, "ours_s": x, "theirs_s": y}
                                                      for o, t, x, y in peer}
    for path, data in ((a.json, out), (a.against_json, other_out)):
        if path:
            pathlib.Path(path).write_text(json.dumps(data, indent=1))
            print(f"\nwrote {path}")
    failed = sorted({name for rows in out["sizes"].values() for name, r in rows.items() if "error" in r})
    if failed:
        print(f"\nerror: could not call {len(failed)} function(s): {', '.join(failed)} (see 'not timed' above; "
              "a series parameter this file does not know goes into SERIES)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
