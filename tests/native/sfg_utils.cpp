// Swing points and supply/demand zones.
//   swings LOOKBACK N v1 .. vN
//   zones PERIOD TOLERANCE N high.. N low.. N close.. N volume..
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "indicators/sfg_utils.hpp"
using namespace vorn;
using namespace vorn::indicators::sfg_utils;
static Series read() {
    int n;
    if (std::scanf("%d", &n) != 1) std::exit(2);
    Series v(n);
    char buf[64];
    for (auto& x : v) { if (std::scanf("%63s", buf) != 1) std::exit(2); x = std::strtod(buf, nullptr); }
    return v;
}
int main() {
    char cmd[16], buf[64];
    while (std::scanf("%15s", cmd) == 1) {
        std::string k = cmd;
        if (k == "swings") {
            unsigned long long lb;
            if (std::scanf("%llu", &lb) != 1) return 2;
            Series v = read();
            const int n = static_cast<int>(v.size());
            SwingPoints s = find_swing_points(v, lb);
            std::printf("H");
            for (int i = 0; i < n; ++i) if (s.swing_high[i]) std::printf(" %d", i);
            std::printf(" L");
            for (int i = 0; i < n; ++i) if (s.swing_low[i]) std::printf(" %d", i);
            std::printf("\n");
        } else {
            unsigned long long period;
            if (std::scanf("%llu %63s", &period, buf) != 2) return 2;
            double tol = std::strtod(buf, nullptr);
            Series h = read(), l = read(), c = read(), v = read();
            auto r = detect_supply_demand_zones(h, l, c, v, period, tol);
            if (!r) { std::printf("E %s\n", r.error().message().c_str()); std::fflush(stdout); continue; }
            std::printf("Z");
            for (const auto& z : *r)
                std::printf(" %.17g %.17g %.17g %llu %.17g %d %d", z.price, z.upper, z.lower,
                            (unsigned long long)z.touches, z.strength, z.is_demand, z.volume_confirmed);
            std::printf("\n");
        }
        std::fflush(stdout);
    }
}
