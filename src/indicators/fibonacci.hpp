#pragma once
// Fibonacci tools: price levels at fixed ratios of a move (retracement, extension, fan lines),
// bars at Fibonacci distances from a start (time zones), a touch query against given levels,
// and a retracement over the extremes of a rolling window.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::fibonacci {

// Level keys: the ratio with three decimals. Listed in ascending byte order, which for these
// keys is also ascending ratio order; callers rely on it for sorted level lists.
inline constexpr std::array<const char*, 7> kRetracementKeys = {"0.000", "0.236", "0.382", "0.500",
                                                                 "0.618", "0.786", "1.000"};
inline constexpr std::array<const char*, 6> kExtensionKeys = {"1.272", "1.414", "1.618", "2.000", "2.618", "3.618"};

// levels[k] is the price under kRetracementKeys[k]: from the end price ("0.000") back to the
// start price ("1.000").
struct FibRetracement {
    std::array<double, 7> levels;
    double start_price, end_price;
};

Result<FibRetracement> fib_retracement(double start_price, double end_price);

// levels[k] is the price under kExtensionKeys[k].
Result<std::array<double, 6>> fib_extension(double start_price, double end_price, double retracement_price);

struct FanLines {
    double l382, l500, l618;
    auto as_tuple() const { return std::tie(l382, l500, l618); }
};

Result<FanLines> fib_fan_lines(std::uint64_t start_index, std::uint64_t end_index, double start_price,
                               double end_price, std::uint64_t target_index);

// start_index + 1, 2, 3, 5, 8, ...: max_zones of them.
Result<std::vector<std::uint64_t>> fib_time_zones(std::uint64_t start_index, std::uint64_t max_zones);

using FibLevel = std::pair<std::string, double>;

// The key of the first level within the relative tolerance, visiting the levels in the
// caller's order; a repeated key keeps its first position and its last price.
Result<std::optional<std::string>> detect_fib_touch(double current_price, std::span<const FibLevel> levels,
                                                    double tolerance);

// Per bar from `first` on, the retracement from the window's earlier extreme to its later one;
// levels[k][i] is bar i's price under kRetracementKeys[k], NaN before `first`.
struct FibRetracementSeries {
    std::size_t first;
    std::array<Series, 7> levels;
};

Result<FibRetracementSeries> dynamic_fib_retracement(std::span<const double> prices, std::uint64_t lookback);

}  // namespace vorn::indicators::fibonacci
