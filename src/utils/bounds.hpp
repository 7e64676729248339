#pragma once
// Outputs that their definition confines to an interval: an oscillator on a 0..100 scale, a
// ratio whose numerator cannot exceed its denominator in magnitude, a mean of such values.
// Exact arithmetic keeps them inside; the rounding of the sums and averages that form them
// can carry one past its bound by an ulp or a few (the mean of a window of raw %K values that
// are all exactly 100 read 100.00000000000001). A bound is a promise users test with <=, so
// every such output is confined here on its way out, by one rule:
//   - only a value past a bound moves, onto the bound; a value inside keeps its bits and a
//     NaN stays NaN;
//   - the confined value is what the caller receives, never what a later step of the same
//     computation reads (the average of %K that forms %D averages the unconfined %K), so no
//     value inside its bound moves by so much as a bit (a line formed from lines the caller
//     is shown, as KDJ's J = 3K - 2D, is formed from what is shown);
//   - where the bound rests on the bars keeping to their own range (a close between its low
//     and high, a volume not below 0), the output is confined only while every term it is
//     formed from did (Premise): on bars that break it the definition itself leaves the
//     interval, and that value is the definition's, not rounding.
#include <cstddef>
#include <cstdint>
#include <limits>

#include "utils/pairs.hpp"

