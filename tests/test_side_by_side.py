"""Windows that advance side by side (in vector lanes, in shared chains, in one pipelined
pass) give, to the bit, what each window gives on its own: on inputs that force a rebuild in
one lane only, NaN in one lane only, lengths that leave a partial block of lanes, and series
shorter than a block."""
import math
import random
import struct

import pytest

import vorn_library.vorn_library as vl
from conftest import native_program

NAN = float("nan")

# tests/native/side_by_side.cpp reads "KIND PERIOD N" and two series of N values, and prints,
# one line per bar, the values of the side-by-side form, "|", then those of the one-at-a-time
# form, as hex floats, so that equal lines mean equal bits.
@pytest.fixture(scope="module")
def lanes():
    run = native_program("side_by_side")

    def call(kind, p, a, b=None):
        b = a if b is None else b
        lines = run(f"{kind} {p} {len(a)} " + " ".join(repr(float(x)) for x in list(a) + list(b)))
        return [tuple(part.split() for part in line.split("|")) for line in lines]

    return call


def walk(n, seed, scale=1.0):
    rng = random.Random(seed)
    x, out = 100.0, []
    for _ in range(n):
        x += rng.gauss(0, 1)
        out.append(x * scale)
    return out


def with_at(values, marks):
    v = list(values)
    for i, x in marks.items():
        v[i] = x
    return v


# (label, a, b): b differs from a where only one lane should rebuild, skip or overflow.
N = 2300  # past two scheduled rebuilds
A = walk(N, 1)
SERIES = [
    ("calm", A, walk(N, 2)),
    ("outlier in one lane", with_at(A, {400: 1e12, 1500: -3e15}), walk(N, 2)),
    ("overflow in one lane", A, with_at(walk(N, 2), {700: 1.5e308, 701: 1.5e308})),
    ("NaN in one lane", with_at(A, {90: NAN, 91: NAN, 1200: NAN}), walk(N, 2)),
    ("NaN in both, apart", with_at(A, {90: NAN}), with_at(walk(N, 2), {95: NAN, 1999: NAN})),
    ("zeros and signed zeros", [0.0, -0.0] * 40 + A[:200], [-0.0] * 80 + walk(200, 3)),
    ("tiny", walk(N, 4, 1e-300), walk(N, 5, 1e-300)),
]


@pytest.mark.parametrize("label,a,b", SERIES, ids=[s[0] for s in SERIES])
@pytest.mark.parametrize("p", [1, 2, 3, 14, 999, 1000])
def test_paired_rolling_sums_are_each_window_alone(lanes, label, a, b, p):
    if p > len(a):
        pytest.skip("period beyond the series")
    for paired, alone in lanes("sums", p, a, b):
        assert paired == alone


@pytest.mark.parametrize("a", [A[:700], with_at(A[:700], {5: NAN, 300: NAN, 301: NAN}),
                               [0.0, -0.0, -0.0, 0.0, 1.0, -1.0] * 30, [5.0] * 60],
                         ids=["walk", "NaN", "signed zeros", "flat"])
@pytest.mark.parametrize("p", [1, 2, 3, 7, 16, 59, 60, 61])
def test_streamed_and_paired_extremes_are_the_separate_ones(lanes, a, p):
    for together, apart in lanes("extremes", p, a):
        assert together == apart


# ---- Python functions: a bar's value never depends on the bars after it ----------------
# Lanes, blocks and runs end wherever the series ends, so a value computed inside a block
# and the same value computed in the partial block at the end must agree to the bit.

def bars(n, seed):
    rng = random.Random(seed)
    h, l, c, v, x = [], [], [], [], 100.0
    for _ in range(n):
        x += rng.gauss(0, 1)
        hi, lo = x + rng.random() * 2, x - rng.random() * 2
        h.append(hi), l.append(lo), c.append(lo + (hi - lo) * rng.random())
        v.append(1e6 * (1 + rng.random()))
    return h, l, c, v


