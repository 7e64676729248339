#include "indicators/harmonics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "utils/constants.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::harmonics {

namespace {

using Type = HarmonicPatternType;

using utils::NaN;
using utils::kDivisionGuard;
constexpr double kTolerance = 0.03;
constexpr double kCypherXc = 0.786;  // the Cypher's CD/XC retracement, measured from C toward X
constexpr std::size_t kFormingSwings = 50;

constexpr std::string_view kEnglish[kPatternTypeCount] = {
    "Gartley", "Bat", "Butterfly", "Crab", "DeepCrab", "Shark", "Cypher", "ThreeDrive", "AltBat",
};
constexpr std::string_view kChinese[kPatternTypeCount] = {
    "伽利形态", "蝙蝠形态", "蝴蝶形态", "螃蟹形态", "深蟹形态", "鲨鱼形态", "赛弗形态", "三驱形态", "变体蝙蝠",
};
constexpr std::string_view kRatioKeys[kRatioKeyCount] = {"AB/XA", "BC/AB", "CD/BC", "CD/XC", "AD/XA"};

//                                         AB/XA            BC/AB           CD/BC           AD/XA
constexpr IdealRatios kIdeal[kPatternTypeCount] = {
    {{{0.618, 0.618}, {0.382, 0.886}, {1.272, 1.618}, {0.786, 0.786}}},  // Gartley
    {{{0.382, 0.5}, {0.382, 0.886}, {1.618, 2.618}, {0.886, 0.886}}},    // Bat
    {{{0.786, 0.786}, {0.382, 0.886}, {1.618, 2.24}, {1.27, 1.618}}},    // Butterfly
    {{{0.382, 0.618}, {0.382, 0.886}, {2.24, 3.618}, {1.618, 1.618}}},   // Crab
    {{{0.886, 0.886}, {0.382, 0.886}, {2.24, 3.618}, {1.618, 1.618}}},   // DeepCrab
    {{{0.382, 0.618}, {1.13, 1.618}, {1.618, 2.24}, {0.886, 1.13}}},     // Shark
    {{{0.382, 0.618}, {1.272, 1.414}, {0.0, 0.0}, {0.786, 0.786}}},      // Cypher (CD/XC instead)
    {{{1.272, 1.618}, {0.618, 0.786}, {1.272, 1.618}, {1.272, 1.618}}},  // ThreeDrive
    {{{0.382, 0.382}, {0.382, 0.886}, {2.0, 3.618}, {1.13, 1.13}}},      // AltBat
};

// Complete detection runs Shark and Cypher ahead of DeepCrab; callers see that order among
// patterns sharing a D bar.
constexpr Type kDetectionOrder[kPatternTypeCount] = {
    Type::Gartley, Type::Bat,     Type::Butterfly,  Type::Crab,   Type::Shark,
    Type::Cypher,  Type::DeepCrab, Type::ThreeDrive, Type::AltBat,
};

constexpr std::size_t code(Type t) { return static_cast<std::size_t>(t); }

// |leg| / |base|, 0.0 for a base below 1e-10.
double leg_ratio(double leg_from, double leg_to, double base_from, double base_to) {
    const double base = std::fabs(base_to - base_from);
    if (base < kDivisionGuard) return 0.0;
    return std::fabs(leg_to - leg_from) / base;
}

double midpoint(IdealRange r) { return (r.lower + r.upper) * 0.5; }

// 1 - min(|v - m| / divisor, 1), where a NaN deviation counts as 1.
double closeness(double v, double m, double divisor) {
    const double dev = std::fabs(v - m) / divisor;
    return 1.0 - (std::isnan(dev) || dev > 1.0 ? 1.0 : dev);
}

double floored(double m) { return std::max(m, 0.001); }

bool alternate(std::span<const SwingPoint> w) {
    for (std::size_t k = 1; k < w.size(); ++k)
        if (w[k].is_high == w[k - 1].is_high) return false;
    return true;
}

// The highest high and the lowest low of each window of one length, by blocks (validated,
// finite bars: plain comparisons pick them). Entries before length - 1 stay NaN.
struct HighLow {
    struct Cand {
        double high, low;
    };
    const double* high;
    const double* low;
    double* highs;  // the outputs, which also park the previous block's suffix extremes
    double* lows;
    Cand at(std::size_t i) const noexcept { return {high[i], low[i]}; }
    static Cand pick(Cand later, Cand earlier) noexcept {
        return {earlier.high > later.high ? earlier.high : later.high, earlier.low < later.low ? earlier.low : later.low};
    }
    void keep(std::size_t i, Cand c) const noexcept {
        highs[i] = c.high;
        lows[i] = c.low;
    }
    Cand kept(std::size_t i) const noexcept { return {highs[i], lows[i]}; }
};

struct WindowExtremes {
    Series highest, lowest;
};

WindowExtremes window_extremes(std::span<const double> high, std::span<const double> low, std::size_t length) {
    const std::size_t n = high.size();
    WindowExtremes w{Series(n, NaN), Series(n, NaN)};
    utils::stats::window::block_extremes(HighLow{high.data(), low.data(), w.highest.data(), w.lowest.data()}, n,
                                         length, [&](std::size_t i, HighLow::Cand c) {
                                             w.highest[i] = c.high;
                                             w.lowest[i] = c.low;
                                         });
    return w;
}

// The ratios of a complete window when they fit type t, else nothing.
std::optional<RatioMap> match(Type t, const SwingPoint& x, const SwingPoint& a, const SwingPoint& b,
                              const SwingPoint& c, const SwingPoint& d) {
    const IdealRatios& r = kIdeal[code(t)];
    const double ab_xa = leg_ratio(a.price, b.price, x.price, a.price);
    const double bc_ab = leg_ratio(b.price, c.price, a.price, b.price);
    RatioMap m;
    m.set(RatioKey::AB_XA, ab_xa);
    m.set(RatioKey::BC_AB, bc_ab);
    if (t == Type::Cypher) {
        const double cd_xc = leg_ratio(c.price, d.price, x.price, c.price);
        if (!fits(ab_xa, r[0]) || !fits(bc_ab, r[1]) || !fits(cd_xc, {kCypherXc, kCypherXc})) return std::nullopt;
        m.set(RatioKey::CD_XC, cd_xc);
    } else {
        const double cd_bc = leg_ratio(c.price, d.price, b.price, c.price);
        if (!fits(ab_xa, r[0]) || !fits(bc_ab, r[1]) || !fits(cd_bc, r[2])) return std::nullopt;
        m.set(RatioKey::CD_BC, cd_bc);
    }
    const double ad_xa = leg_ratio(a.price, d.price, x.price, a.price);
    if (!fits(ad_xa, r[3])) return std::nullopt;
    m.set(RatioKey::AD_XA, ad_xa);
    return m;
}

std::vector<HarmonicPattern> complete_patterns(std::span<const SwingPoint> swings) {
    std::vector<HarmonicPattern> out;
    for (const Type t : kDetectionOrder) {
        std::vector<HarmonicPattern> found = detect_pattern_generic(swings, t);
        out.insert(out.end(), found.begin(), found.end());
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const HarmonicPattern& p, const HarmonicPattern& q) { return p.d.index < q.d.index; });
    return out;
}

