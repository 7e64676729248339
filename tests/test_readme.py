"""The README's examples run against the build.

Its python blocks run in order in one namespace, from the checkout's root (they read the sample
bars): blocks written as an interactive session are doctests, whose shown results and exceptions
must match; the others must run without error. Shell blocks are commands, not run. The table of
first defined bars is evaluated on the sample bars, and the table of functions that a halt leaves
without value is held to a sweep of every series function over the sample bars with a halt in them."""
import csv
import doctest
import math
import pathlib
import re

import pytest

import vorn_library.vorn_library as vl

ROOT = pathlib.Path(__file__).resolve().parents[1]
README = ROOT / "README.md"
FENCE = re.compile(r"^```(\w*)\n(.*?)^```", re.M | re.S)


def blocks():
    """(language, code, line number of the code's first line) of each fenced block."""
    text = README.read_text(encoding="utf-8")
    return [(m.group(1), m.group(2), text.count("\n", 0, m.start(2)) + 1) for m in FENCE.finditer(text)]


def test_every_block_is_run_or_a_shell_command():
    assert {lang for lang, _, _ in blocks()} <= {"python", "sh"}
    assert any(lang == "python" for lang, _, _ in blocks())


def test_python_blocks_run(monkeypatch):
    monkeypatch.chdir(ROOT)
    namespace = {"__name__": "readme"}
    parser = doctest.DocTestParser()
    runner = doctest.DocTestRunner(optionflags=doctest.ELLIPSIS)
    report = []
    for lang, code, line in blocks():
        if lang != "python":
            continue
        if code.lstrip().startswith(">>>"):
            test = parser.get_doctest(code, namespace, f"README.md:{line}", str(README), line - 1)
            outcome = runner.run(test, out=report.append, clear_globs=False)
            assert outcome.attempted > 0
            assert not outcome.failed, "".join(report)
            namespace = test.globs  # a doctest runs in a copy: later blocks see what it defined
        else:
            exec(compile(code, f"README.md:{line}", "exec"), namespace)


def sample_bars():
    with open(ROOT / "examples" / "data" / "sample_ohlcv.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    return {k: [float(r[k]) for r in rows] for k in ("open", "high", "low", "close", "volume")}


def first_defined_rows():
    text = README.read_text(encoding="utf-8")
    table = re.search(r"<!-- first-defined -->\n(.*?)<!-- /first-defined -->", text, re.S)
    assert table, "README.md has no <!-- first-defined --> table"
    rows = []
    for line in table.group(1).splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) == 3 and cells[1].isdigit():
            rows += [(call, int(cells[1])) for call in re.findall(r"`([^`]+)`", cells[0])]
    return rows


def test_the_table_has_rows():
    assert len(first_defined_rows()) >= 5


@pytest.mark.parametrize("call, first", first_defined_rows())
def test_first_defined_bar(call, first):
    values = eval(call, {name: getattr(vl, name) for name in vl.__all__}, sample_bars())
    assert next(i for i, x in enumerate(values) if not math.isnan(x)) == first


# A halt: HALT_LENGTH bars inserted at HALT_AT whose four prices are the last close, without volume.
HALT_AT, HALT_LENGTH, LONG_HALT = 200, 30, 700
SWEPT_KINDS = {"series", "count", "real", "setting", "flag", "text"}


def halted(bars, length):
    held = bars["close"][HALT_AT - 1]
    return {k: s[:HALT_AT] + [0.0 if k == "volume" else held] * length + s[HALT_AT:] for k, s in bars.items()}


def nan_bars(outputs):
    """The bars, after each output's first defined one, at which an output is NaN."""
    gaps = set()
    for out in outputs:
        first = next((i for i, x in enumerate(out) if not math.isnan(x)), len(out))
        gaps.update(i for i in range(first, len(out)) if math.isnan(out[i]))
    return gaps


def marked(name):
    text = README.read_text(encoding="utf-8")
    block = re.search(rf"<!-- {name} -->(.*?)<!-- /{name} -->", text, re.S)
    assert block, f"README.md has no <!-- {name} --> ... <!-- /{name} --> part"
    return block.group(1)


def halt_rows():
    rows = []
    for line in marked("halt-nan").splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) == 3 and cells[1].isdigit():
            rows += [(call, int(cells[1])) for call in re.findall(r"`([^`]+)`", cells[0])]
    return rows


