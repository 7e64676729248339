#include "indicators/sfg/knn.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <vector>

#include "indicators/momentum/rsi_macd.hpp"
#include "indicators/sfg/common.hpp"
#include "indicators/sfg/nearest.hpp"
#include "indicators/trend/supertrend.hpp"
#include "utils/ma.hpp"

namespace vorn::indicators::sfg {

namespace {

// n + k (or trend_length + k) bars are not enough: one more is needed. Both terms are at
// most the length, so the sum cannot overflow.
Status check_room(std::uint64_t a, std::uint64_t b, std::size_t len) {
    if (a + b >= len) return fail(VornError::insufficient_data(a + b + 1, len));
    return {};
}

// The squared distance of the momentum features is rsi_term + price_term: the RSI
// difference squared plus 100 times the squared relative change of the close (0.0 against
// a close below 1e-10 in magnitude). Both terms are never negative.
inline double rsi_term(double r, double rj) {
    const double d = r - rj;
    return d * d;
}
inline double price_term(double c, double cj) {
    const double change = c / cj - 1.0;  // computed either way: the choice below stays branch-free
    return std::fabs(cj) >= 1e-10 ? 100.0 * (change * change) : 0.0;
}

// The momentum index's search for one bar among the candidates tl .. i - tl - 1: an
// exhaustive scan, made cheaper by three things that never change its result.
// * Blocks of candidates whose RSI and close ranges put every member beyond the current
//   bound are passed over: the block's floor is the same formula applied to the range edge
//   nearest to the bar, and correctly rounded operations are monotone, so the floor never
//   exceeds a member's own squared distance.
// * The bar starts from the previous bar's neighbours (still candidates, since the
//   candidate range only grows), and scans the most recent blocks first.
// * Within a block, a candidate is dropped by its RSI term alone before its close is
//   divided, and by its full square before it is offered; both filters are branch-free.
class MomentumSearch {
public:
    MomentumSearch(std::span<const double> rsi, std::span<const double> close, std::size_t k)
        : rsi_(rsi), close_(close), nearest_(k, rsi.size()) {
        const std::size_t blocks = rsi.size() / kBlock;
        ranges_.resize(blocks);
        for (std::size_t b = 0; b < blocks; ++b) {
            Range& r = ranges_[b];
            for (std::size_t j = b * kBlock; j < (b + 1) * kBlock; ++j) {
                // Written out so that a NaN member is skipped: it ranks after every number.
                if (rsi[j] < r.rsi_min) r.rsi_min = rsi[j];
                if (rsi[j] > r.rsi_max) r.rsi_max = rsi[j];
                if (close[j] < r.close_min) r.close_min = close[j];
                if (close[j] > r.close_max) r.close_max = close[j];
            }
        }
    }

    // The k nearest candidates j of bar i, tl <= j < i - tl (at least k of them).
    std::span<NearestK::Neighbour> nearest(std::size_t i, std::size_t tl) {
        const double r = rsi_[i], c = close_[i];
        nearest_.restart_near_last([](std::size_t) { return true; },
                                   [&](std::size_t j) { return rsi_term(r, rsi_[j]) + price_term(c, close_[j]); });
        const std::size_t end = i - tl;
        // Blocks lie on a grid from bar 0; the ones wholly inside [tl, end) are judged whole.
        const std::size_t first = (tl + kBlock - 1) / kBlock, last = end / kBlock;
        if (first >= last) {
            scan(r, c, tl, end);
        } else {
            scan(r, c, last * kBlock, end);
            for (std::size_t b = last; b-- > first;)
                if (!(floor(ranges_[b], r, c) > nearest_.bound())) scan(r, c, b * kBlock, (b + 1) * kBlock);
            scan(r, c, tl, first * kBlock);
        }
        return nearest_.nearest();
    }

private:
    static constexpr std::size_t kBlock = 64;

    struct Range {
        double rsi_min = std::numeric_limits<double>::infinity(), rsi_max = -std::numeric_limits<double>::infinity();
        double close_min = std::numeric_limits<double>::infinity(), close_max = -std::numeric_limits<double>::infinity();
    };

    static double floor(const Range& g, double r, double c) {
        double f = 0.0;
        if (r > g.rsi_max)
            f = rsi_term(r, g.rsi_max);
        else if (r < g.rsi_min)
            f = rsi_term(r, g.rsi_min);
        // Only where every member's close takes the division, and the quotient is monotone.
        if (g.close_min >= 1e-10 && c > 0.0) {
            if (c > g.close_max)
                f = f + price_term(c, g.close_max);
            else if (c < g.close_min)
                f = f + price_term(c, g.close_min);
        }
        return f;
    }