std::vector<HarmonicPatternExt> forming_patterns(std::span<const SwingPoint> swings) {
    std::vector<HarmonicPatternExt> out;
    const std::size_t count = swings.size();
    const std::size_t first = count > kFormingSwings ? count - kFormingSwings : 0;
    for (std::size_t p = first; p + 4 <= count; ++p) {
        const std::span<const SwingPoint> w = swings.subspan(p, 4);
        if (!alternate(w)) continue;
        const SwingPoint &x = w[0], &a = w[1], &b = w[2], &c = w[3];
        const double ab_xa = leg_ratio(a.price, b.price, x.price, a.price);
        const double bc_ab = leg_ratio(b.price, c.price, a.price, b.price);
        for (std::size_t k = 0; k < kPatternTypeCount; ++k) {
            const Type t = static_cast<Type>(k);
            const IdealRatios& r = kIdeal[k];
            if (!fits(ab_xa, r[0]) || !fits(bc_ab, r[1])) continue;
            const double m_ab = midpoint(r[0]), m_bc = midpoint(r[1]);
            RatioMap ratios;
            ratios.set(RatioKey::AB_XA, ab_xa);
            ratios.set(RatioKey::BC_AB, bc_ab);
            const double probability =
                ((closeness(ab_xa, m_ab, floored(m_ab)) + closeness(bc_ab, m_bc, floored(m_bc))) * 0.5) * 0.7;
            out.push_back({calculate_prz(x, a, b, c, t), std::nullopt, Series{}, x, a, b, c, std::nullopt, ratios,
                           probability, PatternState::Forming, !x.is_high, t});
        }
    }
    return out;
}

