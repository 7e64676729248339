"""Reference computations the tests compare the library with: plain Python (or NumPy)
re-implementations of the kernels, written from the definitions, each in the arithmetic
order its test relies on (exact where the test compares bit for bit).

Several indicators have more than one reference here on purpose: a batch form and the form a
streaming update reports (None while warming up), or two summation orders that tests with
different tolerances rely on."""
import math
from fractions import Fraction

import numpy as np
from numpy.lib.stride_tricks import sliding_window_view

import vorn_library.vorn_library as vl

NAN = math.nan


# ---- Smoothing shared by many families --------------------------------------------------------

def ref_ema(v, n, alpha=None):
    """Seeded smoothing where NaN is a gap that restarts the seed."""
    alpha = 2.0 / (1.0 + n) if alpha is None else alpha
    out, seed, avg = [math.nan] * len(v), [], None
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


# ---- Volatility: true range, ATR, Bollinger bands ---------------------------------------------

def ref_true_range(high, low, close, drift=1):
    out = [NAN] * len(high)
    for i in range(drift, len(high)):
        pc = close[i - drift]
        out[i] = max(high[i] - low[i], abs(high[i] - pc), abs(low[i] - pc))
    return out


def ref_atr(high, low, close, period):
    tr = ref_true_range(high, low, close)
    out = [NAN] * len(high)
    a = math.fsum(tr[1:period + 1]) / period
    out[period] = a
    for i in range(period + 1, len(high)):
        a = (a * (period - 1) + tr[i]) / period
        out[i] = a
    return out


def ref_ema_plain(values, period):
    out = [NAN] * len(values)
    e = math.fsum(values[:period]) / period
    out[period - 1] = e
    alpha = 2.0 / (period + 1)
    for i in range(period, len(values)):
        e = values[i] * alpha + e * (1 - alpha)
        out[i] = e
    return out


def ref_bollinger(close, period, k):
    x = np.asarray(close)
    n = len(x)
    up, mid, lo = np.full(n, np.nan), np.full(n, np.nan), np.full(n, np.nan)
    for i in range(period - 1, n):
        w = x[i - period + 1:i + 1]
        m = w.mean()
        sd = w.std(ddof=0)
        mid[i], up[i], lo[i] = m, m + k * sd, m - k * sd
    return list(up), list(mid), list(lo)


# ---- Channels and volatility measures ---------------------------------------------------------

def rolling(v, p, fn):
    return [NAN] * (p - 1) + [fn(v[i - p + 1 : i + 1]) for i in range(p - 1, len(v))]


def ref_hv(close, p):
    """Sample deviation of log returns over each window of p returns; NaN where any is undefined."""
    n = len(close)
    r = [NAN] * n
    for i in range(1, n):
        if abs(close[i - 1]) >= 1e-10 and close[i] / close[i - 1] > 0:
            r[i] = math.log(close[i] / close[i - 1])
    out = [NAN] * n
    for i in range(p - 1, n):
        w = r[i - p + 1 : i + 1]
        if not any(math.isnan(v) for v in w):
            out[i] = float(np.std(w, ddof=1)) * (math.sqrt(p) * 100)
    return out


def ref_ulcer(close, p):
    n = len(close)
    hc = rolling(close, p, max)
    d = [NAN] * n
    for i in range(n):
        if hc[i] == hc[i] and hc[i] > 0:
            q = (close[i] - hc[i]) / hc[i] * 100
            d[i] = q * q
    out = [NAN] * n
    for e in range(p - 1, n):
        w = d[e - p + 1 : e + 1]
        if all(math.isfinite(v) for v in w):
            out[e] = math.sqrt(math.fsum(w) / p)
    return out


def ref_mass(high, low, fast, slow):
    a, b = min(fast, slow), max(fast, slow)
    e1 = ref_ema([h - l for h, l in zip(high, low)], a)
    e2 = ref_ema(e1, a)
    ratio = [x / y if (x == x and y == y and abs(y) >= 1e-10) else NAN for x, y in zip(e1, e2)]
    out = [NAN] * len(high)
    for e in range(b - 1, len(high)):
        w = ratio[e - b + 1 : e + 1]
        if all(math.isfinite(v) for v in w):
            out[e] = math.fsum(w)
    return out


# ---- Overlap studies: parabolic SAR -----------------------------------------------------------

def nan_min(a, b):
    """Minimum that ignores a NaN operand."""
    return b if a != a else a if b != b else min(a, b)


def nan_max(a, b):
    return b if a != a else a if b != b else max(a, b)


def ref_sar(h, l, a, m):
    up = h[1] + l[1] > h[0] + l[0]
    s, ep, af = (l[0], h[1], a) if up else (h[0], l[1], a)
    out = [NAN, s]
    for i in range(2, len(h)):
        s = s + af * (ep - s)
        if up:
            s = nan_min(s, l[i - 1]) if i == 2 else nan_min(nan_min(s, l[i - 1]), l[i - 2])
            if s > l[i]:
                s, ep, af, up = ep, l[i], a, False
            elif h[i] > ep:
                ep, af = h[i], nan_min(af + a, m)
        else:
            s = nan_max(s, h[i - 1]) if i == 2 else nan_max(nan_max(s, h[i - 1]), h[i - 2])
            if h[i] > s:
                s, ep, af, up = ep, h[i], a, True
            elif l[i] < ep:
                ep, af = l[i], nan_min(af + a, m)
        out.append(s)
    return out


def ref_sarext(h, l, start, offset, ail, al, aml, ais, as_, ams):
    s = l[0] if abs(start) < 1e-10 else start
    ep, af, up, out = h[0], ail, True, [s]
    for i in range(1, len(h)):
        new = s + af * (ep - s)
        if up and new > l[i]:
            s, ep, af, up = ep + offset, l[i], ais, False
        elif up:
            if h[i] > ep:
                ep, af = h[i], nan_min(af + al, aml)
            s = nan_min(new, l[i - 1]) if i == 1 else nan_min(nan_min(new, l[i - 1]), l[i - 2])
        elif h[i] > new:
            s, ep, af, up = ep - offset, h[i], ail, True
        else:
            if l[i] < ep:
                ep, af = l[i], nan_min(af + as_, ams)
            s = nan_max(new, h[i - 1]) if i == 1 else nan_max(nan_max(new, h[i - 1]), h[i - 2])
        out.append(s)
    return out


# ---- Candlestick detectors --------------------------------------------------------------------

# A compact reference for the shared kernels and a few rules, checked on float bars.
def ref_hammer(o, h, lo, c):
    body = abs(c - o)
    fires = c != o and min(o, c) - lo >= 2 * body and h - max(o, c) <= body
    return (1.0 if c > o else -1.0) if fires else 0.0


def ref_inverted_hammer(o, h, lo, c):
    body = abs(c - o)
    fires = c != o and min(o, c) - lo <= body and h - max(o, c) >= 2 * body
    return (1.0 if c > o else -1.0) if fires else 0.0


def ref_bullish_engulfing(b1, b2):
    return 1.0 if b1[0] > b1[3] and b2[3] > b2[0] and b2[0] <= b1[3] and b2[3] >= b1[0] else 0.0


def ref_hikkake(b1, b2, b3):
    if not (b2[1] < b1[1] and b2[2] > b1[2]):
        return 0.0
    if b2[1] < b3[1] < b1[1]:
        return 1.0
    return -1.0 if b1[2] < b3[2] < b2[2] else 0.0


# ---- Cycle filters ----------------------------------------------------------------------------

HT_FIRST = 32


def ref_ht_chain(x):
    n = len(x)
    s = [0.0] * n
    for j in range(10, n):
        s[j] = (((((2 * x[j - 2] + x[j]) + 3 * x[j - 4]) + 3 * x[j - 6]) + 2 * x[j - 8]) + x[j - 10]) / 12
    q = [0.0] * n
    for j in range(10, n):
        q[j] = ((2 * s[j - 4] + s[j - 2]) + s[j - 6]) * 0.25
    i1, q1 = [0.0] * n, [0.0] * n
    for j in range(6, n):
        i1[j] = (((4 * s[j] + 3 * s[j - 1]) + 2 * s[j - 2]) + s[j - 3]) / 10
        q1[j] = (((4 * q[j] + 3 * q[j - 1]) + 2 * q[j - 2]) + q[j - 3]) / 10
    return i1, q1


def ref_ht_dcphase(x):
    i1, q1 = ref_ht_chain(x)
    out = [NAN] * len(x)
    for i in range(HT_FIRST, len(x)):
        if abs(i1[i]) < 1e-10:
            out[i] = 0.0
        else:
            phi = math.atan(q1[i] / i1[i]) * 57.29577951308232
            out[i] = phi + 360 if phi < 0 else phi
    return out


def ref_ht_dcperiod(x):
    i1, q1 = ref_ht_chain(x)
    n = len(x)
    p = [0.0] * n
    for t in range(7, n):
        cross = i1[t] * q1[t - 1] - q1[t] * i1[t - 1]
        dot = i1[t - 1] * i1[t] + q1[t - 1] * q1[t]
        a = math.atan(cross / dot) if abs(cross) >= 1e-10 and abs(dot) >= 1e-10 else 0.0
        d = a - math.atan(q1[t - 1] * i1[t - 1])
        if abs(d) < 0.1:
            p[t] = p[t - 1]
        elif not math.isnan(d):
            p[t] = min(max(6.283185307179586 / abs(d), 6), 50)
    out = [NAN] * n
    for j in range(HT_FIRST, n):
        out[j] = ((2 * p[j - 1] + p[j]) + p[j - 2]) * 0.25
    return out


def ref_ht_trendmode(x):
    p = ref_ht_dcperiod(x)
    out = [NAN] * len(x)
    if len(x) == 63:
        return out
    out[63] = 0.0
    c = 1 if p[63] > 40 else 0
    for i in range(64, len(x)):
        if p[i] > 40:
            c += 1
        elif p[i] - p[i - 1] > 1:
            c += 1
        elif p[i] < 15:
            c = max(c - 1, 0)
        out[i] = 1.0 if c >= 4 else 0.0
    return out


