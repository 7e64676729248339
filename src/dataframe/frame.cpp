#include "dataframe/frame.hpp"

#include <type_traits>

#include "indicators/momentum/oscillators.hpp"
#include "indicators/momentum/rsi_macd.hpp"
#include "indicators/momentum/stochastic.hpp"
#include "indicators/trend/directional.hpp"
#include "indicators/trend/supertrend.hpp"
#include "indicators/volatility/bands.hpp"
#include "indicators/volume.hpp"
#include "utils/ma.hpp"

namespace vorn::dataframe {

namespace {

namespace momentum = indicators::momentum;
namespace trend = indicators::trend;
namespace volatility = indicators::volatility;
namespace volume = indicators::volume;

std::string arg_text(std::uint64_t v) { return std::to_string(v); }
// The library's one float format, so that 2 and 2.0 make one key.
std::string arg_text(double v) { return format_float(v); }

// Each prefix followed by the arguments in parameter order, joined by "_".
template <std::size_t N, class... A>
std::array<std::string, N> make_keys(const char* const (&prefixes)[N], A... args) {
    std::string suffix;
    ((suffix += '_', suffix += arg_text(args)), ...);
    std::array<std::string, N> keys;
    for (std::size_t i = 0; i < N; ++i) keys[i] = prefixes[i] + suffix;
    return keys;
}

std::array<Series, 1> take(Series& s) { return {std::move(s)}; }

// A kernel's record belongs to this call alone: its series move into the cache, uncopied.
template <class Record>
auto take(Record& record) {
    return std::apply(
        [](const auto&... s) { return std::array<Series, sizeof...(s)>{std::move(const_cast<Series&>(s))...}; },
        record.as_tuple());
}

// The step-th key in insertion order: the deciding key, then the others in return order.
std::size_t insertion_index(std::size_t step, std::size_t first) {
    return step == 0 ? first : (step <= first ? step - 1 : step);
}

Result<SeriesView> single(Result<SeriesViews<1>> r) {
    if (!r) return fail(r.error());
    return r->items[0];
}

// Puts one step's outputs under their short names, in the step's return order.
template <class R, class... Names>
Status keep(types::SeededMap<SeriesView>& out, const Result<R>& step, Names... names) {
    if (!step) return fail(step.error());
    if constexpr (std::is_same_v<R, SeriesView>) {
        (out.emplace(names, *step), ...);
    } else {
        std::size_t i = 0;
        (out.emplace(names, step->items[i++]), ...);
    }
    return {};
}

}  // namespace

Result<OhlcvFrame> OhlcvFrame::create(std::vector<std::int64_t> timestamps, Series open, Series high, Series low,
                                      Series close, Series volume) {
    const std::uint64_t n = timestamps.size();
    const std::pair<const char*, std::uint64_t> columns[] = {
        {"open", open.size()}, {"high", high.size()}, {"low", low.size()}, {"close", close.size()},
        {"volume", volume.size()}};
    for (const auto& [name, m] : columns)
        if (m != n) return fail(VornError::length_mismatch("timestamps", n, name, m));
    OhlcvFrame f;
    f.timestamps_ = std::move(timestamps);
    f.open_ = std::move(open);
    f.high_ = std::move(high);
    f.low_ = std::move(low);
    f.close_ = std::move(close);
    f.volume_ = std::move(volume);
    return f;
}

std::optional<SeriesView> OhlcvFrame::get_cached(const std::string& key) const {
    if (cache_.empty()) return std::nullopt;
    auto it = cache_.find(key);
    if (it == cache_.end()) return std::nullopt;
    return SeriesView(it->second);
}

std::vector<std::string> OhlcvFrame::cached_indicators() const {
    std::vector<std::string> keys;
    keys.reserve(cache_.size());
    for (const auto& entry : cache_) keys.push_back(entry.first);
    return keys;
}

template <std::size_t N>
std::optional<SeriesViews<N>> OhlcvFrame::lookup(const std::array<std::string, N>& keys, std::size_t first) const {
    if (cache_.empty()) return std::nullopt;
    SeriesViews<N> views;
    for (std::size_t step = 0; step < N; ++step) {
        // The first key decides; the outputs of one call go in together, so the others are
        // there too. Were one ever missing, the call would recompute rather than hand out a
        // partial set.
        const std::size_t i = insertion_index(step, first);
        auto it = cache_.find(keys[i]);
        if (it == cache_.end()) return std::nullopt;
        views.items[i] = it->second;
    }
    return views;
}

// keys are in the method's return order; keys[first] decides a hit and goes in first.
template <std::size_t N, class Compute>
Result<SeriesViews<N>> OhlcvFrame::through_cache(const std::array<std::string, N>& keys, std::size_t first,
                                                 Compute&& compute) {
    if (auto hit = lookup(keys, first)) return *hit;
    auto computed = compute();
    if (!computed) return fail(computed.error());
    std::array<Series, N> outputs = take(*computed);

    std::array<std::size_t, N> order;
    for (std::size_t step = 0; step < N; ++step) order[step] = insertion_index(step, first);
    // Staged in nodes of their own and room made first, so that running out of memory part-way
    // leaves the cache as it was: a call's outputs go in together or not at all.
    types::SeededMap<Series> staged;
    for (std::size_t i : order) staged.emplace(keys[i], std::move(outputs[i]));
    cache_.reserve(cache_.size() + N);
    SeriesViews<N> views;
    for (std::size_t i : order) {
        auto placed = cache_.insert(staged.extract(keys[i]));
        if (!placed.inserted) placed.position->second = std::move(placed.node.mapped());
        views.items[i] = placed.position->second;
    }
    return views;
}

// utils::ma::sma and wma are the close checks (named "values"), the period check, then the
// unchecked kernel: the frame's sma and wma checks exactly.
Result<SeriesView> OhlcvFrame::sma(std::uint64_t period) {
    return single(through_cache(make_keys({"sma"}, period), 0, [&] { return utils::ma::sma(close_, period); }));
}

Result<SeriesView> OhlcvFrame::ema(std::uint64_t period) {
    return single(through_cache(make_keys({"ema"}, period), 0, [&] { return utils::ma::ema(close_, period); }));
}

Result<SeriesView> OhlcvFrame::wma(std::uint64_t period) {
    return single(through_cache(make_keys({"wma"}, period), 0, [&] { return utils::ma::wma(close_, period); }));
}

Result<SeriesView> OhlcvFrame::hma(std::uint64_t period) {
    return single(through_cache(make_keys({"hma"}, period), 0, [&] { return utils::ma::hma(close_, period); }));
}

Result<SeriesView> OhlcvFrame::atr(std::uint64_t period) {
    return single(through_cache(make_keys({"atr"}, period), 0,
                                [&] { return volatility::atr(high_, low_, close_, period); }));
}

Result<SeriesView> OhlcvFrame::true_range() {
    return single(through_cache(make_keys({"true_range"}), 0,
                                [&] { return volatility::true_range(high_, low_, close_, 1); }));
}

Result<SeriesViews<3>> OhlcvFrame::bollinger_bands(std::uint64_t period, double std_dev) {
    return through_cache(make_keys({"bb_upper", "bb_mid", "bb_lower"}, period, std_dev), 1,
                         [&] { return volatility::bollinger_bands(close_, period, std_dev); });
}

Result<SeriesView> OhlcvFrame::rsi(std::uint64_t period) {
    return single(through_cache(make_keys({"rsi"}, period), 0, [&] { return momentum::rsi(close_, period); }));
}

Result<SeriesViews<3>> OhlcvFrame::macd(std::uint64_t fast, std::uint64_t slow, std::uint64_t signal) {
    return through_cache(make_keys({"macd", "macd_signal", "macd_hist"}, fast, slow, signal), 0,
                         [&] { return momentum::macd(close_, fast, slow, signal); });
}

Result<SeriesViews<2>> OhlcvFrame::stochastic(std::uint64_t k_period, std::uint64_t smooth_k, std::uint64_t d_period) {
    return through_cache(make_keys({"stoch_k", "stoch_d"}, k_period, smooth_k, d_period), 0,
                         [&] { return momentum::stochastic(high_, low_, close_, k_period, smooth_k, d_period); });
}

Result<SeriesView> OhlcvFrame::cci(std::uint64_t period) {
    return single(through_cache(make_keys({"cci"}, period), 0,
                                [&] { return momentum::cci(high_, low_, close_, period); }));
}

Result<SeriesView> OhlcvFrame::williams_r(std::uint64_t period) {
    return single(through_cache(make_keys({"willr"}, period), 0,
                                [&] { return momentum::williams_r(high_, low_, close_, period); }));
}

Result<SeriesViews<4>> OhlcvFrame::supertrend(std::uint64_t period, double multiplier) {
    return through_cache(
        make_keys({"supertrend", "supertrend_dir", "supertrend_upper", "supertrend_lower"}, period, multiplier), 0,
        [&] { return trend::supertrend(high_, low_, close_, period, multiplier); });
}

Result<SeriesViews<3>> OhlcvFrame::adx(std::uint64_t period) {
    return through_cache(make_keys({"adx", "adx_plus_di", "adx_minus_di"}, period), 0,
                         [&] { return trend::adx(high_, low_, close_, period); });
}

Result<SeriesView> OhlcvFrame::obv() {
    return single(through_cache(make_keys({"obv"}), 0, [&] { return volume::obv(close_, volume_); }));
}

// A period of 0 is passed on: the kernel reads it as the cumulative line.
Result<SeriesView> OhlcvFrame::vwap(std::uint64_t period) {
    return single(through_cache(make_keys({"vwap"}, period), 0,
                                [&] { return volume::vwap(high_, low_, close_, volume_, period); }));
}

Result<SeriesView> OhlcvFrame::mfi(std::uint64_t period) {
    return single(through_cache(make_keys({"mfi"}, period), 0,
                                [&] { return volume::mfi(high_, low_, close_, volume_, period); }));
}

Result<types::SeededMap<SeriesView>> OhlcvFrame::compute_common_indicators() {
    types::SeededMap<SeriesView> out;
    Status s = keep(out, sma(20), "sma_20");
    if (s) s = keep(out, ema(20), "ema_20");
    if (s) s = keep(out, rsi(14), "rsi_14");
    if (s) s = keep(out, macd(12, 26, 9), "macd", "macd_signal", "macd_hist");
    if (s) s = keep(out, atr(14), "atr_14");
    if (s) s = keep(out, bollinger_bands(20, 2.0), "bb_upper", "bb_mid", "bb_lower");
    if (!s) return fail(s.error());
    return out;
}

}  // namespace vorn::dataframe