HarmonicPatternExt complete_record(const HarmonicPattern& p) {
    const double d = p.d.price, c = p.c.price;
    const double m = p.is_bullish ? std::fabs(d - c) : -std::fabs(d - c);
    return {calculate_prz(p.x, p.a, p.b, p.c, p.pattern_type),
            p.is_bullish ? d * 0.98 : d * 1.02,
            Series{d + m * 0.382, d + m * 0.618, c},
            p.x,
            p.a,
            p.b,
            p.c,
            p.d,
            p.ratios,
            calc_completion_probability(p.ratios, p.pattern_type),
            PatternState::Complete,
            p.is_bullish,
            p.pattern_type};
}

Status need_swings(const std::vector<SwingPoint>& swings, std::size_t need) {
    if (swings.size() < need) return fail(VornError::insufficient_data(need, swings.size()));
    return {};
}

}  // namespace

std::string_view english_name(HarmonicPatternType t) { return kEnglish[code(t)]; }
std::string_view chinese_name(HarmonicPatternType t) { return kChinese[code(t)]; }
std::string_view ratio_key_name(RatioKey k) { return kRatioKeys[static_cast<std::size_t>(k)]; }
const IdealRatios& ideal_ratios(HarmonicPatternType t) { return kIdeal[code(t)]; }

bool RatioMap::empty() const {
    return std::none_of(values_.begin(), values_.end(), [](const std::optional<double>& v) { return v.has_value(); });
}

bool fits(double ratio, IdealRange range) {
    return ratio >= range.lower - kTolerance && ratio <= range.upper + kTolerance;
}

Result<std::vector<SwingPoint>> detect_swing_points(std::span<const double> high, std::span<const double> low,
                                                    std::uint64_t left_bars, std::uint64_t right_bars) {
    using namespace errors::validation;
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (left_bars == 0 || right_bars == 0) return fail(VornError::invalid_period(0, n));
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    if (left_bars >= kMax - right_bars) return fail(VornError::invalid_value(0, "left_bars + right_bars overflow"));
    const std::uint64_t need = left_bars + right_bars + 1;
    if (n < need) return fail(VornError::insufficient_data(need, n));

    // A bar is a swing high when its high is at or above every other high from left bars
    // before it to right bars after it: at or above the highest of the left bars before it
    // and of the right bars after it (the windows ending at i - 1 and at i + right), which
    // window extremes give in O(n) whatever the widths. The same for lows.
    const std::size_t left = static_cast<std::size_t>(left_bars), right = static_cast<std::size_t>(right_bars);
    const WindowExtremes before = window_extremes(high, low, left);
    const WindowExtremes after_own = left == right ? WindowExtremes{} : window_extremes(high, low, right);
    const WindowExtremes& after = left == right ? before : after_own;
    // Bars are visited in ascending order, the high tested before the low: the order callers
    // rely on, so no sort is needed.
    std::vector<SwingPoint> swings;
    for (std::size_t i = left; i + right < n; ++i) {
        if ((high[i] >= before.highest[i - 1]) & (high[i] >= after.highest[i + right]))
            swings.push_back({i, high[i], true});
        if ((low[i] <= before.lowest[i - 1]) & (low[i] <= after.lowest[i + right]))
            swings.push_back({i, low[i], false});
    }
    return swings;
}

