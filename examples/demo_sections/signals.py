"""Signal systems and market structure: where the last signals fell, and the levels they set."""


def last_fired(series):
    hits = [i for i, x in enumerate(series) if x]
    return f"bar {hits[-1]}" if hits else "none"


def run(vl, bars, section, show):
    o, h, l, c, v = (bars[k] for k in ("open", "high", "low", "close", "volume"))
    n = len(c)
    atr = vl.py_atr(h, l, c, 14)

    section("Signals and market structure")
    pivot, r1, _, s1, _, buy, sell = vl.py_pivot_buy_sell(h, l, c, 5)
    show("Pivot(5) P / R1 / S1", [pivot[-1], r1[-1], s1[-1]])
    buy, sell, stop, target = vl.py_general_parameters_signals(h, l, c, 20, 50, 14, 1.0)
    print(f"  EMA grid (20/50, ATR 14): last buy {last_fired(buy)}, last sell {last_fired(sell)}")
    buy, sell, stop, target = vl.py_pd_array_signals(h, l, c, 5)
    print(f"  premium/discount (swings of 5): last buy {last_fired(buy)}, last sell {last_fired(sell)}")
    stop_loss, take_profit = vl.py_calculate_stops(c, atr, buy, sell, 1.5, 2.5)
    hits = [i for i in range(n) if buy[i] or sell[i]]
    if hits:
        i = hits[-1]
        print(f"    its stops at bar {i}: close {c[i]:.4f}, stop {stop_loss[i]:.4f}, target {take_profit[i]:.4f}")
    buy, sell, _, _ = vl.py_linreg_supply_demand_signals(h, l, c, v, 20, 0.02)
    print(f"  regression channel vs zones: {int(sum(buy))} buys, {int(sum(sell))} sells")
    rsi = vl.py_rsi(c, 14)[14:]  # the indicator may hold no NaN: start after the warm-up
    kinds, _ = vl.py_detect_divergence(c[14:], rsi, 5, 0.01)
    print(f"  close/RSI(14) divergences: {kinds.count(1)} bullish bars, {kinds.count(2)} bearish bars")
    bull, bear, upper, lower = vl.py_fvg_signals(h, l)
    open_gaps = [i for i in range(n) if upper[i] == upper[i]]
    print(f"  unfilled fair-value gaps: {len(open_gaps)}" + (f", latest at bar {open_gaps[-1]} "
          f"({lower[open_gaps[-1]]:.4f} .. {upper[open_gaps[-1]]:.4f})" if open_gaps else ""))
    # An order block is an up candle whose close did not rise (or the mirror): bars that open
    # at the previous close, as the sample's do, never make one.
    buy, sell, _, _ = vl.py_breaker_block_signals(o, h, l, c, 1)
    print(f"  breaker-block retests (look-back 1): {int(sum(buy))} buys, {int(sum(sell))} sells")
    above, relative, spike = vl.py_volume_filter(v, 20)
    show("Relative volume (20)", relative)
    direction = vl.py_supertrend(h, l, c, 10, 3.0)[1]  # NaN in the warm-up counts as flat
    show("Trailing stop on SuperTrend side", vl.py_trailing_stop(c, atr, direction, 2.0))
