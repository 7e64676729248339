// Swing points, harmonic patterns and the PyHarmonicPattern record.
#include "indicators/harmonics.hpp"
#include "python/bind/klass.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace hm = indicators::harmonics;
using hm::HarmonicPatternExt;

namespace {

// ---- PyHarmonicPattern attributes -------------------------------------------------------

std::string pattern_type(const HarmonicPatternExt& p) { return std::string(hm::english_name(p.pattern_type)); }
std::string pattern_type_zh(const HarmonicPatternExt& p) { return std::string(hm::chinese_name(p.pattern_type)); }
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

using P = HarmonicPatternExt;

}  // namespace

// The signatures show None, which (like leaving the argument out) selects the declared default.
ENTRY(py_harmonics, hm::harmonic_signals)(
    doc("谐波形态信号（时间序列格式）\n"
        "返回: (signals, prz_upper, prz_lower, probability)\n"
        "- signals: 1=看涨, -1=看跌, 0=无信号")
        .fixed_signature("py_harmonics(high, low, close, left_bars=None, right_bars=None, min_probability=None)"),
    arg("high"), arg("low"), arg("close"), omissible_or_none("left_bars", 5), omissible_or_none("right_bars", 5),
    omissible_or_none("min_probability", 0.5));

ENTRY(py_harmonics_patterns, hm::harmonic_pattern_records)(
    doc("谐波形态详细信息\n"
        "返回 PyHarmonicPattern 列表")
        .fixed_signature("py_harmonics_patterns(high, low, left_bars=None, right_bars=None, include_forming=None)"),
    arg("high"), arg("low"), omissible_or_none("left_bars", 5), omissible_or_none("right_bars", 5),
    omissible_or_none("include_forming", true));

ENTRY(py_swing_points, hm::detect_swing_points)(
    doc("检测摆动点").fixed_signature("py_swing_points(high, low, left_bars=None, right_bars=None)"),
    arg("high"), arg("low"), omissible_or_none("left_bars", 5), omissible_or_none("right_bars", 5));

PyTypeObject* harmonic_pattern_class() {
    return ClassDef<HarmonicPatternExt>("PyHarmonicPattern", "谐波形态 Python 类")
        .property<"pattern_type", pattern_type>()
        .property<"pattern_type_zh", pattern_type_zh>()
        .property<"is_bullish", &P::is_bullish>()
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
        .property<"probability", &P::probability>()
        .property<"target_prices", &P::target_prices>()  // a new list on every read
        .property<"stop_loss", &P::stop_loss>()
        .create();
}

}  // namespace vorn::py::families
