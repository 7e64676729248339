#pragma once
// Floor pivot points: one bar's open/high/low/close turned into a central pivot and a ladder of
// resistance and support levels, by five methods; the per-bar series, zone and touch built on them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "errors/errors.hpp"
#include "utils/buffer.hpp"

namespace vorn::indicators::pivots {

struct PivotLevels {
    double pivot, r1, r2, r3, s1, s2, s3;
    std::optional<double> r4, s4;  // Camarilla only
};

// The nine-value row callers exchange: (pivot, r1, r2, r3, r4, s1, s2, s3, s4), NaN where a
// method gives no such level.
struct LevelTuple {
    double pivot, r1, r2, r3, r4, s1, s2, s3, s4;
    auto as_tuple() const { return std::tie(pivot, r1, r2, r3, r4, s1, s2, s3, s4); }
};

LevelTuple to_level_tuple(const PivotLevels& levels);
// r4 and s4 are present only when finite.
PivotLevels from_level_tuple(const LevelTuple& row);

Result<PivotLevels> standard_pivots(double high, double low, double close);
Result<PivotLevels> fibonacci_pivots(double high, double low, double close);
Result<PivotLevels> woodie_pivots(double high, double low, double close);
Result<PivotLevels> camarilla_pivots(double high, double low, double close);
Result<PivotLevels> demark_pivots(double open, double high, double low, double close);

// Method by name, after full lower-casing; blanks are not trimmed. DeMark alone reads `open`.
Result<PivotLevels> calc_single_pivot(std::string_view method, double open, double high, double low, double close);

// An infinite pivot..s3, or a present r4/s4 that is not finite, fails naming the field.
Status validate_pivot_levels(const PivotLevels& levels);

// One row per bar: row 0 from bar 0 itself, row i from bar i - 1.
using LevelRows = std::vector<LevelTuple, utils::BufferAllocator<LevelTuple>>;

Result<LevelRows> calc_pivot_series(std::span<const double> open, std::span<const double> high,
                                    std::span<const double> low, std::span<const double> close,
                                    std::string_view method);

// The band of the ladder r3 .. s3 holding the price ("Above R3", "R2-R3", ..., "Below S3").
Result<std::string> pivot_zone(double current_price, const PivotLevels& levels);

// The key of the first level within the relative tolerance, visiting PP, R1, R2, R3, S1, S2,
// S3, R4, S4 in that order; none when no level is touched.
Result<std::optional<std::string>> detect_pivot_touch(double current_price, const PivotLevels& levels,
                                                       double tolerance);

}  // namespace vorn::indicators::pivots
