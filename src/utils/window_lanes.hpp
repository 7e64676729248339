#pragma once
// Sliding windows computed in lanes, bit for bit as one window stepped bar by bar.
//
// A sliding state (a compensated sum) is
// summed afresh from its window on the first window, on its schedule after it
// (utils::sliding::OnEveryThousandth, or the window's own Schedule), and
// whenever its utils::WindowWeight asks; after such a rebuild it depends on nothing but the bars. So the
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
// double can do that. Where a glance at the magnitudes shows that no weight can ask for a
// rebuild (most price series), the plan is not walked at all.
//
// A lane group holds 2 * G stretches of the same length, two to a vector register; each half
// performs exactly the scalar steps, so each window's arithmetic is that of the scalar path.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <type_traits>

#include "utils/buffer.hpp"
#include "utils/fast_path.hpp"
#include "utils/pairs.hpp"
#include "utils/series.hpp"
#include "utils/sliding.hpp"
#include "utils/window_weight.hpp"

namespace vorn::utils::lanes {

using pairs::both;
using pairs::finite;
using pairs::Mask;
using pairs::Pair;
using pairs::root;
using pairs::select;

// A window's stretch, the windows from one scheduled rebuild to the next: that of its
// Win::Schedule where it declares one (a schedule that rebuilds after R slides, not on the
// R-th), else that of sliding::OnEveryThousandth; R grows with the period p
// (sliding::rebuild_every), so a stretch's rebuild is O(1) a window at any period.
template <class Win>
std::size_t stretch_of(std::size_t p) noexcept {
    if constexpr (requires { typename Win::Schedule; }) {
        return Win::Schedule::stretch(p);
    } else {
        return sliding::OnEveryThousandth::stretch(p);
    }
}

inline Pair pair_at(const double* x, std::size_t i0, std::size_t i1) noexcept { return Pair{x[i0], x[i1]}; }

// The reading rules of utils::sliding::TermCount for windows in lanes. A window whose bars'
// weights could ask for no rebuild (no_rebuild_asked) weighs at least `least` > 0 with no
// magnitude above 2^19 times it, so its sums' rounding (sliding::Residue: under 2^-50 (p +
// 2 rebuild_every(p)) times the largest magnitude) is far below its weight: each holds a nonzero
// term, and one without negative terms a sum above 0. Its sums read as they are. Otherwise
// the plan walks every bar with the weights: a window whose weight passed its slide needs no
// look either (utils::sliding::kWeightCovers); for the others it marks whether sum s's window
// holds no nonzero term (bit s) or no negative one (bit 4 + s), and emit reads by the marks.
struct Looks {
    static constexpr unsigned kNegative = 4;
    // Sum s of a lane as its window defines it, from the window's marks.
    [[gnu::always_inline]] static double read(double sum, unsigned marks, std::size_t s) noexcept {
        if ((marks >> s) & 1u) return 0.0;
        if (((marks >> (kNegative + s)) & 1u) && sum < 0.0) return 0.0;
        return sum;
    }
};

// Compensated sums (utils::Kahan::add, lane by lane) of S series over windows of `p` bars, as
// utils::stats::rolling_sum_kahan sums each of them: a slide adds the entering value, then
// the leaving one negated; a rebuild sums the window in index order and drops its
// compensation. The series must hold no NaN (that function skips NaN; these add them).
// Weights of |x|. emit(i0, i1, sums) receives each step's sums, bars i0 and i1 (equal when a
// stretch fills both halves). With FirstKeepsComp the first window's compensation is carried
// into its slides, as utils::ma::SmaWindow carries it. Each sum reads as its window defines
// it (zeros only give exactly 0; no negative term, never below 0: Looks), as those windows
// read.
template <std::size_t S, class Emit, bool FirstKeepsComp = false>
class KahanSums {
public:
    static constexpr std::size_t kWeights = S;
    static constexpr bool kLooks = true;
    static_assert(S <= Looks::kNegative);

