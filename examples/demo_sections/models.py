"""Linear models: features from price, ATR, RSI and volume; models trained on the latest rows."""


def run(vl, bars, section, show):
    h, l, c, v = (bars[k] for k in ("high", "low", "close", "volume"))
    atr = vl.py_atr(h, l, c, 14)
    rsi = vl.py_rsi(c, 14)

    section("Models: feature preparation and training")
    flat, rows, cols = vl.py_prepare_supertrend_features(c, atr, 10)
    print(f"  SuperTrend features: {rows} rows x {cols} columns (the 10 closes and ATRs before each bar)")
    show("  last row, first three values", flat[-cols:-cols + 3])

    model = vl.py_train_supertrend_model(c, atr, 200, 10)
    show("Least squares: return into the bar", model.predict(flat, rows))
    ridge = vl.py_train_supertrend_model(c, atr, 200, 10, True, 5.0)
    show("Ridge(alpha 5): return into the bar", ridge.predict(flat, rows))

    flat, rows, cols = vl.py_prepare_atr2_features(c, atr, v, 10)
    atr2 = vl.py_train_atr2_model(c, atr, v)
    print(f"  ATR2 model: {atr2.features_dim()} features (ATR, return, relative volume), trained: {atr2.is_trained()}")
    show("ATR2: next-bar return in %", atr2.predict(flat, rows))

    flat, rows, cols = vl.py_prepare_momentum_features(rsi, 10)
    momentum = vl.py_train_momentum_model(rsi)
    show("Momentum: RSI change into the bar", momentum.predict(flat, rows))
    try:
        momentum.predict(flat[:5], 1)
    except ValueError as e:
        print(f"  a wrong feature count is refused: {e}")
