#include "indicators/volume.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "utils/bounds.hpp"
#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/exact_sum.hpp"
#include "utils/kahan.hpp"
#include "utils/ma.hpp"
#include "utils/series.hpp"
#include "utils/sliding.hpp"
#include "utils/stats.hpp"
#include "utils/window_weight.hpp"

namespace vorn::indicators::volume {

namespace {

using utils::NaN;
using utils::kDivisionGuard;

using errors::validation::validate_lengths_match;
using errors::validation::validate_period;

using Span = std::span<const double>;

Status validate_cv(Span close, Span volume) {
    return validate_lengths_match({{close, "close"}, {volume, "volume"}});
}
Status validate_hlcv(Span high, Span low, Span close, Span volume) {
    return validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}, {volume, "volume"}});
}

Status need_two_bars(std::size_t n) {
    if (n < 2) return fail(VornError::insufficient_data(2, n));
    return {};
}

// Inputs validated.
Series ad_line(Span high, Span low, Span close, Span volume) {
    const std::size_t n = close.size();
    Series out(n);
    double total = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const double range = high[i] - low[i];
        if (range > 0.0) total += ((close[i] - low[i]) - (high[i] - close[i])) / range * volume[i];
        out[i] = total;
    }
    return out;
}

// Inputs validated, n >= 1, 1 <= period <= n.
Series ema_seed_impl(Span values, std::uint64_t period) {
    const std::size_t n = values.size();
    const double alpha = utils::ma::ema_alpha(period);
    Series out(n);
    out[0] = values[0];
    for (std::size_t i = 1; i < n; ++i) {
        const double x = values[i], prev = out[i - 1];
        out[i] = std::isnan(x) || std::isnan(prev) ? x : alpha * x + (1.0 - alpha) * prev;
    }
    return out;
}

// `moved` where `take` holds, `kept` elsewhere, chosen on the bits without a branch: whether a
// close or a volume rose from the bar before is a coin toss to a branch predictor, and each
// lost guess costs more than the bar's arithmetic.
double pick(bool take, double moved, double kept) noexcept {
    const std::uint64_t mask = -static_cast<std::uint64_t>(take);
    return std::bit_cast<double>((std::bit_cast<std::uint64_t>(moved) & mask) |
                                 (std::bit_cast<std::uint64_t>(kept) & ~mask));
}

// A previous close this small would blow the bar's relative change up: the bar moves no line.
bool usable_base(double prev_close) noexcept { return !(std::fabs(prev_close) < kDivisionGuard); }

// Lines over close and volume from `start`: line[i] = step(line[i - 1], i). Two bars at least.
template <class Step>
Result<Series> change_line(Span close, Span volume, double start, Step step) {
    if (auto s = validate_cv(close, volume); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = need_two_bars(n); !s) return fail(s.error());
    Series out(n);
    out[0] = start;
    for (std::size_t i = 1; i < n; ++i) out[i] = step(out[i - 1], i);
    return out;
}

// The volume indices move by the close's relative change only on bars whose volume `moves`
// accepts; any other bar multiplies by 1.0, which keeps the index exactly.
template <class Moves>
Result<Series> volume_index(Span close, Span volume, Moves moves) {
    return change_line(close, volume, 1000.0, [&](double prev, std::size_t i) {
        const double prev_close = close[i - 1];
        const bool update = moves(volume[i], volume[i - 1]) & usable_base(prev_close);
        return pick(update, (close[i] - prev_close) / prev_close + 1.0, 1.0) * prev;
    });
}

// out[i] = quotient(numerator sum, denominator sum) from index period - 1, NaN before; the two
// rolling sums advance together. The series are formed beforehand in a loop of their own:
// folded into this one they measured slower. The quotient lies within `bound` when each pair
// of terms meets a premise, met(i); it is confined there where every pair of its window did,
// looked for only where rounding carried a quotient past the bound. 1 <= period <= n.
template <class Quotient, class Met = bool (*)(std::size_t)>
Series ratio_of_rolling_sums(Span numerator, Span denominator, std::uint64_t period, Quotient quotient,
                             utils::bounds::Interval bound = utils::bounds::kAnything, Met met = nullptr) {
    const std::size_t n = numerator.size();
    Series out(n);
    utils::stats::RollingSumPair sums(numerator, denominator, period);
    for (std::size_t i = 0; i < n; ++i) {
        const auto s = sums.step(i);
        const double a = s[0], b = s[1];
        out[i] = std::isnan(a) || std::isnan(b) ? NaN : quotient(a, b);
    }
    const bool bounded = std::isfinite(bound.lo) || std::isfinite(bound.hi);
    if (bounded && utils::bounds::strays(out.data(), 0, n, bound)) [[unlikely]]
        utils::bounds::confine_where_held(out.data(), n, period, bound, met);
    return out;
}

}  // namespace

