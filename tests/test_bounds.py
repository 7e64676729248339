"""Outputs whose definition confines them to an interval stay inside it, compared exactly
(lo <= v <= hi, no tolerance), on the bars that push them there: closes sitting on their highs
or their lows for stretches, bodies spanning the whole bar, runs of only gains or only losses.
Rounding in a running sum or an average may not carry a value past its bound by any amount."""
import math
import random

import pytest
from conftest import native_program
from reference import ref_stochastic_bits, ref_stochrsi_bits

import vorn_library.vorn_library as vl

SCALES = (1.1, 100.0, 3e4)
TICK = {1.1: 1e-5, 100.0: 0.01, 3e4: 0.5}   # prices on a grid, so that bars tie
SEEDS = range(60)
N = 400


def pinned_bars(seed, scale, n=N):
    """Bars of a random walk in stretches: free bars, and stretches whose closes sit on their
    highs (opening on the low, rising) or on their lows (opening on the high, falling)."""
    rng = random.Random(seed)
    tick = TICK[scale]
    on = lambda x: round(x * scale / 100.0 / tick) * tick
    o, h, l, c, v = [], [], [], [], []
    x, kind, left = 100.0, "free", 0
    while len(c) < n:
        if left == 0:
            kind, left = rng.choice(["free", "high", "low", "high", "low"]), rng.randint(3, 40)
        left -= 1
        step = rng.gauss(0.0, 1.0)
        prev, x = x, max(x + (abs(step) if kind == "high" else -abs(step) if kind == "low" else step), 5.0)
        hi, lo = on(max(prev, x) + rng.random()), on(min(prev, x) - rng.random())
        if kind == "high":
            op, cl = lo, hi
        elif kind == "low":
            op, cl = hi, lo
        else:
            op, cl = min(max(on(prev), lo), hi), min(max(on(x), lo), hi)
        o.append(op), h.append(hi), l.append(lo), c.append(cl)
        v.append(rng.choice([1.0, 1e3, 1e6]) * rng.uniform(0.5, 2.0))
    return {"open": o, "high": h, "low": l, "close": c, "volume": v}


def hlc(b):
    return b["high"], b["low"], b["close"]


def hlcv(b):
    return b["high"], b["low"], b["close"], b["volume"]


PERCENT, UNIT, SIGNED_PERCENT = (0.0, 100.0), (-1.0, 1.0), (-100.0, 100.0)

