"""Linear models, feature preparation, the trainers and SFGModel.

The Python surface exposes only predictions, so a model's weights are read back as
predict(e_j) - predict(0) and its intercept as predict(0). The model kernels and the online
trainers are reached through tests/native/models.cpp. References: NumPy least squares and the
ridge closed form on the features the library itself prepares; a compact Gauss-Jordan with the
same operation order (compared bit for bit); hand-traced feature rows. The trainers build only
the rows they fit and predict, so their results are compared bit for bit with the whole
standardized matrix's, fitted and predicted by the driver.
"""
import math
import os
import pathlib
import random
import re
import resource
import struct
import subprocess
import sys
import time

import numpy as np
import pytest

import vorn_library.vorn_library as vl
from conftest import floats, models_program, nan_equal, random_walk, value_error
from reference import ls_fit, poly_features, ref_gauss_jordan, ref_return, ref_standardize, ridge_fit

NAN = math.nan
SINGULAR = "Singular matrix, cannot solve"
LS_FAILED = "Linear regression training failed: "


def market(n, seed=3):
    rng = random.Random(seed + 1000)   # not the walk's own stream
    close = random_walk(n, seed)
    atr = [NAN] * 3 + [abs(rng.gauss(1.0, 0.3)) for _ in range(n - 3)]
    volume = [rng.uniform(1e3, 1e4) for _ in range(n)]
    return close, atr, volume


def matrix(flat, rows, cols):
    return np.array(flat, dtype=float).reshape(rows, cols)


def read_back(model):
    """(weights, intercept) of a trained model, from its predictions."""
    d = model.features_dim()
    b = model.predict([0.0] * d, 1)[0]
    eye = np.eye(d).ravel().tolist()
    return np.array(model.predict(eye, d)) - b, b


# ---- tests/native/models.cpp: the model kernels, the preparers' targets and the online trainers

@pytest.fixture(scope="module")
def native():
    return models_program()


# ---- Gauss-Jordan ---------------------------------------------------------------------------------


@pytest.mark.parametrize("p, m", [
    (1, [1e-10, 1.0]),
    (1, [-1e-10, 2.0]),
    (2, [1.0, 1 / 3, 0.1, -1.0, 0.7, 0.3]),              # a tie in magnitude: the earlier row
    (3, [2.0, -1.0, 0.5, 1.0, 4.0, 3.0, -2.0, 2.0, -3.0, 0.25, 1.5, 0.7]),
])
def test_gauss_jordan_bit_for_bit(native, p, m):
    status, values = native("gj", [p], m)
    assert status == "ok"
    assert floats(values) == ref_gauss_jordan(m, p)


def test_gauss_jordan_ties_keep_the_earlier_row():
    m = [1.0, 1 / 3, 0.1, -1.0, 0.7, 0.3]
    assert ref_gauss_jordan(m, 2) != ref_gauss_jordan(m, 2, later_ties=True)


@pytest.mark.parametrize("p, m", [
    (1, [9.9e-11, 1.0]),
    (2, [1.0, 2.0, 1.0, 2.0, 4.0, 2.0]),
    (1, [NAN, 1.0]),                      # a NaN pivot is singular, not eliminated on
    (2, [NAN, 1.0, 1.0, NAN, 2.0, 1.0]),
])
def test_gauss_jordan_singular(native, p, m):
    assert native("gj", [p], m)[0] == "singular"


# ---- the model kernels ----------------------------------------------------------------------------

def fit(native, kind, alpha, x, y):
    x = np.asarray(x, dtype=float)
    rows, cols = x.shape
    out = native("fit", [kind, alpha, rows, cols], x.ravel(), y)
    return {"untrained": floats(out[0]), "status": out[1], "trained": out[2] == "1",
            "pred": floats(out[3]), "refit": out[4]}


def noiseless(rows=40, seed=5):
    rng = np.random.default_rng(seed)
    x = rng.normal(size=(rows, 3)) * [1.0, 10.0, 0.1]
    w, b = np.array([0.5, -2.0, 30.0]), 7.25
    return x, x @ w + b


@pytest.mark.parametrize("kind", [0, 1])
def test_noiseless_data_is_fitted_exactly(native, kind):
    x, y = noiseless()
    r = fit(native, kind, 0.0, x, y)
    assert r["status"] == "ok" and r["trained"]
    assert r["untrained"] == [0.0] * len(y)
    assert np.allclose(r["pred"], y, rtol=0, atol=1e-9)
    # a failed training (NaN targets) leaves the earlier solution in place
    assert r["refit"] == (SINGULAR if kind else LS_FAILED + "non-finite values in the features or targets") + " 1"


@pytest.mark.parametrize("alpha", [0.5, 3.0, 100.0])
def test_ridge_shrinks_as_the_closed_form(native, alpha):
    x, y = noiseless()
    y = y + np.random.default_rng(1).normal(size=len(y))
    w, b = ridge_fit(x, y, alpha)
    assert np.allclose(fit(native, 1, alpha, x, y)["pred"], x @ w + b, rtol=1e-12, atol=1e-10)


