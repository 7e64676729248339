// The bounds helpers other than strays, one call a line (nan, inf and -0 as scanf reads them):
//   watch LO HI v1 .. vN         1 when Watch, shown the values two at a time (the last one
//                                paired with NaN when N is odd), saw one past LO or HI, else 0
//   until LO HI m1 .. mN v1 .. vN  confine_until_broken over two outputs (v and v negated),
//                                met(j) = m_j != 0: prints j, then both outputs as hex floats
//   notbelow LO HI v             confine_not_below, as a hex float
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "utils/bounds.hpp"

namespace bounds = vorn::utils::bounds;

int main() {
    char line[1 << 16];
    while (std::fgets(line, sizeof line, stdin)) {
        char kind[16];
        double lo, hi;
        int used = 0;
        if (std::sscanf(line, "%15s %lf %lf%n", kind, &lo, &hi, &used) != 3) continue;
        std::vector<double> x;
        double v;
        int more = 0;
        for (const char* p = line + used; std::sscanf(p, "%lf%n", &v, &more) == 1; p += more) x.push_back(v);
        const bounds::Interval b{lo, hi};
        if (!std::strcmp(kind, "watch")) {
            bounds::Watch watch(b);
            for (std::size_t i = 0; i < x.size(); i += 2)
                watch.see(vorn::utils::pairs::Pair{x[i], i + 1 < x.size() ? x[i + 1] : std::nan("")});
            std::printf("%d\n", watch.strayed() ? 1 : 0);
        } else if (!std::strcmp(kind, "until")) {
            const std::size_t n = x.size() / 2;
            std::vector<double> a(x.begin() + n, x.end()), negated(n);
            for (std::size_t i = 0; i < n; ++i) negated[i] = -a[i];
            const std::size_t j = bounds::confine_until_broken(
                n, b, [&](std::size_t i) { return x[i] != 0.0; }, a.data(), negated.data());
            std::printf("%zu", j);
            for (const double y : a) std::printf(" %a", y);
            std::printf(" |");
            for (const double y : negated) std::printf(" %a", y);
            std::printf("\n");
        } else if (!std::strcmp(kind, "notbelow") && !x.empty()) {
            std::printf("%a\n", bounds::confine_not_below(x[0], b));
        }
        std::fflush(stdout);
    }
}
