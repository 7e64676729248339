"""Which functions change earlier outputs when bars are appended, held to the list the README gives.

Every exported function that takes series is run on the whole of one fixed set of bars and on a
handful of its prefixes. A function looks ahead when an output at a bar before the end of a prefix
differs between the prefix's run and the whole run (exactly: NaN matches NaN, nothing else is
forgiven). The measured set must equal the README's marked list, so a new function that looks ahead,
or a change that stops one from doing so, fails here until the README says so.

Inputs that are another function's outputs (an ATR, the Ichimoku lines, signal flags) are fed twice:
computed once on the whole set and cut like the prices, which measures the function's own dependence on
later bars; and computed by their producer on each prefix, as a live feed would hand them over, which
measures what reaches the function through its inputs (the Ichimoku lagging span is the close of a
later bar, so what reads it looks ahead too).
"""
import functools
import inspect
import math
import pathlib
import random
import re
from collections import Counter

import pytest

import vorn_library.vorn_library as vl

# The parameters' kinds (series, count, real, ...) come from the test-only module of an in-place build.
floor = pytest.importorskip("vorn_bench_floor", reason="the binding's parameter kinds come with an in-place "
                                                       "build (make build)")
DECLARED = floor.parameters()

README = pathlib.Path(__file__).resolve().parents[1] / "README.md"
N = 700
PREFIXES = range(316, N, 24)  # 16 prefixes, each long enough for every model's training window


def make_bars(n, seed=32):
    """Daily-like OHLCV bars: a random walk of about 1.2 % a bar whose opens gap a little from the
    previous close (without gaps no order block forms, and the breaker blocks would go unmeasured).
    Steps are sums of uniform draws, plain arithmetic, so the bars are the same on every platform."""
    rng = random.Random(seed)

    def step(scale):  # mean 0, deviation `scale`
        return scale * 2.0 * (rng.random() + rng.random() + rng.random() - 1.5)

    o, h, l, c, v = [], [], [], [], []
    x = 100.0
    for _ in range(n):
        op = x * (1 + step(0.004))
        x *= 1 + step(0.012)
        o.append(op)
        h.append(max(op, x) * (1 + abs(step(0.004))))
        l.append(min(op, x) * (1 - abs(step(0.004))))
        c.append(x)
        v.append(float(rng.randint(1000, 100000)))
    return o, h, l, c, v


def series_by_name(bars):
    o, h, l, c, v = bars
    n = len(c)
    returns = [0.0] + [(c[i] - c[i - 1]) / c[i - 1] for i in range(1, n)]
    open_returns = [0.0] + [(o[i] - o[i - 1]) / o[i - 1] for i in range(1, n)]
    rsi = vl.py_rsi(c, 14)
    atr = vl.py_atr(h, l, c, 14)
    direction = vl.py_supertrend(h, l, c, 10, 3.0)[1]
    turns_up = [float(i > 0 and direction[i - 1] == -1.0 and direction[i] == 1.0) for i in range(n)]
    turns_down = [float(i > 0 and direction[i - 1] == 1.0 and direction[i] == -1.0) for i in range(n)]
    cloud = vl.py_ichimoku_cloud(h, l, c, 9, 26, 52)
    return {
        "open": o, "high": h, "low": l, "close": c, "volume": v,
        "values": c, "values1": c, "values2": o, "y_values": c, "prices": c, "price": c,
        "x": returns, "y": open_returns, "asset_returns": returns, "benchmark_returns": open_returns,
        "rsi": rsi, "indicator": [50.0 if math.isnan(x) else x for x in rsi],
        "atr": atr, "atr_values": atr, "direction": direction,
        "buy_signals": turns_up, "sell_signals": turns_down,
        "buy1": turns_up, "sell1": turns_down, "buy2": turns_down, "sell2": turns_up,
        **dict(zip(("tenkan_sen", "kijun_sen", "senkou_span_a", "senkou_span_b", "chikou_span"), cloud)),
    }


BARS = make_bars(N)
SERIES = series_by_name(BARS)
# The series above that another function produces (the rest are the bars and their returns).
PRODUCED = frozenset({"rsi", "indicator", "atr", "atr_values", "direction", "buy_signals", "sell_signals",
                      "buy1", "sell1", "buy2", "sell2", "tenkan_sen", "kijun_sen", "senkou_span_a",
                      "senkou_span_b", "chikou_span"})

