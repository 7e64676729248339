import math
import os
import pathlib
import random
import shlex
import subprocess

import pytest

import vorn_library.vorn_library as vl

# Set by `make sanitize`: AddressSanitizer reports a crash itself instead of leaving the signal
# to the parent.
needs_real_signal = pytest.mark.skipif(
    os.environ.get("VORN_SANITIZE") == "1", reason="AddressSanitizer turns a crash into its own report and exit status")


@pytest.fixture(scope="session")
def m():
    return vl


def nan_equal(a, b, tol=0.0):
    """Element-wise equality where NaN matches NaN; tol is relative+absolute."""
    if len(a) != len(b):
        return False
    for x, y in zip(a, b):
        if math.isnan(x) or math.isnan(y):
            if not (math.isnan(x) and math.isnan(y)):
                return False
        elif tol == 0.0:
            if x != y:
                return False
        elif abs(x - y) > tol * (1.0 + abs(y)):
            return False
    return True


def first_defined(series):
    for i, v in enumerate(series):
        if not math.isnan(v):
            return i
    return None


def random_walk(n, seed=1, start=100.0):
    """Closes of a Gaussian random walk: deterministic per seed."""
    rng = random.Random(seed)
    x, out = start, []
    for _ in range(n):
        x += rng.gauss(0, 1)
        out.append(x)
    return out


def series_by_name(n, seed):
    """One plausible series for each name a binding gives its series (close, open, high, low,
    volume, and the indicator inputs atr and rsi), for tests that call every function."""
    close = random_walk(n, seed=seed)
    return {
        "close": close,
        "open": [close[0]] + close[:-1],
        "high": [c + 1.0 + (i % 5) * 0.25 for i, c in enumerate(close)],
        "low": [c - 1.0 - (i % 3) * 0.25 for i, c in enumerate(close)],
        "volume": [1000.0 + (i % 7) * 150.0 for i in range(n)],
        "atr": [1.0 + abs(x - y) for x, y in zip(close, random_walk(n, seed=seed + 1))],
        "rsi": [max(0.0, min(100.0, x - 50.0)) for x in random_walk(n, seed=seed + 2)],
    }


def random_bars(n, seed, step=1.0):
    """(high, low, close) around a random walk, the close anywhere inside the bar."""
    rng = random.Random(seed)
    high, low, close, x = [], [], [], 100.0
    for _ in range(n):
        x += rng.gauss(0, step)
        h, lo = x + rng.random() * 2, x - rng.random() * 2
        high.append(h), low.append(lo), close.append(lo + (h - lo) * rng.random())
    return high, low, close


def value_error(fn, *args):
    """The message of the ValueError that fn(*args) must raise."""
    with pytest.raises(ValueError) as e:
        fn(*args)
    return str(e.value)


def same_series(a, b):
    """Tuples of series equal element for element, NaN matching NaN."""
    return len(a) == len(b) and all(nan_equal(x, y) for x, y in zip(a, b))


# .ci/run runs the programs of another build (VORN_NATIVE_DIR) through an emulator
# (VORN_NATIVE_RUNNER, e.g. "qemu-aarch64 -L /usr/aarch64-linux-gnu"): the ARM build's programs
# against the same expectations. The tests that ran one are counted for the summary.
NATIVE_DIR = os.environ.get("VORN_NATIVE_DIR")
NATIVE_RUNNER = shlex.split(os.environ.get("VORN_NATIVE_RUNNER", ""))
native_tests = set()


def native_program(name):
    """Returns a function that feeds the native test program NAME (tests/native/NAME.cpp, built
    into build/tests/native/) one line of text and returns its output lines. Skips when the
    package was not built in place (an installed wheel carries no test programs)."""
    if NATIVE_DIR:
        exe = pathlib.Path(NATIVE_DIR) / name
    else:
        build_dir = pathlib.Path(vl.__file__).resolve().parents[2]
        if not (build_dir / "CMakeCache.txt").exists():
            pytest.skip("the native test programs come with an in-place build (make build)")
        exe = build_dir / "tests" / "native" / name
    if not exe.exists():
        pytest.fail(f"{exe} is missing: build with -DVORN_BUILD_TESTS=ON (the default in place)")

    def run(line):
        native_tests.add(os.environ.get("PYTEST_CURRENT_TEST", "").rsplit(" (", 1)[0])
        out = subprocess.run([*NATIVE_RUNNER, str(exe)], input=line + "\n", capture_output=True, text=True,
                             check=True).stdout
        return out.strip().splitlines()

    return run


def pytest_sessionfinish(session):
    # .ci/run reruns exactly these tests with the ARM build's programs.
    if out := os.environ.get("VORN_NATIVE_TESTS_OUT"):
        pathlib.Path(out).write_text("".join(t + "\n" for t in sorted(native_tests)))


def pytest_terminal_summary(terminalreporter):
    if native_tests:
        how = f" through {' '.join(NATIVE_RUNNER)}" if NATIVE_RUNNER else ""
        terminalreporter.write_line(f"native test programs: {len(native_tests)} tests ran them{how}")


def models_program():
    """tests/native/models.cpp as a function of a command, its head numbers and its series."""
    run = native_program("models")

    def call(cmd, head, *series):
        line = cmd + " " + " ".join(repr(float(h)) for h in head)
        for s in series:
            line += " ; " + " ".join(repr(float(x)) for x in s)
        return run(line)

    return call


def floats(line):
    """The numbers of a models program line ("v 1.5 2 ...")."""
    return [float(t) for t in line.split()[1:]]


class Reenter:
    """A number whose conversion calls back into the object being updated."""

    def __init__(self, call):
        self.call = call

    def __float__(self):
        self.call()
        return 1.0
