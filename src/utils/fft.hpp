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

namespace vorn::utils {

class Fft {
public:
    // n: a power of two, at least 2.
    explicit Fft(std::size_t n) : n_(n), bits_(0), cos_(n), sin_(n), order_(n) {
        while ((std::size_t{1} << bits_) < n) ++bits_;
        // Stage with half-length h reads its twiddles e^{-2 pi i k / (2h)}, k < h, at [h + k]:
        // contiguous, so its butterflies run as a plain loop.
        for (std::size_t h = 1; h < n; h <<= 1)
            for (std::size_t k = 0; k < h; ++k) {
                const double a = std::numbers::pi * static_cast<double>(k) / static_cast<double>(h);
                cos_[h + k] = std::cos(a);
                sin_[h + k] = std::sin(a);
            }
        for (std::size_t i = 0; i < n; ++i) {
            std::size_t r = 0;
            for (std::size_t b = 0; b < bits_; ++b) r |= ((i >> b) & 1u) << (bits_ - 1 - b);
            order_[i] = r;
        }
    }

    std::size_t size() const noexcept { return n_; }
    std::size_t log2() const noexcept { return bits_; }

    // re + i im <- sum_t (re[t] + i im[t]) e^{-+2 pi i k t / N}: the forward transform, or the
    // inverse one unscaled (sign +).
    void transform(double* re, double* im, bool inverse) const noexcept {
        for (std::size_t i = 0; i < n_; ++i) {
            const std::size_t r = order_[i];
            if (r > i) {
                std::swap(re[i], re[r]);
                std::swap(im[i], im[r]);
            }
        }
        const double sign = inverse ? 1.0 : -1.0;
        for (std::size_t h = 1; h < n_; h <<= 1) {
            const double* wc = cos_.data() + h;
            const double* ws = sin_.data() + h;
            for (std::size_t s = 0; s < n_; s += 2 * h) {
                double* ar = re + s;
                double* ai = im + s;
                double* br = ar + h;
                double* bi = ai + h;
                for (std::size_t k = 0; k < h; ++k) {
                    const double c = wc[k], d = sign * ws[k];
                    const double tr = br[k] * c - bi[k] * d;
                    const double ti = br[k] * d + bi[k] * c;
                    br[k] = ar[k] - tr;
                    bi[k] = ai[k] - ti;
                    ar[k] = ar[k] + tr;
                    ai[k] = ai[k] + ti;
                }
            }
        }
    }

private:
    std::size_t n_, bits_;
    Scratch<double> cos_, sin_;
    Scratch<std::size_t> order_;
};

}  // namespace vorn::utils
