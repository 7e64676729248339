#pragma once
// What every sliding window sum shares besides its weight (utils/window_weight.hpp): the
// schedule on which it is summed afresh, and how it reads a window of zeros.
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace vorn::utils::sliding {

// A sum that slides (the entering term added, the leaving one subtracted) keeps the rounding
// of every term that passed through it; it is summed afresh from its window on a schedule, one
// of two that differ by one slide, every kRebuildEvery slides for a window of up to
// kRebuildEvery bars.
inline constexpr std::uint64_t kRebuildEvery = 1000;

// A rebuild is a pass over the window, so a longer window is summed afresh once in as many
// slides as it holds bars, rounded up to a multiple of kRebuildEvery: every rebuild of its
// schedule falls on a slide of the short windows' schedule, and a slide costs O(1) amortised
// at any period. The rounding a sum carries grows with the slides between rebuilds as it
// grows with the window (Residue), so a long window's sums stay within the same multiple of
// their window's largest magnitude as a short one's. Capped so that the counts fit 32 bits: a
// window of more than 2^30 bars is summed afresh every 2^30 slides or so, still O(1) a slide
// over any series that has that many.
inline constexpr std::uint64_t kLongestRebuild = kRebuildEvery << 20;
constexpr unsigned rebuild_every(std::uint64_t period) noexcept {
    if (period <= kRebuildEvery) return static_cast<unsigned>(kRebuildEvery);
    const std::uint64_t thousands = period / kRebuildEvery + (period % kRebuildEvery != 0);
    return static_cast<unsigned>(thousands < (kLongestRebuild / kRebuildEvery) ? thousands * kRebuildEvery
                                                                               : kLongestRebuild);
}

// A window of one bar is that bar. Adding the entering term and subtracting the leaving one
// would leave the rounding of both in its sum, so a window sum of one term is summed afresh on
// every slide: every schedule, and every count of slides kept in its stead, starts (and
// restarts after a rebuild) at the count whose next slide rebuilds. `rebuilding`: that count.
constexpr unsigned first_count(std::uint64_t period, unsigned rebuilding) noexcept {
    return period == 1 ? rebuilding : 0;
}

// Slides R, 2R, 3R, ... after the first window, R = rebuild_every(period) (1000 up to 1000
// bars): the rolling sum, the standard deviation and Bollinger's, the simple mean, the money
// flow and the rolling VWAP.
struct OnEveryThousandth {
    // Windows from one rebuild to the next, the rebuild's own included.
    static std::size_t stretch(std::uint64_t period) noexcept { return rebuild_every(period); }
    explicit OnEveryThousandth(std::uint64_t period) noexcept
        : every_(rebuild_every(period)), start_(first_count(period, every_ - 1)) {}
    // The next slide: true when it rebuilds.
    bool rebuilds() noexcept {
        if (++slides_ != every_) return false;
        slides_ = start_;
        return true;
    }

private:
    unsigned every_, start_, slides_ = start_;
};

// After every R incremental slides, R = rebuild_every(period): slides R + 1, 2 R + 2, ...
// (1001, 2002, 3003, ... up to 1000 bars; the least-squares and correlation sums and
// window::sliding_sums).
struct AfterEveryThousand {
    static std::size_t stretch(std::uint64_t period) noexcept { return rebuild_every(period) + std::size_t{1}; }
    explicit AfterEveryThousand(std::uint64_t period) noexcept
        : every_(rebuild_every(period)), start_(first_count(period, every_)) {}
    bool rebuilds() noexcept {
        if (slides_ >= every_) {
            slides_ = start_;
            return true;
        }
        ++slides_;
        return false;
    }

private:
    unsigned every_, start_, slides_ = start_;
};

// A term that keeps a window sum from reading exactly 0. A NaN counts as none (the sums skip
// it or take it as 0.0), which `x != 0.0` would not. Every look for a nonzero term asks this.
[[gnu::always_inline]] inline bool nonzero(double x) noexcept { return std::fabs(x) > 0.0; }

// The terms a window sum holds, counted exactly beside it (the streaming windows, whose
// update is one slide; the series kernels keep the same rules without counting, below). A
// window that holds nothing but
// zeros reads exactly 0, whatever rounding the terms that left it behind (about 2^-52 of their
// size, enough for an absolute guard to read as a flow); and a sum of terms none of which is
// negative (volumes, flows, squares, magnitudes) reads as 0 where that rounding took it
// below 0. Only the reading changes: the running sum keeps its arithmetic, so every window
// with a nonzero term keeps its bits. A NaN counts as no term (the sums skip it or take it as
// 0.0).
struct TermCount {
    std::int64_t nonzero = 0, negative = 0;

    void enter(double x) noexcept {
        nonzero += sliding::nonzero(x);
        negative += x < 0.0;
    }
    void leave(double x) noexcept {
        nonzero -= sliding::nonzero(x);
        negative -= x < 0.0;
    }
    void reset() noexcept { nonzero = 0, negative = 0; }
    bool only_zeros() const noexcept { return nonzero == 0; }
    // The sum as the window defines it.
    double read(double sum) const noexcept {
        return nonzero == 0 || (negative == 0 && sum < 0.0) ? 0.0 : sum;
    }
};

// When a window sum needs a look at its terms at all. TermCount's reading rules change a sum
// only on a window of zeros (exact sum 0) and on a sum below 0 whose terms are none negative
// (exact sum >= 0): both times the sum is no farther from 0 than its own rounding error. So a
// sum farther from 0 than a bound on that error reads as it is, without a look at its terms:
// the bound is scaled by the largest magnitude its WindowWeight saw since the sum was last
// summed afresh (WindowWeight::high()).
//
// The bound. A compensated sum (utils::Kahan) of N terms carries an error below
// (2u + O(N u^2)) times the sum of their magnitudes, so below 3u times it for any N below
// 2^40 (u = 2^-53). A sliding sum summed afresh adds its window's p terms, then one entering
// and one leaving term a slide; every one of them was added or entered since that rebuild, so
// none exceeds `high`; and it is summed afresh at least every R = rebuild_every(p) slides:
// N <= p + 2R. Where a rebuild drops its compensation, the sum carries on as a second
// compensated summation whose first term is the rebuilt sum (at most p high): at most another
// 3u (p + 2R) high. So the error is below 3u (2p + 4R) high, under 2^-50 (p + 2R) high.
// Residue takes 2^-48, four times that, which also covers the rounding of the comparison. (R
// is below p + kRebuildEvery: the bound stays of the order of p high at any period.) A window
// kept on a schedule of 1000 slides at any period is covered too, its bound being the larger.
// A NaN sum (an overflow) compares false and is always looked at, as is an infinite bound.
// Where a slide's weight passes, not even this comparison is needed (kWeightCovers): Residue
// serves the slides it does not pass.
struct Residue {
    double scale;  // times the largest magnitude
    explicit Residue(std::size_t period) noexcept
        : scale(0x1p-48 * (static_cast<double>(period) + 2.0 * static_cast<double>(rebuild_every(period)))) {}
    // True when the sum is farther from 0 than its rounding can take it, so reads as it is;
    // one that is not may read otherwise (the rare case, looked at apart).
    [[gnu::always_inline]] bool clear(double sum, double high) const noexcept { return std::fabs(sum) > scale * high; }
};

// A window sum that slides beside its WindowWeight (of |x|) needs no look at all on a slide
// that the weight passes (WindowWeight::passes), when its window is at most kWeightCovers
// long. A pass means that the largest magnitude since the rebuild, h, is at most 2^20 times
// the weight's running sum; where the reading rules would change the sum, the window's exact
// weight W is at most the Residue bound (W = 0 for zeros only; for terms none negative, W
// is their exact sum, within the sum's error of a sum below 0), and the plain running weight
// strays from W by at most u (p^2 + 2 K (p + 1)) h after K <= rebuild_every(p) + 1 slides
// since it was summed afresh with the sum: with the Residue bound, under 2^-21 h for p <=
// 2^15 (K <= 33001), so such a slide is never passed. (Magnitudes below 2^-1043 since the
// rebuild: every sum of them is exact, so a window of zeros sums to 0 exactly and none
// without negative terms below it.) Longer windows look at every sum near zero.
inline constexpr std::size_t kWeightCovers = std::size_t{1} << 15;

// The latest bar that holds a term of some kind (nonzero, negative), looked for only when a
// window sum is near zero (Residue): from the newest bar back, remembering what was found and
// how far it looked, so that every bar is looked at once at most and a long stretch of zeros
// costs O(1) a bar. Bars in (low_, high_] hold no such term; low_ holds one when found_.
// Windows are asked about in order of their last bar.
//
// It is the look of every reader that may ask about many windows in a row (LazyReading, the
// lanes' plan). Two other looks keep forms of their own, for reasons of where they stand:
// utils::any_nonzero (window_weight.hpp) looks over a window a caller holds as a span (a
// weight's rare look, WindowWeight::settle, for windows that keep no reading beside them, and
// the streaming rings, whose storage is not indexed by bar); the generic sliding sums of
// utils::stats::window look over terms they form from several series (their `weighs`), of
// which there is no series to index. Both look newest first and take a term as nonzero as
// sliding::nonzero does (|x| > 0: NaN none).
class LatestFound {
public:
    // True when a bar in [start, end] holds a term: holds(k) says whether bar k does.
    template <class Holds>
    [[gnu::always_inline]] bool any(std::size_t start, std::size_t end, Holds&& holds) noexcept {
        const auto s = static_cast<std::int64_t>(start), e = static_cast<std::int64_t>(end);
        if (high_ < s - 1) low_ = high_ = s - 1, found_ = false;  // nothing known inside the window
        for (std::int64_t k = e; k > high_; --k) {
            if (holds(static_cast<std::size_t>(k))) {
                low_ = k, high_ = e, found_ = true;
                return true;
            }
        }
        high_ = e;
        if (low_ < s) return false;
        if (found_) return true;
        for (std::int64_t k = low_; k >= s; --k) {
            if (holds(static_cast<std::size_t>(k))) {
                low_ = k, found_ = true;
                return true;
            }
        }
        low_ = s - 1;
        return false;
    }
    // Forget what was found: the bars' terms changed (a series restarting after a gap).
    void reset() noexcept { low_ = high_ = -1, found_ = false; }

private:
    std::int64_t low_ = -1, high_ = -1;
    bool found_ = false;
};

// How a sliding window sum of `period` bars reads by TermCount's rules without counting its
// terms: a slide that the sum's WindowWeight passes reads it as it is, where the weight can
// vouch for that (covers(): kWeightCovers); any other reading looks at the terms only when the
// sum is within its rounding of 0 (Residue), through LatestFound. A NaN term counts as no term.
class LazyReading {
public:
    explicit LazyReading(std::size_t period) noexcept : residue_(period), covers_(period <= kWeightCovers) {}

    // True when a slide that the weight passes reads its sum as it is.
    bool covers() const noexcept { return covers_; }

    // True when the sum reads as it is, being farther from 0 than its rounding; `high`: the
    // weight's largest magnitude since the sum was last summed afresh (WindowWeight::high()).
    [[gnu::always_inline]] bool clear(double sum, double high) const noexcept { return residue_.clear(sum, high); }

    // The sum of the window of bars [start, end], terms term(k), as the window defines it, by
    // a look at its terms: for a sum that is not clear(). Inlined with the rest of a window's
    // rare path: a call handed this would take the window's address and keep its sums in
    // memory on the fast path too.
    template <class Term>
    [[gnu::always_inline]] double look(std::size_t start, std::size_t end, double sum, Term&& term) noexcept {
        if (!nonzero_.any(start, end, [&](std::size_t k) { return nonzero(term(k)); })) return 0.0;
        if (sum < 0.0 && !negative_.any(start, end, [&](std::size_t k) { return term(k) < 0.0; })) return 0.0;
        return sum;
    }

    // Whether the window of bars [start, end] holds a nonzero term: a window weight's look
    // (WindowWeight::settle). It shares the look-back with look(), which then costs nothing
    // more for the same window.
    template <class Term>
    [[gnu::always_inline]] bool holds_nonzero(std::size_t start, std::size_t end, Term&& term) noexcept {
        return nonzero_.any(start, end, [&](std::size_t k) { return nonzero(term(k)); });
    }

    // The two together: any sum of that window as the window defines it.
    template <class Term>
    [[gnu::always_inline]] double read(std::size_t start, std::size_t end, double sum, double high,
                                       Term&& term) noexcept {
        return clear(sum, high) ? sum : look(start, end, sum, term);
    }
    // Forget what was found: the bars' terms changed (a window restarting).
    void reset() noexcept { nonzero_.reset(), negative_.reset(); }

private:
    Residue residue_;
    bool covers_;
    LatestFound nonzero_, negative_;
};

}  // namespace vorn::utils::sliding
