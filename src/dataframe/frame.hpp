#pragma once
// One market's bars and the indicator series computed on them, cached under text keys
// built from the indicator and its arguments.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "errors/errors.hpp"
#include "types/records.hpp"
#include "utils/series.hpp"

namespace vorn::dataframe {

// A cached series as handed out: a view into the cache. Entries are only ever added, or all
// dropped by clear_cache, so a view stays valid until then.
using SeriesView = std::span<const double>;

// The outputs of one multi-series indicator, in its return order.
template <std::size_t N>
struct SeriesViews {
    std::array<SeriesView, N> items;
    auto as_tuple() const {
        return [this]<std::size_t... I>(std::index_sequence<I...>) {
            return std::tie(items[I]...);
        }(std::make_index_sequence<N>{});
    }
};

class OhlcvFrame {
public:
    // Every column must be as long as timestamps; the first one that is not, in the order
    // open, high, low, close, volume, is named. Nothing else is checked here: each indicator's
    // kernel validates the columns it reads.
    static Result<OhlcvFrame> create(std::vector<std::int64_t> timestamps, Series open, Series high, Series low,
                                     Series close, Series volume);

    std::uint64_t len() const { return close_.size(); }
    bool is_empty() const { return close_.empty(); }

    // The series stored under exactly this key.
    std::optional<SeriesView> get_cached(const std::string& key) const;
    // Every key, in the cache's (per-map seeded, so undefined) iteration order.
    std::vector<std::string> cached_indicators() const;
    void clear_cache() { cache_.clear(); }

    Result<SeriesView> sma(std::uint64_t period);
    Result<SeriesView> ema(std::uint64_t period);
    Result<SeriesView> wma(std::uint64_t period);
    Result<SeriesView> hma(std::uint64_t period);
    Result<SeriesView> atr(std::uint64_t period);
    Result<SeriesView> true_range();
    // (upper, middle, lower); the middle band's key decides a hit.
    Result<SeriesViews<3>> bollinger_bands(std::uint64_t period, double std_dev);
    Result<SeriesView> rsi(std::uint64_t period);
    // (macd, signal, histogram)
    Result<SeriesViews<3>> macd(std::uint64_t fast, std::uint64_t slow, std::uint64_t signal);
    // (k, d)
    Result<SeriesViews<2>> stochastic(std::uint64_t k_period, std::uint64_t smooth_k, std::uint64_t d_period);
    Result<SeriesView> cci(std::uint64_t period);
    Result<SeriesView> williams_r(std::uint64_t period);
    // (value, direction, upper, lower)
    Result<SeriesViews<4>> supertrend(std::uint64_t period, double multiplier);
    // (adx, plus_di, minus_di)
    Result<SeriesViews<3>> adx(std::uint64_t period);
    Result<SeriesView> obv();
    Result<SeriesView> vwap(std::uint64_t period);
    Result<SeriesView> mfi(std::uint64_t period);

    // SMA(20), EMA(20), RSI(14), MACD(12, 26, 9), ATR(14) and Bollinger(20, 2) under short
    // names. Each step goes through the cache; the first failure ends the run and keeps what
    // the steps before it cached.
    Result<types::SeededMap<SeriesView>> compute_common_indicators();

private:
    OhlcvFrame() = default;

    template <std::size_t N, class Compute>
    Result<SeriesViews<N>> through_cache(const std::array<std::string, N>& keys, std::size_t first,
                                         Compute&& compute);
    template <std::size_t N>
    std::optional<SeriesViews<N>> lookup(const std::array<std::string, N>& keys, std::size_t first) const;

    std::vector<std::int64_t> timestamps_;
    Series open_, high_, low_, close_, volume_;
    types::SeededMap<Series> cache_;
};

}  // namespace vorn::dataframe
