"""The sine-, triangle-, binomial- and Gaussian-weighted averages at long periods against
period 20, on a random walk passed as array('d') (run on purpose, never by the test suite).

Each row: the time at period 20, at each long period, and their ratio, best of --runs calls
in the same process. The first table is on --bars bars; the second on 4/10 of that with the
period half the series (only half the windows are computed); the third on bars that fall
16-fold a bar from near the largest float to zero and start again, where the slid sums are
summed afresh after each fall and the transform gives way to the windows' direct sums.

  PYTHONPATH=build/python .venv/bin/python bench/long_weights.py [--bars N] [--runs K]

Another build is timed by pointing PYTHONPATH at its python directory.
"""
import argparse
import array
import random
import time

import vorn_library.vorn_library as vl

# name: the call at period p (ALMA with its usual offset and sigma)
CALLS = {
    "py_sinwma": lambda x, p: vl.py_sinwma(x, p),
    "py_swma": lambda x, p: vl.py_swma(x, p),
    "py_pwma": lambda x, p: vl.py_pwma(x, p),
    "py_alma": lambda x, p: vl.py_alma(x, p, 0.85, 6.0),
}


def walk(n, seed=1):
    rng, x, out = random.Random(seed), 100.0, []
    for _ in range(n):
        x += rng.gauss(0, 1)
        out.append(x)
    return array.array("d", out)


def falling(n, cycle=3000):
    return array.array("d", [1e300 * 16.0 ** -(t % cycle) if t % cycle < 400 else 0.0 for t in range(n)])


def best(call, runs):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return min(times) * 1e3


def table(title, x, periods, runs):
    print(f"{title} ({len(x):,} bars)")
    print(f"  {'function':12s}{'period 20':>12s}" + "".join(f"{'period ' + format(p, ','):>24s}" for p in periods))
    for name, f in CALLS.items():
        base = best(lambda: f(x, 20), runs)
        cells = []
        for p in periods:
            t = best(lambda: f(x, p), runs)
            cells.append(f"{t:9.1f} ms {t / base:6.2f}x")
        print(f"  {name:12s}{base:9.1f} ms" + "".join(f"{c:>24s}" for c in cells))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bars", type=int, default=1_000_000)
    ap.add_argument("--runs", type=int, default=2)
    args = ap.parse_args()
    n = args.bars
    table("random walk", walk(n), [1_000, 10_000, 100_000], args.runs)
    short = walk(n * 4 // 10)
    table("random walk, period half the series", short, [len(short) // 2], args.runs)
    table("falling 16-fold a bar, again and again", falling(n), [100, 2_000, 10_000], args.runs)


if __name__ == "__main__":
    main()
