"""The README's examples run against the build.

Its python blocks run in order in one namespace, from the checkout's root (they read the sample
bars): blocks written as an interactive session are doctests, whose shown results and exceptions
must match; the others must run without error. Shell blocks are commands, not run. The table of
first defined bars is evaluated on the sample bars."""
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