    void scan(double r, double c, std::size_t from, std::size_t to) {
        for (std::size_t s = from; s < to; s += kBlock) {
            const std::size_t stop = std::min(to, s + kBlock);
            const double bound = nearest_.bound();
            std::size_t m = 0;
            for (std::size_t j = s; j < stop; ++j) {
                const double a = rsi_term(r, rsi_[j]);
                index_[m] = j;
                squared_[m] = a;
                m += !(a > bound);
            }
            std::size_t kept = 0;
            for (std::size_t t = 0; t < m; ++t) {
                const std::size_t j = index_[t];
                const double sq = squared_[t] + price_term(c, close_[j]);
                index_[kept] = j;
                squared_[kept] = sq;
                kept += !(sq > bound);
            }
            for (std::size_t t = 0; t < kept; ++t) nearest_.offer(squared_[t], index_[t]);
        }
    }

    std::span<const double> rsi_, close_;
    NearestK nearest_;
    std::vector<Range> ranges_;
    std::array<std::size_t, kBlock> index_;
    std::array<double, kBlock> squared_;
};

}  // namespace

Result<AiSuperTrendSeries> ai_supertrend(std::span<const double> high, std::span<const double> low,
                                         std::span<const double> close, std::uint64_t k, std::uint64_t n,
                                         std::uint64_t price_trend, std::uint64_t predict_trend,
                                         std::uint64_t st_length, double st_multiplier) {
    if (auto s = check_opening(close, {{high, "high"}, {low, "low"}, {close, "close"}},
                               {st_length, price_trend, predict_trend, k, n});
        !s)
        return fail(s.error());
    const std::size_t len = close.size();
    if (auto s = check_room(n, k, len); !s) return fail(s.error());
    auto st = trend::supertrend(high, low, close, st_length, st_multiplier);
    if (!st) return fail(st.error());
    auto price = utils::ma::wma(close, price_trend);
    if (!price) return fail(price.error());
    auto trend_line = utils::ma::wma_allow_nan(st->value, predict_trend);
    if (!trend_line) return fail(trend_line.error());
    const Series &pf = *price, &tf = *trend_line, &direction = st->direction;

    AiSuperTrendSeries r{std::move(st->value), direction};
    NearestK nearest(k, n);
    for (std::size_t i = n; i < len; ++i) {
        const double p = pf[i], q = tf[i];
        // Up to bar 2k the candidate range [max(i - n, k), i - k) is empty. Both features, once
        // defined, stay defined for finite data; a non-finite multiplier can leave the bar's
        // own point undefined, and then it has nothing to compare.
        if (i <= 2 * k || std::isnan(p) || std::isnan(q)) continue;
        const std::size_t lo = std::max<std::size_t>(i - n, k);
        const auto squared_of = [&](std::size_t j) {
            const double dq = q - tf[j], dp = p - pf[j];
            return dq * dq + dp * dp;
        };
        // The neighbours of an earlier bar that are still in the window: the features vary
        // little from bar to bar, so they bound this bar's search closely.
        nearest.restart_near_last([&](std::size_t j) { return j >= lo; }, squared_of);
        std::size_t candidates = 0;
        for (std::size_t j = lo; j < i - k; ++j) {
            if (std::isnan(pf[j]) || std::isnan(tf[j])) continue;
            ++candidates;
            nearest.offer(squared_of(j), j);
        }
        if (candidates < k) continue;
        double votes = 0.0;  // a sum of +-1.0: exact in any order
        for (const auto& c : nearest.nearest()) votes += direction[c.index + 1];
        const double vote = votes / static_cast<double>(k);
        if (std::fabs(vote) > 0.5) r.signal[i] = vote > 0.0 ? 1.0 : -1.0;
    }
    return r;
}

Result<AiMomentumSeries> ai_momentum_index(std::span<const double> close, std::uint64_t k,
                                           std::uint64_t trend_length, std::uint64_t smooth) {
    if (auto s = check_opening(close, {}, {k, trend_length, smooth}); !s) return fail(s.error());
    const std::size_t len = close.size(), tl = trend_length;
    if (auto s = check_room(tl, k, len); !s) return fail(s.error());
    auto rsi = momentum::rsi(close, trend_length);
    if (!rsi) return fail(rsi.error());

    Series prediction = nan_series(len);
    MomentumSearch search(*rsi, close, k);
    // Bar i has i - 2 tl candidates: the first with k of them is 2 tl + k.
    for (std::size_t i = 2 * tl + k; i < len; ++i) {
        // The mean is summed in bar order, so that it does not depend on how the selection
        // left the neighbours.
        auto chosen = search.nearest(i, tl);
        std::sort(chosen.begin(), chosen.end(),
                  [](const NearestK::Neighbour& a, const NearestK::Neighbour& b) { return a.index < b.index; });
        double sum = 0.0;
        for (const auto& nb : chosen) sum += (*rsi)[nb.index + 1] - (*rsi)[nb.index];
        prediction[i] = sum / static_cast<double>(k);
    }
    auto smoothed = utils::ma::sma_allow_nan(prediction, smooth);
    if (!smoothed) return fail(smoothed.error());
    return AiMomentumSeries{std::move(prediction), std::move(*smoothed)};
}

}  // namespace vorn::indicators::sfg
