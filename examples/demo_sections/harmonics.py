"""Swing points and harmonic XABCD patterns."""


def run(vl, bars, section, show):
    h, l, c = bars["high"], bars["low"], bars["close"]

    section("Swing points (5 bars each side; ties count)")
    swings = vl.py_swing_points(h, l)
    print(f"  {len(swings)} swings; the last three: " +
          ", ".join(f"{'high' if is_high else 'low'} {price:.2f} at bar {i}" for i, price, is_high in swings[-3:]))

    section("Harmonic patterns (swings 3 bars each side)")
    try:
        patterns = vl.py_harmonics_patterns(h, l, 3, 3)
    except ValueError as e:   # fewer than five swings
        print(f"  {e}")
        return
    done = [p for p in patterns if p.state == "complete"]
    forming = [p for p in patterns if p.state == "forming"]
    print(f"  {len(done)} complete, {len(forming)} forming")
    for p in done[-3:]:
        side = "bullish" if p.is_bullish else "bearish"
        print(f"  {p.pattern_type} ({p.pattern_type_zh}) {side}, D {p.d_price:.2f} at bar {p.d_index}, "
              f"probability {p.probability:.2f}, zone {p.prz_low:.2f}..{p.prz_high:.2f}, "
              f"targets {', '.join(f'{t:.2f}' for t in p.target_prices)}, stop {p.stop_loss:.2f}")
    for p in forming[-2:]:
        print(f"  forming {p.pattern_type} from X at bar {p.x_index}: zone {p.prz_low:.2f}..{p.prz_high:.2f}, "
              f"probability {p.probability:.2f}")
    signals, upper, lower, probability = vl.py_harmonics(h, l, c, 3, 3, 0.5)
    marked = [i for i, s in enumerate(signals) if s != 0.0]
    print(f"  {len(marked)} bars marked at probability >= 0.5; the last at bar {marked[-1] if marked else None}")
    show("zone upper / lower / probability", [upper[-1], lower[-1], probability[-1]])
