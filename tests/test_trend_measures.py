"""Aroon, parabolic SAR, TRIX, DPO, vortex, choppiness, Qstick and VHF."""
import math

import pytest
from hypothesis import given, settings, strategies as st

from conftest import first_defined, nan_equal, random_bars
from reference import ref_aroon, ref_choppiness, ref_psar, ref_trix, ref_vhf, ref_vortex

NAN = math.nan
TOL = 1e-9


def bars(n, seed=7, step=1.0):
    return random_bars(n, seed, step)


def ohlc_strategy(min_size=2, max_size=60, integral=False):
    """Bars with high >= low; integral prices make ties (equal extremes, equal closes) common."""
    price = st.integers(1, 20).map(float) if integral else st.floats(1.0, 1000.0)

    def build(rows):
        high = [max(a, b) for a, b, _ in rows]
        low = [min(a, b) for a, b, _ in rows]
        close = [lo + (h - lo) * f for h, lo, (_, _, f) in zip(high, low, rows)]
        return high, low, close

    row = st.tuples(price, price, st.floats(0.0, 1.0))
    return st.lists(row, min_size=min_size, max_size=max_size).map(build)


# ---- parabolic SAR -----------------------------------------------------------------------


def test_psar_hand_computed(m):
    # Up start (close rises): bar 1 and bar 2 clamp to low[0]; bar 2 makes a new high (AF 0.04);
    # bar 4 pierces the stop and reverses onto the extreme point 5.
    high, low, close = [3.0, 4.0, 5.0, 4.0, 3.0], [1.0, 2.0, 3.0, 2.0, 1.0], [2.0, 3.0, 4.0, 3.0, 2.0]
    sar, direction = m.py_psar(high, low, close, 0.02, 0.02, 0.2)
    assert sar[:3] == [1.0, 1.0, 1.0]
    assert sar[3] == 1.0 + 0.04 * (5.0 - 1.0)
    assert sar[4] == 5.0
    assert direction == [1.0, 1.0, 1.0, 1.0, -1.0]


@pytest.mark.parametrize("rising", [True, False])
def test_psar_two_bars(m, rising):
    high, low = [10.0, 11.0], [8.0, 9.0]
    close = [9.0, 10.0] if rising else [9.0, 8.5]
    sar, direction = m.py_psar(high, low, close, 0.1, 0.02, 0.2)
    if rising:
        # Candidate 8 + 0.1 * (11 - 8) = 8.3, clamped against bar 0 only.
        assert sar == [8.0, 8.0] and direction == [1.0, 1.0]
    else:
        # Down from high[0] = 10 towards EP = low[1] = 9; bar 1's high 11 pierces it: reversal to EP.
        assert sar == [10.0, 9.0] and direction == [-1.0, 1.0]


def test_psar_equal_closes_start_down(m):
    sar, direction = m.py_psar([5.0, 5.0, 5.0], [4.0, 4.0, 4.0], [4.5, 4.5, 4.5], None, None, None)
    assert direction[0] == -1.0 and sar[0] == 5.0


def test_psar_clamps_to_two_prior_lows(m):
    # A large factor pushes the candidate above the prior lows: the stop sits at the lower of them.
    high = [10.0, 12.0, 14.0, 16.0]
    low = [9.0, 11.5, 10.0, 15.0]
    close = [9.5, 11.8, 13.0, 15.5]
    sar, direction = m.py_psar(high, low, close, 0.9, 0.05, 0.95)
    assert direction == [1.0] * 4
    # bar 2: candidate 9 + 0.9 * (12 - 9) = 11.7 -> min(11.7, low[1] 11.5, low[0] 9) = 9
    assert sar[2] == 9.0
    # bar 3: candidate 9 + 0.95 * (14 - 9) = 13.75 -> min(low[2] 10, low[1] 11.5) = 10
    assert sar[3] == 10.0


def test_psar_clamps_to_two_prior_highs(m):
    high = [20.0, 18.0, 19.0, 16.0]
    low = [18.0, 16.0, 15.0, 14.0]
    close = [19.0, 17.0, 16.0, 15.0]
    sar, direction = m.py_psar(high, low, close, 0.9, 0.05, 0.95)
    assert direction == [-1.0] * 4
    assert sar[2] == 20.0  # max(candidate, high[1] 18, high[0] 20)
    assert sar[3] == 19.0  # candidate 20 + 0.95 * (15 - 20) = 15.25 -> max(high[2] 19, high[1] 18)


