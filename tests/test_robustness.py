"""Robustness of every exported name against hostile input (the fuzzer is tests/fuzzer.py).

Each function and class has its own test that reports what the fuzzer found for it; the tests at the
end hold the fuzzer itself to its promises (it must be able to fail)."""
import re

import numpy as np
import pytest

from fuzzer import (
    FUNCTION_KINDS, NAN, Worker, exported, parameters, run_workers, snapshot, unchanged,
)

FUNCTIONS, CLASSES = exported()


@pytest.fixture(scope="module")
def fuzz_results(tmp_path_factory):
    return run_workers(FUNCTIONS + CLASSES, str(tmp_path_factory.mktemp("fuzz")))


@pytest.mark.parametrize("name", FUNCTIONS + CLASSES)
def test_fuzz(fuzz_results, name):
    outcome = fuzz_results.get(name)
    assert outcome is not None, f"{name} was never fuzzed"
    assert outcome["ok"], outcome.get("message")


# --------------------------------------------------------------------------------------------------------
# The harness itself must be able to fail
# --------------------------------------------------------------------------------------------------------
def test_every_exported_function_has_a_signature_and_a_series_or_scalar_kind():
    """Every parameter of an indicator gets a kind the fuzzer aims at, or is listed as open on purpose."""
    open_on_purpose = {(f, p) for f, table in FUNCTION_KINDS.items() for p, k in table.items() if k == "any"}
    loose = [(f, p) for f in FUNCTIONS for p, k, _ in parameters(f) if k == "any"
             and (f, p) not in open_on_purpose]
    assert not loose, f"parameters without a kind: {loose}"


def kind_of(owner, name, member=None):
    return {p: k for p, k, _ in parameters(owner, member)}[name]


def test_kinds_of_known_parameters():
    assert kind_of("py_sma", "values") == "series"
    assert kind_of("py_sma", "period") == "count"
    assert kind_of("py_stochrsi", "stoch_period") == "count"
    assert kind_of("py_keltner_channel", "atr_period") == "count"
    assert kind_of("py_bollinger_bands", "std_multiplier") == "real"
    assert kind_of("py_standard_pivots", "high") == "real"
    assert kind_of("OnlineATR", "high", member="update") == "real"
    assert kind_of("Candle", "timestamp", member="__new__") == "int64"


def test_snapshot_sees_changes():
    values = [1.0, 2.0, NAN]
    snap = snapshot(values)
    assert unchanged(values, snap)
    values[2] = float("nan")  # a different object with the same (NaN) value still counts as a change
    assert not unchanged(values, snap)
    arr = np.arange(6, dtype=np.float64)[::2]
    snap = snapshot(arr)
    assert unchanged(arr, snap)
    arr[1] = -0.0
    assert not unchanged(arr, snap)


FAKE_WORKER = """
import sys, ctypes, time
sys.path.insert(0, sys.argv[1])
import fuzzer as t
w = t.Worker(sys.argv[2])
for name in sys.argv[3:]:
    print("START " + name, flush=True)
    w.trace(t.describe_call(name, [[1.0, float("nan")], 2 ** 64 - 1], {}))
    if name == "py_segfault":
        ctypes.string_at(0)
    if name == "py_hang":
        time.sleep(60)
    print("RESULT " + t.json.dumps({"name": name, "ok": True}), flush=True)
"""


def test_parent_survives_a_crash_and_a_hang_and_names_the_call(tmp_path):
    names = ["py_a", "py_segfault", "py_b", "py_hang", "py_c"]
    results = run_workers(names, str(tmp_path), code=FAKE_WORKER, timeout=6, workers=1)
    assert {n for n, r in results.items() if r["ok"]} == {"py_a", "py_b", "py_c"}
    crash = results["py_segfault"]["message"]
    assert crash.startswith("crashed the interpreter with SIG")
    assert "py_segfault([1.0, nan], 18446744073709551615)" in crash
    hang = results["py_hang"]["message"]
    assert hang.startswith("did not finish within 6 s during py_hang([1.0, nan], 18446744073709551615)")


@pytest.mark.parametrize("fake, complaint", [
    (lambda values, period: (_ for _ in ()).throw(RuntimeError("boom")), "raised builtins.RuntimeError: boom"),
    (lambda values, period: (_ for _ in ()).throw(SystemError("bad")), "raised builtins.SystemError: bad"),
    (lambda values, period: [0.0] * (len(values) - 1), "expected lists of 3 floats"),
    (lambda values, period: ([0.0] * 3, [0.0] * 2), "expected lists of 3 floats"),
    (lambda values, period: [0] * 3, "expected lists of 3 floats"),
    (lambda values, period: values.append(1.0), "changed its input"),
    (lambda values, period: values.__setitem__(0, 9.0), "changed its input"),
    (lambda values, period: values, "returned an input object"),
], ids=["runtime", "system", "short", "short_in_tuple", "ints", "append", "rewrite", "same_object"])
def test_a_call_is_held_to_the_promises(tmp_path, fake, complaint):
    worker = Worker(str(tmp_path / "trace.txt"))
    with pytest.raises(AssertionError, match=re.escape(complaint)):
        worker.run_call("py_fake", fake, [[1.0, 2.0, 3.0], 2], {}, True)
    worker.run_call("py_fake", lambda values, period: [0.0] * len(values), [[1.0, 2.0, 3.0], 2], {}, True)


def test_a_refused_update_that_changed_the_state_is_caught(tmp_path):
    class Leaky:
        """An average that counts a refused value before refusing it."""

        def __init__(self):
            self.seen = 0

        def update(self, value):
            self.seen += 1
            if value != value:
                raise ValueError("Invalid value at index 0: value must be finite")
            return float(self.seen)

    worker = Worker(str(tmp_path / "trace.txt"))
    a, b = Leaky(), Leaky()
    worker.call_member("Leaky", "update", a, b, [1.0])
    worker.call_member("Leaky", "update", a, b, [NAN])
    with pytest.raises(AssertionError, match="a refused call changed the state"):
        worker.call_member("Leaky", "update", a, b, [2.0])