# (function, how it is called, the bounds of its outputs in order; None: no bound)
CASES = [
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 14, 3, 3), [PERCENT, PERCENT]),
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 14, 1, 3), [PERCENT, PERCENT]),
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 5, 3, 5), [PERCENT, PERCENT]),
    ("py_kdj", lambda b: vl.py_kdj(*hlc(b), 9, 3, 3), [PERCENT, PERCENT, None]),
    ("py_kdj", lambda b: vl.py_kdj(*hlc(b), 9, 1, 3), [PERCENT, PERCENT, None]),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 14, 14, 3, 3), [PERCENT, PERCENT]),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 5, 5, 1, 3), [PERCENT, PERCENT]),
    ("py_stoch_rsi", lambda b: vl.py_stoch_rsi(b["close"], 14, 14, 3, 3), [PERCENT, PERCENT]),
    ("py_williams_r", lambda b: vl.py_williams_r(*hlc(b), 14), [(-100.0, 0.0)]),
    ("py_rsi", lambda b: vl.py_rsi(b["close"], 14), [PERCENT]),
    ("py_rsi", lambda b: vl.py_rsi(b["close"], 3), [PERCENT]),
    ("py_mfi", lambda b: vl.py_mfi(*hlcv(b), 14), [PERCENT]),
    ("py_mfi", lambda b: vl.py_mfi(*hlcv(b), 3), [PERCENT]),
    ("py_cmf", lambda b: vl.py_cmf(*hlcv(b), 20), [UNIT]),
    ("py_cmf", lambda b: vl.py_cmf(*hlcv(b), 5), [UNIT]),
    ("py_ultimate_oscillator", lambda b: vl.py_ultimate_oscillator(*hlc(b), 7, 14, 28), [PERCENT]),
    ("py_ultimate_oscillator", lambda b: vl.py_ultimate_oscillator(*hlc(b), 2, 3, 5), [PERCENT]),
    ("py_aroon", lambda b: vl.py_aroon(b["high"], b["low"], 25), [PERCENT, PERCENT, SIGNED_PERCENT]),
    ("py_cmo", lambda b: vl.py_cmo(b["close"], 14), [SIGNED_PERCENT]),
    ("py_cmo", lambda b: vl.py_cmo(b["close"], 3), [SIGNED_PERCENT]),
    ("py_adx", lambda b: vl.py_adx(*hlc(b), 14), [PERCENT, PERCENT, PERCENT]),
    ("py_adx", lambda b: vl.py_adx(*hlc(b), 3), [PERCENT, PERCENT, PERCENT]),
    ("py_dmi", lambda b: vl.py_dmi(*hlc(b), 5), [PERCENT, PERCENT]),
    ("py_dx", lambda b: vl.py_dx(*hlc(b), 5), [PERCENT]),
    ("py_plus_di", lambda b: vl.py_plus_di(*hlc(b), 5), [PERCENT]),
    ("py_minus_di", lambda b: vl.py_minus_di(*hlc(b), 5), [PERCENT]),
    ("py_bop", lambda b: vl.py_bop(b["open"], *hlc(b)), [UNIT]),
    ("py_er", lambda b: vl.py_er(b["close"], 10), [(0.0, 1.0)]),
    ("py_er", lambda b: vl.py_er(b["close"], 3), [(0.0, 1.0)]),
    ("py_percent_rank", lambda b: vl.py_percent_rank(b["close"], 14), [PERCENT]),
    ("py_psl", lambda b: vl.py_psl(b["close"], 12), [PERCENT]),
    ("py_cti", lambda b: vl.py_cti(b["close"], 12), [UNIT]),
    ("py_stc", lambda b: vl.py_stc(b["close"], 23, 50, 10), [PERCENT]),
    ("py_smi", lambda b: vl.py_smi(*hlc(b), 5, 3, 3), [SIGNED_PERCENT]),
    ("py_qqe", lambda b: vl.py_qqe(b["close"], 14, 5, 4.236), [PERCENT, PERCENT, None]),
    ("py_qqe", lambda b: vl.py_qqe(b["close"], 3, 2, 4.236), [PERCENT, PERCENT, None]),
    ("py_rvi", lambda b: vl.py_rvi(b["open"], *hlc(b), 4, 3), [UNIT, UNIT]),
    ("py_vhf", lambda b: vl.py_vhf(b["close"], 5), [(0.0, 1.0)]),
    ("py_entropy", lambda b: vl.py_entropy(b["close"], 9, 4), [(0.0, 2.0)]),
    ("py_entropy", lambda b: vl.py_entropy(b["close"], 17, 8), [(0.0, 3.0)]),
]


def streamed(make, feed, b):
    """Each update's outputs as a tuple, in bar order, for a fresh state made by MAKE."""
    state, out = make(), []
    for i in range(len(b["close"])):
        r = state.update(*feed(b, i))
        if r is not None:
            out.append(tuple(r) if isinstance(r, tuple) else (r,))
    return [list(col) for col in zip(*out)]


STREAMS = [
    ("OnlineStochastic", lambda b: streamed(lambda: vl.OnlineStochastic(14, 3, 3), lambda b, i: (
        b["high"][i], b["low"][i], b["close"][i]), b), [PERCENT, PERCENT]),
    ("OnlineStochastic", lambda b: streamed(lambda: vl.OnlineStochastic(14, 1, 3), lambda b, i: (
        b["high"][i], b["low"][i], b["close"][i]), b), [PERCENT, PERCENT]),
    ("OnlineRSI", lambda b: streamed(lambda: vl.OnlineRSI(3), lambda b, i: (b["close"][i],), b), [PERCENT]),
    ("OnlineAdaptiveRSI", lambda b: streamed(lambda: vl.OnlineAdaptiveRSI(),
                                            lambda b, i: (b["close"][i],), b)[:1], [PERCENT]),
]


def escapes(outputs, bounds):
    """(output index, value) of the first value outside its bound, None when all are inside."""
    for k, (out, bound) in enumerate(zip(outputs, bounds)):
        if bound is None:
            continue
        lo, hi = bound
        for x in out:
            if not math.isnan(x) and not lo <= x <= hi:
                return k, x
    return None


