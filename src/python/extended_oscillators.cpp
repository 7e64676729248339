// The extended oscillators.
#include "indicators/extended/oscillators.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

ENTRY(py_qqe, ext::qqe)(
    doc("Calculate QQE (Quantitative Qualitative Estimation)\n\n"
        "Smoothed RSI with dynamic volatility-based trailing stops.\n"
        "Generates cleaner signals than standard RSI.",
        params(Line{"close", "list of float", "Closing prices"},
               Line{"rsi_period", "int, optional", "RSI period (default: 14)"},
               Line{"smooth", "int, optional", "Smoothing period (default: 5)"},
               Line{"multiplier", "float, optional", "ATR multiplier for bands (default: 4.236)"}),
        returns("tuple of (list, list, list) - (QQE line, trailing line, histogram)")),
    arg("close"), arg_or_none("rsi_period", 14), arg_or_none("smooth", 5), arg_or_none("multiplier", 4.236));
ENTRY(py_kst, ext::kst)(Doc{}.names_only(), arg("close"), arg_or_none("roc1", 10), arg_or_none("roc2", 15),
                        arg_or_none("roc3", 20), arg_or_none("roc4", 30), arg_or_none("signal_period", 9));
ENTRY(py_stc, ext::stc)(Doc{}.names_only(), arg("close"), arg_or_none("fast", 23), arg_or_none("slow", 50),
                        arg_or_none("cycle", 10));
ENTRY(py_smi, ext::smi)(Doc{}.names_only(), arg("high"), arg("low"), arg("close"), arg_or_none("period", 13),
                        arg_or_none("smooth1", 25), arg_or_none("smooth2", 2));
ENTRY(py_tdfi, ext::tdfi)(Doc{}.names_only(), arg("close"), arg_or_none("period", 13), arg_or_none("smooth", 3));
ENTRY(py_coppock, ext::coppock)(Doc{}.names_only(), arg("close"), arg_or_none("period1", 11),
                                arg_or_none("period2", 14), arg_or_none("wma_period", 10));

}  // namespace vorn::py::families
