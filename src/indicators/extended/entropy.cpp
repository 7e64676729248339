// Shannon entropy of each window's returns (declared in statistics.hpp).
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "indicators/extended/statistics.hpp"

namespace vorn::indicators::extended {

using errors::validation::validate_series_and_periods;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// Windows of up to this many returns are rewritten whole, without a branch on the data, and
// rebinned whole every bar; longer ones move only what moves and rebin only when an
// extreme changes.
constexpr std::size_t kShort = 16;

// A float bin position as an unsigned index the way a saturating cast makes it: negative
// and NaN give 0, values past the range the largest index.
std::uint64_t bin_index(double position) {
    if (!(position > 0.0)) return 0;
    if (position >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(position);
}

// Two doubles, 16-byte aligned (std::vector<__m128d> would drop the type's alignment attribute).
struct alignas(16) Pair {
    double lo, hi;
};

__m128d select(__m128d mask, __m128d a, __m128d b) noexcept {
    return _mm_or_pd(_mm_and_pd(mask, a), _mm_andnot_pd(mask, b));
}

// The kept returns of the sliding window in increasing order (a NaN is never kept), with
// -inf before them and two +inf after. Ties may sit in either order: equal returns share a bin.
//
// A short window is rewritten every bar into the next of a ring of buffers, so the last
// `keep` windows stay readable as they were. It is read again at once, so it is read and
// written in aligned pairs only: a load across two earlier stores would wait until they
// reached the cache.
class SortedWindow {
public:
    SortedWindow(std::size_t capacity, std::size_t keep)
        : stride_(capacity / 2 + 4), ring_(stride_ * (keep + 1), Pair{Inf, Inf}) {
        for (std::size_t b = 0; b <= keep; ++b) ring_[b * stride_].hi = -Inf;
        v_ = buffer(0);
    }

    std::size_t size() const noexcept { return m_; }
    // 16-byte aligned; the pair after the last return is readable (+inf where no return).
    const double* data() const noexcept { return v_; }

    // `out` (a kept return) leaves and `in` enters.
    void replace(double out, double in) noexcept {
        if (std::isnan(out) | std::isnan(in) | (m_ > kShort)) [[unlikely]] return change(out, in);
        rewrite(out, in);
    }

private:
    double* buffer(std::size_t b) noexcept { return &ring_[b * stride_ + 1].lo; }
    double* next() noexcept {
        next_ = next_ + 1 == ring_.size() / stride_ ? 0 : next_ + 1;
        return buffer(next_);
    }

    // The number of returns below x.
    std::size_t below(double x) const noexcept {
        return static_cast<std::size_t>(std::lower_bound(v_, v_ + m_, x) - v_);
    }

    // Longer windows, and the bars where the count of kept returns changes: the returns
    // between the places of the leaving and the entering one move by one, in place.
    void change(double out, double in) noexcept {
        if (m_ <= kShort || std::isnan(out) != std::isnan(in)) {
            // A window kept for later is left as it was.
            double* w = next();
            std::copy(v_ - 2, v_ + 2 * stride_ - 2, w - 2);
            v_ = w;
        }
        if (std::isnan(out)) {
            if (std::isnan(in)) return;
            const std::size_t j = below(in);
            std::copy_backward(v_ + j, v_ + m_, v_ + m_ + 1);  // the first +inf moves up
            v_[j] = in;
            v_[++m_ + 1] = Inf;
            return;
        }
        std::size_t j = below(out);
        if (std::isnan(in)) {
            std::copy(v_ + j + 1, v_ + m_, v_ + j);
            v_[--m_] = Inf;
            return;
        }
        const std::size_t to = below(in);
        if (to > j + 1) {
            std::copy(v_ + j + 1, v_ + to, v_ + j);
            j = to - 1;
        } else if (to < j) {
            std::copy_backward(v_ + to, v_ + j, v_ + j + 1);
            j = to;
        }
        v_[j] = in;
    }

    // Where the returns land depends on the data, so a branch on it would be mispredicted on
    // most bars: the window is rewritten whole, by selections. With the leaving return below
    // the entering one (up), the places from the leaving return's to the last below the
    // entering one take the next return, and the last of them takes the entering one;
    // otherwise the places from the first not below the entering return to the leaving
    // return's take the previous return, and the first of them the entering one. Of equal
    // leaving returns the first is taken; equal returns are interchangeable.
    void rewrite(double out, double in) noexcept {
        const __m128d up = out < in ? _mm_castsi128_pd(_mm_set1_epi64x(-1)) : _mm_setzero_pd();
        const __m128d x = _mm_set1_pd(in);
        const __m128d from = _mm_set1_pd(out < in ? out : in), until = _mm_set1_pd(out < in ? in : out);
        const __m128d* v = reinterpret_cast<const __m128d*>(v_);
        double* const target = next();
        __m128d* w = reinterpret_cast<__m128d*>(target);
        __m128d before = v[-1], here = v[0];
        // Through the pair that holds the second +inf after the returns.
        for (std::size_t q = 0; 2 * q <= m_ + 1; ++q) {
            const __m128d after = v[q + 1];
            const __m128d prev = _mm_shuffle_pd(before, here, 1), next = _mm_shuffle_pd(here, after, 1);
            const __m128d moved = select(up, next, prev);
            // up: out <= here and here < in; down: in <= here and prev < out.
            const __m128d shifts = _mm_and_pd(_mm_cmple_pd(from, here), _mm_cmplt_pd(select(up, here, prev), until));
            // up: the next is not below in; down: the previous is below in.
            const __m128d lands = _mm_xor_pd(_mm_cmplt_pd(moved, x), up);
            w[q] = select(shifts, select(lands, x, moved), here);
            before = here, here = after;
        }
        v_ = target;
    }

    std::size_t stride_;  // pairs per buffer: -inf, the returns, +inf, and what the last pairs read
    std::vector<Pair> ring_;
    double* v_;
    std::size_t next_ = 0;
    std::size_t m_ = 0;
};

// The bins of one window: floor((r - lo) / width) as an unsigned index, capped at the last
// bin, for returns r >= lo. A division per return would cost more than all the rest of its
// work, so the quotient is approached by the product t = (r - lo) * (bins / span), where
// width = span / bins. The width, the ratio bins / span, the product and the quotient each
// round once, by at most 2^-53 of themselves, so t and the quotient differ by less than
// 5 * 2^-53 * t. A t below 1/2 has a quotient below 1 (bin 0), and one above last + 1/2 a
// quotient above the last bin (the last bin): t is clamped into [1/2, last + 1/2], where the
// only integers are the inner bin edges 1 .. last. Where the integer nearest to t lies at
// least (last + 1) * 2^-50 >= 8 * 2^-53 * t away from it, no integer lies between t and the
// quotient: both have the floor of t, which is the bin. Only a return that close to an edge
// is divided. The nearest integer comes from adding and removing 2^52, exact below 2^51,
// and t minus it is then exact too (Sterbenz), so the test is exact. A product that
// underflows lies below 1/2, as its quotient does. With more than 2^50 bins the edges are
// taken to end at 2^50, and a larger t is divided.
class Scale {
public:
    Scale(double lo, double span, std::uint64_t last, double bins) noexcept
        : lo_(lo), width_(span / bins), inv_(bins / span), last_(last),
          ceiling_(last < kReach ? static_cast<double>(last) + 0.5 : 0x1p51),
          close_((last < kReach ? static_cast<double>(last) + 1.0 : 0x1p50 + 1.0) * 0x1p-50),
          // A span that overflowed has an infinite width: every return is divided.
          divide_(!std::isfinite(width_)) {}

    std::uint64_t bin(double r) const noexcept {
        double t = (r - lo_) * inv_;
        if (divide_ | (t > 0x1p50)) [[unlikely]] return divided(r);
        t = t < 0.5 ? 0.5 : (t > ceiling_ ? ceiling_ : t);
        const double nearest = (t + 0x1p52) - 0x1p52;
        const double off = t - nearest;
        if (std::fabs(off) < close_) [[unlikely]] return divided(r);
        return static_cast<std::uint64_t>(off < 0.0 ? nearest - 1.0 : nearest);
    }

    // bin[k] for the count returns of a SortedWindow; bin[count] is past every bin.
    void fill(const double* r, std::size_t count, std::uint64_t* bin) const noexcept {
        if (!paired() || !fill_pairs(r, count, bin)) [[unlikely]]
            for (std::size_t k = 0; k < count; ++k) bin[k] = this->bin(r[k]);
        bin[count] = ~std::uint64_t{0};
    }

    // last[k] all ones where the k-th of the count returns of a SortedWindow is the last of
    // its bin, zero elsewhere.
    void ends(const double* r, std::size_t count, std::int64_t* last) const noexcept {
        if (!paired() || !ends_pairs(r, count, last)) [[unlikely]] {
            std::uint64_t b = bin(r[0]);
            for (std::size_t k = 0; k + 1 < count; ++k) {
                const std::uint64_t next = bin(r[k + 1]);
                last[k] = -static_cast<std::int64_t>(b != next);
                b = next;
            }
        }
        last[count - 1] = -1;
    }

private:
    static constexpr std::uint64_t kReach = std::uint64_t{1} << 50;
    static constexpr std::uint64_t kPaired = std::uint64_t{1} << 49;

    bool paired() const noexcept { return !divide_ && last_ < kPaired; }

    std::uint64_t divided(double r) const noexcept {
        return std::min(bin_index(std::floor((r - lo_) / width_)), last_);
    }

    // Two returns per step, one in each half of a register: their bins as floats, and
    // whether either needs the division. The +inf after the last return clamps to the last
    // bin.
    struct Lanes {
        __m128d lo, inv, floor, ceiling, close, shift, one, zero, magnitude;
        explicit Lanes(const Scale& s) noexcept
            : lo(_mm_set1_pd(s.lo_)), inv(_mm_set1_pd(s.inv_)), floor(_mm_set1_pd(0.5)),
              ceiling(_mm_set1_pd(s.ceiling_)), close(_mm_set1_pd(s.close_)), shift(_mm_set1_pd(0x1p52)),
              one(_mm_set1_pd(1.0)), zero(_mm_setzero_pd()),
              magnitude(_mm_castsi128_pd(_mm_set1_epi64x(std::numeric_limits<std::int64_t>::max()))) {}
        __m128d bins(__m128d r, __m128d& unsure) const noexcept {
            const __m128d t = _mm_min_pd(_mm_max_pd(_mm_mul_pd(_mm_sub_pd(r, lo), inv), floor), ceiling);
            const __m128d nearest = _mm_sub_pd(_mm_add_pd(t, shift), shift);
            const __m128d off = _mm_sub_pd(t, nearest);
            unsure = _mm_or_pd(unsure, _mm_cmplt_pd(_mm_and_pd(off, magnitude), close));
            return _mm_sub_pd(nearest, _mm_and_pd(_mm_cmplt_pd(off, zero), one));
        }
    };

    // False when some return needs the division.
    bool fill_pairs(const double* r, std::size_t count, std::uint64_t* bin) const noexcept {
        const Lanes lanes(*this);
        const __m128d* pairs = reinterpret_cast<const __m128d*>(r);
        __m128i* out = reinterpret_cast<__m128i*>(bin);
        __m128d unsure = lanes.zero;
        for (std::size_t q = 0; 2 * q < count; ++q) {
            // A whole number below 2^52 plus 2^52 holds it in its low bits.
            const __m128d b = _mm_add_pd(lanes.bins(pairs[q], unsure), lanes.shift);
            _mm_storeu_si128(out + q, _mm_sub_epi64(_mm_castpd_si128(b), _mm_castpd_si128(lanes.shift)));
        }
        return _mm_movemask_pd(unsure) == 0;
    }

    bool ends_pairs(const double* r, std::size_t count, std::int64_t* last) const noexcept {
        const Lanes lanes(*this);
        const __m128d* pairs = reinterpret_cast<const __m128d*>(r);
        __m128d* out = reinterpret_cast<__m128d*>(last);
        __m128d unsure = lanes.zero;
        __m128d before = lanes.bins(pairs[0], unsure);
        std::size_t q = 1;
        for (; 2 * q < count; ++q) {
            const __m128d here = lanes.bins(pairs[q], unsure);
            out[q - 1] = _mm_cmpneq_pd(before, _mm_shuffle_pd(before, here, 1));
            before = here;
        }
        out[q - 1] = _mm_cmpneq_pd(before, _mm_shuffle_pd(before, _mm_set1_pd(-1.0), 1));
        return _mm_movemask_pd(unsure) == 0;
    }

    double lo_, width_, inv_;
    std::uint64_t last_;
    double ceiling_, close_;
    bool divide_;
};

// The bins that hold returns, in increasing order, with their counts.
class Runs {
public:
    explicit Runs(std::size_t capacity) : bin_(capacity + 1), count_(capacity + 1) {}

    // From the bins of the sorted returns (non-decreasing), bin[count] past them all.
    void rebuild(const std::uint64_t* bin, std::size_t count) noexcept {
        std::size_t size = 0, start = 0;
        for (std::size_t k = 0; k < count; ++k) {
            const bool last = bin[k] != bin[k + 1];
            bin_[size] = bin[k];
            count_[size] = static_cast<std::uint32_t>(k + 1 - start);
            size += last;
            start = last ? k + 1 : start;
        }
        size_ = size;
    }
    void add(std::uint64_t b) noexcept {
        const std::size_t j = find(b);
        if (j < size_ && bin_[j] == b) {
            ++count_[j];
            return;
        }
        std::copy_backward(bin_.begin() + j, bin_.begin() + size_, bin_.begin() + size_ + 1);
        std::copy_backward(count_.begin() + j, count_.begin() + size_, count_.begin() + size_ + 1);
        bin_[j] = b;
        count_[j] = 1;
        ++size_;
    }
    void remove(std::uint64_t b) noexcept {
        const std::size_t j = find(b);
        if (--count_[j] != 0) return;
        std::copy(bin_.begin() + j + 1, bin_.begin() + size_, bin_.begin() + j);
        std::copy(count_.begin() + j + 1, count_.begin() + size_, count_.begin() + j);
        --size_;
    }
    // Each bin's term subtracted in bin order.
    double entropy(const double* terms) const noexcept {
        double h = 0.0;
        for (std::size_t j = 0; j < size_; ++j) h = h - terms[count_[j]];
        return h;
    }

private:
    std::size_t find(std::uint64_t b) const noexcept {
        return static_cast<std::size_t>(std::lower_bound(bin_.begin(), bin_.begin() + size_, b) - bin_.begin());
    }

    std::vector<std::uint64_t> bin_;
    std::vector<std::uint32_t> count_;
    std::size_t size_ = 0;
};

// q * log2(q) for q = c / count, c = 0 .. count: a function of the two counts only, so a
// table kept for the current count gives the same terms as computing each anew. terms[0]
// is 0.0.
class Terms {
public:
    const double* operator()(std::size_t count) {
        if (for_ != count) {
            table_.assign(count + 1, 0.0);
            for (std::size_t c = 1; c <= count; ++c) {
                const double q = static_cast<double>(c) / static_cast<double>(count);
                table_[c] = q * std::log2(q);
            }
            for_ = count;
        }
        return table_.data();
    }

private:
    Series table_;
    std::size_t for_ = 0;
};

// Windows of at most kShort returns. Only the order of the returns carries from one bar to
// the next, so the windows of kLanes bars are sorted first, one after another, and then
// binned and summed apart: their divisions, binnings and sums are independent chains that
// run side by side.
void entropy_short(std::span<const double> returns, std::size_t p, std::uint64_t bins, Series& out) {
    constexpr std::size_t kLanes = 8;
    const std::size_t n = returns.size();
    const std::uint64_t last_bin = bins - 1;
    const double bins_f = static_cast<double>(bins);
    SortedWindow window(p - 1, kLanes);
    const double* sorted[kLanes];
    alignas(16) std::int64_t ends[kLanes][kShort + 2];
    std::size_t count[kLanes];
    bool binned[kLanes];
    Terms terms;
    for (std::size_t j = 2; j < p; ++j) window.replace(NaN, returns[j]);
    for (std::size_t i0 = p; i0 < n; i0 += kLanes) {
        const std::size_t lanes = std::min(kLanes, n - i0);
        for (std::size_t l = 0; l < lanes; ++l) {
            const std::size_t i = i0 + l;
            window.replace(i > p ? returns[i + 1 - p] : NaN, returns[i]);
            count[l] = window.size();
            sorted[l] = window.data();
        }
        for (std::size_t l = 0; l < lanes; ++l) {
            const double* r = sorted[l];
            const std::size_t c = count[l];
            binned[l] = false;
            if (c == 0) continue;
            const double lo = r[0], hi = r[c - 1];
            if (std::fabs(hi - lo) < 1e-10) {
                out[i0 + l] = 0.0;
                continue;
            }
            Scale(lo, hi - lo, last_bin, bins_f).ends(r, c, ends[l]);
            binned[l] = true;
        }
        for (std::size_t l = 0; l < lanes; ++l) {
            if (!binned[l]) continue;
            const std::int64_t* last = ends[l];
            const double* term = terms(count[l]);
            // Each bin's count is subtracted at its last return, in bin order; the other
            // returns subtract terms[0] = 0.0, which leaves h as it is. Masks, not branches:
            // where a bin ends is not predictable.
            double h = 0.0;
            std::size_t start = 0;
            for (std::size_t k = 0; k < count[l]; ++k) {
                const auto end = static_cast<std::size_t>(last[k]);
                h = h - term[(k + 1 - start) & end];
                start = ((k + 1) & end) | (start & ~end);
            }
            out[i0 + l] = h;
        }
    }
}

// Longer windows: the bins depend on the window only through its lowest and highest
// return, so while those stay the leaving return's bin loses a count and the entering
// one's gains one (the same bins the window's own binning gives them); a new extreme
// rebins the whole window.
void entropy_long(std::span<const double> returns, std::size_t p, std::uint64_t bins, Series& out) {
    const std::size_t n = returns.size();
    const std::uint64_t last_bin = bins - 1;
    const double bins_f = static_cast<double>(bins);
    SortedWindow window(p - 1, 1);
    Runs runs(p - 1);
    std::vector<std::uint64_t> bin(p + 2);
    Scale scale(0.0, 1.0, last_bin, bins_f);
    bool binned = false;  // runs holds the previous window, binned by scale from its extremes
    double binned_lo = 0.0, binned_hi = 0.0;
    Terms terms;
    for (std::size_t j = 2; j < p; ++j) window.replace(NaN, returns[j]);
    for (std::size_t i = p; i < n; ++i) {
        const double leaving = i > p ? returns[i + 1 - p] : NaN, entering = returns[i];
        window.replace(leaving, entering);
        const std::size_t count = window.size();
        const double* r = window.data();
        const double lo = r[0], hi = r[count - 1];
        if (count == 0 || std::fabs(hi - lo) < 1e-10) {
            if (count != 0) out[i] = 0.0;
            binned = false;
            continue;
        }
        if (binned && lo == binned_lo && hi == binned_hi) {
            if (!std::isnan(leaving)) runs.remove(scale.bin(leaving));
            if (!std::isnan(entering)) runs.add(scale.bin(entering));
        } else {
            scale = Scale(lo, hi - lo, last_bin, bins_f);
            scale.fill(r, count, bin.data());
            runs.rebuild(bin.data(), count);
            binned = true, binned_lo = lo, binned_hi = hi;
        }
        out[i] = runs.entropy(terms(count));
    }
}

}  // namespace

Result<Series> entropy(std::span<const double> close, std::uint64_t period, std::uint64_t bins) {
    if (auto s = validate_series_and_periods({{close, "close"}}, {}); !s) return fail(s.error());
    const std::size_t n = close.size();
    if (period == 0 || bins == 0) return fail(VornError::invalid_period(period, n));
    if (period > n) return fail(VornError::insufficient_data(period, n));
    Series out(n, NaN);
    const std::size_t p = period;
    if (p < 2) return out;  // no window holds a return
    // A bar's return is the same in every window that holds it: computed once, NaN where
    // the pair is skipped (a base below 1e-10, or a non-finite return).
    Series returns(n, NaN);
    for (std::size_t j = 1; j < n; ++j) {
        const double base = close[j - 1];
        if (std::fabs(base) < 1e-10) continue;
        const double r = (close[j] - base) / base;
        if (std::isfinite(r)) returns[j] = r;
    }
    // The window's kept returns stay sorted as one leaves and one enters per bar. A return's
    // bin never decreases with the return, so the bins that hold returns come out of the
    // sorted returns in increasing order, each as one run of equal bins: neither time nor
    // memory depends on `bins`.
    if (p - 1 <= kShort) entropy_short(returns, p, bins, out);
    else entropy_long(returns, p, bins, out);
    return out;
}

}  // namespace vorn::indicators::extended