@pytest.mark.parametrize("scale", SCALES)
@pytest.mark.parametrize("name,call,bounds", CASES + STREAMS, ids=[c[0] for c in CASES + STREAMS])
def test_bounded_outputs_stay_inside_on_pinned_closes(name, call, bounds, scale):
    bad = []
    for seed in SEEDS:
        r = call(pinned_bars(seed, scale))
        outs = list(r) if isinstance(r, (tuple, list)) and isinstance(r[0], list) else [r]
        assert len(outs) == len(bounds)
        if (e := escapes(outs, bounds)) is not None:
            bad.append((seed, *e))
    assert not bad, bad


# Long series: the stochastic lines are formed and confined block by block, so the seams
# between blocks must be covered as well as the inside of each.
LONG = [
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 14, 3, 3), [PERCENT, PERCENT]),
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 5, 1, 9), [PERCENT, PERCENT]),
    ("py_kdj", lambda b: vl.py_kdj(*hlc(b), 9, 3, 3)[:2], [PERCENT, PERCENT]),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 14, 14, 3, 3), [PERCENT, PERCENT]),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 5, 5, 2, 7), [PERCENT, PERCENT]),
]


@pytest.mark.parametrize("name,call,bounds", LONG, ids=[c[0] for c in LONG])
def test_bounded_lines_stay_inside_over_long_series(name, call, bounds):
    bad = [(seed, *e) for seed in range(4) if (e := escapes(call(pinned_bars(seed, 100.0, 9000)), bounds))]
    assert not bad, bad


def kdj_from(k, d):
    return k, d, [x * 3.0 - (y + y) if not (math.isnan(x) or math.isnan(y)) else math.nan for x, y in zip(k, d)]


# The same lines formed whole, bar by bar (reference.py), against the library's, formed and
# confined in blocks of 2,048 bars: (function, its call, the reference's).
SEAMS = [
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 14, 3, 3), lambda b: ref_stochastic_bits(*hlc(b), 14, 3, 3)),
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 5, 1, 9), lambda b: ref_stochastic_bits(*hlc(b), 5, 1, 9)),
    ("py_stochastic", lambda b: vl.py_stochastic(*hlc(b), 3, 4, 40), lambda b: ref_stochastic_bits(*hlc(b), 3, 4, 40)),
    ("py_kdj", lambda b: vl.py_kdj(*hlc(b), 9, 3, 3), lambda b: kdj_from(*ref_stochastic_bits(*hlc(b), 9, 3, 3))),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 14, 14, 3, 3),
     lambda b: ref_stochrsi_bits(vl.py_rsi(b["close"], 14), 14, 3, 3)),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 5, 5, 2, 7),
     lambda b: ref_stochrsi_bits(vl.py_rsi(b["close"], 5), 5, 2, 7)),
    ("py_stoch_rsi", lambda b: vl.py_stoch_rsi(b["close"], 3, 9, 1, 12),
     lambda b: ref_stochrsi_bits(vl.py_rsi(b["close"], 3), 9, 1, 12)),
]


@pytest.mark.parametrize("n", [9000, 3 * 2048 - 3])  # the latter's last block holds only the lag
@pytest.mark.parametrize("scale", [1.1, 3e4])
@pytest.mark.parametrize("name,call,ref", SEAMS, ids=[c[0] for c in SEAMS])
def test_stochastic_lines_across_block_seams_are_the_lines_formed_whole(name, call, ref, scale, n):
    b = pinned_bars(3, scale, n)
    got, want = call(b), ref(b)
    assert len(got) == len(want)
    for line, expected in zip(got, want):
        differ = [i for i, (x, y) in enumerate(zip(line, expected)) if x.hex() != y.hex()]
        assert not differ, [(i, line[i], expected[i]) for i in differ[:5]]


def gapping_bars(seed, rising):
    """Bars that each open beyond the last close and close at their far end: every move is the
    whole true range, so +DI (or -DI) is the ratio of two equal sums, and every change a gain
    (or a loss)."""
    rng = random.Random(seed)
    x = rng.uniform(1.0, 3e4)
    h, l, c = [], [], []
    for i in range(120):
        gap, span = rng.uniform(0.0, 0.01) * x, rng.uniform(0.001, 0.02) * x
        if rising:
            lo = x + gap if i else x
            hi = lo + span
            x = hi
        else:
            hi = x - gap if i else x
            lo = hi - span
            x = lo
        h.append(hi), l.append(lo), c.append(x)
    return {"open": list(c), "high": h, "low": l, "close": c, "volume": [1.0] * len(c)}


