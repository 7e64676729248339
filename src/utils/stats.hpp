#pragma once
// Sliding-window statistics shared across indicator families. None of these validates or
// fails: a period outside the usable range gives a series that is NaN throughout, and an
// empty input gives an empty result. Callers validate first.
//
// Sums are compensated and, to bound drift, recomputed from scratch on a fixed schedule:
// the least-squares and correlation kernels after every 1000 incremental slides (slides
// 1001, 2002, ...), the rolling sum and standard deviation on slides 1000, 2000, ...
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>
#include <vector>

#include "errors/errors.hpp"
#include "utils/kahan.hpp"

namespace vorn::utils::stats {

struct RegressionSeries {
    Series slope, intercept, r_squared;
    auto as_tuple() const { return std::tie(slope, intercept, r_squared); }
};

// Monotonic-deque extrema, O(n). A window holding a NaN gives NaN. 1 <= period <= len.
Series rolling_max(std::span<const double> values, std::uint64_t period);
Series rolling_min(std::span<const double> values, std::uint64_t period);

// Compensated rolling sum; NaN elements are skipped (a window of NaN only sums to 0.0).
Series rolling_sum_kahan(std::span<const double> values, std::uint64_t period);

// Sample standard deviation (divisor period - 1); a window holding a NaN gives NaN.
// 2 <= period <= len.
Series stdev(std::span<const double> values, std::uint64_t period);

// Pearson correlation over the first min(len x, len y) elements; a window holding a NaN in
// either series, or a degenerate window, gives 0.0. 2 <= period <= m.
Series correlation(std::span<const double> x, std::span<const double> y, std::uint64_t period);

// Least-squares line over each window, abscissa 0 (oldest) .. period - 1. A window holding a
// NaN gives NaN. 2 <= period <= len (standard_error: 3 <= period).
Series linearreg_slope(std::span<const double> values, std::uint64_t period);
RegressionSeries linear_regression(std::span<const double> values, std::uint64_t period);
// The fitted line one bar past the window.
Series tsf(std::span<const double> values, std::uint64_t period);
// Standard deviation of the fit's residuals.
Series standard_error(std::span<const double> values, std::uint64_t period);

// Building blocks for statistics computed over the same sliding sums elsewhere.
namespace window {

// Recompute after every 1000 incremental slides: slides 1..1000 are incremental, 1001
// recomputes, 1002..2001 incremental, 2002 recomputes, ...
class EveryThousandSlides {
public:
    bool recompute_now() noexcept {
        if (slides_ > 999) {
            slides_ = 0;
            return true;
        }
        ++slides_;
        return false;
    }

private:
    std::uint64_t slides_ = 0;
};

// Monotonic queue of indices on a ring of `capacity` slots (allocated once): each index
// enters and leaves at most once, so a pass over n bars is O(n) whatever the window.
// `push(i, evicts)` first drops from the back every index whose value the newcomer makes
// useless, as judged by evicts(value_at_back, value_at_i).
class MonotonicQueue {
public:
    explicit MonotonicQueue(std::size_t capacity) : ring_(capacity ? capacity : 1) {}

    bool empty() const noexcept { return size_ == 0; }
    std::size_t front() const noexcept { return ring_[head_]; }

    // Drops the front when it is the index that has just left the window.
    void expire(std::size_t leaving) noexcept {
        if (size_ != 0 && ring_[head_] == leaving) {
            head_ = head_ + 1 == ring_.size() ? 0 : head_ + 1;
            --size_;
        }
    }

