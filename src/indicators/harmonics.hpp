#pragma once
// Swing highs and lows, and harmonic XABCD patterns read from five alternating swings: nine
// types recognised by their leg ratios, complete or still forming, with their potential
// reversal zones, completion probabilities, targets and stops.
//
// Every swing is confirmed by bars after it, so a result at a bar depends on later bars.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <tuple>
#include <vector>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::harmonics {

struct SwingPoint {
    std::uint64_t index;
    double price;  // the bar's high for a swing high, its low for a swing low
    bool is_high;
    // (index, price, is_high), the tuple callers receive.
    auto as_tuple() const { return std::tie(index, price, is_high); }
};

// The codes order the ratio tables.
enum class HarmonicPatternType : std::uint8_t { Gartley, Bat, Butterfly, Crab, DeepCrab, Shark, Cypher, ThreeDrive, AltBat };
inline constexpr std::size_t kPatternTypeCount = 9;

std::string_view english_name(HarmonicPatternType t);
std::string_view chinese_name(HarmonicPatternType t);

// The leg ratios a pattern can carry. Complete patterns hold AB/XA, BC/AB, CD/BC and AD/XA (the
// Cypher CD/XC in place of CD/BC); forming patterns hold AB/XA and BC/AB only.
enum class RatioKey : std::uint8_t { AB_XA, BC_AB, CD_BC, CD_XC, AD_XA };
inline constexpr std::size_t kRatioKeyCount = 5;
std::string_view ratio_key_name(RatioKey k);  // "AB/XA", "BC/AB", "CD/BC", "CD/XC", "AD/XA"

// A pattern's ratios by key; a key never set is absent. Fixed storage: building a pattern
// allocates nothing for its ratios.
class RatioMap {
public:
    void set(RatioKey k, double v) { values_[static_cast<std::size_t>(k)] = v; }
    std::optional<double> get(RatioKey k) const { return values_[static_cast<std::size_t>(k)]; }
    bool contains(RatioKey k) const { return values_[static_cast<std::size_t>(k)].has_value(); }
    bool empty() const;

private:
    std::array<std::optional<double>, kRatioKeyCount> values_{};
};

struct IdealRange {
    double lower, upper;
};
// The ideal ranges of AB/XA, BC/AB, CD/BC and AD/XA, in that order.
using IdealRatios = std::array<IdealRange, 4>;
const IdealRatios& ideal_ratios(HarmonicPatternType t);

// A ratio fits a range when it lies within 0.03 of it, bounds included; NaN fits nothing.
bool fits(double ratio, IdealRange range);

struct HarmonicPattern {
    HarmonicPatternType pattern_type;
    SwingPoint x, a, b, c, d;
    RatioMap ratios;
    bool is_bullish;  // X is a swing low
};

struct ReversalZone {
    double upper, lower, center;
};

enum class PatternState : std::uint8_t { Forming = 0, Complete = 1 };

// A pattern as reported to callers: complete (with D, targets and stop) or forming.
struct HarmonicPatternExt {
    ReversalZone prz;
    std::optional<double> stop_loss;
    Series target_prices;
    SwingPoint x, a, b, c;
    std::optional<SwingPoint> d;
    RatioMap ratios;
    double probability;
    PatternState state;
    bool is_bullish;
    HarmonicPatternType pattern_type;
};

// Ties count: a bar whose high equals a neighbour's is still a swing high. Ascending bar index;
// a bar that is both a swing high and a swing low gives the high first.
Result<std::vector<SwingPoint>> detect_swing_points(std::span<const double> high, std::span<const double> low,
                                                    std::uint64_t left_bars, std::uint64_t right_bars);

// Every complete pattern, ascending by D's bar index; on one D bar by detection order (Gartley,
// Bat, Butterfly, Crab, Shark, Cypher, DeepCrab, ThreeDrive, AltBat), then by window.
// Fewer than five swings is an error.
Result<std::vector<HarmonicPattern>> detect_all_harmonics(std::span<const double> high, std::span<const double> low,
                                                          std::uint64_t left_bars, std::uint64_t right_bars);

// One type's matches over every window of five consecutive alternating swings, in window order.
std::vector<HarmonicPattern> detect_pattern_generic(std::span<const SwingPoint> swings, HarmonicPatternType t);

// Patterns with X, A, B and C known, among the last 50 swings only; in window order, then by
// type code. Fewer than four swings is an error.
Result<std::vector<HarmonicPatternExt>> detect_forming_patterns(std::span<const double> high,
                                                                std::span<const double> low, std::uint64_t left_bars,
                                                                std::uint64_t right_bars);

ReversalZone calculate_prz(const SwingPoint& x, const SwingPoint& a, const SwingPoint& b, const SwingPoint& c,
                           HarmonicPatternType t);

// How close the ratios lie to the type's ideal midpoints, in [0, 1]; unnormalised, so a Cypher
// (scored without its CD leg) reaches at most 0.8.
double calc_completion_probability(const RatioMap& ratios, HarmonicPatternType t);

// The per-bar view: at each complete pattern's D bar the direction (+1 bullish, -1 bearish, 0
// elsewhere), its zone and its probability; the first forming pattern that qualifies may fill
// the last bar's zone and probability.
struct HarmonicSignalSeries {
    Series signals, prz_upper, prz_lower, probability;
    auto as_tuple() const { return std::tie(signals, prz_upper, prz_lower, probability); }
};

Result<HarmonicSignalSeries> harmonic_signals(std::span<const double> high, std::span<const double> low,
                                              std::span<const double> close, std::uint64_t left_bars,
                                              std::uint64_t right_bars, double min_probability);

// Complete patterns with targets and stops, then (when asked) forming ones, stably ordered by the
// bar index of D, or of C for a forming pattern. Fewer than five swings is an error, forming
// patterns asked for or not.
Result<std::vector<HarmonicPatternExt>> harmonic_pattern_records(std::span<const double> high,
                                                                 std::span<const double> low,
                                                                 std::uint64_t left_bars, std::uint64_t right_bars,
                                                                 bool include_forming);

}  // namespace vorn::indicators::harmonics
