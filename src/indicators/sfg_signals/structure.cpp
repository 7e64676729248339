#include <cmath>
#include <limits>
#include <type_traits>

#include "indicators/sfg_signals/atr_bars.hpp"
#include "indicators/sfg_signals/signals.hpp"
#include "indicators/sfg_utils.hpp"
#include "indicators/volatility/bands.hpp"
#include "utils/constants.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::sfg_signals {

namespace {

using utils::NaN;
constexpr double INF = std::numeric_limits<double>::infinity();
constexpr std::uint64_t kHalfRange = std::uint64_t{1} << 63;  // from here 2 * lookback overflows
constexpr std::int64_t kRegularBullish = 1, kRegularBearish = 2;
using namespace errors::validation;
namespace su = sfg_utils;

// Least-squares line through one window of the close, positions 0 .. p - 1. Each window is
// summed afresh with centred sums, so its numbers do not depend on the windows before it.
// The channel's bands decide signals at equality (a flat window has exactly zero error, so its
// close sits on both bands). Windows up to kFitAfreshUpTo bars are fitted so; longer ones
// from the sliding line sums (utils::stats::line_at, standard_error: O(1) a window, exact
// relative to themselves, and a flat window's line its value and its error exactly 0).
constexpr std::size_t kFitAfreshUpTo = 32;

struct ChannelFit {
    double p, mean_x, sxx;

    explicit ChannelFit(std::size_t period) : p(static_cast<double>(period)), mean_x((p - 1.0) / 2.0), sxx(0.0) {
        for (std::size_t k = 0; k < period; ++k) {
            const double dx = static_cast<double>(k) - mean_x;
            sxx += dx * dx;
        }
    }

    // Line at the window's last bar and the residual standard error, for the window starting
    // at y; the lanes of a Pair hold the windows starting at y and y + 1, and `ahead` fits the
    // pair starting at y + 2 alongside. Each lane sums its own window in the order a lone
    // window is summed; the lanes' chains of additions overlap instead of waiting on each other.
    template <class L>
    void at(const double* y, std::size_t period, L& line, L& se, L* ahead_line = nullptr, L* ahead_se = nullptr) const {
        const std::size_t off = ahead_line ? 2 : 0;
        L v, w, sum{}, sum2{};
        for (std::size_t k = 0; k < period; ++k) {
            __builtin_memcpy(&v, y + k, sizeof v);
            __builtin_memcpy(&w, y + k + off, sizeof w);
            sum += v;
            sum2 += w;
        }
        const L mean_y = sum / p, mean_y2 = sum2 / p;
        L sxy{}, sxy2{};
        for (std::size_t k = 0; k < period; ++k) {
            __builtin_memcpy(&v, y + k, sizeof v);
            __builtin_memcpy(&w, y + k + off, sizeof w);
            const double dx = static_cast<double>(k) - mean_x;
            sxy += dx * (v - mean_y);
            sxy2 += dx * (w - mean_y2);
        }
        const L slope = sxy / sxx, slope2 = sxy2 / sxx;
        const L intercept = mean_y - slope * mean_x, intercept2 = mean_y2 - slope2 * mean_x;
        L sse{}, sse2{};
        for (std::size_t k = 0; k < period; ++k) {
            __builtin_memcpy(&v, y + k, sizeof v);
            __builtin_memcpy(&w, y + k + off, sizeof w);
            const L r = v - (intercept + slope * static_cast<double>(k));
            const L r2 = w - (intercept2 + slope2 * static_cast<double>(k));
            sse += r * r;
            sse2 += r2 * r2;
        }
        line = intercept + slope * (p - 1.0);
        se = roots(sse / (p - 2.0));
        if (ahead_line) {
            *ahead_line = intercept2 + slope2 * (p - 1.0);
            *ahead_se = roots(sse2 / (p - 2.0));
        }
    }

