"""Moving averages against direct references written from their definitions."""
import math
import random

import numpy as np
import pytest

from conftest import first_defined, nan_equal, random_walk as walk

NAN = math.nan
TOL = 1e-9


# ---- references -----------------------------------------------------------------------


def ref_sma(v, n):
    out = [NAN] * len(v)
    for i in range(n - 1, len(v)):
        out[i] = math.fsum(v[i - n + 1 : i + 1]) / n
    return out


def ref_ema(v, n, alpha=None):
    """Seeded smoothing where NaN is a gap that restarts the seed."""
    alpha = 2.0 / (1.0 + n) if alpha is None else alpha
    out, seed, avg = [NAN] * len(v), [], None
    for i, x in enumerate(v):
        if math.isnan(x):
            seed, avg = [], None
            continue
        if avg is None:
            seed.append(x)
            if len(seed) == n:
                avg = math.fsum(seed) / n
                out[i] = avg
        else:
            avg = avg * (1 - alpha) + x * alpha
            out[i] = avg
    return out


def ref_wma(v, n):
    out = [NAN] * len(v)
    div = n * (n + 1) / 2
    for i in range(n - 1, len(v)):
        w = v[i - n + 1 : i + 1]
        if any(math.isnan(x) for x in w):
            continue
        out[i] = math.fsum((k + 1) * x for k, x in enumerate(w)) / div
    return out


def combine(f, *series):
    return [NAN if any(math.isnan(s[i]) for s in series) else f(*(s[i] for s in series)) for i in range(len(series[0]))]


