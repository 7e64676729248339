"""Element-wise and rolling window math. The rolling extrema are O(n) whatever the
period: py_max(close, 1000) should cost about what py_max(close, 10) costs."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_max(close, 10)", lambda b: vl.py_max(b["close"], 10)),
    ("py_max(close, 1000)", lambda b: vl.py_max(b["close"], 1000)),
    ("py_min(close, 10)", lambda b: vl.py_min(b["close"], 10)),
    ("py_min(close, 1000)", lambda b: vl.py_min(b["close"], 1000)),
    ("py_sum(close, 1000)", lambda b: vl.py_sum(b["close"], 1000)),
    ("py_minmax(close, 1000)", lambda b: vl.py_minmax(b["close"], 1000), 1, 2),
    ("py_minmaxindex(close, 10)", lambda b: vl.py_minmaxindex(b["close"], 10), 1, 2),
    ("py_minmaxindex(close, 1000)", lambda b: vl.py_minmaxindex(b["close"], 1000), 1, 2),
    ("py_sqrt(close)", lambda b: vl.py_sqrt(b["close"])),
    ("py_ln(close)", lambda b: vl.py_ln(b["close"])),
    ("py_sin(close)", lambda b: vl.py_sin(b["close"])),
    ("py_div(close, open)", lambda b: vl.py_div(b["close"], b["open"]), 2, 1),
    ("py_add(close, open)", lambda b: vl.py_add(b["close"], b["open"]), 2, 1),
]
