"""Adaptive, ML, AI and ensemble streaming indicators, fed bar by bar."""


def run(vl, bars, section, show):
    h, l, c = bars["high"], bars["low"], bars["close"]
    section("Streaming signals (bars fed one at a time)")
    st, rsi = vl.OnlineSuperTrend(10, 3.0), vl.OnlineAdaptiveRSI()
    ml, ai, ens = vl.OnlineMLSuperTrend(), vl.OnlineAISuperTrendML(), vl.OnlineEnsembleSignal()
    trends, flips = [], 0
    for bar in zip(h, l, c):
        t = st.update(*bar)
        if t and trends and t[1] != trends[-1]:
            flips += 1
        if t:
            trends.append(t[1])
        a, m, x, e = rsi.update(bar[2]), ml.update(*bar), ai.update(*bar), ens.update(*bar)
    batch = vl.py_supertrend(h, l, c, 10, 3.0)[1]
    print(f"  OnlineSuperTrend(10, 3): {flips} trend flips, last direction {trends[-1]} "
          f"(py_supertrend: {int(batch[-1])})")
    print(f"  OnlineAdaptiveRSI(7, 21, 14): RSI {a[0]:.4f} over the last {a[1]} changes")
    print(f"  OnlineMLSuperTrend: value {m.value:.4f}, confirmed trend {m.confirmed_trend}, "
          f"confidence {m.confidence:.2f}, effective multiplier {m.effective_multiplier:.4f}")
    print(f"  OnlineAISuperTrendML: stop {x.stop_loss:.4f}, target {x.take_profit:.4f}, "
          f"slope {x.trend_offset:.4f}/bar, {ai.update_count()} bars seen")
    show("OnlineEnsembleSignal signal/conf.", [e.signal, e.confidence], last=2)