    template <class Evicts>
    void push(std::span<const double> values, std::size_t i, Evicts&& evicts) noexcept {
        while (size_ != 0 && evicts(values[ring_[wrap(head_ + size_ - 1)]], values[i])) --size_;
        ring_[wrap(head_ + size_)] = i;
        ++size_;
    }

private:
    std::size_t wrap(std::size_t k) const noexcept { return k >= ring_.size() ? k - ring_.size() : k; }
    std::vector<std::size_t> ring_;
    std::size_t head_ = 0, size_ = 0;
};

// N independent compensated sums over the window ending at each index i >= period - 1.
// contrib(i, c) fills c with index i's contributions (NaN taken as 0.0) and returns true
// when index i counts as NaN; emit(i, sums, nan_count) is called for every window.
// A slide subtracts the leaving contributions, then adds the entering ones.
// Requires 1 <= period <= n.
template <std::size_t N, class Contrib, class Emit>
void sliding_sums(std::size_t n, std::size_t period, Contrib&& contrib, Emit&& emit) {
    std::array<Kahan, N> sums{};
    std::array<double, N> c{};
    std::array<double, N> leave{};
    std::uint64_t nan_count = 0;
    auto fill = [&](std::size_t end) {
        for (auto& s : sums) s.reset();
        nan_count = 0;
        for (std::size_t k = end + 1 - period; k <= end; ++k) {
            if (contrib(k, c)) ++nan_count;
            for (std::size_t j = 0; j < N; ++j) sums[j].add(c[j]);
        }
    };
    fill(period - 1);
    emit(period - 1, sums, nan_count);
    EveryThousandSlides schedule;
    for (std::size_t i = period; i < n; ++i) {
        if (schedule.recompute_now()) {
            fill(i);
        } else {
            const bool nan_out = contrib(i - period, leave);
            const bool nan_in = contrib(i, c);
            if (nan_out && nan_count > 0) --nan_count;
            if (nan_in) ++nan_count;
            for (std::size_t j = 0; j < N; ++j) {
                sums[j].add(-leave[j]);
                sums[j].add(c[j]);
            }
        }
        emit(i, sums, nan_count);
    }
}

// Constants of the least-squares line over positions 0 .. p - 1.
struct LineConstants {
    double p, sx, sxx, mean_x;
    explicit LineConstants(std::uint64_t period) noexcept {
        p = static_cast<double>(period);
        const double q = (p - 1.0) * p;
        sx = 0.5 * q;
        sxx = (p + p - 1.0) * q / 6.0 - sx * sx / p;
        mean_x = sx / p;
    }
};

struct LineSums {
    double sy, sxy, syy;  // syy only when requested
    std::uint64_t nan_count;
};

// Sy = sum y_j, Sxy = sum j * y_j (and Syy = sum y_j^2) over each window, y_j with NaN taken
// as 0.0 and counted. Moving the window shifts every position down by one, which removes
// (Sy - leaving) from Sxy. emit(i, const LineSums&) for every window. 1 <= period <= n.
template <bool WithSyy, class Emit>
void least_squares_sums(std::span<const double> values, std::uint64_t period, Emit&& emit) {
    const std::size_t n = values.size();
    const std::size_t p = static_cast<std::size_t>(period);
    const double last_pos = static_cast<double>(period) - 1.0;
    Kahan sy, sxy, syy;
    std::uint64_t nan_count = 0;
    auto fill = [&](std::size_t end) {
        sy.reset(), sxy.reset(), syy.reset();
        nan_count = 0;
        const std::size_t start = end + 1 - p;
        for (std::size_t k = start; k <= end; ++k) {
            double y = values[k];
            if (std::isnan(y)) ++nan_count, y = 0.0;
            sy.add(y);
            sxy.add(static_cast<double>(k - start) * y);
            if constexpr (WithSyy) syy.add(y * y);
        }
    };
    auto sums = [&] { return LineSums{sy.sum, sxy.sum, syy.sum, nan_count}; };
    fill(p - 1);
    emit(p - 1, sums());
    EveryThousandSlides schedule;
    for (std::size_t i = p; i < n; ++i) {
        if (schedule.recompute_now()) {
            fill(i);
        } else {
            double o = values[i - p];
            double x = values[i];
            if (std::isnan(o)) {
                o = 0.0;
                if (nan_count > 0) --nan_count;
            }
            if (std::isnan(x)) ++nan_count, x = 0.0;
            sxy.add(-(sy.sum - o));
            sxy.add(last_pos * x);
            sy.add(-o);
            sy.add(x);
            if constexpr (WithSyy) {
                syy.add(-(o * o));
                syy.add(x * x);
            }
        }
        emit(i, sums());
    }
}

struct Line {
    double sxy_c, slope, intercept;
};

inline Line fit_line(const LineConstants& k, double sy, double sxy) noexcept {
    const double sxy_c = sxy - k.sx * sy / k.p;
    const double slope = sxy_c / k.sxx;
    const double intercept = sy / k.p - k.mean_x * slope;
    return {sxy_c, slope, intercept};
}

}  // namespace window
}  // namespace vorn::utils::stats
