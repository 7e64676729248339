"""OhlcvFrame: construction, the indicator cache and its keys, the common set, access rules."""
import math
import random

import pytest

from conftest import nan_equal, native_program, random_bars, same_series, value_error

METHODS = ["len", "is_empty", "clear_cache", "cached_indicators", "get_cached", "compute_common_indicators",
           "sma", "ema", "wma", "hma", "atr", "true_range", "bollinger_bands", "rsi", "macd", "stochastic", "cci",
           "williams_r", "supertrend", "adx", "obv", "vwap", "mfi"]


def bars(n, seed=3):
    high, low, close = random_bars(n, seed)
    rng = random.Random(seed)
    volume = [1000.0 + 500.0 * rng.random() for _ in range(n)]
    return {"timestamps": list(range(n)), "open": close[:1] + close[:-1], "high": high, "low": low,
            "close": close, "volume": volume}


def frame(m, b):
    return m.OhlcvFrame(b["timestamps"], b["open"], b["high"], b["low"], b["close"], b["volume"])


def outputs(result):
    return [result] if type(result) is list else list(result)


COLUMNS = {"c": ("close",), "hlc": ("high", "low", "close"), "cv": ("close", "volume"),
           "hlcv": ("high", "low", "close", "volume")}
# (method, arguments, the module function and the columns it reads, keys in the order returned)
CASES = [
    ("sma", (20,), "py_sma", "c", "sma_20"),
    ("ema", (20,), "py_ema", "c", "ema_20"),
    ("wma", (9,), "py_wma", "c", "wma_9"),
    ("hma", (16,), "py_hma", "c", "hma_16"),
    ("atr", (14,), "py_atr", "hlc", "atr_14"),
    ("true_range", (), "py_true_range", "hlc", "true_range"),
    ("bollinger_bands", (20, 2.0), "py_bollinger_bands", "c", "bb_upper_20_2 bb_mid_20_2 bb_lower_20_2"),
    ("rsi", (14,), "py_rsi", "c", "rsi_14"),
    ("macd", (12, 26, 9), "py_macd", "c", "macd_12_26_9 macd_signal_12_26_9 macd_hist_12_26_9"),
    ("stochastic", (14, 3, 5), "py_stochastic", "hlc", "stoch_k_14_3_5 stoch_d_14_3_5"),
    ("cci", (20,), "py_cci", "hlc", "cci_20"),
    ("williams_r", (14,), "py_williams_r", "hlc", "willr_14"),
    ("supertrend", (10, 3.5), "py_supertrend", "hlc",
     "supertrend_10_3.5 supertrend_dir_10_3.5 supertrend_upper_10_3.5 supertrend_lower_10_3.5"),
    ("adx", (14,), "py_adx", "hlc", "adx_14 adx_plus_di_14 adx_minus_di_14"),
    ("obv", (), "py_obv", "cv", "obv"),
    ("vwap", (0,), "py_vwap", "hlcv", "vwap_0"),
    ("vwap", (20,), "py_vwap", "hlcv", "vwap_20"),
    ("mfi", (14,), "py_mfi", "hlcv", "mfi_14"),
]


@pytest.mark.parametrize("name, args, module_fn, columns, keys", CASES, ids=[c[0] + str(c[1]) for c in CASES])
def test_cached_results_equal_the_module_functions(m, name, args, module_fn, columns, keys):
    b, keys = bars(120), keys.split()
    f = frame(m, b)
    expected = outputs(getattr(m, module_fn)(*(b[k] for k in COLUMNS[columns]), *args))
    first = getattr(f, name)(*args)
    assert type(first) is (list if len(keys) == 1 else tuple)
    assert same_series(outputs(first), expected)
    assert sorted(f.cached_indicators()) == sorted(keys)
    assert same_series([f.get_cached(k) for k in keys], expected)
    # A repeat is served as new lists; changing one changes nothing kept.
    again = outputs(getattr(f, name)(*args))
    assert same_series(again, expected) and all(x is not y for x, y in zip(again, outputs(first)))
    for series in again:
        series[-1] = -1.0
    assert same_series([f.get_cached(k) for k in keys], expected)
    assert same_series(outputs(getattr(f, name)(*args)), expected)
    assert sorted(f.cached_indicators()) == sorted(keys)


BB = ("bb_upper", "bb_mid", "bb_lower")
ST = ("supertrend", "supertrend_dir", "supertrend_upper", "supertrend_lower")


# Two spellings of one float argument share the key: shortest digits, never an exponent.
@pytest.mark.parametrize(
    "method, period, a, b, suffix, prefixes",
    [
        ("bollinger_bands", 20, 2.0, 2, "_20_2", BB),
        ("bollinger_bands", 5, 1e21, 10**21, "_5_1" + "0" * 21, BB),
        ("supertrend", 10, 3.0, 3, "_10_3", ST),
        ("supertrend", 3, 1e-7, 0.0000001, "_3_0.0000001", ST),
        ("supertrend", 3, -0.0, -0.0, "_3_-0", ST),
        ("supertrend", 3, -math.inf, -math.inf, "_3_-inf", ST),
    ],
)
def test_float_arguments_share_one_key_format(m, method, period, a, b, suffix, prefixes):
    f = frame(m, bars(30))
    first = getattr(f, method)(period, a)
    assert set(f.cached_indicators()) == {p + suffix for p in prefixes}
    assert same_series(getattr(f, method)(period, b), first)
    assert set(f.cached_indicators()) == {p + suffix for p in prefixes}


