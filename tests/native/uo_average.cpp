// The ultimate oscillator's window kernel on gaps (the Python function never hands it a
// NaN past its first bar). Input: PERIOD N bp1 .. bpN tr1 .. trN; one value a line.
#include <cstdio>
#include <cstdlib>
#include "indicators/momentum/oscillators.hpp"
int main() {
    unsigned long long p; int n;
    if (std::scanf("%llu %d", &p, &n) != 2) return 2;
    vorn::Series bp(n), tr(n);
    char buf[64];
    for (auto* v : {&bp, &tr})
        for (auto& x : *v) { if (std::scanf("%63s", buf) != 1) return 2; x = std::strtod(buf, nullptr); }
    for (double x : vorn::indicators::momentum::calc_uo_avg(bp, tr, p)) std::printf("%.17g\n", x);
}
