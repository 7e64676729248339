"""Stochastic family and oscillators: (name, fn(bars), series in, series out)."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_stochastic(h, l, c, 14, 3, 3)", lambda b: vl.py_stochastic(b["high"], b["low"], b["close"], 14, 3, 3), 3, 2),
    ("py_kdj(h, l, c, 9, 3, 3)", lambda b: vl.py_kdj(b["high"], b["low"], b["close"], 9, 3, 3), 3, 3),
    ("py_williams_r(h, l, c, 14)", lambda b: vl.py_williams_r(b["high"], b["low"], b["close"], 14), 3, 1),
    ("py_stochrsi(close, 14, 14, 3, 3)", lambda b: vl.py_stochrsi(b["close"], 14, 14, 3, 3), 1, 2),
    ("py_mom(close, 10)", lambda b: vl.py_mom(b["close"], 10), 1, 1),
    ("py_roc(close, 10)", lambda b: vl.py_roc(b["close"], 10), 1, 1),
    ("py_apo(close, 12, 26)", lambda b: vl.py_apo(b["close"], 12, 26), 1, 1),
    ("py_ppo(close, 12, 26)", lambda b: vl.py_ppo(b["close"], 12, 26), 1, 1),
    ("py_cmo(close, 14)", lambda b: vl.py_cmo(b["close"], 14), 1, 1),
    ("py_cci(h, l, c, 20)", lambda b: vl.py_cci(b["high"], b["low"], b["close"], 20), 3, 1),
    ("py_awesome_oscillator(h, l, 5, 34)", lambda b: vl.py_awesome_oscillator(b["high"], b["low"], 5, 34), 2, 1),
    ("py_fisher_transform(h, l, c, 9)", lambda b: vl.py_fisher_transform(b["high"], b["low"], b["close"], 9), 3, 2),
    ("py_tsi(close, 25, 13, 13)", lambda b: vl.py_tsi(b["close"], 25, 13, 13), 1, 2),
    ("py_ultimate_oscillator(h, l, c, 7, 14, 28)",
     lambda b: vl.py_ultimate_oscillator(b["high"], b["low"], b["close"], 7, 14, 28), 3, 1),
]
