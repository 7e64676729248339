// The extended statistical measures.
#include "indicators/extended/statistics.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

namespace {

using Count = std::optional<std::uint64_t>;

// The one-series measures differ only in the default that None selects.
template <auto Fn, std::uint64_t Default>
Result<Series> with_default(const Series& values, Count period) {
    return Fn(values, period.value_or(Default));
}

Result<Series> entropy(const Series& close, Count period, Count bins) {
    return ext::entropy(close, period.value_or(10), bins.value_or(10));
}

}  // namespace

ENTRY(py_slope, with_default<ext::slope, 14>)("py_slope(values, period)\n--\n\n",
                                                                           arg("values"), arg_or_none("period"));
ENTRY(py_bias, with_default<ext::bias, 20>)("py_bias(close, period)\n--\n\n",
                                                                        arg("close"), arg_or_none("period"));
ENTRY(py_psl, with_default<ext::psl, 12>)("py_psl(close, period)\n--\n\n", arg("close"),
                                                                     arg_or_none("period"));
ENTRY(py_er, with_default<ext::er, 10>)("py_er(close, period)\n--\n\n", arg("close"),
                                                                  arg_or_none("period"));
ENTRY(py_cfo, with_default<ext::cfo, 14>)("py_cfo(close, period)\n--\n\n", arg("close"),
                                                                     arg_or_none("period"));
ENTRY(py_cti, with_default<ext::cti, 12>)(
    "py_cti(close, period=12)\n--\n\n"
    "Calculate Correlation Trend Indicator (CTI)\n\n"
    "Measures correlation between price and linear regression.\n"
    "Values -1 to +1, high positive = strong uptrend.\n\n"
    "Parameters\n----------\n"
    "close : list of float\n    Closing prices\n"
    "period : int, optional\n    Lookback period (default: 12)\n\n"
    "Returns\n-------\nlist of float - CTI values from -1 to +1",
    arg("close"), arg_or_none("period"));
ENTRY(py_bop, ext::bop)("py_bop(open, high, low, close)\n--\n\n", arg("open"),
                                                   arg("high"), arg("low"), arg("close"));
ENTRY(py_percent_rank, with_default<ext::percent_rank, 14>)(
    "py_percent_rank(values, period)\n--\n\n", arg("values"), arg_or_none("period"));
ENTRY(py_entropy, entropy)(
    "py_entropy(close, period=10, bins=10)\n--\n\n"
    "Calculate Shannon Entropy\n\n"
    "Measures price distribution randomness/unpredictability.\n"
    "Higher values = more random/uncertain market.\n\n"
    "Parameters\n----------\n"
    "close : list of float\n    Closing prices\n"
    "period : int, optional\n    Lookback period (default: 10)\n"
    "bins : int, optional\n    Histogram bins (default: 10)\n\n"
    "Returns\n-------\nlist of float - Entropy values",
    arg("close"), arg_or_none("period"), arg_or_none("bins"));



}  // namespace vorn::py::families