Result<Series> obv(Span close, Span volume) {
    if (auto s = validate_cv(close, volume); !s) return fail(s.error());
    const std::size_t n = close.size();
    Series out(n);
    double line = volume[0];
    out[0] = line;
    for (std::size_t i = 1; i < n; ++i) {
        const int direction = (close[i] > close[i - 1]) - (close[i] < close[i - 1]);
        // line + (+-1 * v) is line + v or line - v exactly; an unchanged close adds -0.0,
        // which leaves every value, a signed zero included, as it was.
        line = line + pick(direction != 0, static_cast<double>(direction) * volume[i], -0.0);
        out[i] = line;
    }
    return out;
}

Result<Series> accumulation_distribution(Span high, Span low, Span close, Span volume) {
    if (auto s = validate_hlcv(high, low, close, volume); !s) return fail(s.error());
    return ad_line(high, low, close, volume);
}

Result<Series> ema_seed(Span values, std::uint64_t period) {
    if (values.empty()) return fail(VornError::empty_input("values"));
    if (auto s = validate_period(period, values.size()); !s) return fail(s.error());
    return ema_seed_impl(values, period);
}

Result<Series> adosc(Span high, Span low, Span close, Span volume, std::uint64_t fast_period,
                     std::uint64_t slow_period) {
    if (auto s = validate_hlcv(high, low, close, volume); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = validate_period(fast_period, n); !s) return fail(s.error());
    if (auto s = validate_period(slow_period, n); !s) return fail(s.error());
    const Series ad = ad_line(high, low, close, volume);
    return utils::series_difference(ema_seed_impl(ad, fast_period), ema_seed_impl(ad, slow_period));
}

Result<Series> pvt(Span close, Span volume) {
    return change_line(close, volume, 0.0, [&](double prev, std::size_t i) {
        const double prev_close = close[i - 1];
        // A bar that moves nothing adds -0.0, which leaves any value as it was.
        return prev + pick(usable_base(prev_close), ((close[i] - prev_close) / prev_close) * volume[i], -0.0);
    });
}

Result<Series> nvi(Span close, Span volume) {
    return volume_index(close, volume, [](double v, double prev_v) { return v < prev_v; });
}

Result<Series> pvi(Span close, Span volume) {
    return volume_index(close, volume, [](double v, double prev_v) { return v > prev_v; });
}

