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
    } else {
        return 2;
    }
}
