"""Feature preparation and model training: (name, fn(bars), series in, series out).

The ATR and RSI inputs are computed once per bar set, outside the timed calls. The trainers
return a model, not a series; their floor counts the input conversions only."""
import vorn_library.vorn_library as vl

_inputs = {}


def _atr_rsi(b):
    key = id(b["close"])
    if key not in _inputs:
        _inputs.clear()
        _inputs[key] = (vl.py_atr(b["high"], b["low"], b["close"], 14), vl.py_rsi(b["close"], 14))
    return _inputs[key]


CASES = [
    ("py_train_supertrend_model(close, atr)",
     lambda b: vl.py_train_supertrend_model(b["close"], _atr_rsi(b)[0]), 2, 0),
    ("py_train_supertrend_model(close, atr, 10000, 10, True)",
     lambda b: vl.py_train_supertrend_model(b["close"], _atr_rsi(b)[0], 10000, 10, True), 2, 0),
    ("py_train_atr2_model(close, atr, volume)",
     lambda b: vl.py_train_atr2_model(b["close"], _atr_rsi(b)[0], b["volume"]), 3, 0),
    ("py_train_momentum_model(rsi, 10000, 10)",
     lambda b: vl.py_train_momentum_model(_atr_rsi(b)[1], 10000, 10), 1, 0),
    ("py_prepare_atr2_features(close, atr, volume, 10)",
     lambda b: vl.py_prepare_atr2_features(b["close"], _atr_rsi(b)[0], b["volume"], 10), 3, 3),
    ("py_prepare_momentum_features(rsi, 5)",
     lambda b: vl.py_prepare_momentum_features(_atr_rsi(b)[1], 5), 1, 5),
]