# ---- Extended averages: weight rows -----------------------------------------------------------

def normalised_weights(raw):
    s = 0.0
    for w in raw:
        s += w
    return [w / s for w in raw]


def weighted_windows(x, w, first):
    out = [NAN] * len(x)
    p = len(w)
    for i in range(first, len(x)):
        acc = 0.0
        for k in range(p):
            acc += w[k] * x[i - p + 1 + k]
        out[i] = acc
    return out


def long_double_windows(x, w, ends):
    """sum_k w[k] x[i - p + 1 + k] in long double for each window end i, beside the window's
    weight sum |x| and largest |x|: a reference whose own rounding is 2^-11 of a double sum's."""
    xs, ws = np.asarray(x, dtype=np.longdouble), np.asarray(w, dtype=np.longdouble)
    p = len(ws)
    rows = [(xs[i - p + 1 : i + 1]) for i in ends]
    return [(float(np.dot(ws, r)), float(np.sum(np.abs(r))), float(np.max(np.abs(r)))) for r in rows]


def binomial_weights(p, reach):
    """C(p - 1, j) / 2^(p - 1) for j within `reach` of the middle, 0.0 beyond (a tail of at
    most 2^-150 of the whole for reach >= 10 sqrt(p)): exact integers, each weight rounded once
    from its leading 62 bits (within 2^-61 of it)."""
    m = (p - 1) // 2
    lo, hi = max(0, m - reach), min(p - 1, m + reach)
    c, out = math.comb(p - 1, lo), [0.0] * p
    for j in range(lo, hi + 1):
        shift = max(0, c.bit_length() - 62)
        out[j] = math.ldexp(float(c >> shift), shift - (p - 1))
        c = c * (p - 1 - j) // (j + 1)
    return out


def long_double_dft(z):
    """sum_t z[t] e^{-2 pi i k t / N} for each k, in long double (twiddles of a long-double pi)."""
    n = len(z)
    pi = np.longdouble("3.14159265358979323846264338327950288")
    t = np.arange(n, dtype=np.longdouble)
    angle = -2 * pi * np.outer(t, t % n) / n
    re, im = np.asarray(z.real, dtype=np.longdouble), np.asarray(z.imag, dtype=np.longdouble)
    return (np.cos(angle) @ re - np.sin(angle) @ im, np.sin(angle) @ re + np.cos(angle) @ im)


def alma_raw(p, offset, sigma):
    m = offset * (p - 1.0)
    s = p / sigma if sigma else math.copysign(math.inf, sigma)  # IEEE division by zero
    return [math.exp(-(((i - m) / s) ** 2)) for i in range(p)]


def binomial_row(p):
    """The unscaled binomial triangle in floats, as the weights were first defined."""
    row = [1.0]
    while len(row) < p:
        row = [1.0] + [row[j - 1] + row[j] for j in range(1, len(row))] + [1.0]
    return row


def sine_raw(p):
    return [math.sin(((j + 1) * math.pi) / (p + 1)) for j in range(p)]


def triangle_raw(p):
    h = (p - 1) // 2
    return [float(j + 1 if j <= h else p - j) for j in range(p)]


# ---- Window sums, exact ----------------------------------------------------------------------
# Every double is a whole multiple of 2^-1074, so each term scaled by 2^1074 is a Python int and
# a window's sum slides in integers exactly, O(1) a window at any period. A quotient of two such
# ints (int / int) is rounded once, correctly.

EXACT_SCALE = 1074


