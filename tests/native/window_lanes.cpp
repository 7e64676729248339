// Each lane-run window kernel against its one-window-at-a-time form, bit for bit.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "indicators/extended/averages.hpp"
#include "indicators/extended/bands.hpp"
#include "indicators/extended/flow.hpp"
#include "indicators/statistics.hpp"
#include "indicators/trend/measures.hpp"
#include "indicators/volatility/bands.hpp"
#include "indicators/volatility/channels.hpp"
#include "utils/window_lanes.hpp"
#include "utils/ma.hpp"
#include "utils/series.hpp"
#include "utils/stats.hpp"

using namespace vorn;
namespace stats = utils::stats;
using V = std::vector<double>;
const double NaN = std::nan("");

// Sums of the finite values, kept where the whole window is finite.
Series complete_sums(const Series& v, std::size_t p) {
    Series z(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) z[i] = std::isfinite(v[i]) ? v[i] : 0.0;
    Series s = stats::rolling_sum_kahan(z, p);
    for (std::size_t e = 0; e < v.size(); ++e)
        for (std::size_t k = e + 1 >= p ? e + 1 - p : 0; k <= e; ++k)
            if (!std::isfinite(v[k])) s[e] = NaN;
    return s;
}

// The bar's open: the previous close.
V opens(const V& c) {
    V o(c.size());
    for (std::size_t i = 0; i < c.size(); ++i) o[i] = c[i ? i - 1 : 0];
    return o;
}

// The VHF from the shared one-window kernels.
std::vector<Series> vhf_by_window(const V& c, std::size_t p) {
    const std::size_t n = c.size();
    const Series y(c.begin(), c.end());
    const Series hh = stats::rolling_max(y, p), ll = stats::rolling_min(y, p);
    Series change(n, 0.0), a(n, NaN);
    for (std::size_t i = 1; i < n; ++i) change[i] = std::fabs(c[i] - c[i - 1]);
    const Series sum = stats::rolling_sum_kahan(change, p);
    for (std::size_t i = p; i < n; ++i) {
        const double num = std::fabs(hh[i] - ll[i]);
        if (std::isfinite(num) && std::isfinite(sum[i]) && sum[i] > 0.0) a[i] = num / sum[i];
    }
    return {a};
}

// Inertia (aux: the RVI period) from the RVI line as formed, before the RVI confines what it
// shows to -1..1 (rounding can carry a line of bodies spanning their bars past 1), its averages
// one window at a time, regressed by the shared least-squares windows.
std::vector<Series> inertia_by_window(const V& h, const V& l, const V& c, std::size_t p, std::size_t aux) {
    const std::size_t n = c.size();
    const V o = opens(c);
    if (!indicators::extended::rvi(o, h, l, c, aux, 1)) return {};  // refused: so must the kernel be
    Series num(n, NaN), den(n, NaN);
    for (std::size_t i = 3; i < n; ++i) {
        num[i] = ((((c[i] - o[i]) + 2.0 * (c[i - 1] - o[i - 1])) + 2.0 * (c[i - 2] - o[i - 2])) + (c[i - 3] - o[i - 3])) / 6.0;
        den[i] = ((((h[i] - l[i]) + 2.0 * (h[i - 1] - l[i - 1])) + 2.0 * (h[i - 2] - l[i - 2])) + (h[i - 3] - l[i - 3])) / 6.0;
    }
    const Series ns = utils::ma::sma_impl(num, aux), ds = utils::ma::sma_impl(den, aux);
    Series line(n, NaN), out(n, NaN);
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isnan(ns[i]) && !std::isnan(ds[i]) && std::fabs(ds[i]) >= 1e-10) line[i] = ns[i] / ds[i];
    if (p < 2) return {out};
    stats::window::line_fits_of(line, p, [&](std::size_t i, const auto& f) {
        if (i >= p && std::isfinite(f.slope) && std::isfinite(f.intercept)) out[i] = f.slope * (double(p) - 1.0) + f.intercept;
    });
    return {out};
}

