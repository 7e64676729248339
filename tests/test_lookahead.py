"""Which functions change earlier outputs when bars are appended, held to the lists the README gives.

Every exported function that takes series is run on the whole of one fixed set of bars and on each
of its prefixes, from the first bar on (a prefix the function refuses shows nothing). An output at a
bar before the end of a prefix that differs between the prefix's run and the whole run (exactly: NaN
matches NaN, nothing else is forgiven) is a change. A function looks ahead when changes go on past
the lengths of short series (for it, one such change is looked for, from the longest prefix down); a
function is unsafe on short series when it changes only on prefixes shorter than some length, from
which it is safe. The README's two marked lists must say exactly this: the functions that look
ahead, and the others that change with the length from which each is safe. A new function that
changes earlier outputs, or a change that stops one from doing so or moves its safe length, fails
here until the README says so.

Inputs that are another function's outputs (an ATR, the Ichimoku lines, signal flags) are fed twice:
computed once on the whole set and cut like the prices, which measures the function's own dependence on
later bars; and computed by their producer on each prefix, as a live feed would hand them over, which
measures what reaches the function through its inputs (the Ichimoku lagging span is the close of a
later bar, so what reads it looks ahead too).
"""
import inspect
import itertools
from array import array
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
N = 700  # long enough for every model's training window
PREFIXES = range(1, N)  # every length short of the whole


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


def refused_as_none(fn, *args):
    """fn's result, or None where it refuses bars too few for its periods."""
    try:
        return fn(*args)
    except ValueError:
        return None


def series_by_name(bars):
    o, h, l, c, v = bars
    n = len(c)
    returns = [0.0] + [(c[i] - c[i - 1]) / c[i - 1] for i in range(1, n)]
    open_returns = [0.0] + [(o[i] - o[i - 1]) / o[i - 1] for i in range(1, n)]
    return {
        "open": o, "high": h, "low": l, "close": c, "volume": v,
        "values": c, "values1": c, "values2": o, "y_values": c, "prices": c, "price": c,
        "x": returns, "y": open_returns, "asset_returns": returns, "benchmark_returns": open_returns,
        **produced(bars),
    }


def produced(bars):
    """The series by parameter name that another function produces from the bars. Each is left out
    where its producer refuses the bars (too few for its periods): a live feed has none of it yet."""
    o, h, l, c, v = bars
    n = len(c)
    series = {}
    rsi = refused_as_none(vl.py_rsi, c, 14)
    if rsi is not None:
        series.update(rsi=rsi, indicator=[50.0 if math.isnan(x) else x for x in rsi])
    atr = refused_as_none(vl.py_atr, h, l, c, 14)
    if atr is not None:
        series.update(atr=atr, atr_values=atr)
    trend = refused_as_none(vl.py_supertrend, h, l, c, 10, 3.0)
    if trend is not None:
        direction = trend[1]
        turns_up = [float(i > 0 and direction[i - 1] == -1.0 and direction[i] == 1.0) for i in range(n)]
        turns_down = [float(i > 0 and direction[i - 1] == 1.0 and direction[i] == -1.0) for i in range(n)]
        series.update(direction=direction, buy_signals=turns_up, sell_signals=turns_down,
                      buy1=turns_up, sell1=turns_down, buy2=turns_down, sell2=turns_up)
    cloud = refused_as_none(vl.py_ichimoku_cloud, h, l, c, 9, 26, 52)
    if cloud is not None:
        series.update(zip(("tenkan_sen", "kijun_sen", "senkou_span_a", "senkou_span_b", "chikou_span"), cloud))
    return series


BARS = make_bars(N)
SERIES = series_by_name(BARS)
# The series above that another function produces (the rest are the bars and their returns).
PRODUCED = frozenset(produced(BARS))

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


def produced_inputs(name):
    """The series the function reads that another function produces (ARGS may fix them instead)."""
    chosen = ARGS.get(name, {})
    return {p["name"] for p in DECLARED[name]
            if p["kind"] == "series" and p["name"] in PRODUCED and p["name"] not in chosen}


def takes_outputs(name):
    return bool(produced_inputs(name))


