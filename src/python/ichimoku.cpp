// The Ichimoku cloud and its signals.
#include "indicators/ichimoku.hpp"
#include "python/families.hpp"

namespace vorn::py {

namespace ich = indicators::ichimoku;

template <>
struct ToPy<ich::IchimokuSignalCode> {
    static PyObject* convert(ich::IchimokuSignalCode c) { return PyLong_FromLong(static_cast<long>(c)); }
};

namespace families {

namespace {

Result<ich::IchimokuCloud> cloud(const Series& high, const Series& low, const Series& close,
                                 std::optional<std::uint64_t> tenkan_period, std::optional<std::uint64_t> kijun_period,
                                 std::optional<std::uint64_t> senkou_b_period) {
    return ich::ichimoku_cloud(high, low, close, tenkan_period.value_or(9), kijun_period.value_or(26),
                               senkou_b_period.value_or(52));
}

// The four readers take the cloud's five lines as five arguments.
template <auto Reader>
auto read_lines(const Series& tenkan_sen, const Series& kijun_sen, const Series& senkou_span_a,
                const Series& senkou_span_b, const Series& chikou_span) {
    return Reader(ich::IchimokuLines{tenkan_sen, kijun_sen, senkou_span_a, senkou_span_b, chikou_span});
}

Result<std::vector<ich::IchimokuSignalCode>> signals(const Series& close, const Series& tenkan_sen,
                                                     const Series& kijun_sen, const Series& senkou_span_a,
                                                     const Series& senkou_span_b, const Series& chikou_span) {
    return ich::ichimoku_signals(close, {tenkan_sen, kijun_sen, senkou_span_a, senkou_span_b, chikou_span});
}

#define LINES "tenkan_sen, kijun_sen, senkou_span_a, senkou_span_b, chikou_span"
#define LINE_ARGS arg("tenkan_sen"), arg("kijun_sen"), arg("senkou_span_a"), arg("senkou_span_b"), arg("chikou_span")

}  // namespace

ENTRY(py_ichimoku_cloud, cloud)(
    "py_ichimoku_cloud(high, low, conversion=9, base=26, span_b=52, displacement=26)\n--\n\n"
    "Calculate Ichimoku Cloud\n\n"
    "Trend lines from the midpoints of rolling high/low ranges, with two of them shifted forward\n"
    "to form the cloud and the close shifted back as the lagging span.\n\n"
    "Parameters\n----------\n"
    "high : list[float]\n    High prices\n"
    "low : list[float]\n    Low prices\n"
    "conversion : int, optional\n    Tenkan-sen (conversion line) period (default: 9)\n"
    "base : int, optional\n    Kijun-sen (base line) period (default: 26)\n"
    "span_b : int, optional\n    Senkou span B period (default: 52)\n"
    "displacement : int, optional\n    Forward shift of the spans (default: 26)\n"
    "\nReturns\n-------\ntuple[list[float], list[float], list[float], list[float], list[float]]\n"
    "    (Tenkan, Kijun, Senkou A, Senkou B, Chikou)\n"
    "\nRaises\n------\nValueError\n    If an input is empty, contains a non-finite value or the lengths differ,\n"
    "    or if a period is 0 or exceeds the data length\n",
    arg("high"), arg("low"), arg("close"), arg_or_none("tenkan_period"), arg_or_none("kijun_period"),
    arg_or_none("senkou_b_period"));
ENTRY(py_ichimoku_signals, signals)(
    "py_ichimoku_signals(close, " LINES ")\n--\n\n", arg("close"), LINE_ARGS);
ENTRY(py_ichimoku_tk_cross, read_lines<ich::tk_cross>)(
    "py_ichimoku_tk_cross(" LINES ")\n--\n\n", LINE_ARGS);
ENTRY(py_cloud_thickness, read_lines<ich::cloud_thickness>)(
    "py_cloud_thickness(" LINES ")\n--\n\n", LINE_ARGS);
ENTRY(py_cloud_color, read_lines<ich::cloud_color>)(
    "py_cloud_color(" LINES ")\n--\n\n", LINE_ARGS);

#undef LINES
#undef LINE_ARGS



}  // namespace families
}  // namespace vorn::py
