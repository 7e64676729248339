#include "indicators/overlap/sar.hpp"

#include <cmath>

#include "utils/constants.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::overlap {

namespace {

using namespace errors::validation;
using utils::max_num;
using utils::min_num;

using utils::NaN;

Status check_bars(std::span<const double> high, std::span<const double> low) {
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return s;
    if (high.size() == 1) return fail(VornError::insufficient_data(2, 1));
    return {};
}

// Ordered comparisons: a NaN factor passes and is computed with.
Status check_factors(const char* init_name, double init, const char* step_name, double step, const char* max_name,
                     double max) {
    if (init <= 0.0) return fail(not_positive(init_name, init));
    if (step <= 0.0) return fail(not_positive(step_name, step));
    if (init > max) return fail(below_lower(max_name, max, init_name, init));
    return {};
}

}  // namespace

Result<Series> sar(std::span<const double> high, std::span<const double> low, double acceleration, double maximum) {
    if (auto s = check_bars(high, low); !s) return fail(s.error());
    if (acceleration <= 0.0) return fail(not_positive("acceleration", acceleration));
    if (maximum <= 0.0) return fail(not_positive("maximum", maximum));
    if (acceleration > maximum) return fail(below_lower("maximum", maximum, "acceleration", acceleration));
    const std::size_t n = high.size();
    Series out(n, NaN);

    // Equal sums start short.
    bool is_long = high[1] + low[1] > high[0] + low[0];
    double level = is_long ? low[0] : high[0];
    double ep = is_long ? high[1] : low[1];
    double af = acceleration;
    out[1] = level;
    for (std::size_t i = 2; i < n; ++i) {
        level = level + af * (ep - level);
        // The stop stays outside the previous two bars; on bar 2 only bar 1 counts, bar 0
        // being the seed. A NaN level (NaN factor) becomes the bar's price.
        if (is_long) {
            level = min_num(level, low[i - 1]);
            if (i >= 3) level = min_num(level, low[i - 2]);
            if (level > low[i]) {
                // The reversed stop is the finished run's extreme, unclamped.
                level = ep;
                ep = low[i];
                af = acceleration;
                is_long = false;
            } else {
                // Selections at the block's end compile without a branch, which new extremes,
                // coming about every other bar, would make unpredictable.
                const bool extreme = high[i] > ep;
                const double stepped = min_num(af + acceleration, maximum);
                ep = extreme ? high[i] : ep;
                af = extreme ? stepped : af;
            }
        } else {
            level = max_num(level, high[i - 1]);
            if (i >= 3) level = max_num(level, high[i - 2]);
            if (high[i] > level) {
                level = ep;
                ep = high[i];
                af = acceleration;
                is_long = true;
            } else {
                const bool extreme = low[i] < ep;
                const double stepped = min_num(af + acceleration, maximum);
                ep = extreme ? low[i] : ep;
                af = extreme ? stepped : af;
            }
        }
        out[i] = level;
    }
    return out;
}

Result<Series> sarext(std::span<const double> high, std::span<const double> low, const SarExtParams& params) {
    // A local copy: the loop's stores to the output could otherwise alias the caller's record.
    const SarExtParams p = params;
    if (auto s = check_bars(high, low); !s) return fail(s.error());
    if (auto s = check_factors("af_init_long", p.af_init_long, "af_long", p.af_long, "af_max_long", p.af_max_long); !s)
        return fail(s.error());
    if (auto s = check_factors("af_init_short", p.af_init_short, "af_short", p.af_short, "af_max_short",
                               p.af_max_short);
        !s)
        return fail(s.error());
    const std::size_t n = high.size();
    Series out(n, NaN);

    double level = std::fabs(p.start_value) < 1e-10 ? low[0] : p.start_value;
    double ep = high[0];
    double af = p.af_init_long;
    bool is_long = true;
    out[0] = level;
    for (std::size_t i = 1; i < n; ++i) {
        // The unclamped step decides a reversal; only a level that holds is clamped.
        const double next = level + af * (ep - level);
        if (is_long) {
            if (next > low[i]) {
                level = ep + p.offset_on_reverse;
                ep = low[i];
                af = p.af_init_short;
                is_long = false;
            } else {
                level = min_num(next, low[i - 1]);
                if (i >= 2) level = min_num(level, low[i - 2]);
                // After the clamp (it reads nothing the clamp writes), so that it compiles to
                // selections rather than an unpredictable branch.
                const bool extreme = high[i] > ep;
                const double stepped = min_num(af + p.af_long, p.af_max_long);
                ep = extreme ? high[i] : ep;
                af = extreme ? stepped : af;
            }
        } else {
            if (high[i] > next) {
                level = ep - p.offset_on_reverse;
                ep = high[i];
                af = p.af_init_long;
                is_long = true;
            } else {
                level = max_num(next, high[i - 1]);
                if (i >= 2) level = max_num(level, high[i - 2]);
                const bool extreme = low[i] < ep;
                const double stepped = min_num(af + p.af_short, p.af_max_short);
                ep = extreme ? low[i] : ep;
                af = extreme ? stepped : af;
            }
        }
        out[i] = level;
    }
    return out;
}

}  // namespace vorn::indicators::overlap