    KahanSums(const double* const (&x)[S], std::size_t p, Emit& emit) noexcept : p_(p), emit_(emit) {
        for (std::size_t s = 0; s < S; ++s) x_[s] = x[s];
    }

    struct State {
        Pair sum[S], comp[S];
    };

    double magnitude(std::size_t s, std::size_t i) const noexcept { return std::fabs(x_[s][i]); }
    double term(std::size_t s, std::size_t i) const noexcept { return x_[s][i]; }

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
        if constexpr (FirstKeepsComp) {
            const Mask first{-static_cast<long long>(i0 + 1 == p_), -static_cast<long long>(i1 + 1 == p_)};
            comp = select(first, comp, Pair{0.0, 0.0});
        } else {
            comp = Pair{0.0, 0.0};
        }
        st.comp[s] = select(lanes, comp, st.comp[s]);
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
    // With the plan's marks of both windows (Looks).
    [[gnu::always_inline]] void emit(std::size_t i0, std::size_t i1, const State& st, unsigned m0, unsigned m1) const {
        if ((m0 | m1) == 0) [[likely]] return emit(i0, i1, st);
        Pair read[S];
        for (std::size_t s = 0; s < S; ++s)
            read[s] = Pair{Looks::read(st.sum[s][0], m0, s), Looks::read(st.sum[s][1], m1, s)};
        emit_(i0, i1, read);
    }

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

    static constexpr bool kLooks = requires { Win::kLooks; };
    static constexpr unsigned kLook = 0x80;  // the flag of a window that emit reads by its Looks marks
    static_assert(W < 8);

    // Over bars p - 1 .. n - 1 (1 <= p <= n).
    Plan(const Win& win, std::size_t n, std::size_t p)
        : win_(win), p_(p), i_(p - 1), next_(p - 1), stretch_(stretch_of<Win>(p)), flags_(n - p + 1),
          looks_(kLooks ? n - p + 1 : 0) {}

    // The next bar; every bar up to it must be written. The weights are settled inline: no
    // call takes their address, so they can live in registers. Long: windows longer than
    // sliding::kWeightCovers, every one of which is looked at (the caller picks it once).
    template <bool Long = false>
    [[gnu::always_inline]] void step() noexcept {
        const std::size_t i = i_++;
        unsigned f = 0, look = 0;
        if (i == next_) [[unlikely]] {
            next_ += stretch_;
#pragma GCC unroll 8
            for (std::size_t s = 0; s < W; ++s) refill(s, i);
            look = (1u << W) - 1;
        } else {
#pragma GCC unroll 8
            for (std::size_t s = 0; s < W; ++s) {
                if (w_[s].passes(win_.magnitude(s, i - p_), win_.magnitude(s, i))) [[likely]] {
                    // Squares of values below 2^-500 leave the range where the weight vouches.
                    if constexpr (requires { Win::kSquares; })
                        if (w_[s].high() < 0x1p-1000) [[unlikely]] look |= 1u << s;
                    continue;
                }
                // A slide refused only to teach the usual weight (one in 16), or while that is
                // unknown, is vouched for as a pass is: its window's weight still clears it.
                if (!w_[s].clears_window()) look |= 1u << s;
                if constexpr (requires { Win::kSquares; })
                    if (w_[s].high() < 0x1p-1000) look |= 1u << s;
                if (!w_[s].settle_inline(win_.magnitude(s, i), [this, s, i] {
                        for (std::size_t k = i + 1; k-- > i + 1 - p_;)
                            if (win_.magnitude(s, k) > 0.0) return true;
                        return false;
                    }))
                    continue;
                f |= 1u << s;
                refill(s, i);
                look |= 1u << s;
            }
        }
        if constexpr (kLooks) {
            // A slide that a weight vouches for needs no look at its sum (sliding::kWeightCovers);
            // the others, and every window longer than it covers, are marked.
            if constexpr (Long) look = (1u << W) - 1;
            if (look != 0) [[unlikely]] {
                const unsigned m = marks(i, look);
                looks_[i + 1 - p_] = static_cast<unsigned char>(m);
                f |= m != 0 ? kLook : 0u;
            }
        }
        flags_[i + 1 - p_] = static_cast<unsigned char>(f);
    }

