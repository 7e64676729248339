"""The stochastic through a long fall: every bar on a new low, raw %K exactly 0.

    .venv/bin/python bench/zero_runs.py                      # this build
    .venv/bin/python bench/zero_runs.py --against DIR        # and another build's python directory

A run of zeros fills the averaging windows, and their weights cannot pass such a slide (what
stays weighs nothing beside what passed through), so every slide of it takes the rare path:
it must still cost about what an ordinary slide does, the window looked at once per run, not
once per slide (utils::WindowWeight). Each case is timed on 30,000 ordinary bars followed by
170,000 bars on a new low, against the same call on 200,000 ordinary bars; its ratio is the
median over paired runs taken back to back, and a case above LIMIT is marked.
"""
import argparse
import os
import random
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from distribution import load_other_build  # noqa: E402

import vorn_library.vorn_library as vl  # noqa: E402

BARS, ORDINARY = 200_000, 30_000
LIMIT = 1.5


def ordinary_bars(n, seed=3):
    rng = random.Random(seed)
    h, l, c, x = [], [], [], 100.0
    for _ in range(n):
        x = max(1.0, x + rng.gauss(0, 0.5))
        h.append(x + abs(rng.gauss(0, 0.4)))
        l.append(x - abs(rng.gauss(0, 0.4)))
        c.append(x)
    return h, l, c


def falling_bars():
    """ORDINARY ordinary bars, then bars whose low is below every earlier one and whose close
    is that low, so that every raw %K of the fall is exactly 0."""
    h, l, c = ordinary_bars(ORDINARY)
    x = min(l)
    for _ in range(BARS - ORDINARY):
        x *= 0.99999
        h.append(x * 1.002)
        l.append(x)
        c.append(x)
    return h, l, c


def streaming(cls, *params):
    def run(bars):
        update = cls(*params).update
        for t in zip(*bars):
            update(*t)
    return run


def batch(fn, *params):
    return lambda bars: fn(*bars, *params)


def cases(lib):
    return [
        ("OnlineStochastic(5, 20000, 3)", streaming(lib.OnlineStochastic, 5, 20000, 3)),
        ("OnlineStochastic(5, 3, 20000)", streaming(lib.OnlineStochastic, 5, 3, 20000)),
        ("OnlineStochastic(5, 2000, 3)", streaming(lib.OnlineStochastic, 5, 2000, 3)),
        ("py_stochastic(h, l, c, 5, 2000, 3)", batch(lib.py_stochastic, 5, 2000, 3)),
    ]


def timed(fn, bars):
    t = time.perf_counter()
    fn(bars)
    return time.perf_counter() - t


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--pairs", type=int, default=7, help="paired runs per case (default 7)")
    ap.add_argument("--against", metavar="DIR", help="another build's python directory, timed in the same rounds")
    a = ap.parse_args()
    libs = [("this build", vl)] + ([(a.against, load_other_build(a.against))] if a.against else [])
    ordinary, falling = ordinary_bars(BARS), falling_bars()
    over = 0
    for label, lib in libs:
        print(f"{label}: {BARS - ORDINARY:,} of {BARS:,} bars on a new low, against {BARS:,} ordinary bars")
        for name, fn in cases(lib):
            pairs = [(timed(fn, ordinary), timed(fn, falling)) for _ in range(a.pairs)]
            ratio = statistics.median(f / o for o, f in pairs)
            mark = "" if ratio <= LIMIT else f"   above {LIMIT}x"
            over += label == "this build" and ratio > LIMIT
            print(f"  {name:<36} {min(o for o, _ in pairs) * 1e3:8.1f} ms ordinary "
                  f"{min(f for _, f in pairs) * 1e3:8.1f} ms falling  {ratio:6.2f}x{mark}")
    return 1 if over else 0


if __name__ == "__main__":
    sys.exit(main())
