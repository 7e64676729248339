#pragma once
// A complex discrete Fourier transform of a power-of-two length, radix 2, in place on split
// real and imaginary arrays: what a long fixed-weight window needs to sum all its windows in
// O(log p) a bar (a convolution by overlap-save).
//
// Its rounding, with twiddles each within an ulp of their value (taken from std::cos and
// std::sin one by one, never by a recurrence): the transform of z is within
// log2(N) * 8 * 2^-53 * |F z| of F z in the 2-norm, |F z| = sqrt(N) |z| (the classic bound for
// the radix-2 transform; 8 covers the twiddles' error, the butterflies' two roundings and the
// complex product's). Callers bound a convolution's error from it.
#include <cmath>
#include <cstddef>
#include <numbers>

#include "utils/buffer.hpp"
#include "utils/pairs.hpp"

namespace vorn::utils {

class Fft {
public:
    // n: a power of two, at least 2.
    explicit Fft(std::size_t n) : n_(n), bits_(0), cos_(n), sin_(n) {
        while ((std::size_t{1} << bits_) < n) ++bits_;
        // Stage with half-length h reads its twiddles e^{-2 pi i k / (2h)}, k < h, at [h + k]:
        // contiguous, so its butterflies run as a plain loop. The angle pi k / h rounds as
        // pi 2k / 2h does (scaling by 2 is exact), so each shorter stage takes every other
        // twiddle of the one above it, bit for bit what its own cos and sin would give: half
        // the calls, which are most of what a long transform costs to set up.
        const std::size_t top = n >> 1;
        for (std::size_t k = 0; k < top; ++k) {
            const double a = std::numbers::pi * static_cast<double>(k) / static_cast<double>(top);
            cos_[top + k] = std::cos(a);
            sin_[top + k] = std::sin(a);
        }
        for (std::size_t h = top >> 1; h >= 1; h >>= 1)
            for (std::size_t k = 0; k < h; ++k) cos_[h + k] = cos_[2 * h + 2 * k], sin_[h + k] = sin_[2 * h + 2 * k];
    }

    std::size_t size() const noexcept { return n_; }
    std::size_t log2() const noexcept { return bits_; }

    // The forward transform, re + i im <- sum_t (re[t] + i im[t]) e^{-2 pi i k t / N}, left in
    // bit-reversed order of k (decimation in frequency). A product of two such transforms,
    // entry by entry, goes back through inverse() with no reordering pass either way: both
    // passes stay sequential in memory.
    void forward(double* re, double* im) const noexcept {
        std::size_t h = n_ >> 1;
        for (; h >= 4; h >>= 2) stages_down(re, im, h);
        for (; h >= 1; h >>= 1) stage<true>(re, im, h);
    }

    // The inverse transform, unscaled, of a spectrum in bit-reversed order (as forward() leaves
    // it): re + i im <- sum_k (re[k] + i im[k]) e^{2 pi i k t / N}, in natural order of t
    // (decimation in time).
    void inverse(double* re, double* im) const noexcept {
        std::size_t h = 1;
        stage<false>(re, im, h);
        for (h = 2; 2 * h < n_; h <<= 2) stages_up(re, im, h);
        for (; h < n_; h <<= 1) stage<false>(re, im, h);
    }

private:
    // One butterfly on values or on pairs of lanes (the same operations in each lane as one at
    // a time), with c = cos t and s = sin t. Down: a <- a + b, b <- (a - b) e^{-i t}.
    // Up: b <- a - b e^{i t}, a <- a + b e^{i t}.
    template <bool kDown, class V>
    [[gnu::always_inline]] static void butterfly(V& ar, V& ai, V& br, V& bi, V c, V s) noexcept {
        if constexpr (kDown) {
            const V dr = ar - br, di = ai - bi;
            ar = ar + br;
            ai = ai + bi;
            br = dr * c + di * s;
            bi = di * c - dr * s;
        } else {
            const V tr = br * c - bi * s;
            const V ti = br * s + bi * c;
            br = ar - tr;
            bi = ai - ti;
            ar = ar + tr;
            ai = ai + ti;
        }
    }

