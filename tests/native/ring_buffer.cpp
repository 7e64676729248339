// The streaming window's extremes and its allocation. Input: CAPACITY v1 .. vN. Prints the
// size, max and min of a window of that capacity before the first value and after each, or
// the refusal's message when no such window can be had.
#include <cstdio>
#include <new>

#include "utils/streaming/ring.hpp"

int main() {
    unsigned long long capacity;
    while (std::scanf("%llu", &capacity) == 1) {
        try {
            vorn::utils::streaming::RingBuffer ring(capacity);
            std::printf("%zu %g %g\n", ring.size(), ring.max(), ring.min());
            double v, dropped;
            while (std::scanf("%lf", &v) == 1) {
                ring.push(v, dropped);
                std::printf("%zu %g %g\n", ring.size(), ring.max(), ring.min());
            }
        } catch (const std::bad_alloc& e) {
            std::printf("%s\n", e.what());
        }
        std::fflush(stdout);
    }
}