def test_psar_stop_never_above_flat_lows(m):
    # Rising highs with flat lows: every candidate is clamped back to the lows, whatever AF is.
    n = 20
    high = [100.0 + i for i in range(n)]
    low = [1.0] * n
    close = [50.0 + i for i in range(n)]
    sar, direction = m.py_psar(high, low, close, 0.02, 0.02, 0.2)
    assert direction == [1.0] * n
    assert sar == [1.0] * n


def test_psar_factor_sequence(m):
    # Stops far below rising lows are never clamped; the stop's steps reveal each AF.
    n = 15
    high = [100.0 + 2 * i for i in range(n)]
    low = [99.0 + 2 * i for i in range(n)]
    close = [99.5 + 2 * i for i in range(n)]
    high[6] = high[5]  # an equal high is no new extreme: AF holds for that bar
    sar, _ = m.py_psar(high, low, close, 0.02, 0.03, 0.1)
    # From bar 3 on no clamp binds, so sar[i + 1] - sar[i] = AF * (EP - sar[i]) with the state
    # left by bar i. EP starts at high[1]; bar 1 cannot beat it.
    afs, expected, af = [], [], 0.02
    for i in range(2, n - 1):
        if high[i] > max(high[1:i]):
            af = min(af + 0.03, 0.1)
        expected.append(af)
        afs.append((sar[i + 1] - sar[i]) / (max(high[1 : i + 1]) - sar[i]))
    assert afs == pytest.approx(expected, rel=1e-12)
    assert expected.count(0.1) > 3 and 0.05 in [round(a, 12) for a in expected]


def test_psar_reversal_bar_sits_on_the_finished_extreme(m):
    high, low, close = bars(400, seed=5)
    sar, direction = m.py_psar(high, low, close, 0.02, 0.02, 0.2)
    flips = [i for i in range(1, len(sar)) if direction[i] != direction[i - 1]]
    assert len(flips) > 10
    for i in flips:
        start = max(k for k in range(i) if k == 0 or direction[k] != direction[k - 1])
        seg = range(start, i) if start else range(0, i)
        if direction[i] < 0:  # the finished up trend's highest high (EP starts at high[1] on bar 0)
            ep = max(high[k] for k in seg if k >= 1) if start == 0 else max(high[k] for k in seg)
        else:
            ep = min(low[k] for k in seg if k >= 1) if start == 0 else min(low[k] for k in seg)
        assert sar[i] == ep


@settings(max_examples=200, deadline=None)
@given(ohlc_strategy(integral=False), st.sampled_from([(0.02, 0.02, 0.2), (0.05, 0.01, 0.05), (0.1, 0.1, 0.5)]))
def test_psar_matches_reference(m, hlc, afs):
    high, low, close = hlc
    sar, direction = m.py_psar(high, low, close, *afs)
    rsar, rdir = ref_psar(high, low, close, *afs)
    assert sar == rsar and direction == rdir


@settings(max_examples=100, deadline=None)
@given(ohlc_strategy(integral=True))
def test_psar_matches_reference_with_ties(m, hlc):
    high, low, close = hlc
    assert list(m.py_parabolic_sar(high, low, close, None, None, None)) == list(ref_psar(high, low, close))


def test_psar_initial_equal_to_max(m):
    high, low, close = bars(200, seed=9)
    assert list(m.py_psar(high, low, close, 0.1, 0.05, 0.1)) == list(ref_psar(high, low, close, 0.1, 0.05, 0.1))


