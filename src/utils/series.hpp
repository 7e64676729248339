#pragma once
// The series every kernel takes and returns, and element-wise helpers shared by several
// families.
#include <cmath>
#include <span>
#include <vector>

#include "utils/buffer.hpp"
#include "utils/constants.hpp"

namespace vorn {

// A series of bar values; its buffers are recycled between calls (utils/buffer.hpp).
using Series = std::vector<double, utils::BufferAllocator<double>>;

}  // namespace vorn

namespace vorn::utils {

// minuend - subtrahend over the shorter length; NaN wherever either side is NaN.
inline Series series_difference(std::span<const double> minuend, std::span<const double> subtrahend) {
    const std::size_t n = minuend.size() < subtrahend.size() ? minuend.size() : subtrahend.size();
    Series out(n, NaN);
    for (std::size_t i = 0; i < n; ++i)
        if (!std::isnan(minuend[i]) && !std::isnan(subtrahend[i])) out[i] = minuend[i] - subtrahend[i];
    return out;
}

// Minimum and maximum that ignore a NaN operand: with one side NaN the other is the result
// (NaN only when both are). Written out because std::min/std::max answer by operand order.
inline double min_num(double a, double b) noexcept {
    if (std::isnan(a)) return b;
    if (std::isnan(b)) return a;
    return b < a ? b : a;
}
inline double max_num(double a, double b) noexcept {
    if (std::isnan(a)) return b;
    if (std::isnan(b)) return a;
    return b > a ? b : a;
}

}  // namespace vorn::utils
