"""Aroon, parabolic SAR, TRIX, DPO, vortex, choppiness, Qstick, VHF: (name, fn(bars), in, out)."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_aroon(h, l, 25)", lambda b: vl.py_aroon(b["high"], b["low"], 25), 2, 3),
    ("py_psar(h, l, c, 0.02, 0.02, 0.2)",
     lambda b: vl.py_psar(b["high"], b["low"], b["close"], 0.02, 0.02, 0.2), 3, 2),
    ("py_trix(close, 15)", lambda b: vl.py_trix(b["close"], 15), 1, 1),
    ("py_dpo(close, 20)", lambda b: vl.py_dpo(b["close"], 20), 1, 1),
    ("py_vortex(h, l, c, 14)", lambda b: vl.py_vortex(b["high"], b["low"], b["close"], 14), 3, 2),
    ("py_choppiness(h, l, c, 14)", lambda b: vl.py_choppiness(b["high"], b["low"], b["close"], 14), 3, 1),
    ("py_qstick(o, c, 14)", lambda b: vl.py_qstick(b["open"], b["close"], 14), 2, 1),
    ("py_vhf(close, 28)", lambda b: vl.py_vhf(b["close"], 28), 1, 1),
]