def test_get_cached_compares_whole_keys_and_copies(m):
    f = frame(m, bars(30))
    assert f.get_cached("sma_20") is None
    r = f.sma(20)
    r[25] = 0.0
    kept = f.get_cached("sma_20")
    assert kept is not f.get_cached("sma_20") and kept[25] != 0.0
    for other in ("SMA_20", "sma_2", "sma_20 ", "sma"):
        assert f.get_cached(other) is None
    with pytest.raises(TypeError, match=r"^argument 'name': 'bytes' object cannot be cast as 'str'$"):
        f.get_cached(b"sma_20")
    assert f.clear_cache() is None and f.cached_indicators() == []
    assert f.clear_cache() is None and f.get_cached("sma_20") is None
    assert nan_equal(f.sma(20), kept)


@pytest.mark.parametrize(
    "n, call, module_call",
    [
        (10, lambda f: f.sma(0), lambda m, b: m.py_sma(b["close"], 0)),
        (10, lambda f: f.sma(11), lambda m, b: m.py_sma(b["close"], 11)),
        (0, lambda f: f.wma(5), lambda m, b: m.py_wma(b["close"], 5)),
        (1, lambda f: f.true_range(), lambda m, b: m.py_true_range(b["high"], b["low"], b["close"], 1)),
        (20, lambda f: f.macd(12, 26, 9), lambda m, b: m.py_macd(b["close"], 12, 26, 9)),
        (30, lambda f: f.bollinger_bands(20, -1.0), lambda m, b: m.py_bollinger_bands(b["close"], 20, -1.0)),
        (30, lambda f: f.supertrend(30, 3.0), lambda m, b: m.py_supertrend(b["high"], b["low"], b["close"], 30, 3.0)),
        (30, lambda f: f.vwap(31), lambda m, b: m.py_vwap(b["high"], b["low"], b["close"], b["volume"], 31)),
    ],
)
def test_a_failing_method_inserts_nothing(m, n, call, module_call):
    b = bars(n)
    f = frame(m, b)
    held = f.sma(1) if n else None
    before = f.cached_indicators()
    assert value_error(call, f) == value_error(module_call, m, b)
    assert f.cached_indicators() == before
    if n:
        assert f.get_cached("sma_1") == held


def test_sma_and_wma_check_close_as_values(m):
    b = bars(10)
    b["close"][3] = math.nan
    f = frame(m, b)  # accepted: only the methods that read close refuse it
    for call in (f.sma, f.wma):
        assert value_error(call, 2) == "Invalid value at index 3: values contains non-finite value: NaN"
    assert value_error(f.sma, 0) == "Invalid value at index 3: values contains non-finite value: NaN"
    assert f.cached_indicators() == []
    one = frame(m, bars(1))
    assert one.sma(1) == bars(1)["close"]


def test_common_indicators(m):
    b = bars(80)
    f = frame(m, b)
    f.rsi(14)  # a step already cached is served, not recomputed differently
    got = f.compute_common_indicators()
    c = b["close"]
    macd, signal, hist = m.py_macd(c, 12, 26, 9)
    upper, mid, lower = m.py_bollinger_bands(c, 20, 2.0)
    expected = {"sma_20": m.py_sma(c, 20), "ema_20": m.py_ema(c, 20), "rsi_14": m.py_rsi(c, 14), "macd": macd,
                "macd_signal": signal, "macd_hist": hist, "atr_14": m.py_atr(b["high"], b["low"], c, 14),
                "bb_mid": mid, "bb_upper": upper, "bb_lower": lower}
    assert type(got) is dict and got.keys() == expected.keys()
    assert all(nan_equal(got[k], expected[k]) for k in expected)
    full = dict(zip(expected, "sma_20 ema_20 rsi_14 macd_12_26_9 macd_signal_12_26_9 macd_hist_12_26_9 atr_14 "
                              "bb_mid_20_2 bb_upper_20_2 bb_lower_20_2".split()))
    assert sorted(f.cached_indicators()) == sorted(full.values())
    assert all(nan_equal(f.get_cached(full[k]), expected[k]) for k in expected)
    again = f.compute_common_indicators()
    assert all(again[k] is not got[k] and nan_equal(again[k], got[k]) for k in expected)


