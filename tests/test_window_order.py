"""A window ranked by value (utils/window_order.hpp), the order statistics behind percent rank,
CCI's mean deviation and entropy over long windows: every answer against a direct scan of the
same window, at windows of one and two bars, of the whole series, and across the seams where
the window moves into the next pair of blocks."""
import math
import random

import pytest

from conftest import native_program

NAN = math.nan


# tests/native/window_order.cpp reads "W x1 .. xN" and prints for every bar: the bar, the
# members' count, the lowest and highest member, the members below the bar's value (by its
# slot, by a descent on the value, and their sum), the members' count again and their sum.
def slide(w, x):
    lines = native_program("window_order")(f"{w} " + " ".join(repr(float(v)) for v in x))
    return [line.split() for line in lines]


def series(kind, n, seed):
    rng = random.Random(seed)
    if kind == "walk":
        v, x = [], 100.0
        for _ in range(n):
            x += rng.gauss(0, 1)
            v.append(x)
        return v
    if kind == "ties":  # few values, signed zeros among them
        return [rng.choice([-1.0, -0.0, 0.0, 2.0, 2.0, 5.5]) for _ in range(n)]
    if kind == "gaps":  # NaN never counts: runs of them empty the window
        v = [rng.choice([NAN, 1.0, 3.0, -2.0, 1e300, -1e-300]) for _ in range(n)]
        v[n // 2:n // 2 + 12] = [NAN] * 12
        return v
    # a bad print and a level drop
    v = [1000.0 + rng.random() for _ in range(n)]
    v[n // 3] = 1e9
    v[n // 2:] = [x / 1000.0 for x in v[n // 2:]]
    return v


@pytest.mark.parametrize("kind", ["walk", "ties", "gaps", "prints"])
@pytest.mark.parametrize("w, n", [(1, 30), (2, 31), (3, 40), (7, 60), (40, 40), (600, 1900)])
def test_ranked_window_answers_as_a_scan_of_it(kind, w, n):
    # 600-bar blocks are sorted by their bytes, shorter ones by comparisons.
    x = series(kind, n, seed=w * 7 + n)
    rows = slide(w, x)
    # A sum is exact but for the low parts' roundings, 3 * 2^-105 of the largest magnitude a
    # node's sum took, per step since the tree was built: within the two blocks around the
    # window, at most 2w + 12 steps of sums of at most all their values.
    def slack(i):
        near = [abs(v) for v in x[max(0, i - 2 * w):i + w + 1] if not math.isnan(v)]
        return 3 * 2.0**-105 * (2 * w + 12) * math.fsum(near)

    assert [int(r[0]) for r in rows] == list(range(n))
    for i, count, low, high, by_slot, by_value, below_sum, total_count, total in rows:
        i = int(i)
        window = [v for v in x[max(0, i + 1 - w):i + 1] if not math.isnan(v)]
        assert int(count) == int(total_count) == len(window)
        if window:
            assert float.fromhex(low) == min(window) and float.fromhex(high) == max(window)
        assert float.fromhex(total) == pytest.approx(math.fsum(window), rel=2**-52, abs=slack(i))
        if math.isnan(x[i]):
            assert by_slot == by_value == below_sum == "-"
            continue
        below = [v for v in window if v < x[i]]
        assert int(by_slot) == int(by_value) == len(below)
        assert float.fromhex(below_sum) == pytest.approx(math.fsum(below), rel=2**-52, abs=slack(i))
