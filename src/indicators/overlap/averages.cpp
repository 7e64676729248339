#include "indicators/overlap/averages.hpp"

#include <limits>

#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::overlap {

using utils::NaN;

namespace {

using namespace errors::validation;
namespace stats = utils::stats;

// The highest high and the lowest low of each window in one pass over the blocks, of
// validated (finite) series: the pick of each side is the shared rolling maximum's and
// minimum's (of equal values the later one stays), so the two extremes are theirs.
struct HighLow {
    struct Cand {
        double high, low;
    };
    const double* high;
    const double* low;
    double* kept_high;  // the suffix extremes of the previous block, parked until used
    double* kept_low;
    Cand at(std::size_t i) const noexcept { return {high[i], low[i]}; }
    static Cand pick(Cand later, Cand earlier) noexcept {
        return {earlier.high > later.high ? earlier.high : later.high, earlier.low < later.low ? earlier.low : later.low};
    }
    void keep(std::size_t i, Cand c) const noexcept {
        kept_high[i] = c.high;
        kept_low[i] = c.low;
    }
    Cand kept(std::size_t i) const noexcept { return {kept_high[i], kept_low[i]}; }
};

// (highest + lowest) * 0.5 of each window, NaN before index period - 1.
Series middle(std::span<const double> high, std::span<const double> low, std::size_t period) {
    const std::size_t n = high.size();
    Series out(n, NaN), kept_low(n);
    stats::window::block_extremes(HighLow{high.data(), low.data(), out.data(), kept_low.data()}, n, period,
                                  [&](std::size_t i, HighLow::Cand c) { out[i] = (c.high + c.low) * 0.5; });
    return out;
}

}  // namespace

Result<MamaSeries> mama(std::span<const double> values, double fast_limit, double slow_limit) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    const std::size_t n = values.size();
    if (n < 6) return fail(VornError::insufficient_data(6, n));
    // An empty clamp range (slow above fast, or a NaN limit) has no factor to give.
    if (!(fast_limit >= slow_limit)) return fail(below_lower("fast_limit", fast_limit, "slow_limit", slow_limit));

    // The smoothing period is fixed at 6 bars, so one factor serves every bar.
    double alpha = fast_limit / 6.0;
    if (alpha < slow_limit) alpha = slow_limit;
    if (alpha > fast_limit) alpha = fast_limit;
    const double keep = 1.0 - alpha;
    const double half = alpha * 0.5;
    const double half_keep = 1.0 - alpha * 0.5;

    MamaSeries out{Series(n), Series(n)};
    double m = values[0], f = values[0];
    out.mama[0] = m;
    out.fama[0] = f;
    for (std::size_t i = 1; i < n; ++i) {
        m = alpha * values[i] + keep * m;
        f = half * m + half_keep * f;
        out.mama[i] = m;
        out.fama[i] = f;
    }
    return out;
}

Result<Series> trima(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    if (auto s = validate_period(period, values.size()); !s) return fail(s.error());
    const std::uint64_t half = period / 2;
    // sma_impl(sma_impl(values, period - half), half + 1) in one pass. The second average
    // restarts after the first one's NaN run, which ends its own at period - 1.
    const std::size_t n = values.size();
    // The first average is read only up to the bar being written: no need to fill it, nor
    // the output, ahead of the pass.
    utils::Scratch<double> first(n);
    utils::ma::SmaWindow inner(values, period - half), outer({first.data(), n}, half + 1);
    return utils::generated<Series>(n, [&](std::size_t i) {
        first[i] = inner.step(i);
        return outer.step(i);
    });
}

Result<Series> midpoint(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    if (auto s = validate_period(period, values.size()); !s) return fail(s.error());
    return middle(values, values, static_cast<std::size_t>(period));
}

Result<Series> midprice(std::span<const double> high, std::span<const double> low, std::uint64_t period) {
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    if (auto s = validate_period(period, high.size()); !s) return fail(s.error());
    return middle(high, low, static_cast<std::size_t>(period));
}

}  // namespace vorn::indicators::overlap
