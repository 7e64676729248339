// utils::ma, the averages every family builds on, on NaN gaps, infinities and unusable
// periods. Input lines: NAME PERIOD N v1 .. vN; prints "V values" or "E message".
#include <cstdio>
#include <cstdlib>
#include <string>
#include "utils/ma.hpp"
using namespace vorn;
using namespace vorn::utils::ma;
static void put(const Result<Series>& r) {
    if (!r) { std::printf("E %s\n", r.error().message().c_str()); return; }
    std::printf("V");
    for (double x : *r) std::printf(" %.17g", x);
    std::printf("\n");
}
int main() {
    char name[64], buf[64]; unsigned long long p; int n;
    while (std::scanf("%63s %llu %d", name, &p, &n) == 3) {
        Series v(n);
        for (auto& x : v) { if (std::scanf("%63s", buf) != 1) return 2; x = std::strtod(buf, nullptr); }
        std::string k = name;
        if (k == "sma") put(sma(v, p));
        else if (k == "ema") put(ema(v, p));
        else if (k == "rma") put(rma(v, p));
        else if (k == "wma") put(wma(v, p));
        else if (k == "hma") put(hma(v, p));
        else if (k == "dema") put(dema(v, p));
        else if (k == "sma_allow_nan") put(sma_allow_nan(v, p));
        else if (k == "ema_allow_nan") put(ema_allow_nan(v, p));
        else if (k == "wma_allow_nan") put(wma_allow_nan(v, p));
        else if (k == "sma_impl") put(sma_impl(v, p));
        else if (k == "ema_impl") put(ema_impl(v, p, 2.0 / (1.0 + double(p))));
        else if (k == "wma_impl") put(wma_impl(v, p));
        std::fflush(stdout);
    }
}