@pytest.mark.parametrize(
    "n, message, kept",
    [
        (0, "Empty input: values cannot be empty", set()),
        (19, "Invalid period: 20 (must be > 0 and <= data length 19)", set()),
        (20, "Insufficient data: need at least 26 elements, got 20", {"sma_20", "ema_20", "rsi_14"}),
    ],
)
def test_common_indicators_keep_the_steps_before_a_failure(m, n, message, kept):
    f = frame(m, bars(n))
    assert value_error(f.compute_common_indicators) == message
    assert set(f.cached_indicators()) == kept


@pytest.mark.parametrize(
    "lengths, message",
    [
        ((5, 5, 4, 3, 5, 5), "Length mismatch: timestamps=5, high=4"),
        ((5, 4, 5, 5, 5, 5), "Length mismatch: timestamps=5, open=4"),
        ((5, 5, 5, 5, 5, 0), "Length mismatch: timestamps=5, volume=0"),
        ((0, 0, 0, 0, 0, 1), "Length mismatch: timestamps=0, volume=1"),
    ],
)
def test_length_mismatch_names_the_first_column_in_order(m, lengths, message):
    columns = [list(range(lengths[0]))] + [[1.0] * k for k in lengths[1:]]
    assert value_error(m.OhlcvFrame, *columns) == message


def test_construction_and_size(m):
    empty = m.OhlcvFrame([], [], [], [], [], [])
    assert (empty.len(), len(empty), empty.is_empty(), bool(empty)) == (0, 0, True, False)
    assert empty.cached_indicators() == [] and empty.get_cached("sma_20") is None
    assert value_error(empty.sma, 5) == "Empty input: values cannot be empty"
    f = m.OhlcvFrame((3, 1, 1), (1, 2, 3), [1.0] * 3, [1.0] * 3, [math.inf] * 3, [math.nan] * 3)
    assert (f.len(), len(f), f.is_empty(), bool(f)) == (3, 3, False, True)
    for timestamps, error, match in [([1.0], TypeError, "^argument 'timestamps': 'float' object cannot be interpreted"),
                                     ("1", TypeError, "^argument 'timestamps': "), ([2**63], OverflowError, "too big to convert")]:
        with pytest.raises(error, match=match):
            m.OhlcvFrame(timestamps, [1.0], [1.0], [1.0], [1.0], [1.0])


def test_class_surface(m):
    assert m.__all__[3] == "OhlcvFrame"
    assert [k for k in vars(m.OhlcvFrame) if not k.startswith("_")] == METHODS
    assert m.OhlcvFrame.__text_signature__ == "(timestamps, open, high, low, close, volume)"
    # Signatures alone: CPython reads them off the docstring and leaves no text behind.
    assert m.OhlcvFrame.macd.__doc__ is None and m.OhlcvFrame.__doc__ == ""
    assert m.OhlcvFrame.get_cached.__text_signature__ == "($self, name)"
    f = frame(m, bars(40))
    assert same_series(f.macd(slow=26, signal=9, fast=12), f.macd(12, 26, 9))
    with pytest.raises(TypeError, match=r"^OhlcvFrame.sma\(\) missing 1 required positional argument: 'period'$"):
        f.sma()
    with pytest.raises(TypeError, match=r"^argument 'period': "):
        f.rsi(None)
    with pytest.raises(OverflowError):
        f.rsi(-1)
    with pytest.raises(TypeError, match=r"^argument 'std_dev': "):
        f.bollinger_bands(20, None)


def test_exclusive_access_is_taken_before_arguments_convert(m):
    f = frame(m, bars(30))
    f.sma(5)

    class Reentrant:
        def __init__(self, action):
            self.action = action

        def __index__(self):
            self.action()
            return 3

        def __float__(self):
            self.action()
            return 2.0

    shared = [f.len, lambda: len(f), f.is_empty, f.cached_indicators, lambda: f.get_cached("sma_5")]
    exclusive = [lambda: f.sma(3), f.clear_cache, f.compute_common_indicators, f.true_range, f.obv]
    # Every method with an argument, the argument reaching back into the frame while it converts.
    calls = [lambda r, name=name, n=n: getattr(f, name)(r, *[3] * (n - 1))
             for name, n in [("sma", 1), ("ema", 1), ("wma", 1), ("hma", 1), ("atr", 1), ("bollinger_bands", 2),
                             ("rsi", 1), ("macd", 3), ("stochastic", 3), ("cci", 1), ("williams_r", 1),
                             ("supertrend", 2), ("adx", 1), ("vwap", 1), ("mfi", 1)]]
    calls.append(lambda r: f.bollinger_bands(20, r))
    for actions, message in [(shared, "Already mutably borrowed"), (exclusive, "Already borrowed")]:
        for action in actions:
            for call in calls:
                with pytest.raises(RuntimeError, match=f"^{message}$"):
                    call(Reentrant(action))
    assert f.cached_indicators() == ["sma_5"]
    assert nan_equal(f.sma(Reentrant(lambda: None)), m.py_sma(bars(30)["close"], 3))  # released after each call


def test_hits_hand_out_the_cached_storage():
    run = native_program("frame_cache")
    assert run("") == ["1", "1", "Invalid period: 20 (must be > 0 and <= data length 8) 4"]
