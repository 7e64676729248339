#include "indicators/pivots.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "utils/constants.hpp"

namespace vorn::indicators::pivots {

namespace {

using errors::validation::non_finite;
using errors::validation::validate_finite;
using Arg = errors::validation::NamedValue;

using utils::NaN;
using utils::kDivisionGuard;

// The standard ladder around a pivot; Woodie shares it with its own pivot.
PivotLevels floor_ladder(double pp, double high, double low) {
    const double d = high - low;
    return {pp,          2.0 * pp - low, pp + d, high + 2.0 * (pp - low), 2.0 * pp - high, pp - d,
            low - 2.0 * (high - pp), std::nullopt, std::nullopt};
}

PivotLevels standard_unchecked(double high, double low, double close) {
    return floor_ladder(((high + low) + close) / 3.0, high, low);
}

PivotLevels fibonacci_unchecked(double high, double low, double close) {
    const double pp = ((high + low) + close) / 3.0;
    const double d = high - low;
    return {pp, pp + 0.382 * d, pp + 0.618 * d, pp + d, pp - 0.382 * d, pp - 0.618 * d, pp - d,
            std::nullopt, std::nullopt};
}

PivotLevels woodie_unchecked(double high, double low, double close) {
    return floor_ladder(((high + low) + 2.0 * close) * 0.25, high, low);
}

PivotLevels camarilla_unchecked(double high, double low, double close) {
    const double pp = ((high + low) + close) / 3.0;
    const double d = high - low;
    constexpr double k1 = 0.09166666666666667;   // 1.1 / 12
    constexpr double k2 = 0.18333333333333335;   // 1.1 / 6
    return {pp,
            close + d * k1,
            close + d * k2,
            close + 0.275 * d,
            close - d * k1,
            close - d * k2,
            close - 0.275 * d,
            close + 0.55 * d,
            close - 0.55 * d};
}

PivotLevels demark_unchecked(double open, double high, double low, double close) {
    double x;
    if (close < open)
        x = close + ((low + low) + high);
    else if (close > open)
        x = close + ((high + high) + low);
    else
        x = (close + close) + (high + low);
    return {0.25 * x, 0.5 * x - low, NaN, NaN, 0.5 * x - high, NaN, NaN, std::nullopt, std::nullopt};
}

enum class Method { Standard, Fibonacci, Woodie, Camarilla, DeMark };

// Full Unicode lower-casing can only reach the ASCII names from ASCII letters and from the
// Kelvin sign (U+212A, lower-cased to 'k'); any other non-ASCII character rules a match out.
std::optional<Method> parse_method(std::string_view name) {
    char lower[16];
    std::size_t len = 0;
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        char folded;
        if (c < 0x80) {
            folded = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
            i += 1;
        } else if (name.substr(i, 3) == "\xE2\x84\xAA") {
            folded = 'k';
            i += 3;
        } else {
            return std::nullopt;
        }
        if (len == sizeof lower) return std::nullopt;
        lower[len++] = folded;
    }
    const std::string_view s(lower, len);
    if (s == "standard" || s == "classic") return Method::Standard;
    if (s == "fibonacci" || s == "fib") return Method::Fibonacci;
    if (s == "woodie" || s == "woodies") return Method::Woodie;
    if (s == "camarilla") return Method::Camarilla;
    if (s == "demark" || s == "dm") return Method::DeMark;
    return std::nullopt;
}

PivotLevels levels_by(Method m, double open, double high, double low, double close) {
    switch (m) {
        case Method::Standard: return standard_unchecked(high, low, close);
        case Method::Fibonacci: return fibonacci_unchecked(high, low, close);
        case Method::Woodie: return woodie_unchecked(high, low, close);
        case Method::Camarilla: return camarilla_unchecked(high, low, close);
        case Method::DeMark: break;
    }
    return demark_unchecked(open, high, low, close);
}

// The methods that read no open: `open` is neither used nor tested.
Result<PivotLevels> hlc_levels(Method m, double high, double low, double close) {
    if (auto s = validate_finite({{high, "high"}, {low, "low"}, {close, "close"}}); !s) return fail(s.error());
    return levels_by(m, NaN, high, low, close);
}

[[gnu::cold]] VornError unknown_method(std::string_view method) {
    return VornError::invalid_value(0, "unknown pivot method: " + std::string(method));
}

// Unicode White_Space, decoded from UTF-8.
bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
           c == 0x3000;
}

bool blank(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const std::size_t len = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        if (i + len > s.size()) return false;
        char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        if (!is_white_space(cp)) return false;
        i += len;
    }
    return true;
}

}  // namespace

LevelTuple to_level_tuple(const PivotLevels& l) {
    return {l.pivot, l.r1, l.r2, l.r3, l.r4.value_or(NaN), l.s1, l.s2, l.s3, l.s4.value_or(NaN)};
}

PivotLevels from_level_tuple(const LevelTuple& t) {
    auto present = [](double v) { return is_non_finite(v) ? std::nullopt : std::optional<double>(v); };
    return {t.pivot, t.r1, t.r2, t.r3, t.s1, t.s2, t.s3, present(t.r4), present(t.s4)};
}

