// The two kernels the extended oscillators share, fed NaN gaps that the Python functions
// only ever hand them in warm-ups.
// Input: roc|stoch PERIOD N v1 .. vN; prints one value a line.
#include <cstdio>
#include <cstdlib>
#include <string>
#include "indicators/extended/oscillators.hpp"
int main() {
    char which[16]; unsigned long long p; int n;
    if (std::scanf("%15s %llu %d", which, &p, &n) != 3) return 2;
    vorn::Series v(n);
    char buf[64];
    for (auto& x : v) { if (std::scanf("%63s", buf) != 1) return 2; x = std::strtod(buf, nullptr); }
    namespace ext = vorn::indicators::extended;
    auto out = std::string(which) == "roc" ? ext::roc_helper(v, p) : ext::stochastic_raw(v, p);
    for (double x : out) std::printf("%.17g\n", x);
}
