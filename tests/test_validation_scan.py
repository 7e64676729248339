"""The non-finite scan behind every series validation tests blocks of values at once and then
searches the failing block: the index reported must be the first offender's wherever it sits
(inside a block, on a block's first or last value, in the tail after the last full block), for
every kind of NaN and infinity, and no finite value may be taken for one."""
import math
import struct

import pytest

import vorn_library.vorn_library as vl
from conftest import value_error


def bits(pattern):
    return struct.unpack("<d", struct.pack("<Q", pattern))[0]


NON_FINITE = [
    ("NaN", math.nan),
    ("NaN", -math.nan),
    ("NaN", bits(0x7FF0000000000001)),  # signalling payload
    ("NaN", bits(0xFFFFFFFFFFFFFFFF)),
    ("inf", math.inf),
    ("-inf", -math.inf),
]
# Finite values at the edges of the range: none may be reported.
EDGES = [1.7976931348623157e308, -1.7976931348623157e308, 5e-324, -5e-324, 2.2250738585072014e-308, 0.0, -0.0]


def positions(n):
    """First and last value, every block edge (blocks of 32) and the tail."""
    picks = {0, n - 1, n // 2}
    for edge in range(32, n + 1, 32):
        picks |= {edge - 1, edge, edge + 1}
    return sorted(p for p in picks if 0 <= p < n)


CASES = [(n, p) for n in (1, 2, 31, 32, 33, 63, 64, 65, 97, 130) for p in positions(n)]


@pytest.mark.parametrize("n, at", CASES)
@pytest.mark.parametrize("shown, bad", NON_FINITE)
def test_first_offender_is_reported(n, at, shown, bad):
    values = [EDGES[i % len(EDGES)] + 1.0 for i in range(n)]
    values[at] = bad
    if at + 5 < n:
        values[at + 5] = math.inf  # a later offender is never the one reported
    assert value_error(vl.py_abs, values) == f"Invalid value at index {at}: values contains non-finite value: {shown}"


@pytest.mark.parametrize("n", [1, 31, 32, 33, 64, 100])
def test_finite_extremes_pass(n):
    values = [EDGES[i % len(EDGES)] for i in range(n)]
    assert vl.py_abs(values) == [abs(v) for v in values]


@pytest.mark.parametrize("n, at", [(33, 32), (64, 63), (65, 0), (100, 99)])
def test_later_series_are_scanned_the_same_way(n, at):
    # values1 is clean; the second series' offender is found by the same scan
    clean = [1.0] * n
    dirty = list(clean)
    dirty[at] = -math.inf
    assert value_error(vl.py_add, clean, dirty) == f"Invalid value at index {at}: values2 contains non-finite value: -inf"
    assert value_error(vl.py_add, dirty, dirty) == f"Invalid value at index {at}: values1 contains non-finite value: -inf"
