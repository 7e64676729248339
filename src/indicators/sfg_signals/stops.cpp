#include <cmath>
#include <limits>

#include "indicators/sfg_signals/atr_bars.hpp"
#include "indicators/sfg_signals/signals.hpp"
#include "utils/constants.hpp"

namespace vorn::indicators::sfg_signals {

namespace {
using utils::NaN;
constexpr double INF = std::numeric_limits<double>::infinity();
using namespace errors::validation;
}  // namespace

Status SFGSignal::validate(const char* label) const {
    if (buy_signals.empty()) return fail(VornError::empty_input(label));
    const std::size_t n = buy_signals.size();
    const std::pair<const char*, const Series*> fields[] = {
        {"sell_signals", &sell_signals}, {"signal_strength", &signal_strength}, {"stop_loss", &stop_loss},
        {"take_profit", &take_profit},   {"max_profit", &max_profit},
        {"trend_line", trend_line ? &*trend_line : nullptr},
        {"upper_band", upper_band ? &*upper_band : nullptr},
        {"lower_band", lower_band ? &*lower_band : nullptr}};
    for (const auto& [name, series] : fields)
        if (series && series->size() != n)
            return fail(VornError::length_mismatch("buy_signals", n, name, series->size()));
    return {};
}

namespace {

// A record's strength: each bar's larger signal, clamped to 0..1.
Series strength_of(const Series& buy, const Series& sell) {
    return utils::generated<Series>(buy.size(), [&](std::size_t i) {
        const double b = buy[i], s = sell[i];
        const double strongest = b > s ? b : s;
        return strongest > 1.0 ? 1.0 : (strongest < 0.0 ? 0.0 : strongest);
    });
}

}  // namespace

Result<SFGSignal> build_sfg_signal(Series buy, Series sell) {
    if (auto s = validate_lengths_match({{buy, "buy"}, {sell, "sell"}}); !s) return fail(s.error());
    const std::size_t n = buy.size();
    Series strength = strength_of(buy, sell);
    return SFGSignal{std::move(buy), std::move(sell), std::move(strength), Series(n, NaN), Series(n, NaN),
                     Series(n, NaN), {}, {}, {}, {}};
}

TradeSignals TradeSignals::make(std::size_t n) {
    return TradeSignals{Series(n, 0.0), Series(n, 0.0), Series(n, NaN), Series(n, NaN)};
}

Result<StopLevels> calculate_stops(std::span<const double> close, std::span<const double> atr_values, Series buy,
                                   Series sell, double sl_multiplier, double tp_multiplier) {
    auto record = build_sfg_signal(std::move(buy), std::move(sell));
    if (!record) return fail(record.error());
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    if (sl_multiplier < 0.0) return fail(VornError::out_of_range("sl_multiplier", sl_multiplier, 0.0, INF));
    if (tp_multiplier < 0.0) return fail(VornError::out_of_range("tp_multiplier", tp_multiplier, 0.0, INF));
    const std::size_t n = close.size();
    if (atr_values.size() != n) return fail(VornError::length_mismatch("close", n, "atr", atr_values.size()));
    SFGSignal& r = *record;
    if (auto s = r.validate("signals"); !s) return fail(s.error());
    if (r.buy_signals.size() != n) return fail(VornError::length_mismatch("close", n, "signals", r.buy_signals.size()));
    if (auto s = refuse_infinite_atr(atr_values, 0, "atr contains infinite value"); !s) return fail(s.error());
    // The record's own levels start as NaN and become the result.
    for (std::size_t i = 0; i < n; ++i) {
        const double a = atr_values[i], c = close[i];
        if (std::isnan(a)) continue;
        if (r.buy_signals[i] > 0.5) {
            r.stop_loss[i] = c - sl_multiplier * a;
            r.take_profit[i] = c + tp_multiplier * a;
        } else if (r.sell_signals[i] > 0.5) {
            r.stop_loss[i] = c + sl_multiplier * a;
            r.take_profit[i] = c - tp_multiplier * a;
        }
    }
    return StopLevels{std::move(r.stop_loss), std::move(r.take_profit)};
}

Result<CombinedSignals> combine_signals(Series buy1, Series sell1, Series buy2, Series sell2, double weight1) {
    if (weight1 > 1.0 || weight1 < 0.0) return fail(VornError::out_of_range("weight1", weight1, 0.0, 1.0));
    const double weight2 = 1.0 - weight1;
    // The two records' checks and strengths; their levels, which the vote does not read, are
    // never built. A record built from two series of one non-zero length always passes its
    // own validate(), so the checks on the records themselves are these.
    if (auto s = validate_lengths_match({{buy1, "buy"}, {sell1, "sell"}}); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{buy2, "buy"}, {sell2, "sell"}}); !s) return fail(s.error());
    const std::size_t n = buy1.size();
    if (buy2.size() != n) return fail(VornError::length_mismatch("signals[0]", n, "signals[n]", buy2.size()));
    const Series strength1 = strength_of(buy1, sell1), strength2 = strength_of(buy2, sell2);
    const double weights[] = {weight1, weight2};
    for (std::size_t k = 0; k < 2; ++k)
        if (is_non_finite(weights[k])) return fail(non_finite(k, "weights", weights[k]));
    const double total = 0.0 + weight1 + weight2;
    if (total <= 0.0) return fail(VornError::invalid_value(0, "total weight is zero"));

    CombinedSignals out{Series(n, 0.0), Series(n, 0.0), Series(n, 0.0)};
    for (std::size_t i = 0; i < n; ++i) {
        const double sa = strength1[i], sb = strength2[i];
        const double buy_score = ((buy1[i] > 0.5 ? sa * weight1 : 0.0) + (buy2[i] > 0.5 ? sb * weight2 : 0.0)) / total;
        const double sell_score = ((sell1[i] > 0.5 ? sa * weight1 : 0.0) + (sell2[i] > 0.5 ? sb * weight2 : 0.0)) / total;
        // A sell on the same bar sets the strength last.
        if (buy_score > 0.5) {
            out.buy_signals[i] = 1.0;
            out.signal_strength[i] = buy_score < 1.0 ? buy_score : 1.0;
        }
        if (sell_score > 0.5) {
            out.sell_signals[i] = 1.0;
            out.signal_strength[i] = sell_score < 1.0 ? sell_score : 1.0;
        }
    }
    return out;
}

