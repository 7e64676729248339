#include "utils/window_lanes.hpp"

#include <limits>

#include "utils/stats.hpp"

namespace vorn::utils::lanes {

Series stdev(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    if (period < 2 || period > n) return out;
    const double pm1 = static_cast<double>(period) - 1.0;
    auto emit = [&](std::size_t i0, std::size_t i1, Pair m2) {
        const Pair zero{0.0, 0.0}, sd = select(m2 > zero, root(m2 / Pair{pm1, pm1}), zero);
        out[i0] = sd[0];
        out[i1] = sd[1];
    };
    // A running state that overflowed (values near the largest double) leaves the plan.
    if (!run<4>(Deviations<decltype(emit)>(values.data(), period, emit), n, period))
        return utils::stats::stdev(values, period);
    return out;
}

}  // namespace vorn::utils::lanes
