// The streaming window's extremes and its allocation. Input: CAPACITY v1 .. vN. Prints the
// size, max and min of a window of that capacity (the running extremes kept beside it) before
// the first value and after each, or the refusal's message when no such window can be had.
#include <cstdio>
#include <new>

#include "utils/streaming/ring.hpp"

int main() {
    namespace st = vorn::utils::streaming;
    unsigned long long capacity;
    while (std::scanf("%llu", &capacity) == 1) {
        try {
            st::RingBuffer ring(capacity);
            st::WindowExtreme<st::Extreme::largest> largest(capacity);
            st::WindowExtreme<st::Extreme::smallest> smallest(capacity);
            std::printf("0 nan nan\n");  // an empty window has no extremes
            double v, dropped;
            while (std::scanf("%lf", &v) == 1) {
                ring.push(v, dropped);
                const double high = largest.slide(ring, v), low = smallest.slide(ring, v);
                std::printf("%zu %.17g %.17g\n", ring.size(), high, low);
            }
        } catch (const std::bad_alloc& e) {
            std::printf("%s\n", e.what());
        }
        std::fflush(stdout);
    }
}
