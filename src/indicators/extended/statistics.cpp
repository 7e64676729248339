#include "indicators/extended/statistics.hpp"

#include <array>
#include <cmath>
#include <cstdint>

#include "utils/bounds.hpp"
#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/ma.hpp"
#include "utils/pairs.hpp"
#include "utils/stats.hpp"
#include "utils/window_lanes.hpp"
#include "utils/window_order.hpp"

namespace vorn::indicators::extended {

namespace lanes = utils::lanes;
namespace pairs = utils::pairs;

using errors::validation::validate_series_and_periods;

namespace {

using pairs::Mask;
using pairs::Pair;
using utils::NaN;
using utils::kDivisionGuard;

// Windows computed side by side: kPairs registers of two.
constexpr std::size_t kPairs = 4, kLanes = 2 * kPairs;

// Up to this many bars a window's values are counted afresh, side by side: that costs less
// than keeping them ranked.
constexpr std::size_t kCountedWindow = 640;

// Up to this many bars a slope's window is summed afresh.
constexpr std::size_t kSlopeSummedAfresh = 32;

double percent_below(std::int64_t below, double others) noexcept {
    return static_cast<double>(below) / others * 100.0;
}

// Longer windows kept ranked. Counts are exact either way: the two paths give the same
// values. Out of line, so that the shorter windows' loop is compiled as on its own.
[[gnu::noinline]] void ranked_percent_ranks(std::span<const double> values, std::size_t p, double others,
                                            Series& out) {
    utils::order::SlidingRanks<utils::order::Counted> ranks(values, p);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i >= p) ranks.leave(i - p);
        ranks.enter(i);
        if (i + 1 >= p) out[i] = percent_below(ranks.count_below(i), others);
    }
    utils::fast_path::taken<"percent_rank_ranked">();
}

}  // namespace

Result<Series> slope(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{values, "values"}}, {period}); !s) return fail(s.error());
    // Longer windows take the least-squares line's slope (abscissa 0 .. p - 1) from the sliding
    // line sums: O(1) a window at any period, as close to the window's own slope as two passes
    // over it would be (utils/moments.hpp); a window of one bar has no slope, NaN throughout.
    if (period > kSlopeSummedAfresh) return utils::stats::linearreg_slope(values, period, utils::stats::NaNs::none);
    // Short windows are summed afresh, two passes each, which costs no more than sliding there
    // and rounds closer.
    const std::size_t n = values.size();
    Series out(n, NaN);
    const std::size_t p = period;
    const double pf = static_cast<double>(period);
    const double mean_x = (pf - 1.0) * 0.5;
    // Sxx depends on the period alone: the same sum for every window.
    double sxx = 0.0;
    for (std::size_t k = 0; k < p; ++k) {
        const double dx = static_cast<double>(k) - mean_x;
        sxx += dx * dx;
    }
    if (!(sxx > kDivisionGuard)) return out;
    // Each window's sums are taken afresh in increasing k. Neighbouring windows are
    // independent, so kLanes of them run side by side, two to a register: the k-th values
    // of windows i and i + 1 are neighbours in the series.
    const Pair pf2 = pairs::both(pf), sxx2 = pairs::both(sxx);
    std::size_t i = p - 1;
    if (i + kLanes <= n) utils::fast_path::taken<"slope_windows">();
    for (; i + kLanes <= n; i += kLanes) {
        const double* y = values.data() + (i + 1 - p);
        Pair sum[kPairs], mean[kPairs], sxy[kPairs];
        for (std::size_t q = 0; q < kPairs; ++q) sum[q] = sxy[q] = Pair{0.0, 0.0};
        for (std::size_t k = 0; k < p; ++k)
#pragma GCC unroll 4
            for (std::size_t q = 0; q < kPairs; ++q) sum[q] = sum[q] + pairs::load(y + k + 2 * q);
        for (std::size_t q = 0; q < kPairs; ++q) mean[q] = sum[q] / pf2;
        for (std::size_t k = 0; k < p; ++k) {
            const Pair dx = pairs::both(static_cast<double>(k) - mean_x);
#pragma GCC unroll 4
            for (std::size_t q = 0; q < kPairs; ++q) sxy[q] = sxy[q] + dx * (pairs::load(y + k + 2 * q) - mean[q]);
        }
        for (std::size_t q = 0; q < kPairs; ++q) pairs::store(&out[i + 2 * q], sxy[q] / sxx2);
    }
    for (; i < n; ++i) {
        const double* y = values.data() + (i + 1 - p);
        double sum = 0.0;
        for (std::size_t k = 0; k < p; ++k) sum += y[k];
        const double mean_y = sum / pf;
        double sxy = 0.0;
        for (std::size_t k = 0; k < p; ++k) sxy += (static_cast<double>(k) - mean_x) * (y[k] - mean_y);
        out[i] = sxy / sxx;
    }
    return out;
}