class Known(list):
    """A whole run's output kept with its values' bits (floats) or text (records per bar), so that a
    prefix's output that is its start is recognised at once: equal bits are equal floats or NaN both,
    and the text of a float is exact, NaN's being one. Where they differ, same() decides."""

    def __init__(self, values):
        super().__init__(values)
        # Floats a value, or a tuple of `width` floats (price levels per bar), or other records.
        self.width = 1 if all(type(x) is float for x in values) else \
            len(values[0]) if values and all(type(x) is tuple and len(x) == len(values[0])
                                             and all(type(y) is float for y in x) for x in values) else 0
        self.key = self.bits(values) if self.width else list(map(repr, values))

    def bits(self, values):
        return array("d", values if self.width == 1 else itertools.chain.from_iterable(values)).tobytes()

    def starts_with(self, part):
        if len(part) > len(self):
            return False
        if self.width:
            try:
                if self.key[:8 * self.width * len(part)] == self.bits(part):
                    return True
            except TypeError:  # a prefix's output of another kind
                pass
        elif self.key[:len(part)] == list(map(repr, part)):
            return True
        return all(same(x, y) for x, y in zip(self, part))


def known(result):
    """The whole run's result with each of its outputs a Known list."""
    if isinstance(result, tuple):
        return tuple(known(r) for r in result)
    return Known(result) if isinstance(result, list) and not isinstance(result, Known) else result


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
    whole = known(whole)
    if isinstance(whole, tuple) and len(whole) == 3 and isinstance(whole[1], int):
        # A feature matrix (flat rows, rows, columns): row r belongs to bar r + lookback, so the
        # prefix's rows are the first rows of the whole matrix.
        flat = part[0]
        if whole[0].starts_with(flat):
            return []
        diff = sum(not same(x, y) for x, y in zip(whole[0][:len(flat)], flat))
        return [(where + " rows", diff)] if diff else []
    if isinstance(whole, tuple):
        return [c for i, (w, p) in enumerate(zip(whole, part)) for c in earlier_changes(w, p, k, f"output {i}")]
    if isinstance(whole, list) and len(whole) == N:
        assert len(part) == k, f"{where}: {len(part)} values for {k} bars"
        if whole.starts_with(part):
            return []
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


def marked(name):
    text = README.read_text(encoding="utf-8")
    block = re.search(rf"<!-- {name} -->\n(.*?)<!-- /{name} -->", text, re.S)
    assert block, f"README.md has no <!-- {name} --> ... <!-- /{name} --> part"
    return block.group(1)


def readme_list():
    """The function names of the README's marked list: the backticked names that open each item."""
    names = set()
    for item in re.split(r"^- ", marked("lookahead"), flags=re.M)[1:]:
        head = item.split(":", 1)[0]
        found = re.findall(r"`(py_\w+)`", head)
        assert found, f"a lookahead item names no function before its colon: {item!r}"
        names.update(found)
    return names


def short_series_rows():
    """The README's table of functions unsafe on short series: (backticked names and calls, safe from)."""
    rows = []
    for line in marked("short-series").splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) == 3 and cells[1].isdigit():
            rows.append((re.findall(r"`([^`]+)`", cells[0]), int(cells[1])))
    return rows


def short_series():
    """{function: the number of bars from which it is safe} as the README's table gives it."""
    safe = {}
    for items, bars in short_series_rows():
        for item in items:
            name = re.match(r"py_\w+", item).group(0)
            assert name not in safe, f"{name} is in the short-series table twice"
            safe[name] = bars
    return safe


FUNCTIONS = series_functions()


@pytest.fixture(scope="module")
def listed():
    return readme_list()


@pytest.fixture(scope="module")
def short():
    return short_series()


def test_the_lists_name_only_measured_functions(listed, short):
    assert listed <= set(FUNCTIONS) - set(NOT_PER_BAR)
    assert set(short) <= set(FUNCTIONS) - set(NOT_PER_BAR) - listed
    assert set(NOT_PER_BAR) <= set(FUNCTIONS)


@pytest.mark.parametrize("call", [item for items, _ in short_series_rows() for item in items if "(" in item])
def test_the_short_series_calls_are_the_measured_ones(call):
    """A call the table shows is the call measured here: same arguments, same values on the whole bars."""
    name = call.split("(")[0]
    shown = eval(call, {n: getattr(vl, n) for n in vl.__all__}, SERIES)
    assert same(shown, getattr(vl, name)(*arguments(name)))


