"""Pivot points, Fibonacci levels and the Ichimoku cloud: (name, fn(bars), series in, series out).

A row of pivot levels counts as nine output values and a dict of retracement levels as seven.
The one-bar level functions are timed per call, like a streaming update, against an empty
method of the same arity (STREAMING: (name, factory, arguments))."""
import types

import vorn_library.vorn_library as vl


def _cloud(b):
    return vl.py_ichimoku_cloud(b["high"], b["low"], b["close"], 9, 26, 52)


def _readers():
    cache = {}

    def lines(b):
        key = id(b["close"])
        if key not in cache:
            cache.clear()
            cache[key] = _cloud(b)
        return cache[key]

    return lines


_lines = _readers()

CASES = [
    ("py_calc_pivot_series(o, h, l, c, 'standard')",
     lambda b: vl.py_calc_pivot_series(b["open"], b["high"], b["low"], b["close"], "standard"), 4, 9),
    ("py_calc_pivot_series(o, h, l, c, 'camarilla')",
     lambda b: vl.py_calc_pivot_series(b["open"], b["high"], b["low"], b["close"], "camarilla"), 4, 9),
    ("py_dynamic_fib_retracement(close, 20)", lambda b: vl.py_dynamic_fib_retracement(b["close"], 20), 1, 7),
    ("py_ichimoku_cloud(h, l, c, 9, 26, 52)", _cloud, 3, 5),
    ("py_ichimoku_signals(close, *cloud)", lambda b: vl.py_ichimoku_signals(b["close"], *_lines(b)), 6, 1),
    ("py_ichimoku_tk_cross(*cloud)", lambda b: vl.py_ichimoku_tk_cross(*_lines(b)), 5, 1),
    ("py_cloud_thickness(*cloud)", lambda b: vl.py_cloud_thickness(*_lines(b)), 5, 1),
    ("py_cloud_color(*cloud)", lambda b: vl.py_cloud_color(*_lines(b)), 5, 1),
]


def _per_call(fn):
    return lambda: types.SimpleNamespace(update=fn)


STREAMING = [
    ("py_standard_pivots(h, l, c)", _per_call(vl.py_standard_pivots), (102.5, 100.5, 101.5)),
    ("py_camarilla_pivots(h, l, c)", _per_call(vl.py_camarilla_pivots), (102.5, 100.5, 101.5)),
    ("py_fib_extension(s, e, r)", _per_call(vl.py_fib_extension), (102.5, 100.5, 101.5)),
]