H, L, C, V = bars(260, 7)
CAUSAL = [
    ("ultimate", lambda n: vl.py_ultimate_oscillator(H[:n], L[:n], C[:n], 7, 14, 28)),
    ("ultimate, equal periods", lambda n: vl.py_ultimate_oscillator(H[:n], L[:n], C[:n], 9, 3, 9)),
    ("cci", lambda n: vl.py_cci(H[:n], L[:n], C[:n], 20)),
    ("correlation", lambda n: vl.py_correlation(C[:n], H[:n], 30)),
    ("stochastic rsi", lambda n: vl.py_stochrsi(C[:n], 14, 14, 3, 3)),
    ("mfi", lambda n: vl.py_mfi(H[:n], L[:n], C[:n], V[:n], 14)),
    ("frama", lambda n: vl.py_frama(C[:n], 10)),
    ("hma", lambda n: vl.py_hma(C[:n], 20)),
    ("tsi", lambda n: vl.py_tsi(C[:n], 25, 13, 13)),
]


def bits(x):
    if isinstance(x, tuple):
        return tuple(bits(s) for s in x)
    return [struct.pack("<d", v) if not math.isnan(v) else b"nan" for v in x]


@pytest.mark.parametrize("label,fn", CAUSAL, ids=[c[0] for c in CAUSAL])
def test_values_do_not_depend_on_where_the_series_ends(label, fn):
    full = bits(fn(len(C)))
    for n in range(len(C) - 20, len(C)):
        short = bits(fn(n))
        if isinstance(full, tuple):
            assert all(s == f[:n] for s, f in zip(short, full))
        else:
            assert short == full[:n]


@pytest.mark.parametrize("n", [4, 9, 16, 20, 51])
@pytest.mark.parametrize("spikes", [{}, {300: 1e9, 1700: -4e12}, {1000: 1e300}], ids=["calm", "outliers", "huge"])
def test_hull_pair_is_two_weighted_means(n, spikes):
    # the half and full windows advance together; one window leaves an outlier behind
    # (and rebuilds) before the other does
    v = with_at(walk(2500, 9), spikes)
    a, b = vl.py_wma(v, n // 2), vl.py_wma(v, n)
    diff = [(x + x) - y for x, y in zip(a[n - 1:], b[n - 1:])]
    want = [NAN] * (n - 1) + vl.py_wma(diff, int(math.sqrt(n)))
    assert bits(vl.py_hma(v, n)) == bits(want)


# tests/native/window_blocks.cpp reads "P FIRST x1 .. xN" and prints the first window end left
# to the scalar path, then, for each window summed in a block of eight: its end, how often a
# block summed it, and as hex floats its plain sum, its sum weighted 1..P from the oldest bar,
# and the two sums (x, x * x) of one pass.
def window_blocks(p, first, x):
    lines = native_program("window_blocks")(f"{p} {first} " + " ".join(repr(float(v)) for v in x))
    return int(lines[0]), [line.split() for line in lines[1:]]


def summed_from_oldest(terms):
    total = 0.0
    for t in terms:
        total += t
    return total


@pytest.mark.parametrize("p, first, n", [
    (1, 0, 8),      # a window of one bar is that bar; one block exactly
    (3, 2, 9),      # a block and one window left over
    (5, 4, 11),     # fewer than eight windows: no block, all left to the scalar path
    (7, 6, 40),     # several blocks and a partial one
    (7, 10, 40),    # blocks that start past the first full window
    (16, 15, 47),   # windows longer than a block
])
def test_eight_windows_side_by_side_sum_each_window_as_alone(p, first, n):
    rng = random.Random(p * 1000 + n)
    # Magnitudes far apart, so that any other order of additions rounds differently.
    x = [rng.choice([1e16, -1e16, 3.0, 1e-3, -7.5]) * rng.random() for _ in range(n)]
    left, rows = window_blocks(p, first, x)
    assert left == first + 8 * ((n - first) // 8)
    assert [int(r[0]) for r in rows] == list(range(first, left))
    for end, times, plain, weighted, a, b in rows:
        window = x[int(end) + 1 - p:int(end) + 1]
        assert times == "1"
        assert float.fromhex(plain) == summed_from_oldest(window)
        assert float.fromhex(weighted) == summed_from_oldest((k + 1) * v for k, v in enumerate(window))
        assert float.fromhex(a) == summed_from_oldest(window)
        assert float.fromhex(b) == summed_from_oldest(v * v for v in window)


def test_a_nan_voids_only_the_windows_that_hold_it():
    x = [float(k) for k in range(24)]
    x[12] = NAN
    left, rows = window_blocks(4, 3, x)
    assert left == 19
    for end, _, plain, *_ in rows:
        holds = int(end) - 3 <= 12 <= int(end)
        assert math.isnan(float.fromhex(plain)) == holds
