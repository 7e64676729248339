#include "indicators/fibonacci.hpp"

#include <cmath>
#include <limits>
#include <string_view>
#include <unordered_map>

#include "utils/constants.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::fibonacci {

namespace {

using errors::validation::non_finite;
using errors::validation::validate_finite;

using utils::NaN;
using utils::kDivisionGuard;

std::array<double, 7> retracement_levels(double start_price, double end_price) {
    static constexpr double ratios[] = {0.0, 0.236, 0.382, 0.5, 0.618, 0.786};
    const double d = end_price - start_price;
    std::array<double, 7> out;
    for (std::size_t k = 0; k < std::size(ratios); ++k) out[k] = end_price - ratios[k] * d;
    out[6] = end_price - d;
    return out;
}

// Position of the first term of 1, 2, 3, 5, 8, ... that does not fit in 64 bits.
constexpr std::uint64_t first_overflowing_term() {
    std::uint64_t a = 1, b = 2, k = 2, next = 0;
    while (!__builtin_add_overflow(a, b, &next)) a = b, b = next, ++k;
    return k;
}
constexpr std::uint64_t kMaxZones = first_overflowing_term();
static_assert(kMaxZones == 92);

// IEEE total order on finite values: -0.0 sorts below +0.0.
bool total_less(double a, double b) noexcept {
    return a < b || (a == b && std::signbit(a) && !std::signbit(b));
}

// The earliest lowest bar (Max false) or the latest highest bar (Max true) of each window,
// by bar index; the kept suffix extremes share the output slots.
template <bool Max>
struct ExtremeBar {
    using Cand = std::size_t;
    const double* v;
    std::size_t* slot;
    std::size_t at(std::size_t i) const noexcept { return i; }
    std::size_t pick(std::size_t later, std::size_t earlier) const noexcept {
        if constexpr (Max)
            return total_less(v[later], v[earlier]) ? earlier : later;
        else
            return total_less(v[later], v[earlier]) ? later : earlier;
    }
    void keep(std::size_t i, std::size_t c) const noexcept { slot[i] = c; }
    std::size_t kept(std::size_t i) const noexcept { return slot[i]; }
};

template <bool Max>
void window_extreme_bars(std::span<const double> prices, std::size_t window, std::size_t* out) {
    utils::stats::window::block_extremes(ExtremeBar<Max>{prices.data(), out}, prices.size(), window,
                                         [&](std::size_t i, std::size_t bar) { out[i] = bar; });
}

}  // namespace

Result<FibRetracement> fib_retracement(double start_price, double end_price) {
    if (auto s = validate_finite({{start_price, "start_price"}, {end_price, "end_price"}}); !s) return fail(s.error());
    return FibRetracement{retracement_levels(start_price, end_price), start_price, end_price};
}

Result<std::array<double, 6>> fib_extension(double start_price, double end_price, double retracement_price) {
    if (auto s = validate_finite(
            {{start_price, "start_price"}, {end_price, "end_price"}, {retracement_price, "retracement_price"}});
        !s)
        return fail(s.error());
    const double d = end_price - start_price;
    return std::array<double, 6>{1.272 * d + retracement_price, 1.414 * d + retracement_price,
                                 1.618 * d + retracement_price, (d + d) + retracement_price,
                                 2.618 * d + retracement_price, 3.618 * d + retracement_price};
}

Result<FanLines> fib_fan_lines(std::uint64_t start_index, std::uint64_t end_index, double start_price,
                               double end_price, std::uint64_t target_index) {
    if (auto s = validate_finite({{start_price, "start_price"}, {end_price, "end_price"}}); !s) return fail(s.error());
    if (start_index >= end_index) return fail(VornError::invalid_value(0, "start_index must be < end_index"));
    if (target_index <= end_index) return fail(VornError::invalid_value(0, "target_index must be > end_index"));
    const double t = static_cast<double>(target_index - start_index) / static_cast<double>(end_index - start_index);
    const double x = t * (end_price - start_price);
    return FanLines{start_price + 0.382 * x, start_price + 0.5 * x, start_price + 0.618 * x};
}

