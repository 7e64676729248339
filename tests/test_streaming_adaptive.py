"""Streaming adaptive RSI: worked values, warm-up, the chosen period at rounding ties, and
bit-exact agreement with a direct recomputation of every window."""

import pytest
from hypothesis import given, settings
from hypothesis import strategies as hs

import vorn_library.vorn_library as vl
from conftest import random_walk
from reference import ref_online_adaptive_rsi

ZERO_PERIOD = "Invalid period: 0 (must be > 0 and <= data length 0)"


def feed(obj, xs):
    return [obj.update(x) for x in xs]


@pytest.mark.parametrize("args,xs,want", [
    ((), range(1, 16), [None] * 14 + [(100.0, 7)]),        # equal changes: ratio 1
    ((), [3.0] * 15, [None] * 14 + [(0.0, 14)]),            # no changes: ratio 0.5
    ((1, 2, 1), [5, 5, 5], [None, (0.0, 1), (0.0, 2)]),    # the period limited by the gains held
    # changes +3, -3, +6, -3, +6: averages over the last three
    ((3, 3, 2), [1, 4, 1, 7, 4, 10], [None] * 3 + [(75.0, 3), (50.0, 3), (80.0, 3)]),
    # changes +1, -2: ratio (3 / 2) / 2 = 0.75, period 2 + nearest(0.5) = 3, limited to 2 held
    ((2, 4, 2), [10, 11, 9], [None, None, (100.0 - 100.0 / (0.5 / 1.0 + 1.0), 2)]),
])
def test_worked_values(args, xs, want):
    assert feed(vl.OnlineAdaptiveRSI(*args), xs) == want


@pytest.mark.parametrize("args,first", [((), 15), ((20, 30, 5), 21), ((7, 21, 30), 31), ((1, 1, 1), 2)])
def test_first_value_at_update(args, first):
    a = vl.OnlineAdaptiveRSI(*args)
    got = feed(a, random_walk(first + 5, seed=first))
    assert got.index(next(g for g in got if g is not None)) == first - 1 and None not in got[first - 1:]
    a.reset()
    assert feed(a, random_walk(first - 1)) == [None] * (first - 1)


def test_rounding_tie_goes_up():
    # Last 14 changes: one of 8, one of 2, twelve of 1.5: ratio (28 / 14) / 8 = 0.25, so the
    # period is 7 + nearest(14 * 0.75 = 10.5) = 18, reached only when the tie rounds up.
    steps = [1.0, -1.0] * 5 + [8.0, -2.0] + [1.5, -1.5] * 6
    xs = [100.0]
    for s in steps:
        xs.append(xs[-1] + s)
    got = feed(vl.OnlineAdaptiveRSI(), xs)[-1]
    assert got[1] == 18 and got == ref_online_adaptive_rsi(xs, 7, 21, 14)[-1]


def test_the_compensated_sum_decides_the_period():
    # Absolute changes 0.30000000000000004, 0.2, 0.4 (largest 0.4), period 1 + nearest(6 * (1 -
    # ratio)): summed plainly (0.9) the product is 1.5000000000000007 and the period 3;
    # compensated (0.9000000000000001) it is 1.4999999999999993 and the period 2.
    x1 = 0.1 + 0.2
    xs = [0.0, x1, x1 - 0.2, (x1 - 0.2) - 0.4]
    assert feed(vl.OnlineAdaptiveRSI(1, 7, 3), xs) == [None, None, None, (0.0, 2)]


def test_an_overflowing_change_keeps_the_shortest_period():
    # An infinite absolute change makes the ratio NaN: no lengthening, never a crash.
    assert feed(vl.OnlineAdaptiveRSI(1, 2, 1), [1e308, -1e308]) == [None, (0.0, 1)]


@pytest.mark.parametrize("args,seed,scale", [((), 1, 1.0), ((7, 21, 14), 2, 1e-3), ((3, 40, 9), 3, 50.0),
                                             ((5, 5, 20), 4, 1.0), ((2, 60, 3), 5, 1e6)])
def test_long_run_equals_direct_recomputation(args, seed, scale):
    xs = [x * scale for x in random_walk(3000, seed=seed)]
    assert feed(vl.OnlineAdaptiveRSI(*args), xs) == ref_online_adaptive_rsi(xs, *(args or (7, 21, 14)))


def bad_prints(xs):
    return [x * 1e9 if i % 89 == 40 else x for i, x in enumerate(xs)]


def level_drop(xs):
    return [x * 1e6 if i < len(xs) // 2 else x * 1e-6 for i, x in enumerate(xs)]


def cent_ticks(xs):
    return [round(x, 2) for x in xs]


@pytest.mark.parametrize("shape", [bad_prints, level_drop, cent_ticks])
@pytest.mark.parametrize("args", [(7, 21, 1), (7, 21, 2), (3, 30, 60), (7, 21, 700), (20, 20, 9)])
def test_sliding_volatility_sum_decides_as_the_window_summed_afresh(shape, args):
    # The period comes from a running sum of the absolute changes whose error bound has to
    # cover outliers that have left, a level far below the one before, and ties on cent ticks.
    xs = shape(random_walk(2500, seed=args[2]))
    assert feed(vl.OnlineAdaptiveRSI(*args), xs) == ref_online_adaptive_rsi(xs, *args)


def test_infinite_changes_entering_and_leaving_the_window():
    # Changes beyond the largest float: the ratio is NaN while one is held (the shortest period),
    # and so is the RSI of averages that hold one; once they have left, the window reads as usual.
    xs = [1.0, 2.0, 1e308, -1e308, 3.0, 1e308, 4.0] + [5.0 + (i % 7) * 0.5 for i in range(40)]
    got = feed(vl.OnlineAdaptiveRSI(2, 9, 3), xs)
    assert repr(got) == repr(ref_online_adaptive_rsi(xs, 2, 9, 3)) and "nan" in repr(got[:9])


@settings(max_examples=80, deadline=None)
@given(hs.lists(hs.sampled_from([0.0, 0.5, 1.0, 1.5, 2.0, 3.0, 0.1, 0.2, 0.4, 1e-9, 7e5]), min_size=2, max_size=60),
       hs.integers(1, 6), hs.integers(0, 10), hs.integers(1, 12))
def test_exact_on_ties_and_mixed_magnitudes(moves, lo, span, vp):
    # Small exact steps land on rounding ties of the period; mixed magnitudes make the plain
    # and compensated sums differ.
    xs = [0.0]
    for i, m in enumerate(moves):
        xs.append(xs[-1] + (m if i % 3 else -m))
    assert feed(vl.OnlineAdaptiveRSI(lo, lo + span, vp), xs) == ref_online_adaptive_rsi(xs, lo, lo + span, vp)


@pytest.mark.parametrize("args,msg", [
    ((10, 5), "Parameter max_period out of range: 5 (valid range: 10..inf)"),
    ((0,), ZERO_PERIOD), ((7, 21, 0), ZERO_PERIOD), ((0, 0), ZERO_PERIOD),
])
def test_constructor_errors(args, msg):
    with pytest.raises(ValueError) as e:
        vl.OnlineAdaptiveRSI(*args)
    assert str(e.value) == msg
