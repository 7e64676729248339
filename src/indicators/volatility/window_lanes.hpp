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
#include "utils/kahan.hpp"

namespace vorn::indicators::lanes {

// Scratch of n trivial values from the recycled series buffers, left unwritten: a Series
// would clear it first, a pass of its own.
template <class T>
class Scratch {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    explicit Scratch(std::size_t n) : p_(static_cast<T*>(utils::acquire_buffer(n * sizeof(T)))) {}
    ~Scratch() { utils::release_buffer(p_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    T* data() noexcept { return p_; }
    T& operator[](std::size_t i) noexcept { return p_[i]; }

private:
    T* p_;
};

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

// The plan: each weight walked over bars [from, to) as its sliding state walks them,
// marking in flags[i - from] (bit s for weight s) the slides after which weight s asks for a
// rebuild. `from` is a stretch's first bar.
template <class Win>
void plan(const Win& win, utils::WindowWeight* weights, std::size_t p, std::size_t from, std::size_t to,
          unsigned char* flags) {
    constexpr std::size_t W = Win::kWeights;
    // Copies, settled inline: no call takes their address, so they can live in registers.
    utils::WindowWeight w[W];
#pragma GCC unroll 8
    for (std::size_t s = 0; s < W; ++s) w[s] = weights[s];
    auto refill = [&](std::size_t s, std::size_t end) {
        w[s].reset();
        for (std::size_t k = end + 1 - p; k <= end; ++k) w[s].add(win.magnitude(s, k));
    };
    std::size_t next = from;  // the next scheduled rebuild
    for (std::size_t i = from; i < to; ++i) {
        unsigned f = 0;
        if (i == next) [[unlikely]] {
            next += kStretch;
#pragma GCC unroll 8
            for (std::size_t s = 0; s < W; ++s) refill(s, i);
        } else {
#pragma GCC unroll 8
            for (std::size_t s = 0; s < W; ++s) {
                if (w[s].passes(win.magnitude(s, i - p), win.magnitude(s, i))) [[likely]] continue;
                if (!w[s].settle_inline()) continue;
                f |= 1u << s;
                refill(s, i);
            }
        }
        flags[i - from] = static_cast<unsigned char>(f);
    }
#pragma GCC unroll 8
    for (std::size_t s = 0; s < W; ++s) weights[s] = w[s];
}

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

// Every window ending at p - 1 .. n - 1 (1 <= p <= n), in lanes of 2 * G stretches.
template <std::size_t G, class Win>
[[nodiscard]] bool run(const Win& win, std::size_t n, std::size_t p) {
    constexpr std::size_t L = 2 * G;
    utils::WindowWeight weights[Win::kWeights];
    unsigned char flags[L * kStretch];
    std::size_t from = p - 1;
    // Groups of L whole stretches.
    while (n - from >= L * kStretch) {
        plan(win, weights, p, from, from + L * kStretch, flags);
        std::size_t start[L];
        const unsigned char* flag[L];
        for (std::size_t l = 0; l < L; ++l) start[l] = from + l * kStretch, flag[l] = flags + l * kStretch;
        if (!run_group<G>(win, start, flag, kStretch)) return false;
        from += L * kStretch;
    }
    // Two whole stretches at a time, then the last one, in both halves of one pair.
    while (n - from >= 2 * kStretch) {
        plan(win, weights, p, from, from + 2 * kStretch, flags);
        if (!run_group<1>(win, {from, from + kStretch}, {flags, flags + kStretch}, kStretch)) return false;
        from += 2 * kStretch;
    }
    while (from < n) {
        const std::size_t len = n - from < kStretch ? n - from : kStretch;
        plan(win, weights, p, from, from + len, flags);
        if (!run_group<1>(win, {from, from}, {flags, flags}, len)) return false;
        from += len;
    }
    return true;
}

}  // namespace vorn::indicators::lanes
