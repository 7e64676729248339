"""The second moments on hostile data, beside ordinary data of the same length: values near the
top of the range (1e300 alternating with 1: their squares would overflow unscaled) and a
geometric sawtooth that falls by 2^1.5 a bar (every slide sheds the window's largest value).
Each call should stay linear, within a few times its ordinary cost. In a test build the
windows summed afresh are counted too. Then long windows: period 10^4 against 20 on 10^6
bars, period n/2 on 4x10^5 and 4x10^6 bars, and OnlineBollingerBands per update at periods
20 and 10^5 (each should cost about what period 20 costs).

  python bench/moments_hostile.py [BUILD_PYTHON_DIR]   (default: build/python)"""
import os
import sys
import time

sys.path.insert(0, sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "build", "python"))
import vorn_library.vorn_library as vl
try:
    import vorn_bench_floor as fl
except ImportError:
    fl = None
n, p = 10**6, 1000
alt = [1e300, 1.0] * (n // 2)
saw = [2.0 ** (-1.5 * (k % 1400)) * 1e300 for k in range(n)]
ordinary = [100.0 + (k * 7919 % 101) * 0.01 for k in range(n)]
for label, data in [("ordinary", ordinary), ("1e300 alternating", alt), ("geometric sawtooth", saw)]:
    for name, f in [("var", lambda d: vl.py_var(d, p)), ("bollinger", lambda d: vl.py_bollinger_bands(d, p, 2.0)),
                    ("linreg", lambda d: vl.py_linear_regression(d, p)), ("correl", lambda d: vl.py_correl(d, d[::-1], p)),
                    ("zscore", lambda d: vl.py_zscore(d, p)), ("tsf", lambda d: vl.py_tsf(d, p))]:
        if fl: fl.fast_paths()
        t = time.perf_counter(); f(data); dt = time.perf_counter() - t
        counts = fl.fast_paths() if fl else None
        c = counts.get("moments_afresh", 0) if counts is not None else "-"
        print(f"{label:20s} {name:10s} {dt:7.3f} s  afresh {c}")

import array
walk = array.array("d", [100.0 + (k * 7919 % 101) * 0.01 + 0.001 * k for k in range(4 * 10**6)])
for label, n, periods in [("10^6 bars", 10**6, (20, 10**4)), ("4x10^5 bars", 4 * 10**5, (20, 2 * 10**5)),
                          ("4x10^6 bars", 4 * 10**6, (20, 2 * 10**6))]:
    data = walk[:n]
    for name, f in [("var", lambda d, q: vl.py_var(d, q)), ("linreg_slope", lambda d, q: vl.py_linearreg_slope(d, q)),
                    ("correl", lambda d, q: vl.py_correl(d, d[::-1], q))]:
        times = []
        for q in periods:
            t = time.perf_counter(); f(data, q); times.append(time.perf_counter() - t)
        print(f"{label:12s} {name:12s} period {periods[0]}: {times[0]:6.3f} s  period {periods[1]}: {times[1]:6.3f} s"
              f"  x{times[1] / times[0]:.2f}")
for q in (20, 10**5):
    bands = vl.OnlineBollingerBands(q, 2.0)
    update = bands.update
    ticks = list(walk[: 5 * 10**5])
    t = time.perf_counter()
    for v in ticks:
        update(v)
    print(f"OnlineBollingerBands period {q}: {(time.perf_counter() - t) / len(ticks) * 1e9:.0f} ns an update")
