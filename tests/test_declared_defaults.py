"""Declared defaults: what the binding layer reports for each parameter is what a call does.

The test-only introspection (vorn_bench_floor.parameters()) reads every binding's declared
parameters. For every function, None (where accepted) and leaving the argument out (where
allowed) must behave exactly like passing the declared default, and the parameters must be the
ones the text signature shows, apart from the few signatures fixed by hand.
"""
import ast
import inspect
import math

import pytest

import vorn_library.vorn_library as vl
from conftest import series_by_name

floor = pytest.importorskip("vorn_bench_floor")
PARAMETERS = floor.parameters()

N = 260
BARS = series_by_name(N, seed=7)
CLOSE = BARS["close"]
SCALARS = {"count": 5, "real": 0.5, "setting": 0.5, "int64": 3, "flag": False, "text": "standard"}

FUNCTIONS = [n for n in vl.__all__ if not isinstance(getattr(vl, n), type)]

# Signatures written by hand: the names they show instead of the parameters.
FIXED_SIGNATURES = {
    "py_fisher_transform": ["high", "low", "period"],
    "py_psar": ["high", "low", "close", "af_initial", "af_increment", "af_max"],
    "py_vwap": ["high", "low", "close", "volume"],
    "py_ichimoku_cloud": ["high", "low", "conversion", "base", "span_b", "displacement"],
}


def canon(x):
    """A comparable form of a result: NaN equals NaN, records compare by their data."""
    if isinstance(x, float):
        return "nan" if math.isnan(x) else x
    if isinstance(x, (list, tuple)):
        return [canon(y) for y in x]
    if isinstance(x, dict):
        return sorted((repr(k), canon(v)) for k, v in x.items())
    if x is None or isinstance(x, (bool, int, str)):
        return x
    if hasattr(x, "features_dim"):  # a trained model
        return ["model", x.is_trained(), x.features_dim()]
    return [type(x).__name__] + [(a, canon(getattr(x, a))) for a in sorted(dir(x))
                                 if not a.startswith("_") and not callable(getattr(x, a))]


def outcome(fn, kwargs):
    try:
        return canon(fn(**kwargs))
    except (ValueError, TypeError, OverflowError) as e:
        return f"{type(e).__name__}: {e}"


def base_arguments(name):
    """Every parameter given: series by name, declared defaults as written, plain scalars else."""
    kwargs = {}
    for p in PARAMETERS[name]:
        if p["default"] is not None and p["default"] != "None":
            kwargs[p["name"]] = ast.literal_eval(p["default"])
        elif p["kind"] == "series":
            kwargs[p["name"]] = BARS.get(p["name"], CLOSE)
        elif p["kind"] in SCALARS:
            kwargs[p["name"]] = SCALARS[p["kind"]]
        elif not p["required"]:
            continue
        else:
            return None  # a kind this test does not build (pivot rows, level lists)
    return kwargs


CASES = [(f, p["name"], how) for f in FUNCTIONS for p in PARAMETERS[f]
         if p["default"] not in (None, "None")
         for how in (("none",) if p["none"] else ()) + (("omitted",) if not p["required"] else ())]


def test_every_function_and_member_is_described():
    assert set(FUNCTIONS) <= set(PARAMETERS)
    for name, params in PARAMETERS.items():
        owner = name.split(".")[0]
        assert owner in vl.__all__
        for p in params:
            assert set(p) == {"name", "kind", "required", "none", "default"}
            # a parameter that may be left out always says what that selects
            assert p["required"] or p["default"] is not None
    assert [p["kind"] for p in PARAMETERS["py_atr"]] == ["series", "series", "series", "count"]
    assert [p["kind"] for p in PARAMETERS["py_detect_pivot_touch"]] == ["real", "levels", "setting"]
    assert PARAMETERS["OnlineEnsembleSignal.__new__"][9] == {
        "name": "weights", "kind": "settings[4]", "required": False, "none": True, "default": "None"}


@pytest.mark.parametrize("name", FUNCTIONS)
def test_parameters_are_the_signature_s(name):
    shown = list(inspect.signature(getattr(vl, name)).parameters)
    declared = [p["name"] for p in PARAMETERS[name]]
    assert shown == FIXED_SIGNATURES.get(name, declared)


@pytest.mark.parametrize("name, param, how", CASES, ids=[f"{f}-{p}-{h}" for f, p, h in CASES])
def test_none_and_omission_select_the_declared_default(name, param, how):
    kwargs = base_arguments(name)
    if kwargs is None:
        pytest.skip("takes a kind this test does not build")
    fn = getattr(vl, name)
    expected = outcome(fn, kwargs)
    changed = dict(kwargs)
    if how == "none":
        changed[param] = None
    else:
        del changed[param]
    assert outcome(fn, changed) == expected


def test_defaults_are_exercised():
    # The table above is not empty by accident: most functions declare defaults.
    assert len(CASES) > 250
    assert sum(1 for f in FUNCTIONS if base_arguments(f) is not None) > 240