# Arguments other than the bars where the signature's default does not fit (or the signature names no
# default): chosen so that each function is defined, and fires, on the bars above.
ARGS = {
    "py_asin": {"values": [math.sin(x) for x in SERIES["close"]]},
    "py_acos": {"values": [math.cos(x) for x in SERIES["close"]]},
    "py_psar": {"af_init": 0.02, "af_increment": 0.02, "af_max": 0.2},
    "py_parabolic_sar": {"af_init": 0.02, "af_increment": 0.02, "af_max": 0.2},
    "py_ichimoku_cloud": {"tenkan_period": 9, "kijun_period": 26, "senkou_b_period": 52},
    "py_sarext": {"start_value": 0.0, "offset_on_reverse": 0.0, "af_init_long": 0.02, "af_long": 0.02,
                  "af_max_long": 0.2, "af_init_short": 0.02, "af_short": 0.02, "af_max_short": 0.2},
    "py_mama": {"fast_limit": 0.5, "slow_limit": 0.05},
    "py_combine_signals": {"weight1": 0.5},
    "py_harmonics": {"left_bars": 3, "right_bars": 3, "min_probability": 0.5},
    "py_harmonics_patterns": {"left_bars": 3, "right_bars": 3},
    "py_swing_points": {"left_bars": 3, "right_bars": 3},
    "py_ai_supertrend": {"k": 5, "n": 100, "price_trend": 10, "predict_trend": 10, "st_length": 10,
                         "st_multiplier": 3.0},
    "py_ai_momentum_index": {"k": 50, "trend_length": 14, "smooth": 3},
    "py_dynamic_macd": {"fast_length": 12, "slow_length": 26, "signal_smooth": 9},
    "py_atr2_signals": {"confirmation_threshold": 2.0, "momentum_window": 10},
    # The ridge model (its penalty meets features standardised over the whole series); the flags change
    # only where a forecast near zero changes sign, which a multiplier of 1.0 makes happen on these bars.
    "py_ai_supertrend_ml": {"st_length": 10, "st_multiplier": 1.0, "model_type": "ridge", "lookback": 10,
                            "train_window": 200},
    "py_atr2_signals_ml": {"ridge_alpha": 1.0, "momentum_window": 10},
    "py_ai_momentum_index_ml": {"lookback": 5, "train_window": 200},
    "py_pivot_buy_sell": {"lookback": 5},
    "py_detect_divergence": {"lookback": 5, "threshold": 0.01},
    "py_pd_array_signals": {"swing_lookback": 5},
    "py_breaker_block_signals": {"lookback": 1},
    "py_linreg_supply_demand_signals": {"tolerance": 0.02},
    "py_general_parameters_signals": {"ema_fast": 20, "ema_slow": 50},
    "py_prepare_supertrend_features": {"lookback": 10},
    "py_prepare_atr2_features": {"lookback": 10},
    "py_prepare_momentum_features": {"lookback": 10},
}
FALLBACK = {"count": 14, "real": 1.0, "setting": 1.0, "flag": False, "text": "standard"}

# Functions whose result is not a value per bar: nothing in it belongs to an earlier bar.
NOT_PER_BAR = {
    "py_volume_profile": "volume per price bin over the whole series",
    "py_train_supertrend_model": "a trained model",
    "py_train_atr2_model": "a trained model",
    "py_train_momentum_model": "a trained model",
}


def series_functions():
    return [name for name in vl.__all__ if not isinstance(getattr(vl, name), type)
            and any(p["kind"] == "series" for p in DECLARED[name])]


def arguments(name, series=SERIES):
    """Positional arguments: the bars by parameter name, then the table, the signature's default, or
    a plain value of the parameter's kind; trailing parameters that may be left out are left out."""
    signature = inspect.signature(getattr(vl, name)).parameters
    chosen, args = ARGS.get(name, {}), []
    for p in DECLARED[name]:
        shown = signature.get(p["name"])
        if p["name"] in chosen:
            args.append(chosen[p["name"]])
        elif p["kind"] == "series":
            assert p["name"] in series, f"{name}: say in SERIES what its series {p['name']!r} holds"
            args.append(series[p["name"]])
        elif not p["required"]:
            break
        elif shown is not None and shown.default not in (inspect.Parameter.empty, None):
            args.append(shown.default)
        else:
            args.append(FALLBACK[p["kind"]])
    return args


def cut(args, k):
    return [a[:k] if isinstance(a, list) and len(a) == N else a for a in args]


@functools.lru_cache(maxsize=None)
def series_on_prefix(k):
    """The series as a live feed has them after k bars: each producer run on the first k bars."""
    return series_by_name([b[:k] for b in BARS])


def takes_outputs(name):
    chosen = ARGS.get(name, {})
    return any(p["kind"] == "series" and p["name"] in PRODUCED and p["name"] not in chosen
               for p in DECLARED[name])


def same(a, b):
    if isinstance(a, float) and isinstance(b, float):
        return a == b or (math.isnan(a) and math.isnan(b))
    if isinstance(a, (list, tuple)) and isinstance(b, (list, tuple)):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, dict) and isinstance(b, dict):
        return a.keys() == b.keys() and all(same(a[k], b[k]) for k in a)
    return type(a) is type(b) and a == b


def record(r):
    """A record as comparable text (NaN matching NaN), and the bar it is dated at: its last point's."""
    if isinstance(r, tuple):  # a swing point: (index, price, is_high)
        return repr(r), r[0]
    if isinstance(r, vl.PyHarmonicPattern):
        fields = [(a, getattr(r, a)) for a in dir(r) if not a.startswith("_")]
        return repr(fields), r.d_index if r.d_index is not None else r.c_index
    raise AssertionError(f"no rule dates a {type(r).__name__} record at a bar")


