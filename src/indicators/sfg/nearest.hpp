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
                const double sq = usable(j) ? squared_of(j) : std::numeric_limits<double>::quiet_NaN();
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
        if (!(squared < std::numeric_limits<double>::infinity())) return squared;
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

// The same selection for searches that pass over whole groups of candidates by a lower bound
// of their squared distances (a tree), where a bound that tightens as candidates come in
// saves reading groups. The k smallest squares let in are kept in a heap of plain numbers,
// largest on top: the k-th nearest distance is the root of the k-th smallest square, whatever
// the tie order, so that square's widest is a bound. It is taken up when the caller asks
// (after each group), so a stale bound only lets in a few more candidates. The candidates
// let in are ranked only at the end (or when the buffer fills), and most often the bound
// alone leaves exactly k of them.
class NearestHeap {
public:
    using Neighbour = NearestK::Neighbour;

    // The heap's storage runs to 2k + 2 slots, those past k holding -infinity, so that a
    // sift-down may read both children of any node without asking whether they exist.
    explicit NearestHeap(std::size_t k)
        : k_(k), capacity_(4 * k + 16), squares_(2 * k + 2, -std::numeric_limits<double>::infinity()) {
        buffer_.reserve(capacity_);
    }

    // Forgets the last search. Squares offered must never be NaN.
    void restart() {
        filled_ = 0;
        buffer_.clear();
        bound_ = std::numeric_limits<double>::infinity();
        moved_ = false;
    }

    double bound() const { return bound_; }

    void offer(double squared, std::size_t index) {
        if (!(squared > bound_)) admit(squared, index);
    }

    // Takes up the bound that the candidates offered so far allow.
    void tighten() {
        if (!moved_) return;
        moved_ = false;
        bound_ = NearestK::widest_square(squares_.front());
    }

    // The k nearest offered since restart() (all of them when fewer), in no particular order.
    std::span<Neighbour> nearest() {
        tighten();
        if (buffer_.size() > k_) keep_nearest();
        return buffer_;
    }

private:
    void admit(double squared, std::size_t index) {
        if (buffer_.size() == capacity_) {
            tighten();
            keep_nearest();
            if (squared > bound_) return;
        }
        buffer_.push_back({0.0, squared, index});
        if (filled_ < k_) {
            squares_[filled_++] = squared;
            if (filled_ < k_) return;
            std::make_heap(squares_.begin(), squares_.begin() + static_cast<std::ptrdiff_t>(k_));
            moved_ = true;
        } else if (squared < squares_.front()) {
            replace_top(squared);
            moved_ = true;
        }
    }

    // Sift-down of a smaller square from the top of the max-heap.
    void replace_top(double squared) {
        double* h = squares_.data();
        std::size_t at = 0;
        for (std::size_t child = 1; child < k_; child = 2 * at + 1) {
            child += h[child + 1] > h[child];
            if (!(h[child] > squared)) break;
            h[at] = h[child];
            at = child;
        }
        h[at] = squared;
    }

    // Those beyond the bound are farther than k others; of the rest, more than k only when
    // distances tie at the k-th, and then the full order decides.
    void keep_nearest() {
        std::size_t kept = 0;
        for (const Neighbour& c : buffer_)
            if (!(c.squared > bound_)) buffer_[kept++] = c;
        buffer_.resize(kept);
        if (kept <= k_) return;
        for (Neighbour& c : buffer_) c.distance = std::sqrt(c.squared);
        std::nth_element(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(k_ - 1), buffer_.end(),
                         [](const Neighbour& a, const Neighbour& b) { return NearestK::closer(a, b); });
        buffer_.resize(k_);
    }

    std::size_t k_, capacity_;
    std::vector<double> squares_;  // the k smallest squares let in, a max-heap once k are in
    std::size_t filled_ = 0;
    std::vector<Neighbour> buffer_;
    double bound_ = std::numeric_limits<double>::infinity();
    bool moved_ = false;  // the top square changed since the bound was taken
};

}  // namespace vorn::indicators::sfg
