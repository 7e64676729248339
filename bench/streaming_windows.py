"""Per-update cost of every streaming class with a window, each window parameter at a short
and a long length (20 and 10^5 by default), the others at their defaults: a window's length
should not set the cost of a tick. Run on purpose, never by the test suite:

    PYTHONPATH=build/python .venv/bin/python bench/streaming_windows.py [--only NAME] [--long N]

Each object is fed a random walk past its warm-up and past its longest window's first slide,
then timed on the ticks that follow (the best of three runs, each about 0.2 s), so that every
timed call slides its windows. The table gives ns per update (the Python call included) at
both lengths and their ratio.
"""
import argparse
import random
import sys
import time

import vorn_library.vorn_library as vl

# (class, arity, window parameters, adjust(kwargs) -> kwargs that keep the others valid)
def _macd(kw):
    fast, slow = kw.get("fast", 12), kw.get("slow", 26)
    if slow <= fast:
        kw["slow"] = fast + 14
    return kw


def _adaptive(kw):
    if kw.get("max_period", 21) < kw.get("min_period", 7):
        kw["max_period"] = kw["min_period"]
    return kw


def _ai(kw):
    need = kw.get("lookback", 10) + 10
    if kw.get("train_window", 200) < need:
        kw["train_window"] = need
    return kw


def _ensemble(kw):
    fast, slow = kw.get("macd_fast", 12), kw.get("macd_slow", 26)
    if slow <= fast:
        kw["macd_slow"] = fast + 14
    return kw


CLASSES = [
    (vl.OnlineSMA, 1, ["period"], None),
    (vl.OnlineEMA, 1, ["period"], None),
    (vl.OnlineRSI, 1, ["period"], None),
    (vl.OnlineATR, 3, ["period"], None),
    (vl.OnlineMACD, 1, ["fast", "slow", "signal"], _macd),
    (vl.OnlineBollingerBands, 1, ["period"], None),
    (vl.OnlineStochastic, 3, ["k_period", "smooth_k", "d_period"], None),
    (vl.OnlineSuperTrend, 3, ["period"], None),
    (vl.OnlineAdaptiveRSI, 1, ["min_period", "max_period", "volatility_period"], _adaptive),
    (vl.OnlineMLSuperTrend, 3, ["period", "volatility_period"], None),
    (vl.OnlineAISuperTrendML, 3, ["st_length", "lookback", "train_window"], _ai),
    (vl.OnlineEnsembleSignal, 3, ["rsi_period", "macd_fast", "macd_slow", "macd_signal", "stoch_k", "stoch_smooth",
                                  "stoch_d", "supertrend_period"], _ensemble),
]

DEFAULT_PERIODS = {"OnlineSMA": 20, "OnlineEMA": 20, "OnlineRSI": 14, "OnlineATR": 14}


def feed(arity, count, seed=7):
    rng = random.Random(seed)
    c, out = 100.0, []
    for _ in range(count):
        c = max(1.0, c + rng.gauss(0.0, 0.5))
        out.append((c,) if arity == 1 else (c + abs(rng.gauss(0.0, 0.4)), c - abs(rng.gauss(0.0, 0.4)), c))
    return out


class Ticks:
    """A moving feed consumed in order, so that no tick repeats the one a window just saw."""

    def __init__(self, arity):
        self.arity, self.ticks, self.at = arity, feed(arity, 1 << 16), 0

    def take(self, n):
        if self.at + n > len(self.ticks):
            self.ticks = feed(self.arity, max(n, 1 << 16), seed=self.at + len(self.ticks))
            self.at = 0
        out = self.ticks[self.at:self.at + n]
        self.at += n
        return out


def ns_per_update(obj, ticks, budget=0.2):
    update = obj.update

    def run(chunk):
        t = time.perf_counter()
        for a in chunk:
            update(*a)
        return time.perf_counter() - t

    probe = 200
    per = run(ticks.take(probe)) / probe
    n = int(min(50_000, max(500, budget / max(per, 1e-9))))
    return min(run(ticks.take(n)) / n for _ in range(3)) * 1e9


def measure(cls, arity, kwargs, ticks):
    obj = cls(**kwargs)
    # Past the warm-up of every window and a few thousand slides beyond the longest (the AI
    # SuperTrend's second ATR starts only once the first is ready).
    warm = sum(v for v in kwargs.values() if isinstance(v, int)) + kwargs.get("st_length", 0) + 3000
    update = obj.update
    left = warm
    while left:
        step = min(left, 1 << 15)
        for a in ticks.take(step):
            update(*a)
        left -= step
    return ns_per_update(obj, ticks)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--only", default="", help="classes whose name contains this")
    ap.add_argument("--short", type=int, default=20)
    ap.add_argument("--long", type=int, default=100_000)
    a = ap.parse_args()
    print(f"{'class':<22} {'window parameter':<18} {a.short:>10,} {a.long:>10,}  ratio   (ns/update)")
    worst = 0.0
    for cls, arity, params, adjust in CLASSES:
        name = cls.__name__
        if a.only and a.only not in name:
            continue
        for p in params:
            times = []
            for length in (a.short, a.long):
                kw = {p: length}
                if name in DEFAULT_PERIODS and p == "period":
                    kw = {"period": length}
                if adjust:
                    kw = adjust(dict(kw))
                times.append(measure(cls, arity, kw, Ticks(arity)))
            ratio = times[1] / times[0]
            worst = max(worst, ratio)
            print(f"{name:<22} {p:<18} {times[0]:10.1f} {times[1]:10.1f}  {ratio:5.2f}x", flush=True)
    print(f"\nlargest ratio {worst:.2f}x")


if __name__ == "__main__":
    sys.exit(main())
