// utils::stats on NaN gaps, infinities and unusable periods (the Python functions refuse
// non-finite input). Input lines: NAME PERIOD N v1 .. vN [M w1 .. wM for corr and hl]; each
// series printed as its length and its values.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include "utils/stats.hpp"
using namespace vorn::utils::stats;
static vorn::Series read(int n) {
    vorn::Series v(n); char buf[64];
    for (auto& x : v) { if (std::scanf("%63s", buf) != 1) std::exit(2); x = std::strtod(buf, nullptr); }
    return v;
}
static void put(const vorn::Series& v) {
    std::printf("%zu", v.size());
    for (double x : v) std::printf(" %.17g", x);
    std::printf("\n");
}
int main() {
    char name[64]; unsigned long long p; int n;
    while (std::scanf("%63s %llu %d", name, &p, &n) == 3) {
        auto a = read(n);
        std::string k = name;
        if (k == "max") put(rolling_max(a, p));
        else if (k == "min") put(rolling_min(a, p));
        else if (k == "sum") put(rolling_sum_kahan(a, p));
        else if (k == "stdev") put(stdev(a, p));
        else if (k == "slope") put(linearreg_slope(a, p));
        else if (k == "tsf") put(tsf(a, p));
        else if (k == "stderr") put(standard_error(a, p));
        else if (k == "lr") { auto r = linear_regression(a, p); put(r.slope); put(r.intercept); put(r.r_squared); }
        else if (k == "hl") { int m; if (std::scanf("%d", &m) != 1) return 2; auto b = read(m); auto r = rolling_high_low(a, b, p); put(r.max); put(r.min); }
        else if (k == "corr") { int m; if (std::scanf("%d", &m) != 1) return 2; auto b = read(m); put(correlation(a, b, p)); }
        std::fflush(stdout);
    }
}
