#pragma once
// What every sliding window sum shares besides its weight (utils/window_weight.hpp): the
// schedule on which it is summed afresh, and the count of the terms it holds.
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace vorn::utils::sliding {

// A sum that slides (the entering term added, the leaving one subtracted) keeps the rounding
// of every term that passed through it; it is summed afresh from its window every
// kRebuildEvery slides, on one of two schedules that differ by one slide.
inline constexpr std::uint64_t kRebuildEvery = 1000;

// Slides 1000, 2000, 3000, ... after the first window: the rolling sum, the standard
// deviation and Bollinger's, the simple mean, the money flow and the rolling VWAP.
struct OnEveryThousandth {
    // Windows from one rebuild to the next, the rebuild's own included.
    static constexpr std::size_t kStretch = kRebuildEvery;
    unsigned slides = 0;
    // The next slide: true when it rebuilds.
    bool rebuilds() noexcept {
        if (++slides != kRebuildEvery) return false;
        slides = 0;
        return true;
    }
};

// After every 1000 incremental slides: slides 1001, 2002, 3003, ... (the least-squares and
// correlation sums and window::sliding_sums).
struct AfterEveryThousand {
    static constexpr std::size_t kStretch = kRebuildEvery + 1;
    unsigned slides = 0;
    bool rebuilds() noexcept {
        if (slides >= kRebuildEvery) {
            slides = 0;
            return true;
        }
        ++slides;
        return false;
    }
};

// The terms a window sum holds, counted exactly beside it. A window that holds nothing but
// zeros reads exactly 0, whatever rounding the terms that left it behind (about 2^-52 of their
// size, enough for an absolute guard to read as a flow); and a sum of terms none of which is
// negative (volumes, flows, squares, magnitudes) reads as 0 where that rounding took it
// below 0. Only the reading changes: the running sum keeps its arithmetic, so every window
// with a nonzero term keeps its bits. A NaN counts as no term (the sums skip it or take it as
// 0.0).
struct TermCount {
    std::int64_t nonzero = 0, negative = 0;

    void enter(double x) noexcept {
        nonzero += std::fabs(x) > 0.0;
        negative += x < 0.0;
    }
    void leave(double x) noexcept {
        nonzero -= std::fabs(x) > 0.0;
        negative -= x < 0.0;
    }
    void reset() noexcept { nonzero = 0, negative = 0; }
    bool only_zeros() const noexcept { return nonzero == 0; }
    // The sum as the window defines it.
    double read(double sum) const noexcept {
        return nonzero == 0 || (negative == 0 && sum < 0.0) ? 0.0 : sum;
    }
};

// TermCount's reading from the latest bars that entered a nonzero and a negative term, for a
// window that every bar enters in order (a rebuild enters its window's bars again, in order):
// a window from `start` on holds a nonzero term when the latest one entered at start or
// later. Cheaper on a slide, which leaves these alone.
struct LatestTerms {
    std::int64_t nonzero = -1, negative = -1;

    void enter(std::size_t i, double x) noexcept {
        const auto at = static_cast<std::int64_t>(i);
        nonzero = std::fabs(x) > 0.0 ? at : nonzero;
        negative = x < 0.0 ? at : negative;
    }
    // True when the window from `start` reads `sum` as it is.
    bool plain(std::size_t start, double sum) const noexcept {
        const auto s = static_cast<std::int64_t>(start);
        return (nonzero >= s) & !((sum < 0.0) & (negative < s));
    }
    double read(std::size_t start, double sum) const noexcept { return plain(start, sum) ? sum : 0.0; }
};

}  // namespace vorn::utils::sliding