namespace vorn::utils::bounds {

struct Interval {
    double lo, hi;
};

inline constexpr Interval kPercent{0.0, 100.0};
inline constexpr Interval kSignedPercent{-100.0, 100.0};
inline constexpr Interval kUnit{-1.0, 1.0};
inline constexpr Interval kFraction{0.0, 1.0};
// No bound: confining to it leaves every value as it is.
inline constexpr Interval kAnything{-std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};

// max(lo, v) then min(hi, v), each giving v where its comparison fails (NaN, and -0.0 against a
// bound of 0.0). Taken in a vector register: for a scalar compared with a constant GCC emits a
// branch, which values that often sit on their bound (closes on their highs) mispredict; the
// pair's forms are two branch-free instructions (pairs::max, pairs::min).
[[gnu::always_inline]] inline pairs::Pair confine(pairs::Pair v, Interval b) noexcept {
    return pairs::min(pairs::both(b.hi), pairs::max(pairs::both(b.lo), v));
}
[[gnu::always_inline]] inline double confine(double v, Interval b) noexcept { return confine(pairs::both(v), b)[0]; }

// confine for a value that cannot lie below b.lo (a ratio of values not below 0): only the
// upper bound is taken, which for a scalar is one branch-free minimum (GCC branches only on a
// maximum with 0.0), where confine would move the value into a pair and back.
[[gnu::always_inline]] inline double confine_not_below(double v, Interval b) noexcept { return b.hi < v ? b.hi : v; }

// confine over x[first, last), two values at a time: for a pass over a whole output once
// nothing reads it any more.
inline void confine_span(double* x, std::size_t first, std::size_t last, Interval b) noexcept {
    // max(lo, v) and min(hi, v) give v where the comparison fails, so NaN (and -0.0 against a
    // bound of 0.0) pass as they are, as in confine.
    // Four pairs a step: without three-operand instructions each pair costs two copies of the
    // bounds beside its four instructions, and the loop's own three are shared.
    const pairs::Pair lo = pairs::both(b.lo), hi = pairs::both(b.hi);
    std::size_t i = first;
    for (; i + 8 <= last; i += 8)
#pragma GCC unroll 4
        for (std::size_t k = i; k < i + 8; k += 2) pairs::store(x + k, pairs::min(hi, pairs::max(lo, pairs::load(x + k))));
    for (; i + 2 <= last; i += 2) pairs::store(x + i, pairs::min(hi, pairs::max(lo, pairs::load(x + i))));
    for (; i < last; ++i) x[i] = confine(x[i], b);
}

// Whether any of x[first, last) lies past a bound of b (NaN does not). Rounding carries an
// output past its bound only now and then, so a loop that forms it keeps to its old work and
// the output is looked over after, in two comparisons a pair; only one that strays pays for
// its premise and the pass that confines it.
inline bool strays(const double* x, std::size_t first, std::size_t last, Interval b) noexcept {
    // The least and the greatest value so far, begun at the bounds, in four pairs each so that
    // no chain of comparisons waits on its own last step; a NaN leaves them as they are
    // (pairs::min, pairs::max give the second operand then).
    using pairs::Pair, pairs::load, pairs::min, pairs::max;
    const Pair lo = pairs::both(b.lo), hi = pairs::both(b.hi);
    Pair l0 = lo, l1 = lo, l2 = lo, l3 = lo, g0 = hi, g1 = hi, g2 = hi, g3 = hi;
    std::size_t i = first;
    for (; i + 8 <= last; i += 8) {
        const Pair v0 = load(x + i), v1 = load(x + i + 2), v2 = load(x + i + 4), v3 = load(x + i + 6);
        l0 = min(v0, l0), l1 = min(v1, l1), l2 = min(v2, l2), l3 = min(v3, l3);
        g0 = max(v0, g0), g1 = max(v1, g1), g2 = max(v2, g2), g3 = max(v3, g3);
    }
    for (; i + 2 <= last; i += 2) l0 = min(load(x + i), l0), g0 = max(load(x + i), g0);
    // The four pairs meet in pairs of their own, which hold no NaN.
    bool any = pairs::any((min(min(l0, l1), min(l2, l3)) < lo) | (max(max(g0, g1), max(g2, g3)) > hi));
    for (; i < last; ++i) any |= (x[i] < b.lo) | (x[i] > b.hi);
    return any;
}

// The look of strays made while a loop forms an output, two values at a time, on values still
// in registers: for an output formed value by value, where a pass after would read it all
// again (two instructions a pair, beside a loop that waits on its own chain anyway).
class Watch {
public:
    explicit Watch(Interval b) noexcept : lo_(pairs::both(b.lo)), hi_(pairs::both(b.hi)), least_(lo_), most_(hi_) {}
    // Begun at the bounds; a NaN leaves them as they are (pairs::min, pairs::max give the
    // second operand then).
    [[gnu::always_inline]] void see(pairs::Pair v) noexcept {
        least_ = pairs::min(v, least_);
        most_ = pairs::max(v, most_);
    }
    // Whether a value seen lay past a bound.
    bool strayed() const noexcept { return pairs::any((least_ < lo_) | (most_ > hi_)); }

private:
    pairs::Pair lo_, hi_, least_, most_;
};

// Whether a term lies inside b; a NaN term counts as inside (it bounds nothing: the output it
// enters is NaN or skips it).
[[gnu::always_inline]] inline bool within(double v, Interval b) noexcept { return !(v < b.lo) & !(v > b.hi); }
// Both halves of v inside b (NaN counts as inside).
[[gnu::always_inline]] inline bool within(pairs::Pair v, Interval b) noexcept {
    // Each comparison read on its own: GCC rebuilds an or of two comparisons half by half.
    return !(pairs::any(v < pairs::both(b.lo)) | pairs::any(v > pairs::both(b.hi)));
}

// How many terms in a row, up to the latest, met the premise that bounds the outputs formed
// from them: an output whose window is the last `span` terms may be confined when held(span).
// Terms before the first count as meeting it. One counter serves windows of any length, so an
// output and an average of it ask the same one. (Averages that never forget a term, as
// Wilder's and the exponential ones, are confined up to the first term that broke it:
// confine_until_broken.)
class Premise {
public:
    [[gnu::always_inline]] void step(bool met) noexcept { run_ = met ? run_ + 1 : 0; }
    [[gnu::always_inline]] bool held(std::uint64_t span) const noexcept { return run_ >= span; }
    void reset() noexcept { run_ = kBefore; }

private:
    // Above any window a series or a stream can hold; 2^63 further steps cannot wrap it.
    static constexpr std::uint64_t kBefore = std::uint64_t{1} << 63;
    std::uint64_t run_ = kBefore;
};

// v confined to b when the premise held over its window, else as it is.
[[gnu::always_inline]] inline pairs::Pair confine_if(bool premise, pairs::Pair v, Interval b) noexcept {
    const long long held = -static_cast<long long>(premise);
    return pairs::select(pairs::Mask{held, held}, confine(v, b), v);
}
// Two values, each confined where its own premise held.
[[gnu::always_inline]] inline pairs::Pair confine_if(bool first, bool second, pairs::Pair v, Interval b) noexcept {
    return pairs::select(pairs::Mask{-static_cast<long long>(first), -static_cast<long long>(second)}, confine(v, b), v);
}
[[gnu::always_inline]] inline double confine_if(bool premise, double v, Interval b) noexcept {
    return confine_if(premise, pairs::both(v), b)[0];
}

// The pass over a whole output that strayed, where the bound rests on a premise: x[i] confined
// to b where met(j) held for the `span` terms j up to i. Outputs formed over windows of
// different lengths of the same terms take one pass each.
template <class Met>
void confine_where_held(double* x, std::size_t n, std::uint64_t span, Interval b, Met&& met) {
    Premise inside;
    for (std::size_t i = 0; i < n; ++i) {
        inside.step(met(i));
        x[i] = confine_if(inside.held(span), x[i], b);
    }
}

// The pass over whole outputs that strayed, where the bound rests on a premise that an average
// which never forgets a term (Wilder's, the exponential ones) carries from the first term
// that broke it to the end: each of `outputs` confined to b over [0, j), j the first index
// below n at which met(j) fails (n where none does). Returns j.
template <class Met, class... Outputs>
std::size_t confine_until_broken(std::size_t n, Interval b, Met&& met, Outputs*... outputs) {
    std::size_t j = 0;
    while (j < n && met(j)) ++j;
    (confine_span(outputs, 0, j, b), ...);
    return j;
}

}  // namespace vorn::utils::bounds