Result<Series> cmf(Span high, Span low, Span close, Span volume, std::uint64_t period) {
    if (auto s = validate_hlcv(high, low, close, volume); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    utils::Scratch flow(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double range = high[i] - low[i];
        // An inverted bar keeps its negative range; only a flat one is neutral.
        const double multiplier =
            std::fabs(range) < kDivisionGuard ? 0.0 : ((close[i] - low[i]) - (high[i] - close[i])) / range;
        flow[i] = multiplier * volume[i];
    }
    // A bar within its range has a multiplier in -1..1, so its flow is at most its volume in
    // magnitude; a window of such bars flows at most its volume.
    return ratio_of_rolling_sums(
        Span(flow.data(), n), volume, period, [](double f, double v) { return std::fabs(v) < kDivisionGuard ? 0.0 : f / v; },
        utils::bounds::kUnit, [&](std::size_t i) { return !(std::fabs(flow[i]) > volume[i]); });
}

Result<Series> mfi(Span high, Span low, Span close, Span volume, std::uint64_t period) {
    if (auto s = validate_hlcv(high, low, close, volume); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    utils::Scratch pos(n), neg(n);
    pos[0] = neg[0] = 0.0;
    // A bar's flow is booked by how its h + l + c compares with the bar before as real numbers:
    // two rounded thirds of equal sums can differ in their last bit, which would book a move on
    // a tie (common on FX prices). The flow itself is the rounded typical price's.
    for (std::size_t i = 1; i < n; ++i) {
        const int move =
            utils::exact::compare_sums(high[i], low[i], close[i], high[i - 1], low[i - 1], close[i - 1]);
        const double raw = volume[i] * typical_price(high[i], low[i], close[i]);
        pos[i] = pick(move > 0, raw, 0.0);
        neg[i] = pick(move < 0, raw, 0.0);
    }
    // Flows of volumes and prices not below 0 are not below 0, and neither are their window
    // sums as read (utils::sliding): p / q + 1 >= 1, so the index lies in 0..100 as rounded,
    // with nothing to confine.
    return ratio_of_rolling_sums(Span(pos.data(), n), Span(neg.data(), n), period, [](double p, double q) {
        return std::fabs(q) < kDivisionGuard ? 100.0 : 100.0 - 100.0 / (p / q + 1.0);
    });
}

Result<Series> vwap(Span high, Span low, Span close, Span volume, std::uint64_t period) {
    if (auto s = validate_hlcv(high, low, close, volume); !s) return fail(s.error());
    const std::size_t n = close.size();
    auto quotient = [](double pv, double v) { return std::fabs(v) < kDivisionGuard ? NaN : pv / v; };
    if (period == 0) {
        // The typical prices are checked in the pass that sums them: nothing else can fail.
        // Both running sums advance together, one per half of a vector register, each half
        // performing exactly the steps of utils::Kahan::add.
        using Pair = double __attribute__((vector_size(16)));
        Pair sum = {0.0, 0.0}, comp = {0.0, 0.0};  // (price * volume, volume)
        Series out(n);
        for (std::size_t i = 0; i < n; ++i) {
            const double tp = typical_price(high[i], low[i], close[i]);
            if (is_non_finite(tp)) [[unlikely]]
                return fail(errors::validation::non_finite(i, "typical_prices", tp));
            const Pair x = {tp * volume[i], volume[i]};
            const Pair y = x - comp;
            const Pair t = sum + y;
            comp = (t - sum) - y;
            sum = t;
            out[i] = quotient(sum[0], sum[1]);
        }
        return out;
    }
    Series tp(n);
    for (std::size_t i = 0; i < n; ++i) {
        tp[i] = typical_price(high[i], low[i], close[i]);
        if (is_non_finite(tp[i])) return fail(errors::validation::non_finite(i, "typical_prices", tp[i]));
    }
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    // Two running sums, each carrying its compensation from the first window on (through
    // its rebuilds too), rebuilt together from scratch on slides 1000, 2000, ... (over windows
    // past 1000 bars, on the multiples of sliding::rebuild_every(period)). A slide
    // that leaves a compensation non-finite (a product tp * volume that overflowed) rebuilds
    // them at once as well, or takes them over while the window stays beyond the range
    // (utils/beyond_range.hpp), so the overflow ends with the window that held it instead of
    // turning every sum after it NaN; so does a slide after which a product or volume that
    // passed through the sums outweighs the window (utils::WindowWeight), whose rounding would
    // otherwise outlive it. A window without volume sums to exactly 0: no price.
    Series out(n, NaN);
    namespace window = utils::stats::window;
    window::sliding_sums<2, utils::sliding::OnEveryThousandth, window::SlideOrder::enter_first, true>(
        n, static_cast<std::size_t>(period),
        [&](std::size_t k, std::array<double, 2>& c) {
            c = {tp[k] * volume[k], volume[k]};
            return false;
        },
        [&](std::size_t i, const std::array<utils::Kahan, 2>& s, std::uint64_t) {
            out[i] = quotient(s[0].sum, s[1].sum);
        });
    return out;
}

// Flattened, as volume_oscillator: the average's steps are inlined into the loop.
[[gnu::flatten]] Result<Series> eom(Span high, Span low, Span volume, std::uint64_t period) {
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {volume, "volume"}}); !s)
        return fail(s.error());
    const std::size_t n = high.size();
    if (auto s = validate_period(period, n); !s) return fail(s.error());
    if (auto s = need_two_bars(n); !s) return fail(s.error());
    Series raw(n, NaN), out(n);
    raw[0] = 0.0;
    utils::ma::SmaWindow mean(raw, period);
    out[0] = mean.step(0);
    for (std::size_t i = 1; i < n; ++i) {
        const double range = high[i] - low[i];
        if (range > 0.0 && volume[i] > 0.0) {
            const double distance = (high[i] + low[i]) * 0.5 - (high[i - 1] + low[i - 1]) * 0.5;
            const double box_ratio = volume[i] / (range * 100000000.0);
            raw[i] = distance / box_ratio;
        }
        out[i] = mean.step(i);
    }
    return out;
}

