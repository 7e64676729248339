"""Robustness of every exported name against hostile input (the fuzzer is tests/fuzzer.py).

Each function and class has its own test that reports what the fuzzer found for it; the tests at the
end hold the fuzzer itself to its promises (it must be able to fail)."""
import inspect
import re

import numpy as np
import pytest

# The fuzzer aims each argument by the kind its binding declares, which only the test-only module of an
# in-place build reports.
pytest.importorskip("vorn_bench_floor", reason="the binding's parameter kinds come with an in-place build "
                                               "(make build)")

from conftest import needs_real_signal  # noqa: E402
from fuzzer import (  # noqa: E402
    DECLARED, NAN, Worker, aimed, exported, kind_parts, parameters, run_workers, snapshot, tame, unchanged, vl,
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
def test_every_declared_kind_is_aimed():
    """Every parameter of every function, constructor, method and setter has a kind the fuzzer draws
    well-formed values of: a native type without a declared kind shows as "any" and fails here."""
    loose = [(key, p["name"], p["kind"]) for key, params in DECLARED.items() for p in params
             if not aimed(p["kind"])]
    assert not loose, f"parameters the fuzzer cannot aim: {loose}"


def test_every_function_and_method_is_declared():
    missing = [f for f in FUNCTIONS if f not in DECLARED]
    for c in CLASSES:
        for attr, obj in vars(getattr(vl, c)).items():
            if not attr.startswith("_") and callable(obj) and not inspect.isdatadescriptor(obj) \
                    and f"{c}.{attr}" not in DECLARED:
                missing.append(f"{c}.{attr}")
    assert not missing


def kind_of(owner, name, member=None):
    return {p: (k, omissible) for p, k, omissible in parameters(owner, member)}[name]


@pytest.mark.parametrize("owner, member, name, kind, omissible", [
    ("py_sma", None, "values", "series", False),
    ("py_sma", None, "period", "count", False),
    ("py_stochrsi", None, "stoch_period", "count", False),
    ("py_keltner_channel", None, "atr_period", "count", True),
    ("py_bollinger_bands", None, "std_multiplier", "setting", False),
    ("py_standard_pivots", None, "high", "real", False),
    ("OnlineATR", "update", "high", "real", False),
    ("Candle", "__new__", "timestamp", "int64", False),
    # Where the names misled: None selects the default, but the argument must be given.
    ("py_atr", None, "period", "count", False),
    # Parameters whose signature is written by hand under other names.
    ("py_fisher_transform", None, "close", "series", False),
    ("py_ichimoku_cloud", None, "tenkan_period", "count", False),
    ("py_psar", None, "af_init", "setting", False),
    ("py_vwap", None, "period", "count", True),
    # Kinds no name could tell.
    ("py_cloud_color", None, "tenkan_sen", "series", False),
    ("py_detect_fib_touch", None, "levels", "list[tuple[text, real]]", False),
    ("py_pivot_zone", None, "levels", "levels", False),
    ("OhlcvFrame", "__new__", "timestamps", "list[int64]", False),
    ("OhlcvFrame", "__new__", "close", "series", False),
    ("OnlineEnsembleSignal", "__new__", "weights", "settings[4]", True),
    ("SFGModel", "predict", "n_samples", "count", False),
    ("Candle", "timestamp.__set__", "timestamp", "int64", False),
    ("Candle", "open.__set__", "open", "real", False),
])
def test_kinds_of_known_parameters(owner, member, name, kind, omissible):
    assert kind_of(owner, name, member) == (kind, omissible)


def test_a_record_has_no_constructor_to_aim():
    with pytest.raises(ValueError, match="PyHarmonicPattern.__new__ has no binding"):
        parameters("PyHarmonicPattern", "__new__")


@pytest.mark.parametrize("kind, parts", [
    ("real", ("real", [])),
    ("reals[4]", ("reals", ["4"])),
    ("list[tuple[text, real]]", ("list", ["tuple[text, real]"])),
    ("tuple[list[int64], tuple[real, flag], text]", ("tuple", ["list[int64]", "tuple[real, flag]", "text"])),
])
def test_kind_parts(kind, parts):
    assert kind_parts(kind) == parts


@pytest.mark.parametrize("kind", ["any", "list[any]", "tuple[real, any]", "reals[n]", "candle", "series[3]"])
def test_kinds_not_aimed(kind):
    assert not aimed(kind)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_tame_arguments_get_through_the_binding(name):
    """Tame values of the declared kinds pass every argument's conversion: a mis-aimed kind (or a
    parameter list that differs from the callable's) would be refused with TypeError, or with the
    ValueError of a fixed-length sequence of another length."""
    fn = getattr(vl, name)
    args = [[100.0 + (i % 7) for i in range(300)] if k == "series" else tame(k, 5)
            for _, k, _ in parameters(name)]
    try:
        fn(*args)
    except TypeError as e:
        pytest.fail(f"{name}{tuple(k for _, k, _ in parameters(name))}: {e}")
    except ValueError as e:
        # Otherwise refused by the kernel: a tame value need not suit every indicator.
        assert not re.match(r"expected (tuple|a sequence) of length", str(e)), f"{name}: {e}"


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


@needs_real_signal
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
