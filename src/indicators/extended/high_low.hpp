#pragma once
// The highest and the lowest value of each window in one pass, for the extended set's
// stochastic and squeeze lines.
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

#include "utils/pairs.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::extended {

// A window's largest and smallest value at once, the smallest negated so that one selection
// picks both: (hi, -lo). A NaN never wins: it stands as -inf for the largest and +inf for
// the smallest, the extremes of a window without any value. Of equal values the later is
// picked, as utils::stats::rolling_max and rolling_min pick them (-0.0 after 0.0 is the
// window's extreme). The suffix extremes are kept in a ring of a power of two at least
// `period` long, which the indices of one block never wrap.
template <class Value>
struct HighLow {
    using Cand = utils::pairs::Pair;
    const Value& value;
    Cand* ring;
    std::size_t mask;
    Cand at(std::size_t i) const noexcept {
        const double x = value(i);
        constexpr double inf = std::numeric_limits<double>::infinity();
        return std::isnan(x) ? utils::pairs::both(-inf) : Cand{x, -x};
    }
    static Cand pick(Cand later, Cand earlier) noexcept { return utils::pairs::max(earlier, later); }
    void keep(std::size_t i, Cand c) const noexcept { ring[i & mask] = c; }
    Cand kept(std::size_t i) const noexcept { return ring[i & mask]; }
};

// emit(i, hi, lo) for every i from period - 1 on, in order, with the window's highest and
// lowest value(k) (NaN skipped as above). 1 <= period <= n.
template <class Value, class Emit>
void high_low(std::size_t n, std::size_t period, const Value& value, Emit&& emit) {
    using Cand = utils::pairs::Pair;
    std::vector<Cand> ring(std::bit_ceil(period));
    utils::stats::window::block_extremes(HighLow<Value>{value, ring.data(), ring.size() - 1}, n, period,
                                         [&](std::size_t i, Cand c) { emit(i, c[0], -c[1]); });
}

}  // namespace vorn::indicators::extended
