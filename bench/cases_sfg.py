"""Stops, signal combination, market structure, pivot/grid systems, gaps and breakers:
(name, fn(bars), series in, series out)."""
import vorn_library.vorn_library as vl


def _signals(bars):
    # Buy/sell pairs from a cheap rule of the close, built once per bar set.
    key = id(bars)
    if _signals.key != key:
        c = bars["close"]
        buy = [1.0 if i > 0 and c[i] > c[i - 1] * 1.01 else 0.0 for i in range(len(c))]
        sell = [1.0 if i > 0 and c[i] < c[i - 1] * 0.99 else 0.0 for i in range(len(c))]
        direction = [1.0 if i % 50 < 25 else -1.0 for i in range(len(c))]
        atr = vl.py_atr(bars["high"], bars["low"], c, 14)
        _signals.cache = (buy, sell, direction, atr)
        _signals.key = key
    return _signals.cache


_signals.key = None


def _stops(b):
    buy, sell, _, atr = _signals(b)
    return vl.py_calculate_stops(b["close"], atr, buy, sell, 1.5, 2.5)


def _trail(b):
    _, _, direction, atr = _signals(b)
    return vl.py_trailing_stop(b["close"], atr, direction, 2.0)


def _combine(b):
    buy, sell, _, _ = _signals(b)
    return vl.py_combine_signals(buy, sell, sell, buy, 0.5)


CASES = [
    ("py_calculate_stops(c, atr, buy, sell)", _stops, 4, 2),
    ("py_trailing_stop(c, atr, direction, 2.0)", _trail, 3, 1),
    ("py_combine_signals(b1, s1, b2, s2, 0.5)", _combine, 4, 3),
    ("py_volume_filter(volume, 20)", lambda b: vl.py_volume_filter(b["volume"], 20), 1, 3),
    ("py_pivot_buy_sell(h, l, c, 5)", lambda b: vl.py_pivot_buy_sell(b["high"], b["low"], b["close"], 5), 3, 7),
    ("py_general_parameters_signals(h, l, c)",
     lambda b: vl.py_general_parameters_signals(b["high"], b["low"], b["close"], 20, 50, 14, 1.0), 3, 4),
    ("py_pd_array_signals(h, l, c, 20)", lambda b: vl.py_pd_array_signals(b["high"], b["low"], b["close"], 20), 3, 4),
    ("py_detect_divergence(close, open, 5, 0.01)",
     lambda b: vl.py_detect_divergence(b["close"], b["open"], 5, 0.01), 2, 2),
    ("py_fvg_signals(h, l)", lambda b: vl.py_fvg_signals(b["high"], b["low"]), 2, 4),
    ("py_breaker_block_signals(o, h, l, c, 3)",
     lambda b: vl.py_breaker_block_signals(b["open"], b["high"], b["low"], b["close"], 3), 4, 4),
    ("py_linreg_supply_demand_signals(h, l, c, v, 20)",
     lambda b: vl.py_linreg_supply_demand_signals(b["high"], b["low"], b["close"], b["volume"], 20, 0.02), 4, 4),
]