GAPPING = [case for case in CASES if case[0] in {
    "py_adx", "py_dmi", "py_dx", "py_plus_di", "py_minus_di", "py_cmo", "py_rsi", "py_er", "py_vhf",
    "py_ultimate_oscillator", "py_qqe", "py_mfi", "py_stochrsi", "py_aroon"}]


@pytest.mark.parametrize("rising", [True, False])
@pytest.mark.parametrize("name,call,bounds", GAPPING, ids=[c[0] for c in GAPPING])
def test_bounded_outputs_stay_inside_on_gapping_bars(name, call, bounds, rising):
    bad = []
    for seed in SEEDS:
        r = call(gapping_bars(seed, rising))
        outs = list(r) if isinstance(r, tuple) else [r]
        if (e := escapes(outs, bounds)) is not None:
            bad.append((seed, *e))
    assert not bad, bad


@pytest.mark.parametrize("bins", [3, 4, 10, 38])
def test_entropy_of_returns_spread_evenly_is_at_most_log2_bins(bins):
    """Windows whose returns fill every bin equally: the entropy is log2(bins), which the sum
    of the bins' terms rounded past (5.247927513443589 for 38 bins)."""
    bad = []
    for rep in (1, 2, 3):
        m = bins * rep
        for seed in range(10):
            rng = random.Random(seed)
            rets = [(k % bins) * 1e-3 + 1e-4 + rng.uniform(0.0, 1e-5) for k in range(m)]
            rng.shuffle(rets)
            c = [100.0]
            for r in rets * 3:
                c.append(c[-1] * (1.0 + r))
            out = vl.py_entropy(c, m + 1, bins)
            bad += [x for x in out if not math.isnan(x) and not 0.0 <= x <= math.log2(bins)]
    assert not bad, bad


def test_the_streamed_stochastic_is_the_series_one():
    """The stream clamps as the series does: the same bits on the bars that needed it."""
    for seed in range(10):
        b = pinned_bars(seed, 100.0)
        for smooth in (1, 3):
            k, d = vl.py_stochastic(*hlc(b), 14, smooth, 3)
            sk, sd = streamed(lambda: vl.OnlineStochastic(14, smooth, 3), lambda b, i: (
                b["high"][i], b["low"][i], b["close"][i]), b)
            first = 13 + smooth - 1 + 2
            assert sk == k[first:] and sd == d[first:], (seed, smooth)


# Short runs of closes on their highs after ordinary bars: the smoothed %K and %D read
# 100.00000000000001 where their windows hold nothing but 100.
RUN_H = [1.0984, 1.0992, 1.0996, 1.1015, 1.1007, 1.0989, 1.0992, 1.1015, 1.1044, 1.107]
RUN_L = [1.0966, 1.098, 1.0984, 1.1002, 1.1002, 1.0973, 1.0974, 1.101, 1.1043, 1.1067]
RUN_C = [1.0971, 1.098, 1.0996, 1.1015, 1.1007, 1.0989, 1.0992, 1.1015, 1.1044, 1.107]
RAW_H = [1.0987, 1.0993, 1.1008, 1.0996, 1.1015, 1.1036, 1.1057, 1.1063]
RAW_L = [1.0976, 1.0973, 1.1002, 1.098, 1.1008, 1.1016, 1.1042, 1.1055]
RAW_C = [1.0976, 1.099, 1.1008, 1.0996, 1.1015, 1.1032, 1.1057, 1.1063]


def test_a_window_of_closes_on_their_highs_reads_100():
    k, d = vl.py_stochastic(RUN_H, RUN_L, RUN_C, 2, 3, 2)
    assert k[-2:] == [100.0, 100.0] and d[-1] == 100.0
    k, d = vl.py_stochastic(RAW_H, RAW_L, RAW_C, 2, 1, 3)
    assert k[-2:] == [100.0, 100.0]
    assert all(0.0 <= x <= 100.0 for x in k + d if not math.isnan(x))
    stoch = vl.OnlineStochastic(2, 3, 2)
    assert [stoch.update(*bar) for bar in zip(RUN_H, RUN_L, RUN_C)][-1] == (100.0, 100.0)


def stoch_stream(b):
    return streamed(lambda: vl.OnlineStochastic(14, 3, 3), lambda b, i: (b["high"][i], b["low"][i], b["close"][i]), b)