@pytest.mark.parametrize("kind, alpha, x, y, status", [
    (1, 1e-10, [[2.0, 3.0]], [4.5], "ok"),          # one row: zero weights, the row's target
    (1, 0.0, [[2.0, 3.0]], [4.5], SINGULAR),
    (1, 0.0, [[1.0, 5.0], [2.0, 5.0], [4.0, 5.0]], [1.0, 2.0, 4.0], SINGULAR),   # constant column
    (0, 0.0, [[1.0, 5.0], [2.0, 5.0], [4.0, 5.0]], [1.0, 2.0, 4.0], LS_FAILED + "rank-deficient features (rank 1 of 2 columns, 3 rows)"),
    (1, 1.0, np.zeros((0, 2)), [1.0, 2.0, 3.0], "Features and targets length mismatch"),
    (0, 0.0, np.zeros((0, 2)), [], "Empty training data"),
    (1, 1.0, np.zeros((3, 0)), [1.0, 2.0, 3.0], "No features provided"),
    (1, 1.0, [[1.0], [2.0], [3.0]], [1.0, NAN, 3.0], SINGULAR),      # NaN weights are no model
    (0, 0.0, [[1.0], [2.0], [3.0]], [1.0, NAN, 3.0], LS_FAILED + "non-finite values in the features or targets"),
    # no more rows than columns: never full rank, said before any decomposition, after the
    # finiteness the fit looks at first; the rank only bounded
    (0, 0.0, [[1.0, 2.0], [3.0, 5.0]], [1.0, 2.0],
     LS_FAILED + "rank-deficient features (rank at most 1 of 2 columns, 2 rows)"),
    (0, 0.0, [[1.0, 2.0, 7.0]], [1.0], LS_FAILED + "rank-deficient features (rank at most 0 of 3 columns, 1 rows)"),
    (0, 0.0, [[1.0, 2.0], [3.0, NAN]], [1.0, 2.0], LS_FAILED + "non-finite values in the features or targets"),
    (1, 1.0, [[1.0, 2.0], [3.0, 5.0]], [1.0, 2.0], "ok"),           # ridge has no such bound
])
def test_training_outcomes(native, kind, alpha, x, y, status):
    r = fit(native, kind, alpha, x, y)
    assert r["status"] == status
    assert r["trained"] == (status == "ok")
    if status != "ok":
        assert r["pred"] == [0.0] * len(x)
    elif len(x) == 1:
        assert r["pred"] == [4.5]


def test_ridge_constant_column_gets_zero_weight(native):
    x = np.array([[1.0, 5.0], [2.0, 5.0], [4.0, 5.0]])
    y = np.array([1.0, 2.0, 4.5])
    w, b = ridge_fit(x[:, :1], y, 1.0)
    assert np.allclose(fit(native, 1, 1.0, x, y)["pred"], x[:, 0] * w[0] + b, rtol=0, atol=1e-12)


# ---- feature preparation --------------------------------------------------------------------------

@pytest.mark.parametrize("n, lb", [(8, 3), (40, 2), (70, 5), (61, 10), (11, 10)])
def test_supertrend_features_against_reference(n, lb):
    close, atr, _ = market(n)
    flat, rows, cols = vl.py_prepare_supertrend_features(close, atr, lb)
    assert (rows, cols) == (n - lb, 2 * lb)
    raw = [close[r:r + lb] + [0.0 if math.isnan(a) else a for a in atr[r:r + lb]] for r in range(n - lb)]
    assert np.allclose(matrix(flat, rows, cols), ref_standardize(raw), rtol=0, atol=1e-12)


def test_atr2_features_hand_traced():
    close, atr, volume = [10.0, 11.0, 12.0, 6.0, 7.0], [NAN, 1.0, 2.0, NAN, 4.0], [1.0, 3.0, 5.0, 8.0, 2.0]
    raw = [[2.0, 1 / 11, 1.0],     # volume average at bar 0 still undefined
           [0.0, -0.5, 8.0 / 2.0],  # average of bars 0, 1 = 2
           [4.0, 1 / 6, 2.0 / 4.0]]  # average of bars 1, 2 = 4
    flat, rows, cols = vl.py_prepare_atr2_features(close, atr, volume, 2)
    assert (rows, cols) == (3, 3)
    assert np.allclose(matrix(flat, 3, 3), ref_standardize(raw), rtol=0, atol=1e-14)


def test_atr2_volume_column_in_warm_up_on_the_first_rows():
    close, atr, volume = market(60)
    flat, rows, _ = vl.py_prepare_atr2_features(close, atr, volume, 10)
    col = matrix(flat, rows, 3)[:, 2]
    assert len(set(col[:9])) == 1 and col[9] != col[0]


@pytest.mark.parametrize("kind", [1e4, 1e8, 1e300, "pair"])
def test_atr2_volume_average_recovers_after_an_extreme_volume(kind):
    # The extreme volume sits before bar `lookback`: it enters the averages but no row's own
    # volume, so the column keeps an ordinary scale and its standardization shows every row.
    close, atr, volume = market(300)
    lb = 10
    if kind == "pair":
        volume[4] = volume[5] = 1.5e308  # their sum overflows
    else:
        volume[4] *= kind
    flat, rows, _ = vl.py_prepare_atr2_features(close, atr, volume, lb)
    ratios = []
    for r in range(rows):
        avg = math.fsum(v / lb for v in volume[r + 1 - lb:r + 1]) if r + 1 >= lb else NAN
        ratios.append(volume[r + lb] / avg if abs(avg) >= 1e-10 else 1.0)
    want = [z for z, in ref_standardize([[x] for x in ratios])]
    assert np.allclose(matrix(flat, rows, 3)[:, 2], want, rtol=1e-9, atol=1e-9)


