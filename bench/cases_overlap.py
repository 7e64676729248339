"""SAR and extended SAR, MAMA, TRIMA, midpoint and midprice: (name, fn(bars), series in, series out)."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_sar(h, l, 0.02, 0.2)", lambda b: vl.py_sar(b["high"], b["low"], 0.02, 0.2), 2, 1),
    ("py_sarext(h, l, defaults)",
     lambda b: vl.py_sarext(b["high"], b["low"], 0.0, 0.0, 0.02, 0.02, 0.2, 0.02, 0.02, 0.2), 2, 1),
    ("py_mama(close, 0.5, 0.05)", lambda b: vl.py_mama(b["close"], 0.5, 0.05), 1, 2),
    ("py_trima(close, 30)", lambda b: vl.py_trima(b["close"], 30), 1, 1),
    ("py_midpoint(close, 14)", lambda b: vl.py_midpoint(b["close"], 14), 1, 1),
    ("py_midprice(h, l, 14)", lambda b: vl.py_midprice(b["high"], b["low"], 14), 2, 1),
]
