#pragma once
// Error-free sums and products, and the sign of an exact sum of a few doubles: where rounding
// a sum would decide a comparison wrongly, two sums that are equal as real numbers can round
// apart (1.11832 + 1.11715 + 1.11775 and 1.11809 + 1.1173 + 1.11783 are equal, their rounded
// thirds are not).
#include <array>
#include <cmath>
#include <cstddef>

namespace vorn::utils::exact {

// a + b == s + e exactly (Knuth's two-sum), for finite a and b whose sum does not overflow.
// Needs strict IEEE arithmetic: the build's -ffp-contract=off and no -ffast-math.
[[gnu::always_inline]] inline void two_sum(double a, double b, double& s, double& e) noexcept {
    s = a + b;
    const double bb = s - a;
    e = (a - (s - bb)) + (b - bb);
}

// Dekker's product: a * b == p + e exactly, p = fl(a * b), without a fused multiply-add
// (unless the product over- or underflows).
[[gnu::always_inline]] inline void two_product(double a, double b, double& p, double& e) noexcept {
    constexpr double kSplit = 134217729.0;  // 2^27 + 1
    const double ca = kSplit * a, cb = kSplit * b;
    const double a_hi = ca - (ca - a), a_lo = a - a_hi;
    const double b_hi = cb - (cb - b), b_lo = b - b_hi;
    p = a * b;
    e = ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo;
}

// -1, 0 or +1 as the real sum of the terms is negative, zero or positive. The terms are grown
// into an expansion, each step error-free, whose components do not overlap; its largest
// nonzero component carries the sign. Terms as large as 2^1019 are first scaled by 2^-4 (exact
// for every term above 2^-1018), so that no partial sum can overflow.
template <std::size_t N>
int sign_of_sum(std::array<double, N> terms) noexcept {
    bool huge = false;
    for (double t : terms) huge |= std::fabs(t) >= 0x1p1019;
    if (huge)
        for (double& t : terms) t *= 0x1p-4;
    std::array<double, N> parts{};
    std::size_t count = 0;
    for (double q : terms) {
        std::size_t kept = 0;
        for (std::size_t k = 0; k < count; ++k) {
            double s, e;
            two_sum(q, parts[k], s, e);
            if (e != 0.0) parts[kept++] = e;
            q = s;
        }
        parts[kept++] = q;
        count = kept;
    }
    for (std::size_t k = count; k-- > 0;)
        if (parts[k] != 0.0) return parts[k] > 0.0 ? 1 : -1;
    return 0;
}

// How ((a1 + b1) + c1) compares with ((a2 + b2) + c2) as real numbers: -1, 0 or +1. Where the
// rounded sums lie further apart than their rounding can reach, they decide (the common case,
// a few operations); otherwise the exact sign of the six-term difference does.
inline int compare_sums(double a1, double b1, double c1, double a2, double b2, double c2) noexcept {
    const double d = ((a1 + b1) + c1) - ((a2 + b2) + c2);
    // Each rounded sum is within 2u (|a| + |b| + |c|) of its value, u = 2^-53; the difference
    // adds u of itself.
    const double reach = 0x1p-51 * (((std::fabs(a1) + std::fabs(b1)) + std::fabs(c1)) +
                                    ((std::fabs(a2) + std::fabs(b2)) + std::fabs(c2)));
    if (std::fabs(d) > reach) return d > 0.0 ? 1 : -1;
    return sign_of_sum(std::array<double, 6>{a1, b1, c1, -a2, -b2, -c2});
}

}  // namespace vorn::utils::exact
