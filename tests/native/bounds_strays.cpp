// Whether a span strays past its bounds. Input: LO HI FIRST v1 .. vN (nan, inf and -0 as
// scanf reads them). Prints 1 when a value of v[FIRST..N) lies past LO or HI, else 0.
#include <cstdio>
#include <vector>

#include "utils/bounds.hpp"

int main() {
    char line[1 << 16];
    while (std::fgets(line, sizeof line, stdin)) {
        double lo, hi;
        unsigned long long first;
        int used = 0;
        if (std::sscanf(line, "%lf %lf %llu%n", &lo, &hi, &first, &used) != 3) continue;
        std::vector<double> x;
        double v;
        int more = 0;
        for (const char* p = line + used; std::sscanf(p, "%lf%n", &v, &more) == 1; p += more) x.push_back(v);
        std::printf("%d\n", vorn::utils::bounds::strays(x.data(), first, x.size(), {lo, hi}) ? 1 : 0);
        std::fflush(stdout);
    }
}
