"""Volume indicators and the RVI / inertia / PGO / force-index set: (name, fn(bars), series in, series out)."""
import vorn_library.vorn_library as vl


def hlcv(b):
    return b["high"], b["low"], b["close"], b["volume"]


def ohlc(b):
    return b["open"], b["high"], b["low"], b["close"]


CASES = [
    ("py_obv(c, v)", lambda b: vl.py_obv(b["close"], b["volume"]), 2, 1),
    ("py_ad(h, l, c, v)", lambda b: vl.py_ad(*hlcv(b)), 4, 1),
    ("py_adosc(h, l, c, v, 3, 10)", lambda b: vl.py_adosc(*hlcv(b), 3, 10), 4, 1),
    ("py_pvt(c, v)", lambda b: vl.py_pvt(b["close"], b["volume"]), 2, 1),
    ("py_nvi(c, v)", lambda b: vl.py_nvi(b["close"], b["volume"]), 2, 1),
    ("py_pvi(c, v)", lambda b: vl.py_pvi(b["close"], b["volume"]), 2, 1),
    ("py_cmf(h, l, c, v, 20)", lambda b: vl.py_cmf(*hlcv(b), 20), 4, 1),
    ("py_mfi(h, l, c, v, 14)", lambda b: vl.py_mfi(*hlcv(b), 14), 4, 1),
    ("py_vwap(h, l, c, v)", lambda b: vl.py_vwap(*hlcv(b)), 4, 1),
    ("py_vwap(h, l, c, v, 20)", lambda b: vl.py_vwap(*hlcv(b), 20), 4, 1),
    ("py_eom(h, l, v, 14)", lambda b: vl.py_eom(b["high"], b["low"], b["volume"], 14), 3, 1),
    ("py_force_index(c, v, 13)", lambda b: vl.py_force_index(b["close"], b["volume"], 13), 2, 1),
    ("py_volume_oscillator(v, 5, 10)", lambda b: vl.py_volume_oscillator(b["volume"], 5, 10), 1, 1),
    # the profile returns 24 bins, not a series: its floor still holds one output list
    ("py_volume_profile(h, l, c, v, 24)", lambda b: vl.py_volume_profile(*hlcv(b), 24), 4, 1),
    ("py_rvi(o, h, l, c, 10, 4)", lambda b: vl.py_rvi(*ohlc(b), 10, 4), 4, 2),
    ("py_inertia(o, h, l, c, 14, 20)", lambda b: vl.py_inertia(*ohlc(b), 14, 20), 4, 1),
    ("py_pgo(h, l, c, 14)", lambda b: vl.py_pgo(b["high"], b["low"], b["close"], 14), 3, 1),
    ("py_efi(c, v, 13)", lambda b: vl.py_efi(b["close"], b["volume"], 13), 2, 1),
]
