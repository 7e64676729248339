#pragma once
// The k nearest of a stream of candidates, for the nearest-neighbour systems.
//
// Order: the smaller distance first and, among equal distances, the smaller bar index. A
// NaN distance (features that overflowed) ranks after every number, so the order stays a
// strict total order and the selection stays defined.
//
// Candidates arrive in increasing index order. They are gathered into one buffer, reused
// from bar to bar; whenever it fills, a selection of the k-th element (nth_element, linear
// on average) keeps the k nearest so far, and the k-th of them becomes a threshold that
// later candidates must beat strictly (a tie loses to the earlier index). Distances are
// offered squared: a squared distance above the threshold's cannot beat it, so most
// candidates are turned away before their square root is taken.
#include <algorithm>
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

    // k >= 1.
    explicit NearestK(std::size_t k) : k_(k), capacity_(2 * k + 14) { buffer_.reserve(capacity_); }

    void restart() {
        buffer_.clear();
        bound_ = std::numeric_limits<double>::infinity();
        thresholded_ = false;
    }

    // A squared distance, or any lower bound of one, above this value cannot enter.
    double bound() const { return bound_; }

    void offer(double squared, std::size_t index) {
        if (squared > bound_) return;
        const Neighbour c{std::sqrt(squared), squared, index};
        if (thresholded_ && !closer(c, threshold_)) return;
        buffer_.push_back(c);
        if (buffer_.size() == capacity_) keep_nearest();
    }

    // The k nearest of the candidates offered since restart(), in no particular order; all
    // of them when fewer than k were offered.
    std::span<Neighbour> nearest() {
        if (buffer_.size() > k_) keep_nearest();
        return buffer_;
    }

    static bool closer(const Neighbour& a, const Neighbour& b) {
        const bool a_nan = std::isnan(a.distance), b_nan = std::isnan(b.distance);
        if (a_nan != b_nan) return b_nan;
        if (!a_nan && a.distance != b.distance) return a.distance < b.distance;
        return a.index < b.index;
    }

private:
    void keep_nearest() {
        std::nth_element(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(k_ - 1), buffer_.end(),
                         closer);
        buffer_.resize(k_);
        threshold_ = buffer_[k_ - 1];
        bound_ = threshold_.squared;
        thresholded_ = true;
    }

    std::size_t k_, capacity_;
    std::vector<Neighbour> buffer_;
    double bound_ = std::numeric_limits<double>::infinity();
    Neighbour threshold_{};
    bool thresholded_ = false;
};

}  // namespace vorn::indicators::sfg
