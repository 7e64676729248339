"""Cycle measures: (name, fn(bars), series in, series out)."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_ht_dcperiod(close)", lambda b: vl.py_ht_dcperiod(b["close"]), 1, 1),
    ("py_ht_dcphase(close)", lambda b: vl.py_ht_dcphase(b["close"]), 1, 1),
    ("py_ht_phasor(close)", lambda b: vl.py_ht_phasor(b["close"]), 1, 2),
    ("py_ht_sine(close)", lambda b: vl.py_ht_sine(b["close"]), 1, 2),
    ("py_ht_trendmode(close)", lambda b: vl.py_ht_trendmode(b["close"]), 1, 1),
]
