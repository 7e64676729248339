"""Module start-up and registration."""
import importlib.util
import pathlib
import re
import subprocess
import sys

import pytest

ORDER_HEAD = ["Candle", "IndicatorResult", "MultiIndicatorResult"]
MA_RUN_1 = ["py_sma", "py_ema", "py_rma", "py_wma", "py_hma", "py_dema", "py_tema"]
MA_RUN_2 = ["py_zlma", "py_t3", "py_kama", "py_frama"]


# Classes and functions in the order the module body registers them: the registry the module's
# table is built from.
REGISTRY = pathlib.Path(__file__).resolve().parent.parent / "src" / "python" / "registry.def"
REGISTRATION = re.findall(r"^(?:FUNCTION|CLASS)\((\w+)", REGISTRY.read_text(), re.M)


def test_all_follows_the_registration_order(m):
    assert len(REGISTRATION) == len(set(REGISTRATION)) == 281
    # every class and function, each once, in the fixed order
    assert m.__all__ == REGISTRATION
    assert type(m.__all__) is list and all(type(n) is str for n in m.__all__)


def test_docstring_and_all(m):
    assert m.__doc__ == ""
    assert m.__all__[:3] == ORDER_HEAD
    assert len(m.__all__) == len(set(m.__all__))
    for name in m.__all__:
        obj = getattr(m, name)
        if not isinstance(obj, type):
            assert obj.__module__ == m.__name__
            assert obj.__self__ is m


def test_relative_registration_order(m):
    names = m.__all__
    pos = {n: i for i, n in enumerate(names)}
    run = [n for n in MA_RUN_1 + MA_RUN_2 if n in pos]
    assert run == MA_RUN_1 + MA_RUN_2
    assert [pos[n] for n in run] == sorted(pos[n] for n in run)
    # Later families slot in around the moving averages, never inside the first run.
    assert pos["py_tema"] - pos["py_sma"] == 6


def run_python(code):
    """Runs code in a fresh interpreter; returns its stripped standard output."""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    return out.stdout.strip()


def test_reimport_yields_same_object():
    code = (
        "import sys, importlib\n"
        "import vorn_library.vorn_library as a\n"
        "n = len(a.__all__)\n"
        "a.marker = 1\n"
        "del sys.modules['vorn_library.vorn_library']\n"
        "b = importlib.import_module('vorn_library.vorn_library')\n"
        "assert a is b, 'different module objects'\n"
        "assert len(b.__all__) == n and b.marker == 1\n"
        "print('ok')\n"
    )
    assert run_python(code) == "ok"


def test_second_interpreter_is_refused():
    # CPython's private subinterpreter module: _xxsubinterpreters up to 3.12, _interpreters from
    # 3.13, whose run_string returns the failure instead of raising it.
    name = "_interpreters" if sys.version_info >= (3, 13) else "_xxsubinterpreters"
    if importlib.util.find_spec(name) is None:
        pytest.skip(f"this Python has no {name} module to create a subinterpreter with")
    code = (
        "import vorn_library.vorn_library as a\n"
        f"import {name} as interp\n"
        "sub = interp.create()\n"
        "try:\n"
        "    failed = interp.run_string(sub, 'import vorn_library.vorn_library')\n"
        "    failed = failed and failed.formatted\n"
        "except Exception as e:\n"
        "    failed = str(e)\n"
        "print('refused', 'ImportError' in failed) if failed else print('imported')\n"
        "assert a.py_sma([1.0, 2.0], 1) == [1.0, 2.0]\n"
    )
    assert run_python(code) == "refused True"