def changed_lengths(name, lengths=PREFIXES, first_only=False):
    """{prefix length: {where: values changed}} over the prefixes of these lengths on which an earlier
    output changes (only the first such prefix, if first_only)."""
    fn, args = getattr(vl, name), arguments(name)
    whole = known(fn(*args))
    needs = produced_inputs(name)
    changed = {}
    for k in lengths:
        if first_only and changed:
            break
        runs = [("inputs cut", cut(args, k))]
        if needs:
            live = produced([b[:k] for b in BARS])
            if needs <= live.keys():  # else a live feed has no such input yet
                live.update((n, s) for n, s in SERIES.items() if n not in PRODUCED)
                runs.append(("inputs produced on the prefix", cut(arguments(name, live), k)))
        for how, part_args in runs:
            part = refused_as_none(fn, *part_args)
            if part is None:
                continue  # too few bars for its periods: a live feed shows nothing
            for where, diff in earlier_changes(whole, part, k):
                changed.setdefault(k, {})[f"{where}, {how}"] = diff
    return changed


@pytest.mark.parametrize("name", [f for f in FUNCTIONS if f not in NOT_PER_BAR])
def test_earlier_outputs_against_readme(name, listed, short):
    if name in listed:
        # Changes that go on past the length from which every short-series function is safe: looked
        # for from the longest prefix down, as one is enough.
        longest = max(short.values(), default=1)
        assert changed_lengths(name, [k for k in reversed(PREFIXES) if k >= longest], first_only=True), \
            f"{name} is in the README's lookahead list, but appending bars changed none of its earlier " \
            f"outputs on a prefix of {longest} bars or more"
        return
    changed = changed_lengths(name)
    if name in short:
        safe = max(changed) + 1 if changed else None
        assert safe == short[name], f"the README says {name} is safe from {short[name]} bars; measured: " \
                                    f"from {safe} (the last change: {changed.get(safe - 1) if safe else None})"
    else:
        assert not changed, f"appending bars changes earlier outputs of {name} on {len(changed)} prefixes " \
                            f"(the longest: {max(changed)} bars, {changed[max(changed)]}; the shortest: " \
                            f"{min(changed)} bars, {changed[min(changed)]}): add it to the README's lookahead " \
                            "list or, if it is safe from some length, to the short-series table"


def test_the_measure_sees_a_lagging_value():
    """The comparison itself can fail: a close shifted back one bar is caught, the close is not; nor is a
    NaN of another payload, or a zero of another sign. A value that a short prefix shows where the whole
    run has none (a shortened definition) is caught, and levels per bar are compared as values are."""
    close = SERIES["close"]
    shifted = close[1:] + [math.nan]
    assert earlier_changes(shifted, close[1:300] + [math.nan], 300) == [("result", 1)]
    assert earlier_changes(close, close[:300], 300) == []
    assert earlier_changes([math.nan, 0.0] + close[2:], [-math.nan, -0.0] + close[2:300], 300) == []
    assert earlier_changes([math.nan] * 10 + close[10:], close[:12], 12) == [("result", 10)]
    levels = [(x, math.nan) for x in close]
    assert earlier_changes(levels, [(x, math.nan) for x in close[:50]], 50) == []
    assert earlier_changes(levels, [(x, 0.0) for x in close[:50]], 50) == [("result", 50)]


def test_producers_on_a_prefix_hand_over_what_a_live_feed_has():
    """The second feeding differs from the cut one exactly where a producer looks ahead: the lagging
    span, the close of a later bar, is NaN for the prefix's last `kijun_period` bars; the causal
    producers hand over the cut series bit for bit."""
    k = 316
    live = series_by_name([b[:k] for b in BARS])
    assert set(PRODUCED) < set(live)
    lagging = live["chikou_span"]
    assert all(math.isnan(x) for x in lagging[k - 26:]) and not any(math.isnan(x) for x in lagging[:k - 26])
    assert lagging[:k - 26] == SERIES["chikou_span"][:k - 26]
    assert not any(math.isnan(x) for x in SERIES["chikou_span"][k - 26:k])
    for name in sorted(PRODUCED - {"chikou_span"}):
        assert same(live[name], SERIES[name][:k]), name
    # Bars too few for a producer's periods hand over none of its series, not its refusal.
    early = series_by_name([b[:20] for b in BARS])
    assert {"rsi", "atr", "direction"} <= early.keys() and not {"tenkan_sen", "chikou_span"} & early.keys()
    assert takes_outputs("py_ichimoku_signals") and takes_outputs("py_trailing_stop")
    assert not takes_outputs("py_sma")
