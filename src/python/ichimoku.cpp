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

#define LINE_ARGS arg("tenkan_sen"), arg("kijun_sen"), arg("senkou_span_a"), arg("senkou_span_b"), arg("chikou_span")

}  // namespace

// The signature shows its original names and a fixed displacement; the parameters are close and three periods.
ENTRY(py_ichimoku_cloud, ich::ichimoku_cloud)(
    doc("Calculate Ichimoku Cloud\n\n"
        "Trend lines from the midpoints of rolling high/low ranges, with two of them shifted forward\n"
        "to form the cloud and the close shifted back as the lagging span.",
        params(lines::high, lines::low,
               Line{"conversion", "int, optional", "Tenkan-sen (conversion line) period (default: 9)"},
               Line{"base", "int, optional", "Kijun-sen (base line) period (default: 26)"},
               Line{"span_b", "int, optional", "Senkou span B period (default: 52)"},
               Line{"displacement", "int, optional", "Forward shift of the spans (default: 26)"}),
        returns("tuple[list[float], list[float], list[float], list[float], list[float]]",
                "(Tenkan, Kijun, Senkou A, Senkou B, Chikou)"),
        raises("If an input is empty, contains a non-finite value or the lengths differ,\n"
               "or if a period is 0 or exceeds the data length"))
        .fixed_signature("py_ichimoku_cloud(high, low, conversion=9, base=26, span_b=52, displacement=26)"),
    arg("high"), arg("low"), arg("close"), arg_or_none("tenkan_period", 9), arg_or_none("kijun_period", 26),
    arg_or_none("senkou_b_period", 52));
ENTRY(py_ichimoku_signals, signals)(Doc{}, arg("close"), LINE_ARGS);
ENTRY(py_ichimoku_tk_cross, read_lines<ich::tk_cross>)(Doc{}, LINE_ARGS);
ENTRY(py_cloud_thickness, read_lines<ich::cloud_thickness>)(Doc{}, LINE_ARGS);
ENTRY(py_cloud_color, read_lines<ich::cloud_color>)(Doc{}, LINE_ARGS);

#undef LINE_ARGS

}  // namespace families
}  // namespace vorn::py
