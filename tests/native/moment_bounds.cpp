// The running bounds of the second moments' sums (utils/moments.hpp) against the actual error:
// every window's sums of deviations, of their squares, of the cross products and of the
// positions times the deviations, each against the same sum taken afresh in long double
// (compensated) over the deviations the window holds, as the state forms them. A bound below
// the actual error is a bound that does not bound. Input line: KIND PERIOD N x1 .. xN, with
// KIND spread, co (then y1 .. yN) or line. Output: the windows checked, the bounds broken, and
// the worst ratio of an actual error to its bound. KIND origin: the origin and scale that a
// window of N values is summed about (moments::origin_of); KIND hold with N values of which
// the infinite ones are bad: the window that one ending at the last value waits for.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "utils/stats.hpp"

namespace {

namespace moments = vorn::utils::moments;
namespace window = vorn::utils::stats::window;

// A compensated long double sum (Neumaier).
struct Exact {
    long double s = 0.0L, c = 0.0L;
    void add(long double t) {
        const long double u = s + t;
        c += std::fabs(s) >= std::fabs(t) ? (s - u) + t : (t - u) + s;
        s = u;
    }
    long double value() const { return s + c; }
};

struct Tally {
    std::size_t windows = 0, broken = 0;
    double worst = 0.0;
    void check(const moments::Sum<>& sum, long double exact) {
        const long double err = std::fabs(static_cast<long double>(sum.v) - exact);
        const double bound = sum.error();
        if (err > bound) ++broken;
        if (bound > 0.0) worst = std::fmax(worst, static_cast<double>(err / bound));
        else if (err > 0.0) worst = INFINITY;
    }
};

std::vector<double> read(int n) {
    std::vector<double> v(n);
    char buf[64];
    for (auto& x : v) {
        if (std::scanf("%63s", buf) != 1) std::exit(2);
        x = std::strtod(buf, nullptr);
    }
    return v;
}

}  // namespace

int main() {
    char kind[16];
    unsigned long long p;
    int n;
    while (std::scanf("%15s %llu %d", kind, &p, &n) == 3) {
        const std::vector<double> x = read(n);
        const std::string k = kind;
        Tally t;
        if (k == "origin") {
            const moments::Origin o = moments::origin_of(moments::indexed(x.size(), [&](std::size_t j) { return x[j]; }));
            std::printf("%.17g %.17g\n", o.at, o.scale);
            continue;
        }
        if (k == "hold") {
            std::printf("%zu\n", moments::held_until(x.size() - 1, p, [&](std::size_t j) { return moments::unbounded(x[j]); }));
            continue;
        }
        if (k == "spread") {
            window::spreads<false>(x, p, [&](std::size_t i, const auto& s, const auto&) {
                Exact s1, s2;
                for (std::size_t j = i + 1 - p; j <= i; ++j) {
                    const double d = s.dev(x[j]);
                    s1.add(d), s2.add(d * d);
                }
                ++t.windows;
                t.check(s.s1, s1.value()), t.check(s.s2, s2.value());
            });
        } else if (k == "co") {
            const std::vector<double> y = read(n);
            window::co_spreads<false>(x, y, x.size(), p, [&](std::size_t i, const auto& s, const auto&) {
                Exact sxy;
                for (std::size_t j = i + 1 - p; j <= i; ++j) sxy.add(s.x.dev(x[j]) * s.y.dev(y[j]));
                ++t.windows;
                t.check(s.sxy, sxy.value());
            });
        } else if (k == "line") {
            window::line_fits<false>(x, p, [&](std::size_t i, const auto& s, const auto&) {
                Exact s1, sjy;
                for (std::size_t j = i + 1 - p; j <= i; ++j) {
                    const double d = s.y.dev(x[j]);
                    s1.add(d), sjy.add(static_cast<long double>(j - (i + 1 - p)) * d);
                }
                ++t.windows;
                t.check(s.y.s1, s1.value()), t.check(s.sjy, sjy.value());
            });
        }
        std::printf("%zu %zu %.3g\n", t.windows, t.broken, t.worst);
        std::fflush(stdout);
    }
}
