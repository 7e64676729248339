"""Four- and five-bar candlestick detectors: bars on which each fires (the value on the last),
and near misses that move one price onto the rule's boundary."""
import random

import pytest

from candlestick_support import bars, call, check_row, named

# (detector, bars 1 to W as (open, high, low, close), value, near misses as (bar, field, price))
ROWS = [
    ("py_hikkake_mod", [(7, 10, 5, 7), (7, 9, 6, 7), (7, 9.5, 6.5, 8), (8, 10, 7.5, 9)], 1.0,
     [(4, "c", 8), (2, "h", 10)]),  # the confirming close must pass the previous one
    ("py_hikkake_mod", [(7, 10, 5, 7), (7, 9, 6, 7), (7, 8.5, 5.5, 6), (6, 7, 5, 5)], -1.0, [(4, "c", 6)]),
    ("py_ladder_bottom", [(20, 20.5, 17.5, 18), (18.5, 19, 15.5, 16), (16.5, 17, 13.5, 14), (14.5, 15, 11, 12),
                          (13, 15, 12.5, 14.5)], 1.0, [(4, "l", 12), (5, "o", 12), (3, "c", 16)]),
    ("py_mat_hold", [(10, 20.5, 9.5, 20), (19.5, 20, 18, 18.5), (18.5, 19.5, 18, 19), (19, 19.5, 18, 18.5),
                     (18.5, 22, 18, 21.5)], 1.0, [(5, "c", 20), (3, "c", 20), (2, "o", 23.5)]),
    ("py_breakaway", [(20, 20.5, 13.5, 14), (13.5, 14, 12.5, 13), (13, 13.5, 11.5, 12), (12, 12.5, 10.5, 11),
                      (11, 17.5, 10.5, 17)], 1.0, [(5, "c", 20), (2, "o", 14), (3, "c", 13)]),
    ("py_breakaway", [(14, 20.5, 13.5, 20), (20.5, 21.5, 20, 21), (21, 22.5, 20.5, 22), (22, 23.5, 21.5, 23),
                      (23, 23.5, 16.5, 17)], -1.0, [(5, "c", 14), (2, "o", 20)]),
    ("py_rising_three_methods", [(10, 20.5, 9.5, 20), (19, 19.5, 15.5, 16), (17, 17.5, 13.5, 14),
                                 (15, 15.5, 11.5, 12), (12.5, 22, 12, 21.5)], 1.0,
     [(3, "l", 10), (2, "h", 20), (2, "c", 14), (5, "c", 20)]),  # a middle body of half bar 1's
    ("py_falling_three_methods", [(20, 20.2, 14.8, 15), (16, 17.2, 15.9, 17), (16.5, 17.6, 16.4, 17.5),
                                  (17, 18.1, 16.9, 18), (17.5, 17.6, 13.9, 14)], -1.0,
     [(3, "h", 20.1), (3, "h", 20), (5, "c", 15), (4, "c", 16.5)]),
    ("py_concealing_baby_swallow", [(20, 20.5, 17.5, 18), (17.5, 18, 15, 15.5), (15, 15.5, 13.5, 14),
                                    (16.5, 17, 13, 13.5)], 1.0, [(1, "o", 20.5), (4, "o", 15), (3, "o", 15.5)]),
]


@pytest.mark.parametrize("name, rows, value, misses", ROWS)
def test_fires_and_near_misses(name, rows, value, misses):
    check_row(name, rows, value, misses)


def test_every_long_detector_has_rows():
    assert {r[0] for r in ROWS} == set(named(4))


@pytest.mark.parametrize("name", ["py_mat_hold", "py_breakaway", "py_unique_3_river"])
def test_equal_bodies_never_stand_out_of_their_own_average(name):
    rng = random.Random(5)
    rows = []
    for _ in range(2000):
        o = rng.randint(1, 9)
        c = o + rng.choice((-1, 1))
        rows.append((o, max(o, c) + rng.randint(0, 2), min(o, c) - rng.randint(0, 2), c))
    assert set(call(name, bars(*rows))) == {0.0}
