"""Signal systems: ATR2 ratio, Heikin-Ashi MACD, nearest-neighbour and learned-model systems."""


def latest(flags):
    """How often a 0/1 (or -1/0/1) signal series fired, and its last four bars counted back from the end."""
    n = len(flags)
    hits = [f"-{n - 1 - i}" + ("" if flags[i] > 0 else " (sell)") for i in range(n) if flags[i]]
    return f"{len(hits)} times, last at bars {', '.join(hits[-4:])}" if hits else "never"


def run(vl, bars, section, show):
    o, h, l, c, v = (bars[k] for k in ("open", "high", "low", "close", "volume"))

    section("Signal systems: ATR2 ratio and Heikin-Ashi MACD")
    signals, stop, target = vl.py_atr2_signals(h, l, c, v, 14, 2.0, 10)
    print(f"  ATR2 (14, 2.0, 10) fired {latest(signals)}")
    fired = [i for i, s in enumerate(signals) if s]
    if fired:
        i = fired[-1]
        print(f"  latest: {'buy' if signals[i] > 0 else 'sell'} at {c[i]:.4f}, stop {stop[i]:.4f}, "
              f"target {target[i]:.4f}")
    macd, sig, hist, ha_open, ha_close = vl.py_dynamic_macd(o, h, l, c, 12, 26, 9)
    show("HA open", ha_open)
    show("HA close", ha_close)
    show("MACD / signal / histogram", [macd[-1], sig[-1], hist[-1]])

    section("Signal systems: nearest neighbours")
    line, signal = vl.py_ai_supertrend(h, l, c, 5, 100, 10, 10, 10, 3.0)
    direction = vl.py_supertrend(h, l, c, 10, 3.0)[1]
    show("AI SuperTrend line", line)
    show("neighbour vote / SuperTrend", [signal[-1], direction[-1]], last=2)
    overruled = sum(1 for s, d in zip(signal, direction) if s == s and s != d)
    print(f"  the neighbours overrule the SuperTrend direction on {overruled} of {len(c)} bars")
    prediction, smoothed = vl.py_ai_momentum_index(c, 50, 14, 3)
    show("AI momentum: next RSI change", prediction)
    show("  smoothed (3)", smoothed)

    section("Signal systems: learned models (trained on the first 200 bars)")
    rsi, buy, sell, strength, stop, target = vl.py_atr2_signals_ml(h, l, c, v, 14, 14, 1.0, 10)
    print(f"  ATR2 ML: buys {latest(buy)}; sells {latest(sell)}")
    show("  RSI / signal strength", [rsi[-1], strength[-1]], last=2)
    for model in ("linreg", "ridge"):
        line, direction, buy, sell, stop, target = vl.py_ai_supertrend_ml(h, l, c, 10, 3.0, model, 10, 200)
        print(f"  AI SuperTrend ML ({model}): buys {latest(buy)}; sells {latest(sell)}")
    rsi, momentum, up, down, over, under = vl.py_ai_momentum_index_ml(c, 14, 3, False, 5, 200)
    show("AI momentum ML: forecast", momentum)
    print(f"  zero-cross buys {latest(up)}; sells {latest(down)}")