    template <class L>
    static L roots(L v) {
        if constexpr (std::is_same_v<L, double>) {
            return std::sqrt(v);
        } else {
            for (std::size_t lane = 0; lane < sizeof(L) / sizeof(double); ++lane) v[lane] = std::sqrt(v[lane]);
            return v;
        }
    }
};

// The first zone of one side, in list order, strong enough and within tolerance of the close.
const su::SupplyDemandZone* zone_near(const std::vector<su::SupplyDemandZone>& zones, bool demand, double c,
                                      double tolerance) {
    for (const su::SupplyDemandZone& z : zones)
        if (z.is_demand == demand && z.strength > 0.5 && std::fabs(c - z.price) < tolerance * z.price) return &z;
    return nullptr;
}

// Shared by the swing-based detectors: 0 is an invalid period, 2 * lookback must fit and
// the series must hold that many bars.
Status validate_swing_lookback(std::uint64_t lookback, std::size_t n, const char* overflow) {
    if (lookback == 0) return fail(VornError::invalid_period(0, n));
    if (lookback >= kHalfRange) return fail(VornError::invalid_value(0, overflow));
    if (n < 2 * lookback) return fail(VornError::insufficient_data(2 * lookback, n));
    return {};
}

}  // namespace

Result<TradeSignals> linreg_supply_demand_signals(std::span<const double> high, std::span<const double> low,
                                                  std::span<const double> close, std::span<const double> volume,
                                                  std::uint64_t linreg_period, double tolerance) {
    auto atr = volatility::atr(high, low, close, 14);
    if (!atr) return fail(atr.error());
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}, {volume, "volume"}}); !s)
        return fail(s.error());
    if (tolerance < 0.0) return fail(VornError::out_of_range("tolerance", tolerance, 0.0, INF));
    const std::size_t n = close.size();
    if (linreg_period == 0) return fail(VornError::invalid_period(0, n));
    if (linreg_period < 3 || linreg_period > n) return fail(VornError::invalid_period(linreg_period, n));
    auto zones = su::detect_supply_demand_zones(high, low, close, volume, linreg_period, tolerance);
    if (!zones) return fail(zones.error());
    const std::size_t p = static_cast<std::size_t>(linreg_period);
    if (auto s = refuse_infinite_atr(*atr, p, "atr_values contains infinite value"); !s) return fail(s.error());

    // Bar p - 1 has a channel but is never signalled, so the channel starts at bar p.
    Series lines(n, NaN), errors(n, NaN);
    if (p > kFitAfreshUpTo) {
        lines = utils::stats::line_at(close, p, static_cast<double>(p) - 1.0, utils::stats::NaNs::none);
        errors = utils::stats::standard_error(close, p, utils::stats::NaNs::none);
    } else {
        const ChannelFit fit(p);
        // Four windows at a time: their sums are independent chains of additions.
        typedef double Pair __attribute__((vector_size(16)));
        std::size_t i = p;
        for (; i + 4 <= n; i += 4) {
            Pair l0, e0, l1, e1;
            fit.at(close.data() + (i + 1 - p), p, l0, e0, &l1, &e1);
            __builtin_memcpy(&lines[i], &l0, sizeof l0);
            __builtin_memcpy(&lines[i + 2], &l1, sizeof l1);
            __builtin_memcpy(&errors[i], &e0, sizeof e0);
            __builtin_memcpy(&errors[i + 2], &e1, sizeof e1);
        }
        for (; i < n; ++i) fit.at(close.data() + (i + 1 - p), p, lines[i], errors[i]);
    }
    TradeSignals out = TradeSignals::make(n);
    for (std::size_t i = p; i < n; ++i) {
        const double a = (*atr)[i], c = close[i];
        if (std::isnan(a)) continue;
        const double line = lines[i], se = errors[i];
        const double upper = line + 2.0 * se, lower = line - 2.0 * se;
        if (lower >= c)
            if (const su::SupplyDemandZone* z = zone_near(*zones, true, c, tolerance)) {
                out.buy_signals[i] = 1.0;
                out.stop_loss[i] = z->lower - a;
                out.take_profit[i] = line;
            }
        if (c >= upper)
            if (const su::SupplyDemandZone* z = zone_near(*zones, false, c, tolerance)) {
                out.sell_signals[i] = 1.0;
                out.stop_loss[i] = z->upper + a;
                out.take_profit[i] = line;
            }
    }
    return out;
}