    // The flags of bar p - 1 + k at k, once every bar has been stepped: bit s where sum s is
    // rebuilt, kLook where the window's Looks marks (at the same place in looks()) are read.
    const unsigned char* flags() noexcept { return flags_.data(); }
    const unsigned char* looks() noexcept { return looks_.data(); }

private:
    // The Looks marks of the sums in `which` over the window ending at i: bit s where it holds
    // no nonzero term, bit Looks::kNegative + s no negative one.
    [[gnu::always_inline]] unsigned marks(std::size_t i, unsigned which) noexcept {
        const std::size_t start = i + 1 - p_;
        unsigned m = 0;
        for (std::size_t s = 0; s < W; ++s) {
            if (!((which >> s) & 1u)) continue;
            if (!nonzero_[s].any(start, i, [&](std::size_t k) { return sliding::nonzero(win_.term(s, k)); }))
                m |= 1u << s;
            if (!negative_[s].any(start, i, [&](std::size_t k) { return win_.term(s, k) < 0.0; }))
                m |= 1u << (Looks::kNegative + s);
        }
        return m;
    }

    [[gnu::always_inline]] void refill(std::size_t s, std::size_t end) noexcept {
        w_[s].reset();
        for (std::size_t k = end + 1 - p_; k <= end; ++k) w_[s].add(win_.magnitude(s, k));
    }

    const Win& win_;
    std::size_t p_, i_, next_, stretch_;
    utils::WindowWeight w_[W];
    Scratch<unsigned char> flags_, looks_;
    sliding::LatestFound nonzero_[W], negative_[W];
};

// G pairs of lanes over stretches of `len` bars starting at start[l] (a rebuild), following
// the flags at flag[l], and where they say so the Looks marks at look[l]. False when a state
// turned non-finite after a slide.
template <std::size_t G, class Win>
[[gnu::always_inline]] inline bool run_group(const Win& win, const std::size_t (&start)[2 * G],
                                             const unsigned char* const (&flag)[2 * G],
                                             const unsigned char* const (&look)[2 * G], std::size_t len) {
    constexpr std::size_t W = Win::kWeights;
    constexpr unsigned kLook = Plan<Win>::kLook;
    const Mask all = ~Mask{0, 0};
    typename Win::State st[G];
    // A window the plan marked reads by its marks.
    auto emit_marked = [&](std::size_t g, std::size_t t, std::size_t i0, std::size_t i1, unsigned f0, unsigned f1) {
        if constexpr (Plan<Win>::kLooks) {
            if ((f0 | f1) & kLook) {
                win.emit(i0, i1, st[g], f0 & kLook ? look[2 * g][t] : 0u, f1 & kLook ? look[2 * g + 1][t] : 0u);
                return;
            }
        }
        win.emit(i0, i1, st[g]);
    };
#pragma GCC unroll 8
    for (std::size_t g = 0; g < G; ++g) {
        const std::size_t i0 = start[2 * g], i1 = start[2 * g + 1];
        for (std::size_t s = 0; s < W; ++s) win.rebuild(st[g], s, i0, i1, all);
        emit_marked(g, 0, i0, i1, flag[2 * g][0], flag[2 * g + 1][0]);
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
                emit_marked(g, t, i0, i1, f0, f1);
                continue;
            }
            win.emit(i0, i1, st[g]);
        }
    }
    return (ok[0] & ok[1]) != 0;
}

