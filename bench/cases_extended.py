"""The extended set: squeeze and envelopes, averages, statistics, oscillators
(name, fn(bars), series in, series out). Cases marked O(n*p) recompute every window."""
import vorn_library.vorn_library as vl


def _hlc(b):
    return b["high"], b["low"], b["close"]


CASES = [
    ("py_squeeze(h, l, c, 20, 2.0, 20, 20, 1.5)", lambda b: vl.py_squeeze(*_hlc(b), 20, 2.0, 20, 20, 1.5), 3, 3),
    ("py_aberration(h, l, c, 20, 20)", lambda b: vl.py_aberration(*_hlc(b), 20, 20), 3, 1),
    ("py_wae(close, 20, 40, 9, 20, 2.0)", lambda b: vl.py_wae(b["close"], 20, 40, 9, 20, 2.0), 1, 2),
    ("py_ssl_channel(h, l, c, 10)", lambda b: vl.py_ssl_channel(*_hlc(b), 10), 3, 2),
    ("py_alma(close, 9, 0.85, 6.0) O(n*p)", lambda b: vl.py_alma(b["close"], 9, 0.85, 6.0), 1, 1),
    ("py_pwma(close, 5) O(n*p)", lambda b: vl.py_pwma(b["close"], 5), 1, 1),
    ("py_sinwma(close, 14) O(n*p)", lambda b: vl.py_sinwma(b["close"], 14), 1, 1),
    ("py_swma(close, 7) O(n*p)", lambda b: vl.py_swma(b["close"], 7), 1, 1),
    ("py_vwma(close, volume, 20) O(n*p)", lambda b: vl.py_vwma(b["close"], b["volume"], 20), 2, 1),
    ("py_vidya(close, 14)", lambda b: vl.py_vidya(b["close"], 14), 1, 1),
    ("py_alligator(h, l, 13, 8, 5)", lambda b: vl.py_alligator(b["high"], b["low"], 13, 8, 5), 2, 3),
    ("py_slope(close, 14) O(n*p)", lambda b: vl.py_slope(b["close"], 14), 1, 1),
    ("py_bias(close, 20)", lambda b: vl.py_bias(b["close"], 20), 1, 1),
    ("py_psl(close, 12)", lambda b: vl.py_psl(b["close"], 12), 1, 1),
    ("py_er(close, 10)", lambda b: vl.py_er(b["close"], 10), 1, 1),
    ("py_cfo(close, 14)", lambda b: vl.py_cfo(b["close"], 14), 1, 1),
    ("py_cti(close, 12)", lambda b: vl.py_cti(b["close"], 12), 1, 1),
    ("py_bop(o, h, l, c)", lambda b: vl.py_bop(b["open"], *_hlc(b)), 4, 1),
    ("py_percent_rank(close, 14) O(n*p)", lambda b: vl.py_percent_rank(b["close"], 14), 1, 1),
    ("py_entropy(close, 10, 10) O(n*p)", lambda b: vl.py_entropy(b["close"], 10, 10), 1, 1),
    ("py_qqe(close, 14, 5, 4.236)", lambda b: vl.py_qqe(b["close"], 14, 5, 4.236), 1, 3),
    ("py_kst(close, 10, 15, 20, 30, 9)", lambda b: vl.py_kst(b["close"], 10, 15, 20, 30, 9), 1, 2),
    ("py_stc(close, 23, 50, 10)", lambda b: vl.py_stc(b["close"], 23, 50, 10), 1, 1),
    ("py_smi(h, l, c, 13, 25, 2)", lambda b: vl.py_smi(*_hlc(b), 13, 25, 2), 3, 1),
    ("py_tdfi(close, 13, 3)", lambda b: vl.py_tdfi(b["close"], 13, 3), 1, 1),
    ("py_coppock(close, 11, 14, 10) O(n*p)", lambda b: vl.py_coppock(b["close"], 11, 14, 10), 1, 1),
]