def earlier_changes(whole, part, k, where="result"):
    """(where, count) for each output whose values before bar k differ between the whole run and the
    run on the first k bars."""
    if isinstance(whole, tuple) and len(whole) == 3 and isinstance(whole[1], int):
        # A feature matrix (flat rows, rows, columns): row r belongs to bar r + lookback, so the
        # prefix's rows are the first rows of the whole matrix.
        flat = part[0]
        diff = sum(not same(x, y) for x, y in zip(whole[0][:len(flat)], flat))
        return [(where + " rows", diff)] if diff else []
    if isinstance(whole, tuple):
        return [c for i, (w, p) in enumerate(zip(whole, part)) for c in earlier_changes(w, p, k, f"output {i}")]
    if isinstance(whole, list) and len(whole) == N:
        assert len(part) == k, f"{where}: {len(part)} values for {k} bars"
        diff = sum(not same(whole[i], part[i]) for i in range(k))
        return [(where, diff)] if diff else []
    if isinstance(whole, list):
        # Records dated at bars: the prefix must show exactly the whole run's records dated before k.
        before = Counter(r for r, bar in map(record, whole) if bar < k)
        shown = Counter(r for r, _ in map(record, part))
        diff = sum(((before - shown) + (shown - before)).values())
        return [(where + " records", diff)] if diff else []
    raise AssertionError(f"{where}: a {type(whole).__name__} is neither values per bar nor records; "
                         "say in NOT_PER_BAR why it has no earlier outputs")


def readme_list():
    """The function names of the README's marked list: the backticked names that open each item."""
    text = README.read_text(encoding="utf-8")
    block = re.search(r"<!-- lookahead -->\n(.*?)<!-- /lookahead -->", text, re.S)
    assert block, "README.md has no <!-- lookahead --> ... <!-- /lookahead --> list"
    names = set()
    for item in re.split(r"^- ", block.group(1), flags=re.M)[1:]:
        head = item.split(":", 1)[0]
        found = re.findall(r"`(py_\w+)`", head)
        assert found, f"a lookahead item names no function before its colon: {item!r}"
        names.update(found)
    return names


FUNCTIONS = series_functions()


@pytest.fixture(scope="module")
def listed():
    return readme_list()


def test_the_list_names_only_measured_functions(listed):
    assert listed <= set(FUNCTIONS) - set(NOT_PER_BAR)
    assert set(NOT_PER_BAR) <= set(FUNCTIONS)


@pytest.mark.parametrize("name", [f for f in FUNCTIONS if f not in NOT_PER_BAR])
def test_earlier_outputs_against_readme(name, listed):
    fn, args = getattr(vl, name), arguments(name)
    whole = fn(*args)
    changed = {}
    for k in PREFIXES:
        runs = [("inputs cut", cut(args, k))]
        if takes_outputs(name):
            runs.append(("inputs produced on the prefix", cut(arguments(name, series_on_prefix(k)), k)))
        for how, part_args in runs:
            for where, diff in earlier_changes(whole, fn(*part_args), k):
                changed[f"{where}, {how}"] = changed.get(f"{where}, {how}", 0) + diff
    if name in listed:
        assert changed, f"{name} is in the README's lookahead list, but appending bars changed none of its " \
                        f"earlier outputs on {len(PREFIXES)} prefixes"
    else:
        assert not changed, f"appending bars changes earlier outputs of {name} ({changed}, summed over " \
                            f"{len(PREFIXES)} prefixes): add it to the README's lookahead list"


def test_the_measure_sees_a_lagging_value():
    """The comparison itself can fail: a close shifted back one bar is caught, the close is not."""
    close = SERIES["close"]
    shifted = close[1:] + [math.nan]
    assert earlier_changes(shifted, close[1:300] + [math.nan], 300) == [("result", 1)]
    assert earlier_changes(close, close[:300], 300) == []


def test_producers_on_a_prefix_hand_over_what_a_live_feed_has():
    """The second feeding differs from the cut one exactly where a producer looks ahead: the lagging
    span, the close of a later bar, is NaN for the prefix's last `kijun_period` bars; the causal
    producers hand over the cut series bit for bit."""
    k = PREFIXES[0]
    live = series_on_prefix(k)
    assert set(PRODUCED) < set(live)
    lagging = live["chikou_span"]
    assert all(math.isnan(x) for x in lagging[k - 26:]) and not any(math.isnan(x) for x in lagging[:k - 26])
    assert lagging[:k - 26] == SERIES["chikou_span"][:k - 26]
    assert not any(math.isnan(x) for x in SERIES["chikou_span"][k - 26:k])
    for name in sorted(PRODUCED - {"chikou_span"}):
        assert same(live[name], SERIES[name][:k]), name
    assert takes_outputs("py_ichimoku_signals") and takes_outputs("py_trailing_stop")
    assert not takes_outputs("py_sma")
