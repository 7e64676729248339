#pragma once
// Sliding windows computed in lanes, bit for bit as one window stepped bar by bar.
//
// A sliding state (a compensated sum, a running mean and deviation) is summed afresh from its
// window on the first window, on every 1000th slide after it, and whenever its
// utils::WindowWeight asks; after such a rebuild it depends on nothing but the bars. So the
// stretches between rebuilds are independent chains of dependent additions, and run side by
// side, one stretch per lane, instead of one after another.
//
// The weights decide the rebuilds, and they are sequential: their usual level is learnt over
// the whole series. They depend only on the bars and on the rebuilds themselves, except for
// one rule of the running state: a slide that leaves it non-finite (an overflowed sum) is
// rebuilt too. So the weights run first, one bar after another, and mark the rebuilds they
// ask for (the plan); the lanes then follow the plan. A lane whose state turns non-finite
// after a slide means the plan no longer holds: run() then returns false and the caller
// computes the whole series one window at a time instead. Only values near the largest
// double can do that.
//
// A lane group holds 2 * G stretches of the same length, two to a vector register; each half
// performs exactly the scalar steps, so each window's arithmetic is that of the scalar path.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "utils/buffer.hpp"
#include "utils/window_weight.hpp"

namespace vorn::utils::lanes {

using Pair = double __attribute__((vector_size(16)));
using Mask = long long __attribute__((vector_size(16)));

inline constexpr std::size_t kStretch = 1000;  // slides between scheduled rebuilds, plus the rebuild

inline Pair pair_at(const double* x, std::size_t i0, std::size_t i1) noexcept { return Pair{x[i0], x[i1]}; }

// Lanes whose value is finite: x - x is 0 exactly for finite x, NaN otherwise.
inline Mask finite(Pair x) noexcept { return (x - x) == Pair{0.0, 0.0}; }

inline Pair select(Mask m, Pair yes, Pair no) noexcept {
    return reinterpret_cast<Pair>((reinterpret_cast<Mask>(yes) & m) | (reinterpret_cast<Mask>(no) & ~m));
}

// Compensated sums (utils::Kahan::add, lane by lane) of S series over windows of `p` bars, as
// utils::stats::rolling_sum_kahan sums each of them: a slide adds the entering value, then
// the leaving one negated; a rebuild sums the window in index order and drops its
// compensation. The series must hold no NaN (that function skips NaN; these add them).
// Weights of |x|. emit(i0, i1, sums) receives each step's sums, bars i0 and i1 (equal when a
// stretch fills both halves).
template <std::size_t S, class Emit>
class KahanSums {
public:
    static constexpr std::size_t kWeights = S;

    KahanSums(const double* const (&x)[S], std::size_t p, Emit& emit) noexcept : p_(p), emit_(emit) {
        for (std::size_t s = 0; s < S; ++s) x_[s] = x[s];
    }

    struct State {
        Pair sum[S], comp[S];
    };

    double magnitude(std::size_t s, std::size_t i) const noexcept { return std::fabs(x_[s][i]); }

    // Sums `s` of the lanes in `lanes` summed afresh over the windows ending at i0 and i1.
    [[gnu::always_inline]] void rebuild(State& st, std::size_t s, std::size_t i0, std::size_t i1,
                                        Mask lanes) const noexcept {
        const double* x = x_[s];
        Pair sum{0.0, 0.0}, comp{0.0, 0.0};
        for (std::size_t k = p_; k-- > 0;) {
            const Pair y = pair_at(x, i0 - k, i1 - k) - comp;
            const Pair t = sum + y;
            comp = (t - sum) - y;
            sum = t;
        }
        st.sum[s] = select(lanes, sum, st.sum[s]);
        st.comp[s] = select(lanes, Pair{0.0, 0.0}, st.comp[s]);
    }

    // Every sum slides to the windows ending at i0 and i1; the lanes whose compensations all
    // stayed finite.
    [[gnu::always_inline]] Mask slide(State& st, std::size_t i0, std::size_t i1) const noexcept {
        Mask ok = ~Mask{0, 0};
#pragma GCC unroll 8
        for (std::size_t s = 0; s < S; ++s) {
            const double* x = x_[s];
            Pair sum = st.sum[s], comp = st.comp[s];
            const Pair v = pair_at(x, i0, i1), o = -pair_at(x, i0 - p_, i1 - p_);
            Pair y = v - comp;
            Pair t = sum + y;
            comp = (t - sum) - y;
            sum = t;
            y = o - comp;
            t = sum + y;
            comp = (t - sum) - y;
            sum = t;
            st.sum[s] = sum;
            st.comp[s] = comp;
            ok &= finite(comp);
        }
        return ok;
    }

    [[gnu::always_inline]] void emit(std::size_t i0, std::size_t i1, const State& st) const { emit_(i0, i1, st.sum); }

private:
    const double* x_[S];
    std::size_t p_;
    Emit& emit_;
};

// The plan: each weight walked over the bars as its sliding state walks them, marking the
// slides after which it asks for a rebuild (bit s for weight s). Bar by bar, so that the
// pass that writes the values can carry it along: a weight's additions are one chain of
// their own, which that pass's work overlaps.
template <class Win>
class Plan {
public:
    static constexpr std::size_t W = Win::kWeights;

