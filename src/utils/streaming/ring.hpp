#pragma once
// Fixed-room window of floats for the streaming states. Room for the whole period is
// taken once, at construction, so that a tick never allocates; the storage is not
// touched until values arrive, so a long period costs address space, not memory.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "utils/constants.hpp"
#include "utils/memory.hpp"
#include "utils/stats.hpp"
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

    // The value pushed as number m sits in slot m mod capacity (j < capacity() and held).
    double slot(std::size_t j) const noexcept { return data_[j]; }

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

private:
    std::size_t cap_;
    std::unique_ptr<double[]> data_;
    std::size_t head_ = 0;  // index of the oldest value once the window is full
    std::size_t size_ = 0;
    std::uint64_t pushed_ = 0;
};

enum class Extreme { largest, smallest };

// The largest or smallest value of a RingBuffer's window, kept beside it in O(1) amortised a
// value, with no branch on the data. The values are cut into blocks of the window's length, in
// the order they were pushed: a full window is a suffix of the previous block and a prefix of
// the current one. The current block's prefix extreme grows with each value; the previous
// block's suffix extremes are taken, from its values in the window, when the current block
// begins. Every selection keeps the later of two equal values (0.0 and -0.0), as the series'
// rolling extremes do (utils::stats::window::pick_max), so the extreme is the latest of its
// equals there as here; a NaN in the window is not looked for (the streaming states refuse it).
template <Extreme kWhich>
class WindowExtreme {
public:
    explicit WindowExtreme(std::uint64_t capacity)
        : cap_(static_cast<std::size_t>(capacity)), kept_(utils::allocate_doubles(capacity)) {
        kept_[cap_ - 1] = kNone;  // the window that is the current block: its prefix alone
    }

    // Moved only: no state that holds one is copied.
    WindowExtreme(const WindowExtreme&) = delete;
    WindowExtreme& operator=(const WindowExtreme&) = delete;
    WindowExtreme(WindowExtreme&&) noexcept = default;
    WindowExtreme& operator=(WindowExtreme&&) noexcept = default;

    // The extreme of `window` (of this one's capacity) once x has been pushed to it.
    [[gnu::always_inline]] double slide(const RingBuffer& window, double x) noexcept {
        if (at_ == 0) [[unlikely]]
            begin_block(window, x);
        else
            prefix_ = pick(x, prefix_);
        const double extreme = pick(prefix_, second_ ? kept_[at_] : kNone);
        at_ = at_ + 1 == cap_ ? 0 : at_ + 1;
        return extreme;
    }

    void clear() noexcept { at_ = 0, second_ = false; }

private:
    static constexpr double kNone = kWhich == Extreme::largest ? -std::numeric_limits<double>::infinity()
                                                               : std::numeric_limits<double>::infinity();
    static double pick(double later, double earlier) noexcept {
        if constexpr (kWhich == Extreme::largest)
            return stats::window::pick_max(later, earlier);
        else
            return stats::window::pick_min(later, earlier);
    }

    // The value pushed as number m sits in slot m mod capacity, and a block begins at a
    // multiple of the capacity: the previous block's values still in the window are in slots
    // 1 to capacity - 1, the latest last. The window ending j values into the block holds
    // those from slot j + 1 on. (In the first block, nothing earlier: the prefix alone.)
    void begin_block(const RingBuffer& window, double x) noexcept {
        prefix_ = x;
        second_ = window.pushed() > 1;
        if (second_ && cap_ > 1) {
            double tail = window.slot(cap_ - 1);
            kept_[cap_ - 2] = tail;
            for (std::size_t j = cap_ - 2; j-- > 0;) kept_[j] = tail = pick(tail, window.slot(j + 1));
        }
    }

    std::size_t cap_;
    std::unique_ptr<double[]> kept_;  // the previous block's suffix extremes, by the place in this one
    std::size_t at_ = 0;              // values of the current block taken before this one
    double prefix_ = kNone;
    bool second_ = false;             // a block before the current one: kept_ is written
};

}  // namespace vorn::utils::streaming