// Every window ending at p - 1 .. n - 1 (1 <= p <= n), in lanes of 2 * G stretches,
// following a finished plan's flags (and the Looks marks its flags point to).
template <std::size_t G, class Win>
[[nodiscard]] bool run(const Win& win, std::size_t n, std::size_t p, const unsigned char* flags,
                       const unsigned char* looks = nullptr) {
    constexpr std::size_t L = 2 * G;
    const std::size_t stretch = stretch_of<Win>(p);
    const std::size_t first = p - 1;
    std::size_t from = first;
    auto flag = [&](std::size_t bar) { return flags + (bar - first); };
    auto look = [&](std::size_t bar) { return looks != nullptr ? looks + (bar - first) : nullptr; };
    // Groups of L whole stretches.
    for (; n - from >= L * stretch; from += L * stretch) {
        std::size_t start[L];
        const unsigned char* at[L];
        const unsigned char* marks[L];
        for (std::size_t l = 0; l < L; ++l) start[l] = from + l * stretch, at[l] = flag(start[l]), marks[l] = look(start[l]);
        if (!run_group<G>(win, start, at, marks, stretch)) return false;
    }
    // Two whole stretches at a time, then the last one, in both halves of one pair.
    for (; n - from >= 2 * stretch; from += 2 * stretch)
        if (!run_group<1>(win, {from, from + stretch}, {flag(from), flag(from + stretch)},
                          {look(from), look(from + stretch)}, stretch))
            return false;
    for (std::size_t len; from < n; from += len) {
        len = n - from < stretch ? n - from : stretch;
        if (!run_group<1>(win, {from, from}, {flag(from), flag(from)}, {look(from), look(from)}, len)) return false;
    }
    return true;
}

// True when weight s cannot ask for a rebuild on a stretch whose windows hold bars [from, to)
// (see no_rebuild_asked): every window of p bars there weighs at least `least`, the largest
// magnitude is at most 2^19 times `least`, and sums of p of them stay far from overflowing.
// Every such window holds one run of q = (p + 1) / 2 bars starting at a multiple of q whole
// (the first such start is at most q - 1 bars into it, and 2q - 1 <= p), so the smallest run
// sum bounds its weight from below. Long windows (not `runs`, no_rebuild_asked) take the
// smallest magnitude for `least`: the error bound there needs the margin that p times it
// leaves.
template <class Win>
bool weights_stay_clear(const Win& win, std::size_t s, std::size_t from, std::size_t to, std::size_t p,
                        bool runs) noexcept {
    constexpr double kSpread = 0x1p19;  // 2^20 (utils::kOutweighs) with a factor 2 to spare
    static_assert(kSpread * 2.0 <= utils::kOutweighs);
    constexpr double inf = std::numeric_limits<double>::infinity();
    const std::size_t q = runs ? (p + 1) / 2 : 1;
    double lo[4] = {inf, inf, inf, inf}, hi[4] = {0.0, 0.0, 0.0, 0.0};
    bool nan = false;
    // Whole runs, four side by side: one sum or selection would wait on its own latency.
    const std::size_t first = (from + q - 1) / q * q;
    for (std::size_t j = first; j + 4 * q <= to; j += 4 * q) {
        double run[4] = {0.0, 0.0, 0.0, 0.0};
        for (std::size_t k = 0; k < q; ++k) {
#pragma GCC unroll 4
            for (std::size_t r = 0; r < 4; ++r) {
                const double m = win.magnitude(s, j + r * q + k);
                nan |= m != m;
                run[r] += m;
                hi[r] = m > hi[r] ? m : hi[r];
            }
        }
#pragma GCC unroll 4
        for (std::size_t r = 0; r < 4; ++r) lo[r] = run[r] < lo[r] ? run[r] : lo[r];
    }
    // The rest, runs that did not make a set of four among them; the bars outside whole runs
    // count for the largest only.
    const std::size_t sets = to >= first ? (to - first) / (4 * q) : 0;
    for (std::size_t j = first + sets * 4 * q; j + q <= to; j += q) {
        double run = 0.0;
        for (std::size_t k = 0; k < q; ++k) {
            const double m = win.magnitude(s, j + k);
            nan |= m != m;
            run += m;
            hi[0] = m > hi[0] ? m : hi[0];
        }
        lo[0] = run < lo[0] ? run : lo[0];
    }
    const std::size_t whole_end = to >= first ? first + (to - first) / q * q : first;
    for (std::size_t i = from; i < first && i < to; ++i) {
        const double m = win.magnitude(s, i);
        nan |= m != m;
        hi[0] = m > hi[0] ? m : hi[0];
    }
    for (std::size_t i = whole_end > from ? whole_end : from; i < to; ++i) {
        const double m = win.magnitude(s, i);
        nan |= m != m;
        hi[0] = m > hi[0] ? m : hi[0];
    }
    for (std::size_t j = 1; j < 4; ++j) {
        lo[0] = lo[j] < lo[0] ? lo[j] : lo[0];
        hi[0] = hi[j] > hi[0] ? hi[j] : hi[0];
    }
    // A run's sum in floating point is within q * 2^-53 of its own: 2^-30 covers that (a run
    // of one is its magnitude exactly).
    const double least = q > 1 ? lo[0] * (1.0 - 0x1p-30) : lo[0];
    return !nan && least > 0.0 && hi[0] <= kSpread * least &&
           hi[0] * 4.0 * static_cast<double>(p) <= std::numeric_limits<double>::max();
}