# Pinned bars where a value was seen past its bound (scale, seed, bar, the bound it now takes):
# CMF -1.0000000000000002, the stochastic RSI and the streamed stochastic 100.00000000000001.
REPORTED = [
    ("py_cmf", lambda b: vl.py_cmf(*hlcv(b), 20), 1.1, 0, 108, -1.0),
    ("py_cmf", lambda b: vl.py_cmf(*hlcv(b), 20), 100.0, 0, 108, -1.0),
    ("py_cmf", lambda b: vl.py_cmf(*hlcv(b), 20), 3e4, 0, 108, -1.0),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 14, 14, 3, 3), 1.1, 1, 146, 100.0),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 14, 14, 3, 3), 100.0, 1, 217, 100.0),
    ("py_stochrsi", lambda b: vl.py_stochrsi(b["close"], 14, 14, 3, 3), 3e4, 2, 366, 100.0),
    ("OnlineStochastic", stoch_stream, 1.1, 1, 282, 100.0),
    ("OnlineStochastic", stoch_stream, 100.0, 7, 354, 100.0),
    ("OnlineStochastic", stoch_stream, 3e4, 2, 293, 100.0),
]


@pytest.mark.parametrize("name,call,scale,seed,bar,bound", REPORTED, ids=[c[0] for c in REPORTED])
def test_reported_escapes_sit_on_their_bound(name, call, scale, seed, bar, bound):
    r = call(pinned_bars(seed, scale))
    values = [out[bar] for out in r] if isinstance(r[0], list) else [r[bar]]
    assert bound in values and all(-1.0 <= x <= 1.0 if bound == -1.0 else 0.0 <= x <= 100.0 for x in values)


# Ordinary bars, but bar 5 closes far above its high (a bad print) and bar 6 gaps up above that
# close, so that bar 6 moves further than its true range; each bar opens at its middle.
BAD_H = [10.0, 10.5, 10.8, 11.0, 11.2, 11.4, 31.0, 31.2, 30.9, 31.1, 31.4, 31.3, 31.6, 31.5]
BAD_L = [9.0, 9.5, 9.8, 10.0, 10.2, 10.4, 30.5, 30.4, 30.3, 30.5, 30.8, 30.6, 30.9, 30.8]
BAD_C = [9.5, 10.0, 10.3, 10.5, 10.7, 30.0, 30.8, 30.6, 30.7, 30.9, 31.0, 31.1, 31.2, 31.1]


def bad_bars(rising):
    """The bars above, or turned over (50 - x: highs become lows), where the close lies below
    its low and the next bar gaps down: each line turns over with them (a 0..100 line reads
    100 - x, a signed one -x, +DI and -DI trade places)."""
    o = [(x + y) / 2 for x, y in zip(BAD_H, BAD_L)]
    if rising:
        return o, BAD_H, BAD_L, BAD_C
    turn = lambda s: [50.0 - x for x in s]
    return turn(o), turn(BAD_L), turn(BAD_H), turn(BAD_C)


def frame(o, h, l, c):
    return vl.OhlcvFrame(list(range(len(c))), o, h, l, c, [1.0] * len(c))


def streamed_stochastic(o, h, l, c):
    state = vl.OnlineStochastic(3, 2, 3)
    kd = [state.update(*bar) or (math.nan, math.nan) for bar in zip(h, l, c)]
    return [list(line) for line in zip(*kd)]


# The definitions' values on the bars where a line leaves its bound (traced in exact rational
# arithmetic on the rising bars); every other value lies inside it.
K_OUT = {5: 746.4285714285712, 6: 763.8049450549448}
D_OUT = {5: 293.7830687830687, 6: 525.2365689865688,
         7: 536.1034798534797,  # one bar past %K's window, still within %D's
         8: 310.8872608872608}
DI_OUT = {6: 715.0660792951542, 7: 508.17396668722995, 8: 380.00230653903844, 9: 284.84709032339043,
          10: 216.35451703240543, 11: 143.24478769402836, 12: 109.4769196715214}  # Wilder's average never forgets
UO_OUT = {5: 845.8333333333334, 6: 858.3333333333334, 7: 321.2734216493616, 8: 129.39175670268122}
SMI_OUT = {5: 1183.9195979899498, 6: 205.2928895984281, 7: 130.08448060075096, 8: 115.75611735243507,
           9: 104.54697838553155}
RVI_OUT = {5: 1.0611111111111111, 6: 3.277142857142857, 7: 5.855828220858895, 8: 6.56896551724138,
           9: 4.414728682170544, 10: 1.592436974789917}
