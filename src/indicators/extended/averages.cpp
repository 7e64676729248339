#include "indicators/extended/averages.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "indicators/extended/flow.hpp"
#include "utils/buffer.hpp"
#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/fft.hpp"
#include "utils/kahan.hpp"
#include "utils/ma.hpp"
#include "utils/pairs.hpp"
#include "utils/sliding.hpp"
#include "utils/stats.hpp"
#include "utils/window_blocks.hpp"
#include "utils/window_lanes.hpp"

namespace vorn::indicators::extended {

namespace blocks = utils::window_blocks;
namespace lanes = utils::lanes;
namespace pairs = utils::pairs;
using pairs::Pair;

using errors::validation::validate_series_and_periods;

namespace {

using utils::NaN;
using utils::kDivisionGuard;

// sum_k w[k] * win[k], a plain sum from the oldest bar.
double summed_afresh(const double* win, std::span<const double> w) noexcept {
    double acc = 0.0;
    for (std::size_t k = 0; k < w.size(); ++k) acc += w[k] * win[k];
    return acc;
}

// The plain sum of the weights in index order; unguarded, so weights that all underflow to 0
// divide to NaN.
double plain_total(const Series& w) {
    double sum = 0.0;
    for (const double x : w) sum += x;
    return sum;
}

void normalise(Series& w) {
    const double sum = plain_total(w);
    for (double& x : w) x /= sum;
}

// The weights, each twice, so that one load fills both halves of a pair.
struct Doubled {
    explicit Doubled(std::span<const double> w) : wide(2 * w.size()) {
        for (std::size_t k = 0; k < w.size(); ++k) wide[2 * k] = wide[2 * k + 1] = w[k];
    }
    utils::Scratch<double> wide;
};

// dst[i] = sum_k w[k] * x[i - p + 1 + k] for first <= i < x.size(), a plain sum from the
// oldest bar, eight windows side by side where they fit (utils::window_blocks), with the
// weights Doubled in wide.
void weighted_windows(std::span<const double> x, std::span<const double> w, const double* wide, std::size_t first,
                      double* dst) {
    const std::size_t n = x.size(), p = w.size();
    std::size_t i = first;
    if (i + blocks::kWindows <= n)
        i = blocks::sum_by_eights<"weighted_windows">(
            first, n, p,
            [&](std::size_t k, std::size_t j) { return pairs::load(wide + 2 * k) * pairs::load(x.data() + j); },
            [&](std::size_t at, const std::array<Pair, blocks::kPairs>& acc) {
                for (std::size_t q = 0; q < blocks::kPairs; ++q) pairs::store(dst + at + 2 * q, acc[q]);
            });
    for (; i < n; ++i) dst[i] = summed_afresh(x.data() + (i + 1 - p), w);
}

void weighted_windows(std::span<const double> x, std::span<const double> w, std::size_t first, double* dst) {
    const Doubled doubled(w);
    weighted_windows(x, w, doubled.wide.data(), first, dst);
}

Series weighted_windows(std::span<const double> x, const Series& w, std::size_t first) {
    Series out(x.size(), NaN);
    weighted_windows(x, w, first, out.data());
    return out;
}

// Up to this period every window is summed afresh: as fast as a slide there, and these
// periods keep the bits of the plain sum from the oldest bar.
constexpr std::size_t kSummedUpTo = 64;

// A slid sum's rounding grows with what it has passed through since it was last summed
// afresh: H, the heaviest window weight (sum of |x|) since then plus p |L| (L the level it is
// taken from, below). So it is summed afresh once the window's own weight falls below H by
// this factor (a bad print leaving, a level dropping, a window emptying to zeros), as well as
// every p slides.
constexpr double kFallen = 16.0;
// Windows heavier than this are summed from their weights (their slid sums could overflow).
constexpr double kRoom = std::numeric_limits<double>::max() / 8;

// The windows ending at first, first + 1, ... of L + sum_k raw[k] (x[i - p + 1 + k] - L) / total,
// where the weighted sum slides in O(1) a bar by `Slid` (below) and is summed afresh every p
// slides and after a fall of the window's weight: O(n) whatever the period, and O(p) a slide
// at worst, on windows whose weight falls kFallen-fold again and again. L is the mean of the
// window last summed afresh, so that the slid sums hold deviations from it, not the price's
// level (the weights' plain sum is total, so L's share of the average is L itself, within
// 2^-53 (p + 1) |L| <= 2^-52 W of what the normalised weights give it); p |L| never exceeds
// that window's weight. The rounding a slide leaves is bounded by the slides
// since the last afresh sum (at most p) times H (at most kFallen times this window's
// weight); each scheme states its bound. Windows read by sliding::TermCount's rules: zeros
// only read 0, and a window with no negative value never reads below 0. A window whose weight
// is beyond kRoom (values near the largest float) is the plain sum of its normalised weights
// from the oldest bar, as a short period's.
template <class Slid>
Series slid_windows(std::span<const double> x, const Series& w, std::size_t first, double total, Slid& slid) {
    const std::size_t n = x.size(), p = w.size();
    utils::fast_path::taken<"slid_windows">();
    Series out(n, NaN);
    utils::sliding::TermCount terms;
    for (std::size_t k = first + 1 - p; k <= first; ++k) terms.enter(x[k]);
    double weight = 0.0, heaviest = 0.0, level = 0.0, levels = 0.0;
    std::size_t since = 0;
    auto afresh = [&](const double* win) {
        weight = 0.0;
        double sum = 0.0;
        for (std::size_t k = 0; k < p; ++k) {
            sum += win[k];
            weight += std::fabs(win[k]);
        }
        level = sum / static_cast<double>(p);
        levels = static_cast<double>(p) * std::fabs(level);
        heaviest = weight, since = 0;
        if (weight <= kRoom) slid.afresh(win, level);
    };
    auto read = [&](const double* win) {
        return weight <= kRoom ? terms.read(level + slid.sum() / total) : summed_afresh(win, w);
    };
    afresh(x.data() + (first + 1 - p));
    out[first] = read(x.data() + (first + 1 - p));
    for (std::size_t i = first + 1; i < n; ++i) {
        const double* win = x.data() + (i + 1 - p);
        const double gone = win[-1], in = x[i];
        terms.leave(gone);
        terms.enter(in);
        weight = (weight - std::fabs(gone)) + std::fabs(in);
        heaviest = heaviest > weight ? heaviest : weight;
        if (++since < p && heaviest + levels <= kFallen * weight && weight <= kRoom) {
            slid.slide(win, level);
        } else {
            if (since < p) utils::fast_path::taken_rarely<"slid_afresh_after_fall">();
            afresh(win);
        }
        out[i] = read(win);
    }
    return out;
}

// A weighted average whose weighted sum slides (Slid, made from the raw weights) above
// kSummedUpTo, summed afresh per window up to it.
template <class Slid, class Raw>
Result<Series> sliding_weight(std::span<const double> values, std::uint64_t period, std::size_t first, Raw&& raw) {
    if (auto s = validate_series_and_periods({{values, "values"}}, {period}); !s) return fail(s.error());
    Series w(period);
    raw(w);
    const double total = plain_total(w);
    if (period <= kSummedUpTo || first >= values.size()) {
        for (double& x : w) x /= total;
        return weighted_windows(values, w, first);
    }
    Slid slid(w, w.size());
    for (double& x : w) x /= total;
    return slid_windows(values, w, first, total, slid);
}

// The sine-weighted sum slides by a rotation. With t = pi / (p + 1), the window's complex sum
// C = sum_k x[k] e^{i (k + 1) t} has the sine-weighted sum as its imaginary part, and moving
// the window one bar on (x[0] leaving, x[p] entering) is C' = e^{-i t} (C - x[p]) - x[0],
// since e^{i (p + 1) t} = -1. A slide rounds six times and its rotation is off the unit circle
// by an ulp, each time by at most an ulp of |C| or of a bar, and |C| is at most the window's
// weight W = sum |x|. Summed afresh every p slides from cosine and sine rows of the same
// arguments as the weights:
//   |out - sum_k w[k] x[k]| <= 2^-53 (p + 12K + 4) W_max / S + 2^-53 sum_k w[k] |x[k]|,
// K <= p slides since the last afresh sum, W_max <= kFallen W the heaviest window since then,
// S >= 2p / pi the weights' sum (the last term: the normalised weights' own rounding): under
// 2^-44 W, 2^-44 p times the window's mean magnitude. (The plain sum from the oldest bar has
// up to 2^-53 p (max_k w[k]) W, about 2^-52 W.)
class SineSlide {
public:
    SineSlide(const Series& raw, std::size_t p) : p_(p), cos_(p), sin_(p) {
        const double q = static_cast<double>(p_) + 1.0;
        // cos((p - j) t) = -cos((j + 1) t), as (p + 1) t = pi: half the row is taken from the
        // other half, as accurate.
        for (std::size_t j = 0; j < p_; ++j) {
            cos_[j] = j < (p_ + 1) / 2 ? std::cos((static_cast<double>(j + 1) * std::numbers::pi) / q) : -cos_[p_ - 1 - j];
            sin_[j] = raw[j];
        }
        const double half = std::sin(std::numbers::pi / q / 2.0);
        v_ = 2.0 * half * half, s_ = sin_[0];
    }
    // Of the window's bars less `level`, from its oldest bar win[0].
    void afresh(const double* win, double level) noexcept {
        re_ = 0.0, im_ = 0.0;
        for (std::size_t k = 0; k < p_; ++k) {
            const double y = win[k] - level;
            re_ += y * cos_[k];
            im_ += y * sin_[k];
        }
    }
    // win: the new window's oldest bar; win[-1] leaves, win[p - 1] enters.
    void slide(const double* win, double level) noexcept {
        const double t = re_ - (win[p_ - 1] - level);
        re_ = ((t - v_ * t) + s_ * im_) - (win[-1] - level);
        im_ = (im_ - v_ * im_) - s_ * t;
    }
    double sum() const noexcept { return im_; }

private:
    std::size_t p_;
    utils::Scratch<double> cos_, sin_;
    double v_ = 0.0, s_ = 0.0, re_ = 0.0, im_ = 0.0;
};

// Triangular weights 1, 2, ..., 2, 1 are two boxes in turn, of a = h + 1 and b = p - h bars
// (h = (p - 1) / 2 rounded down, a + b = p + 1). Sliding one bar on adds the sum of the newest
// b bars of the new window (F) and takes away that of the oldest b bars of the old one (G):
// each bar's weight steps up by one in the falling half and down by one in the rising half.
// The weights and their sum a b are integers, exact in floats. After K slides F and G each
// carry at most 2^-53 (b + 2K) W_max and the weighted sum N, which gathers K of them and
// rounds twice a slide (|N| <= a W):
//   |out - sum_k w[k] x[k]| <= 2^-53 (a p + 2K (a + b) + 2K (K + 1)) W_max / (a b) + 2^-53 |out|,
// under 2^-53 * 20 W_max for K <= p, so under 2^-44 W with W_max <= kFallen W.
class TriangleSlide {
public:
    TriangleSlide(const Series&, std::size_t p) : p_(p), h_((p - 1) / 2), b_(p - h_) {}
    void afresh(const double* win, double level) noexcept {
        n_ = 0.0, f_ = 0.0, g_ = 0.0;
        for (std::size_t k = 0; k < p_; ++k) n_ += static_cast<double>(k <= h_ ? k + 1 : p_ - k) * (win[k] - level);
        for (std::size_t k = 0; k < b_; ++k) g_ += win[k] - level;
        for (std::size_t k = p_ - b_; k < p_; ++k) f_ += win[k] - level;
    }
    void slide(const double* win, double level) noexcept {
        f_ = (f_ + (win[p_ - 1] - level)) - (win[p_ - 1 - b_] - level);
        n_ = (n_ + f_) - g_;
        g_ = (g_ + (win[b_ - 1] - level)) - (win[-1] - level);
    }
    double sum() const noexcept { return n_; }

private:
    std::size_t p_, h_, b_;
    double n_ = 0.0, f_ = 0.0, g_ = 0.0;
};

// The binomial weights C(p - 1, j) / 2^(p - 1) of a long window fall off like a Gaussian's
// of deviation sqrt(p) / 2 about the middle: beyond about 5.7 sqrt(p) bars from it, what is
// left on each side weighs at most 2^-84 of the whole. Those tails are dropped, so a window
// costs about 11.4 sqrt(p) terms instead of p, and is off the full weighted sum by at most
// 2^-83 times the largest |x| in the window besides its rounding: a bad print there moves it
// by that share of the print at most, and ordinary bars by far less than an ulp. Up to
// period 84 nothing is dropped (the outermost weight, 2^-(p - 1), is above 2^-84): those
// periods keep the plain sum over every weight, bit for bit.
struct BinomialBand {
    std::size_t lo = 0;  // the band's first weight
    Series w;            // the band's normalised weights
};

constexpr double kBinomialTail = 0x1p-84;
// Up to this period the weights are the rows of the triangle built in floats, O(p^2) once;
// above it the row is built outward from its middle, O(sqrt p).
constexpr std::size_t kTriangleUpTo = 1024;

BinomialBand binomial_band(std::size_t p) {
    BinomialBand band;
    if (p <= kTriangleUpTo) {
        // Row k of the binomial triangle scaled by 2^-k, built row by row in place. Halving
        // is exact, so the normalised weights are bit for bit those of the unscaled
        // triangle wherever its sum is finite (periods up to 1024).
        Series w(p);
        w[0] = 1.0;
        for (std::size_t k = 1; k < p; ++k) {
            w[k] = w[k - 1] * 0.5;
            for (std::size_t j = k - 1; j > 0; --j) w[j] = (w[j - 1] + w[j]) * 0.5;
            w[0] *= 0.5;
        }
        normalise(w);
        // The normalised tails, summed from each end while they stay within kBinomialTail.
        std::size_t lo = 0, hi = p;
        for (double tail = w[0]; lo + 1 < p && tail <= kBinomialTail; tail += w[lo]) ++lo;
        for (double tail = w[p - 1]; hi > lo + 1 && tail <= kBinomialTail; tail += w[hi - 1]) --hi;
        band.lo = lo;
        band.w.assign(w.begin() + static_cast<std::ptrdiff_t>(lo), w.begin() + static_cast<std::ptrdiff_t>(hi));
        return band;
    }
    // From the middle m = (p - 1) / 2 outward, each weight relative to the middle's:
    // C(p - 1, j - 1) = C(p - 1, j) j / (p - j), and the row is symmetric. Each step rounds
    // twice, so a weight d bars from the middle is within 2^-52 d of its ratio (the middle's
    // own value cancels in the normalising). Past bar j the ratios keep falling, so the tail
    // is at most u_j r / (1 - r), r = j / (p - j): the band stops where that is within
    // kBinomialTail of the half summed so far.
    const std::size_t m = (p - 1) / 2;
    Series half;  // half[d]: the weight of bars m - d and p - 1 - m + d
    double u = 1.0, sum = 1.0;
    half.push_back(u);
    for (std::size_t j = m; j > 0; --j) {
        const double r = static_cast<double>(j) / static_cast<double>(p - j);
        if (u * r / (1.0 - r) <= kBinomialTail * sum) break;
        u = u * static_cast<double>(j) / static_cast<double>(p - j);
        half.push_back(u);
        sum += u;
    }
    const std::size_t d = half.size() - 1;
    band.lo = m - d;
    const std::size_t hi = p - 1 - m + d + 1;  // one past the band's last weight
    band.w.resize(hi - band.lo);
    for (std::size_t k = 0; k <= d; ++k) band.w[k] = band.w[hi - band.lo - 1 - k] = half[d - k];
    normalise(band.w);
    return band;
}

// From this window length on, the fixed-weight windows (the binomial band, the Gaussian
// weights) are summed by transform; below it their direct sums cost no more, and keep the
// bits of the plain sum from the oldest bar.
constexpr std::size_t kTransformFrom = 128;
// A binomial window summed by transform is within this share of its largest |x| of its plain
// sum, or summed afresh.
constexpr double kTransformTolerance = 0x1p-36;

// Of three values, the one between the others.
double middle_of_three(double a, double b, double c) noexcept {
    const double lo = a < b ? a : b, hi = a < b ? b : a;
    return c < lo ? lo : (c > hi ? hi : c);
}

// dst[i] = sum_k w[k] x[i - b + 1 + k] for first <= i < n (b = |w|, first >= b - 1), for
// weights none of which is negative and which sum to 1 (so |w| <= 1 in the 2-norm), by
// overlap-save: segments of N >= 2b bars (a power of two: the least, as larger ones fall out
// of cache, but up to 4096 bars at least 8b, as a segment serves N - b + 1 windows), two at a
// time as the real and imaginary parts of one complex transform, each less a
// level of its own (the median of its first, middle and last bar; the level's share is
// level * sum_k w[k]), so that the transform's rounding is that of the bars' deviations, not
// of the price. By the transform's bound (utils::Fft),
// every window of the pair is within E = 64 log2(N) 2^-53 |z| of its convolution (|z| the
// 2-norm of both segments' deviations), plus 2^-50 |level| (its share's rounding) and 2^-500
// for what falls below the normal range. A window takes that value where E is within
// `tolerance` times its own largest |x|; else (a bad print in the segment but not in the
// window, a level that fell within the segment, values near the float limits) it is served
// again, so nothing outside a window's bars reaches it beyond that share of its own. A window
// with no negative bar never reads below 0, and a window of zeros reads 0 either way (E = 0
// and a zero transform, or summed). On ordinary bars every window is served at once.
//
// The windows a segment could not serve lie apart from the value that stopped them (a bad
// print, the level before a drop, or merely the other segment of the pair). A run of them
// long enough to pay for a transform is taken again, by segments of its own bars alone, with
// the same check; what that leaves, and shorter runs, are summed afresh from the oldest bar.
// So a bad print or a level drop costs a few transforms more; on hostile bars (values that
// fall by orders of magnitude from bar to bar, all through the series) a window may cost its
// direct sum, O(b), as it costs without the transform.
void transformed_windows(std::span<const double> x, std::span<const double> w, std::size_t first, double tolerance,
                         double* dst) {
    const std::size_t n = x.size(), b = w.size();
    std::size_t size = 2;
    while (size < 2 * b || (size < 8 * b && size < 4096)) size <<= 1;
    const utils::Fft fft(size);
    const std::size_t len = size - b + 1;  // windows a segment gives
    // The weights reversed, scaled by 1 / size (exact) for the unscaled inverse: entries b - 1
    // on of the circular convolution are the windows.
    utils::Scratch<double> hr(size), hi(size);
    for (std::size_t t = 0; t < size; ++t) hr[t] = t < b ? w[b - 1 - t] / static_cast<double>(size) : 0.0, hi[t] = 0.0;
    fft.forward(hr.data(), hi.data());
    // The level's share takes the weights' sum compensated: within 2^-52 of it (a plain sum
    // of b weights could be b ulps off, all of them the level's).
    utils::Kahan total;
    for (const double v : w) total.add(v);
    utils::Scratch<double> re(size), im(size);
    const double per_norm = 64.0 * static_cast<double>(fft.log2()) * 0x1p-53;
    auto fill = [&](double* to, std::size_t end, std::size_t stop, double& level) {
        // The segment of the windows ending at end, end + 1, ... before stop: bars end - b + 1
        // on, and none from stop on.
        const std::size_t s = end + 1 - b, last = (s + size < stop ? s + size : stop) - 1;
        level = middle_of_three(x[s], x[s + (last - s) / 2], x[last]);
        // Two bars at a time (size is even); bars past the segment are 0.
        const std::size_t inside = last + 1 - s;
        Pair energy{0.0, 0.0};
        const Pair lv = pairs::both(level);
        std::size_t t = 0;
        for (; t + 2 <= inside; t += 2) {
            const Pair y = pairs::load(x.data() + s + t) - lv;
            pairs::store(to + t, y);
            energy += y * y;
        }
        for (; t < size; ++t) {
            const double y = t < inside ? x[s + t] - level : 0.0;
            to[t] = y;
            energy[t & 1] += y * y;
        }
        return energy[0] + energy[1];
    };
    // Squares below 2^-1074 are lost, and the transform's own products may fall below the
    // normal range: 2^-500 stands for both, far above them (so windows of bars that small
    // are summed afresh).
    auto bound_of = [&](double energy) { return per_norm * std::sqrt(energy) + 0x1p-500; };
    auto convolve = [&] {
        fft.forward(re.data(), im.data());
        for (std::size_t k = 0; k < size; k += 2) {
            const Pair a = pairs::load(re.data() + k), b = pairs::load(im.data() + k);
            const Pair c = pairs::load(hr.data() + k), d = pairs::load(hi.data() + k);
            pairs::store(re.data() + k, a * c - b * d);
            pairs::store(im.data() + k, a * d + b * c);
        }
        fft.inverse(re.data(), im.data());
    };
    // The windows ending at end ... before stop that the segment serves; the others are left
    // NaN (a served window is finite, as its bars and weights are). A window is served where
    // one of its bars is large enough for E, which one scan finds: the latest such bar and the
    // latest negative one, each as its index + 1 (0 for none).
    auto emit = [&](const double* from, std::size_t end, std::size_t stop, double level, double bound) {
        const double err = bound + 0x1p-50 * std::fabs(level);
        std::size_t large = 0, negative = 0;
        auto see = [&](std::size_t k) {
            large = tolerance * std::fabs(x[k]) >= err ? k + 1 : large;
            negative = x[k] < 0.0 ? k + 1 : negative;
        };
        for (std::size_t k = end + 1 - b; k < end; ++k) see(k);
        for (std::size_t t = b - 1, j = end; t < size && j < stop; ++t, ++j) {
            see(j);
            double v = NaN;
            if (large > j + 1 - b) {
                v = level * total.sum + from[t];
                if (negative <= j + 1 - b && v < 0.0) v = 0.0;
            }
            dst[j] = v;
        }
    };
    const Doubled doubled(w);
    // A run shorter than this is summed afresh: about what one transform of N costs.
    const std::size_t run_from = 4 * fft.log2();
    auto serve_again = [&](std::size_t from, std::size_t to) {
        for (std::size_t j = from; j < to;) {
            if (!std::isnan(dst[j])) {
                ++j;
                continue;
            }
            std::size_t k = j;
            while (k < to && std::isnan(dst[k])) ++k;
            for (std::size_t a = j; a < k; a += len) {
                const std::size_t c = a + len < k ? a + len : k;
                if (c - a >= run_from) {
                    utils::fast_path::taken_rarely<"transform_run_again">();
                    double level = 0.0;
                    const double energy = fill(re.data(), a, c, level);
                    for (std::size_t t = 0; t < size; ++t) im[t] = 0.0;
                    convolve();
                    emit(re.data(), a, c, level, bound_of(energy));
                }
                // What is left, each run of it summed afresh as short windows are.
                for (std::size_t i = a; i < c;) {
                    std::size_t e = i;
                    while (e < c && std::isnan(dst[e])) {
                        utils::fast_path::taken_rarely<"transform_window_summed">();
                        ++e;
                    }
                    if (e > i) weighted_windows(x.first(e), w, doubled.wide.data(), i, dst);
                    i = e + 1;
                }
            }
            j = k;
        }
    };
    utils::fast_path::taken<"transformed_windows">();
    for (std::size_t j0 = first; j0 < n; j0 += 2 * len) {
        const std::size_t j1 = j0 + len;
        double la = 0.0, lb = 0.0, energy = fill(re.data(), j0, n, la);
        if (j1 < n) {
            energy += fill(im.data(), j1, n, lb);
        } else {
            for (std::size_t t = 0; t < size; ++t) im[t] = 0.0;
        }
        convolve();
        const double bound = bound_of(energy);
        emit(re.data(), j0, n, la, bound);
        if (j1 < n) emit(im.data(), j1, n, lb, bound);
        serve_again(j0, j1 + len < n ? j1 + len : n);
    }
}

}  // namespace

Result<Series> pwma(std::span<const double> values, std::uint64_t period) {
    if (auto v = validate_series_and_periods({{values, "values"}}, {period}); !v) return fail(v.error());
    const std::size_t n = values.size(), p = period;
    const BinomialBand band = binomial_band(p);
    // Window i's band is its bars i - p + 1 + lo ... i - p + hi: the windows of the band's
    // length ending hi - p bars before i.
    Series out(n, NaN);
    const std::size_t lag = p - band.lo - band.w.size(), end = band.lo + band.w.size() - 1;
    if (band.w.size() >= kTransformFrom)
        transformed_windows(values.first(n - lag), band.w, end, kTransformTolerance, out.data() + lag);
    else
        weighted_windows(values.first(n - lag), band.w, end, out.data() + lag);
    return out;
}

Result<Series> alma(std::span<const double> values, std::uint64_t period, double offset, double sigma) {
    if (auto v = validate_series_and_periods({{values, "values"}}, {period}); !v) return fail(v.error());
    Series w(period);
    const double p = static_cast<double>(period);
    const double m = offset * (p - 1.0);
    const double s = p / sigma;
    for (std::size_t i = 0; i < w.size(); ++i) {
        const double d = (static_cast<double>(i) - m) / s;
        w[i] = std::exp(-(d * d));
    }
    normalise(w);
    bool finite = true;
    for (const double v : w) finite = finite && std::isfinite(v);
    // Normalised, the weights are non-negative and sum to 1, as the transform asks; NaN
    // weights (a NaN offset or sigma, or every raw weight underflowing) are summed as they
    // are, to NaN.
    if (w.size() < kTransformFrom || !finite) return weighted_windows(values, w, period - 1);
    // A Gaussian window is as wide as its period, and so are the transform's segments, whose
    // rounding grows with their norm: a window is served within 64 times the worst rounding
    // of the plain sum it stands for (p 2^-53 of its largest |x|), and never looser than the
    // binomial windows' 2^-36, so that on prices that wander as far as their level in a few
    // periods the windows near their lows are still served.
    const double tolerance = std::max(kTransformTolerance, p * 0x1p-47);
    Series out(values.size(), NaN);
    transformed_windows(values, w, period - 1, tolerance, out.data());
    return out;
}

Result<Series> sinwma(std::span<const double> values, std::uint64_t period) {
    return sliding_weight<SineSlide>(values, period, period - 1, [&](Series& w) {
        const double q = static_cast<double>(period) + 1.0;
        for (std::size_t j = 0; j < w.size(); ++j)
            w[j] = std::sin((static_cast<double>(j + 1) * std::numbers::pi) / q);
    });
}

Result<Series> swma(std::span<const double> values, std::uint64_t period) {
    return sliding_weight<TriangleSlide>(values, period, period, [&](Series& w) {
        const std::uint64_t h = (period - 1) / 2;
        for (std::uint64_t j = 0; j < period; ++j) w[j] = static_cast<double>(j <= h ? j + 1 : period - j);
    });
}

Result<Series> vwma(std::span<const double> close, std::span<const double> volume, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}, {volume, "volume"}}, {period}); !s) return fail(s.error());
    const std::size_t n = close.size(), p = period;
    // The products are the same in every window that holds them, so they are taken once.
    utils::Scratch<double> traded(n);
    for (std::size_t i = 0; i < n; ++i) traded[i] = close[i] * volume[i];
    Series out(n, NaN);
    if (p > blocks::kAfreshUpTo) {
        // A long window's two sums slide side by side (utils::stats::RollingSumPair): a window
        // without volume reads exactly 0, and volumes none of which is negative never sum
        // below 0, so neither writes a value.
        utils::stats::RollingSumPair sums(std::span<const double>(traded.data(), n), volume, p);
        for (std::size_t i = p - 1; i < n; ++i) {
            const Pair s = sums.step(i);
            if (s[1] > 0.0) out[i] = s[0] / s[1];
        }
        return out;
    }
    // A short one is summed afresh from its oldest bar, eight side by side where they fit
    // (utils::window_blocks).
    std::size_t i = blocks::sum_by_eights<"vwma_windows">(
        p - 1, n, p,
        [&](std::size_t, std::size_t j) {
            return std::array<Pair, 2>{pairs::load(traded.data() + j), pairs::load(volume.data() + j)};
        },
        [&](std::size_t at, const blocks::Sums<2>& s) {
            for (std::size_t q = 0; q < blocks::kPairs; ++q)
                for (std::size_t h = 0; h < 2; ++h)
                    if (s[1][q][h] > 0.0) out[at + 2 * q + h] = s[0][q][h] / s[1][q][h];
        });
    for (; i < n; ++i) {
        double a = 0.0, v = 0.0;
        for (std::size_t k = i + 1 - p; k <= i; ++k) {
            a += traded[k];
            v += volume[k];
        }
        if (v > 0.0) out[i] = a / v;
    }
    return out;
}

