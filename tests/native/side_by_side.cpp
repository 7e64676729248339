// Side-by-side window forms against each window on its own, printed as hex floats.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "utils/stats.hpp"
using namespace vorn;
using namespace vorn::utils::stats;

static void put(double x) { std::printf(" %a", x); }

int main() {
    char kind[16];
    unsigned long long p;
    int n;
    if (std::scanf("%15s %llu %d", kind, &p, &n) != 3) return 2;
    Series a(n), b(n);
    char buf[64];
    for (auto* v : {&a, &b})
        for (auto& x : *v) { if (std::scanf("%63s", buf) != 1) return 2; x = std::strtod(buf, nullptr); }
    if (!std::strcmp(kind, "sums")) {
        RollingSumPair pair(a, b, p);
        RollingSumWindow wa(a, p), wb(b, p);
        for (int i = 0; i < n; ++i) {
            const auto s = pair.step(i);
            put(s[0]), put(s[1]), std::printf(" |"), put(wa.step(i)), put(wb.step(i)), std::printf("\n");
        }
    } else if (!std::strcmp(kind, "extremes")) {
        MaxMinWindow w(a, p);
        const WindowExtremes both = rolling_max_min(a, p);
        const Series hi = rolling_max(a, p), lo = rolling_min(a, p);
        for (int i = 0; i < n; ++i) {
            const auto e = w.step(i);
            put(e.max), put(e.min), put(both.max[i]), put(both.min[i]);
            std::printf(" |"), put(hi[i]), put(lo[i]), put(hi[i]), put(lo[i]), std::printf("\n");
        }
    } else if (!std::strcmp(kind, "correlation")) {
        // The generic five sliding sums: the one-window-at-a-time form of the correlation.
        Series want(n, std::numeric_limits<double>::quiet_NaN());
        const double pf = static_cast<double>(p);
        if (p >= 2 && p <= static_cast<unsigned long long>(n))
            window::sliding_sums<5>(
                n, p,
                [&](std::size_t i, std::array<double, 5>& c) {
                    const bool nan = std::isnan(a[i]) || std::isnan(b[i]);
                    const double x = std::isnan(a[i]) ? 0.0 : a[i], y = std::isnan(b[i]) ? 0.0 : b[i];
                    c = {x, y, x * x, y * y, x * y};
                    return nan;
                },
                [](std::size_t, const std::array<double, 5>& c) { return std::array<double, 2>{c[2], c[3]}; },
                [&](std::size_t i, const std::array<utils::Kahan, 5>& s, std::uint64_t nans) {
                    want[i] = 0.0;
                    if (nans != 0) return;
                    const double sx = s[0].sum, sy = s[1].sum;
                    const double d = (pf * s[2].sum - sx * sx) * (pf * s[3].sum - sy * sy);
                    if (!(d > 0.0)) return;
                    const double root = std::sqrt(d);
                    if (!std::isfinite(root)) return;
                    const double r = (pf * s[4].sum - sx * sy) / root;
                    if (!std::isfinite(r)) return;
                    want[i] = r < -1.0 ? -1.0 : (r > 1.0 ? 1.0 : r);
                });
        const Series got = correlation(a, b, p);
        for (int i = 0; i < n; ++i) put(got[i]), std::printf(" |"), put(want[i]), std::printf("\n");
    } else {
        return 2;
    }
}
