"""Trend-ratio, MACD, nearest-neighbour and learned-model signal systems: (name, fn(bars), series in, series out).

py_ai_momentum_index compares every bar with all earlier ones (quadratic in the length), so it
is timed on the first 20,000 bars of each set."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_atr2_signals(h, l, c, v, 14, 2.0, 10)",
     lambda b: vl.py_atr2_signals(b["high"], b["low"], b["close"], b["volume"], 14, 2.0, 10), 4, 3),
    ("py_dynamic_macd(o, h, l, c, 12, 26, 9)",
     lambda b: vl.py_dynamic_macd(b["open"], b["high"], b["low"], b["close"], 12, 26, 9), 4, 5),
    ("py_ai_supertrend(h, l, c, 5, 100, 10, 10, 10, 3.0)",
     lambda b: vl.py_ai_supertrend(b["high"], b["low"], b["close"], 5, 100, 10, 10, 10, 3.0), 3, 2),
    ("py_ai_momentum_index(close[:20000], 50, 14, 3)",
     lambda b: vl.py_ai_momentum_index(b["close"][:20000], 50, 14, 3), 1, 2),
    ("py_atr2_signals_ml(h, l, c, v, 14, 14, 1.0, 10)",
     lambda b: vl.py_atr2_signals_ml(b["high"], b["low"], b["close"], b["volume"], 14, 14, 1.0, 10), 4, 6),
    ("py_ai_supertrend_ml(h, l, c, 10, 3.0, 'linreg', 10, 200)",
     lambda b: vl.py_ai_supertrend_ml(b["high"], b["low"], b["close"], 10, 3.0, "linreg", 10, 200), 3, 6),
    ("py_ai_supertrend_ml(h, l, c, 10, 3.0, 'ridge', 10, 200)",
     lambda b: vl.py_ai_supertrend_ml(b["high"], b["low"], b["close"], 10, 3.0, "ridge", 10, 200), 3, 6),
    ("py_ai_momentum_index_ml(close, 14, 3, False, 5, 200)",
     lambda b: vl.py_ai_momentum_index_ml(b["close"], 14, 3, False, 5, 200), 1, 6),
    ("py_ai_momentum_index_ml(close, 14, 3, True, 5, 200)",
     lambda b: vl.py_ai_momentum_index_ml(b["close"], 14, 3, True, 5, 200), 1, 6),
]
