// A window ranked by value (utils::order::SlidingRanks) sliding over a series that may hold
// NaN. Input: W x1 .. xN. For every bar i, after x[i - W] left and x[i] entered, prints i, the
// members' count, the lowest and highest member, the members below x[i] (when x[i] is a
// number) counted by its slot and by a descent on its value, and as hex floats the members'
// sum and the sum of those below x[i] (hi + lo pairs rounded once).
#include <cmath>
#include <cstdio>
#include <vector>

#include "utils/window_order.hpp"

namespace order = vorn::utils::order;

int main() {
    static char line[1 << 20];
    if (!std::fgets(line, sizeof line, stdin)) return 2;
    unsigned long long w;
    int used = 0;
    if (std::sscanf(line, "%llu%n", &w, &used) != 1 || w == 0) return 2;
    std::vector<double> x;
    double v;
    int more = 0;
    for (const char* at = line + used; std::sscanf(at, "%lf%n", &v, &more) == 1; at += more) x.push_back(v);
    order::SlidingRanks<order::Counted> counts(x, w);
    order::SlidingRanks<order::Summed> sums(x, w);
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (i >= w) counts.leave(i - w), sums.leave(i - w);
        counts.enter(i), sums.enter(i);
        const std::size_t m = counts.size();
        std::printf("%zu %zu", i, m);
        if (m != 0)
            std::printf(" %a %a", counts.values()[counts.select(1)], counts.values()[counts.select(m)]);
        else
            std::printf(" - -");
        if (!std::isnan(x[i])) {
            const order::Summed below = sums.below_value(x[i]);
            std::printf(" %u %u %a", counts.count_below(i), below.count, below.hi + below.lo);
        } else {
            std::printf(" - - -");
        }
        const order::Summed& all = sums.total();
        std::printf(" %zu %a\n", static_cast<std::size_t>(all.count), all.hi + all.lo);
    }
}
