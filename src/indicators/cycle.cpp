#include "indicators/cycle.hpp"

#include <cmath>
#include <limits>

#include "utils/constants.hpp"

namespace vorn::indicators::cycle {

namespace {

using utils::NaN;
using utils::kDivisionGuard;
constexpr double RAD_TO_DEG = 57.29577951308232;
constexpr double DEG_TO_RAD = 0.017453292519943295;
constexpr double TWO_PI = 6.283185307179586;
constexpr std::size_t FIRST = 32;        // first bar every output is written at
constexpr std::size_t TREND_FIRST = 63;  // first bar of the trend mode

using errors::validation::validate_series;

Status check(std::span<const double> values) {
    if (auto s = validate_series(values, "values"); !s) return s;
    if (values.size() <= FIRST) return fail(VornError::insufficient_data(FIRST + 1, values.size()));
    return {};
}

// The smoothed components I1 and Q1. Every stage starts from zeros and leaves the bars it
// does not reach at 0.0; the next stage reads them as such, so the earliest values of each
// stage partly rest on those zeros.
struct Components {
    Series i1, q1;
};

// Two neighbouring bars side by side: every stage is a fixed weighted sum of earlier values
// of the stage before it, so bars j and j + 1 are computed with the same operations in two
// lanes, and the divisions (the costliest step) are done two at a time.
typedef double Pair __attribute__((vector_size(16)));

inline void put(double* p, std::size_t j, Pair v) { __builtin_memcpy(p + j, &v, sizeof v); }

// Bars j in [from, n) of out get f(j), two at a time; the other bars are left as they are.
template <class F>
void fill_pairs(double* out, std::size_t from, std::size_t n, F f) {
    std::size_t j = from;
    for (; j + 2 <= n; j += 2) put(out, j, f.template operator()<Pair>(j));
    if (j < n) out[j] = f.template operator()<double>(j);
}

// Bar j (a double) or bars j and j + 1 (a Pair) of p.
template <class L>
L lanes(const double* p, std::size_t j) {
    L v;
    __builtin_memcpy(&v, p + j, sizeof v);
    return v;
}

Components filter_chain(std::span<const double> x) {
    const std::size_t n = x.size();
    const double* xs = x.data();
    Series s(n), q(n);
    Components c{Series(n), Series(n)};
    fill_pairs(s.data(), 10, n, [&]<class L>(std::size_t j) {
        return (((((2.0 * lanes<L>(xs, j - 2) + lanes<L>(xs, j)) + 3.0 * lanes<L>(xs, j - 4)) +
                  3.0 * lanes<L>(xs, j - 6)) +
                 2.0 * lanes<L>(xs, j - 8)) +
                lanes<L>(xs, j - 10)) /
               12.0;
    });
    fill_pairs(q.data(), 10, n, [&]<class L>(std::size_t j) {
        return ((2.0 * lanes<L>(s.data(), j - 4) + lanes<L>(s.data(), j - 2)) + lanes<L>(s.data(), j - 6)) * 0.25;
    });
    // The in-phase component is the smoothed price itself.
    const double* in = s.data();
    const double* qd = q.data();
    fill_pairs(c.i1.data(), 6, n, [&]<class L>(std::size_t j) {
        return (((4.0 * lanes<L>(in, j) + 3.0 * lanes<L>(in, j - 1)) + 2.0 * lanes<L>(in, j - 2)) +
                lanes<L>(in, j - 3)) /
               10.0;
    });
    fill_pairs(c.q1.data(), 6, n, [&]<class L>(std::size_t j) {
        return (((4.0 * lanes<L>(qd, j) + 3.0 * lanes<L>(qd, j - 1)) + 2.0 * lanes<L>(qd, j - 2)) +
                lanes<L>(qd, j - 3)) /
               10.0;
    });
    return c;
}

Series phase_of(const Components& c) {
    const std::size_t n = c.i1.size();
    Series out(n, NaN);
    for (std::size_t i = FIRST; i < n; ++i) {
        if (std::fabs(c.i1[i]) < kDivisionGuard) {
            out[i] = 0.0;
            continue;
        }
        double phi = std::atan(c.q1[i] / c.i1[i]) * RAD_TO_DEG;
        if (phi < 0.0) phi += 360.0;
        out[i] = phi;
    }
    return out;
}

Series period_of(const Components& c) {
    const std::size_t n = c.i1.size();
    const Series& i1 = c.i1;
    const Series& q1 = c.q1;
    Series raw(n, 0.0);
    for (std::size_t t = 7; t < n; ++t) {
        const double cross = i1[t] * q1[t - 1] - q1[t] * i1[t - 1];
        const double dot = i1[t - 1] * i1[t] + q1[t - 1] * q1[t];
        double a = 0.0;
        if (std::fabs(cross) >= kDivisionGuard && std::fabs(dot) >= kDivisionGuard) a = std::atan(cross / dot);
        const double d = a - std::atan(q1[t - 1] * i1[t - 1]);
        if (std::fabs(d) < 0.1) {
            raw[t] = raw[t - 1];  // too small a phase step to measure: hold the period
        } else if (!std::isnan(d)) {
            double p = TWO_PI / std::fabs(d);
            if (p < 6.0) p = 6.0;
            if (p > 50.0) p = 50.0;
            raw[t] = p;
        }
    }
    Series out(n, NaN);
    for (std::size_t j = FIRST; j < n; ++j) out[j] = ((2.0 * raw[j - 1] + raw[j]) + raw[j - 2]) * 0.25;
    return out;
}

}  // namespace

Result<Series> ht_dcphase(std::span<const double> values) {
    if (auto s = check(values); !s) return fail(s.error());
    return phase_of(filter_chain(values));
}

Result<Series> ht_dcperiod(std::span<const double> values) {
    if (auto s = check(values); !s) return fail(s.error());
    return period_of(filter_chain(values));
}

Result<SineSeries> ht_sine(std::span<const double> values) {
    if (auto s = check(values); !s) return fail(s.error());
    // The phase kernel's checks are these same ones, already passed.
    const Series phase = phase_of(filter_chain(values));
    const std::size_t n = values.size();
    SineSeries out{Series(n, NaN), Series(n, NaN)};
    for (std::size_t i = FIRST; i < n; ++i) {
        const double phi = phase[i];
        if (std::isnan(phi)) continue;
        out.sine[i] = std::sin(phi * DEG_TO_RAD);
        out.lead_sine[i] = std::sin((phi + 45.0) * DEG_TO_RAD);
    }
    return out;
}

Result<PhasorSeries> ht_phasor(std::span<const double> values) {
    if (auto s = check(values); !s) return fail(s.error());
    Components c = filter_chain(values);
    const std::size_t n = values.size();
    PhasorSeries out{Series(n, NaN), Series(n, NaN)};
    for (std::size_t j = FIRST; j < n; ++j) {
        out.inphase[j] = c.i1[j];
        out.quadrature[j] = c.q1[j];
    }
    return out;
}

Result<Series> ht_trendmode(std::span<const double> values) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    const std::size_t n = values.size();
    if (n < TREND_FIRST) return fail(VornError::insufficient_data(TREND_FIRST, n));
    // At 63 bars or more the period kernel's checks pass; its series is computed directly.
    const Series p = period_of(filter_chain(values));
    Series out(n, NaN);
    if (n == TREND_FIRST) return out;
    out[TREND_FIRST] = 0.0;
    std::int64_t count = p[TREND_FIRST] > 40.0 ? 1 : 0;
    for (std::size_t i = TREND_FIRST + 1; i < n; ++i) {
        // A long or lengthening cycle counts towards a trend; a short one resets the count.
        if (p[i] > 40.0) {
            ++count;
        } else if (p[i] - p[i - 1] > 1.0) {
            ++count;
        } else if (p[i] < 15.0) {
            --count;
            if (count <= 0) count = 0;
        }
        out[i] = count >= 4 ? 1.0 : 0.0;
    }
    return out;
}

}  // namespace vorn::indicators::cycle