std::vector<HarmonicPattern> detect_pattern_generic(std::span<const SwingPoint> swings, HarmonicPatternType t) {
    std::vector<HarmonicPattern> out;
    for (std::size_t i = 4; i < swings.size(); ++i) {
        const std::span<const SwingPoint> w = swings.subspan(i - 4, 5);
        if (!alternate(w)) continue;
        if (auto ratios = match(t, w[0], w[1], w[2], w[3], w[4]))
            out.push_back({t, w[0], w[1], w[2], w[3], w[4], *ratios, !w[0].is_high});
    }
    return out;
}

Result<std::vector<HarmonicPattern>> detect_all_harmonics(std::span<const double> high, std::span<const double> low,
                                                          std::uint64_t left_bars, std::uint64_t right_bars) {
    auto swings = detect_swing_points(high, low, left_bars, right_bars);
    if (!swings) return fail(swings.error());
    if (auto s = need_swings(*swings, 5); !s) return fail(s.error());
    return complete_patterns(*swings);
}

Result<std::vector<HarmonicPatternExt>> detect_forming_patterns(std::span<const double> high,
                                                                std::span<const double> low, std::uint64_t left_bars,
                                                                std::uint64_t right_bars) {
    auto swings = detect_swing_points(high, low, left_bars, right_bars);
    if (!swings) return fail(swings.error());
    if (auto s = need_swings(*swings, 4); !s) return fail(s.error());
    return forming_patterns(*swings);
}

ReversalZone calculate_prz(const SwingPoint& x, const SwingPoint& a, const SwingPoint& b, const SwingPoint& c,
                           HarmonicPatternType t) {
    const IdealRatios& r = kIdeal[code(t)];
    const double s = x.is_high ? 1.0 : -1.0;
    const double xa = std::fabs(a.price - x.price);
    // The two prices from + s * ratio * length for both ends of a ratio range, ordered.
    auto zone = [s](double from, IdealRange range, double length) {
        const double v1 = from + s * range.lower * length, v2 = from + s * range.upper * length;
        return IdealRange{v1 < v2 ? v1 : v2, v1 < v2 ? v2 : v1};
    };
    IdealRange zones[3] = {zone(a.price, r[3], xa), zone(c.price, r[2], std::fabs(c.price - b.price)), {}};
    std::size_t count = 2;
    if (t == Type::Cypher) zones[count++] = zone(c.price, {kCypherXc, kCypherXc}, std::fabs(c.price - x.price));

    double lo = -std::numeric_limits<double>::infinity(), hi = std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < count; ++k) {
        lo = std::max(lo, zones[k].lower);
        hi = std::min(hi, zones[k].upper);
    }
    ReversalZone out{};
    if (lo <= hi) {
        out.upper = hi;
        out.lower = lo;
    } else {
        const double mid1 = midpoint(zones[0]), mid2 = midpoint(zones[1]);
        const double mean = count == 3 ? ((mid1 + mid2) + midpoint(zones[2])) / 3.0 : (mid1 + mid2) / 2.0;
        out.upper = mean + 0.05 * xa;
        out.lower = mean - 0.05 * xa;
    }
    out.center = (out.upper + out.lower) * 0.5;
    return out;
}

