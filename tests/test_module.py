"""Module start-up and registration."""
import subprocess
import sys

ORDER_HEAD = ["Candle", "IndicatorResult", "MultiIndicatorResult"]
MA_RUN_1 = ["py_sma", "py_ema", "py_rma", "py_wma", "py_hma", "py_dema", "py_tema"]
MA_RUN_2 = ["py_zlma", "py_t3", "py_kama", "py_frama"]


# Classes and functions in the order the module body registers them.
REGISTRATION = """
Candle IndicatorResult MultiIndicatorResult OhlcvFrame py_true_range py_atr py_natr py_bollinger_bands
py_keltner_channel py_donchian_channel py_chandelier_exit py_historical_volatility py_ulcer_index
py_mass_index py_rsi py_macd py_stochastic py_stochrsi py_stoch_rsi py_cci py_williams_r py_awesome_oscillator
py_fisher_transform py_supertrend py_adx py_dmi py_aroon py_psar py_parabolic_sar py_trix py_dpo py_obv
py_vwap py_mfi py_force_index py_cmf py_volume_oscillator py_volume_profile py_sma py_ema py_rma py_wma py_hma
py_dema py_tema py_fib_retracement py_fib_extension py_fibonacci_retracement py_fibonacci_extension
py_dynamic_fib_retracement py_detect_fib_touch py_fib_fan_lines py_fib_time_zones py_ichimoku_cloud
py_ichimoku_signals py_ichimoku_tk_cross py_cloud_thickness py_cloud_color py_standard_pivots
py_classic_pivots py_fibonacci_pivots py_camarilla_pivots py_woodie_pivots py_demark_pivots
py_calc_pivot_series py_detect_pivot_touch py_pivot_zone py_kdj py_tsi py_ultimate_oscillator py_mom py_roc
py_vortex py_choppiness py_qstick py_vhf py_ad py_pvt py_nvi py_pvi py_eom py_zlma py_t3 py_kama py_frama
py_doji py_hammer py_inverted_hammer py_hanging_man py_bullish_engulfing py_bearish_engulfing
py_bullish_harami py_bearish_harami py_piercing_pattern py_dark_cloud_cover py_morning_star py_evening_star
py_three_white_soldiers py_three_black_crows py_linear_regression py_correlation py_zscore py_covariance
py_beta py_standard_error py_stderr py_avgprice py_medprice py_typprice py_wclprice py_max py_min py_sum
py_sqrt py_ln py_log10 py_exp py_abs py_ceil py_floor py_sin py_cos py_tan py_asin py_acos py_atan py_sinh
py_cosh py_tanh py_add py_sub py_mult py_div py_minmax py_minmaxindex py_shooting_star py_marubozu
py_spinning_top py_dragonfly_doji py_gravestone_doji py_long_legged_doji py_tweezers_top py_tweezers_bottom
py_rising_three_methods py_falling_three_methods py_harami_cross py_morning_doji_star py_evening_doji_star
py_three_inside py_three_outside py_abandoned_baby py_kicking py_long_line py_short_line py_doji_star
py_identical_three_crows py_stick_sandwich py_tristar py_upside_gap_two_crows py_gap_sidesidewhite py_takuri
py_homing_pigeon py_matching_low py_separating_lines py_thrusting py_inneck py_onneck py_advance_block
py_stalled_pattern py_belthold py_concealing_baby_swallow py_counterattack py_highwave py_hikkake
py_hikkake_mod py_ladder_bottom py_mat_hold py_rickshaw_man py_unique_3_river py_xside_gap_3_methods
py_closing_marubozu py_breakaway py_midpoint py_midprice py_trima py_sar py_sarext py_mama py_ai_supertrend
py_ai_momentum_index py_dynamic_macd py_atr2_signals py_ai_supertrend_ml py_atr2_signals_ml
py_ai_momentum_index_ml py_pivot_buy_sell py_detect_divergence py_fvg_signals py_volume_filter
py_combine_signals py_calculate_stops py_trailing_stop py_pd_array_signals py_breaker_block_signals
py_general_parameters_signals py_linreg_supply_demand_signals py_ht_dcperiod py_ht_dcphase py_ht_phasor
py_ht_sine py_ht_trendmode py_correl py_linearreg py_linearreg_slope py_linearreg_angle py_linearreg_intercept
py_var py_tsf py_adosc py_apo py_ppo py_cmo py_dx py_plus_di py_minus_di py_entropy py_aberration py_squeeze
py_qqe py_cti py_er py_bias py_psl py_rvi py_inertia py_alligator py_efi py_kst py_stc py_tdfi py_wae py_smi
py_coppock py_pgo py_vwma py_alma py_vidya py_pwma py_sinwma py_swma py_bop py_ssl_channel py_cfo py_slope
py_percent_rank PyHarmonicPattern py_harmonics py_harmonics_patterns py_swing_points OnlineSMA OnlineEMA
OnlineRSI OnlineATR OnlineMACD OnlineBollingerBands OnlineStochastic OnlineSuperTrend OnlineAdaptiveRSI
OnlineEnsembleSignal EnsembleSignalResult OnlineMLSuperTrend MLSuperTrendResult OnlineAISuperTrendML
AISuperTrendMLResult SFGModel py_train_supertrend_model py_train_atr2_model py_train_momentum_model
py_prepare_supertrend_features py_prepare_atr2_features py_prepare_momentum_features
""".split()