Result<std::vector<std::uint64_t>> fib_time_zones(std::uint64_t start_index, std::uint64_t max_zones) {
    if (max_zones == 0) return fail(VornError::invalid_period(0, 1));
    // Every count past the last representable term fails at that term: refuse it before
    // allocating for it.
    if (max_zones > kMaxZones) return fail(VornError::invalid_value(kMaxZones, "Fibonacci sequence overflow"));
    std::vector<std::uint64_t> zones(max_zones);
    std::uint64_t before = 0, term = 1;  // 1, 2, 3, 5, ...: each the sum of the two before it
    for (std::uint64_t k = 0; k < max_zones; ++k) {
        if (__builtin_add_overflow(start_index, term, &zones[k]))
            return fail(VornError::invalid_value(0, "fib_time_zones index overflow"));
        const std::uint64_t next = k == 0 ? 2 : before + term;
        before = term;
        term = next;
    }
    return zones;
}

Result<std::optional<std::string>> detect_fib_touch(double current_price, std::span<const FibLevel> levels,
                                                    double tolerance) {
    if (is_non_finite(current_price)) return fail(non_finite(0, "current_price", current_price));
    if (tolerance < 0.0)
        return fail(VornError::out_of_range("tolerance", tolerance, 0.0, std::numeric_limits<double>::infinity()));
    if (levels.empty()) return fail(VornError::empty_input("fib_levels"));
    // Visiting order is the caller's, so that ties and bad levels resolve the same way in every
    // process; a repeated key stays where it first appeared and takes its last price.
    std::vector<std::size_t> order;
    std::unordered_map<std::string_view, std::size_t> seen;
    order.reserve(levels.size());
    seen.reserve(levels.size());
    for (std::size_t i = 0; i < levels.size(); ++i) {
        auto [it, fresh] = seen.try_emplace(levels[i].first, order.size());
        if (fresh)
            order.push_back(i);
        else
            order[it->second] = i;
    }
    for (const std::size_t i : order) {
        const double price = levels[i].second;
        if (is_non_finite(price))
            return fail(VornError::invalid_value(0, "fib_levels contains non-finite value: " + format_float(price)));
        if (std::fabs(price) < kDivisionGuard) return fail(VornError::invalid_value(0, "fib_levels contains zero price level"));
        if (std::fabs((current_price - price) / price) <= tolerance) return std::optional<std::string>(levels[i].first);
    }
    return std::optional<std::string>();
}

Result<FibRetracementSeries> dynamic_fib_retracement(std::span<const double> prices, std::uint64_t lookback) {
    if (auto s = errors::validation::validate_series(prices, "prices"); !s) return fail(s.error());
    const std::size_t n = prices.size();
    if (lookback == 0 || lookback >= n) return fail(VornError::invalid_period(lookback, n - 1));
    const std::size_t window = static_cast<std::size_t>(lookback) + 1;
    std::vector<std::size_t, utils::BufferAllocator<std::size_t>> low_bar(n), high_bar(n);
    window_extreme_bars<false>(prices, window, low_bar.data());
    window_extreme_bars<true>(prices, window, high_bar.data());
    FibRetracementSeries out{window - 1, {}};
    for (Series& s : out.levels) s.assign(n, NaN);
    for (std::size_t i = window - 1; i < n; ++i) {
        // The extreme reached first is where the move starts; a high first is a move down.
        const std::size_t lo = low_bar[i], hi = high_bar[i];
        const auto levels = lo < hi ? retracement_levels(prices[lo], prices[hi]) : retracement_levels(prices[hi], prices[lo]);
        for (std::size_t k = 0; k < levels.size(); ++k) out.levels[k][i] = levels[k];
    }
    return out;
}

}  // namespace vorn::indicators::fibonacci
