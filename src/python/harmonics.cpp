// Swing points, harmonic patterns and the PyHarmonicPattern record.
#include "indicators/harmonics.hpp"
#include "python/bind/klass.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace hm = indicators::harmonics;
using hm::HarmonicPatternExt;

namespace {

constexpr std::uint64_t kSwingBars = 5;
constexpr double kMinProbability = 0.5;

Result<std::vector<hm::SwingPoint>> swings_py(const Series& high, const Series& low,
                                                 std::optional<std::uint64_t> left_bars,
                                                 std::optional<std::uint64_t> right_bars) {
    return hm::detect_swing_points(high, low, left_bars.value_or(kSwingBars), right_bars.value_or(kSwingBars));
}

Result<hm::HarmonicSignalSeries> signals_py(const Series& high, const Series& low, const Series& close,
                                           std::optional<std::uint64_t> left_bars,
                                           std::optional<std::uint64_t> right_bars,
                                           std::optional<double> min_probability) {
    return hm::harmonic_signals(high, low, close, left_bars.value_or(kSwingBars), right_bars.value_or(kSwingBars),
                                min_probability.value_or(kMinProbability));
}

Result<std::vector<HarmonicPatternExt>> patterns_py(const Series& high, const Series& low,
                                                           std::optional<std::uint64_t> left_bars,
                                                           std::optional<std::uint64_t> right_bars,
                                                           std::optional<bool> include_forming) {
    return hm::harmonic_pattern_records(high, low, left_bars.value_or(kSwingBars), right_bars.value_or(kSwingBars),
                                        include_forming.value_or(true));
}

// ---- PyHarmonicPattern attributes -------------------------------------------------------

std::string pattern_type(const HarmonicPatternExt& p) { return std::string(hm::english_name(p.pattern_type)); }
std::string pattern_type_zh(const HarmonicPatternExt& p) { return std::string(hm::chinese_name(p.pattern_type)); }
bool is_bullish(const HarmonicPatternExt& p) { return p.is_bullish; }
std::string state(const HarmonicPatternExt& p) {
    return p.state == hm::PatternState::Complete ? "complete" : "forming";
}
template <auto Point>
std::uint64_t index_of(const HarmonicPatternExt& p) { return (p.*Point).index; }
template <auto Point>
double price_of(const HarmonicPatternExt& p) { return (p.*Point).price; }
std::optional<std::uint64_t> d_index(const HarmonicPatternExt& p) {
    return p.d ? std::optional<std::uint64_t>(p.d->index) : std::nullopt;
}
std::optional<double> d_price(const HarmonicPatternExt& p) {
    return p.d ? std::optional<double>(p.d->price) : std::nullopt;
}
double prz_high(const HarmonicPatternExt& p) { return p.prz.upper; }
double prz_low(const HarmonicPatternExt& p) { return p.prz.lower; }
double prz_center(const HarmonicPatternExt& p) { return p.prz.center; }
double probability(const HarmonicPatternExt& p) { return p.probability; }
// Converted on every read, so each read is a new list.
const Series& target_prices(const HarmonicPatternExt& p) { return p.target_prices; }
std::optional<double> stop_loss(const HarmonicPatternExt& p) { return p.stop_loss; }

using P = HarmonicPatternExt;

}  // namespace

ENTRY(py_harmonics, signals_py)(
    "py_harmonics(high, low, close, left_bars=None, right_bars=None, min_probability=None)\n--\n\n"
    "谐波形态信号（时间序列格式）\n"
    "返回: (signals, prz_upper, prz_lower, probability)\n"
    "- signals: 1=看涨, -1=看跌, 0=无信号",
    arg("high"), arg("low"), arg("close"), omissible_or_none("left_bars"), omissible_or_none("right_bars"),
    omissible_or_none("min_probability"));

ENTRY(py_harmonics_patterns, patterns_py)(
    "py_harmonics_patterns(high, low, left_bars=None, right_bars=None, include_forming=None)\n--\n\n"
    "谐波形态详细信息\n"
    "返回 PyHarmonicPattern 列表",
    arg("high"), arg("low"), omissible_or_none("left_bars"), omissible_or_none("right_bars"),
    omissible_or_none("include_forming"));

ENTRY(py_swing_points, swings_py)(
    "py_swing_points(high, low, left_bars=None, right_bars=None)\n--\n\n"
    "检测摆动点",
    arg("high"), arg("low"), omissible_or_none("left_bars"), omissible_or_none("right_bars"));


PyTypeObject* harmonic_pattern_class() {
    return ClassDef<HarmonicPatternExt>("PyHarmonicPattern", "谐波形态 Python 类")
        .property<"pattern_type", pattern_type>()
        .property<"pattern_type_zh", pattern_type_zh>()
        .property<"is_bullish", is_bullish>()
        .property<"state", state>()
        .property<"x_index", index_of<&P::x>>()
        .property<"x_price", price_of<&P::x>>()
        .property<"a_index", index_of<&P::a>>()
        .property<"a_price", price_of<&P::a>>()
        .property<"b_index", index_of<&P::b>>()
        .property<"b_price", price_of<&P::b>>()
        .property<"c_index", index_of<&P::c>>()
        .property<"c_price", price_of<&P::c>>()
        .property<"d_index", d_index>()
        .property<"d_price", d_price>()
        .property<"prz_high", prz_high>()
        .property<"prz_low", prz_low>()
        .property<"prz_center", prz_center>()
        .property<"probability", probability>()
        .property<"target_prices", target_prices>()
        .property<"stop_loss", stop_loss>()
        .create();
}

}  // namespace vorn::py::families