RVI_SIGNAL_OUT = {6: 2.1691269841269842, 7: 4.566485539000876, 8: 6.212396869050138, 9: 5.4918470997059625,
                  10: 3.003582828480231}
CMF_OUT = {5: 12.733333333333333, 6: 12.8, 7: 12.633333333333336}
below = lambda out: {i: 100.0 - x for i, x in out.items()}
negated = lambda out: {i: -x for i, x in out.items()}

# (the line, its bound, where it leaves it on the rising bars, and on the falling ones)
PREMISED = {
    "py_stochastic %K": (lambda o, h, l, c: vl.py_stochastic(h, l, c, 3, 2, 3)[0], PERCENT, K_OUT, below(K_OUT)),
    "py_stochastic %D": (lambda o, h, l, c: vl.py_stochastic(h, l, c, 3, 2, 3)[1], PERCENT, D_OUT, below(D_OUT)),
    "py_kdj K": (lambda o, h, l, c: vl.py_kdj(h, l, c, 3, 2, 3)[0], PERCENT, K_OUT, below(K_OUT)),
    "py_kdj D": (lambda o, h, l, c: vl.py_kdj(h, l, c, 3, 2, 3)[1], PERCENT, D_OUT, below(D_OUT)),
    "frame stochastic %K": (lambda *b: frame(*b).stochastic(3, 2, 3)[0], PERCENT, K_OUT, below(K_OUT)),
    "frame stochastic %D": (lambda *b: frame(*b).stochastic(3, 2, 3)[1], PERCENT, D_OUT, below(D_OUT)),
    "OnlineStochastic %K": (lambda *b: streamed_stochastic(*b)[0], PERCENT, K_OUT, below(K_OUT)),
    "OnlineStochastic %D": (lambda *b: streamed_stochastic(*b)[1], PERCENT, D_OUT, below(D_OUT)),
    "py_plus_di": (lambda o, h, l, c: vl.py_plus_di(h, l, c, 3), PERCENT, DI_OUT, {}),
    "py_minus_di": (lambda o, h, l, c: vl.py_minus_di(h, l, c, 3), PERCENT, {}, DI_OUT),
    "py_dmi +DI": (lambda o, h, l, c: vl.py_dmi(h, l, c, 3)[0], PERCENT, DI_OUT, {}),
    "py_dmi -DI": (lambda o, h, l, c: vl.py_dmi(h, l, c, 3)[1], PERCENT, {}, DI_OUT),
    "py_adx +DI": (lambda o, h, l, c: vl.py_adx(h, l, c, 3)[1], PERCENT, DI_OUT, {}),
    "py_adx -DI": (lambda o, h, l, c: vl.py_adx(h, l, c, 3)[2], PERCENT, {}, DI_OUT),
    "frame adx +DI": (lambda *b: frame(*b).adx(3)[1], PERCENT, DI_OUT, {}),
    "frame adx -DI": (lambda *b: frame(*b).adx(3)[2], PERCENT, {}, DI_OUT),
    "py_ultimate_oscillator": (lambda o, h, l, c: vl.py_ultimate_oscillator(h, l, c, 2, 3, 4), PERCENT, UO_OUT,
                               below(UO_OUT)),
    "py_smi": (lambda o, h, l, c: vl.py_smi(h, l, c, 3, 2, 2), SIGNED_PERCENT, SMI_OUT, negated(SMI_OUT)),
    "py_rvi line": (lambda *b: vl.py_rvi(*b, 3, 2)[0], UNIT, RVI_OUT, negated(RVI_OUT)),
    "py_rvi signal": (lambda *b: vl.py_rvi(*b, 3, 2)[1], UNIT, RVI_SIGNAL_OUT, negated(RVI_SIGNAL_OUT)),
    "py_cmf": (lambda o, h, l, c: vl.py_cmf(h, l, c, [1.0] * len(c), 3), UNIT, CMF_OUT, negated(CMF_OUT)),
}