def exact_ints(values):
    """Each value times 2^1074, exactly (NaN as None)."""
    out = []
    for v in values:
        if math.isnan(v):
            out.append(None)
            continue
        num, den = float(v).as_integer_ratio()
        out.append(num * ((1 << EXACT_SCALE) // den))
    return out


def exact_window_sums(values, p, weighted=False):
    """The exact sum of every window of p values (weighted: by 1 .. p from the oldest), scaled
    by 2^1074, or None where the window holds a NaN or has not filled."""
    ints = exact_ints(values)
    out = [None] * len(ints)
    plain = weight = 0
    run = 0
    for i, x in enumerate(ints):
        if x is None:
            plain = weight = run = 0
            continue
        if run < p:
            run += 1
            plain += x
            weight += run * x
        else:
            weight += p * x - plain
            plain += x - ints[i - p]
        if run == p:
            out[i] = weight if weighted else plain
    return out


def exact_kama(x, n, fast=2, slow=30, volatility=None):
    """KAMA in the order it is defined. volatility(i) gives the window's summed changes: by
    default the plain sum from the oldest, summed afresh."""
    fsc, ssc = 2.0 / float(fast + 1), 2.0 / float(slow + 1)
    out = [NAN] * len(x)
    out[n - 1] = x[n - 1]
    for i in range(n, len(x)):
        change = abs(x[i] - x[i - n])
        if volatility is None:
            vol = 0.0
            for k in range(i - n + 1, i + 1):
                vol += abs(x[k] - x[k - 1])
        else:
            vol = volatility(i)
        er = change / vol if vol > 0.0 else 0.0
        base = er * (fsc - ssc) + ssc
        out[i] = (x[i] - out[i - 1]) * (base * base) + out[i - 1]
    return out


def kama_rounded_once(x, n, fast=2, slow=30):
    """KAMA with every window's volatility summed exactly and rounded once."""
    changes = [0.0] + [abs(x[k] - x[k - 1]) for k in range(1, len(x))]
    sums = exact_window_sums(changes, n)
    return exact_kama(x, n, fast, slow, lambda i: sums[i] / (1 << EXACT_SCALE))


def vwma_rounded_once(close, volume, p):
    """VWMA with both window sums exact and their quotient rounded once."""
    a = exact_window_sums([c * v for c, v in zip(close, volume)], p)
    v = exact_window_sums(volume, p)
    return [NAN if s is None or s <= 0 else t / s for t, s in zip(a, v)]


def coppock_rounded_once(close, p1, p2, w):
    """Coppock with every weighted window summed exactly and divided once."""
    a, b = ref_roc_helper(close, p1), ref_roc_helper(close, p2)
    sums = exact_window_sums([x + y for x, y in zip(a, b)], w, weighted=True)
    d = (w * (w + 1) // 2) << EXACT_SCALE
    return [NAN if s is None else s / d for s in sums]


# ---- Extended bands ---------------------------------------------------------------------------

def rolling_np(v, p, fn):
    out = np.full(len(v), NAN)
    out[p - 1:] = fn(sliding_window_view(np.asarray(v, float), p), axis=-1)
    return out


# ---- Extended flow: RVI -----------------------------------------------------------------------

def rolling_mean_array(x, p):
    """Mean of each full window; a window holding a NaN is NaN."""
    x = np.asarray(x, dtype=float)
    return np.concatenate([np.full(p - 1, NAN), sliding_window_view(x, p).mean(axis=1)])


def ref_rvi(o, h, l, c, p, q):
    o, h, l, c = (np.asarray(x, dtype=float) for x in (o, h, l, c))
    co, hl = c - o, h - l
    num, den = np.full(len(c), NAN), np.full(len(c), NAN)
    num[3:] = (((co[3:] + 2 * co[2:-1]) + 2 * co[1:-2]) + co[:-3]) / 6.0
    den[3:] = (((hl[3:] + 2 * hl[2:-1]) + 2 * hl[1:-2]) + hl[:-3]) / 6.0
    ns, ds = rolling_mean_array(num, p), rolling_mean_array(den, p)
    with np.errstate(invalid="ignore", divide="ignore"):
        rvi = np.where(np.abs(ds) < 1e-10, NAN, ns / ds)
    return list(rvi), list(rolling_mean_array(rvi, q))


# ---- Extended oscillators ---------------------------------------------------------------------

def ref_roc_helper(v, p):
    out = [NAN] * len(v)
    for i in range(p, len(v)):
        if abs(v[i - p]) >= 1e-10:
            out[i] = (v[i] - v[i - p]) / v[i - p] * 100
    return out


def ref_stochastic_raw(v, p):
    """A fresh scan of each window, NaN skipped."""
    out = [NAN] * len(v)
    for i in range(p, len(v)):
        w = [x for x in v[i - p + 1:i + 1] if not math.isnan(x)]
        hi, lo = (max(w), min(w)) if w else (-math.inf, math.inf)
        rng = hi - lo
        out[i] = (v[i] - lo) / rng * 100 if abs(rng) > 1e-10 else 50.0
    return out


def rolling_mean(v, p):
    """Mean of every window of p defined values (NaN windows stay NaN)."""
    a = np.asarray(v, float)
    out = np.full(len(a), NAN)
    out[p - 1:] = sliding_window_view(a, p).mean(-1)
    return list(out)


def ref_qqe(close, r, s, mult):
    m = ref_ema(vl.py_rsi(close, r), s)
    delta = [NAN] + [abs(m[i] - m[i - 1]) for i in range(1, len(m))]
    a = ref_ema(delta, s)
    trailing, direction = [NAN] * len(m), [0.0] * len(m)
    for i in range(1, len(m)):
        if math.isnan(m[i]) or math.isnan(a[i]):
            continue
        prev = 50.0 if math.isnan(trailing[i - 1]) else trailing[i - 1]
        band = a[i] * mult
        if m[i] > prev:
            trailing[i], direction[i] = (m[i] if math.isnan(prev + band) else min(m[i], prev + band)), 1.0
        elif m[i] < prev:
            trailing[i], direction[i] = (m[i] if math.isnan(prev - band) else max(m[i], prev - band)), -1.0
        else:
            trailing[i] = prev
    return m, trailing, direction


def ref_coppock(close, p1, p2, w):
    a, b = ref_roc_helper(close, p1), ref_roc_helper(close, p2)
    s = [x + y for x, y in zip(a, b)]
    out = [NAN] * len(close)
    for i in range(w - 1, len(close)):
        win = s[i - w + 1:i + 1]
        if any(math.isnan(x) for x in win):
            continue
        acc = 0.0
        for k, x in enumerate(win):
            acc += (k + 1) * x
        out[i] = acc / (w * (w + 1) // 2)
    return out


# ---- Extended statistics ----------------------------------------------------------------------

def ref_bin(r, lo, width, bins):
    """floor((r - lo) / width) as an unsigned index (negative and NaN give 0), capped."""
    q = (r - lo) / width
    if not q > 0:
        return 0
    return bins - 1 if q >= 2.0 ** 64 else min(int(math.floor(q)), bins - 1)


def ref_entropy(close, period, bins):
    """A histogram per window, as the definition reads (only the bins that receive a return)."""
    out = [NAN] * len(close)
    for i in range(period, len(close)):
        rets = []
        for j in range(i - period + 2, i + 1):
            if abs(close[j - 1]) < 1e-10:
                continue
            r = (close[j] - close[j - 1]) / close[j - 1]
            if math.isfinite(r):
                rets.append(r)
        if not rets:
            continue
        lo, hi = min(rets), max(rets)
        if abs(hi - lo) < 1e-10:
            out[i] = 0.0
            continue
        width = (hi - lo) / bins
        counts = {}
        for r in rets:
            b = ref_bin(r, lo, width, bins)
            counts[b] = counts.get(b, 0) + 1
        h = 0.0
        for b in sorted(counts):
            q = counts[b] / len(rets)
            h = h - q * math.log2(q)
        out[i] = h
    return out


# ---- Fibonacci levels -------------------------------------------------------------------------

FIB_RETRACEMENT_RATIOS = (0.0, 0.236, 0.382, 0.5, 0.618, 0.786)
FIB_KEYS = ["0.000", "0.236", "0.382", "0.500", "0.618", "0.786", "1.000"]


def ref_fib_retracement(start, end):
    d = end - start
    return [end - r * d for r in FIB_RETRACEMENT_RATIOS] + [end - d]


def ref_fib_fan(start_index, end_index, start_price, end_price, target_index):
    x = float(target_index - start_index) / float(end_index - start_index) * (end_price - start_price)
    return (start_price + 0.382 * x, start_price + 0.5 * x, start_price + 0.618 * x)


def fib_terms(count):
    terms, a, b = [], 1, 2
    while len(terms) < count:
        terms.append(a)
        a, b = b, a + b
    return terms


def ref_dynamic_fib(prices, lookback):
    out = []
    for i in range(len(prices)):
        if i < lookback:
            out.append({})
            continue
        w = prices[i - lookback:i + 1]
        lo = w.index(min(w))                                  # first lowest
        hi = len(w) - 1 - w[::-1].index(max(w))               # last highest
        start, end = (w[lo], w[hi]) if lo < hi else (w[hi], w[lo])
        out.append(dict(zip(FIB_KEYS, ref_fib_retracement(start, end))))
    return out


# ---- Harmonic patterns and swing points -------------------------------------------------------

# Ideal ranges (AB/XA, BC/AB, CD/BC, AD/XA), in type-code order.
HARMONIC_IDEAL = {
    "Gartley": ((0.618, 0.618), (0.382, 0.886), (1.272, 1.618), (0.786, 0.786)),
    "Bat": ((0.382, 0.5), (0.382, 0.886), (1.618, 2.618), (0.886, 0.886)),
    "Butterfly": ((0.786, 0.786), (0.382, 0.886), (1.618, 2.24), (1.27, 1.618)),
    "Crab": ((0.382, 0.618), (0.382, 0.886), (2.24, 3.618), (1.618, 1.618)),
    "DeepCrab": ((0.886, 0.886), (0.382, 0.886), (2.24, 3.618), (1.618, 1.618)),
    "Shark": ((0.382, 0.618), (1.13, 1.618), (1.618, 2.24), (0.886, 1.13)),
    "Cypher": ((0.382, 0.618), (1.272, 1.414), (0.0, 0.0), (0.786, 0.786)),
    "ThreeDrive": ((1.272, 1.618), (0.618, 0.786), (1.272, 1.618), (1.272, 1.618)),
    "AltBat": ((0.382, 0.382), (0.382, 0.886), (2.0, 3.618), (1.13, 1.13)),
}


def ref_harmonic_ratios(x, a, b, c, d, cypher=False):
    r = lambda p, q, u, v: 0.0 if abs(v - u) < 1e-10 else abs(q - p) / abs(v - u)
    out = {"AB/XA": r(a, b, x, a), "BC/AB": r(b, c, a, b), "AD/XA": r(a, d, x, a)}
    out["CD/XC" if cypher else "CD/BC"] = r(c, d, x, c) if cypher else r(c, d, b, c)
    return out


def ratio_score(v, m, div):
    dev = abs(v - m) / div
    return 1 - (1.0 if math.isnan(dev) or dev > 1 else dev)


def ref_completion_probability(ratios, t):
    p = 0.0
    for k, (key, w) in enumerate((("AB/XA", 0.3), ("BC/AB", 0.2), ("CD/BC", 0.2), ("AD/XA", 0.3))):
        m = sum(HARMONIC_IDEAL[t][k]) * 0.5
        if key in ratios and (key != "CD/BC" or m > 0):
            p += ratio_score(ratios[key], m, m if key == "CD/BC" else max(m, 0.001)) * w
    return p


def ref_forming_probability(ab, bc, t):
    m1, m2 = sum(HARMONIC_IDEAL[t][0]) * 0.5, sum(HARMONIC_IDEAL[t][1]) * 0.5
    return ((ratio_score(ab, m1, max(m1, 0.001)) + ratio_score(bc, m2, max(m2, 0.001))) * 0.5) * 0.7


def ref_prz(x, a, b, c, t, x_high):
    s = 1.0 if x_high else -1.0
    zone = lambda base, r, length: sorted((base + s * r[0] * length, base + s * r[1] * length))
    zones = [zone(a, HARMONIC_IDEAL[t][3], abs(a - x)), zone(c, HARMONIC_IDEAL[t][2], abs(c - b))]
    if t == "Cypher":
        zones.append(zone(c, (0.786, 0.786), abs(c - x)))
    lo, hi = max(z[0] for z in zones), min(z[1] for z in zones)
    if lo > hi:
        mids = [(z[0] + z[1]) * 0.5 for z in zones]
        mean = ((mids[0] + mids[1]) + mids[2]) / 3 if t == "Cypher" else (mids[0] + mids[1]) / 2
        hi, lo = mean + 0.05 * abs(a - x), mean - 0.05 * abs(a - x)
    return hi, lo, (hi + lo) * 0.5


def ref_swings(high, low, l, r):
    out = []
    for i in range(l, len(high) - r):
        others = [j for j in range(i - l, i + r + 1) if j != i]
        if all(high[i] >= high[j] for j in others):
            out.append((i, high[i], True))
        if all(low[i] <= low[j] for j in others):
            out.append((i, low[i], False))
    return out


# ---- The stochastic lines, bit for bit --------------------------------------------------------
# The library forms %K and %D side by side in blocks of bars and confines each block once both
# lines in it are final; these form each line whole, bar by bar, with the library's own simple
# mean (py_sma: the same sliding window, its rebuilds and its reading of a window of zeros),
# and confine after. A block seam that let %D read a confined %K, or confined a %K that %D
# still reads, shows in the bits.

def _sma_after_leading_nan(values, period):
    first = next((i for i, x in enumerate(values) if not math.isnan(x)), len(values))
    if len(values) - first < period:
        return [NAN] * len(values)
    return [NAN] * first + vl.py_sma(values[first:], period)


def _position(x, hi, lo):
    if math.isnan(hi) or math.isnan(lo):
        return NAN
    r = hi - lo
    return 50.0 if abs(r) < 1e-10 else (x - lo) / r * 100.0


def _extremes(high, low, p):
    """Each window's highest high and lowest low; NaN for a window short of p bars or holding a NaN."""
    hh, ll = [NAN] * len(high), [NAN] * len(high)
    for i in range(p - 1, len(high)):
        h, l = high[i - p + 1:i + 1], low[i - p + 1:i + 1]
        if not any(math.isnan(x) for x in h + l):
            hh[i], ll[i] = max(h), min(l)
    return hh, ll


def _confined_where_held(line, raw, span):
    """line confined to 0..100 where the `span` raw values up to each bar lay in 0..100 (a NaN
    counts as inside; bars before the first count as inside); NaN and -0.0 stay."""
    out, run = [], span
    for x, r in zip(line, raw):
        run = run + 1 if not (r < 0.0 or r > 100.0) else 0
        if run >= span:
            x = 0.0 if x < 0.0 else 100.0 if x > 100.0 else x
        out.append(x)
    return out


def ref_stochastic_bits(high, low, close, k_period, smooth_k, d_period):
    """%K, the mean of the last smooth_k raw positions, and %D, the mean of the last d_period
    unconfined %K; each confined where the raw values behind it lay in 0..100."""
    hh, ll = _extremes(high, low, k_period)
    raw = [_position(c, h, l) for c, h, l in zip(close, hh, ll)]
    k = _sma_after_leading_nan(raw, smooth_k)
    d = _sma_after_leading_nan(k, d_period)
    return _confined_where_held(k, raw, smooth_k), _confined_where_held(d, raw, smooth_k + d_period - 1)


def ref_stochrsi_bits(rsi, stoch_period, k_period, d_period):
    """The stochastic RSI's %K and %D over a given RSI line (the library's own, formed without
    blocks), both confined to 0..100 on every bar."""
    hh, ll = _extremes(rsi, rsi, stoch_period)
    raw = [_position(r, h, l) for r, h, l in zip(rsi, hh, ll)]
    k = _sma_after_leading_nan(raw, k_period)
    d = _sma_after_leading_nan(k, d_period)
    return _confined_where_held(k, [0.0] * len(k), 1), _confined_where_held(d, [0.0] * len(d), 1)


# ---- Rolling extremes -------------------------------------------------------------------------

def ref_window(v, p, fn):
    w = sliding_window_view(np.asarray(v, dtype=float), p)
    return [NAN] * (p - 1) + [float(t) for t in fn(w, axis=-1)]


def ref_minmaxindex(v, p):
    lo, hi = [NAN] * len(v), [NAN] * len(v)
    for i in range(p - 1, len(v)):
        w = v[i - p + 1 : i + 1]
        lo[i] = float(w.index(min(w)))  # first occurrence: the oldest bar holding it
        hi[i] = float(w.index(max(w)))
    return lo, hi


def ref_latest_extreme(v, p, better):
    """Left-to-right scan in which an equal value replaces the held one: the latest bar
    holding the extreme wins, which tells 0.0 from -0.0."""
    out = [NAN] * len(v)
    for i in range(p - 1, len(v)):
        held = v[i - p + 1]
        for x in v[i - p + 2 : i + 1]:
            if not better(held, x):
                held = x
        out[i] = held
    return out


# ---- Models: features and fits ----------------------------------------------------------------

def ref_return(prev, cur):
    return (cur - prev) / prev if abs(prev) >= 1e-10 else 0.0


def ref_standardize(rows):
    """Column z-scores: plain sums below 50 rows, NaN-skipping exact sums from 50 on."""
    out = [list(r) for r in rows]
    n = len(rows)
    for j in range(len(rows[0]) if rows else 0):
        col = [r[j] for r in rows]
        if n < 50:
            mean = sum(col) / n
            var = sum((x - mean) ** 2 for x in col) / n
        else:
            mean = math.fsum(x for x in col if not math.isnan(x)) / n
            var = math.fsum((x - mean) ** 2 for x in col if not math.isnan(x)) / n
        sd = math.sqrt(var)
        for i, x in enumerate(col):
            out[i][j] = (x - mean) / sd if sd > 1e-10 else 0.0
    return out


def ls_fit(x, y):
    xm, ym = x.mean(axis=0), y.mean()
    w = np.linalg.lstsq(x - xm, y - ym, rcond=None)[0]
    return w, ym - xm @ w


def ridge_fit(x, y, alpha):
    xm, ym = x.mean(axis=0), y.mean()
    xc = x - xm
    w = np.linalg.solve(xc.T @ xc + alpha * np.eye(x.shape[1]), xc.T @ (y - ym))
    return w, ym - xm @ w


def ref_gauss_jordan(m, p, later_ties=False):
    m, w = list(m), p + 1
    for k in range(p):
        r, best = k, abs(m[k * w + k])
        for i in range(k + 1, p):
            v = abs(m[i * w + k])
            if v > best or (later_ties and v == best):
                r, best = i, v
        if not best >= 1e-10:
            return None
        m[r * w:(r + 1) * w], m[k * w:(k + 1) * w] = m[k * w:(k + 1) * w], m[r * w:(r + 1) * w]
        piv = m[k * w + k]
        for j in range(k, w):
            m[k * w + j] = m[k * w + j] / piv
        for i in range(p):
            if i != k:
                f = m[i * w + k]
                for j in range(k, w):
                    m[i * w + j] = m[i * w + j] - f * m[k * w + j]
    return m


def poly_features(x):
    d = x.shape[1]
    return np.hstack([x] + [x[:, [a]] * x[:, [b]] for a in range(d) for b in range(a, d)])


# ---- Momentum: RSI and MACD -------------------------------------------------------------------

def ref_rsi(close, period):
    d = np.diff(np.asarray(close, dtype=float))
    gains, losses = np.where(d > 0, d, 0.0), np.where(d > 0, 0.0, -d)
    out = [NAN] * len(close)
    g, l = gains[:period].sum() / period, losses[:period].sum() / period
    for i in range(period, len(close)):
        if i > period:
            g = (g * (period - 1) + gains[i - 1]) / period
            l = (l * (period - 1) + losses[i - 1]) / period
        if abs(l) < 1e-10:
            out[i] = 0.0 if abs(g) < 1e-10 else 100.0
        else:
            out[i] = 100.0 - 100.0 / (1.0 + g / l)
    return out


def ref_seeded_ema(values, period, seed_index):
    out = np.full(len(values), np.nan)
    window = np.asarray(values[seed_index + 1 - period:seed_index + 1])
    e = math.fsum(window[~np.isnan(window)]) / period
    out[seed_index] = e
    a = 2.0 / (period + 1)
    for i in range(seed_index + 1, len(values)):
        e = a * values[i] + (1 - a) * e
        out[i] = e
    return out


def ref_macd(close, f, s, g):
    fast = ref_seeded_ema(close, f, s - 1)
    slow = ref_seeded_ema(close, s, s - 1)
    line = fast - slow
    signal = ref_seeded_ema(line, g, s + g - 2)
    line[:s + g - 2] = np.nan
    return list(line), list(signal), list(line - signal)


# ---- Moving averages --------------------------------------------------------------------------

def ref_sma(v, n):
    out = [NAN] * len(v)
    for i in range(n - 1, len(v)):
        out[i] = math.fsum(v[i - n + 1 : i + 1]) / n
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


def kadd(s, c, v):
    y = v - c
    t = s + y
    return t, (t - s) - y


def rebuild_every(p):
    """Slides between the scheduled rebuilds of a sliding sum over p bars: 1000 up to 1000
    bars, else p rounded up to a multiple of 1000."""
    return 1000 * max(1, -(-p // 1000))


def window_slope(y):
    """A window's least-squares slope, abscissa 0 .. p - 1, from two passes of exactly rounded
    sums, with its scale: sqrt(Syy / Sxx), which no slope of the window exceeds in magnitude."""
    p = len(y)
    xm, ym = (p - 1) / 2, math.fsum(y) / p
    sxx = math.fsum((k - xm) ** 2 for k in range(p))
    sxy = math.fsum((k - xm) * (v - ym) for k, v in enumerate(y))
    syy = math.fsum((v - ym) ** 2 for v in y)
    return sxy / sxx, math.sqrt(syy / sxx)


def ref_lines(o, h, l, c, lookback):
    """Long-line and short-line signals, each bar against the mean body of the `lookback` bars
    before it, summed directly."""
    n = len(c)
    body = [abs(b - a) for a, b in zip(o, c)]
    long_, short = [0.0] * n, [0.0] * n
    for i in range(lookback, n) if lookback else ():
        mean = sum(body[i - lookback:i]) / lookback
        colour = 1.0 if c[i] > o[i] else -1.0 if c[i] < o[i] else 0.0
        upper, lower = h[i] - max(o[i], c[i]), min(o[i], c[i]) - l[i]
        if body[i] > 2 * mean and upper < 0.5 * body[i] and lower < 0.5 * body[i]:
            long_[i] = 1.0 if c[i] > o[i] else -1.0
        if body[i] < 0.5 * mean:
            short[i] = colour
    return long_, short


def exact_sma(x, n, every=None):
    every = rebuild_every(n) if every is None else every
    out, s, c, count, slides = [NAN] * len(x), 0.0, 0.0, 0, 0
    for i, v in enumerate(x):
        if math.isnan(v):
            s, c, count, slides = 0.0, 0.0, 0, 0
            continue
        s, c = kadd(s, c, v)
        if count < n:
            count += 1
            if count == n:
                slides = 0
                out[i] = s / n
            continue
        slides += 1
        if slides < every and n > 1:  # a window of one bar is summed afresh on every slide
            s, c = kadd(s, c, -x[i - n])
        else:
            s, c = 0.0, 0.0
            for e in x[i - n + 1 : i + 1]:
                s, c = kadd(s, c, e)
            c, slides = 0.0, 0
        out[i] = s / n
    return out


def exact_wma(x, n, every=None):
    every = rebuild_every(n) if every is None else every
    out, div = [NAN] * len(x), (1.0 + n) * n * 0.5
    S = cS = W = cW = 0.0
    count = slides = 0
    for i, v in enumerate(x):
        if math.isnan(v):
            S = cS = W = cW = 0.0
            count = slides = 0
            continue
        if count < n:
            count += 1
            S, cS = kadd(S, cS, v)
            W, cW = kadd(W, cW, float(count) * v)
            if count == n:
                out[i] = W / div
            continue
        if slides < every:
            plain = S
            S, cS = kadd(S, cS, -x[i - n])
            W, cW = kadd(W, cW, -plain)
            W, cW = kadd(W, cW, float(n) * v)
            S, cS = kadd(S, cS, v)
            slides += 1
        else:  # from zero sums and zero compensations; the compensations reached carry on
            S = cS = W = cW = 0.0
            for k in range(n):
                e = x[i - n + 1 + k]
                S, cS = kadd(S, cS, e)
                W, cW = kadd(W, cW, float(k + 1) * e)
            slides = 1
        out[i] = W / div
    return out


def exact_ema(x, n, alpha=None):
    alpha = 2.0 / (1.0 + n) if alpha is None else alpha
    keep = 1.0 - alpha
    out, s, c, count, avg = [NAN] * len(x), 0.0, 0.0, 0, 0.0
    for i, v in enumerate(x):
        if math.isnan(v):
            s, c, count = 0.0, 0.0, 0
            continue
        if count < n:
            count += 1
            s, c = kadd(s, c, v)
            if count == n:
                avg = s / n
                out[i] = avg
            continue
        avg = avg * keep + v * alpha
        out[i] = avg
    return out


def exact_hma(x, n):
    h, r = n // 2, int(math.sqrt(n))
    diff = combine(lambda a, b: (a + a) - b, exact_wma(x, h), exact_wma(x, n))
    out = exact_wma(diff, r)
    return out if any(not math.isnan(v) for v in out) else diff


def exact_dema(x, n):
    e1 = exact_ema(x, n)
    return combine(lambda a, b: (a + a) - b, e1, exact_ema(e1, n))


def exact_tema(x, n):
    e1 = exact_ema(x, n)
    e2 = exact_ema(e1, n)
    e3 = exact_ema(e2, n)
    if all(math.isnan(v) for v in e3):
        return exact_dema(x, n)
    return combine(lambda a, b, c: (a * 3.0 - b * 3.0) + c, e1, e2, e3)


def exact_zlma(x, n):
    lag = (n - 1) // 2
    return exact_ema([NAN] * lag + [(x[i] + x[i]) - x[i - lag] for i in range(lag, len(x))], n)


def exact_t3(x, n, v):
    v2, v3 = v * v, v * v * v
    c1, c2 = -v3, 3.0 * v3 + 3.0 * v2
    c3 = ((-6.0 * v2) - 3.0 * v) - 3.0 * v3
    c4 = 3.0 * v2 + (v3 + (3.0 * v + 1.0))
    e = [exact_ema(x, n)]
    for _ in range(5):
        e.append(exact_ema(e[-1], n))
    out = combine(lambda a, b, c, d: c4 * a + ((c2 * c + c1 * d) + c3 * b), e[2], e[3], e[4], e[5])
    return out if any(not math.isnan(y) for y in out) else e[0]


def exact_frama(x, n):
    h = n // 2
    out = [NAN] * len(x)
    out[n - 1] = x[n - 1]
    for i in range(n, len(x)):
        w = x[i - n : i]
        n1 = (max(w[:h]) - min(w[:h])) / h
        n2 = (max(w[h:]) - min(w[h:])) / h
        n3 = (max(w) - min(w)) / n
        e = 0.0
        if n1 + n2 > 0.0 and n3 > 0.0:
            e = ((math.log(n1 + n2) - math.log(n3)) / 0.6931471805599453 - 1.0) * -4.6
        a = min(max(math.exp(e), 0.01), 1.0)
        out[i] = (1.0 - a) * out[i - 1] + a * x[i]
    return out


# ---- Oscillators ------------------------------------------------------------------------------

def ref_cmo(c, p):
    d = [c[i] - c[i - 1] for i in range(1, len(c))]
    g, lo = sum(x for x in d[:p] if x > 0) / p, sum(-x for x in d[:p] if x < 0) / p
    out = [NAN] * len(c)
    for i in range(p, len(c)):
        if i > p:
            g, lo = (g * (p - 1) + max(d[i - 1], 0)) / p, (lo * (p - 1) + max(-d[i - 1], 0)) / p
        out[i] = 0.0 if abs(g + lo) < 1e-10 else (g - lo) * 100 / (g + lo)
    return out


def ref_cci(h, l, c, p):
    tp = [(a + b + x) / 3 for a, b, x in zip(h, l, c)]
    out = [NAN] * len(tp)
    for i in range(p - 1, len(tp)):
        w = tp[i - p + 1 : i + 1]
        mean = math.fsum(w) / p
        md = sum(abs(x - mean) for x in w) / p
        out[i] = 0.0 if md < 1e-10 else (tp[i] - mean) / (0.015 * md)
    return out


def exact_deviation_sum(values, mean):
    """The sum of |x - mean| over values as an exact fraction (every float is a whole
    number over a power of two: scaled to one common power, the sum is of integers)."""
    ratios = [x.as_integer_ratio() for x in values]
    m_num, m_den = mean.as_integer_ratio()
    den = max([d for _, d in ratios] + [m_den])
    m_scaled = m_num * (den // m_den)
    return Fraction(sum(abs(num * (den // d) - m_scaled) for num, d in ratios), den)


def ref_percent_rank(values, period):
    """The values strictly below each window's last, counted over every window at once."""
    v = np.asarray(values, dtype=float)
    out = [NAN] * len(v)
    if period > 1:
        below = (sliding_window_view(v, period) < v[period - 1:, None]).sum(axis=1)
        out[period - 1:] = [float(b) / (period - 1) * 100.0 for b in below]
    return out


def ref_fisher(h, l, c, p):
    f = [NAN] * len(c)
    for i in range(p - 1, len(c)):
        hh, ll = max(h[i - p + 1 : i + 1]), min(l[i - p + 1 : i + 1])
        x = 0.0 if abs(hh - ll) < 1e-10 else (c[i] - ll) / (hh - ll) * 2 - 1
        x = min(max(x, -0.999), 0.999)
        f[i] = 0.5 * math.log((1 + x) / (1 - x))
    return f, [NAN] + f[:-1]


def ref_tsi(c, lp, sp, gp):
    m = [NAN] + [c[i] - c[i - 1] for i in range(1, len(c))]
    e, d = ref_ema(ref_ema(m, lp), sp), ref_ema(ref_ema([abs(x) for x in m], lp), sp)
    t = [NAN if math.isnan(a) or not abs(b) >= 1e-10 else a * 100 / b for a, b in zip(e, d)]
    return t, ref_ema(t, gp)


def kahan_sum(values):
    """Compensated sum in index order, NaN elements skipped: the same steps, so the same bits."""
    s = c = 0.0
    for v in values:
        if not math.isnan(v):
            y = v - c
            t = s + y
            c = (t - s) - y
            s = t
    return s


def ref_uo(h, l, c, p1, p2, p3):
    n = len(c)
    bp, tr = [NAN] * n, [NAN] * n
    for i in range(1, n):
        lo, hi = min(l[i], c[i - 1]), max(h[i], c[i - 1])
        bp[i], tr[i] = c[i] - lo, hi - lo

    def avg(p):
        out = [NAN] * n
        for i in range(p, n):
            s = kahan_sum(tr[i - p + 1 : i + 1])
            if abs(s) >= 1e-10:
                out[i] = kahan_sum(bp[i - p + 1 : i + 1]) / s
        return out

    a1, a2, a3 = avg(p1), avg(p2), avg(p3)
    return [(2 * y + 4 * x + z) * 100 / 7 for x, y, z in zip(a1, a2, a3)]


def ref_uo_at(h, l, c, periods, i):
    """The ultimate oscillator at bar i from exactly rounded window sums (math.fsum)."""
    def avg(p):
        ks = range(i - p + 1, i + 1)
        tr = math.fsum(max(h[k], c[k - 1]) - min(l[k], c[k - 1]) for k in ks)
        return math.fsum(c[k] - min(l[k], c[k - 1]) for k in ks) / tr if abs(tr) >= 1e-10 else NAN

    a1, a2, a3 = (avg(p) for p in periods)
    return (2 * a2 + 4 * a1 + a3) * 100 / 7


# ---- Running sums and their rebuilds ----------------------------------------------------------

def ref_sma_rebuilt_at(v, p, rebuilds):
    """The rolling mean's running sum, summed afresh (compensation 0) on the given bars."""
    s = c = 0.0
    out = [NAN] * len(v)
    for i, x in enumerate(v):
        s, c = kadd(s, c, x)
        if i >= p and i in rebuilds:
            s = c = 0.0
            for w in v[i + 1 - p:i + 1]:
                s, c = kadd(s, c, w)
            c = 0.0
        elif i >= p:
            s, c = kadd(s, c, -v[i - p])
        if i >= p - 1:
            out[i] = s / p
    return out


# ---- Fair-value gaps and breaker blocks -------------------------------------------------------

def fvg_scan(high, low):
    """Unfilled gaps by bar-by-bar scans: {middle bar: (0 bullish / 1 bearish, upper, lower)}."""
    marked = {}
    for i in range(2, len(high)):
        for ok, up, lo, kind in ((low[i] > high[i - 2], low[i], high[i - 2], 0), (low[i - 2] > high[i], low[i - 2], high[i], 1)):
            if ok and not any(low[j] <= up and high[j] >= lo for j in range(i + 1, len(high))):
                marked[i - 1] = (kind, up, lo)
    return marked


def breaker_scan(o, h, lo, c, lookback):
    """Bar-by-bar scans of every order block, break, mitigation and retest."""
    n = len(c)
    buy, sell, upper, lower = [0.0] * n, [0.0] * n, [NAN] * n, [NAN] * n
    for i in range(lookback, n - 1):
        r = (c[i + 1] - c[i]) / c[i]
        falls = all(c[i - k + 1] <= c[i - k] for k in range(1, lookback + 1))
        rises = all(c[i - k] <= c[i - k + 1] for k in range(1, lookback + 1))
        bullish = c[i] > o[i] and r > 0.01 and falls
        if not (bullish or (o[i] > c[i] and r < -0.01 and rises)):
            continue
        top, bottom = h[i], lo[i]
        j = next((j for j in range(i + 1, n) if (c[j] < bottom if bullish else c[j] > top)), None)
        if j is None or any((c[k] > top if bullish else c[k] < bottom) for k in range(j + 1, n)):
            continue
        upper[j], lower[j] = top, bottom
        for k in range(j + 1, n):
            if bullish and h[k] >= bottom and top >= c[k]:
                sell[k] = 1.0
                break
            if not bullish and top >= lo[k] and c[k] >= bottom:
                buy[k] = 1.0
                break
    return buy, sell, upper, lower


# ---- Pivot grid -------------------------------------------------------------------------------

def ref_pivot_grid(high, low, close, fast_p, slow_p, atr_p, m):
    fast, slow, atr = vl.py_ema(close, fast_p), vl.py_ema(close, slow_p), vl.py_atr(high, low, close, atr_p)
    n = len(close)
    buy, sell, stop, target = [0.0] * n, [0.0] * n, [NAN] * n, [NAN] * n
    for i in range(max(slow_p, atr_p, 1), n):
        a = 0.0 if math.isnan(atr[i]) else atr[i]
        g, mid, c = a * m, slow[i], close[i]
        if fast[i] > mid and mid - 1.5 * g <= c <= mid - 0.5 * g:
            buy[i], stop[i], target[i] = 1.0, mid - g - a, mid + g
        if mid > fast[i] and mid + 0.5 * g <= c <= mid + 1.5 * g:
            sell[i], stop[i], target[i] = 1.0, mid + g + a, mid - g
    return buy, sell, stop, target


# ---- Supply/demand zones and the regression channel -------------------------------------------

def zones_scan(high, low, close, volume, tol):
    """Zones by bar-by-bar scans: every swing's touches counted over all bars."""
    n = len(close)
    lows = [i for i in range(5, n - 5) if all(close[i - k] > close[i] < close[i + k] for k in range(1, 6))]
    highs = [i for i in range(5, n - 5) if all(close[i - k] < close[i] > close[i + k] for k in range(1, 6))]
    cands = []
    for marks, side, demand in ((lows, low, True), (highs, high, False)):
        for i in marks:
            touches = sum(abs(x - side[i]) <= tol * side[i] for x in side)
            if touches > 1:
                cands.append([side[i], touches, min(touches / 5, 1), demand])
    cands.sort(key=lambda z: z[0])
    merged = []
    for z in cands:
        if merged and abs(z[0] - merged[-1][0]) <= tol * merged[-1][0]:
            m = merged[-1]
            m[:3] = [(m[0] + z[0]) / 2, m[1] + z[1], (m[2] + z[2]) / 2]
        else:
            merged.append(list(z))
    mean = sum(volume) / n
    out = []
    for price, touches, strength, demand in merged:
        t = tol * price
        vols = [volume[j] for j in range(n) if abs((low if demand else high)[j] - price) <= t]
        ok = (sum(vols) / len(vols) if vols else 0.0) > mean
        out.append((price, price + t, price - t, touches, strength * (1.2 if ok else 0.8), demand, ok))
    return out


def ref_linreg_channel(close, i, p):
    """Least-squares line through close[i - p + 1 .. i]: its value at bar i and 2 standard errors."""
    y = close[i - p + 1:i + 1]
    mx, my = (p - 1) / 2, math.fsum(y) / p
    slope = math.fsum((x - mx) * (v - my) for x, v in enumerate(y)) / math.fsum((x - mx) ** 2 for x in range(p))
    icpt = my - slope * mx
    se = math.sqrt(math.fsum((v - icpt - slope * x) ** 2 for x, v in enumerate(y)) / (p - 2))
    return icpt + slope * (p - 1), 2 * se


# ---- Nearest-neighbour signal systems ---------------------------------------------------------

def k_nearest(dist, idx, k, later_ties=False):
    """The k smallest (distance, index), ties to the smaller index (or, to show the rule bites, the larger)."""
    order = np.lexsort((-idx if later_ties else idx, dist))
    return idx[order[:k]]


def ref_ai_supertrend(h, l, c, k, n, pt, qt, stl, m, later_ties=False):
    value, direction = vl.py_supertrend(h, l, c, stl, m)[:2]
    pf = np.array(vl.py_wma(c, pt))
    tf = np.array([NAN] * stl + vl.py_wma(value[stl:], qt))
    signal = list(direction)
    for i in range(n, len(c)):
        j = np.arange(max(i - n, k), max(i - k, max(i - n, k)))
        j = j[~np.isnan(pf[j]) & ~np.isnan(tf[j])]
        if len(j) < k:
            continue
        d = np.sqrt((tf[i] - tf[j]) ** 2 + (pf[i] - pf[j]) ** 2)
        vote = sum(direction[x + 1] for x in k_nearest(d, j, k, later_ties)) / k
        if abs(vote) > 0.5:
            signal[i] = 1.0 if vote > 0 else -1.0
    return value, signal


def ref_ai_momentum(close, k, tl, later_ties=False):
    rsi, c = np.array(vl.py_rsi(close, tl)), np.array(close)
    out = [NAN] * len(close)
    with np.errstate(all="ignore"):
        for i in range(2 * tl + k, len(close)):
            j = np.arange(tl, i - tl)
            change = c[i] / c[j] - 1.0
            price = np.where(np.abs(c[j]) >= 1e-10, 100.0 * (change * change), 0.0)
            dr = rsi[i] - rsi[j]
            total = 0.0
            for x in sorted(k_nearest(np.sqrt(dr * dr + price), j, k, later_ties)):   # summed in bar order
                total += rsi[x + 1] - rsi[x]
            out[i] = total / k
    return out


# ---- Statistics over windows ------------------------------------------------------------------

def windows(v, p):
    return sliding_window_view(np.asarray(v, dtype=float), p)


def pad_windows(v, p, n):
    return [NAN] * (p - 1) + list(map(float, v)) if n >= p else [NAN] * n


def ref_line_fit(w):
    p = w.shape[-1]
    j = np.arange(p, dtype=float)
    jc = j - j.mean()
    yc = w - w.mean(axis=-1, keepdims=True)
    sxx = (jc * jc).sum()
    sxy = (yc * jc).sum(axis=-1)
    syy = (yc * yc).sum(axis=-1)
    slope = sxy / sxx
    intercept = w.mean(axis=-1) - j.mean() * slope
    with np.errstate(invalid="ignore", divide="ignore"):
        r2 = np.where(syy > 0, np.clip(sxy * sxy / (syy * sxx), 0, 1), 1.0)
    return slope, intercept, r2, syy


def ref_lr(v, p):
    s, b, r2, _ = ref_line_fit(windows(v, p))
    n = len(v)
    return pad_windows(s, p, n), pad_windows(b, p, n), pad_windows(r2, p, n)


def ref_stderr(v, p):
    _, _, r2, syy = ref_line_fit(windows(v, p))
    return pad_windows(np.sqrt(np.maximum(syy * (1 - r2), 0) / (p - 2)), p, len(v))


def ref_corr(x, y, p):
    out = []
    for a, b in zip(windows(x, p), windows(y, p)):
        sa, sb = a.std(), b.std()
        out.append(0.0 if sa == 0 or sb == 0 else float(np.corrcoef(a, b)[0, 1]))
    return pad_windows(out, p, len(x))


def nan_window_ref(v, p, fn):
    out = [NAN] * len(v)
    for i in range(p - 1, len(v)):
        w = np.asarray(v[i - p + 1 : i + 1], dtype=float)
        if not np.isnan(w).any():
            out[i] = fn(w)
    return out


def exact_population_variance(w):
    """The population variance of the floats in w, exactly (a Fraction)."""
    terms = [Fraction(v) for v in w]
    mean = sum(terms) / len(terms)
    return sum((t - mean) ** 2 for t in terms) / len(terms)


def exact_line_residual(w):
    """The least-squares line over the floats in w at positions 0 .. p - 1, exactly (two
    passes in rationals): its residuals' sum of squares and the window's centred sum of
    squares, as Fractions."""
    t = [Fraction(v) for v in w]
    p = len(t)
    mean, mid = sum(t) / p, Fraction(p - 1, 2)
    sjj = sum((j - mid) ** 2 for j in range(p))
    sjy = sum((j - mid) * (v - mean) for j, v in enumerate(t))
    syy = sum((v - mean) ** 2 for v in t)
    return syy - sjy * sjy / sjj, syy


def exact_standard_error(w):
    """The standard error of the least-squares line over the floats in w (the root of its
    residuals' squares over p - 2), correctly rounded but for the root's own rounding."""
    resid, _ = exact_line_residual(w)
    return math.sqrt(resid / (len(w) - 2))


def two_pass_moments(x, y, p):
    """The second moments of every window of p bars of x and y (windows ending at p - 1, p,
    ...), each from a first pass for the means and a second over the centred values: the
    means, population variances, deviations and covariance, Pearson's r and beta (y the
    benchmark), the last bar's z-score in x, and the line fitted to x over positions 0 .. p - 1
    (slope, intercept, r_squared and the standard error of its residuals). Degenerate windows
    read their definitions' values: r, beta, z-score and slope 0, r_squared 1."""
    wx, wy = windows(x, p), windows(y, p)
    mx, my = wx.mean(axis=1), wy.mean(axis=1)
    cx, cy = wx - mx[:, None], wy - my[:, None]
    vx, vy = (cx * cx).mean(axis=1), (cy * cy).mean(axis=1)
    cov = (cx * cy).mean(axis=1)
    sx, sy = np.sqrt(vx), np.sqrt(vy)
    j = np.arange(p, dtype=float)
    jc = j - j.mean()
    sjj = float((jc * jc).sum())
    sxj = (cx * jc).sum(axis=1)
    sxx = (cx * cx).sum(axis=1)
    with np.errstate(invalid="ignore", divide="ignore"):
        r = np.where((sx > 0) & (sy > 0), np.clip(cov / (sx * sy), -1.0, 1.0), 0.0)
        beta = np.where(vy > 0, cov / vy, 0.0)
        z = np.where(sx > 0, (wx[:, -1] - mx) / sx, 0.0)
        r2 = np.where(sxx > 0, np.clip(sxj * sxj / (sxx * sjj), 0.0, 1.0), 1.0)
        # The index's own correlation with x: the correlation trend indicator.
        cti = np.where(sx > 0, np.clip(sxj / np.sqrt(sxx * sjj), -1.0, 1.0), 0.0)
    slope = sxj / sjj
    intercept = mx - j.mean() * slope
    resid = ((cx - slope[:, None] * jc) ** 2).sum(axis=1)
    stderr = np.sqrt(resid / (p - 2)) if p > 2 else np.full(len(mx), NAN)
    return {
        "mean_x": mx, "mean_y": my, "var_x": vx, "var_y": vy, "sd_x": sx, "sd_y": sy, "cov": cov,
        "r": r, "beta": beta, "zscore": z, "slope": slope, "intercept": intercept, "r_squared": r2,
        "stderr": stderr, "cti": cti, "sd_index": math.sqrt(sjj / p),
    }


def float_of(q):
    """A Fraction as the nearest float, inf beyond the range (float() raises there)."""
    try:
        return float(q)
    except OverflowError:
        return math.inf if q > 0 else -math.inf


def root_of(q):
    """The square root of a Fraction q >= 0 as a float, whatever its size: of q / 4^k, then
    times 2^k (inf beyond the range)."""
    if q == 0:
        return 0.0
    k = (q.numerator.bit_length() - q.denominator.bit_length()) // 2
    try:
        return math.ldexp(math.sqrt(float(q / Fraction(4) ** k)), k)
    except OverflowError:
        return math.inf


def signed_root(sign, q):
    """The root of q >= 0 with the sign of `sign`."""
    r = root_of(q)
    return -r if sign < 0 else r


def exact_moments(x, y, p):
    """The second moments of every window of p bars of x and y (windows ending at p - 1, p,
    ...) in rational arithmetic, each rounded once to a float (inf beyond the range): what
    two_pass_moments gives, where floats cannot carry the window (values whose squares leave
    the range or fall into the subnormals)."""
    j = [Fraction(k) for k in range(p)]
    mj = sum(j) / p
    jc = [t - mj for t in j]
    sjj = sum(t * t for t in jc)
    keys = ("mean_x", "var_x", "sd_x", "sd_y", "cov", "r", "beta", "zscore", "slope", "intercept", "r_squared",
            "cti", "stderr", "sd_index")
    out = {k: [] for k in keys}
    fx, fy = [Fraction(v) for v in x], [Fraction(v) for v in y]
    for i in range(p - 1, len(x)):
        wx, wy = fx[i + 1 - p:i + 1], fy[i + 1 - p:i + 1]
        mx, my = sum(wx) / p, sum(wy) / p
        cx, cy = [v - mx for v in wx], [v - my for v in wy]
        m2x, m2y = sum(c * c for c in cx), sum(c * c for c in cy)
        cxy = sum(a * b for a, b in zip(cx, cy))
        sxj = sum(a * b for a, b in zip(cx, jc))
        slope = sxj / sjj
        resid = sum((a - slope * b) ** 2 for a, b in zip(cx, jc))
        got = {
            "mean_x": float_of(mx), "var_x": float_of(m2x / p), "sd_x": root_of(m2x / p), "sd_y": root_of(m2y / p),
            "cov": float_of(cxy / p),
            "r": signed_root(cxy, cxy * cxy / (m2x * m2y)) if m2x and m2y else 0.0,
            "beta": float_of(cxy / m2y) if m2y else 0.0,
            "zscore": signed_root(cx[-1], cx[-1] * cx[-1] * p / m2x) if m2x else 0.0,
            "slope": float_of(slope), "intercept": float_of(mx - mj * slope),
            "r_squared": float_of(sxj * sxj / (m2x * sjj)) if m2x else 1.0,
            "cti": signed_root(sxj, sxj * sxj / (m2x * sjj)) if m2x else 0.0,
            "stderr": root_of(resid / (p - 2)) if p > 2 else NAN, "sd_index": root_of(sjj / p),
        }
        for k in keys:
            out[k].append(got[k])
    return {k: np.array(v) for k, v in out.items()}


# ---- Stochastic family ------------------------------------------------------------------------

def window_extreme(v, n, fn):
    out = [NAN] * len(v)
    for i in range(n - 1, len(v)):
        w = v[i - n + 1 : i + 1]
        out[i] = NAN if any(math.isnan(x) for x in w) else fn(w)
    return out


def sma_gaps(v, n):
    out = [NAN] * len(v)
    for i in range(n - 1, len(v)):
        w = v[i - n + 1 : i + 1]
        if not any(math.isnan(x) for x in w):
            out[i] = math.fsum(w) / n
    return out


def stochastic_position(x, hh, ll, flat):
    out = []
    for v, h, l in zip(x, hh, ll):
        if math.isnan(h) or math.isnan(l):
            out.append(NAN)
        elif abs(h - l) < 1e-10:
            out.append(flat)
        else:
            out.append((v - l) / (h - l) * 100)
    return out


def ref_stochastic(h, l, c, kp, sk, dp):
    raw = stochastic_position(c, window_extreme(h, kp, max), window_extreme(l, kp, min), 50.0)
    k = sma_gaps(raw, sk)
    return k, sma_gaps(k, dp)


def ref_williams(h, l, c, p):
    hh, ll = window_extreme(h, p, max), window_extreme(l, p, min)
    return [NAN if math.isnan(a) else -50.0 if abs(a - b) < 1e-10 else (a - x) / (a - b) * -100
            for a, b, x in zip(hh, ll, c)]


def ref_rsi_in_order(c, p):
    out = [NAN] * len(c)
    d = [c[i] - c[i - 1] for i in range(1, len(c))]
    g = sum(max(x, 0) for x in d[:p]) / p
    lo = sum(max(-x, 0) for x in d[:p]) / p
    for i in range(p, len(c)):
        if i > p:
            g = (g * (p - 1) + max(d[i - 1], 0)) / p
            lo = (lo * (p - 1) + max(-d[i - 1], 0)) / p
        out[i] = (0.0 if abs(g) < 1e-10 else 100.0) if abs(lo) < 1e-10 else 100 - 100 / (g / lo + 1)
    return out


def ref_stochrsi(c, rp, sp, kp, dp):
    r = ref_rsi_in_order(c, rp)
    raw = stochastic_position(r, window_extreme(r, sp, max), window_extreme(r, sp, min), 50.0)
    k = sma_gaps(raw, kp)
    return k, sma_gaps(k, dp)


# ---- Streaming states, as their update() reports them (None while warming up) -----------------

def ref_online_sma(xs, p):
    return [None if i + 1 < p else math.fsum(xs[i + 1 - p:i + 1]) / p for i in range(len(xs))]


def ref_online_ema(xs, p):
    a = 2.0 / (p + 1)
    out, v = [], None
    for i, x in enumerate(xs):
        if v is None:
            if i + 1 == p:
                v = math.fsum(xs[:p]) / p
        else:
            v = v * (1 - a) + x * a
        out.append(v)
    return out


def ref_online_bollinger(xs, p, k):
    out = []
    for i in range(len(xs)):
        if i + 1 < p:
            out.append(None)
            continue
        w = np.array(xs[i + 1 - p:i + 1])
        m, s = w.mean(), w.std()
        out.append((m + k * s, m, m - k * s))
    return out


def ref_online_rsi(xs, p):
    out = [None]
    gains = [max(b - a, 0.0) for a, b in zip(xs, xs[1:])]
    losses = [max(a - b, 0.0) for a, b in zip(xs, xs[1:])]
    g = l = None
    for i in range(len(gains)):
        if i + 1 < p:
            out.append(None)
            continue
        if g is None:
            g, l = sum(gains[:p]) / p, sum(losses[:p]) / p
        else:
            g = (g * (p - 1) + gains[i]) / p
            l = (l * (p - 1) + losses[i]) / p
        out.append(0.0 if l < 1e-10 and g < 1e-10 else 100.0 if l < 1e-10 else 100 - 100 / (1 + g / l))
    return out


def online_true_ranges(bs):
    return [None] + [max(h - lo, abs(h - bs[i][2]), abs(lo - bs[i][2])) for i, (h, lo, _) in enumerate(bs[1:])]


def ref_online_atr(bs, p):
    tr = online_true_ranges(bs)
    out, v = [], None
    for i in range(len(bs)):
        if i == p:
            v = sum(tr[1:p + 1]) / p
        elif i > p:
            v = (v * (p - 1) + tr[i]) / p
        out.append(v)
    return out


def ref_online_stochastic(bs, k, s, d):
    raw, ks, out = {}, {}, []
    for i, (_, _, c) in enumerate(bs):
        if i + 1 >= k:
            hh = max(b[0] for b in bs[i + 1 - k:i + 1])
            ll = min(b[1] for b in bs[i + 1 - k:i + 1])
            raw[i] = 50.0 if abs(hh - ll) < 1e-10 else (c - ll) / (hh - ll) * 100
        if all(j in raw for j in range(i + 1 - s, i + 1)):
            ks[i] = sum(raw[j] for j in range(i + 1 - s, i + 1)) / s
        if all(j in ks for j in range(i + 1 - d, i + 1)):
            out.append((ks[i], sum(ks[j] for j in range(i + 1 - d, i + 1)) / d))
        else:
            out.append(None)
    return out


def ref_online_macd(xs, f, s, g):
    fast = ref_online_ema(xs, f)
    slow = [None] * (f - 1) + ref_online_ema(xs[f - 1:], s)  # the slow average starts with the fast seed
    line = [a - b for a, b in zip(fast, slow) if b is not None]
    sig = ref_online_ema(line, g)
    lead = len(xs) - len(line)
    return [None] * lead + [None if q is None else (m, q, m - q) for m, q in zip(line, sig)]


def ref_online_supertrend(bs, p, mult):
    atr = ref_online_atr(bs, p)
    out, up, lo, val, pc = [], None, None, None, None
    for (h, l_, c), a in zip(bs, atr):
        if a is None:
            out.append(None)
            continue
        mid = (h + l_) / 2
        bu, bl = mid + a * mult, mid - a * mult
        # A band resets once the previous close has broken through it.
        fu = bu if up is None or bu < up or pc > up else up
        fl = bl if lo is None or bl > lo or pc < lo else lo
        pc = c
        if val is None:
            trend = 1 if c > mid else -1
        elif val == up:
            trend = 1 if c > fu else -1
        else:
            trend = -1 if c < fl else 1
        up, lo = fu, fl
        val = fl if trend == 1 else fu
        out.append((val, trend))
    return out


def kahan_mean(xs):
    s = c = 0.0
    for v in xs:
        y = v - c
        t = s + y
        c = (t - s) - y
        s = t
    return s / len(xs)


def exact_online_atr(bs, p):
    """Every operation in the order the state performs it, in IEEE doubles like the library."""
    pf, out, prev, value, seed = float(p), [], None, None, []
    for h, lo, c in bs:
        if prev is None:
            prev = c
            out.append(None)
            continue
        inner = abs(h - prev) if abs(h - prev) > h - lo else h - lo
        tr = abs(lo - prev) if abs(lo - prev) > inner else inner
        prev = c
        if value is None:
            seed.append(tr)
            if len(seed) == p:
                value = kahan_mean(seed)
        else:
            value = ((pf - 1.0) * value + tr) / pf
        out.append(value)
    return out


def exact_online_rsi(xs, p):
    pf, out, g, l, gains, losses = float(p), [None], None, None, [], []
    for a, b in zip(xs, xs[1:]):
        ch = b - a
        gain, loss = (ch if ch > 0 else 0.0), (-ch if ch < 0 else 0.0)
        if g is None:
            gains.append(gain), losses.append(loss)
            if len(gains) < p:
                out.append(None)
                continue
            g, l = kahan_mean(gains), kahan_mean(losses)
        else:
            g, l = (g * (pf - 1.0) + gain) / pf, (l * (pf - 1.0) + loss) / pf
        out.append((0.0 if abs(g) < 1e-10 else 100.0) if abs(l) < 1e-10 else 100.0 - 100.0 / (g / l + 1.0))
    return out


# ---- Streaming adaptive RSI -------------------------------------------------------------------

def ref_online_adaptive_rsi(xs, lo, hi, vp):
    """Every window summed anew, in the order the state sums it."""
    out, changes = [None], [b - a for a, b in zip(xs, xs[1:])]
    for i in range(len(changes)):
        window = [abs(c) for c in changes[max(0, i + 1 - vp):i + 1]]
        gains = [c if c > 0 else 0.0 for c in changes[max(0, i + 1 - hi):i + 1]]
        losses = [-c if c < 0 else 0.0 for c in changes[max(0, i + 1 - hi):i + 1]]
        if len(window) < vp or len(gains) < lo:
            out.append(None)
            continue
        top = max(window)
        ratio = 0.5 if abs(top) < 1e-10 else min(max(kahan_mean(window) / top, 0.0), 1.0)
        v = (hi - lo) * (1.0 - ratio)
        extra = 0 if math.isnan(v) else math.floor(v) + (v - math.floor(v) >= 0.5)  # an infinite change: NaN
        p = max(lo, min(lo + extra, len(gains)))
        g, l_ = kahan_mean(gains[::-1][:p]), kahan_mean(losses[::-1][:p])
        rsi = (0.0 if abs(g) < 1e-10 else 100.0) if abs(l_) < 1e-10 else 100.0 - 100.0 / (g / l_ + 1.0)
        out.append((rsi, p))
    return out


# ---- Streaming ensemble scores ----------------------------------------------------------------

def ref_ensemble_scores(rsi, macd, stoch, trend, ob, os_):
    """The four scores as documented, from the four indicators' own outputs."""
    def clamp(x):
        return min(max(x, 0.0), 1.0)
    r = -clamp((rsi - ob) / (100 - ob)) if rsi > ob else clamp((os_ - rsi) / os_) if rsi < os_ else 0.0
    m_, sig, hist = macd
    q = hist / max(abs(m_), 1.0)
    m = min(q, 1.0) if m_ > sig and hist > 0 else min(max(q, -1.0), 0.0) if m_ < sig and hist < 0 else 0.0
    k, d = stoch
    s = (-clamp(((k + d) - 2 * ob) / (200 - 2 * ob)) if k > ob and d > ob
         else clamp(((2 * os_ - k) - d) / (2 * os_)) if k < os_ and d < os_ else 0.0)
    return r, m, s, float(trend[1])


# ---- Trend: directional movement and SuperTrend -----------------------------------------------

def ref_dmi(high, low, close, period):
    n = len(high)
    pdm, mdm, tr = [0.0] * n, [0.0] * n, [0.0] * n
    for i in range(1, n):
        up, down = high[i] - high[i - 1], low[i - 1] - low[i]
        pdm[i] = up if up > down and up > 0 else 0.0
        mdm[i] = down if down > up and down > 0 else 0.0
        tr[i] = max(high[i] - low[i], abs(high[i] - close[i - 1]), abs(low[i] - close[i - 1]))
    plus, minus = [NAN] * n, [NAN] * n
    sp, sm, st_ = sum(pdm[1:period]), sum(mdm[1:period]), sum(tr[1:period])
    for i in range(period, n):
        sp = sp - sp / period + pdm[i]
        sm = sm - sm / period + mdm[i]
        st_ = st_ - st_ / period + tr[i]
        plus[i], minus[i] = (0.0, 0.0) if abs(st_) < 1e-10 else (100 * sp / st_, 100 * sm / st_)
    return plus, minus


def ref_dx(plus, minus):
    out = []
    for a, b in zip(plus, minus):
        if math.isnan(a) or math.isnan(b):
            out.append(NAN)
        else:
            out.append(0.0 if abs(a + b) < 1e-10 else 100 * abs(a - b) / (a + b))
    return out


def ref_adx(high, low, close, period):
    plus, minus = ref_dmi(high, low, close, period)
    dx = ref_dx(plus, minus)
    n = len(high)
    adx = [NAN] * n
    if 2 * period <= n:
        a = sum(dx[period:2 * period]) / period
        adx[2 * period - 1] = a
        for i in range(2 * period, n):
            a = (a * (period - 1) + dx[i]) / period
            adx[i] = a
    return adx, plus, minus


def ref_supertrend(high, low, close, period, mult):
    """Bands tighten while respected and restart from the basic band once the close breaks them."""
    n = len(high)
    atr = ref_atr(high, low, close, period)
    value, direction, upper, lower = ([NAN] * n for _ in range(4))
    for i in range(period, n):
        mid = (high[i] + low[i]) / 2
        bu, bl = mid + mult * atr[i], mid - mult * atr[i]
        if i == period:
            upper[i], lower[i] = bu, bl
            direction[i] = 1.0 if close[i] > mid else -1.0
        else:
            upper[i] = bu if (bu < upper[i - 1] or close[i - 1] > upper[i - 1]) else upper[i - 1]
            lower[i] = bl if (bl > lower[i - 1] or close[i - 1] < lower[i - 1]) else lower[i - 1]
            if direction[i - 1] == 1.0:
                direction[i] = -1.0 if close[i] < lower[i] else 1.0
            else:
                direction[i] = 1.0 if close[i] > upper[i] else -1.0
        value[i] = lower[i] if direction[i] == 1.0 else upper[i]
    return value, direction, upper, lower


# ---- Trend measures ---------------------------------------------------------------------------

def ref_psar(high, low, close, a0=0.02, step=0.02, amax=0.2):
    n = len(high)
    up = close[1] > close[0]
    sar = low[0] if up else high[0]
    ep = high[1] if up else low[1]
    af = a0
    sars, dirs = [sar], [1.0 if up else -1.0]
    for i in range(1, n):
        cand = sar + af * (ep - sar)
        prior = [low[i - 1]] + ([low[i - 2]] if i >= 2 else []) if up else [high[i - 1]] + (
            [high[i - 2]] if i >= 2 else [])
        if math.isnan(cand):
            cand = prior[0]
        sar = min([cand] + prior) if up else max([cand] + prior)
        if up and sar > low[i]:
            up, sar, ep, af = False, ep, low[i], a0
        elif not up and high[i] > sar:
            up, sar, ep, af = True, ep, high[i], a0
        elif up and high[i] > ep:
            ep = high[i]
            af = amax if math.isnan(af + step) else min(af + step, amax)
        elif not up and low[i] < ep:
            ep = low[i]
            af = amax if math.isnan(af + step) else min(af + step, amax)
        sars.append(sar)
        dirs.append(1.0 if up else -1.0)
    return sars, dirs


def ref_aroon(high, low, p):
    n = len(high)
    up, down, osc = [NAN] * n, [NAN] * n, [NAN] * n
    for i in range(p, n):
        hh, ll = max(high[i - p : i + 1]), min(low[i - p : i + 1])
        dh = next(k for k in range(p + 1) if abs(high[i - k] - hh) < 1e-10)
        dl = next(k for k in range(p + 1) if abs(low[i - k] - ll) < 1e-10)
        up[i] = ((p - dh) / p) * 100
        down[i] = ((p - dl) / p) * 100
        osc[i] = up[i] - down[i]
    return up, down, osc


def ref_trix(close, p):
    e3 = ref_ema(ref_ema(ref_ema(close, p), p), p)
    out = [NAN] * len(close)
    for i in range(1, len(close)):
        a, b = e3[i - 1], e3[i]
        if not (math.isnan(a) or math.isnan(b) or abs(a) < 1e-10):
            out[i] = ((b - a) / a) * 100
    return out


def true_ranges(high, low, close):
    return [0.0] + [max(high[i] - low[i], abs(high[i] - close[i - 1]), abs(low[i] - close[i - 1]))
                    for i in range(1, len(high))]


def ref_vortex(high, low, close, p):
    n = len(high)
    tr = true_ranges(high, low, close)
    vp = [0.0] + [abs(high[i] - low[i - 1]) for i in range(1, n)]
    vm = [0.0] + [abs(low[i] - high[i - 1]) for i in range(1, n)]
    plus, minus = [NAN] * n, [NAN] * n
    for i in range(p, n):
        s = math.fsum(tr[i - p + 1 : i + 1])
        if abs(s) >= 1e-10:
            plus[i] = math.fsum(vp[i - p + 1 : i + 1]) / s
            minus[i] = math.fsum(vm[i - p + 1 : i + 1]) / s
    return plus, minus


def ref_choppiness(high, low, close, p):
    n = len(high)
    tr = true_ranges(high, low, close)
    out = [NAN] * n
    for i in range(p, n):
        s = math.fsum(tr[i - p + 1 : i + 1])
        rng = max(high[i - p + 1 : i + 1]) - min(low[i - p + 1 : i + 1])
        if s > 0 and rng > 0:
            out[i] = (math.log10(s / rng) * 100) / math.log10(p)
    return out


def ref_vhf(close, p):
    n = len(close)
    d = [0.0] + [abs(close[i] - close[i - 1]) for i in range(1, n)]
    out = [NAN] * n
    for i in range(p, n):
        s = math.fsum(d[i - p + 1 : i + 1])
        num = max(close[i - p + 1 : i + 1]) - min(close[i - p + 1 : i + 1])
        if s > 0:
            out[i] = num / s
    return out


# ---- Volume -----------------------------------------------------------------------------------

def kahan_add(s, x):
    y = x - s[1]
    t = s[0] + y
    s[1], s[0] = (t - s[0]) - y, t


def ref_rolling_vwap(h, l, c, v, p):
    """Two compensated sums carried from the first window on, rebuilt together on slides R,
    2R, ... (R = rebuild_every(p); a window of one bar on every slide)."""
    tp = [((a + b) + d) / 3 for a, b, d in zip(h, l, c)]
    out = [NAN] * len(tp)
    for i in range(p - 1, len(tp)):
        if i == p - 1 or p == 1 or (i - p + 1) % rebuild_every(p) == 0:
            pv, vv = [0.0, 0.0], [0.0, 0.0]
            for k in range(i - p + 1, i + 1):
                kahan_add(pv, tp[k] * v[k]), kahan_add(vv, v[k])
        else:
            kahan_add(pv, tp[i] * v[i]), kahan_add(pv, -(tp[i - p] * v[i - p]))
            kahan_add(vv, v[i]), kahan_add(vv, -v[i - p])
        out[i] = NAN if abs(vv[0]) < 1e-10 else pv[0] / vv[0]
    return out
