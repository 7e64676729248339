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

// A rounded float as a count: NaN and anything below 0 give 0, anything past the range
// the largest count, so that no input can make the conversion undefined.
inline std::uint64_t saturating_count(double v) noexcept {
    if (!(v > 0.0)) return 0;
    if (v >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(v);
}

}  // namespace vorn::utils::streaming