double calc_completion_probability(const RatioMap& ratios, HarmonicPatternType t) {
    if (ratios.empty()) return 0.0;
    const IdealRatios& r = kIdeal[code(t)];
    struct Scored {
        RatioKey key;
        std::size_t range;
        double weight;
    };
    constexpr Scored kScored[] = {
        {RatioKey::AB_XA, 0, 0.3}, {RatioKey::BC_AB, 1, 0.2}, {RatioKey::CD_BC, 2, 0.2}, {RatioKey::AD_XA, 3, 0.3}};
    double p = 0.0;
    for (const Scored& k : kScored) {
        const std::optional<double> v = ratios.get(k.key);
        if (!v) continue;
        const double m = midpoint(r[k.range]);
        if (k.key == RatioKey::CD_BC) {
            // A CD/BC midpoint of 0 (the Cypher's) is not scored, and the leg has no floor.
            if (!(m > 0.0)) continue;
            p += closeness(*v, m, m) * k.weight;
        } else {
            p += closeness(*v, m, floored(m)) * k.weight;
        }
    }
    return p;
}

Result<HarmonicSignalSeries> harmonic_signals(std::span<const double> high, std::span<const double> low,
                                              std::span<const double> close, std::uint64_t left_bars,
                                              std::uint64_t right_bars, double min_probability) {
    using namespace errors::validation;
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    // A NaN threshold passes here; no probability then compares as reaching it.
    if (min_probability < 0.0 || min_probability > 1.0)
        return fail(VornError::out_of_range("min_probability", min_probability, 0.0, 1.0));
    auto swings = detect_swing_points(high, low, left_bars, right_bars);
    if (!swings) return fail(swings.error());
    if (auto s = need_swings(*swings, 5); !s) return fail(s.error());

    const std::size_t n = high.size();
    HarmonicSignalSeries out{Series(n, 0.0), Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    // A later pattern on the same D bar overwrites an earlier one.
    for (const HarmonicPattern& p : complete_patterns(*swings)) {
        const double probability = calc_completion_probability(p.ratios, p.pattern_type);
        if (!(probability >= min_probability)) continue;
        const std::size_t d = static_cast<std::size_t>(p.d.index);
        const ReversalZone zone = calculate_prz(p.x, p.a, p.b, p.c, p.pattern_type);
        out.signals[d] = p.is_bullish ? 1.0 : -1.0;
        out.prz_upper[d] = zone.upper;
        out.prz_lower[d] = zone.lower;
        out.probability[d] = probability;
    }
    // Forming patterns only fill the last bar's zone, at half the threshold, and never over a
    // complete pattern or an earlier forming one; the signal there stays 0.
    const std::size_t last = n - 1;
    for (const HarmonicPatternExt& f : forming_patterns(*swings)) {
        if (!(f.probability >= 0.5 * min_probability)) continue;
        if (std::fabs(out.signals[last]) < 1e-10 && std::isnan(out.prz_upper[last])) {
            out.prz_upper[last] = f.prz.upper;
            out.prz_lower[last] = f.prz.lower;
            out.probability[last] = f.probability;
        }
    }
    return out;
}

Result<std::vector<HarmonicPatternExt>> harmonic_pattern_records(std::span<const double> high,
                                                                 std::span<const double> low,
                                                                 std::uint64_t left_bars, std::uint64_t right_bars,
                                                                 bool include_forming) {
    auto swings = detect_swing_points(high, low, left_bars, right_bars);
    if (!swings) return fail(swings.error());
    if (auto s = need_swings(*swings, 5); !s) return fail(s.error());
    std::vector<HarmonicPatternExt> records;
    for (const HarmonicPattern& p : complete_patterns(*swings)) records.push_back(complete_record(p));
    if (include_forming) {
        std::vector<HarmonicPatternExt> forming = forming_patterns(*swings);
        records.insert(records.end(), std::make_move_iterator(forming.begin()), std::make_move_iterator(forming.end()));
    }
    // Complete records come first, so at an equal index they stay ahead of forming ones.
    auto last_index = [](const HarmonicPatternExt& r) { return r.d ? r.d->index : r.c.index; };
    std::stable_sort(records.begin(), records.end(), [&](const HarmonicPatternExt& p, const HarmonicPatternExt& q) {
        return last_index(p) < last_index(q);
    });
    return records;
}

}  // namespace vorn::indicators::harmonics
