"""CI's comparison of two builds (.ci/outputs.py): what a dump holds and what compare refuses."""
import importlib.util
import json
import math
import pathlib
import platform

import pytest

import vorn_library.vorn_library as vl

_spec = importlib.util.spec_from_file_location(
    "ci_outputs", pathlib.Path(__file__).resolve().parents[1] / ".ci" / "outputs.py")
outputs = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(outputs)

TRAINERS = sorted(n for n in vl.__all__ if n.startswith("py_train_"))
CLOSE = outputs.SETS[0]["close"]
ATR = outputs.SETS[0]["atr"]
VOLUME = outputs.SETS[0]["volume"]
RSI = outputs.SETS[0]["rsi"]
TRAIN = {"py_train_supertrend_model": lambda: vl.py_train_supertrend_model(CLOSE, ATR),
         "py_train_atr2_model": lambda: vl.py_train_atr2_model(CLOSE, ATR, VOLUME),
         "py_train_momentum_model": lambda: vl.py_train_momentum_model(RSI)}


def test_every_trainer_has_a_case():
    assert sorted(TRAIN) == TRAINERS


@pytest.mark.parametrize("name", TRAINERS)
def test_a_model_dumps_as_its_predictions(name):
    model = TRAIN[name]()
    dim = model.features_dim()
    rows = outputs.model_features(dim)
    assert len(rows) == outputs.MODEL_ROWS * dim
    expected = model.predict(rows, outputs.MODEL_ROWS)
    assert len(expected) == outputs.MODEL_ROWS
    assert outputs.encode(model) == {"features_dim": dim, "is_trained": True,
                                     "predict": [x.hex() for x in expected]}


@pytest.mark.parametrize("name", TRAINERS)
def test_models_trained_apart_dump_apart(name):
    # The dump must show a model's state: two models trained on different bars differ in it.
    first = outputs.encode(TRAIN[name]())
    short = {"py_train_supertrend_model": lambda: vl.py_train_supertrend_model(CLOSE[:600], ATR[:600]),
             "py_train_atr2_model": lambda: vl.py_train_atr2_model(CLOSE[:600], ATR[:600], VOLUME[:600]),
             "py_train_momentum_model": lambda: vl.py_train_momentum_model(RSI[:600])}[name]
    assert outputs.encode(short())["predict"] != first["predict"]


def test_dump_records_the_machine_and_every_model():
    dumped = outputs.dump()
    assert dumped["machine"] == platform.machine()
    for name in TRAINERS:
        for per_set in dumped["outputs"][name]:
            assert per_set["is_trained"] is True and len(per_set["predict"]) == outputs.MODEL_ROWS
    ridge = dumped["outputs"]["py_train_supertrend_model[use_ridge=True]"]
    assert ridge != dumped["outputs"]["py_train_supertrend_model"]


def one_ulp_up(hexfloat):
    return math.nextafter(float.fromhex(hexfloat), math.inf).hex()


MODEL = {"features_dim": 3, "is_trained": True, "predict": [(0.1).hex(), (-2.5).hex()]}
SMA = [["nan", (2.0).hex(), (3.0).hex()]]
# compare insists on every libm-bound name being dumped.
BASE = {"py_sma": SMA, **{name: SMA for name in outputs.LIBM_BOUND}}


def write(tmp_path, name, machine, outs):
    path = tmp_path / name
    path.write_text(json.dumps({"machine": machine, "outputs": outs}))
    return path


@pytest.mark.parametrize("machine_a, machine_b, model_b, rc, text", [
    ("x86_64", "aarch64", MODEL, 0,
     f"aarch64 against x86_64: {len(BASE) + 1} names compared: {len(BASE) + 1} identical"),
    ("x86_64", "aarch64", {**MODEL, "predict": [one_ulp_up(MODEL["predict"][0]), MODEL["predict"][1]]}, 1,
     "py_train_x_model: differs"),
    ("x86_64", "aarch64", {**MODEL, "features_dim": 4}, 1, "py_train_x_model: differs"),
    ("x86_64", "aarch64", {**MODEL, "is_trained": False}, 1, "py_train_x_model: differs"),
    ("x86_64", "x86_64", MODEL, 1, "both dumps come from x86_64"),
    ("aarch64", "aarch64", MODEL, 1, "both dumps come from aarch64"),
])
def test_compare(tmp_path, capsys, machine_a, machine_b, model_b, rc, text):
    a = write(tmp_path, "a.json", machine_a, {**BASE, "py_train_x_model": [MODEL]})
    b = write(tmp_path, "b.json", machine_b, {**BASE, "py_train_x_model": [model_b]})
    assert outputs.compare(a, b) == rc
    assert text in capsys.readouterr().out


@pytest.mark.parametrize("content", [
    {"py_sma": SMA},  # a dump that does not say where it ran
    {"machine": "x86_64"},
    {"machine": None, "outputs": {"py_sma": SMA}},
    [SMA],
])
def test_compare_refuses_a_dump_without_its_machine(tmp_path, content):
    a = write(tmp_path, "a.json", "aarch64", {"py_sma": SMA})
    b = tmp_path / "b.json"
    b.write_text(json.dumps(content))
    with pytest.raises(SystemExit, match="not a dump of this script with the machine it ran on"):
        outputs.compare(a, b)
