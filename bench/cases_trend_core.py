"""RSI, MACD, directional movement and SuperTrend: (name, fn(bars), series in, series out)."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_rsi(close, 14)", lambda b: vl.py_rsi(b["close"], 14), 1, 1),
    ("py_macd(close, 12, 26, 9)", lambda b: vl.py_macd(b["close"], 12, 26, 9), 1, 3),
    ("py_adx(h, l, c, 14)", lambda b: vl.py_adx(b["high"], b["low"], b["close"], 14), 3, 3),
    ("py_dmi(h, l, c, 14)", lambda b: vl.py_dmi(b["high"], b["low"], b["close"], 14), 3, 2),
    ("py_dx(h, l, c, 14)", lambda b: vl.py_dx(b["high"], b["low"], b["close"], 14), 3, 1),
    ("py_supertrend(h, l, c, 10, 3.0)", lambda b: vl.py_supertrend(b["high"], b["low"], b["close"], 10, 3.0), 3, 4),
]