    // Over bars p - 1 .. n - 1 (1 <= p <= n).
    Plan(const Win& win, std::size_t n, std::size_t p) : win_(win), p_(p), i_(p - 1), next_(p - 1), flags_(n - p + 1) {}

    // The next bar; every bar up to it must be written. The weights are settled inline: no
    // call takes their address, so they can live in registers.
    [[gnu::always_inline]] void step() noexcept {
        const std::size_t i = i_++;
        unsigned f = 0;
        if (i == next_) [[unlikely]] {
            next_ += kStretch;
#pragma GCC unroll 8
            for (std::size_t s = 0; s < W; ++s) refill(s, i);
        } else {
#pragma GCC unroll 8
            for (std::size_t s = 0; s < W; ++s) {
                if (w_[s].passes(win_.magnitude(s, i - p_), win_.magnitude(s, i))) [[likely]] continue;
                if (!w_[s].settle_inline()) continue;
                f |= 1u << s;
                refill(s, i);
            }
        }
        flags_[i + 1 - p_] = static_cast<unsigned char>(f);
    }

    // The flags of bar p - 1 + k at k, once every bar has been stepped.
    const unsigned char* flags() noexcept { return flags_.data(); }

private:
    [[gnu::always_inline]] void refill(std::size_t s, std::size_t end) noexcept {
        w_[s].reset();
        for (std::size_t k = end + 1 - p_; k <= end; ++k) w_[s].add(win_.magnitude(s, k));
    }

    const Win& win_;
    std::size_t p_, i_, next_;
    utils::WindowWeight w_[W];
    Scratch<unsigned char> flags_;
};

// G pairs of lanes over stretches of `len` bars starting at start[l] (a rebuild), following
// the flags at flag[l]. False when a state turned non-finite after a slide.
template <std::size_t G, class Win>
[[gnu::always_inline]] inline bool run_group(const Win& win, const std::size_t (&start)[2 * G],
                                             const unsigned char* const (&flag)[2 * G], std::size_t len) {
    constexpr std::size_t W = Win::kWeights;
    const Mask all = ~Mask{0, 0};
    typename Win::State st[G];
#pragma GCC unroll 8
    for (std::size_t g = 0; g < G; ++g) {
        const std::size_t i0 = start[2 * g], i1 = start[2 * g + 1];
        for (std::size_t s = 0; s < W; ++s) win.rebuild(st[g], s, i0, i1, all);
        win.emit(i0, i1, st[g]);
    }
    Mask ok = all;
    for (std::size_t t = 1; t < len; ++t) {
#pragma GCC unroll 8
        for (std::size_t g = 0; g < G; ++g) {
            const std::size_t i0 = start[2 * g] + t, i1 = start[2 * g + 1] + t;
            ok &= win.slide(st[g], i0, i1);
            const unsigned f0 = flag[2 * g][t], f1 = flag[2 * g + 1][t];
            if (f0 | f1) [[unlikely]] {
                for (std::size_t s = 0; s < W; ++s) {
                    const Mask lanes{-static_cast<long long>((f0 >> s) & 1u), -static_cast<long long>((f1 >> s) & 1u)};
                    if ((f0 | f1) >> s & 1u) win.rebuild(st[g], s, i0, i1, lanes);
                }
            }
            win.emit(i0, i1, st[g]);
        }
    }
    return (ok[0] & ok[1]) != 0;
}

// Every window ending at p - 1 .. n - 1 (1 <= p <= n), in lanes of 2 * G stretches,
// following a finished plan's flags.
template <std::size_t G, class Win>
[[nodiscard]] bool run(const Win& win, std::size_t n, std::size_t p, const unsigned char* flags) {
    constexpr std::size_t L = 2 * G;
    const std::size_t first = p - 1;
    std::size_t from = first;
    auto flag = [&](std::size_t bar) { return flags + (bar - first); };
    // Groups of L whole stretches.
    for (; n - from >= L * kStretch; from += L * kStretch) {
        std::size_t start[L];
        const unsigned char* at[L];
        for (std::size_t l = 0; l < L; ++l) start[l] = from + l * kStretch, at[l] = flag(start[l]);
        if (!run_group<G>(win, start, at, kStretch)) return false;
    }
    // Two whole stretches at a time, then the last one, in both halves of one pair.
    for (; n - from >= 2 * kStretch; from += 2 * kStretch)
        if (!run_group<1>(win, {from, from + kStretch}, {flag(from), flag(from + kStretch)}, kStretch)) return false;
    for (std::size_t len; from < n; from += len) {
        len = n - from < kStretch ? n - from : kStretch;
        if (!run_group<1>(win, {from, from}, {flag(from), flag(from)}, len)) return false;
    }
    return true;
}

// The same for a caller whose values are all written: the plan first, then the lanes.
template <std::size_t G, class Win>
[[nodiscard]] bool run(const Win& win, std::size_t n, std::size_t p) {
    Plan<Win> plan(win, n, p);
    for (std::size_t i = p - 1; i < n; ++i) plan.step();
    return run<G>(win, n, p, plan.flags());
}

}  // namespace vorn::utils::lanes