def test_momentum_features_hand_traced():
    assert vl.py_prepare_momentum_features([NAN, 40.0, 60.0], 1) == ([1.0, -1.0], 2, 1)  # NaN reads 50


@pytest.mark.parametrize("rows, expected", [(49, "column"), (50, "entry")])
def test_nan_standardization_switch_at_50_rows(rows, expected):
    close = random_walk(rows + 1, 9)
    close[7] = NAN
    flat, m, _ = vl.py_prepare_supertrend_features(close, [1.0] * (rows + 1), 1)
    col = matrix(flat, m, 2)[:, 0]
    if expected == "column":
        assert (col == 0.0).all()
    else:
        assert math.isnan(col[7]) and not np.isnan(np.delete(col, 7)).any()
        assert nan_equal(col.tolist(), [row[0] for row in ref_standardize([[c] for c in close[:-1]])], 1e-12)


@pytest.mark.parametrize("fn, args, expected", [
    (vl.py_prepare_supertrend_features, ([1.0] * 5, [1.0] * 5, 10), ([], 0, 20)),
    (vl.py_prepare_supertrend_features, ([1.0] * 5, [1.0] * 5, 2 ** 63 - 1), ([], 0, 2 ** 64 - 2)),
    (vl.py_prepare_momentum_features, ([50.0] * 3, 2 ** 64 - 1), ([], 0, 2 ** 64 - 1)),
    (vl.py_prepare_atr2_features, ([], [], [], 4), ([], 0, 3)),
    (vl.py_prepare_supertrend_features, ([3.0] * 4, [2.0] * 4, 1), ([0.0] * 6, 3, 2)),   # flat: all 0.0
    (vl.py_prepare_momentum_features, ([20.0, 30.0], 1), ([0.0], 1, 1)),                 # one row
])
def test_preparer_shapes(fn, args, expected):
    assert fn(*args) == expected


@pytest.mark.parametrize("which, lb, series, targets", [
    (0, 2, ([10.0, 11.0, 12.0, 6.0, 7.0], [1.0] * 5, [1.0] * 5), [-5.0, 5.0, 0.0]),
    (0, 1, ([50.0, 100.0, 97.0, 194.0, NAN], [1.0] * 5, [1.0] * 5), [-3.0, 5.0, NAN, 0.0]),
    (0, 1, ([1.0, 0.0, 2.0, 1.0], [1.0] * 4, [1.0] * 4), [5.0, -5.0, 0.0]),   # an infinite quotient
    (1, 1, ([NAN, 40.0, 60.0, NAN],), [0.0, 20.0, 0.0]),
    (2, 1, ([0.0, 2.0, 3.0, NAN, 1.0], [1.0] * 5), [0.0, 0.5, NAN, 0.0]),
])
def test_preparer_targets_hand_traced(native, which, lb, series, targets):
    assert nan_equal(floats(native("prep", [which, lb], *series)[0]), targets)


def test_longer_atr_and_volume_are_accepted():
    close, atr, volume = market(30)
    assert vl.py_prepare_atr2_features(close, atr + [5.0], volume + [1.0, 2.0], 4) == \
        vl.py_prepare_atr2_features(close, atr, volume, 4)


REFUSALS = [
    (vl.py_prepare_supertrend_features, ([1.0] * 5, [1.0] * 4, 2), "Length mismatch: close=5, atr=4"),
    (vl.py_prepare_atr2_features, ([1.0] * 5, [1.0] * 4, [1.0] * 5, 2), "Length mismatch: close=5, atr=4"),
    (vl.py_prepare_atr2_features, ([1.0] * 5, [1.0] * 5, [], 2), "Length mismatch: close=5, volume=0"),
    (vl.py_prepare_supertrend_features, ([1.0] * 5, [1.0] * 5, 0), "Parameter lookback out of range: 0 (valid range: 1..inf)"),
    (vl.py_prepare_momentum_features, ([1.0] * 5, 0), "Parameter lookback out of range: 0 (valid range: 1..inf)"),
    (vl.py_prepare_atr2_features, ([1.0] * 5, [1.0] * 3, [1.0] * 5, 0), "Length mismatch: close=5, atr=3"),
    (vl.py_prepare_supertrend_features, ([1.0], [1.0], 2 ** 63), "Invalid value at index 0: 2 x lookback overflow"),
    (vl.py_train_supertrend_model, ([1.0] * 50, [1.0] * 49), "Length mismatch: close=50, atr=49"),
    (vl.py_train_atr2_model, ([1.0] * 50, [1.0] * 50, [1.0] * 10), "Length mismatch: close=50, volume=10"),
    (vl.py_train_momentum_model, ([1.0] * 50, 200, 0), "Parameter lookback out of range: 0 (valid range: 1..inf)"),
]


@pytest.mark.parametrize("fn, args, message", REFUSALS)
def test_short_series_and_lookback_zero_are_refused(fn, args, message):
    assert value_error(fn, *args) == message


# ---- the training functions and SFGModel ----------------------------------------------------------

