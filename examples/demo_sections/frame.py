"""The OHLCV frame: one market's bars, indicators computed on them and kept by key."""
import textwrap


def run(vl, bars, section, show):
    frame = vl.OhlcvFrame(*(bars[k] for k in ("timestamp", "open", "high", "low", "close", "volume")))

    section(f"OHLCV frame ({len(frame)} bars) and its indicator cache")
    common = frame.compute_common_indicators()
    for name in ("sma_20", "ema_20", "rsi_14", "macd", "macd_signal", "atr_14", "bb_upper", "bb_lower"):
        show(f"common {name}", common[name])
    show("supertrend(10, 3) direction", frame.supertrend(10, 3.0)[1])
    show("MFI(14) / OBV", [frame.mfi(14)[-1], frame.obv()[-1]], last=2)
    frame.bollinger_bands(20, 2)  # same key as (20, 2.0): served from the cache
    keys = sorted(frame.cached_indicators())
    print(textwrap.fill(f"{len(keys)} cached series: {', '.join(keys)}", 100, initial_indent="  ",
                        subsequent_indent="    "))
    show("get_cached('bb_mid_20_2')", frame.get_cached("bb_mid_20_2"))
    frame.clear_cache()
    print(f"  after clear_cache(): {frame.cached_indicators()}")
