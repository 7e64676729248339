"""What a window's length costs: every series function with a window parameter, timed with that
window long against the same call at window 20, and every streaming class per update.

    .venv/bin/python bench/window_sweep.py                       # every size below, every function
    .venv/bin/python bench/window_sweep.py --sizes long --only py_sma,py_slope
    .venv/bin/python bench/window_sweep.py --sizes streams       # ns per update, 10^5 against 20
    make bench-windows                                           # the same as the first line

Sizes (--sizes, comma separated):
  long     10^6 bars, each window parameter at 10^4 against 20 (the function's other parameters
           at their defaults);
  half     4x10^5 bars, each window parameter at n/2 against 20;
  huge     4x10^6 bars, period 2x10^6 against 20, for the running sums (HUGE below; --only widens it);
  streams  every streaming class with a window: ns per update with each window at 10^5 against 20.

A window parameter is every unsigned count a binding declares (vorn_bench_floor.parameters()), but
those that count something other than bars in a window (NOT_WINDOW). Where a function refuses the
long window beside its other defaults (a fast period above the slow one), its other window
parameters are scaled by the same factor from their defaults, and the row says so. Times are the
best of --repeat runs on array('d') input; the ratio is long over 20, and a row above --limit is
marked. With TA-Lib's Python binding installed (never a dependency), its KAMA, CCI,
LINEARREG_SLOPE, SMA and VAR are timed at period 10^4 in the long run, beside ours.
"""
import argparse
import array
import gc
import importlib.util
import math
import pathlib
import sys
import time

import vorn_bench_floor as floor
import vorn_library.vorn_library as vl

HERE = pathlib.Path(__file__).parent
_spec = importlib.util.spec_from_file_location("bench_distribution", HERE / "distribution.py")
dist = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(dist)

DECLARED = floor.parameters()
# Counts that are not a window's length: bins, indices into the series, neighbours, a lag.
NOT_WINDOW = {"bins", "num_bins", "max_zones", "start_index", "end_index", "target_index", "n_samples",
              "k", "drift"}
# Trained models and searches, above linear in the bars by design: swept only with --all.
MODELS = {"py_train_supertrend_model", "py_train_atr2_model", "py_train_momentum_model", "py_ai_supertrend",
          "py_ai_supertrend_ml", "py_ai_momentum_index", "py_ai_momentum_index_ml", "py_atr2_signals_ml",
          "py_sfg_knn", "py_knn_signals"}
# The huge size's default set: the running sums and what reads them.
HUGE = ["py_sma", "py_sum", "py_var", "py_correl", "py_linearreg_slope", "py_slope",
        "py_bollinger_bands", "py_trima", "py_wma"]
