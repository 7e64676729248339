#include "indicators/extended/statistics.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "utils/ma.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::extended {

using errors::validation::validate_series_and_periods;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// A float bin position as an unsigned index the way a saturating cast makes it: negative
// and NaN give 0, values past the range the largest index.
std::uint64_t bin_index(double position) {
    if (!(position > 0.0)) return 0;
    if (position >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(position);
}

}  // namespace

Result<Series> slope(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{values, "values"}}, {period}); !s) return fail(s.error());
    Series out(values.size(), NaN);
    const std::size_t p = period;
    const double pf = static_cast<double>(period);
    const double mean_x = (pf - 1.0) * 0.5;
    // Sxx depends on the period alone: the same sum for every window.
    double sxx = 0.0;
    for (std::size_t k = 0; k < p; ++k) {
        const double dx = static_cast<double>(k) - mean_x;
        sxx += dx * dx;
    }
    if (!(sxx > 1e-10)) return out;
    for (std::size_t i = p - 1; i < values.size(); ++i) {
        const double* y = values.data() + (i + 1 - p);
        double sum = 0.0;
        for (std::size_t k = 0; k < p; ++k) sum += y[k];
        const double mean_y = sum / pf;
        double sxy = 0.0;
        for (std::size_t k = 0; k < p; ++k) sxy += (static_cast<double>(k) - mean_x) * (y[k] - mean_y);
        out[i] = sxy / sxx;
    }
    return out;
}

Result<Series> bias(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    Series out = utils::ma::sma_impl(close, period);
    for (std::size_t i = 0; i < close.size(); ++i) {
        const double m = out[i];
        out[i] = std::isnan(m) || std::fabs(m) < 1e-10 ? NaN : (close[i] - m) / m * 100.0;
    }
    return out;
}

Result<Series> psl(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size(), p = period;
    Series out(n, NaN);
    if (p >= n) return out;
    // Rises are counted exactly, so sliding the count gives every window's own count.
    auto rise = [&](std::size_t j) -> std::size_t { return close[j] > close[j - 1]; };
    std::size_t ups = 0;
    for (std::size_t j = 1; j <= p; ++j) ups += rise(j);
    const double pf = static_cast<double>(period);
    out[p] = static_cast<double>(ups) / pf * 100.0;
    for (std::size_t i = p + 1; i < n; ++i) {
        ups = ups + rise(i) - rise(i - p);
        out[i] = static_cast<double>(ups) / pf * 100.0;
    }
    return out;
}

Result<Series> er(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size(), p = period;
    if (p == n) return fail(VornError::insufficient_data(errors::validation::bars_for_period(period), n));
    Series path(n, 0.0);
    for (std::size_t j = 1; j < n; ++j) path[j] = std::fabs(close[j] - close[j - 1]);
    path = utils::stats::rolling_sum_kahan(path, period);
    path[p - 1] = NaN;
    for (std::size_t i = p; i < n; ++i) {
        const double change = std::fabs(close[i] - close[i - p]);
        const double total = path[i];
        path[i] = std::isfinite(total) && total > 1e-10 ? change / total : 0.0;
    }
    return path;
}

Result<Series> cfo(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    Series out = utils::stats::tsf(close, period);
    for (std::size_t i = 0; i < close.size(); ++i) {
        const double f = out[i];
        out[i] = std::isnan(f) || std::fabs(close[i]) < 1e-10 ? NaN : (close[i] - f) / close[i] * 100.0;
    }
    return out;
}

Result<Series> cti(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (period == 1) {
        Series out(n, 0.0);
        out[0] = NaN;
        return out;
    }
    Series line(n);
    for (std::size_t i = 0; i < n; ++i) line[i] = static_cast<double>(i);
    return utils::stats::correlation(line, close, period);
}