    // The butterflies of the stage of half-length h: two at a time from h = 2 on.
    template <bool kDown>
    void stage(double* re, double* im, std::size_t h) const noexcept {
        const double* wc = cos_.data() + h;
        const double* ws = sin_.data() + h;
        if (h == 1) {
            for (std::size_t s = 0; s < n_; s += 2) butterfly<kDown>(re[s], im[s], re[s + 1], im[s + 1], wc[0], ws[0]);
            return;
        }
        using pairs::load, pairs::store;
        for (std::size_t s = 0; s < n_; s += 2 * h) {
            double *ar = re + s, *ai = im + s, *br = ar + h, *bi = ai + h;
            for (std::size_t k = 0; k < h; k += 2) {
                pairs::Pair a = load(ar + k), b = load(ai + k), c = load(br + k), d = load(bi + k);
                butterfly<kDown>(a, b, c, d, load(wc + k), load(ws + k));
                store(ar + k, a), store(ai + k, b), store(br + k, c), store(bi + k, d);
            }
        }
    }

    // Two stages in one pass over memory, each butterfly as a stage alone computes it: the
    // stages of half-lengths h and h / 2 going down, h and 2h going up (h >= 4, h >= 2).
    void stages_down(double* re, double* im, std::size_t h) const noexcept {
        using pairs::load, pairs::store, pairs::Pair;
        const std::size_t g = h / 2;
        const double *c1 = cos_.data() + h, *s1 = sin_.data() + h, *c2 = cos_.data() + g, *s2 = sin_.data() + g;
        for (std::size_t s = 0; s < n_; s += 2 * h)
            for (std::size_t k = s; k < s + g; k += 2) {
                const std::size_t j = k - s;
                Pair r0 = load(re + k), i0 = load(im + k), r1 = load(re + k + g), i1 = load(im + k + g);
                Pair r2 = load(re + k + h), i2 = load(im + k + h), r3 = load(re + k + h + g), i3 = load(im + k + h + g);
                butterfly<true>(r0, i0, r2, i2, load(c1 + j), load(s1 + j));
                butterfly<true>(r1, i1, r3, i3, load(c1 + j + g), load(s1 + j + g));
                const Pair c = load(c2 + j), d = load(s2 + j);
                butterfly<true>(r0, i0, r1, i1, c, d);
                butterfly<true>(r2, i2, r3, i3, c, d);
                store(re + k, r0), store(im + k, i0), store(re + k + g, r1), store(im + k + g, i1);
                store(re + k + h, r2), store(im + k + h, i2), store(re + k + h + g, r3), store(im + k + h + g, i3);
            }
    }
    void stages_up(double* re, double* im, std::size_t h) const noexcept {
        using pairs::load, pairs::store, pairs::Pair;
        const std::size_t u = 2 * h;
        const double *c1 = cos_.data() + h, *s1 = sin_.data() + h, *c2 = cos_.data() + u, *s2 = sin_.data() + u;
        for (std::size_t s = 0; s < n_; s += 4 * h)
            for (std::size_t k = s; k < s + h; k += 2) {
                const std::size_t j = k - s;
                Pair r0 = load(re + k), i0 = load(im + k), r1 = load(re + k + h), i1 = load(im + k + h);
                Pair r2 = load(re + k + u), i2 = load(im + k + u), r3 = load(re + k + u + h), i3 = load(im + k + u + h);
                const Pair c = load(c1 + j), d = load(s1 + j);
                butterfly<false>(r0, i0, r1, i1, c, d);
                butterfly<false>(r2, i2, r3, i3, c, d);
                butterfly<false>(r0, i0, r2, i2, load(c2 + j), load(s2 + j));
                butterfly<false>(r1, i1, r3, i3, load(c2 + j + h), load(s2 + j + h));
                store(re + k, r0), store(im + k, i0), store(re + k + h, r1), store(im + k + h, i1);
                store(re + k + u, r2), store(im + k + u, i2), store(re + k + u + h, r3), store(im + k + u + h, i3);
            }
    }

    std::size_t n_, bits_;
    Scratch<double> cos_, sin_;
};

}  // namespace vorn::utils