def test_psar_two_names_one_behaviour(m):
    high, low, close = bars(100, seed=4)
    a = m.py_psar(high, low, close, af_init=0.03, af_increment=0.01, af_max=0.3)
    b = m.py_parabolic_sar(high, low, close, af_init=0.03, af_increment=0.01, af_max=0.3)
    assert a == b
    assert m.py_psar(high, low, close, None, None, None) == m.py_psar(high, low, close, 0.02, 0.02, 0.2)
    for f in (m.py_psar, m.py_parabolic_sar):
        with pytest.raises(TypeError, match="unexpected keyword argument 'af_initial'"):
            f(high, low, close, af_initial=0.02, af_increment=0.02, af_max=0.2)
        with pytest.raises(TypeError, match="missing 1 required positional argument: 'af_max'"):
            f(high, low, close, 0.02, 0.02)
    assert m.py_psar.__text_signature__ == "(high, low, close, af_initial=0.02, af_increment=0.02, af_max=0.2)"
    assert m.py_psar.__doc__.startswith("Calculate Parabolic SAR")
    assert m.py_parabolic_sar.__text_signature__ == "(high, low, close, af_init=0.02, af_increment=0.02, af_max=0.2)"


@pytest.mark.parametrize(
    "args, message",
    [
        (([], [1.0], [1.0]), "Empty input: high cannot be empty"),
        (([1.0, math.inf], [1.0, 1.0], [1.0, 1.0]), "Invalid value at index 1: high contains non-finite value: inf"),
        (([1.0, 2.0], [1.0], [1.0, 2.0]), "Length mismatch: high=2, low=1"),
        (([1.0, 2.0], [1.0, 2.0], [1.0, NAN]), "Invalid value at index 1: close contains non-finite value: NaN"),
        (([1.0, 2.0], [1.0, 2.0], [1.0, 2.0], 0.0), "Invalid value at index 0: af_init (0) must be > 0"),
        (([1.0, 2.0], [1.0, 2.0], [1.0, 2.0], 0.02, -0.5), "Invalid value at index 0: af_increment (-0.5) must be > 0"),
        (([1.0, 2.0], [1.0, 2.0], [1.0, 2.0], 0.02, 0.02, 0), "Invalid value at index 0: af_max (0) must be > 0"),
        (([1.0, 2.0], [1.0, 2.0], [1.0, 2.0], 0.2, 0.02, 0.1),
         "Invalid value at index 0: af_max (0.1) must be >= af_init (0.2)"),
        (([1.0], [1.0], [1.0]), "Insufficient data: need at least 2 elements, got 1"),
        (([1.0], [1.0], [1.0], 0.0), "Invalid value at index 0: af_init (0) must be > 0"),
    ],
)
def test_psar_errors(m, args, message):
    series, afs = args[:3], list(args[3:]) + [None] * (6 - len(args))
    with pytest.raises(ValueError) as e:
        m.py_psar(*series, *afs)
    assert str(e.value) == message


# ---- Aroon -------------------------------------------------------------------------------


def test_aroon_later_equal_maximum_counts(m):
    up, down, osc = m.py_aroon([5.0, 5.0, 1.0], [1.0, 1.0, 1.0], 2)
    assert nan_equal(up, [NAN, NAN, 50.0])
    assert nan_equal(down, [NAN, NAN, 100.0])
    assert nan_equal(osc, [NAN, NAN, -50.0])


def test_aroon_rising(m):
    n, p = 30, 5
    up, down, osc = m.py_aroon([float(i) for i in range(n)], [float(i) - 1 for i in range(n)], p)
    assert nan_equal(up, [NAN] * p + [100.0] * (n - p))
    assert nan_equal(down, [NAN] * p + [0.0] * (n - p))
    assert nan_equal(osc, [NAN] * p + [100.0] * (n - p))


def test_aroon_period_bounds(m):
    high, low, _ = bars(10)
    with pytest.raises(ValueError, match=r"^Invalid period: 1 \(must be > 0 and <= data length 10\)$"):
        m.py_aroon(high, low, 1)
    with pytest.raises(ValueError, match=r"^Invalid period: 0 "):
        m.py_aroon(high, low, 0)
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 11 elements, got 10$"):
        m.py_aroon(high, low, 10)
    out = m.py_aroon(high, low, 9)
    assert all(first_defined(s) == 9 for s in out)
    assert nan_equal(m.py_aroon(*bars(40)[:2], None)[0], ref_aroon(*bars(40)[:2], 25)[0])


