// The harmonic pattern kernels: the ratio fit, the completion probability, and the
// complete and forming pattern scans.
//   fit TYPE RATIO_INDEX VALUE
//   prob TYPE N (KEY VALUE)*
//   all|forming LEFT RIGHT N high1 .. highN low1 .. lowN
#include <cstdio>
#include <string>
#include "indicators/harmonics.hpp"
using namespace vorn::indicators::harmonics;
static void print(HarmonicPatternType t, bool bullish, const RatioMap& r, double prob) {
    std::printf("%s %d %.17g", std::string(english_name(t)).c_str(), int(bullish), prob);
    for (int k = 0; k < 5; ++k)
        if (auto v = r.get(RatioKey(k))) std::printf(" %s=%.17g", std::string(ratio_key_name(RatioKey(k))).c_str(), *v);
    std::printf("\n");
}
int main() {
    char cmd[16]; unsigned long long l, r; int t, n;
    if (std::scanf("%15s", cmd) != 1) return 2;
    if (std::string(cmd) == "fit") {    // fit TYPE RATIO_INDEX VALUE
        int k; double v;
        if (std::scanf("%d %d %lf", &t, &k, &v) != 3) return 2;
        std::printf("%d\n", int(fits(v, ideal_ratios(HarmonicPatternType(t))[k])));
        return 0;
    }
    if (std::string(cmd) == "prob") {   // prob TYPE N (KEY VALUE)*
        RatioMap m; int key; double v;
        if (std::scanf("%d %d", &t, &n) != 2) return 2;
        for (int i = 0; i < n && std::scanf("%d %lf", &key, &v) == 2; ++i) m.set(RatioKey(key), v);
        std::printf("%.17g\n", calc_completion_probability(m, HarmonicPatternType(t)));
        return 0;
    }
    if (std::scanf("%llu %llu %d", &l, &r, &n) != 3) return 2;   // all|forming L R N high... low...
    vorn::Series high(n), low(n);
    for (auto& x : high) if (std::scanf("%lf", &x) != 1) return 2;
    for (auto& x : low) if (std::scanf("%lf", &x) != 1) return 2;
    if (std::string(cmd) == "all") {
        auto res = detect_all_harmonics(high, low, l, r);
        if (!res) { std::printf("error %s\n", res.error().message().c_str()); return 0; }
        for (auto& p : *res) print(p.pattern_type, p.is_bullish, p.ratios, calc_completion_probability(p.ratios, p.pattern_type));
    } else {
        auto res = detect_forming_patterns(high, low, l, r);
        if (!res) { std::printf("error %s\n", res.error().message().c_str()); return 0; }
        for (auto& p : *res) print(p.pattern_type, p.is_bullish, p.ratios, p.probability);
    }
}
