"""A short report over the bundled sample bars: what the library computes, bar by bar."""
import csv
import math
import pathlib

import vorn_library.vorn_library as vl

DATA = pathlib.Path(__file__).parent / "data" / "sample_ohlcv.csv"


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
    print(f"  {label:<28} {tail}")


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

    print()
    try:
        vl.py_sma(c, 0)
    except ValueError as e:
        print(f"  bad input is refused clearly: py_sma(close, 0) -> ValueError: {e}")


if __name__ == "__main__":
    main()