@pytest.mark.parametrize("rising", [True, False], ids=["rising", "falling"])
@pytest.mark.parametrize("name", PREMISED)
def test_a_bar_outside_its_own_range_keeps_the_definitions_value(name, rising):
    """Bounds that rest on the bars keeping to their own range (a close within its bar, a
    body within its bar, no move beyond the true range) leave the lines formed over a bar that
    breaks it (a bad print) as their definition gives them, far past the bound: confining them
    there would be no rounding mended but a value changed."""
    call, (lo, hi), up, down = PREMISED[name]
    line = call(*bad_bars(rising))
    assert len(line) == len(BAD_C) and not math.isnan(line[-1])
    outside = {i: x for i, x in enumerate(line) if not math.isnan(x) and not lo <= x <= hi}
    expected = up if rising else down
    assert outside == pytest.approx(expected, rel=1e-12)


# ---- the look for a value past its bound -------------------------------------------------
# Outputs are formed unconfined and looked over after; the look reads pairs, four at a time,
# then a tail, so one stray value is placed at every position of spans of every length mod 8.

def strays(lo, hi, first, values):
    text = " ".join(repr(v) for v in values)
    return native_program("bounds_strays")(f"{lo!r} {hi!r} {first} {text}") == ["1"]


@pytest.mark.parametrize("length", range(1, 20))
@pytest.mark.parametrize("stray", [100.00000000000001, -5e-324, math.inf, -math.inf])
def test_one_stray_value_is_found_wherever_it_stands(length, stray):
    for at in range(length):
        values = [math.nan if k % 3 == 0 else 50.0 for k in range(length)]
        values[at] = stray
        assert strays(0.0, 100.0, 0, values)
        # Before the span looked at, it is not seen.
        assert strays(0.0, 100.0, at + 1, values) is False


@pytest.mark.parametrize("values", [
    [],
    [math.nan] * 9,                        # NaN bounds nothing
    [0.0, 100.0, -0.0, 100.0, 0.0] * 3,    # on a bound is inside, -0.0 too
    [math.nan, 100.0, math.nan, 0.0, 37.5, math.nan, 99.99999999999999, 5e-324, math.nan],
])
def test_values_on_or_inside_their_bounds_do_not_stray(values):
    assert strays(0.0, 100.0, 0, values) is False


# ---- the other helpers: the look as values are formed, the confinement up to a broken premise

def bounds_helper(kind, lo, hi, *values):
    text = " ".join(repr(float(v)) for v in values)
    return native_program("bounds_helpers")(f"{kind} {lo!r} {hi!r} {text}")


@pytest.mark.parametrize("values, strayed", [
    ([50.0, math.nan, 100.0, 0.0, -0.0], False),   # NaN, and values on their bounds, are inside
    ([50.0, 100.00000000000001], True),            # past the upper bound, in the high half
    ([-5e-324, 50.0], True),                       # past the lower bound, in the low half
    ([math.nan, math.nan, 37.5], False),
    ([20.0, 30.0, 40.0, 50.0, math.inf], True),    # the odd last value (paired with NaN)
    ([], False),
])
def test_watch_sees_a_value_past_its_bound_in_either_half(values, strayed):
    assert bounds_helper("watch", 0.0, 100.0, *values) == [str(int(strayed))]


@pytest.mark.parametrize("met, broken_at", [
    ([1, 1, 1, 1], 4),   # never broken: every value confined
    ([0, 1, 1, 1], 0),   # broken at once: none
    ([1, 1, 0, 1], 2),   # a premise met again after it broke confines nothing more
])
def test_outputs_are_confined_only_up_to_the_first_broken_premise(met, broken_at):
    values = [1.5, -2.0, 3.0, -0.5]
    j, *rest = bounds_helper("until", -1.0, 1.0, *met, *values)[0].split()
    cut = rest.index("|")
    a, negated = [float.fromhex(x) for x in rest[:cut]], [float.fromhex(x) for x in rest[cut + 1:]]
    assert int(j) == broken_at
    assert a == [max(-1.0, min(1.0, v)) for v in values[:broken_at]] + values[broken_at:]
    assert negated == [-x for x in a]  # every output given, confined over the same bars


@pytest.mark.parametrize("value, shown", [
    (1.0000000000000002, 1.0), (1.0, 1.0), (0.25, 0.25), (-0.0, -0.0), (math.inf, 1.0),
])
def test_confine_not_below_takes_the_upper_bound_and_keeps_the_rest_bit_for_bit(value, shown):
    got = float.fromhex(bounds_helper("notbelow", 0.0, 1.0, value)[0])
    assert got == shown and math.copysign(1.0, got) == math.copysign(1.0, shown)
    assert math.isnan(float.fromhex(bounds_helper("notbelow", 0.0, 1.0, math.nan)[0]))