def test_aroon_near_ties_within_tolerance(m):
    # A later high 1e-11 below the maximum still counts as the extreme.
    high = [1.0, 5.0, 5.0 - 1e-11, 2.0, 1.0]
    low = [0.5] * 5
    up, _, _ = m.py_aroon(high, low, 4)
    assert up[4] == ((4 - 2) / 4) * 100


def test_aroon_extremes_at_the_oldest_bar(m):
    # Falling highs and rising lows keep every bar of the window queued as a candidate
    # extreme, and the extremes are always the oldest bar: both lines read 0.
    n, p = 60, 7
    up, down, osc = m.py_aroon([100.0 - i for i in range(n)], [float(i) for i in range(n)], p)
    assert nan_equal(up, [NAN] * p + [0.0] * (n - p))
    assert nan_equal(down, [NAN] * p + [0.0] * (n - p))
    assert nan_equal(osc, [NAN] * p + [0.0] * (n - p))


@pytest.mark.parametrize("p", [2, 25, 90])
def test_aroon_long_series_matches_scan(m, p):
    high, low, _ = bars(3000, seed=p, step=0.5)
    high = [round(h, 1) for h in high]  # ties between bars are common
    low = [round(x, 1) for x in low]
    for a, b in zip(m.py_aroon(high, low, p), ref_aroon(high, low, p)):
        assert nan_equal(a, b)


