"""Benchmarks, run on purpose (`make bench`), never by the test suite.

Batch functions are timed on 10^5 and 10^6 bars against the conversion floor: the
benchmark-only module vorn_bench_floor converts a sequence in and builds a new list
out with the library's own code. A case that reads k series and returns j series is
compared with k input conversions plus j output lists, each timed on its own.
Streaming updates are timed per call on a moving feed against an empty method of the
same binding layer taking as many arguments.

Cases come from bench/cases_*.py: CASES = [(name, fn(bars)) or (name, fn, n_in, n_out)]
and STREAMING = [(name, factory, update_args)].

The whole library's distribution is one command, `make bench-dist` (bench/distribution.py):
every registered series function at 2x10^5 bars (--bars for other sizes) against the floor
of its own shape, printing the median, the 90th percentile and the worst 20 (--table for
every function; --json FILE to keep the results, --compare OLD NEW to set two runs side by
side, --against DIR to time another build's module in the same rounds). When TA-Lib's
Python binding happens to be installed, it also prints each shared function's C++ time
beside that library's C time on the same bars.
"""
import argparse
import importlib.util
import pathlib
import random
import sys
import time

import numpy as np

import vorn_bench_floor as floor
import vorn_library.vorn_library as vl

HERE = pathlib.Path(__file__).parent


def make_bars(n, seed=1):
    rng = random.Random(seed)
    o, h, l, c, v = [], [], [], [], []
    x = 100.0
    for _ in range(n):
        op = x
        x = max(1.0, x * (1 + rng.gauss(0, 0.01)))
        hi = max(op, x) * (1 + abs(rng.gauss(0, 0.004)))
        lo = min(op, x) * (1 - abs(rng.gauss(0, 0.004)))
        o.append(op), h.append(hi), l.append(lo), c.append(x), v.append(1e6 * (1 + abs(rng.gauss(0, 1))))
    return {"open": o, "high": h, "low": l, "close": c, "volume": v}


def best_of(fn, repeat):
    best = float("inf")
    for _ in range(repeat):
        t = time.perf_counter()
        fn()
        best = min(best, time.perf_counter() - t)
    return best


def paired(fn, base, repeat):
    """Best time of fn, and the median ratio fn/base over runs taken back to back, so that
    a slow spell of the machine weighs on both sides of each ratio alike."""
    times, ratios = [], []
    for _ in range(repeat):
        t_base = best_of(base, 1)
        t = best_of(fn, 1)
        times.append(t)
        ratios.append(t / t_base)
    ratios.sort()
    return min(times), ratios[len(ratios) // 2]


def load_cases():
    batch, streaming = [], []
    for path in sorted(HERE.glob("cases_*.py")):
        spec = importlib.util.spec_from_file_location(path.stem, path)
        mod = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(mod)
        for case in getattr(mod, "CASES", []):
            name, fn, *io = case
            batch.append((name, fn, *(io or (1, 1))))
        streaming.extend(getattr(mod, "STREAMING", []))
    return batch, streaming


def builtin_cases():
    return [
        ("py_sma(close, 20)", lambda b: vl.py_sma(b["close"], 20), 1, 1),
        ("py_ema(close, 20)", lambda b: vl.py_ema(b["close"], 20), 1, 1),
        ("py_wma(close, 20)", lambda b: vl.py_wma(b["close"], 20), 1, 1),
        ("py_hma(close, 20)", lambda b: vl.py_hma(b["close"], 20), 1, 1),
        ("py_tema(close, 20)", lambda b: vl.py_tema(b["close"], 20), 1, 1),
        ("py_t3(close, 5, 0.7)", lambda b: vl.py_t3(b["close"], 5, 0.7), 1, 1),
        ("py_kama(close, 10, 2, 30)", lambda b: vl.py_kama(b["close"], 10, 2, 30), 1, 1),
        ("py_frama(close, 16)", lambda b: vl.py_frama(b["close"], 16), 1, 1),
    ]


def run_batch(sizes, only, repeat):
    cases, _ = load_cases()
    cases = builtin_cases() + cases
    for n in sizes:
        bars = make_bars(n)
        arr = np.array(bars["close"])
        rt = best_of(lambda: floor.roundtrip(bars["close"]), repeat)
        t_in = best_of(lambda: floor.consume(bars["close"]), repeat)
        t_out = max(rt - t_in, 0.0)
        print(f"\n{n:,} bars: conversion floor (list in, list out) {rt * 1e3:.2f} ms "
              f"= {t_in * 1e3:.2f} in + {t_out * 1e3:.2f} out")
        t_np = best_of(lambda: vl.py_sma(arr, 20), repeat)
        t_list = best_of(lambda: vl.py_sma(bars["close"], 20), repeat)
        print(f"  {'py_sma on NumPy float64 / on list':<44} {t_np * 1e3:9.2f} ms  {t_np / t_list:6.2f}x of list")
        def floor_for(n_in, n_out):
            # One round trip, then each further input converted and each further output built,
            # all outputs kept alive together as a returned tuple's lists are (freeing each list
            # before the next is built would flatter the floor of a many-output case); a case
            # that converts no input (a cache read) is held to its outputs alone.
            def run():
                kept = [floor.roundtrip(bars["close"])] if n_in else []
                for _ in range(n_in - 1):
                    floor.consume(bars["close"])
                kept += [floor.emit(n) for _ in range(n_out - len(kept))]
                return kept
            return run

        for name, fn, n_in, n_out in cases:
            if only and only not in name:
                continue
            t, ratio = paired(lambda: fn(bars), floor_for(n_in, n_out), repeat)
            print(f"  {name:<44} {t * 1e3:9.2f} ms  {ratio:6.2f}x floor")


def moving_ticks(arity, count, seed=5):
    """A random-walk feed, so that every update runs its full formula."""
    rng = random.Random(seed)
    ticks, c = [], 100.0
    for _ in range(count):
        c = max(1.0, c + rng.gauss(0, 0.5))
        ticks.append((c,) if arity == 1 else (c + abs(rng.gauss(0, 0.4)), c - abs(rng.gauss(0, 0.4)), c))
    return ticks


def time_feed(update, ticks, repeat=7):
    def feed():
        for a in ticks:
            update(*a)

    return best_of(feed, repeat) / len(ticks)


def run_streaming(only, count=100_000):
    _, streams = load_cases()
    empty = floor.Empty()
    feeds = {1: moving_ticks(1, count), 3: moving_ticks(3, count)}
    empties = {1: empty.update, 3: empty.update3}
    base = {k: time_feed(u, feeds[k]) for k, u in empties.items()}
    print(f"\nstreaming update on a moving feed: empty method {base[1] * 1e9:.1f} ns/call "
          f"(one argument), {base[3] * 1e9:.1f} ns/call (three)")
    for name, factory, args in streams:
        if only and only not in name:
            continue
        arity = len(args)
        update, ticks = factory().update, feeds[arity]
        t, ratio = paired(lambda: time_feed(update, ticks, 1), lambda: time_feed(empties[arity], ticks, 1), 9)
        print(f"  {name:<44} {t / len(ticks) * 1e9:7.1f} ns/update  {ratio:5.2f}x empty")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sizes", default="100000,1000000")
    ap.add_argument("--only", default="")
    ap.add_argument("--repeat", type=int, default=5)
    a = ap.parse_args()
    sizes = [int(s) for s in a.sizes.split(",") if s]
    run_batch(sizes, a.only, a.repeat)
    run_streaming(a.only)


if __name__ == "__main__":
    sys.exit(main())
