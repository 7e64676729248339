"""Rolling statistics and price transforms."""
import vorn_library.vorn_library as vl

CASES = [
    ("py_linear_regression(close, 14)", lambda b: vl.py_linear_regression(b["close"], 14), 1, 3),
    ("py_linearreg_slope(close, 14)", lambda b: vl.py_linearreg_slope(b["close"], 14)),
    ("py_tsf(close, 14)", lambda b: vl.py_tsf(b["close"], 14)),
    ("py_standard_error(close, 14)", lambda b: vl.py_standard_error(b["close"], 14)),
    ("py_linearreg(close, 14)", lambda b: vl.py_linearreg(b["close"], 14)),
    ("py_correlation(close, volume, 20)", lambda b: vl.py_correlation(b["close"], b["volume"], 20), 2, 1),
    ("py_covariance(close, volume, 20)", lambda b: vl.py_covariance(b["close"], b["volume"], 20), 2, 1),
    ("py_beta(close, open, 20)", lambda b: vl.py_beta(b["close"], b["open"], 20), 2, 1),
    ("py_zscore(close, 20)", lambda b: vl.py_zscore(b["close"], 20)),
    ("py_var(close, 20)", lambda b: vl.py_var(b["close"], 20)),
    ("py_var(close, 1000)", lambda b: vl.py_var(b["close"], 1000)),
    ("py_avgprice(o, h, l, c)", lambda b: vl.py_avgprice(b["open"], b["high"], b["low"], b["close"]), 4, 1),
    ("py_typprice(h, l, c)", lambda b: vl.py_typprice(b["high"], b["low"], b["close"]), 3, 1),
]
