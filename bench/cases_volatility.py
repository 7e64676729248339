"""True range, ATR and volatility bands: (name, fn(bars), series in, series out)."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_true_range(h, l, c)", lambda b: vl.py_true_range(b["high"], b["low"], b["close"]), 3, 1),
    ("py_atr(h, l, c, 14)", lambda b: vl.py_atr(b["high"], b["low"], b["close"], 14), 3, 1),
    ("py_natr(h, l, c, 14)", lambda b: vl.py_natr(b["high"], b["low"], b["close"], 14), 3, 1),
    ("py_bollinger_bands(close, 20, 2.0)", lambda b: vl.py_bollinger_bands(b["close"], 20, 2.0), 1, 3),
    ("py_keltner_channel(h, l, c, 20, 10, 2.0)",
     lambda b: vl.py_keltner_channel(b["high"], b["low"], b["close"], 20, 10, 2.0), 3, 3),
]
