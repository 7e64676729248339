// The stepping rolling sum against the whole-series one, printed in hexadecimal so that
// the comparison is bit for bit. Input lines: PERIOD N v1 .. vN.
#include <cstdio>
#include <cstdlib>
#include "utils/stats.hpp"
int main() {
    unsigned long long p; int n;
    while (std::scanf("%llu %d", &p, &n) == 2) {
        vorn::Series v(n); char buf[64];
        for (auto& x : v) { if (std::scanf("%63s", buf) != 1) return 2; x = std::strtod(buf, nullptr); }
        vorn::utils::stats::RollingSumWindow window(v, p);
        for (int i = 0; i < n; ++i) std::printf("%a ", window.step(i));
        std::printf("\n");
        for (double x : vorn::utils::stats::rolling_sum_kahan(v, p)) std::printf("%a ", x);
        std::printf("\n");
        std::fflush(stdout);
    }
}