SIZES = {"long": (1_000_000, lambda n: 10_000), "half": (400_000, lambda n: n // 2),
         "huge": (4_000_000, lambda n: n // 2)}
SHORT = 20
PEERS = [("KAMA", ("close",)), ("CCI", ("high", "low", "close")), ("LINEARREG_SLOPE", ("close",)),
         ("SMA", ("close",)), ("VAR", ("close",))]


def window_parameters(name):
    return [p["name"] for p in DECLARED.get(name, []) if p["kind"] == "count" and p["name"] not in NOT_WINDOW]


def best(fn, repeat):
    t_best = math.inf
    for _ in range(repeat):
        t = time.perf_counter()
        kept = fn()
        t_best = min(t_best, time.perf_counter() - t)
        del kept
    return t_best


def as_arrays(bars):
    return {k: array.array("d", v) for k, v in bars.items()}


class Sweep:
    """One function's calls with one window parameter set to a given length."""

    def __init__(self, name, small):
        self.call = dist.Call(name, small)
        self.defaults = dict(self.call.scalars)
        self.windows = [w for w in window_parameters(name) if w in self.defaults]

    def kwargs(self, bars, param, length):
        """The call's arguments with PARAM at LENGTH, the others at their defaults, and the same with
        the other windows scaled by PARAM's factor (for a function that refuses the first)."""
        base = self.call.kwargs(bars)
        return {**base, param: length}, {**base, **self._scaled(param, length)}

    def _scaled(self, param, length):
        factor = length / (self.defaults.get(param) or SHORT)
        out = {w: max(1, round((self.defaults.get(w) or SHORT) * factor)) for w in self.windows}
        out[param] = length
        return out

    def timed(self, bars, param, length, repeat):
        """Best time at PARAM = LENGTH and whether the other windows had to be scaled; None when
        refused both ways. A refusal comes from the arguments' checks, before any work."""
        for kw, scaled in zip(self.kwargs(bars, param, length), (False, True)):
            try:
                return best(lambda: self.call.fn(**kw), repeat), scaled
            except ValueError:
                continue
        return None, False


def sweep_size(label, n, long_of, names, repeat, limit, log):
    long_len = long_of(n)
    bars_lists, _ = dist.make_bars(n)
    bars = as_arrays(bars_lists)
    del bars_lists
    small, _ = dist.make_bars(400)
    print(f"\n{label}: {n:,} bars, window {long_len:,} against {SHORT}, best of {repeat}")
    print(f"  {'function':<36} {'parameter':<18} {'at ' + str(SHORT):>11} {'at ' + f'{long_len:,}':>13} {'x':>8}")
    rows = []
    gc.disable()
    try:
        for name in names:
            sw = Sweep(name, small)
            if sw.call.error:
                print(f"  {name:<36} not called: {sw.call.error}")
                continue
            for param in sw.windows:
                try:
                    t_s, sc_s = sw.timed(bars, param, SHORT, repeat)
                    t_l, sc_l = sw.timed(bars, param, long_len, repeat) if t_s is not None else (None, False)
                except Exception as e:  # noqa: BLE001 - reported, not fatal to the run
                    print(f"  {name:<36} {param:<18} {type(e).__name__}: {e}")
                    continue
                if t_s is None or t_l is None:
                    print(f"  {name:<36} {param:<18} refused at {SHORT if t_s is None else f'{long_len:,}'}")
                    continue
                ratio = t_l / t_s
                note = " others scaled" if sc_l or sc_s else ""
                mark = "  <--" if ratio > limit else ""
                print(f"  {name:<36} {param:<18} {t_s * 1e3:8.1f} ms {t_l * 1e3:10.1f} ms {ratio:7.2f}x{mark}{note}",
                      flush=True)
                rows.append((name, param, t_s, t_l, ratio))
    finally:
        gc.enable()
    over = [r for r in rows if r[4] > limit]
    print(f"  {len(over)} of {len(rows)} function/parameter pairs above {limit}x")
    if label == "long":
        peers(bars, long_len, repeat)
    return rows


def peers(bars, period, repeat):
    try:
        import numpy as np
        import talib
    except ImportError:
        print("  (TA-Lib's Python binding is not installed: no peer rows)")
        return
    arrays = {k: np.asarray(v) for k, v in bars.items()}
    print(f"  TA-Lib at period {period:,} on the same bars (NumPy input):")
    for fname, series in PEERS:
        f = getattr(talib, fname)
        ins = [arrays[s] for s in series]
        t_s = best(lambda: f(*ins, SHORT), repeat)
        t_l = best(lambda: f(*ins, period), repeat)
        print(f"  {'talib.' + fname:<36} {'timeperiod':<18} {t_s * 1e3:8.1f} ms {t_l * 1e3:10.1f} ms {t_l / t_s:7.2f}x")


def stream_classes():
    out = []
    for key, ps in DECLARED.items():
        cls, _, method = key.partition(".")
        if method == "__new__" and hasattr(vl, cls) and f"{cls}.update" in DECLARED:
            wins = [p["name"] for p in ps if p["kind"] == "count" and p["name"] not in NOT_WINDOW]
            if wins:
                out.append((cls, ps, wins))
    return out


def sweep_streams(long_len, updates, only, repeat, limit):
    print(f"\nstreams: ns per update, each window at {long_len:,} against {SHORT} (the others at their defaults), "
          f"{updates:,} updates past a warm-up of the window's length, best of {repeat}")
    print(f"  {'class':<28} {'parameter':<22} {'at ' + str(SHORT):>10} {'at ' + f'{long_len:,}':>12} {'x':>8}")
    feed_cache = {}

    def feeds(length):
        if feed_cache.get("n", 0) < length:
            _, arrays = dist.make_bars(length, seed=2)
            feed_cache.update(n=length, closes=arrays["close"].tolist(),
                              hlc=list(zip(arrays["high"].tolist(), arrays["low"].tolist(),
                                           arrays["close"].tolist())))
        return feed_cache["closes"], feed_cache["hlc"]

    for cls, ps, wins in stream_classes():
        if only and not any(p in cls for p in only):
            continue
        arity = len(DECLARED[f"{cls}.update"])
        defaults = {p["name"]: int(p["default"]) for p in ps if p["kind"] == "count" and p["default"] not in (None, "None")}
        for param in wins:
            times = []
            for length in (SHORT, long_len):
                kw = {**defaults, param: length}
                if "period" in [p["name"] for p in ps] and "period" not in kw:
                    kw["period"] = length
                try:
                    getattr(vl, cls)(**kw)
                except ValueError:
                    scale = length / (defaults.get(param) or SHORT)
                    kw = {w: max(1, round((defaults.get(w) or SHORT) * scale)) for w in wins}
                    kw[param] = length
                t_best = math.inf
                for _ in range(repeat):
                    obj = getattr(vl, cls)(**kw)
                    upd = obj.update
                    warm = sum(kw.values()) + 16  # past every stage's warm-up
                    closes, hlc = feeds(warm + updates)
                    if arity == 1:
                        for x in closes[:warm]:
                            upd(x)
                        feed = closes[warm:warm + updates]
                        t = time.perf_counter()
                        for x in feed:
                            upd(x)
                    else:
                        for h, l, c in hlc[:warm]:
                            upd(h, l, c)
                        feed = hlc[warm:warm + updates]
                        t = time.perf_counter()
                        for h, l, c in feed:
                            upd(h, l, c)
                    t_best = min(t_best, (time.perf_counter() - t) / len(feed))
                times.append(t_best)
            ratio = times[1] / times[0]
            mark = "  <--" if ratio > limit else ""
            print(f"  {cls:<28} {param:<22} {times[0] * 1e9:7.0f} ns {times[1] * 1e9:9.0f} ns {ratio:7.2f}x{mark}",
                  flush=True)


def main(argv=None):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--sizes", default="long,half,huge,streams",
                    help="comma separated: long, half, huge, streams (default all)")
    ap.add_argument("--only", default="", help="comma-separated name substrings (functions or classes)")
    ap.add_argument("--all", action="store_true", help="also the trained models and searches (MODELS)")
    ap.add_argument("--repeat", type=int, default=2, help="runs per call, the best kept (default 2)")
    ap.add_argument("--limit", type=float, default=1.5, help="mark ratios above this (default 1.5)")
    ap.add_argument("--stream-window", type=int, default=100_000)
    ap.add_argument("--updates", type=int, default=200_000, help="timed updates per stream (default 200000)")
    a = ap.parse_args(argv)
    only = [p for p in a.only.split(",") if p]
    everything = [n for n in dist.series_functions() if window_parameters(n)]
    for label in [s for s in a.sizes.split(",") if s]:
        if label == "streams":
            sweep_streams(a.stream_window, a.updates, only, a.repeat, 2.0)
            continue
        if label not in SIZES:
            sys.exit(f"unknown size {label!r}: long, half, huge or streams")
        n, long_of = SIZES[label]
        if only:
            names = [x for x in everything if any(p in x for p in only)]
        elif label == "huge":
            names = [x for x in HUGE if x in everything]
        else:
            names = [x for x in everything if a.all or x not in MODELS]
        sweep_size(label, n, long_of, names, a.repeat, a.limit, None)
    return 0


if __name__ == "__main__":
    sys.exit(main())