def test_sfgmodel_class_and_docstrings():
    with pytest.raises(TypeError):
        vl.SFGModel()
    assert vl.SFGModel.is_trained.__doc__ == "Check if model is trained"
    assert vl.SFGModel.features_dim.__doc__ == "Get feature dimension"
    assert vl.SFGModel.predict.__text_signature__ == "($self, features, n_samples)"
    assert vl.SFGModel.predict.__doc__.startswith("Predict using the trained model\n")
    assert "Flattened feature array (n_samples * n_features)" in vl.SFGModel.predict.__doc__
    for fn, title, returns in [
        (vl.py_train_supertrend_model, "Train an AI SuperTrend model", "Trained SFGModel"),
        (vl.py_train_atr2_model, "Train an ATR2 model with volume features", "Trained SFGModel"),
        (vl.py_train_momentum_model, "Train a momentum model", "Trained SFGModel"),
        (vl.py_prepare_supertrend_features, "Prepare SuperTrend features for prediction", "Tuple of (features_flat, n_samples, n_features)"),
        (vl.py_prepare_atr2_features, "Prepare ATR2 features for prediction", "Tuple of (features_flat, n_samples, n_features)"),
        (vl.py_prepare_momentum_features, "Prepare momentum features for prediction", "Tuple of (features_flat, n_samples, n_features)"),
    ]:
        assert fn.__doc__.startswith(title + "\n\n# Arguments\n") and fn.__doc__.endswith("# Returns\n" + returns)
    assert vl.py_train_supertrend_model.__text_signature__ == \
        "(close, atr, train_window=None, lookback=None, use_ridge=None, ridge_alpha=None)"
    assert "(default: false)" in vl.py_train_supertrend_model.__doc__


def sinusoid_rsi(n):
    return [50 + 20 * math.sin(0.3 * i) + 10 * math.sin(0.71 * i + 1) for i in range(n)]


def test_least_squares_recovers_a_noiseless_recurrence():
    # y = rsi - 50 obeys y[i] = s y[i-1] - (2 + pq) y[i-2] + s y[i-3] - y[i-4], s = p + q, so the
    # next change is an exact affine function of the four lags.
    p, q = 2 * math.cos(0.3), 2 * math.cos(0.71)
    a = [-1.0, p + q, -(2 + p * q), p + q - 1.0]          # on x[i-4] .. x[i-1]
    c = 50.0 * (1.0 - (-1.0 + (p + q) - (2 + p * q) + (p + q)))
    rsi = sinusoid_rsi(300)
    model = vl.py_train_momentum_model(rsi, 1000, 4)
    lags = np.array([rsi[r:r + 4] for r in range(296)])
    mean, sd = lags.mean(axis=0), lags.std(axis=0)
    w, b = read_back(model)
    assert np.allclose(w, np.array(a) * sd, rtol=1e-9, atol=0)
    assert math.isclose(b, c + np.dot(a, mean), rel_tol=1e-9)


def test_ridge_with_zero_penalty_recovers_noiseless_atr2_targets():
    # the "ATR" is chosen so that the next return in percent is 2 + atr - 3 x return, exactly
    close = random_walk(120, 4, start=500.0)
    r = [ref_return(close[i - 1], close[i]) for i in range(1, 120)]
    nxt = [100 * (close[i + 1] - close[i]) / close[i] for i in range(1, 119)]
    atr = [0.0] + [t - 2 + 3 * x for t, x in zip(nxt, r)] + [1.0]
    volume = [1.0 + (i % 7) for i in range(120)]
    model = vl.py_train_atr2_model(close, atr, volume, 1000, 1, 0.0)
    raw = np.array([[atr[i], r[i - 1]] for i in range(1, 120)])   # rows 0 .. 118, the last has no target
    w, b = read_back(model)
    assert np.allclose(w, [raw[:, 0].std(), -3 * raw[:, 1].std(), 0.0], rtol=0, atol=1e-9)
    assert math.isclose(b, 2 + raw[:, 0].mean() - 3 * raw[:, 1].mean(), rel_tol=1e-12)


def test_atr2_model_leaves_out_the_row_without_a_next_bar():
    # one training row: a ridge model predicts that row's target, here the clamped last change
    close = [100.0, 101.0, 100.0, 200.0]
    model = vl.py_train_atr2_model(close, [1.0] * 4, [1.0] * 4, 1, 1, 1.0)
    assert model.predict([0.3, -1.0, 2.0], 1) == [5.0]
    close[-1] = 97.0
    assert vl.py_train_atr2_model(close, [1.0] * 4, [1.0] * 4, 1, 1, 1.0).predict([0.0] * 3, 1) == [-3.0]
    assert value_error(vl.py_train_atr2_model, close[:2], [1.0] * 2, [1.0] * 2, 200, 1) == \
        "Insufficient data for training"


@pytest.mark.parametrize("use_ridge", [False, True])
def test_supertrend_model_trains_on_the_last_rows(use_ridge):
    close, atr, _ = market(300)
    model = vl.py_train_supertrend_model(close, atr, 120, 5, use_ridge, 2.0)
    flat, rows, cols = vl.py_prepare_supertrend_features(close, atr, 5)
    x = matrix(flat, rows, cols)
    y = np.array([ref_return(close[i - 1], close[i]) for i in range(5, 300)])
    w, b = ridge_fit(x[-120:], y[-120:], 2.0) if use_ridge else ls_fit(x[-120:], y[-120:])
    assert np.allclose(model.predict(flat, rows), x @ w + b, rtol=0, atol=1e-9)
    assert model.is_trained() and model.features_dim() == 10


TRAIN_CASES = [
    (vl.py_train_supertrend_model, lambda c, a, v: (c, a), (200, 10, False, 1.0)),
    (vl.py_train_atr2_model, lambda c, a, v: (c, a, v), (200, 10, 1.0)),
    (vl.py_train_momentum_model, lambda c, a, v: (vl.py_rsi(c, 14),), (200, 10)),
]