Result<PivotLevels> standard_pivots(double high, double low, double close) {
    return hlc_levels(Method::Standard, high, low, close);
}

Result<PivotLevels> fibonacci_pivots(double high, double low, double close) {
    return hlc_levels(Method::Fibonacci, high, low, close);
}

Result<PivotLevels> woodie_pivots(double high, double low, double close) {
    return hlc_levels(Method::Woodie, high, low, close);
}

Result<PivotLevels> camarilla_pivots(double high, double low, double close) {
    return hlc_levels(Method::Camarilla, high, low, close);
}

Result<PivotLevels> demark_pivots(double open, double high, double low, double close) {
    if (auto s = validate_finite({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}); !s)
        return fail(s.error());
    return demark_unchecked(open, high, low, close);
}

Result<PivotLevels> calc_single_pivot(std::string_view method, double open, double high, double low, double close) {
    const auto m = parse_method(method);
    if (!m) return fail(unknown_method(method));
    if (*m == Method::DeMark) return demark_pivots(open, high, low, close);
    return hlc_levels(*m, high, low, close);
}

Status validate_pivot_levels(const PivotLevels& l) {
    const Arg always[] = {{l.pivot, "pivot"}, {l.r1, "r1"}, {l.r2, "r2"}, {l.r3, "r3"},
                          {l.s1, "s1"},       {l.s2, "s2"}, {l.s3, "s3"}};
    for (const Arg& a : always)
        if (std::isinf(a.value)) return fail(non_finite(0, a.name, a.value));
    if (l.r4 && is_non_finite(*l.r4)) return fail(non_finite(0, "r4", *l.r4));
    if (l.s4 && is_non_finite(*l.s4)) return fail(non_finite(0, "s4", *l.s4));
    return {};
}

Result<LevelRows> calc_pivot_series(std::span<const double> open, std::span<const double> high,
                                    std::span<const double> low, std::span<const double> close,
                                    std::string_view method) {
    using namespace errors::validation;
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}); !s)
        return fail(s.error());
    if (blank(method)) return fail(VornError::invalid_value(0, "method cannot be empty"));
    // Every bar is finite by now, so the name is the only thing a row can fail on: resolve it once.
    const auto m = parse_method(method);
    if (!m) return fail(unknown_method(method));
    const std::size_t n = high.size();
    LevelRows rows(n);
    rows[0] = to_level_tuple(levels_by(*m, open[0], high[0], low[0], close[0]));
    for (std::size_t i = 1; i < n; ++i)
        rows[i] = to_level_tuple(levels_by(*m, open[i - 1], high[i - 1], low[i - 1], close[i - 1]));
    return rows;
}

Result<std::string> pivot_zone(double current_price, const PivotLevels& l) {
    if (is_non_finite(current_price)) return fail(non_finite(0, "current_price", current_price));
    if (auto s = validate_pivot_levels(l); !s) return fail(s.error());
    // Top of the ladder down; a price on a level belongs to the band below it.
    const Arg ladder[] = {{l.r3, "r3"}, {l.r2, "r2"}, {l.r1, "r1"}, {l.pivot, "pivot"},
                          {l.s1, "s1"}, {l.s2, "s2"}, {l.s3, "s3"}};
    for (const Arg& a : ladder)
        if (std::isnan(a.value))
            return fail(VornError::invalid_value(
                0, std::string("pivot level ") + a.name + " is NaN; pivot_zone requires full levels"));
    static constexpr const char* above[] = {"Above R3", "R2-R3", "R1-R2", "PP-R1", "PP-S1", "S1-S2", "S2-S3"};
    for (std::size_t k = 0; k < std::size(ladder); ++k)
        if (current_price > ladder[k].value) return std::string(above[k]);
    return std::string("Below S3");
}

Result<std::optional<std::string>> detect_pivot_touch(double current_price, const PivotLevels& l, double tolerance) {
    if (is_non_finite(current_price)) return fail(non_finite(0, "current_price", current_price));
    if (tolerance < 0.0)
        return fail(VornError::out_of_range("tolerance", tolerance, 0.0, std::numeric_limits<double>::infinity()));
    if (auto s = validate_pivot_levels(l); !s) return fail(s.error());
    // A fixed visiting order, the order the levels are built in, so that ties and a zero level
    // resolve the same way in every process.
    const Arg candidates[] = {{l.pivot, "PP"}, {l.r1, "R1"}, {l.r2, "R2"}, {l.r3, "R3"}, {l.s1, "S1"},
                              {l.s2, "S2"},    {l.s3, "S3"}, {l.r4.value_or(NaN), "R4"}, {l.s4.value_or(NaN), "S4"}};
    for (const Arg& c : candidates) {
        if (std::isnan(c.value)) continue;
        if (std::fabs(c.value) < kDivisionGuard)
            return fail(VornError::invalid_value(0, std::string("pivot level ") + c.name + " is zero"));
        if (std::fabs((current_price - c.value) / c.value) <= tolerance) return std::optional<std::string>(c.name);
    }
    return std::optional<std::string>();
}

}  // namespace vorn::indicators::pivots
