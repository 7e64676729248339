#pragma once
// A plain sliding window sum whose window has left the double range: how it keeps sliding in
// O(1) a bar until the window fits again, and when it goes back to its ordinary sums.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "utils/constants.hpp"
#include "utils/kahan.hpp"
#include "utils/window_weight.hpp"

namespace vorn::utils::sliding {

// A window sum that overflows (a sum, or the weight beside it, beyond the largest double)
// cannot slide: inf - inf is NaN, so every later slide would be NaN too. Summing the window
// afresh on every slide until it fits again costs p a bar, O(n p) over a series of values
// near the top of the range. Instead the window takes its sums over: BeyondRange keeps them
// as sums of the terms times 2^-600 (an exact scaling wherever the scaled term is not
// subnormal, and terms below 2^-474 are nothing beside a window that holds a value near
// 2^1024), sliding as the ordinary ones do, by the window's own arithmetic on the scaled
// terms; no sum or square of at most 2^170 scaled terms leaves the range. Beside them it keeps
// the window's measures: plain sliding sums of scaled magnitudes (|x|, or x * x beside sums
// weighted by squares), each with a limit past which the window's ordinary sums or weight
// could leave the range. A term that is itself not finite (a line derived from huge values,
// 2 x - y) counts as 0 in the sums and measures, and its window reads NaN while it holds it.
//
// While the window is taken over it reads its scaled sums scaled back: a sum beyond the range
// reads NaN (what an overflowed sum read when it was summed afresh), any other its value.
// Its measures are then at least an eighth of their limits (below, it goes back), and no
// magnitude that passed through its scaled sums since they were last summed afresh is more
// than 2^20 times a measure (utils::kOutweighs; a slide after which one is sums them afresh:
// their rounding, and the measures' own, would otherwise outlive the values that left). So
// the rounding its scaled sums carry (2^-50 (p + 2 kRebuildEvery) times the largest
// magnitude, sliding::Residue) is far below what the window holds: no window of zeros, and no
// rounding residue of values gone, ever reads from them.
//
// The window goes back to its ordinary sums with one rebuild from its terms (after it, the
// window reads as one that never overflowed), tried:
//   - when every measure is at most an eighth of its limit and it holds no non-finite term
//     (such a rebuild cannot overflow, so it always succeeds);
//   - when every measure is at most its limit, once p slides have passed since the last try
//     (the window at the edge of the range, where only the rebuild can tell);
//   - on the window's own rebuild schedule, which pays for itself.
// An ordinary window that overflows tries a rebuild first (as it always did) if p slides have
// passed since the last try, and is taken over otherwise, or when the rebuild overflows too.
//
// The bound. Taking over sums the window at scale, O(p); each try is a rebuild, O(p); every
// other slide is O(1). Tries of the second kind, and the ordinary window's, are p slides
// apart from the try before. Of two tries of the first kind, the later is more than p slides
// after the earlier: at the earlier the window's measures were at most limit/8; an overflow
// needs a measure of at least limit/2 over the window and its entering term, so terms that
// entered since carried 3/8 of the limit; at the later try the window weighs at most limit/8
// again, so terms that entered after the earlier try have left, and a term stays p slides.
// Every take-over follows an ordinary stretch, begun by a successful try, a scheduled
// rebuild, or the first window. A window taken over is summed afresh at scale when a
// magnitude outweighs its measure; as for utils::WindowWeight, the largest magnitude is then
// one the window holds, so the next needs a further fall by 2^20 below it (at most about 210
// in a row across the range of the squares of doubles) or a term entered since, which stays
// p slides. So over n slides there are O(n / p + n / kRebuildEvery) rebuilds and
// take-overs, O(n + n p / kRebuildEvery) in all: the order of the ordinary schedule's own
// rebuilds. Ordinary slides run none of this: they test, as before, only whether their sums
// and weight are still finite.
//
// Everything here is inlined into the window's loop, once per window: a call in the loop
// (even on a path that never runs) keeps every window's sums in memory on ordinary slides.
// Inlined, it holds registers the slides need; where that measured slower (the weighted
// means, the Hull average, the stochastics, the volume oscillator), the loop is split: its
// ordinary slides run on local copies of the sums, and a bar that needs more ends that loop
// and is finished out of line (ma::SmaWindow::slide, WmaWindow::run in ma.cpp).

// What happened to the window ending at i, as its rare path sees it.
enum class Event : unsigned char {
    none,        // nothing: read the ordinary sums
    rebuild,     // the ordinary sums are to be summed afresh (scheduled, or outweighed)
    overflowed,  // an ordinary slide left the sums or weight non-finite
    fresh,       // summed afresh (the first window, or a rebuild), they do not fit
    slid,        // a slide while taken over
    scheduled,   // the scheduled rebuild while taken over
    failed,      // the ordinary sums that advance() asked for do not fit
};

// Whether the window's ordinary sums were just summed afresh (and do not fit): such a window
// reads them as they came out, as every overflowed window did (NaN, or an infinity where
// only its last addition overflowed); the windows after it read the scaled sums.
constexpr bool afresh(Event e) noexcept { return e == Event::fresh || e == Event::failed; }

// What a window does after advance(): read its scaled sums, or try its ordinary ones (sum them
// afresh, then hand back Event::failed, or Event::fresh when not taken over, if they do not
// fit).
enum class Next : unsigned char { read, rebuild };

// The state of a window taken over, and the rules above.
template <std::size_t N, std::size_t M = N>
class BeyondRange {
public:
    static constexpr double kShrink = 0x1p-600, kGrow = 0x1p600;
    // The limit of a measure of |x| whose sums overflow past `bound` (the largest double, or
    // less for a sum weighted by positions), and of one of x * x (a weight of squares).
    static constexpr double abs_limit(double bound) noexcept { return bound * kShrink; }
    static constexpr double square_limit() noexcept { return std::numeric_limits<double>::max() * kShrink * kShrink; }