Result<TradeSignals> pd_array_signals(std::span<const double> high, std::span<const double> low,
                                      std::span<const double> close, std::uint64_t swing_lookback) {
    auto atr = volatility::atr(high, low, close, 14);
    if (!atr) return fail(atr.error());
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}}); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = validate_swing_lookback(swing_lookback, n, "swing_lookback * 2 overflow"); !s) return fail(s.error());
    if (auto s = refuse_infinite_atr(*atr, 1, "atr_values contains infinite value"); !s) return fail(s.error());
    const su::SwingPoints swings = su::find_swing_points(close, swing_lookback);

    TradeSignals out = TradeSignals::make(n);
    double last_high = NaN, last_low = NaN;
    bool have_high = false, have_low = false;
    bool was_premium = false, was_discount = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (swings.swing_high[i]) last_high = high[i], have_high = true;
        if (swings.swing_low[i]) last_low = low[i], have_low = true;
        // Both halves are defined only over a positive swing range.
        double equilibrium = NaN;
        bool premium = false, discount = false;
        if (have_high && have_low && last_high - last_low > 0.0) {
            equilibrium = last_low + (last_high - last_low) * 0.5;
            premium = close[i] > equilibrium;
            discount = !premium;
        }
        const double a = (*atr)[i], c = close[i];
        if (i > 0 && !std::isnan(a)) {
            if (was_premium && discount) {
                out.buy_signals[i] = 1.0;
                out.stop_loss[i] = c - 2.0 * a;
                out.take_profit[i] = equilibrium + a;
            } else if (was_discount && premium) {
                out.sell_signals[i] = 1.0;
                out.stop_loss[i] = c + 2.0 * a;
                out.take_profit[i] = equilibrium - a;
            }
        }
        was_premium = premium;
        was_discount = discount;
    }
    return out;
}

Result<DivergenceSeries> detect_divergence(std::span<const double> price, std::span<const double> indicator,
                                           std::uint64_t lookback, double threshold) {
    if (auto s = validate_lengths_match({{price, "price"}, {indicator, "indicator"}}); !s) return fail(s.error());
    if (threshold < 0.0) return fail(VornError::out_of_range("threshold", threshold, 0.0, INF));
    const std::size_t n = price.size();
    if (auto s = validate_swing_lookback(lookback, n, "lookback * 2 overflow"); !s) return fail(s.error());
    const su::SwingPoints swings = su::find_swing_points(price, lookback);

    DivergenceSeries out{std::vector<std::int64_t>(n, 0), Series(n, 0.0)};
    auto strength = [&](std::size_t recent, std::size_t older) {
        const double p1 = price[recent], p2 = price[older], x1 = indicator[recent], x2 = indicator[older];
        const double ax2 = std::fabs(x2);
        const double s = std::fabs((p1 - p2) / p2) + std::fabs((x1 - x2) / (ax2 > 1.0 ? ax2 : 1.0));
        return s < 1.0 ? s : 1.0;
    };
    // The two latest swing lows and highs strictly before the bar; n while missing.
    std::size_t l1 = n, l2 = n, h1 = n, h2 = n;
    const double up = 1.0 + threshold, down = 1.0 - threshold;
    for (std::size_t i = static_cast<std::size_t>(lookback); i < n; ++i) {
        if (swings.swing_low[i - 1]) l2 = l1, l1 = i - 1;
        if (swings.swing_high[i - 1]) h2 = h1, h1 = i - 1;
        if (l2 < n && down * price[l2] > price[l1] && indicator[l1] > up * indicator[l2]) {
            out.divergence_type[i] = kRegularBullish;
            out.strength[i] = strength(l1, l2);
        }
        if (h2 < n && price[h1] > up * price[h2] && down * indicator[h2] > indicator[h1]) {
            out.divergence_type[i] = kRegularBearish;
            out.strength[i] = strength(h1, h2);
        }
    }
    return out;
}

}  // namespace vorn::indicators::sfg_signals