Result<Series> vidya(std::span<const double> close, std::uint64_t period) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {period}); !s) return fail(s.error());
    Series out = utils::stats::stdev(close, period, utils::stats::NaNs::none);
    const double alpha = 2.0 / (static_cast<double>(period) + 1.0);
    double prev = close[period - 1];
    out[period - 1] = prev;
    for (std::size_t i = period; i < close.size(); ++i) {
        const double sd = out[i];
        if (std::isnan(sd) || std::fabs(close[i]) < kDivisionGuard) {
            prev = NaN;
        } else {
            const double k = alpha * std::fabs(sd / close[i]);
            prev = k * close[i] + (1.0 - k) * prev;
        }
        out[i] = prev;
    }
    return out;
}

Result<AlligatorSeries> alligator(std::span<const double> high, std::span<const double> low,
                                  std::uint64_t jaw_period, std::uint64_t teeth_period, std::uint64_t lips_period) {
    if (auto s = validate_series_and_periods({{high, "high"}, {low, "low"}}, {jaw_period, teeth_period, lips_period}); !s)
        return fail(s.error());
    const std::size_t n = high.size();
    Series median(n);
    for (std::size_t i = 0; i < n; ++i) median[i] = (high[i] + low[i]) * 0.5;
    // The shifts are fixed whatever the periods.
    auto line = [&](std::uint64_t period, std::uint64_t shift) -> Result<Series> {
        auto smoothed = utils::ma::rma(median, period);
        if (!smoothed) return fail(smoothed.error());
        return shift_forward(*smoothed, shift);
    };
    auto jaw = line(jaw_period, 8);
    if (!jaw) return fail(jaw.error());
    auto teeth = line(teeth_period, 5);
    if (!teeth) return fail(teeth.error());
    auto lips = line(lips_period, 3);
    if (!lips) return fail(lips.error());
    return AlligatorSeries{std::move(*jaw), std::move(*teeth), std::move(*lips)};
}

}  // namespace vorn::indicators::extended
