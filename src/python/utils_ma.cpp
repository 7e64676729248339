// Moving averages.
#include "python/families.hpp"
#include "utils/ma.hpp"

namespace vorn::py::families {

namespace ma = utils::ma;

namespace {

constexpr Line kValues{"values", "list[float]", "Input price series"};
constexpr Line kPeriod{"period", "int", "Lookback period"};
constexpr Line kPeriod20{"period", "int", "Lookback period (default: 20)"};

// The sections every moving average shares, around its own parameter lines.
template <class... L>
Doc ma_doc(const char* text, const L&... lines) {
    return doc(text, params(kValues, lines...),
               returns("list[float]", "Moving average values, NaN where the average is not yet defined"),
               raises("If period <= 0 or insufficient data"));
}

}  // namespace

ENTRY(py_sma, ma::sma)(
    ma_doc("Calculate Simple Moving Average (SMA)\n\nThe arithmetic mean of the last `period` values.", kPeriod20)
        .plus(examples(">>> py_sma([1.0, 2.0, 3.0, 4.0, 5.0], 3)\n[nan, nan, 2.0, 3.0, 4.0]\n")),
    arg("values"), arg("period"));
ENTRY(py_ema, ma::ema)(
    ma_doc("Calculate Exponential Moving Average (EMA)\n\n"
           "Exponential smoothing with alpha = 2 / (period + 1), seeded with the mean of the first `period` values.",
           kPeriod20),
    arg("values"), arg("period"));
ENTRY(py_rma, ma::rma)(
    ma_doc("Calculate Rolling/Wilder Moving Average (RMA)\n\n"
           "Wilder's smoothing with alpha = 1 / period, seeded with the mean of the first `period` values.",
           kPeriod),
    arg("values"), arg("period"));
ENTRY(py_wma, ma::wma)(
    ma_doc("Calculate Weighted Moving Average (WMA)\n\n"
           "Linearly weighted mean of the last `period` values, the newest weighted most.",
           kPeriod),
    arg("values"), arg("period"));
ENTRY(py_hma, ma::hma)(
    ma_doc("Calculate Hull Moving Average (HMA)\n\nWMA of 2*WMA(period/2) - WMA(period) over sqrt(period) bars.",
           kPeriod),
    arg("values"), arg("period"));
ENTRY(py_dema, ma::dema)(ma_doc("Calculate Double Exponential Moving Average (DEMA)\n\n2*EMA - EMA(EMA).", kPeriod),
                         arg("values"), arg("period"));
ENTRY(py_tema, ma::tema)(
    ma_doc("Calculate Triple Exponential Moving Average (TEMA)\n\n3*EMA - 3*EMA(EMA) + EMA(EMA(EMA)).", kPeriod),
    arg("values"), arg("period"));
ENTRY(py_zlma, ma::zlma)(Doc{}, arg("values"), arg("period"));
ENTRY(py_t3, ma::t3)(
    ma_doc("Calculate T3 Moving Average (Tilson T3)\n\n"
           "Six chained EMAs combined with the volume factor's coefficients.",
           Line{"period", "int", "Lookback period (None selects 5)"},
           Line{"vfactor", "float", "Volume factor (None selects 0.7)"}),
    arg("values"), arg_or_none("period", 5), arg_or_none("vfactor", 0.7));
ENTRY(py_kama, ma::kama)(
    ma_doc("Calculate Kaufman Adaptive Moving Average (KAMA)\n\n"
           "An average whose smoothing follows the efficiency ratio of the last `period` bars.",
           Line{"period", "int", "Efficiency-ratio period (None selects 10)"},
           Line{"fast_period", "int", "Fast period (None selects 2)"},
           Line{"slow_period", "int", "Slow period (None selects 30)"}),
    arg("values"), arg_or_none("period", 10), arg_or_none("fast_period", 2), arg_or_none("slow_period", 30));
ENTRY(py_frama, ma::frama)(Doc{}.names_only(), arg("values"), arg_or_none("period", 16));

}  // namespace vorn::py::families
