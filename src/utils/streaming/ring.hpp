#pragma once
// Fixed-room window of floats for the streaming states. Room for the whole period is
// taken once, at construction, so that a tick never allocates; the storage is not
// touched until values arrive, so a long period costs address space, not memory.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "utils/constants.hpp"
#include "utils/memory.hpp"
#include "utils/window_weight.hpp"

namespace vorn::utils::streaming {

class RingBuffer {
public:
    // A room that cannot be had fails as an allocation (MemoryError in Python).
    explicit RingBuffer(std::uint64_t capacity)
        : cap_(static_cast<std::size_t>(capacity)), data_(utils::allocate_doubles(capacity)) {}

    RingBuffer(const RingBuffer& o)
        : cap_(o.cap_), data_(utils::allocate_doubles(o.cap_)), head_(o.head_), size_(o.size_), pushed_(o.pushed_) {
        for (std::size_t i = 0; i < size_; ++i) data_[i] = o.data_[i];
    }
    RingBuffer& operator=(const RingBuffer& o) {
        if (this != &o) *this = RingBuffer(o);
        return *this;
    }
    RingBuffer(RingBuffer&&) noexcept = default;
    RingBuffer& operator=(RingBuffer&&) noexcept = default;

    std::size_t size() const noexcept { return size_; }
    std::size_t capacity() const noexcept { return cap_; }
    bool empty() const noexcept { return size_ == 0; }
    bool full() const noexcept { return size_ == cap_; }

    // Appends v. A full window drops its oldest value to make room: returns true and
    // stores the dropped value in `dropped`.
    bool push(double v, double& dropped) noexcept {
        ++pushed_;
        if (size_ < cap_) {
            data_[size_++] = v;
            return false;
        }
        dropped = data_[head_];
        data_[head_] = v;
        if (++head_ == cap_) head_ = 0;
        return true;
    }

    void clear() noexcept { head_ = 0, size_ = 0, pushed_ = 0; }

    // Whether a held value is nonzero (NaN counts as none).
    bool any_nonzero() const noexcept { return utils::any_nonzero({data_.get(), size_}); }

    // The values pushed since the last clear: the number of the next one, counting from 0.
    // Counted apart: derived from the wraps of head_, it would turn the wrap into a branch.
    std::uint64_t pushed() const noexcept { return pushed_; }
    // The value pushed as number k, which the window still holds (pushed() - size() <= k).
    double pushed_at(std::uint64_t k) const noexcept { return at(static_cast<std::size_t>(k - (pushed() - size_))); }

    // The i-th held value, oldest first (i < size()).
    double at(std::size_t i) const noexcept {
        const std::size_t j = head_ + i;
        return data_[j < cap_ ? j : j - cap_];
    }

    // Visits the held values oldest first: order matters to the compensated sums.
    template <class F>
    void for_each(F&& f) const {
        for (std::size_t i = head_; i < size_; ++i) f(data_[i]);
        for (std::size_t i = 0; i < head_; ++i) f(data_[i]);
    }

    // Extremes by a full scan; the windows hold finite values only. An empty window has none:
    // NaN.
    double max() const noexcept {
        if (size_ == 0) return utils::NaN;
        double m = data_[0];
        for (std::size_t i = 1; i < size_; ++i)
            if (data_[i] > m) m = data_[i];
        return m;
    }
    double min() const noexcept {
        if (size_ == 0) return utils::NaN;
        double m = data_[0];
        for (std::size_t i = 1; i < size_; ++i)
            if (data_[i] < m) m = data_[i];
        return m;
    }

private:
    std::size_t cap_;
    std::unique_ptr<double[]> data_;
    std::size_t head_ = 0;  // index of the oldest value once the window is full
    std::size_t size_ = 0;
    std::uint64_t pushed_ = 0;
};

}  // namespace vorn::utils::streaming
