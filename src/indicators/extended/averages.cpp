#include "indicators/extended/averages.hpp"

#include <cmath>
#include <numbers>

#include "indicators/extended/flow.hpp"
#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/ma.hpp"
#include "utils/pairs.hpp"
#include "utils/stats.hpp"
#include "utils/window_blocks.hpp"
#include "utils/window_lanes.hpp"

namespace vorn::indicators::extended {

namespace blocks = utils::window_blocks;
namespace lanes = utils::lanes;
namespace pairs = utils::pairs;
using pairs::Pair;

using errors::validation::validate_series_and_periods;

namespace {

using utils::NaN;
using utils::kDivisionGuard;

// Divides every weight by their plain sum in index order; unguarded, so weights that all
// underflow to 0 become NaN.
void normalise(Series& w) {
    double sum = 0.0;
    for (const double x : w) sum += x;
    for (double& x : w) x /= sum;
}

// out[i] = sum_k w[k] * x[i - p + 1 + k] for i >= first, a plain sum from the oldest bar,
// eight windows side by side where they fit (utils::window_blocks).
Series weighted_windows(std::span<const double> x, const Series& w, std::size_t first) {
    const std::size_t n = x.size(), p = w.size();
    Series out(n, NaN);
    std::size_t i = first;
    if (i + blocks::kWindows <= n) {
        // Each weight twice, so that one load fills both halves.
        utils::Scratch<double> wide(2 * p);
        for (std::size_t k = 0; k < p; ++k) wide[2 * k] = wide[2 * k + 1] = w[k];
        i = blocks::sum_by_eights<"weighted_windows">(
            first, n, p,
            [&](std::size_t k, std::size_t j) { return pairs::load(wide.data() + 2 * k) * pairs::load(x.data() + j); },
            [&](std::size_t at, const std::array<Pair, blocks::kPairs>& acc) {
                for (std::size_t q = 0; q < blocks::kPairs; ++q) pairs::store(out.data() + at + 2 * q, acc[q]);
            });
    }
    for (; i < n; ++i) {
        const double* win = x.data() + (i + 1 - p);
        double acc = 0.0;
        for (std::size_t k = 0; k < p; ++k) acc += w[k] * win[k];
        out[i] = acc;
    }
    return out;
}

template <class Raw>
Result<Series> fixed_weight(std::span<const double> values, std::uint64_t period, std::size_t first, Raw&& raw) {
    if (auto s = validate_series_and_periods({{values, "values"}}, {period}); !s) return fail(s.error());
    Series w(period);
    raw(w);
    normalise(w);
    return weighted_windows(values, w, first);
}

}  // namespace

Result<Series> alma(std::span<const double> values, std::uint64_t period, double offset, double sigma) {
    return fixed_weight(values, period, period - 1, [&](Series& w) {
        const double p = static_cast<double>(period);
        const double m = offset * (p - 1.0);
        const double s = p / sigma;
        for (std::size_t i = 0; i < w.size(); ++i) {
            const double d = (static_cast<double>(i) - m) / s;
            w[i] = std::exp(-(d * d));
        }
    });
}

Result<Series> pwma(std::span<const double> values, std::uint64_t period) {
    return fixed_weight(values, period, period - 1, [](Series& w) {
        // Row k of the binomial triangle scaled by 2^-k, built row by row in place. Halving
        // is exact, so the normalised weights are bit for bit those of the unscaled
        // triangle wherever its sum is finite (periods up to 1024); unscaled, the sum
        // overflows from period 1025 and every weight collapses to 0 or NaN.
        w[0] = 1.0;
        for (std::size_t k = 1; k < w.size(); ++k) {
            w[k] = w[k - 1] * 0.5;
            for (std::size_t j = k - 1; j > 0; --j) w[j] = (w[j - 1] + w[j]) * 0.5;
            w[0] *= 0.5;
        }
    });
}

Result<Series> sinwma(std::span<const double> values, std::uint64_t period) {
    return fixed_weight(values, period, period - 1, [&](Series& w) {
        const double q = static_cast<double>(period) + 1.0;
        for (std::size_t j = 0; j < w.size(); ++j)
            w[j] = std::sin((static_cast<double>(j + 1) * std::numbers::pi) / q);
    });
}

Result<Series> swma(std::span<const double> values, std::uint64_t period) {
    return fixed_weight(values, period, period, [&](Series& w) {
        const std::uint64_t h = (period - 1) / 2;
        for (std::uint64_t j = 0; j < period; ++j) w[j] = static_cast<double>(j <= h ? j + 1 : period - j);
    });
}

Result<Series> vwma(std::span<const double> close, std::span<const double> volume, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}, {volume, "volume"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size(), p = period;
    // The products are the same in every window that holds them, so they are taken once.
    utils::Scratch<double> traded(n);
    for (std::size_t i = 0; i < n; ++i) traded[i] = close[i] * volume[i];
    Series out(n, NaN);
    if (p > blocks::kAfreshUpTo) {
        // A long window's two sums slide side by side (utils::stats::RollingSumPair): a window
        // without volume reads exactly 0, and volumes none of which is negative never sum
        // below 0, so neither writes a value.
        utils::stats::RollingSumPair sums(std::span<const double>(traded.data(), n), volume, p);
        for (std::size_t i = p - 1; i < n; ++i) {
            const Pair s = sums.step(i);
            if (s[1] > 0.0) out[i] = s[0] / s[1];
        }
        return out;
    }
    // A short one is summed afresh from its oldest bar, eight side by side where they fit
    // (utils::window_blocks).
    std::size_t i = blocks::sum_by_eights<"vwma_windows">(
        p - 1, n, p,
        [&](std::size_t, std::size_t j) {
            return std::array<Pair, 2>{pairs::load(traded.data() + j), pairs::load(volume.data() + j)};
        },
        [&](std::size_t at, const blocks::Sums<2>& s) {
            for (std::size_t q = 0; q < blocks::kPairs; ++q)
                for (std::size_t h = 0; h < 2; ++h)
                    if (s[1][q][h] > 0.0) out[at + 2 * q + h] = s[0][q][h] / s[1][q][h];
        });
    for (; i < n; ++i) {
        double a = 0.0, v = 0.0;
        for (std::size_t k = i + 1 - p; k <= i; ++k) {
            a += traded[k];
            v += volume[k];
        }
        if (v > 0.0) out[i] = a / v;
    }
    return out;
}

Result<Series> vidya(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    Series out = utils::stats::stdev(close, period, utils::stats::NaNs::none);
    const double alpha = 2.0 / (static_cast<double>(period) + 1.0);
    double prev = close[period - 1];
    out[period - 1] = prev;
    for (std::size_t i = period; i < close.size(); ++i) {
        const double sd = out[i];
        if (std::isnan(sd) || std::fabs(close[i]) < kDivisionGuard) {
            prev = NaN;
        } else {
            const double k = alpha * std::fabs(sd / close[i]);
            prev = k * close[i] + (1.0 - k) * prev;
        }
        out[i] = prev;
    }
    return out;
}

Result<AlligatorSeries> alligator(std::span<const double> high, std::span<const double> low,
                                  std::uint64_t jaw_period, std::uint64_t teeth_period, std::uint64_t lips_period) {
    if (auto s = validate_series_and_periods({{high, "high"}, {low, "low"}}, {jaw_period, teeth_period, lips_period}); !s)
        return fail(s.error());
    const std::size_t n = high.size();
    Series median(n);
    for (std::size_t i = 0; i < n; ++i) median[i] = (high[i] + low[i]) * 0.5;
    // The shifts are fixed whatever the periods.
    auto line = [&](std::uint64_t period, std::uint64_t shift) -> Result<Series> {
        auto smoothed = utils::ma::rma(median, period);
        if (!smoothed) return fail(smoothed.error());
        return shift_forward(*smoothed, shift);
    };
    auto jaw = line(jaw_period, 8);
    if (!jaw) return fail(jaw.error());
    auto teeth = line(teeth_period, 5);
    if (!teeth) return fail(teeth.error());
    auto lips = line(lips_period, 3);
    if (!lips) return fail(lips.error());
    return AlligatorSeries{std::move(*jaw), std::move(*teeth), std::move(*lips)};
}

}  // namespace vorn::indicators::extended
