#include "indicators/trend/supertrend.hpp"

#include <cmath>

#include "indicators/volatility/bands.hpp"
#include "utils/constants.hpp"

namespace vorn::indicators::trend {

Result<SuperTrendSeries> supertrend(std::span<const double> high, std::span<const double> low,
                                    std::span<const double> close, std::uint64_t period, double multiplier) {
    using utils::NaN;
    // The ATR kernel makes exactly this function's checks, in its order.
    auto atr = volatility::atr(high, low, close, period);
    if (!atr) return fail(atr.error());
    const std::size_t n = high.size();
    // The value vector carries the ATR until each bar's value replaces it.
    SuperTrendSeries r{std::move(*atr), Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    const double m = multiplier;

    for (std::size_t i = period; i < n; ++i) {
        const double a = r.value[i];
        if (std::isnan(a)) continue;
        const double hl2 = (high[i] + low[i]) * 0.5;
        const double basic_upper = a * m + hl2;
        const double basic_lower = hl2 - a * m;
        if (i == period) {
            r.upper[i] = basic_upper;
            r.lower[i] = basic_lower;
            // A close at hl2 counts as down.
            r.direction[i] = close[i] > hl2 ? 1.0 : -1.0;
        } else {
            const double pu = r.upper[i - 1];
            const double pl = r.lower[i - 1];
            // A band only tightens while price respects it; once the previous close has broken
            // through, it restarts from the basic band instead of holding a stale extreme.
            r.upper[i] = std::isnan(pu) || basic_upper < pu || close[i - 1] > pu ? basic_upper : pu;
            r.lower[i] = std::isnan(pl) || basic_lower > pl || close[i - 1] < pl ? basic_lower : pl;
            // A close exactly on the band keeps the current direction.
            if (r.direction[i - 1] == 1.0)
                r.direction[i] = r.lower[i] > close[i] ? -1.0 : 1.0;
            else
                r.direction[i] = close[i] > r.upper[i] ? 1.0 : -1.0;
        }
        r.value[i] = r.direction[i] == 1.0 ? r.lower[i] : r.upper[i];
    }
    return r;
}

}  // namespace vorn::indicators::trend