// Flattened so that both averages' steps are inlined into the loop; left to itself the
// compiler calls them, and each call passes the sums through memory.
[[gnu::flatten]] Result<Series> volume_oscillator(Span volume, std::uint64_t short_period, std::uint64_t long_period) {
    if (auto s = errors::validation::validate_series(volume, "volume"); !s) return fail(s.error());
    const std::size_t n = volume.size();
    const std::uint64_t p_short = short_period < long_period ? short_period : long_period;
    const std::uint64_t p_long = short_period < long_period ? long_period : short_period;
    if (auto s = validate_period(p_short, n); !s) return fail(s.error());
    if (auto s = validate_period(p_long, n); !s) return fail(s.error());
    utils::ma::SmaWindow short_mean(volume, p_short), long_mean(volume, p_long);
    Series out(n);
    const auto oscillator = [](double s, double l) {
        return std::isnan(s) || std::isnan(l) || std::fabs(l) < kDivisionGuard ? NaN : ((s - l) / l) * 100.0;
    };
    // Split (SmaWindow::slide): the loop takes only ordinary slides, so that both sums stay in
    // registers beside the windows' paths beyond the range.
    for (std::size_t i = 0; i < n; ++i) {
        auto a = short_mean.local();
        auto b = long_mean.local();
        utils::sliding::Event ea = utils::sliding::Event::none, eb = utils::sliding::Event::none;
        double s = NaN, l = NaN;
        bool short_stopped = false, long_stopped = false;
        for (; i < n; ++i) {
            if (!short_mean.slide(a, i, s, ea)) [[unlikely]] {
                short_stopped = true;
                break;
            }
            if (!long_mean.slide(b, i, l, eb)) [[unlikely]] {
                long_stopped = true;
                break;
            }
            out[i] = oscillator(s, l);
        }
        short_mean.keep(a);
        long_mean.keep(b);
        if (short_stopped) {
            s = short_mean.finish(i, ea);
            l = long_mean.finish(i, utils::sliding::Event::none);
        } else if (long_stopped) {
            l = long_mean.finish(i, eb);
        } else {
            break;
        }
        out[i] = oscillator(s, l);
    }
    return out;
}

Result<VolumeProfile> volume_profile(Span high, Span low, Span close, Span volume, std::uint64_t num_bins) {
    if (auto s = validate_hlcv(high, low, close, volume); !s) return fail(s.error());
    if (num_bins == 0)
        return fail(VornError::out_of_range("num_bins", 0.0, 1.0, std::numeric_limits<double>::infinity()));
    const std::size_t n = close.size();
    double lo = low[0], hi = high[0];
    for (std::size_t i = 1; i < n; ++i) {
        if (low[i] < lo) lo = low[i];
        if (high[i] > hi) hi = high[i];
    }
    const double range = hi - lo;
    VolumeProfile out;
    if (std::fabs(range) < kDivisionGuard) {
        double total = 0.0;
        for (std::size_t i = 0; i < n; ++i) total += volume[i];
        out.centres = Series(1, lo);
        out.volumes = Series(1, total);
        out.point_of_control = lo;
        return out;
    }
    // A profile is a few dozen to a few thousand bins; the bound keeps a mistaken count from
    // claiming gigabytes (its two lists are built in Python as well) or failing to allocate.
    // A flat span above needs one bin whatever the count, so only the binned profile is bounded.
    if (num_bins > max_profile_bins)
        return fail(VornError::out_of_range("num_bins", static_cast<double>(num_bins), 1.0,
                                            static_cast<double>(max_profile_bins)));
    out.centres = Series(num_bins);
    out.volumes = Series(num_bins, 0.0);
    const std::size_t bins = num_bins;
    const double width = range / static_cast<double>(num_bins);
    for (std::size_t k = 0; k < bins; ++k) out.centres[k] = lo + (static_cast<double>(k) + 0.5) * width;
    const double last = static_cast<double>(bins - 1);
    for (std::size_t i = 0; i < n; ++i) {
        // Clamped while still a float: a NaN or huge quotient never reaches the integer cast.
        const double q = std::floor((typical_price(high[i], low[i], close[i]) - lo) / width);
        const double k = q >= last ? last : (q >= 0.0 ? q : 0.0);
        out.volumes[static_cast<std::size_t>(k)] += volume[i];
    }
    double most = out.volumes[0];
    for (std::size_t k = 1; k < bins; ++k)
        if (out.volumes[k] > most) most = out.volumes[k];
    out.point_of_control = out.centres[0];
    for (std::size_t k = 0; k < bins; ++k) {
        if (std::fabs(out.volumes[k] - most) < 1e-10) {
            out.point_of_control = out.centres[k];
            break;
        }
    }
    return out;
}

}  // namespace vorn::indicators::volume
