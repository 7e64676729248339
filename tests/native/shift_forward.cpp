// extended::shift_forward on NaN and on shifts past the end.
// Input lines: SHIFT N v1 .. vN; each prints the shifted series followed by "|".
#include <cstdio>
#include <cstdlib>
#include "indicators/extended/flow.hpp"
int main() {
    unsigned long long k; int n;
    while (std::scanf("%llu %d", &k, &n) == 2) {
        vorn::Series v(n); char buf[64];
        for (auto& x : v) { if (std::scanf("%63s", buf) != 1) return 2; x = std::strtod(buf, nullptr); }
        for (double x : vorn::indicators::extended::shift_forward(v, k)) std::printf("%.17g ", x);
        std::printf("|\n");
        std::fflush(stdout);
    }
}