    // The period and the measures' limits are the window's to hand in, not kept here: kept,
    // they would be loop invariants that the compiler holds in registers through every
    // ordinary slide too.
    std::array<Kahan, N> sums{};  // of the terms times kShrink

    bool active() const noexcept { return active_; }
    static double scaled(double x) noexcept { return x * kShrink; }

    // Event e at the window of p bars ending at i (not none or rebuild). take() takes the
    // window over, summing it afresh at scale: begin(), then add() for every term from the
    // oldest on, the caller adding the scaled terms to the sums; slide() slides it by one bar
    // (leave(), add()).
    template <class Take, class Slide>
    [[gnu::always_inline]] Next advance(Event e, std::size_t i, std::size_t p, const std::array<double, M>& limits,
                                        Take&& take, Slide&& slide) noexcept {
        switch (e) {
            case Event::overflowed:
                // As an overflow always was: summed afresh at once, where that is paid for.
                if (!tried_ || i >= last_try_ + p) {
                    tried(i);
                    return Next::rebuild;
                }
                take();
                break;
            case Event::fresh:
                tried(i);
                take();
                return Next::read;
            case Event::slid:
                slide();
                // A magnitude that passed through the scaled sums and has left can outweigh
                // what the window still holds, as in an ordinary window (utils::WindowWeight):
                // they are summed afresh.
                if (outweighed()) take();
                break;
            case Event::scheduled:
                // Both afresh, paid for by the schedule: the scaled sums' rounding is bounded by
                // it too.
                take();
                return Next::rebuild;
            default:  // failed, while taken over
                return Next::read;
        }
        if (!should_try(i, p, limits)) return Next::read;
        tried(i);
        return Next::rebuild;
    }
    // The ordinary sums the window tried fit: it reads them again.
    void back() noexcept { active_ = false; }