@pytest.mark.parametrize("fn, series, defaults", TRAIN_CASES)
def test_defaults_when_omitted_or_none(fn, series, defaults):
    close, atr, volume = market(400)
    args = series(close, atr, volume)
    probe = [0.1 * k for k in range(fn(*args).features_dim() * 3)]
    expected = fn(*args, *defaults).predict(probe, 3)
    assert fn(*args).predict(probe, 3) == expected
    assert fn(*args, *([None] * len(defaults))).predict(probe, 3) == expected
    other = list(defaults)
    other[0] = 100
    assert fn(*args, *other).predict(probe, 3) != expected


@pytest.mark.parametrize("given, effective", [
    ({"ridge_alpha": -3.0}, 0.0),
    ({"ridge_alpha": None}, 1.0),
    ({}, 1.0),                      # left out
    ({"ridge_alpha": 2}, 2.0),      # an int is a float
])
def test_supertrend_ridge_penalty_as_given(given, effective):
    close, atr, _ = market(300)
    probe = [0.2] * 20
    want = vl.py_train_supertrend_model(close, atr, 200, 10, True, effective).predict(probe, 1)
    assert vl.py_train_supertrend_model(close, atr, use_ridge=True, **given).predict(probe, 1) == want


def test_supertrend_ridge_penalties_are_told_apart():
    close, atr, _ = market(300)
    probe = [0.2] * 20
    got = [vl.py_train_supertrend_model(close, atr, 200, 10, True, a).predict(probe, 1)[0] for a in (0.0, 1.0, 2.0)]
    assert len(set(got)) == 3


def test_use_ridge_refuses_a_non_bool():
    with pytest.raises(TypeError, match=r"^argument 'use_ridge': 'int' object cannot be cast as 'bool'$"):
        vl.py_train_supertrend_model([1.0] * 30, [1.0] * 30, use_ridge=1)


@pytest.mark.parametrize("call, message", [
    (lambda: vl.py_train_momentum_model([50.0] * 10), "Insufficient data for training"),
    (lambda: vl.py_train_momentum_model(sinusoid_rsi(40), 0, 4), "Empty training data"),
    (lambda: vl.py_train_supertrend_model(*market(60)[:2], 1, 5, True, 0.0), SINGULAR),
    (lambda: vl.py_train_supertrend_model([5.0] * 60, [1.0] * 60, 30, 5, True, 0.0), SINGULAR),
    (lambda: vl.py_train_supertrend_model([5.0] * 60, [1.0] * 60), LS_FAILED + "rank-deficient"),
])
def test_training_failures(call, message):
    with pytest.raises(ValueError) as e:
        call()
    assert str(e.value).startswith(message)


@pytest.mark.parametrize("train, n, tw, lb, rows, columns", [
    (lambda c, a, tw, lb: vl.py_train_supertrend_model(c, a, tw, lb), 8000, 4000, 2000, 4000, 4000),
    (lambda c, a, tw, lb: vl.py_train_supertrend_model(c, a, tw, lb), 12000, 6000, 3000, 6000, 6000),
    (lambda c, a, tw, lb: vl.py_train_supertrend_model(c, a, tw, lb), 40000, 40000, 16383, 23617, 32766),
    (lambda c, a, tw, lb: vl.py_train_momentum_model(vl.py_rsi(c, 14), tw, lb), 9000, 3000, 6000, 3000, 6000),
], ids=["8000-bars", "12000-bars", "40000-bars", "momentum"])
def test_a_least_squares_fit_on_no_more_rows_than_columns_fails_at_once(train, n, tw, lb, rows, columns):
    # Decomposed, the first two took 27 s and 86 s to say so, the third built 6 GB first.
    close, atr, _ = market(n)
    began = time.perf_counter()
    message = value_error(train, close, atr, tw, lb)
    assert time.perf_counter() - began < 1
    assert message == LS_FAILED + f"rank-deficient features (rank at most {rows - 1} of {columns} columns, {rows} rows)"


