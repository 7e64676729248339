#include "utils/ma.hpp"

#include <cmath>
#include <limits>

#include "utils/kahan.hpp"
#include "utils/stats.hpp"

namespace vorn::utils::ma {

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
using errors::validation::validate_period;
using errors::validation::validate_series;

Status check_validating(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return s;
    return validate_period(period, values.size());
}

Status check_allow_nan(std::span<const double> values, std::uint64_t period) {
    if (values.empty()) return fail(VornError::empty_input("values"));
    return validate_period(period, values.size());
}

bool any_defined(const Series& s) {
    for (double v : s)
        if (!std::isnan(v)) return true;
    return false;
}

}  // namespace

Series sma_impl(std::span<const double> x, std::uint64_t period) {
    const std::size_t len = x.size(), n = period;
    const double nf = static_cast<double>(period);
    Series out(len, NaN);
    Kahan acc;
    std::size_t count = 0;
    unsigned slides = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const double v = x[i];
        if (std::isnan(v)) {
            acc.reset();
            count = 0;
            slides = 0;
            continue;
        }
        acc.add(v);
        if (count < n) {
            if (++count == n) {
                slides = 0;
                out[i] = acc.sum / nf;
            }
            continue;
        }
        // Recomputing on every 1000th slide bounds the drift of the running sum; a sum that
        // overflowed is rebuilt at once, or it would poison windows long after the huge values left.
        if (++slides < 1000) {
            acc.sub(x[i - n]);
        }
        if (slides >= 1000 || !std::isfinite(acc.comp)) {
            acc.reset();
            for (std::size_t k = i + 1 - n; k <= i; ++k) acc.add(x[k]);
            acc.comp = 0.0;
            slides = 0;
        }
        out[i] = acc.sum / nf;
    }
    return out;
}

Series ema_impl(std::span<const double> x, std::uint64_t period, double alpha) {
    const std::size_t len = x.size(), n = period;
    const double nf = static_cast<double>(period), keep = 1.0 - alpha;
    Series out(len, NaN);
    if (n == 0) return out;
    Kahan seed;
    std::size_t count = 0;
    double avg = 0.0;
    for (std::size_t i = 0; i < len; ++i) {
        const double v = x[i];
        if (std::isnan(v)) {
            seed.reset();
            count = 0;
            continue;
        }
        if (count < n) {
            seed.add(v);
            if (++count == n) {
                avg = seed.sum / nf;
                out[i] = avg;
            }
        } else {
            avg = avg * keep + v * alpha;
            out[i] = avg;
        }
    }
    return out;
}

Series wma_impl(std::span<const double> x, std::uint64_t period) {
    const std::size_t len = x.size(), n = period;
    const double nf = static_cast<double>(period);
    const double divisor = (1.0 + nf) * nf * 0.5;
    Series out(len, NaN);
    Kahan s, w;
    std::size_t count = 0;
    unsigned slides = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const double v = x[i];
        if (std::isnan(v)) {
            s.reset();
            w.reset();
            count = 0;
            slides = 0;
            continue;
        }
        if (count < n) {
            ++count;
            s.add(v);
            w.add(static_cast<double>(count) * v);
            if (count == n) out[i] = w.sum / divisor;
            continue;
        }
        bool rebuild = slides > 999;
        if (!rebuild) {
            const double plain = s.sum;
            s.sub(x[i - n]);
            w.sub(plain);
            w.add(nf * v);
            s.add(v);
            ++slides;
            // An overflowed sum would poison every later window: rebuild it at once.
            rebuild = !std::isfinite(s.comp) || !std::isfinite(w.comp);
        }
        if (rebuild) {
            // Full recomputation; the compensations it ends with carry on.
            s.reset();
            w.reset();
            for (std::size_t k = 0; k < n; ++k) {
                const double e = x[i + 1 - n + k];
                s.add(e);
                w.add(static_cast<double>(k + 1) * e);
            }
            slides = 1;
        }
        out[i] = w.sum / divisor;
    }
    return out;
}

Result<Series> sma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    return sma_impl(values, period);
}

Result<Series> ema(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    return ema_impl(values, period, ema_alpha(period));
}

Result<Series> rma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    return ema_impl(values, period, 1.0 / static_cast<double>(period));
}

Result<Series> wma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    return wma_impl(values, period);
}

Result<Series> sma_allow_nan(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_allow_nan(values, period); !s) return fail(s.error());
    return sma_impl(values, period);
}

Result<Series> ema_allow_nan(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_allow_nan(values, period); !s) return fail(s.error());
    return ema_impl(values, period, ema_alpha(period));
}

Result<Series> wma_allow_nan(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_allow_nan(values, period); !s) return fail(s.error());
    return wma_impl(values, period);
}

Result<Series> hma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    const auto root = static_cast<std::uint64_t>(std::sqrt(static_cast<double>(period)));
    const std::uint64_t half = period / 2;
    if (auto s = validate_period(half, values.size()); !s) return fail(s.error());
    const Series a = wma_impl(values, half);
    const Series b = wma_impl(values, period);
    Series diff(values.size(), NaN);
    for (std::size_t i = 0; i < diff.size(); ++i)
        if (!std::isnan(a[i]) && !std::isnan(b[i])) diff[i] = (a[i] + a[i]) - b[i];
    Series r = wma_impl(diff, root);
    // Too short for the final smoothing: the intermediate line is the best there is.
    if (!any_defined(r)) return diff;
    return r;
}