    void begin() noexcept {
        active_ = true;
        sums = {};
        measures_ = {};
        highs_ = {};
        bad_ = false;
    }
    // The term at k (`finite`: whether its contributions are), with its scaled magnitudes (one
    // per measure): false when it is not finite, and then the caller adds 0.0 in its stead.
    bool add(std::size_t k, bool finite, const std::array<double, M>& magnitudes) noexcept {
        if (!finite) [[unlikely]] {
            bad_ = true, last_bad_ = k;
            return false;
        }
        for (std::size_t j = 0; j < M; ++j) {
            measures_[j] += magnitudes[j];
            highs_[j] = highs_[j] > magnitudes[j] ? highs_[j] : magnitudes[j];
        }
        return true;
    }
    // The leaving term and its scaled magnitudes.
    void leave(bool finite, const std::array<double, M>& magnitudes) noexcept {
        if (!finite) [[unlikely]] return;
        for (std::size_t j = 0; j < M; ++j) measures_[j] -= magnitudes[j];
    }

    // Sum j of the window of p bars ending at i, scaled back: NaN when it is beyond the range
    // or the window holds a non-finite term.
    double read(std::size_t j, std::size_t i, std::size_t p) const noexcept {
        const double s = sums[j].sum * kGrow;
        return std::isfinite(s) && !holds_bad(i, p) ? s : NaN;
    }

    // A window that restarts (after a gap) starts afresh.
    void reset() noexcept { active_ = false, tried_ = false, bad_ = false; }

private:
    void tried(std::size_t i) noexcept { last_try_ = i, tried_ = true; }
    bool holds_bad(std::size_t i, std::size_t p) const noexcept { return bad_ && last_bad_ + p > i; }
    bool outweighed() const noexcept {
        bool any = false;
        for (std::size_t j = 0; j < M; ++j) any |= highs_[j] > kOutweighs * measures_[j];
        return any;
    }
    bool should_try(std::size_t i, std::size_t p, const std::array<double, M>& limits) const noexcept {
        if (holds_bad(i, p)) return false;
        bool eighth = true, fits = true;
        for (std::size_t j = 0; j < M; ++j) {
            eighth &= measures_[j] <= limits[j] * 0.125;
            fits &= measures_[j] <= limits[j];
        }
        return eighth || (fits && i >= last_try_ + p);
    }

    std::array<double, M> measures_{};
    std::array<double, M> highs_{};  // the largest scaled magnitudes since the window was taken
    std::size_t last_try_ = 0, last_bad_ = 0;
    bool active_ = false, tried_ = false, bad_ = false;
};

// A plain compensated window sum weighed by |x| (the simple mean, the rolling sums, the
// streaming mean), taken over: a slide adds the entering term, then subtracts the leaving one,
// as their ordinary slides do. A caller whose NaN terms count as none hands them in as 0.0.
class PlainBeyond : public BeyondRange<1> {
public:
    // The event at the window of p bars ending at i, whose terms are term(k) (the leaving one,
    // i - p, asked for on a slide only).
    template <class Term>
    [[gnu::always_inline]] Next advance(Event e, std::size_t i, std::size_t p, Term&& term) noexcept {
        return BeyondRange<1>::advance(
            e, i, p, {abs_limit(std::numeric_limits<double>::max())},
            [&]() __attribute__((always_inline)) {
                begin();
                for (std::size_t k = i + 1 - p; k <= i; ++k) {
                    const double x = scaled(term(k));
                    if (add(k, std::isfinite(x), {std::fabs(x)})) sums[0].add(x);
                }
            },
            [&]() __attribute__((always_inline)) {
                const double v = scaled(term(i)), o = scaled(term(i - p));
                leave(std::isfinite(o), {std::fabs(o)});
                sums[0].add(add(i, std::isfinite(v), {std::fabs(v)}) ? v : 0.0);
                sums[0].add(std::isfinite(o) ? -o : 0.0);
            });
    }
    double read(std::size_t i, std::size_t p) const noexcept { return BeyondRange<1>::read(0, i, p); }
};

}  // namespace vorn::utils::sliding