// True when no weight can ask for a rebuild on these bars, so that the plan would flag
// nothing. A weight is summed afresh at the start of each stretch (S windows), from the
// window ending there, and slides plainly (no compensation) to its end, so its sum stays
// within (p + 2 S + 100) * 2^-53 * W of the exact window weight, W the largest window weight
// of the stretch, at most p times the largest magnitude h. With h <= 2^19 * least
// (weights_stay_clear), that rounding is at most 1/32 of the least window weight: for runs,
// where (p + 2 S + 100) * p <= 2^29 (up to p = 8192 at least: S <= p + 1001); for the
// smallest magnitude m, whose windows weigh p * m at least, where p + 2 S + 100 <= 2^29. So
// no magnitude that passed through the stretch's windows outweighs 2^20 times the weight, and
// the stretch asks for no rebuild whatever the weight learnt before it.
template <class Win>
bool no_rebuild_asked(const Win& win, std::size_t n, std::size_t p) noexcept {
    const std::size_t stretch = stretch_of<Win>(p);
    const std::size_t drift = p + 2 * stretch + 100;
    if (drift > (std::size_t{1} << 29)) return false;
    const bool runs = drift * p <= (std::size_t{1} << 29);
    for (std::size_t s = 0; s < Win::kWeights; ++s) {
        // Windows longer than a stretch: the whole series at once, which covers every stretch.
        if (p > stretch) {
            if (!weights_stay_clear(win, s, 0, n, p, runs)) return false;
            continue;
        }
        for (std::size_t b = p - 1; b < n; b += stretch)
            if (!weights_stay_clear(win, s, b + 1 - p, b + stretch < n ? b + stretch : n, p, runs)) return false;
    }
    return true;
}

// The same for a caller whose values are all written: the plan first, then the lanes. Most
// series can be seen at a glance to ask for no rebuild; their plan is then not walked.
template <std::size_t G, class Win>
[[nodiscard]] bool run(const Win& win, std::size_t n, std::size_t p) {
    if (p == 1) return false;  // a window of one bar is summed afresh on every slide: no stretches
    bool done;
    if (no_rebuild_asked(win, n, p)) {
        Scratch<unsigned char> none(n - p + 1);
        std::memset(none.data(), 0, n - p + 1);
        done = run<G>(win, n, p, none.data());
    } else {
        Plan<Win> plan(win, n, p);
        if (Plan<Win>::kLooks && p > sliding::kWeightCovers) {
            for (std::size_t i = p - 1; i < n; ++i) plan.template step<true>();
        } else {
            for (std::size_t i = p - 1; i < n; ++i) plan.step();
        }
        done = run<G>(win, n, p, plan.flags(), plan.looks());
    }
    if (done) fast_path::taken<"lanes">();
    return done;
}

}  // namespace vorn::utils::lanes
