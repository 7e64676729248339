"""The second moments on hostile data, beside ordinary data of the same length: values near the
top of the range (1e300 alternating with 1: the squares overflow) and a geometric sawtooth
that falls by 2^1.5 a bar (every slide sheds the window's largest value). Each call should
stay linear, within a few times its ordinary cost. In a test build the windows summed afresh
are counted too.

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
