#pragma once
// The k nearest of a bar's candidates, for the nearest-neighbour systems.
//
// Order: the smaller distance first and, among equal distances, the smaller bar index. A
// NaN distance (features that overflowed) ranks after every number, so that the order stays
// a strict total order and the selection stays defined.
//
// Candidates may come in any order. They are gathered into one buffer, reused from bar to
// bar; whenever it fills, a selection of the k-th element (nth_element, linear on average)
// keeps the k nearest so far, and the k-th of them becomes a threshold that later
// candidates must beat. Distances are offered squared, and the bound on squared distances
// is widened to the largest square whose root still equals the threshold's distance: a
// candidate beyond it is strictly farther, whatever its index, and is turned away before
// its square root is taken. A bar may also start from the previous search's neighbours: when
// all k are still candidates, the largest of their squared distances is a bound that k
// candidates are known to meet.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "utils/constants.hpp"

namespace vorn::indicators::sfg {

class NearestK {
public:
    struct Neighbour {
        double distance;  // the square root of `squared`: the ranking key
        double squared;
        std::size_t index;
    };

    // k >= 1; `most`: the most candidates a bar can have, which bounds what the buffers
    // ever hold. A buffer of about twice k balances the cost of each selection against the
    // candidates let in while the threshold lags.
    NearestK(std::size_t k, std::size_t most) : k_(k), capacity_(2 * k + 14) {
        buffer_.reserve(std::min(capacity_, most));
        last_.reserve(std::min(k, most));
    }

    // Starts from the last search's neighbours when all of them pass `usable` (a candidate
    // of this bar), `squared_of(index)` giving their squared distances to this bar.
    template <class Usable, class SquaredOf>
    void restart_near_last(Usable usable, SquaredOf squared_of) {
        double seed = std::numeric_limits<double>::infinity();
        if (last_.size() == k_) {
            seed = 0.0;
            for (const std::size_t j : last_) {
                const double sq = usable(j) ? squared_of(j) : utils::NaN;
                if (std::isnan(sq)) {
                    seed = std::numeric_limits<double>::infinity();
                    break;
                }
                if (sq > seed) seed = sq;
            }
        }
        restart_below(seed);
    }

    // A squared distance, or any lower bound of one, above this value cannot enter.
    double bound() const { return bound_; }

    // Most candidates stop at the first test, which stays inline; the rest is out of line.
    void offer(double squared, std::size_t index) {
        if (!(squared > bound_)) admit(squared, index);
    }

    // The k nearest of the candidates offered since restart(), in no particular order; all
    // of them when fewer than k were offered.
    std::span<Neighbour> nearest() {
        if (buffer_.size() > k_) keep_nearest();
        last_.clear();
        for (const Neighbour& c : buffer_) last_.push_back(c.index);
        return buffer_;
    }

    static bool closer(const Neighbour& a, const Neighbour& b) {
        const bool a_nan = std::isnan(a.distance), b_nan = std::isnan(b.distance);
        if (a_nan != b_nan) return b_nan;
        if (!a_nan && a.distance != b.distance) return a.distance < b.distance;
        return a.index < b.index;
    }

    // The largest double whose square root rounds to sqrt(squared): a few steps at most,
    // since the root halves the relative spacing. NaN stays NaN (nothing is turned away).
    static double widest_square(double squared) {
        // Past 0 the next square is the least subnormal, whose root is far from 0.
        if (!(squared < std::numeric_limits<double>::infinity()) || squared == 0.0) return squared;
        const double root = std::sqrt(squared);
        for (;;) {
            // The next double up: one step of the bit pattern for a positive finite square.
            const double next = squared > 0.0
                                    ? std::bit_cast<double>(std::bit_cast<std::uint64_t>(squared) + 1)
                                    : std::nextafter(squared, std::numeric_limits<double>::infinity());
            if (!(std::sqrt(next) <= root)) return squared;
            squared = next;
        }
    }

private:
    [[gnu::noinline]] void admit(double squared, std::size_t index) {
        const Neighbour c{std::sqrt(squared), squared, index};
        if (thresholded_ && !closer(c, threshold_)) return;
        buffer_.push_back(c);
        if (buffer_.size() == capacity_) keep_nearest();
    }

    void restart_below(double squared_bound) {
        buffer_.clear();
        bound_ = widest_square(squared_bound);
        thresholded_ = false;
    }

    void keep_nearest() {
        // A lambda, not the function's address, so that the comparison is inlined.
        std::nth_element(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(k_ - 1), buffer_.end(),
                         [](const Neighbour& a, const Neighbour& b) { return closer(a, b); });
        buffer_.resize(k_);
        threshold_ = buffer_[k_ - 1];
        bound_ = widest_square(threshold_.squared);
        thresholded_ = true;
    }

    std::size_t k_, capacity_;
    std::vector<Neighbour> buffer_;
    std::vector<std::size_t> last_;  // the indices of the last result
    double bound_ = std::numeric_limits<double>::infinity();
    Neighbour threshold_{};
    bool thresholded_ = false;
};

}  // namespace vorn::indicators::sfg
