#pragma once
// Whole-window scans shared by the states that recompute their statistics every bar
// instead of keeping running sums.
#include <cmath>
#include <cstdint>
#include <limits>

#include "utils/kahan.hpp"
#include "utils/streaming/ring.hpp"

namespace vorn::utils::streaming {

struct SumAndMax {
    double sum;  // compensated, oldest value first, NaN skipped
    double max;  // folded from -infinity: a NaN never wins
};

inline SumAndMax sum_and_max(const RingBuffer& window) noexcept {
    Kahan s;
    double m = -std::numeric_limits<double>::infinity();
    window.for_each([&](double x) {
        if (!std::isnan(x)) s.add(x);
        if (x > m) m = x;
    });
    return {s.sum, m};
}

// The nearest count to v, halves going away from zero. NaN and anything below 0.5 give 0,
// anything past the range the largest count, so that no input makes the conversion
// undefined. Written out rather than with std::round, which is a library call here.
inline std::uint64_t nearest_count(double v) noexcept {
    if (!(v > 0.0)) return 0;
    if (v >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    const auto whole = static_cast<std::uint64_t>(v);
    if (v >= 4503599627370496.0) return whole;  // 2^52 and above every float is whole
    return whole + (v - static_cast<double>(whole) >= 0.5 ? 1 : 0);  // the fraction is exact
}

}  // namespace vorn::utils::streaming
