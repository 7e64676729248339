// Stochastic family: the stochastic oscillator, KDJ, Williams %R and the stochastic RSI.
#include "indicators/momentum/stochastic.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace mom = indicators::momentum;

namespace {

Result<Series> williams_r(const Series& high, const Series& low, const Series& close,
                          std::optional<std::uint64_t> period) {
    return mom::williams_r(high, low, close, period.value_or(14));
}

// One computation behind both registered names.
Result<mom::StochasticSeries> stoch_rsi(const Series& close, std::optional<std::uint64_t> rsi_period,
                                        std::optional<std::uint64_t> stoch_period,
                                        std::optional<std::uint64_t> k_period, std::optional<std::uint64_t> d_period) {
    return mom::stochastic_rsi(close, rsi_period.value_or(14), stoch_period.value_or(14), k_period.value_or(3),
                               d_period.value_or(3));
}

constexpr const char* stochastic_doc =
    "py_stochastic(high, low, close, k_period=14, smooth_k=3, d_period=3)\n--\n\n"
    "Calculate Stochastic Oscillator\n\n"
    "Places each close within the range of the highest high and lowest low of the last\n"
    "`k_period` bars (0 at the low, 100 at the high, 50 on a flat window), smooths that\n"
    "raw %K over `smooth_k` bars and takes %D as the simple average of %K over `d_period`.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\n"
    "k_period : int\n    Look-back of the highest high and lowest low (default: 14)\n"
    "smooth_k : int\n    Smoothing of the raw %K (default: 3)\n"
    "d_period : int\n    Period of the %D average (default: 3)\n\n"
    "Returns\n-------\ntuple[list[float], list[float]]\n    (%K, %D), NaN during the warm-up\n\n"
    "Raises\n------\nValueError\n"
    "    If the series are empty, differ in length or hold non-finite values, or if a\n"
    "    period is 0 or greater than the data length\n";

constexpr const char* kdj_doc =
    "py_kdj(high, low, close, k_period=9, smooth_k=3, d_period=3)\n--\n\n"
    "Calculate KDJ Indicator\n\n"
    "The stochastic oscillator's K and D lines with J = 3 * K - 2 * D.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\n"
    "k_period : int\n    Look-back of the highest high and lowest low (default: 9)\n"
    "smooth_k : int\n    Smoothing of the raw K (default: 3)\n"
    "d_period : int\n    Period of the D average (default: 3)\n\n"
    "Returns\n-------\ntuple[list[float], list[float], list[float]]\n"
    "    (K, D, J), NaN during the warm-up; J is NaN wherever D is\n\n"
    "Raises\n------\nValueError\n"
    "    If the series are empty, differ in length or hold non-finite values, or if a\n"
    "    period is 0 or greater than the data length\n";

constexpr const char* williams_r_doc =
    "py_williams_r(high, low, close, period=14)\n--\n\n"
    "Calculate Williams %R\n\n"
    "Distance of the close below the highest high of the last `period` bars, as a share\n"
    "of that window's range: 0 at the high, -100 at the low, -50 on a flat window.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\n"
    "period : int\n    Look-back period (None selects 14)\n\n"
    "Returns\n-------\nlist[float]\n    Williams %R values, NaN before index period - 1\n\n"
    "Raises\n------\nValueError\n"
    "    If the series are empty, differ in length or hold non-finite values, or if the\n"
    "    period is 0 or greater than the data length\n";

constexpr const char* stochrsi_doc =
    "py_stochrsi(close, rsi_period=14, stoch_period=14, k_period=3, d_period=3)\n--\n\n"
    "Calculate Stochastic RSI\n\n"
    "The stochastic oscillator applied to the RSI: each RSI value placed within the range\n"
    "of the last `stoch_period` RSI values (50 on a flat window), averaged over `k_period`\n"
    "for %K and again over `d_period` for %D.\n\n"
    "Parameters\n----------\n"
    "close : list[float]\n    Close prices\n"
    "rsi_period : int\n    RSI period (None selects 14)\n"
    "stoch_period : int\n    Look-back of the RSI's extremes (None selects 14)\n"
    "k_period : int\n    Period of the %K average (None selects 3)\n"
    "d_period : int\n    Period of the %D average (None selects 3)\n\n"
    "Returns\n-------\ntuple[list[float], list[float]]\n    (%K, %D), NaN during the warm-up\n\n"
    "Raises\n------\nValueError\n"
    "    If close is empty or holds non-finite values, if a period is 0, if rsi_period is\n"
    "    not below the data length, or if k_period or d_period exceeds it\n";

}  // namespace

ENTRY(py_stochastic, mom::stochastic)(
    stochastic_doc, arg("high"), arg("low"), arg("close"), omissible("k_period", std::uint64_t{14}),
    omissible("smooth_k", std::uint64_t{3}), omissible("d_period", std::uint64_t{3}));
ENTRY(py_kdj, mom::kdj)(kdj_doc, arg("high"), arg("low"), arg("close"),
                                                   omissible("k_period", std::uint64_t{9}),
                                                   omissible("smooth_k", std::uint64_t{3}),
                                                   omissible("d_period", std::uint64_t{3}));
ENTRY(py_williams_r, williams_r)(williams_r_doc, arg("high"), arg("low"),
                                                                   arg("close"), arg_or_none("period"));
ENTRY(py_stochrsi, stoch_rsi)(stochrsi_doc, arg("close"), arg_or_none("rsi_period"), arg_or_none("stoch_period"),
                                  arg_or_none("k_period"), arg_or_none("d_period"));
ENTRY(py_stoch_rsi, stoch_rsi)(
    "py_stoch_rsi(close, rsi_period=14, stoch_period=14, k_period=3, d_period=3)\n--\n\n", arg("close"),
    arg_or_none("rsi_period"), arg_or_none("stoch_period"), arg_or_none("k_period"), arg_or_none("d_period"));


}  // namespace vorn::py::families