def near_tie_highs(n, p, gap, seed=3):
    """A walk whose local highs each have a later bar `gap` below them, inside the window."""
    high, _, _ = bars(n, seed=seed, step=0.5)
    for i in range(p, n - p, 3 * p // 2 + 1):
        top = max(high[i - p : i + 1])
        high[i] = top + 1.0
        high[i + p // 2] = top + 1.0 - gap
    return high


def stretched_near_ties(n, p):
    """Every window's extreme followed at once by a bar 5e-11 below it, then far lower bars:
    each window is searched back over most of its bars, more than the fast path allows
    over the series, so the queues take it."""
    unit = [100.0, 100.0 - 5e-11] + [90.0 - k for k in range(p - 2)]
    return [x + 10.0 * (i // p % 3) for i, x in enumerate(unit * (n // p + 1))][:n]


@pytest.mark.parametrize(
    "high, p",
    [
        (near_tie_highs(600, 8, 1e-11), 8),
        (near_tie_highs(600, 8, 9.9e-11), 8),
        (near_tie_highs(600, 8, 1e-10), 8),  # exactly the tolerance: not the extreme
        (near_tie_highs(600, 9, 1.01e-10), 9),
        (near_tie_highs(3000, 40, 5e-11), 40),
        ([100.0 - 1e-12 * k for k in range(300)], 12),  # every bar within the tolerance
        ([0.0, -0.0] * 50, 5),
        (stretched_near_ties(4000, 40), 40),
        (stretched_near_ties(400, 3), 3),
    ],
)
def test_aroon_near_ties_match_scan(m, high, p):
    # The highs as they are, and negated as lows: both extremes with values near them.
    low = [-x for x in high]
    for a, b in zip(m.py_aroon(high, low, p), ref_aroon(high, low, p)):
        assert nan_equal(a, b)


@settings(max_examples=150, deadline=None)
@given(ohlc_strategy(min_size=3, max_size=80, integral=True), st.integers(2, 30))
def test_aroon_matches_scan(m, hlc, p):
    high, low, _ = hlc
    if p >= len(high):
        p = len(high) - 1
    if p < 2:
        return
    got = m.py_aroon(high, low, p)
    for a, b in zip(got, ref_aroon(high, low, p)):
        assert nan_equal(a, b)


# ---- TRIX and DPO ------------------------------------------------------------------------


def test_trix_period_one_is_rate_of_change(m):
    close = [2.0, 4.0, 3.0, 0.0, 5.0, 10.0]
    expected = [NAN] + [((close[i] - close[i - 1]) / close[i - 1]) * 100 if close[i - 1] != 0 else NAN
                        for i in range(1, len(close))]
    assert nan_equal(m.py_trix(close, 1), expected)


@pytest.mark.parametrize("p", [2, 5, 15])
def test_trix_matches_reference(m, p):
    close = bars(300, seed=p)[2]
    out = m.py_trix(close, p)
    assert first_defined(out) == 3 * p - 2
    assert nan_equal(out, ref_trix(close, p), TOL)


def test_trix_lengths(m):
    close = bars(10)[2]
    assert all(math.isnan(v) for v in m.py_trix(close, 10))
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 11 elements, got 10$"):
        m.py_trix(close, 11)
    with pytest.raises(ValueError, match=r"^Invalid period: 0 \(must be > 0 and <= data length 10\)$"):
        m.py_trix(close, 0)
    assert nan_equal(m.py_trix(bars(60)[2], None), m.py_trix(bars(60)[2], 15))


def test_dpo_values(m):
    close = [1.0, 4.0, 2.0, 8.0, 5.0, 7.0, 3.0, 9.0, 6.0, 10.0]
    out = m.py_dpo(close, 4)
    assert first_defined(out) == 6
    for i in range(6, 10):
        assert out[i] == pytest.approx(close[i] - sum(close[i - 6 : i - 2]) / 4, rel=1e-15)
    assert out[6] == 3.0 - (1 + 4 + 2 + 8) / 4


def test_dpo_lengths(m):
    close = bars(12)[2]
    assert all(math.isnan(v) for v in m.py_dpo(close, 12))
    with pytest.raises(ValueError, match=r"^Invalid period: 0 "):
        m.py_dpo(close, 0)
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 13 elements, got 12$"):
        m.py_dpo(close, 13)
    assert first_defined(m.py_dpo(bars(50)[2], None)) == 30
    with pytest.raises(ValueError, match=r"^Empty input: close cannot be empty$"):
        m.py_dpo([], 3)


# ---- vortex ------------------------------------------------------------------------------


@pytest.mark.parametrize("p", [1, 3, 14])
def test_vortex_matches_reference(m, p):
    high, low, close = bars(200, seed=p)
    plus, minus = m.py_vortex(high, low, close, p)
    rp, rm = ref_vortex(high, low, close, p)
    assert first_defined(plus) == p
    assert nan_equal(plus, rp, TOL) and nan_equal(minus, rm, TOL)


def test_vortex_edges(m):
    plus, minus = m.py_vortex([5.0] * 10, [5.0] * 10, [5.0] * 10, 3)
    assert all(math.isnan(v) for v in plus + minus)  # zero true range: NaN, not 0
    high, low, close = bars(8)
    assert all(math.isnan(v) for s in m.py_vortex(high, low, close, 8) for v in s)
    assert all(math.isnan(v) for s in m.py_vortex(high, low, close, 100) for v in s)
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 2 elements, got 1$"):
        m.py_vortex([1.0], [1.0], [1.0], 14)
    with pytest.raises(ValueError, match=r"^Invalid period: 0 \(must be > 0 and <= data length 8\)$"):
        m.py_vortex(high, low, close, 0)
    with pytest.raises(ValueError, match=r"^Length mismatch: high=8, close=7$"):
        m.py_vortex(high, low, close[:7], 3)


# ---- choppiness, Qstick, VHF -------------------------------------------------------------


@pytest.mark.parametrize("p", [2, 5, 14])
def test_choppiness_matches_reference(m, p):
    high, low, close = bars(300, seed=p)
    out = m.py_choppiness(high, low, close, p)
    assert first_defined(out) == p
    assert nan_equal(out, ref_choppiness(high, low, close, p), TOL)


def test_choppiness_edges(m):
    high, low, close = bars(10)
    assert all(math.isnan(v) for v in m.py_choppiness(high, low, close, 10))
    assert all(math.isnan(v) for v in m.py_choppiness(high, low, close, 50))
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 2 elements, got 1$"):
        m.py_choppiness([1.0], [1.0], [1.0], 1)
    with pytest.raises(ValueError, match=r"^Invalid period: 0 "):
        m.py_choppiness(high, low, close, 0)
    # Period 1 divides by log10(1) = 0: +inf where the true range beats the bar's range,
    # NaN where they are equal (0 / 0).
    out = m.py_choppiness([10.0, 12.0, 11.0], [9.0, 11.0, 10.0], [9.5, 11.0, 10.5], 1)
    assert math.isnan(out[0]) and out[1] == math.inf and math.isnan(out[2])
    # Flat window: HH == LL.
    assert all(math.isnan(v) for v in m.py_choppiness([3.0] * 6, [3.0] * 6, [3.0] * 6, 2))
    assert nan_equal(m.py_choppiness(*bars(40), None), m.py_choppiness(*bars(40), 14))


def test_qstick(m):
    open_, close = [1.0, 2.0, 3.0, 4.0], [2.0, 2.0, 5.0, 3.0]
    body = [1.0, 0.0, 2.0, -1.0]
    out = m.py_qstick(open_, close, 2)
    assert out[0] != out[0] and out[1] == 0.5
    assert out[2] == 0.5 * (1 - 2 / 3) + 2.0 * (2 / 3)
    assert nan_equal(m.py_qstick(open_, close, 4), [NAN, NAN, NAN, sum(body) / 4])
    assert m.py_qstick([1.0], [3.0], 1) == [2.0]
    with pytest.raises(ValueError, match=r"^Invalid period: 5 \(must be > 0 and <= data length 4\)$"):
        m.py_qstick(open_, close, 5)
    with pytest.raises(ValueError, match=r"^Empty input: open cannot be empty$"):
        m.py_qstick([], close, 2)
    with pytest.raises(ValueError, match=r"^Invalid value at index 0: values contains non-finite value: inf$"):
        m.py_qstick([-1e308, 0.0], [1e308, 0.0], 1)
    assert first_defined(m.py_qstick(bars(30)[2], bars(30, 3)[2], None)) == 13


@pytest.mark.parametrize("p", [1, 4, 28])
def test_vhf_matches_reference(m, p):
    close = bars(200, seed=p)[2]
    out = m.py_vhf(close, p)
    assert first_defined(out) == p
    assert nan_equal(out, ref_vhf(close, p), TOL)


def test_vhf_edges(m):
    assert all(math.isnan(v) for v in m.py_vhf([2.0] * 10, 3))
    close = bars(10)[2]
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 11 elements, got 10$"):
        m.py_vhf(close, 10)
    with pytest.raises(ValueError, match=r"^Insufficient data: need at least 2 elements, got 1$"):
        m.py_vhf([1.0], 0)
    with pytest.raises(ValueError, match=r"^Invalid period: 0 "):
        m.py_vhf(close, 0)
    assert first_defined(m.py_vhf(bars(40)[2], None)) == 28


# ---- recomputation schedule and shapes ---------------------------------------------------


def test_long_series_across_recomputations(m):
    high, low, close = bars(2600, seed=13, step=5.0)
    p = 7
    assert nan_equal(m.py_vhf(close, p), ref_vhf(close, p), TOL)
    assert nan_equal(m.py_choppiness(high, low, close, p), ref_choppiness(high, low, close, p), TOL)
    for a, b in zip(m.py_vortex(high, low, close, p), ref_vortex(high, low, close, p)):
        assert nan_equal(a, b, TOL)


def comparable(out):
    """The result's lists with NaN spelled out, so that == compares them element for element."""
    return [[x if x == x else "nan" for x in s] for s in (out if isinstance(out, tuple) else (out,))]


@pytest.mark.parametrize(
    "name, nseries",
    [("py_aroon", 2), ("py_trix", 1), ("py_dpo", 1), ("py_vortex", 3), ("py_choppiness", 3), ("py_vhf", 1)],
)
def test_period_required_but_none_accepted(m, name, nseries):
    f = getattr(m, name)
    series = list(bars(60)[3 - nseries :]) if nseries > 1 else [bars(60)[2]]
    with pytest.raises(TypeError, match="missing 1 required positional argument: 'period'"):
        f(*series)
    defaults = {"py_aroon": 25, "py_trix": 15, "py_dpo": 20, "py_vortex": 14, "py_choppiness": 14, "py_vhf": 28}
    assert comparable(f(*series, None)) == comparable(f(*series, defaults[name]))
    assert comparable(f(*series, None)) != comparable(f(*series, 3))
    with pytest.raises(TypeError, match="argument 'period'"):
        f(*series, 2.5)
