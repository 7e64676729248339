// volume::ema_seed on gaps. Input lines: PERIOD N v1 .. vN.
#include <cstdio>
#include <cstdlib>
#include "indicators/volume.hpp"
int main() {
    unsigned long long p; int n;
    while (std::scanf("%llu %d", &p, &n) == 2) {
        vorn::Series v(n); char buf[64];
        for (auto& x : v) { if (std::scanf("%63s", buf) != 1) return 2; x = std::strtod(buf, nullptr); }
        auto r = vorn::indicators::volume::ema_seed(v, p);
        if (!r) std::printf("error %s\n", r.error().message().c_str());
        else { for (double x : *r) std::printf("%.17g ", x); std::printf("\n"); }
        std::fflush(stdout);
    }
}