def swept_functions():
    """(name, declared parameters) of every series function whose parameters the sweeps can fill."""
    floor = pytest.importorskip("vorn_bench_floor", reason="the declarations come with an in-place build")
    declared = floor.parameters()
    for name in vl.__all__:
        params = declared.get(name)
        if isinstance(getattr(vl, name), type) or not params or not any(p["kind"] == "series" for p in params) \
                or not all(p["kind"] in SWEPT_KINDS for p in params):
            continue
        yield name, params


def default_args(name, params, data):
    """The function's arguments: the bars by parameter name (the close for other series), its declared
    defaults (a rolling VWAP), and a plain count or text where it declares none."""
    args = []
    for p in params:
        default = None if p["default"] in (None, "None") else eval(p["default"])
        if p["kind"] == "series":
            args.append(data.get(p["name"], data["close"]))
        elif name == "py_vwap" and p["name"] == "period":
            args.append(14)
        else:
            args.append({"count": 10, "text": "standard"}.get(p["kind"]) if default is None else default)
    return args


def halt_sweep(length):
    """Every series function at its declared defaults (a rolling VWAP) on the sample bars with a halt:
    the names of those with an output that is defined throughout without the halt and NaN within it."""
    plain = sample_bars()
    bars = halted(plain, length)
    found, refused = set(), set()
    for name, params in swept_functions():

        def run(data):
            result = getattr(vl, name)(*default_args(name, params, data))
            n = len(data["close"])
            return [r for r in (result if isinstance(result, tuple) else (result,)) if isinstance(r, list)
                    and len(r) == n and all(isinstance(x, float) for x in r)]

        try:
            before = run(plain)
        except ValueError:
            continue  # prices outside an element-wise function's domain, a model the bars cannot train
        try:
            after = run(bars)
        except ValueError:
            refused.add(name)
            continue
        if any(nan_bars([b]) == set() and nan_bars([a]) for b, a in zip(before, after)):
            found.add(name)
    assert not refused, f"a halt makes these refuse the bars: {sorted(refused)}"
    return found


def test_the_halt_table_lists_every_function_a_halt_leaves_without_value():
    listed = {re.match(r"(py_\w+)\(", call).group(1) for call, _ in halt_rows()}
    assert listed == halt_sweep(HALT_LENGTH)


def test_longer_halts_add_the_named_smoothed_measures():
    longer = set(re.findall(r"`(py_\w+)`", marked("longer-halts")))
    assert longer and not longer & {re.match(r"(py_\w+)\(", call).group(1) for call, _ in halt_rows()}
    assert halt_sweep(LONG_HALT) - halt_sweep(HALT_LENGTH) == longer


@pytest.mark.parametrize("call, count", halt_rows())
def test_nan_bars_in_a_halt(call, count):
    bars = halted(sample_bars(), HALT_LENGTH)
    result = eval(call, {name: getattr(vl, name) for name in vl.__all__}, bars)
    gaps = nan_bars(result if isinstance(result, tuple) else (result,))
    assert len(gaps) == count
    assert min(gaps) >= HALT_AT  # the halt's doing, not the warm-up's


def unchecked_sweep():
    """Every series function at its declared defaults on the sample bars, with a NaN and then an
    infinity put at bar 200 of each of its series in turn (an infinity only in another indicator's
    output, which may hold NaN where it is not yet defined): {name: the series in which it takes
    such a value, or refuses it without naming bar 200}."""
    bars = sample_bars()
    h, l, c = bars["high"], bars["low"], bars["close"]
    bars.update(atr=vl.py_atr(h, l, c, 14), rsi=vl.py_rsi(c, 14))  # the outputs as a caller has them
    found = {}
    for name, params in swept_functions():
        args = default_args(name, params, bars)
        try:
            getattr(vl, name)(*args)
        except ValueError:
            continue  # prices outside an element-wise function's domain
        for i, p in enumerate(params):
            if p["kind"] != "series":
                continue
            for bad in (math.nan, math.inf) if p["name"] in PRICES else (math.inf,):
                poisoned = args[:i] + [args[i][:200] + [bad] + args[i][201:]] + args[i + 1:]
                try:
                    getattr(vl, name)(*poisoned)
                except ValueError as e:
                    if "index 200:" in str(e):
                        continue
                found.setdefault(name, set()).add(p["name"])
    return found


PRICES = {"open", "high", "low", "close", "volume"}


def test_the_functions_said_not_to_check_their_series_are_those_that_do_not():
    unchecked = unchecked_sweep()
    assert set(re.findall(r"`(py_\w+)`", marked("unchecked"))) == {n for n, s in unchecked.items() if s & PRICES}
    assert set(re.findall(r"`(py_\w+)`", marked("unchecked-outputs"))) == \
        {n for n, s in unchecked.items() if s - PRICES}
