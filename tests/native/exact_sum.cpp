// utils::exact::compare_sums. Input lines: a1 b1 c1 a2 b2 c2; output -1, 0 or 1.
#include <cstdio>
#include <cstdlib>
#include "utils/exact_sum.hpp"
int main() {
    char buf[6][64];
    while (std::scanf("%63s %63s %63s %63s %63s %63s", buf[0], buf[1], buf[2], buf[3], buf[4], buf[5]) == 6) {
        double x[6];
        for (int k = 0; k < 6; ++k) x[k] = std::strtod(buf[k], nullptr);
        std::printf("%d\n", vorn::utils::exact::compare_sums(x[0], x[1], x[2], x[3], x[4], x[5]));
        std::fflush(stdout);
    }
}