def ref_hma(v, n):
    a, b = ref_wma(v, n // 2), ref_wma(v, n)
    diff = combine(lambda x, y: 2 * x - y, a, b)
    r = ref_wma(diff, int(math.sqrt(n)))
    return r if any(not math.isnan(x) for x in r) else diff


def ref_dema(v, n):
    e1 = ref_ema(v, n)
    e2 = ref_ema(e1, n)
    return combine(lambda a, b: 2 * a - b, e1, e2)


def ref_tema(v, n):
    e1 = ref_ema(v, n)
    e2 = ref_ema(e1, n)
    e3 = ref_ema(e2, n)
    if all(math.isnan(x) for x in e3):
        return ref_dema(v, n)
    return combine(lambda a, b, c: 3 * a - 3 * b + c, e1, e2, e3)


def ref_t3(v, n, f):
    e = [ref_ema(v, n)]
    for _ in range(5):
        e.append(ref_ema(e[-1], n))
    c1 = -(f**3)
    c2 = 3 * f**3 + 3 * f**2
    c3 = -6 * f**2 - 3 * f - 3 * f**3
    c4 = 1 + 3 * f + 3 * f**2 + f**3
    out = combine(lambda a, b, c, d: c1 * d + c2 * c + c3 * b + c4 * a, e[2], e[3], e[4], e[5])
    return out if any(not math.isnan(x) for x in out) else e[0]


def ref_zlma(v, n):
    lag = (n - 1) // 2
    adj = [NAN] * lag + [2 * v[i] - v[i - lag] for i in range(lag, len(v))]
    return ref_ema(adj, n)


def ref_kama(v, n, fast=2, slow=30):
    fsc, ssc = 2 / (fast + 1), 2 / (slow + 1)
    out = [NAN] * len(v)
    out[n - 1] = v[n - 1]
    for i in range(n, len(v)):
        change = abs(v[i] - v[i - n])
        vol = sum(abs(v[k] - v[k - 1]) for k in range(i - n + 1, i + 1))
        er = change / vol if vol > 0 else 0.0
        sc = (er * (fsc - ssc) + ssc) ** 2
        out[i] = (v[i] - out[i - 1]) * sc + out[i - 1]
    return out


def ref_frama(v, n):
    h = n // 2
    out = [NAN] * len(v)
    out[n - 1] = v[n - 1]
    for i in range(n, len(v)):
        w = v[i - n : i]
        n1 = (max(w[:h]) - min(w[:h])) / h
        n2 = (max(w[h:]) - min(w[h:])) / h
        n3 = (max(w) - min(w)) / n
        e = 0.0
        if n1 + n2 > 0 and n3 > 0:
            d = (math.log(n1 + n2) - math.log(n3)) / math.log(2)
            e = (d - 1) * -4.6
        a = min(max(math.exp(e), 0.01), 1.0)
        out[i] = (1 - a) * out[i - 1] + a * v[i]
    return out


# ---- agreement on long random walks ---------------------------------------------------

LONG = walk(3500, seed=7)


@pytest.mark.parametrize(
    "name, ref, n",
    [
        ("py_sma", ref_sma, 14),
        ("py_sma", ref_sma, 1),
        ("py_ema", ref_ema, 20),
        ("py_rma", lambda v, n: ref_ema(v, n, 1.0 / n), 14),
        ("py_wma", ref_wma, 10),
        ("py_hma", ref_hma, 16),
        ("py_dema", ref_dema, 9),
        ("py_tema", ref_tema, 9),
        ("py_zlma", ref_zlma, 12),
        ("py_kama", ref_kama, 10),
        ("py_frama", ref_frama, 16),
    ],
)
def test_long_series_agree_with_reference(m, name, ref, n):
    fn = getattr(m, name)
    got = fn(LONG, n) if name not in ("py_kama",) else fn(LONG, n, 2, 30)
    assert nan_equal(got, ref(LONG, n), TOL)


def test_t3_long_series(m):
    assert nan_equal(m.py_t3(LONG, 5, 0.7), ref_t3(LONG, 5, 0.7), TOL)


@pytest.mark.parametrize("n", [3, 50])
def test_recompute_schedule_keeps_window_means_exact(m, n):
    # Large offsets make any drift of the running sums visible over thousands of slides.
    rng = random.Random(3)
    v = [1e6 + rng.uniform(-1, 1) * 1e-3 if i % 97 else rng.uniform(-1e6, 1e6) for i in range(4200)]
    direct = np.convolve(np.array(v), np.ones(n) / n, mode="valid")
    got = np.array(m.py_sma(v, n)[n - 1 :])
    assert np.allclose(got, direct, rtol=0, atol=1e-9 * 1e6)
    assert nan_equal(m.py_wma(v, n), ref_wma(v, n), 1e-12)


# ---- exact small cases and warm-up positions -----------------------------------------


def test_small_exact_values(m):
    assert nan_equal(m.py_sma([1.0, 2.0, 3.0, 4.0, 5.0], 3), [NAN, NAN, 2.0, 3.0, 4.0])
    assert nan_equal(m.py_wma([1.0, 2.0, 3.0], 3), [NAN, NAN, 14 / 6])
    v = [3.0, 5.0, 10.0]
    assert m.py_ema(v, 3)[2] == 6.0 and m.py_rma(v, 3)[2] == 6.0
    assert m.py_ema(v, 1) == v and m.py_rma(v, 1) == v


@pytest.mark.parametrize(
    "name, n, length, first",
    [
        ("py_sma", 5, 20, 4),
        ("py_ema", 5, 20, 4),
        ("py_rma", 5, 20, 4),
        ("py_wma", 5, 20, 4),
        ("py_hma", 9, 20, 9 + 3 - 2),
        ("py_hma", 4, 4, 3),
        ("py_dema", 3, 5, 4),
        ("py_dema", 3, 4, None),
        ("py_tema", 3, 7, 6),
        ("py_tema", 3, 5, 4),
        ("py_zlma", 4, 20, 4),
        ("py_zlma", 1, 20, 0),
        ("py_kama", 5, 20, 4),
        ("py_frama", 4, 20, 3),
    ],
)
def test_first_defined_index(m, name, n, length, first):
    v = walk(length, seed=n + length)
    out = getattr(m, name)(v, n) if name != "py_kama" else m.py_kama(v, n, None, None)
    assert len(out) == length
    assert first_defined(out) == first
    if first is not None:
        assert all(not math.isnan(x) for x in out[first:])


def test_hma_falls_back_to_intermediate_line(m):
    v = [1.0, 4.0, 2.0, 8.0]
    out = m.py_hma(v, 4)
    wma2 = (2 * 8.0 + 2.0) / 3
    wma4 = (1 * 1.0 + 2 * 4.0 + 3 * 2.0 + 4 * 8.0) / 10
    assert nan_equal(out, [NAN, NAN, NAN, 2 * wma2 - wma4], 1e-15)


def test_t3_fallbacks_and_special_factors(m):
    v = walk(7, seed=2)
    out = m.py_t3(v[:5], 2, 0.7)
    assert nan_equal(out, ref_ema(v[:5], 2), 1e-12)
    assert first_defined(m.py_t3(v, 2, 0.7)) == 6
    long = walk(80, seed=5)
    e3 = ref_ema(ref_ema(ref_ema(long, 4), 4), 4)
    t3_zero = m.py_t3(long, 4, 0.0)
    start = first_defined(t3_zero)
    assert start == 18
    assert nan_equal(t3_zero[start:], e3[start:], 1e-12)
    assert nan_equal(m.py_t3(long, 1, 0.7), long, 1e-12)
    assert nan_equal(m.py_t3(long, 4, math.nan), ref_ema(long, 4), 1e-12)


def test_kama_special_cases(m):
    v = walk(12, seed=4)
    out = m.py_kama(v, 12, 2, 30)
    assert all(math.isnan(x) for x in out[:-1]) and out[-1] == v[-1]
    assert m.py_kama([5.0] * 20, 4, 2, 30)[3:] == [5.0] * 17
    assert nan_equal(m.py_kama(v, 3, 0, 30), ref_kama(v, 3, 0, 30), TOL)


def test_frama_constant_and_periods(m):
    assert m.py_frama([2.5] * 20, 4)[3:] == [2.5] * 17
    assert first_defined(m.py_frama(walk(30), 2)) == 1
    for bad in (15, 0, 1, 31):
        with pytest.raises(ValueError, match=rf"^Invalid period: {bad} \(must be > 0 and <= data length 30\)$"):
            m.py_frama(walk(30), bad)
    with pytest.raises(ValueError, match=r"^Invalid period: 16 \(must be > 0 and <= data length 10\)$"):
        m.py_frama(walk(10), None)


# ---- validation ------------------------------------------------------------------------

ALL = ["py_sma", "py_ema", "py_rma", "py_wma", "py_hma", "py_dema", "py_tema", "py_zlma", "py_t3", "py_kama", "py_frama"]


def call(m, name, v, n):
    extra = {"py_t3": (0.7,), "py_kama": (2, 30)}.get(name, ())
    return getattr(m, name)(v, n, *extra)


@pytest.mark.parametrize("name", ALL)
def test_validation_order(m, name):
    with pytest.raises(ValueError, match=r"^Empty input: values cannot be empty$"):
        call(m, name, [], 0)
    with pytest.raises(ValueError, match=r"^Invalid value at index 1: values contains non-finite value: NaN$"):
        call(m, name, [1.0, NAN, 2.0], 0)
    with pytest.raises(ValueError, match=r"^Invalid value at index 2: values contains non-finite value: -inf$"):
        call(m, name, [1.0, 2.0, -math.inf], 2)
    with pytest.raises(ValueError, match=r"^Invalid period: 0 \(must be > 0 and <= data length 4\)$"):
        call(m, name, [1.0, 2.0, 3.0, 4.0], 0)
    with pytest.raises(ValueError, match=r"^Invalid period: 6 \(must be > 0 and <= data length 4\)$"):
        call(m, name, [1.0, 2.0, 3.0, 4.0], 6)


def test_period_equal_to_length_is_accepted(m):
    v = [1.0, 2.0, 3.0, 4.0, 5.0]
    assert nan_equal(m.py_sma(v, 5), [NAN] * 4 + [3.0])
    assert nan_equal(m.py_ema(v, 5), [NAN] * 4 + [3.0])


def test_hma_half_period(m):
    with pytest.raises(ValueError, match=r"^Invalid period: 0 \(must be > 0 and <= data length 3\)$"):
        m.py_hma([1.0, 2.0, 3.0], 1)


def test_sma_none_period_refused(m):
    with pytest.raises(TypeError, match=r"^argument 'period': "):
        m.py_sma([1.0, 2.0], None)


@pytest.mark.parametrize("name", ["py_sma", "py_wma"])
def test_overflowed_window_does_not_poison_later_windows(m, name):
    # Two bars near the largest double overflow the running sum; once they leave the
    # window the average must be a number again, not NaN until the next scheduled rebuild.
    v = [1e308] * 3 + [1.0] * 20
    out = getattr(m, name)(v, 2)
    assert math.isinf(out[1])
    assert all(math.isfinite(x) for x in out[3:])