def test_all_follows_the_registration_order(m):
    assert len(REGISTRATION) == len(set(REGISTRATION)) == 281
    # every class and function, each once, in the fixed order
    assert m.__all__ == REGISTRATION
    assert type(m.__all__) is list and all(type(n) is str for n in m.__all__)


def test_docstring_and_all(m):
    assert m.__doc__ == ""
    assert m.__all__[:3] == ORDER_HEAD
    assert len(m.__all__) == len(set(m.__all__))
    for name in m.__all__:
        obj = getattr(m, name)
        if not isinstance(obj, type):
            assert obj.__module__ == m.__name__
            assert obj.__self__ is m


def test_relative_registration_order(m):
    names = m.__all__
    pos = {n: i for i, n in enumerate(names)}
    run = [n for n in MA_RUN_1 + MA_RUN_2 if n in pos]
    assert run == MA_RUN_1 + MA_RUN_2
    assert [pos[n] for n in run] == sorted(pos[n] for n in run)
    # Later families slot in around the moving averages, never inside the first run.
    assert pos["py_tema"] - pos["py_sma"] == 6


def run_python(code):
    """Runs code in a fresh interpreter; returns its stripped standard output."""
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True)
    assert out.returncode == 0, out.stderr
    return out.stdout.strip()


def test_reimport_yields_same_object():
    code = (
        "import sys, importlib\n"
        "import vorn_library.vorn_library as a\n"
        "n = len(a.__all__)\n"
        "a.marker = 1\n"
        "del sys.modules['vorn_library.vorn_library']\n"
        "b = importlib.import_module('vorn_library.vorn_library')\n"
        "assert a is b, 'different module objects'\n"
        "assert len(b.__all__) == n and b.marker == 1\n"
        "print('ok')\n"
    )
    assert run_python(code) == "ok"


def test_second_interpreter_is_refused():
    code = (
        "import vorn_library.vorn_library as a\n"
        "import _xxsubinterpreters as interp\n"
        "sub = interp.create()\n"
        "try:\n"
        "    interp.run_string(sub, 'import vorn_library.vorn_library')\n"
        "except Exception as e:\n"
        "    print('refused', 'ImportError' in str(e))\n"
        "else:\n"
        "    print('imported')\n"
        "assert a.py_sma([1.0, 2.0], 1) == [1.0, 2.0]\n"
    )
    assert run_python(code) == "refused True"
