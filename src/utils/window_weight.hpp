#pragma once
// The outlier trigger every sliding sum carries beside it (utils::Kahan or a plain sum).
#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

#include "utils/constants.hpp"
#include "utils/fast_path.hpp"

namespace vorn::utils {

// A compensated sum that slides over a window keeps a rounding error of the order of 2^-52
// times the largest value that passed through it. Once such a value has left, that error
// can outweigh everything the window still holds (a single bad tick among ordinary prices),
// and it would stay until the next scheduled rebuild. So each sliding window keeps its
// weight beside its sums: the plain running sum of the magnitudes it holds (|x| beside
// sums of values, x * x beside sums of squares and products). Its terms are never negative,
// so it has no cancellation to lose precision to. When the largest magnitude that entered
// since the window was last summed afresh is more than kOutweighs times what stays, or the
// weight is no longer finite, the window's sums (and the weight) are rebuilt from the window
// at once. Comparing the largest one, not the one leaving, also catches a huge value whose
// traces fade out over several bars (a weighted mean of it, a mean of that mean).
//
// "What stays" is the window's own weight wherever the window still holds a nonzero term,
// however small (a small trade after a run of large ones; the bars after several bad prints,
// in the first window too): the rounding left behind would be most of what such a window
// reads. Where it may hold nothing but zeros, it is the larger of the window's weight and the
// weight it usually has. A window of zeros reads exactly 0 whatever its sums' rounding
// (utils::sliding), so an ordinary value having left it (a drawdown at a new high, a
// stochastic at its low, a flat price's returns, a mean of those) is no outlier, and its sums
// keep the rounding they have always had. The window surely holds a nonzero term where the
// entering one is not zero; otherwise the caller looks (holds_nonzero), once for a run of
// zeros entering a window of zeros (a slide that passes ends the run). The usual weight is a
// slow average of the window's weights that passes over the windows far above it (an outlier
// inside, or its traces) or far below it (zeros, noise), so a bad tick cannot teach it; a new
// level is adopted once it has lasted about a thousand bars and two windows. It starts from
// the first window without its largest term.
//
// Ordinary data never comes near the ratio: every ordinary slide keeps exactly the
// arithmetic it had, and adds only the weight's own update and one test (passes()); the
// teaching windows and the judging against the usual weight run apart from it (settle()).
// A rebuild costs one pass over the window. After a rebuild the largest magnitude is one the
// window holds, so the next rebuild needs a further fall by kOutweighs below it.
inline constexpr double kOutweighs = 1048576.0;  // 2^20

class WindowWeight {
public:
    double sum = 0.0;  // the magnitudes in the window

    void add(double magnitude) noexcept {
        sum += magnitude;
        high_ = high_ > magnitude ? high_ : magnitude;
        ++size_;
        rest_ = sum - high_;
    }
    // Before the window is summed afresh: the usual weight stays.
    void reset() noexcept { sum = 0.0, high_ = 0.0, size_ = 0, rest_ = 0.0, zeros_ = false; }
    // The largest magnitude added or entered since the last reset: what bounds the rounding a
    // sum summed afresh on that reset still carries (utils::sliding::Residue).
    double high() const noexcept { return high_; }

    // `out` leaves the window and `in` enters it, in two steps. passes() is all that an
    // ordinary slide runs, and true when the slide needs nothing more. When it is false,
    // settle(in, holds_nonzero) finishes the slide: true when the window's sums should be
    // rebuilt, as a magnitude that passed through them outweighs what stays (above), or the
    // weight overflowed (values near the largest float; the rebuild then repeats until they
    // have left). holds_nonzero() says whether the window holds a nonzero term (NaN counts as
    // none); it is asked only where the weight alone cannot answer. Callers write it in the
    // call to settle, so that it is made only on that rare path.
    [[nodiscard]] bool passes(double out, double in) noexcept {
        sum = (sum - out) + in;
        high_ = high_ > in ? high_ : in;
        // The window's own weight clears every ordinary slide, and 15 in 16 slides teach
        // nothing. While the usual weight is unknown, scale_ is NaN: no slide passes.
        return high_ <= scale_ * sum && sum <= std::numeric_limits<double>::max() && (++slides_ & 15) != 0;
    }

    // True when the largest magnitude since the last reset is at most kOutweighs times the
    // window's weight, which is what a pass vouches for (utils::sliding::kWeightCovers): a
    // slide that passes() refused only to teach the usual weight, or while it is unknown,
    // still has it.
    [[gnu::always_inline]] bool clears_window() const noexcept { return clears(sum); }

