"""Window sums over values near the top of the double range, timed beside the same call on
ordinary data (run on purpose, never by the test suite).

A window whose plain sum (or the weight beside it) leaves the range used to be summed afresh on
every slide, O(n * period); these cases time that. Each case prints its time on the hostile
series, its time on ordinary data of the same shape, and the ratio.

  PYTHONPATH=build/python .venv/bin/python bench/hostile_range.py [--bars N] [--period P]
                                                                  [--only NAME,...] [--skip-long]

Another build is timed by pointing PYTHONPATH at its python directory.
"""
import argparse
import math
import random
import time

import vorn_library.vorn_library as vl


def series(n, seed, scale):
    # Prices that wander about 100 without drifting away: the scale alone decides the range.
    rng = random.Random(seed)
    return [(100.0 + 10.0 * math.sin(k / 500.0) + rng.gauss(0, 1)) * scale for k in range(n)]


def bars(n, price_scale=1.0, volume_scale=1.0, seed=3):
    c = series(n, seed, 1.0)
    rng = random.Random(seed + 1)
    h = [x * (1 + abs(rng.gauss(0, 0.004))) * price_scale for x in c]
    lo = [x * (1 - abs(rng.gauss(0, 0.004))) * price_scale for x in c]
    v = [1e6 * (1 + abs(rng.gauss(0, 1))) * volume_scale for _ in c]
    return {"high": h, "low": lo, "close": [x * price_scale for x in c], "volume": v}


def stream_sma(values, period):
    s = vl.OnlineSMA(period)
    update = s.update
    for x in values:
        update(x)


def cases(n, p):
    # Above 1.8e308 / p for the plain sums: every window of p bars overflows. Volumes carry the
    # size for the volume functions (flows are price times volume).
    big = 4.0 / p * 1e308
    ordinary, hostile = bars(n), bars(n, price_scale=big / 100.0)
    heavy = bars(n, volume_scale=big / 1e6)  # volumes themselves
    flows = bars(n, volume_scale=big / 1e8)  # price times volume
    rows = [
        ("py_sum", lambda b: vl.py_sum(b["close"], p), hostile),
        ("py_sma", lambda b: vl.py_sma(b["close"], p), hostile),
        ("py_wma", lambda b: vl.py_wma(b["close"], p), hostile),
        ("py_hma", lambda b: vl.py_hma(b["close"], p), hostile),
        ("py_trima", lambda b: vl.py_trima(b["close"], p), hostile),
        ("OnlineSMA", lambda b: stream_sma(b["close"], p), hostile),
        ("py_cmf", lambda b: vl.py_cmf(b["high"], b["low"], b["close"], b["volume"], p), heavy),
        ("py_mfi", lambda b: vl.py_mfi(b["high"], b["low"], b["close"], b["volume"], p), flows),
        ("py_vwap", lambda b: vl.py_vwap(b["high"], b["low"], b["close"], b["volume"], p), flows),
    ]
    out = [(name, f, data, ordinary) for name, f, data in rows]
    # The weighted means weigh their windows by squares, which leave the range far lower.
    squares = bars(n, price_scale=1e200 / 100.0)
    out.append(("py_wma squares 1e200", lambda b: vl.py_wma(b["close"], p), squares, ordinary))
    out.append(("py_hma squares 1e200", lambda b: vl.py_hma(b["close"], p), squares, ordinary))
    # Windows that fit, whose slide (entering term first) overflows on the way.
    edge = [1.7976e308 / p * (1 - 1e-9 * (k % 7)) for k in range(n)]
    out.append(("py_sma edge of range", lambda b: vl.py_sma(b["close"], p), {"close": edge}, ordinary))
    # Sums that fit, weights that do not.
    alt = [1e308 if k % 2 == 0 else -1e308 for k in range(n)]
    out.append(("py_sum alternating 1e308", lambda b: vl.py_sum(b["close"], p), {"close": alt}, ordinary))
    return out


def timed(f, data, repeat):
    best = math.inf
    for _ in range(repeat):
        t = time.perf_counter()
        f(data)
        best = min(best, time.perf_counter() - t)
    return best


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--bars", type=int, default=1_000_000)
    ap.add_argument("--period", type=int, default=1000)
    ap.add_argument("--only", default="")
    ap.add_argument("--repeat", type=int, default=1, help="best of this many runs of the hostile case")
    ap.add_argument("--skip-long", action="store_true", help="skip the 1e308 example (n = 200000, p = 100000)")
    args = ap.parse_args()
    only = [s for s in args.only.split(",") if s]
    print(f"{'case':32} {'hostile s':>10} {'ordinary s':>11} {'ratio':>7}")
    rows = cases(args.bars, args.period)
    if not args.skip_long:
        ones = bars(200_000)["close"]
        rows.insert(0, ("py_sma([1e308]*2e5, 1e5)", lambda d: vl.py_sma(d, 100_000), [1e308] * 200_000, ones))
    for name, f, hostile, ordinary in rows:
        if only and not any(s in name for s in only):
            continue
        t_ord = timed(f, ordinary, 3)
        t_host = timed(f, hostile, args.repeat)
        print(f"{name:32} {t_host:10.3f} {t_ord:11.3f} {t_host / t_ord:7.1f}", flush=True)


if __name__ == "__main__":
    main()
