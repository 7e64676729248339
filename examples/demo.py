"""A short report over the bundled sample bars: what the library computes, bar by bar."""
import csv
import importlib
import math
import pathlib

import vorn_library.vorn_library as vl

DATA = pathlib.Path(__file__).parent / "data" / "sample_ohlcv.csv"

# Further report sections, one module each in demo_sections/, printed in this order;
# each has run(vl, bars, section, show).
SECTIONS = ["frame", "volume", "overlap", "extended", "streaming_signals", "candlestick", "levels", "harmonics", "signals", "systems", "models"]


def load(path):
    cols = {"timestamp": [], "open": [], "high": [], "low": [], "close": [], "volume": []}
    with open(path, newline="") as f:
        for row in csv.DictReader(f):
            cols["timestamp"].append(int(row["timestamp"]))
            for k in ("open", "high", "low", "close", "volume"):
                cols[k].append(float(row[k]))
    return cols


def fmt(v):
    if isinstance(v, float):
        return "    n/a" if math.isnan(v) else f"{v:10.4f}"
    return str(v)


def section(title):
    print()
    print(title)
    print("-" * len(title))


def show(label, series, last=3):
    tail = "  ".join(fmt(v) for v in series[-last:])
    print(f"  {label:<32} {tail}")


def main():
    bars = load(DATA)
    o, h, l, c, v = (bars[k] for k in ("open", "high", "low", "close", "volume"))
    print(f"vorn_library demo: {len(c)} daily bars from {DATA.name}")
    print(f"{len(vl.__all__)} names exported; values below are the last three bars")

    section("Records")
    candle = vl.Candle(bars["timestamp"][-1], o[-1], h[-1], l[-1], c[-1], v[-1])
    print(f"  last bar: {candle!r}")
    print(f"  typical price {candle.typical_price:.4f}, median {candle.median_price:.4f}, "
          f"weighted close {candle.weighted_close:.4f}")
    result = vl.IndicatorResult("sma_20", vl.py_sma(c, 20))
    result.add_metadata("period", "20")
    print(f"  IndicatorResult {result.name!r}: {result.len} values, metadata {result.metadata}")

    section("Moving averages (close)")
    show("SMA(20)", vl.py_sma(c, 20))
    show("EMA(20)", vl.py_ema(c, 20))
    show("RMA(14)", vl.py_rma(c, 14))
    show("WMA(20)", vl.py_wma(c, 20))
    show("HMA(16)", vl.py_hma(c, 16))
    show("DEMA(10) / TEMA(10)", [vl.py_dema(c, 10)[-1], vl.py_tema(c, 10)[-1]], last=2)
    show("ZLMA(12)", vl.py_zlma(c, 12))
    show("T3(5, 0.7)", vl.py_t3(c, None, None))
    show("KAMA(10, 2, 30)", vl.py_kama(c, None, None, None))
    show("FRAMA(16)", vl.py_frama(c, None))

    section("Volatility")
    show("True range", vl.py_true_range(h, l, c))
    show("ATR(14)", vl.py_atr(h, l, c, 14))
    show("NATR(14) %", vl.py_natr(h, l, c, 14))
    up, mid, lo = vl.py_bollinger_bands(c, 20, 2.0)
    show("Bollinger(20, 2) upper/mid/low", [up[-1], mid[-1], lo[-1]])
    up, mid, lo = vl.py_keltner_channel(h, l, c)
    show("Keltner(20, 2) upper/mid/low", [up[-1], mid[-1], lo[-1]])
    up, mid, lo = vl.py_donchian_channel(h, l, 20)
    show("Donchian(20) upper/mid/low", [up[-1], mid[-1], lo[-1]])
    show("Historical volatility(20)", vl.py_historical_volatility(c, 20))
    show("Ulcer index(14)", vl.py_ulcer_index(c, 14))

    section("Momentum and oscillators")
    show("RSI(14)", vl.py_rsi(c, 14))
    macd, signal, hist = vl.py_macd(c, 12, 26, 9)
    show("MACD / signal / histogram", [macd[-1], signal[-1], hist[-1]])
    k, d = vl.py_stochastic(h, l, c)
    show("Stochastic %K / %D", [k[-1], d[-1]], last=2)
    show("Williams %R(14)", vl.py_williams_r(h, l, c, 14))
    show("CCI(20)", vl.py_cci(h, l, c, 20))
    show("CMO(14)", vl.py_cmo(c, 14))
    show("ROC(10)", vl.py_roc(c, 10))
    show("Ultimate oscillator", vl.py_ultimate_oscillator(h, l, c, 7, 14, 28))

    section("Trend")
    value, direction, _, _ = vl.py_supertrend(h, l, c, 10, 3.0)
    show("SuperTrend(10, 3) value", value)
    show("SuperTrend direction", direction)
    adx, plus_di, minus_di = vl.py_adx(h, l, c, 14)
    show("ADX / +DI / -DI", [adx[-1], plus_di[-1], minus_di[-1]])
    up, down, osc = vl.py_aroon(h, l, 25)
    show("Aroon up / down / oscillator", [up[-1], down[-1], osc[-1]])
    sar, sar_trend = vl.py_psar(h, l, c, None, None, None)
    show("Parabolic SAR / trend", [sar[-1], sar_trend[-1]], last=2)
    show("Choppiness(14)", vl.py_choppiness(h, l, c, 14))

    section("Cycle and statistics")
    show("Cycle phase (degrees)", vl.py_ht_dcphase(c))
    sine, lead = vl.py_ht_sine(c)
    show("Cycle sine / lead sine", [sine[-1], lead[-1]], last=2)
    show("Trend mode (1 = trend)", vl.py_ht_trendmode(c))
    show("Linear regression slope(20)", vl.py_linearreg_slope(c, 20))
    show("Time-series forecast(20)", vl.py_tsf(c, 20))
    show("Z-score(20)", vl.py_zscore(c, 20))
    show("Typical price", vl.py_typprice(h, l, c))
    show("Rolling max / min (20)", [vl.py_max(c, 20)[-1], vl.py_min(c, 20)[-1]], last=2)

    section("Streaming (bars fed one at a time)")
    rsi = vl.OnlineRSI(14)
    st = vl.OnlineSuperTrend(10, 3.0)
    bb = vl.OnlineBollingerBands(20, 2.0)
    first = None
    for i, (hi, lw, cl) in enumerate(zip(h, l, c)):
        r = rsi.update(cl)
        if r is not None and first is None:
            first = i + 1
        st_value = st.update(hi, lw, cl)
        bands = bb.update(cl)
    print(f"  OnlineRSI(14): first value at update {first}, last {r:.4f} (batch py_rsi: {vl.py_rsi(c, 14)[-1]:.4f})")
    print(f"  OnlineSuperTrend(10, 3): last {st_value}")
    print(f"  OnlineBollingerBands(20, 2): last {tuple(round(x, 4) for x in bands)}")

    for name in SECTIONS:
        importlib.import_module(f"demo_sections.{name}").run(vl, bars, section, show)

    print()
    try:
        vl.py_sma(c, 0)
    except ValueError as e:
        print(f"  bad input is refused clearly: py_sma(close, 0) -> ValueError: {e}")


if __name__ == "__main__":
    main()