std::vector<Series> one_window_at_a_time(const std::string& kind, const V& h, const V& l, const V& c,
                                         std::size_t p, std::size_t aux) {
    const std::size_t n = h.size();
    if (kind == "vhf") return vhf_by_window(c, p);
    if (kind == "inertia") return inertia_by_window(h, l, c, p, aux);
    Series a(n, NaN), b(n, NaN);
    if (kind == "vortex" || kind == "choppiness") {
        Series vp(n, 0.0), vm(n, 0.0), tr(n, 0.0);
        for (std::size_t i = 1; i < n; ++i) {
            vp[i] = std::fabs(h[i] - l[i - 1]);
            vm[i] = std::fabs(l[i] - h[i - 1]);
            tr[i] = indicators::volatility::true_range_bar(h[i], l[i], c[i - 1]);
        }
        const Series sp = stats::rolling_sum_kahan(vp, p), sm = stats::rolling_sum_kahan(vm, p);
        const Series st = stats::rolling_sum_kahan(tr, p);
        if (kind == "vortex") {
            for (std::size_t i = p; i < n; ++i)
                if (std::fabs(st[i]) >= 1e-10) a[i] = sp[i] / st[i], b[i] = sm[i] / st[i];
            return {a, b};
        }
        const Series hh = stats::rolling_max(h, p), ll = stats::rolling_min(l, p);
        for (std::size_t i = p; i < n; ++i)
            if (st[i] > 0.0 && hh[i] - ll[i] > 0.0)
                a[i] = (std::log10(st[i] / (hh[i] - ll[i])) * 100.0) / std::log10(double(p));
        return {a};
    }
    if (kind == "ulcer") {
        const Series hc = stats::rolling_max(c, p);
        Series dd(n, NaN);
        for (std::size_t i = 0; i < n; ++i)
            if (hc[i] > 0.0) dd[i] = ((c[i] - hc[i]) / hc[i] * 100.0) * ((c[i] - hc[i]) / hc[i] * 100.0);
        a = complete_sums(dd, p);
        for (double& v : a)
            if (!std::isnan(v)) v = std::sqrt((v < 0.0 ? 0.0 : v) / double(p));
        return {a};
    }
    if (kind == "mass") {  // aux: the averaging period, p: the summing one
        Series range(n);
        for (std::size_t i = 0; i < n; ++i) range[i] = h[i] - l[i];
        const double alpha = utils::ma::ema_alpha(aux);
        const Series e1 = utils::ma::ema_impl(range, aux, alpha), e2 = utils::ma::ema_impl(e1, aux, alpha);
        for (std::size_t i = 0; i < n; ++i)
            if (!std::isnan(e1[i]) && !std::isnan(e2[i]) && std::fabs(e2[i]) >= 1e-10) b[i] = e1[i] / e2[i];
        return {complete_sums(b, p)};
    }
    return {};
}

std::vector<Series> in_lanes(const std::string& kind, const V& h, const V& l, const V& c, std::size_t p,
                             std::size_t aux) {
    namespace tr = indicators::trend;
    namespace vol = indicators::volatility;
    auto one = [](Result<Series> r) { return r ? std::vector<Series>{std::move(*r)} : std::vector<Series>{}; };
    if (kind == "vortex") {
        auto r = tr::vortex(h, l, c, p);
        return r ? std::vector<Series>{r->plus, r->minus} : std::vector<Series>{};
    }
    if (kind == "choppiness") return one(tr::choppiness(h, l, c, p));
    if (kind == "ulcer") return one(vol::ulcer_index(c, p));
    if (kind == "mass") return one(vol::mass_index(h, l, aux, p));
    if (kind == "vhf") return one(tr::vhf(c, p));
    return one(indicators::extended::inertia(opens(c), h, l, c, aux, p));
}

// Whether the glance at the close's magnitudes (|x|) finds that no rebuild can be asked for,
// and how many rebuilds the plan, walked bar by bar, asks for.
void plan_of(const V& c, std::size_t p) {
    auto emit = [](std::size_t, std::size_t, const utils::lanes::Pair (&)[1]) {};
    const double* const x[1] = {c.data()};
    const utils::lanes::KahanSums<1, decltype(emit)> win(x, p, emit);
    const bool quiet = utils::lanes::no_rebuild_asked(win, c.size(), p);
    using Plan = utils::lanes::Plan<decltype(win)>;
    Plan plan(win, c.size(), p);
    for (std::size_t i = p - 1; i < c.size(); ++i) plan.step();
    std::size_t asked = 0;  // the flags of rebuilds, not those of windows read by their marks
    for (std::size_t k = 0; k + p <= c.size(); ++k) asked += (plan.flags()[k] & ~Plan::kLook) != 0;
    std::cout << "plan " << quiet << " " << asked << "\n";
}

int main() {
    std::string kind;
    std::size_t p, aux, n;
    std::cin >> kind >> p >> aux >> n;
    V h(n), l(n), c(n);
    for (V* v : {&h, &l, &c})
        for (double& x : *v) std::cin >> x;
    if (kind == "plan") return plan_of(c, p), 0;
    const auto want = one_window_at_a_time(kind, h, l, c, p, aux);
    const auto got = in_lanes(kind, h, l, c, p, aux);
    if (got.size() != want.size()) {
        std::cout << "refused\n";
        return 0;
    }
    std::size_t defined = 0;
    for (std::size_t s = 0; s < want.size(); ++s)
        for (std::size_t i = 0; i < n; ++i) {
            const double x = want[s][i], y = got[s][i];
            if (std::isnan(x) && std::isnan(y)) continue;
            if (std::memcmp(&x, &y, sizeof x) != 0) {
                std::cout << "differ " << s << " " << i << "\n";
                return 0;
            }
            ++defined;
        }
    std::cout << "same " << defined << "\n";
}
