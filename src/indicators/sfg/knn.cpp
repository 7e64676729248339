#include "indicators/sfg/knn.hpp"

#include <algorithm>
#include <cmath>

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
    NearestK nearest(k);
    for (std::size_t i = n; i < len; ++i) {
        const double p = pf[i], q = tf[i];
        // Up to bar 2k the candidate range [max(i - n, k), i - k) is empty. Both features, once
        // defined, stay defined for finite data; a non-finite multiplier can leave the bar's
        // own point undefined, and then it has nothing to compare.
        if (i <= 2 * k || std::isnan(p) || std::isnan(q)) continue;
        nearest.restart();
        std::size_t candidates = 0;
        for (std::size_t j = std::max<std::size_t>(i - n, k); j < i - k; ++j) {
            if (std::isnan(pf[j]) || std::isnan(tf[j])) continue;
            ++candidates;
            const double dq = q - tf[j], dp = p - pf[j];
            nearest.offer(dq * dq + dp * dp, j);
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
    auto rsi_r = momentum::rsi(close, trend_length);
    if (!rsi_r) return fail(rsi_r.error());
    const Series& rsi = *rsi_r;

    Series prediction = nan_series(len);
    NearestK nearest(k);
    // Bar i has i - 2 tl candidates: the first with k of them is 2 tl + k.
    for (std::size_t i = 2 * tl + k; i < len; ++i) {
        nearest.restart();
        const double r = rsi[i], c = close[i];
        for (std::size_t j = tl; j < i - tl; ++j) {
            const double dr = r - rsi[j];
            const double rsi_term = dr * dr;
            // The price term is never negative, so the RSI term alone bounds the distance.
            if (rsi_term > nearest.bound()) continue;
            double price_term = 0.0;
            if (std::fabs(close[j]) >= 1e-10) {
                const double change = c / close[j] - 1.0;
                price_term = 100.0 * (change * change);
            }
            nearest.offer(rsi_term + price_term, j);
        }
        // The mean is summed in bar order, so that it does not depend on how the selection
        // left the neighbours.
        auto chosen = nearest.nearest();
        std::sort(chosen.begin(), chosen.end(),
                  [](const NearestK::Neighbour& a, const NearestK::Neighbour& b) { return a.index < b.index; });
        double sum = 0.0;
        for (const auto& nb : chosen) sum += rsi[nb.index + 1] - rsi[nb.index];
        prediction[i] = sum / static_cast<double>(k);
    }
    auto smoothed = utils::ma::sma_allow_nan(prediction, smooth);
    if (!smoothed) return fail(smoothed.error());
    return AiMomentumSeries{std::move(prediction), std::move(*smoothed)};
}

}  // namespace vorn::indicators::sfg