Result<Series> trailing_stop(std::span<const double> close, std::span<const double> atr_values,
                             std::span<const double> direction, double multiplier) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    if (multiplier < 0.0) return fail(VornError::out_of_range("multiplier", multiplier, 0.0, INF));
    const std::size_t n = close.size();
    if (atr_values.size() != n) return fail(VornError::length_mismatch("close", n, "atr", atr_values.size()));
    if (direction.size() != n) return fail(VornError::length_mismatch("close", n, "direction", direction.size()));
    if (auto s = refuse_infinite_atr(atr_values, 0, "atr contains infinite value"); !s) return fail(s.error());
    Series out(n, NaN);
    double highest = close[0], lowest = close[0];
    // The side of the last bar that was not skipped: a long run right after a short one (or
    // the mirror) starts its best close afresh instead of inheriting one from before the turn.
    int side = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = atr_values[i], c = close[i], d = direction[i];
        if (std::isnan(a)) continue;
        if (d > 0.5) {
            if (side < 0 || c > highest) highest = c;
            out[i] = highest - a * multiplier;
            side = 1;
        } else if (d < -0.5) {
            if (side > 0 || c < lowest) lowest = c;
            out[i] = lowest + a * multiplier;
            side = -1;
        } else {
            highest = lowest = c;
            side = 0;
        }
    }
    return out;
}

}  // namespace vorn::indicators::sfg_signals