Result<Series> bias(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    Series out = utils::ma::sma_impl(close, period);
    for (std::size_t i = 0; i < close.size(); ++i) {
        const double m = out[i];
        out[i] = std::isnan(m) || std::fabs(m) < kDivisionGuard ? NaN : (close[i] - m) / m * 100.0;
    }
    return out;
}

Result<Series> psl(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size(), p = period;
    Series out(n, NaN);
    if (p >= n) return out;
    // Rises are counted exactly, so sliding the count gives every window's own count.
    auto rise = [&](std::size_t j) -> std::size_t { return close[j] > close[j - 1]; };
    std::size_t ups = 0;
    for (std::size_t j = 1; j <= p; ++j) ups += rise(j);
    const double pf = static_cast<double>(period);
    out[p] = static_cast<double>(ups) / pf * 100.0;
    for (std::size_t i = p + 1; i < n; ++i) {
        ups = ups + rise(i) - rise(i - p);
        out[i] = static_cast<double>(ups) / pf * 100.0;
    }
    return out;
}

Result<Series> er(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size(), p = period;
    if (p == n) return fail(VornError::insufficient_data(errors::validation::bars_for_period(period), n));
    Series path(n, 0.0);
    for (std::size_t j = 1; j < n; ++j) path[j] = std::fabs(close[j] - close[j - 1]);
    path = utils::stats::rolling_sum_kahan(path, period);
    path[p - 1] = NaN;
    for (std::size_t i = p; i < n; ++i) {
        const double change = std::fabs(close[i] - close[i - p]);
        const double total = path[i];
        // |close[i] - close[i - p]| is at most the path of the changes between them, whatever
        // the closes: the ratio lies in 0..1.
        path[i] = std::isfinite(total) && total > kDivisionGuard
                      ? utils::bounds::confine(change / total, utils::bounds::kFraction)
                      : 0.0;
    }
    return path;
}

Result<Series> cfo(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size();
    auto percent = [&](std::size_t i, double f) {
        return std::isnan(f) || std::fabs(close[i]) < kDivisionGuard ? NaN : (close[i] - f) / close[i] * 100.0;
    };
    Series out = utils::stats::tsf(close, period, utils::stats::NaNs::none);
    for (std::size_t i = 0; i < n; ++i) out[i] = percent(i, out[i]);
    return out;
}

Result<Series> cti(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (period == 1) {
        Series out(n, 0.0);
        out[0] = NaN;
        return out;
    }
    // The correlation of the close with its bar index: that of the window's least-squares
    // line, whose abscissa is the index less the window's first. A flat window reads 0.0.
    const utils::stats::window::LineConstants k(period);
    Series out(n, NaN);
    utils::stats::window::line_fits<false>(close, period, [&](std::size_t i, const auto& f) {
        out[i] = utils::stats::correlation_of(f.sxy_c, k.sxx, f.syy_c);
    });
    return out;
}

Result<Series> bop(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                   std::span<const double> close) {
    if (auto s = validate_series_and_periods({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}, {}); !s)
        return fail(s.error());
    Series out(open.size());
    for (std::size_t i = 0; i < open.size(); ++i) {
        const double range = high[i] - low[i];
        out[i] = range > kDivisionGuard ? (close[i] - open[i]) / range : 0.0;
    }
    return out;
}

Result<Series> percent_rank(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{values, "values"}}, {period}); !s) return fail(s.error());
    const std::size_t n = values.size(), p = period;
    const double others = static_cast<double>(period - 1);
    Series out(n, NaN);
    auto write = [&](std::size_t i, std::int64_t below) { out[i] = percent_below(below, others); };
    if (p > kCountedWindow && p <= utils::order::kLargestWindow) {
        ranked_percent_ranks(values, p, others, out);
        return out;
    }
    // Shorter windows are counted afresh; kLanes neighbouring windows side by side, as in slope.
    std::size_t i = p - 1;
    if (i + kLanes <= n) utils::fast_path::taken<"percent_rank_windows">();
    for (; i + kLanes <= n; i += kLanes) {
        const double* y = values.data() + (i + 1 - p);
        Pair v[kPairs];
        Mask below[kPairs];  // a comparison that holds is -1: subtracted, it counts
        for (std::size_t q = 0; q < kPairs; ++q) {
            v[q] = pairs::load(&values[i + 2 * q]);
            below[q] = Mask{0, 0};
        }
        for (std::size_t k = 0; k < p; ++k)
#pragma GCC unroll 4
            for (std::size_t q = 0; q < kPairs; ++q) below[q] -= pairs::load(y + k + 2 * q) < v[q];
        for (std::size_t q = 0; q < kPairs; ++q) {
            write(i + 2 * q, below[q][0]);
            write(i + 2 * q + 1, below[q][1]);
        }
    }
    for (; i < n; ++i) {
        const double v = values[i];
        std::int64_t below = 0;
        for (std::size_t k = i + 1 - p; k <= i; ++k) below += values[k] < v;
        write(i, below);
    }
    return out;
}

}  // namespace vorn::indicators::extended
