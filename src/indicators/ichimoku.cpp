#include "indicators/ichimoku.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "utils/constants.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::ichimoku {

namespace {

using utils::NaN;

// Per bar f(a, b) over two of the lines, after the record check.
template <class F>
Result<Series> per_bar(const IchimokuLines& lines, std::span<const double> a, std::span<const double> b, F&& f) {
    if (auto s = validate_lines(lines); !s) return fail(s.error());
    Series out(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) out[i] = f(a[i], b[i]);
    return out;
}

}  // namespace

Series calc_donchian_midline(std::span<const double> high, std::span<const double> low, std::uint64_t period) {
    Series mid = utils::stats::rolling_max(high, period);
    const Series lowest = utils::stats::rolling_min(low, period);
    for (std::size_t i = 0; i < mid.size(); ++i)
        mid[i] = std::isnan(mid[i]) || std::isnan(lowest[i]) ? NaN : (mid[i] + lowest[i]) * 0.5;
    return mid;
}

Result<IchimokuCloud> ichimoku_cloud(std::span<const double> high, std::span<const double> low,
                                     std::span<const double> close, std::uint64_t tenkan_period,
                                     std::uint64_t kijun_period, std::uint64_t senkou_b_period) {
    using namespace errors::validation;
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    const std::size_t n = high.size();
    for (const std::uint64_t p : {tenkan_period, kijun_period, senkou_b_period})
        if (auto s = validate_period(p, n); !s) return fail(s.error());
    IchimokuCloud out{calc_donchian_midline(high, low, tenkan_period), calc_donchian_midline(high, low, kijun_period),
                      Series(n, NaN), calc_donchian_midline(high, low, senkou_b_period), Series(n, NaN)};
    // Both spans are plotted kijun_period bars ahead of the bar they are computed on, and the
    // lagging span as many bars behind.
    const std::size_t d = static_cast<std::size_t>(kijun_period);
    for (std::size_t i = 0; i + d < n; ++i) {
        const double t = out.tenkan_sen[i], k = out.kijun_sen[i];
        if (!std::isnan(t) && !std::isnan(k)) out.senkou_span_a[i + d] = (t + k) * 0.5;
        out.chikou_span[i] = close[i + d];
    }
    Series& b = out.senkou_span_b;
    std::copy_backward(b.begin(), b.end() - static_cast<std::ptrdiff_t>(d), b.end());
    std::fill(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(d), NaN);
    return out;
}

Status validate_lines(const IchimokuLines& l) {
    if (l.tenkan_sen.empty()) return fail(VornError::empty_input("ichimoku.tenkan_sen"));
    const errors::validation::Named others[] = {{l.kijun_sen, "ichimoku.kijun_sen"},
                                                {l.senkou_span_a, "ichimoku.senkou_span_a"},
                                                {l.senkou_span_b, "ichimoku.senkou_span_b"},
                                                {l.chikou_span, "ichimoku.chikou_span"}};
    for (const auto& o : others)
        if (o.values.size() != l.tenkan_sen.size())
            return fail(VornError::length_mismatch("ichimoku.tenkan_sen", l.tenkan_sen.size(), o.name, o.values.size()));
    return {};
}

Result<Series> cloud_color(const IchimokuLines& l) {
    return per_bar(l, l.senkou_span_a, l.senkou_span_b, [](double a, double b) {
        if (std::isnan(a) || std::isnan(b)) return 0.0;
        return a > b ? 1.0 : b > a ? -1.0 : 0.0;
    });
}

Result<Series> cloud_thickness(const IchimokuLines& l) {
    return per_bar(l, l.senkou_span_a, l.senkou_span_b,
                   [](double a, double b) { return std::isnan(a) || std::isnan(b) ? NaN : std::fabs(a - b); });
}

Result<Series> tk_cross(const IchimokuLines& l) {
    if (auto s = validate_lines(l); !s) return fail(s.error());
    const auto t = l.tenkan_sen, k = l.kijun_sen;
    Series out(t.size(), 0.0);
    for (std::size_t i = 1; i < t.size(); ++i) {
        if (std::isnan(t[i - 1]) || std::isnan(k[i - 1]) || std::isnan(t[i]) || std::isnan(k[i])) continue;
        // Lines equal on the previous bar cross in whichever direction they separate.
        if (k[i - 1] >= t[i - 1] && t[i] > k[i])
            out[i] = 1.0;
        else if (t[i - 1] >= k[i - 1] && k[i] > t[i])
            out[i] = -1.0;
    }
    return out;
}

Result<std::vector<IchimokuSignalCode>> ichimoku_signals(std::span<const double> close, const IchimokuLines& l) {
    if (auto s = errors::validation::validate_series(close, "close"); !s) return fail(s.error());
    if (auto s = validate_lines(l); !s) return fail(s.error());
    if (close.size() != l.tenkan_sen.size())
        return fail(VornError::length_mismatch("close", close.size(), "ichimoku.tenkan_sen", l.tenkan_sen.size()));
    using Code = IchimokuSignalCode;
    std::vector<Code> out(close.size(), Code::Neutral);
    for (std::size_t i = 0; i < close.size(); ++i) {
        const double c = close[i], a = l.senkou_span_a[i], b = l.senkou_span_b[i], g = l.chikou_span[i];
        if (std::isnan(a) || std::isnan(b)) continue;
        // A NaN lagging span fails both comparisons, so it never makes a strong signal.
        if (c > a && c > b)
            out[i] = a > b && g > c ? Code::StrongBullish : Code::Bullish;
        else if (c < a && c < b)
            out[i] = b >= a && g < c ? Code::StrongBearish : Code::Bearish;
    }
    return out;
}

}  // namespace vorn::indicators::ichimoku