    // Out of line: where the caller's sums are locals, they stay in registers around it.
    // Callers hand holds_nonzero what it reads by value, so that nothing of theirs has its
    // address taken.
    template <class Holds>
    [[gnu::cold, gnu::noinline]] bool settle(double in, Holds&& holds_nonzero) noexcept {
        return settle_as<true>(in, holds_nonzero);
    }
    // For windows whose sums share an object with their weight: a call handed the weight's
    // address would keep the whole window in memory on the fast path too. Forced inline,
    // with what it calls, for the same reason.
    template <class Holds>
    [[gnu::always_inline]] bool settle_inline(double in, Holds&& holds_nonzero) noexcept {
        return settle_as<false>(in, holds_nonzero);
    }

private:
    // Test builds count the looks (utils/fast_path.hpp) where the settle is out of line. Inside
    // the loops that inline it, even one counted addition changed their code and measured 2-4%
    // slower (the stochastic kernels); their looks are the same code, uncounted.
    template <bool kCounted, class Holds>
    [[gnu::always_inline]] bool settle_as(double in, Holds& holds_nonzero) noexcept {
        const std::uint32_t seen = slides_;  // still zeros_at_ when no slide passed since the last settle
        bool spoilt = false;
        if (usual_ == 0.0) {
            // The window before this slide, without the largest magnitude seen since it was
            // last summed.
            if (rest_ > 0.0 && rest_ <= std::numeric_limits<double>::max()) usual_ = rest_;
            if (clears(sum)) {
                if ((++slides_ & 15) == 0) learn();
            } else {
                spoilt = judge();
            }
        } else if (clears(sum)) {
            learn();  // passes() counted this slide: a teaching one
        } else {
            spoilt = judge();
        }
        scale_ = usual_ == 0.0 ? NaN : kOutweighs;
        rest_ = sum - high_;
        return spoilt || outweighed_holding<kCounted>(in, seen, holds_nonzero);
    }

    static constexpr double kBand = 1024.0;        // weights within this factor of the usual teach it
    static constexpr double kLearn = 1.0 / 16;     // how far one teaching window moves the usual weight
    static constexpr std::uint64_t kAdopt = 64;    // teaching windows outside the band before a new level is taken
    static constexpr double kNoise = 0x1p-44;      // below this share of the usual weight: rounding noise

    // True when the window is outweighed by what passed through it and holds a nonzero term:
    // surely where the entering term is not zero; otherwise the window is looked at, once for
    // a run of slides that add only zeros to a window of zeros (zeros_). A settle may count a
    // slide of its own (a teaching one), so each settle that finds the window as it was
    // records the count it leaves: else the next slide would not recognise the run and look
    // again, on every other slide of it, each look as long as the window where the caller
    // scans it.
    template <bool kCounted, class Holds>
    [[gnu::always_inline]] bool outweighed_holding(double in, std::uint32_t seen, Holds& holds_nonzero) noexcept {
        if (clears(sum)) return zeros_ = false;
        if (in > 0.0) return true;
        if (!(zeros_ && zeros_at_ == seen)) {
            if constexpr (kCounted) fast_path::taken_rarely<"zero_window_looks">();
            if (holds_nonzero()) return true;
            zeros_ = true;
        }
        zeros_at_ = slides_;
        return false;
    }

    bool clears(double limit) const noexcept {
        return high_ <= kOutweighs * limit && sum <= std::numeric_limits<double>::max();
    }

    [[gnu::always_inline]] bool judge() noexcept {
        const bool spoilt = !clears(usual_);
        // A spoilt weight is rebuilt before it means anything.
        if (!spoilt && (++slides_ & 15) == 0) learn();
        return spoilt;
    }

    [[gnu::always_inline]] void learn() noexcept {
        if (usual_ == 0.0) [[unlikely]] return;  // still unknown: the next slide looks again
        if (sum > kBand * usual_) [[unlikely]] {  // an outlier inside, its traces, or a new level
            if (++apart_ > kAdopt + size_ / 8) usual_ = sum, apart_ = 0;
            return;
        }
        if (sum * kBand < usual_) [[unlikely]] {  // a level that fell; zeros and rounding noise teach nothing
            if (sum > usual_ * kNoise && ++apart_ > kAdopt + size_ / 8) usual_ = sum, apart_ = 0;
            return;
        }
        apart_ = 0;
        const double toward = sum < usual_ + usual_ ? sum : usual_ + usual_;
        usual_ += (toward - usual_) * kLearn;
    }

    double scale_ = NaN;        // kOutweighs once usual_ is known
    double high_ = 0.0;         // the largest magnitude added or entered since the last reset
    double usual_ = 0.0;        // 0 until known
    double rest_ = 0.0;         // sum - high_ as the last change left them: read while usual_ is unknown
    std::uint64_t size_ = 0;    // magnitudes added since the last reset: the window's length
    std::uint64_t apart_ = 0;   // consecutive teaching windows far from the usual weight
    std::uint32_t slides_ = 0;  // counts the slides to the next teaching window
    std::uint32_t zeros_at_ = 0;  // slides_ as the last settle that found only zeros left it
    bool zeros_ = false;          // the window holds only zeros, while slides_ is still zeros_at_
};

// Whether a window holds a nonzero value (NaN counts as none): WindowWeight's holds_nonzero
// for a window held in a series. From the newest back, where a nonzero term is likeliest.
inline bool any_nonzero(std::span<const double> window) noexcept {
    for (std::size_t k = window.size(); k-- > 0;)
        if (std::fabs(window[k]) > 0.0) return true;
    return false;
}

// The plain sum of `values`, first to last (no compensation), the window's weight summed
// afresh beside it (|x|). For the few windows that keep a plain running sum.
inline double plain_sum(std::span<const double> values, WindowWeight& weight) noexcept {
    weight.reset();
    double sum = 0.0;
    for (const double x : values) {
        sum += x;
        weight.add(std::fabs(x));
    }
    return sum;
}

}  // namespace vorn::utils
