"""Channels and volatility measures: (name, fn(bars), series in, series out)."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_donchian_channel(h, l, 20)", lambda b: vl.py_donchian_channel(b["high"], b["low"], 20), 2, 3),
    ("py_chandelier_exit(h, l, c, 22, 22, 3.0)",
     lambda b: vl.py_chandelier_exit(b["high"], b["low"], b["close"], 22, 22, 3.0), 3, 2),
    ("py_historical_volatility(close, 20)", lambda b: vl.py_historical_volatility(b["close"], 20), 1, 1),
    ("py_ulcer_index(close, 14)", lambda b: vl.py_ulcer_index(b["close"], 14), 1, 1),
    ("py_mass_index(h, l, 9, 25)", lambda b: vl.py_mass_index(b["high"], b["low"], 9, 25), 2, 1),
]