Result<Series> bop(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                   std::span<const double> close) {
    if (auto s = validate_series_and_periods({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}, {}); !s)
        return fail(s.error());
    Series out(open.size());
    for (std::size_t i = 0; i < open.size(); ++i) {
        const double range = high[i] - low[i];
        out[i] = range > 1e-10 ? (close[i] - open[i]) / range : 0.0;
    }
    return out;
}

Result<Series> percent_rank(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{values, "values"}}, {period}); !s) return fail(s.error());
    const std::size_t p = period;
    const double others = static_cast<double>(period - 1);
    Series out(values.size(), NaN);
    for (std::size_t i = p - 1; i < values.size(); ++i) {
        const double v = values[i];
        std::size_t below = 0;
        for (std::size_t k = i + 1 - p; k <= i; ++k) below += values[k] < v;
        out[i] = static_cast<double>(below) / others * 100.0;
    }
    return out;
}

Result<Series> entropy(std::span<const double> close, std::uint64_t period, std::uint64_t bins) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {}); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (period == 0 || bins == 0) return fail(VornError::invalid_period(period, n));
    if (period > n) return fail(VornError::insufficient_data(period, n));
    Series out(n, NaN);
    const std::size_t p = period;
    const double bins_f = static_cast<double>(bins);
    // A bar's return is the same in every window that holds it: computed once, NaN where
    // the pair is skipped (a base below 1e-10, or a non-finite return).
    Series returns(n, NaN);
    for (std::size_t j = 1; j < n; ++j) {
        const double base = close[j - 1];
        if (std::fabs(base) < 1e-10) continue;
        const double r = (close[j] - base) / base;
        if (std::isfinite(r)) returns[j] = r;
    }
    // Only the bins that receive a return matter, and a window holds at most p - 1 returns.
    // Few bins: a count per bin, walked in bin order. Many bins: each window's bin numbers
    // sorted and counted run by run, in the same increasing order, so neither time nor
    // memory grows with `bins`.
    const bool direct = bins <= 4 * static_cast<std::uint64_t>(p);
    std::vector<std::uint32_t> counts(direct ? bins : 0, 0);
    Series kept;
    std::vector<std::uint64_t> slots;
    kept.reserve(p);
    slots.reserve(p);
    // q * log2(q) for q = c / count, c = 0 .. count: a function of the two counts only, so a
    // table kept for the current count gives the same terms as computing each anew.
    Series terms;
    std::size_t terms_for = 0;
    for (std::size_t i = p; i < n; ++i) {
        kept.clear();
        for (std::size_t j = i + 2 - p; j <= i; ++j)
            if (!std::isnan(returns[j])) kept.push_back(returns[j]);
        if (kept.empty()) continue;
        double lo = kept[0], hi = kept[0];
        for (const double r : kept) {
            if (r < lo) lo = r;
            if (r > hi) hi = r;
        }
        if (std::fabs(hi - lo) < 1e-10) {
            out[i] = 0.0;
            continue;
        }
        const double width = (hi - lo) / bins_f;
        const std::size_t count = kept.size();
        if (terms_for != count) {
            terms.assign(count + 1, 0.0);
            for (std::size_t c = 1; c <= count; ++c) {
                const double q = static_cast<double>(c) / static_cast<double>(count);
                terms[c] = q * std::log2(q);
            }
            terms_for = count;
        }
        auto slot = [&](double r) { return std::min(bin_index(std::floor((r - lo) / width)), bins - 1); };
        double h = 0.0;
        if (direct) {
            for (const double r : kept) ++counts[slot(r)];
            for (std::uint32_t& c : counts) {
                if (c > 0) h = h - terms[c];
                c = 0;
            }
        } else {
            slots.clear();
            for (const double r : kept) slots.push_back(slot(r));
            std::sort(slots.begin(), slots.end());
            for (std::size_t a = 0; a < slots.size();) {
                std::size_t b = a + 1;
                while (b < slots.size() && slots[b] == slots[a]) ++b;
                h = h - terms[b - a];
                a = b;
            }
        }
        out[i] = h;
    }
    return out;
}

}  // namespace vorn::indicators::extended
