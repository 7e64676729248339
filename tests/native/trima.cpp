// TRIMA against the average of two SMAs on a random walk of N bars with spikes, bit for
// bit. Input: N PERIOD SPIKE; prints how many values differ and how many are not finite.
#include <cmath>
#include <cstdio>
#include <random>
#include "indicators/overlap/averages.hpp"
#include "utils/ma.hpp"
using namespace vorn;
int main() {
    unsigned long long n, p; double spike;
    if (std::scanf("%llu %llu %lf", &n, &p, &spike) != 3) return 2;
    std::mt19937_64 g(p);
    std::normal_distribution<double> step;
    Series v(n);
    double x = 100.0;
    for (auto& e : v) e = x += step(g);
    for (std::size_t i = 97; i + 1 < n; i += 1009) v[i] = v[i + 1] = spike;  // overflowing pairs when huge
    const auto t = indicators::overlap::trima(v, p);
    const Series two = utils::ma::sma_impl(utils::ma::sma_impl(v, p - p / 2), p / 2 + 1);
    std::size_t differ = 0, undefined = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = (*t)[i], b = two[i];
        undefined += !std::isfinite(a);
        differ += std::isnan(a) != std::isnan(b) || (!std::isnan(a) && a != b);
    }
    std::printf("%zu %zu\n", differ, undefined);
}