Result<Series> dema(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    const double alpha = ema_alpha(period);
    const Series e1 = ema_impl(values, period, alpha);
    const Series e2 = ema_impl(e1, period, alpha);
    Series out(values.size(), NaN);
    for (std::size_t i = 0; i < out.size(); ++i)
        if (!std::isnan(e1[i]) && !std::isnan(e2[i])) out[i] = (e1[i] + e1[i]) - e2[i];
    return out;
}

Result<Series> tema(std::span<const double> values, std::uint64_t period) {
    auto e1 = ema(values, period);
    if (!e1) return e1;
    const double alpha = ema_alpha(period);
    const Series e2 = ema_impl(*e1, period, alpha);
    const Series e3 = ema_impl(e2, period, alpha);
    if (!any_defined(e3)) return dema(values, period);
    Series out(values.size(), NaN);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double a = (*e1)[i], b = e2[i], c = e3[i];
        if (!std::isnan(a) && !std::isnan(b) && !std::isnan(c)) out[i] = (a * 3.0 - b * 3.0) + c;
    }
    return out;
}

Result<Series> zlma(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    const std::size_t lag = (period - 1) / 2;
    Series adjusted(values.size(), NaN);
    for (std::size_t i = lag; i < values.size(); ++i) adjusted[i] = (values[i] + values[i]) - values[i - lag];
    return ema_impl(adjusted, period, ema_alpha(period));
}

Result<Series> t3(std::span<const double> values, std::uint64_t period, double v) {
    auto e1 = ema(values, period);
    if (!e1) return e1;
    const double v2 = v * v, v3 = v * v * v;
    const double c1 = -v3;
    const double c2 = 3.0 * v3 + 3.0 * v2;
    const double c3 = ((-6.0 * v2) - 3.0 * v) - 3.0 * v3;
    const double c4 = 3.0 * v2 + (v3 + (3.0 * v + 1.0));
    const double alpha = ema_alpha(period);
    const Series e2 = ema_impl(*e1, period, alpha);
    const Series e3 = ema_impl(e2, period, alpha);
    const Series e4 = ema_impl(e3, period, alpha);
    auto e5 = ema_allow_nan(e4, period);
    if (!e5) return e5;
    auto e6 = ema_allow_nan(*e5, period);
    if (!e6) return e6;
    Series out(values.size(), NaN);
    bool defined = false;
    for (std::size_t i = 0; i < out.size(); ++i) {
        const double a = e3[i], b = e4[i], c = (*e5)[i], d = (*e6)[i];
        if (std::isnan(a) || std::isnan(b) || std::isnan(c) || std::isnan(d)) continue;
        out[i] = c4 * a + ((c2 * c + c1 * d) + c3 * b);
        defined = defined || !std::isnan(out[i]);
    }
    if (!defined) return ema_allow_nan(values, period);
    return out;
}

Result<Series> kama(std::span<const double> values, std::uint64_t period, std::optional<std::uint64_t> fast_period,
                    std::optional<std::uint64_t> slow_period) {
    if (auto s = check_validating(values, period); !s) return fail(s.error());
    // The sums are formed in unsigned arithmetic first, as callers' periods are counts.
    const double fast_sc = fast_period ? 2.0 / static_cast<double>(*fast_period + 1) : 0.6666666666666666;
    const double slow_sc = slow_period ? 2.0 / static_cast<double>(*slow_period + 1) : 0.06451612903225806;
    const std::size_t n = period, len = values.size();
    Series out(len, NaN);
    out[n - 1] = values[n - 1];
    for (std::size_t i = n; i < len; ++i) {
        const double change = std::fabs(values[i] - values[i - n]);
        double volatility = 0.0;
        for (std::size_t k = i + 1 - n; k <= i; ++k) volatility += std::fabs(values[k] - values[k - 1]);
        const double er = volatility > 0.0 ? change / volatility : 0.0;
        const double base = er * (fast_sc - slow_sc) + slow_sc;
        const double sc = base * base;
        out[i] = (values[i] - out[i - 1]) * sc + out[i - 1];
    }
    return out;
}

Result<Series> frama(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    const std::size_t len = values.size();
    if (period > len || period < 2 || period % 2 != 0) return fail(VornError::invalid_period(period, len));
    const std::size_t n = period, h = n / 2;
    const double hf = static_cast<double>(h), nf = static_cast<double>(n);
    // The window of n bars before i is two half windows of h bars; the half window that
    // ends at i - h - 1 was the newer half h bars earlier, so one rolling extreme of h bars
    // serves all three ranges.
    const Series hi = stats::rolling_max(values, h);
    const Series lo = stats::rolling_min(values, h);
    Series out(len, NaN);
    out[n - 1] = values[n - 1];
    for (std::size_t i = n; i < len; ++i) {
        const std::size_t older = i - h - 1, newer = i - 1;
        const double n1 = (hi[older] - lo[older]) / hf;
        const double n2 = (hi[newer] - lo[newer]) / hf;
        const double top = hi[older] > hi[newer] ? hi[older] : hi[newer];
        const double bottom = lo[older] < lo[newer] ? lo[older] : lo[newer];
        const double n3 = (top - bottom) / nf;
        double e = 0.0;
        if (n1 + n2 > 0.0 && n3 > 0.0) {
            const double d = (std::log(n1 + n2) - std::log(n3)) / 0.6931471805599453;
            e = (d - 1.0) * -4.6;
        }
        double alpha = std::exp(e);
        if (alpha < 0.01) alpha = 0.01;
        if (alpha > 1.0) alpha = 1.0;
        out[i] = (1.0 - alpha) * out[i - 1] + alpha * values[i];
    }
    return out;
}

}  // namespace vorn::utils::ma