@pytest.mark.parametrize("rows", [30, 80])
@pytest.mark.parametrize("use_ridge", [False, True])
def test_nan_in_the_data_is_a_failed_training(rows, use_ridge):
    # below 50 rows the NaN close zeroes its columns and leaves a NaN target; from 50 rows on the
    # NaN stays in the features: either way the solution would hold NaN
    close, atr, _ = market(rows + 5)
    close[rows // 2] = NAN
    message = SINGULAR if use_ridge else LS_FAILED + "non-finite values in the features or targets"
    assert value_error(vl.py_train_supertrend_model, close, atr, 200, 5, use_ridge, 1.0) == message


def test_predict_checks_in_order():
    model = vl.py_train_atr2_model(*market(100))
    assert model.is_trained() and model.features_dim() == 3
    assert model.predict([], 0) == []
    with pytest.raises(TypeError, match="^argument 'features'"):
        model.predict("abc", "x")
    with pytest.raises(TypeError, match="^argument 'n_samples'"):
        model.predict([1.0], "x")
    with pytest.raises(OverflowError):
        model.predict([1.0], -1)
    assert value_error(model.predict, [1.0, 2.0], 1) == "Expected 3 features (1x3), got 2"
    assert value_error(model.predict, [1.0, 2.0], 2 ** 63) == \
        "Expected 9223372036854775808x3 features (more than 64 bits can count), got 2"
    assert value_error(model.predict, [], 6148914691236517206) == \
        "Expected 6148914691236517206x3 features (more than 64 bits can count), got 0"
    assert value_error(model.predict, [], 6148914691236517205) == \
        "Expected 18446744073709551615 features (6148914691236517205x3), got 0"


# ---- the online trainers --------------------------------------------------------------------------

def online(native, which, tw, lb, *series, alpha=1.0, kind=0, poly=False):
    out = native("online", [which, tw, lb, alpha, kind, int(poly)], *series)[0]
    return floats(out) if out.startswith("v") else out


ONLINE = [  # which, series of n bars, matching training function, its extra arguments
    (0, lambda c, a, v: (c, a, v), vl.py_train_atr2_model, vl.py_prepare_atr2_features, (1.0,)),
    (1, lambda c, a, v: (vl.py_rsi(c, 14),), vl.py_train_momentum_model, vl.py_prepare_momentum_features, ()),
    (2, lambda c, a, v: (c, a), vl.py_train_supertrend_model, vl.py_prepare_supertrend_features, (False, 1.0)),
]


@pytest.mark.parametrize("which, series, train, prepare, extra", ONLINE)
def test_online_first_rows_equal_the_last_rows_fit_when_they_coincide(native, which, series, train, prepare, extra):
    tw, lb = 90, 6
    args = series(*market(tw + lb))
    got = online(native, which, tw, lb, *args)
    flat, rows, _ = prepare(*args, lb)
    assert got[:lb] == [0.0] * lb
    assert np.allclose(got[lb:], train(*args, tw, lb, *extra).predict(flat, rows), rtol=0, atol=1e-12)
    assert online(native, which, tw, lb, *series(*market(tw + lb - 1))) == [0.0] * (tw + lb - 1)
    assert online(native, which, 0, lb, *args) == [0.0] * (tw + lb)


@pytest.mark.parametrize("which, kind, use_poly", [(1, 0, False), (1, 0, True), (2, 0, False), (2, 1, True), (0, 1, False)])
def test_online_fits_the_first_rows(native, which, kind, use_poly):
    tw, lb, n = 150, 3, 400
    close, atr, volume = market(n)
    args = [(close, atr, volume), (vl.py_rsi(close, 14),), (close, atr)][which]
    flat, rows, cols = [vl.py_prepare_atr2_features, vl.py_prepare_momentum_features,
                        vl.py_prepare_supertrend_features][which](*args, lb)
    x = matrix(flat, rows, cols)
    x = poly_features(x) if use_poly else x
    y = {0: [max(-5.0, min(5.0, 100 * (close[i + 1] - close[i]) / close[i])) for i in range(lb, n - 1)] + [0.0],
         1: [args[0][i] - args[0][i - 1] if not math.isnan(args[0][i] + args[0][i - 1]) else 0.0
             for i in range(lb, n)],
         2: [ref_return(close[i - 1], close[i]) for i in range(lb, n)]}[which]
    y = np.array(y)
    w, b = ridge_fit(x[:tw], y[:tw], 2.0) if kind else ls_fit(x[:tw], y[:tw])
    got = online(native, which, tw, lb, *args, alpha=2.0, kind=kind, poly=use_poly)
    assert np.allclose(got[lb:], x @ w + b, rtol=0, atol=1e-9)


@pytest.mark.parametrize("which, args, message", [
    (0, ([1.0] * 5, [1.0] * 5, [1.0] * 4), "error Length mismatch: close=5, volume=4"),
    (2, ([1.0] * 5, [1.0] * 2), "error Length mismatch: close=5, atr=2"),
    (1, ([1.0] * 5,), "error Parameter lookback out of range: 0 (valid range: 1..inf)"),
])
def test_online_refusals(native, which, args, message):
    assert online(native, which, 2, 0 if which == 1 else 1, *args) == message


def test_online_training_failure_gives_zeros(native):
    close, atr, _ = market(40)
    # a flat close leaves only zero columns: the least-squares fit fails
    assert online(native, 2, 20, 3, [5.0] * 40, [1.0] * 40) == [0.0] * 40
    # one training row and no penalty: singular
    assert online(native, 2, 1, 3, close, atr, alpha=0.0, kind=1) == [0.0] * 40
    assert online(native, 2, 1, 3, close, atr, alpha=-1.0, kind=1) == [0.0] * 40
    assert online(native, 2, 1, 3, close, atr, alpha=1.0, kind=1)[3:] == [ref_return(close[2], close[3])] * 37


# ---- only the fitted and predicted rows built: the whole matrix's results, bit for bit -----------

def bits(values):
    """Values as their bit patterns (signed zeros told apart), NaN as one token."""
    return ["nan" if x != x else struct.pack("<d", x) for x in values]


def kahan_standardize(rows):
    """The matrix path's z-scores bit for bit: each column summed in row order, plainly below
    50 rows, from 50 on with compensated sums that skip NaN terms; divided by the row count."""
    n, out = len(rows), [list(r) for r in rows]

    def total(values):
        s = c = 0.0
        for v in values:
            if n < 50:
                s += v
            elif v == v:
                y = v - c
                t = s + y
                s, c = t, (t - s) - y
        return s

    for j in range(len(rows[0])):
        col = [r[j] for r in rows]
        mean = total(col) / n
        sd = math.sqrt(total([(x - mean) * (x - mean) for x in col]) / n)
        for i, x in enumerate(col):
            out[i][j] = (x - mean) / sd if sd > 1e-10 else 0.0
    return out


def warmed_up(n, seed, gap=None):
    """close, ATR and RSI of random bars: the indicators open with NaN warm-ups; gap puts a
    NaN close at that bar (after the indicators are taken)."""
    rng = random.Random(seed)
    close = random_walk(n, seed)
    high = [c + rng.random() for c in close]
    low = [c - rng.random() for c in close]
    atr, rsi = vl.py_atr(high, low, close, 14), vl.py_rsi(close, 14)
    if gap is not None:
        close[gap] = NAN
    return close, atr, [1e3 + 1e4 * rng.random() for _ in range(n)], rsi


@pytest.mark.parametrize("which, n, lb, gap", [
    ("momentum", 45, 3, None),       # below the 50-row switch, NaN warm-up read as 50.0
    ("momentum", 400, 12, None),
    ("supertrend", 52, 2, None),     # 50 rows exactly
    ("supertrend", 300, 7, None),
    ("supertrend", 300, 7, 150),     # a NaN close inside: skipped by the compensated sums
    ("supertrend", 40, 5, 20),       # the same below the switch: its columns turn to 0.0
])
def test_prepared_matrix_is_the_matrix_standardization(which, n, lb, gap):
    close, atr, _, rsi = warmed_up(n, 7, gap)
    if which == "momentum":
        flat, rows, cols = vl.py_prepare_momentum_features(rsi, lb)
        raw = [[50.0 if math.isnan(v) else v for v in rsi[r:r + lb]] for r in range(n - lb)]
    else:
        flat, rows, cols = vl.py_prepare_supertrend_features(close, atr, lb)
        raw = [close[r:r + lb] + [0.0 if math.isnan(a) else a for a in atr[r:r + lb]] for r in range(n - lb)]
    assert bits(flat) == bits([x for row in kahan_standardize(raw) for x in row])


WHOLE = [  # by `which`: its series among (close, atr, volume, rsi), its preparer, its training function
    (lambda c, a, v, r: (c, a, v), vl.py_prepare_atr2_features,
     lambda s, tw, lb, kind, alpha: vl.py_train_atr2_model(*s, tw, lb, alpha)),
    (lambda c, a, v, r: (r,), vl.py_prepare_momentum_features, lambda s, tw, lb, kind, alpha: vl.py_train_momentum_model(*s, tw, lb)),
    (lambda c, a, v, r: (c, a), vl.py_prepare_supertrend_features,
     lambda s, tw, lb, kind, alpha: vl.py_train_supertrend_model(*s, tw, lb, kind == 1, alpha)),
]


@pytest.mark.parametrize("which, n, tw, lb, kind, alpha, gap", [
    (2, 400, 120, 5, 0, 1.0, None),
    (2, 400, 200, 10, 1, 2.5, None),
    (2, 45, 200, 3, 0, 1.0, None),      # every row fitted, below the 50-row switch
    (2, 300, 100, 4, 1, 0.0, 200),      # a NaN close in the fitted rows: singular
    (2, 300, 100, 4, 0, 1.0, 200),      # ... and non-finite for least squares
    (2, 300, 20, 15, 0, 1.0, None),     # fewer rows than columns: rank-deficient
    (2, 300, 30, 15, 0, 1.0, None),     # as many rows as columns: so too
    (2, 300, 20, 15, 0, 1.0, 270),      # a NaN close the fitted rows read: non-finite first
    (2, 300, 20, 15, 0, 1.0, 290),      # ... and a NaN target among them
    (2, 300, 20, 15, 0, 1.0, 100),      # one they do not read: rank-deficient all the same
    (2, 45, 10, 5, 0, 1.0, 40),         # below the 50-row switch, a NaN target among the fitted
    (2, 45, 10, 5, 0, 1.0, 20),         # ... and a NaN that only zeroes columns
    (1, 300, 40, 50, 0, 0.0, None),
    (0, 300, 200, 10, 1, 1.0, None),    # the row without a next bar among the fitted ones
    (0, 40, 1000, 14, 1, 0.5, None),
    (1, 500, 200, 10, 0, 0.0, None),
    (1, 60, 30, 4, 0, 0.0, None),
    (1, 300, 0, 4, 0, 0.0, None),       # no row fitted
])
def test_training_functions_fit_as_the_whole_matrix_does(native, which, n, tw, lb, kind, alpha, gap):
    pick, prepare, train = WHOLE[which]
    series = pick(*warmed_up(n, 11, gap))
    flat, rows, _ = prepare(*series, lb)
    whole = native("whole", [which, tw, lb, alpha, kind, 0, 1], *series)[0]
    try:
        model = train(series, tw, lb, kind, alpha)
    except ValueError as e:
        assert whole == "failed " + str(e)
        return
    assert bits(model.predict(flat, rows)) == bits(floats(whole))


@pytest.mark.parametrize("which, lb, kind, poly, rows, fits", [
    # 80 columns are predicted 3272 rows at a time: a chunk's end, a lone last row, two of them
    (2, 40, 0, False, 3272, True), (2, 40, 0, False, 3273, True), (2, 40, 0, False, 3274, True),
    (2, 40, 0, False, 6545, True), (2, 40, 1, False, 3273, True),
    (1, 8, 0, True, 5953, True),       # 44 widened columns, 5952 rows a chunk
    (1, 5, 0, False, 700, True),
    (0, 10, 1, False, 900, True),
    (1, 20, 0, True, 400, False),      # 230 widened columns for 200 fitted rows
    (2, 150, 0, False, 500, False),    # 300 columns for 200 rows
    (2, 99, 0, False, 500, True),      # two rows more than columns (centring costs one)
    (2, 100, 0, False, 500, False),    # as many rows as columns
    (2, 14, 1, False, 1, True),        # a single row, fitted and predicted
])
def test_online_trainers_predict_as_the_whole_matrix_does(native, which, lb, kind, poly, rows, fits):
    tw = min(200, rows)
    args = WHOLE[which][0](*warmed_up(rows + lb, 5))
    streamed = online(native, which, tw, lb, *args, alpha=1.5, kind=kind, poly=poly)
    whole = native("whole", [which, tw, lb, 1.5, kind, int(poly), 0], *args)[0]
    expected = [0.0] * lb + floats(whole) if whole.startswith("v") else [0.0] * (rows + lb)
    assert bits(streamed) == bits(expected)
    assert any(streamed[lb:]) == fits


MEMORY_PROBE = r"""
import math, resource
import vorn_library.vorn_library as vl
n, lb = 20000, 5000
close = [100.0 + 10 * math.sin(i / 50) + (i * 7919 % 101) / 50 for i in range(n)]
high, low = [c + 1.0 for c in close], [c - 1.0 for c in close]
atr, rsi, volume = vl.py_atr(high, low, close, 14), vl.py_rsi(close, 14), [1.0] * n
start = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
out = []
for call in (lambda: vl.py_train_supertrend_model(close, atr, 200, lb),
             lambda: vl.py_train_momentum_model(rsi, 200, lb),
             lambda: vl.py_train_atr2_model(close, atr, volume, 200, lb)):
    try:
        out.append(call().features_dim())
    except ValueError as e:
        out.append(str(e))
out.append(sum(map(abs, vl.py_ai_supertrend_ml(high, low, close, 10, 3.0, "linreg", lb, 200)[3])))
out.append(sum(map(abs, vl.py_ai_momentum_index_ml(close, 14, 3, True, lb, 200)[1])))
print(out)
print((resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - start) // 1024)
"""


# A sanitizer maps terabytes of shadow memory up front, so no address-space cap can be set under it.
NO_ADDRESS_CAP = pytest.mark.skipif(bool(os.environ.get("VORN_SANITIZE")),
                                    reason="VORN_SANITIZE: a sanitizer build cannot run under an address-space cap")


def capped_child(code, gigabytes):
    """Runs code in a child process that may not map more than the given gigabytes; its output lines."""
    if (hard := resource.getrlimit(resource.RLIMIT_AS)[1]) != resource.RLIM_INFINITY and hard < gigabytes << 30:
        pytest.skip(f"the runner's own RLIMIT_AS is below the {gigabytes} GB the child is given")
    child = f"import resource; resource.setrlimit(resource.RLIMIT_AS, ({gigabytes} << 30, {gigabytes} << 30))\n" + code
    env = dict(os.environ, PYTHONPATH=str(pathlib.Path(vl.__file__).resolve().parents[1]))
    run = subprocess.run([sys.executable, "-c", child], capture_output=True, text=True, env=env, timeout=120)
    assert run.returncode == 0, run.stderr[-2000:]
    return run.stdout.splitlines()


@NO_ADDRESS_CAP
def test_a_long_lookback_builds_only_the_fitted_rows():
    # The whole matrices here would take 0.6 and 1.2 GB (15000 rows of 5000 or 10000 columns),
    # the widened one far more; the rows fitted take 16 MB at most. The child may not map more
    # than 2 GB in all.
    results, grown = capped_child(MEMORY_PROBE, 2)
    st, mo, atr2, *zeros = eval(results)
    rank = r"Linear regression training failed: rank-deficient features \(rank at most 199 of {} columns, 200 rows\)$"
    assert re.match(rank.format(10000), st) and re.match(rank.format(5000), mo)
    assert (atr2, zeros) == (3, [0.0, 0.0])
    assert int(grown) < 200


OVERSIZED_PROBE = r"""
import os, resource
import vorn_library.vorn_library as vl
memory = os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE")
lb = 1 << 14
rows = memory // (48 * lb) + 1     # rows x lb values at 48 bytes each: just past the machine
close = [100.0 + i % 7 for i in range(rows + lb)]
print(memory, rows, lb)
for call in (lambda: vl.py_prepare_momentum_features(close, lb),
             lambda: vl.py_prepare_supertrend_features(close, close, lb)):
    try:
        call()
        print("built")
    except MemoryError as e:
        print(e)
print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss // 1024)
"""


@NO_ADDRESS_CAP
def test_a_feature_matrix_larger_than_the_machine_is_refused_before_it_is_built():
    # Unrefused, the matrix (8 bytes a value, more than the cap) would fail to allocate with no
    # word of its size, and without the cap the list would be built until the process was
    # killed. The refusal gives the size and the tightest limit (the cap, or the memory
    # available on a machine with less to spare), and comes before anything large is touched.
    sizes, *messages, peak = capped_child(OVERSIZED_PROBE, 8)
    memory, rows, lb = map(int, sizes.split())
    assert len(messages) == 2
    for message, v in zip(messages, (rows * lb, rows * 2 * lb)):
        limit = r"(the address-space limit \(RLIMIT_AS\) leaves|the memory available is) (\d+)"
        match = re.fullmatch(f"Result too large for memory: {v} values need {48 * v} bytes, {limit}", message)
        assert match and int(match[2]) < 8 << 30, message
    assert int(peak) < 500
