"""Price levels: floor pivots, Fibonacci levels and the Ichimoku cloud."""


def run(vl, bars, section, show):
    o, h, l, c = (bars[k] for k in ("open", "high", "low", "close"))

    section("Pivot points (levels for the last bar, from the bar before it)")
    for method in ("standard", "fibonacci", "woodie", "camarilla", "demark"):
        row = vl.py_calc_pivot_series(o, h, l, c, method)[-1]
        show(f"{method} PP / R1 / S1", [row[0], row[1], row[5]])
    levels = vl.py_calc_pivot_series(o, h, l, c, "standard")[-1]
    print(f"  last close {c[-1]:.4f} is in zone {vl.py_pivot_zone(c[-1], levels)!r}; "
          f"touches {vl.py_detect_pivot_touch(c[-1], levels, 0.005)!r} within 0.5%")

    section("Fibonacci (last 60 bars)")
    window = c[-60:]
    lo, hi = min(window), max(window)
    start, end = (lo, hi) if window.index(lo) < window.index(hi) else (hi, lo)
    retracement = vl.py_fib_retracement(start, end)
    print("  retracement " + ", ".join(f"{k}: {p:.2f}" for k, p in retracement))
    print(f"  last close touches {vl.py_detect_fib_touch(c[-1], retracement, 0.005)!r} within 0.5%")
    rolling = vl.py_dynamic_fib_retracement(c, 60)[-1]
    show("rolling 0.382 / 0.500 / 0.618", [rolling["0.382"], rolling["0.500"], rolling["0.618"]])
    print(f"  time zones from bar {len(c) - 60}: {vl.py_fib_time_zones(len(c) - 60, 8)}")

    section("Ichimoku cloud (9, 26, 52)")
    cloud = vl.py_ichimoku_cloud(h, l, c, None, None, None)
    for name, line in zip(("Tenkan-sen", "Kijun-sen", "Senkou span A", "Senkou span B"), cloud):
        show(name, line)
    show("Chikou span (26 bars back)", cloud[4][:-26])
    show("cloud colour / thickness", [vl.py_cloud_color(*cloud)[-1], vl.py_cloud_thickness(*cloud)[-1]], last=2)
    show("TK cross", vl.py_ichimoku_tk_cross(*cloud))
    show("signal (-2 .. 2)", vl.py_ichimoku_signals(c, *cloud))
