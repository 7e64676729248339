// Shannon entropy of each window's returns (declared in statistics.hpp).
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "indicators/extended/statistics.hpp"
#include "utils/bounds.hpp"
#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/pairs.hpp"
#include "utils/window_order.hpp"

namespace vorn::indicators::extended {

using errors::validation::validate_series_and_periods;

namespace {

namespace pairs = utils::pairs;
using pairs::Mask;
using pairs::Pair;
using utils::NaN;
using utils::kDivisionGuard;
constexpr double Inf = std::numeric_limits<double>::infinity();

// Windows of up to kShort returns are sorted afresh, two at a time (by an unrolled network up
// to kNetwork, by two merged above); longer ones are kept from bar to bar: sorted in memory
// up to kSortedWindow returns, ranked beyond (which costs less there).
constexpr std::size_t kNetwork = 16, kShort = 2 * kNetwork, kSortedWindow = 512;

// A float bin position as an unsigned index the way a saturating cast makes it: negative
// and NaN give 0, values past the range the largest index.
std::uint64_t bin_index(double position) {
    if (!(position > 0.0)) return 0;
    if (position >= 18446744073709551616.0) return std::numeric_limits<std::uint64_t>::max();
    return static_cast<std::uint64_t>(position);
}

// The number of the first m values (ascending) below x. The halvings select, not branch:
// which half holds x is not predictable.
template <class T>
std::size_t count_below(const T* v, std::size_t m, T x) noexcept {
    if (m == 0) return 0;
    std::size_t base = 0;
    while (m > 1) {
        const std::size_t half = m / 2;
        base += half & (std::size_t{0} - static_cast<std::size_t>(v[base + half - 1] < x));
        m -= half;
    }
    return base + static_cast<std::size_t>(v[base] < x);
}

// The bin of a return r >= lo is floor((r - lo) / width) as an unsigned index, capped at the
// last bin, width = span / bins. A division per return would cost more than all the rest of
// its work, so the quotient is approached by the product t = (r - lo) * (bins / span). The
// width, the ratio bins / span, the product and the quotient each round once, by at most
// 2^-53 of themselves, so t and the quotient differ by less than 5 * 2^-53 * t. A t below
// 1/2 has a quotient below 1 (bin 0), and one above last + 1/2 a quotient above the last
// bin (the last bin): t is clamped into [1/2, last + 1/2], where the only integers are the
// inner bin edges 1 .. last. Where the integer nearest to t lies at least
// (last + 1) * 2^-50 >= 8 * 2^-53 * t away from it, no integer lies between t and the
// quotient: both have the floor of t, which is the bin. Only a return that close to an edge
// is divided. The nearest integer comes from adding and removing 2^52, exact below 2^51, and
// t minus it is then exact too (Sterbenz), so the test is exact. A product that underflows
// lies below 1/2, as its quotient does. With more than 2^50 bins the edges are taken to end
// at 2^50, and a larger t is divided.
struct Edges {
    static constexpr std::uint64_t kReach = std::uint64_t{1} << 50;
    // Two returns per step, as floats: exact integers, and the test exact, to this many bins.
    static constexpr std::uint64_t kPaired = std::uint64_t{1} << 49;

    std::uint64_t last;
    double ceiling, close;
    explicit Edges(std::uint64_t last_bin) noexcept
        : last(last_bin),
          ceiling(last_bin < kReach ? static_cast<double>(last_bin) + 0.5 : 0x1p51),
          close((last_bin < kReach ? static_cast<double>(last_bin) + 1.0 : 0x1p50 + 1.0) * 0x1p-50) {}
    bool paired() const noexcept { return last < kPaired; }
};

// The binning above for two returns at once, one in each half of a register (each half may
// have its own window), with at most 2^49 bins. u = t - 1/2, clamped into [0, last], is
// exact, and below 0 or above last exactly where t is below 1/2 or above last + 1/2. Adding
// 2^52 rounds u to the nearest integer j, which is the floor of t = u + 1/2 unless u lies
// halfway (t a whole number: an edge); j + 2^52 is the bin's label. With off = u - j, t lies
// 1/2 - |off| from the nearest integer, so a return is close to an edge where |off| is
// above 1/2 - (last + 1) * 2^-50 (that difference rounded by at most 2^-54).
struct PairBins {
    Pair lo, inv, half, zero, last, shift, far;
    PairBins(Pair lo_, Pair inv_, const Edges& e) noexcept
        : lo(lo_), inv(inv_), half(pairs::both(0.5)), zero{0.0, 0.0}, last(pairs::both(static_cast<double>(e.last))),
          shift(pairs::both(0x1p52)), far(pairs::both(0.5 - e.close)) {}
    // The label of each return's bin (+inf has the last bin's); unsure gains the returns
    // close to an edge.
    [[gnu::always_inline]] Pair operator()(Pair r, Mask& unsure) const noexcept {
        const Pair t = (r - lo) * inv;
        const Pair u = pairs::min(pairs::max(t - half, zero), last);
        const Pair label = u + shift;
        const Pair off = u - (label - shift);
        unsure |= pairs::abs(off) > far;
        return label;
    }
    // The bin a label stands for.
    [[gnu::always_inline]] Mask bin(Pair label) const noexcept { return pairs::bits(label) - pairs::bits(shift); }
};

// One window's binning.
class Scale {
public:
    Scale(double lo, double span, double bins, const Edges& edges) noexcept
        : lo_(lo), width_(span / bins), inv_(bins / span), edges_(edges),
          // A span that overflowed has an infinite width: every return is divided.
          divide_(!std::isfinite(width_)), paired_(!divide_ && edges.paired()),
          pair_(pairs::both(lo), pairs::both(inv_), edges) {}

    std::uint64_t bin(double r) const noexcept {
        if (paired_) [[likely]] {
            Mask unsure{0, 0};
            const Pair label = pair_(Pair{r, 0.0}, unsure);
            if (unsure[0] == 0) [[likely]] return static_cast<std::uint64_t>(pair_.bin(label)[0]);
            return divided(r);
        }
        double t = (r - lo_) * inv_;
        if (divide_ | (t > 0x1p50)) [[unlikely]] return divided(r);
        t = t < 0.5 ? 0.5 : (t > edges_.ceiling ? edges_.ceiling : t);
        const double nearest = (t + 0x1p52) - 0x1p52;
        const double off = t - nearest;
        if (std::fabs(off) < edges_.close) [[unlikely]] return divided(r);
        return static_cast<std::uint64_t>(off < 0.0 ? nearest - 1.0 : nearest);
    }

    // bin[k] for sorted returns r[0 .. count), 16-byte aligned with +inf at r[count];
    // bin[count] is past every bin.
    void fill(const double* r, std::size_t count, std::uint64_t* bin) const noexcept {
        if (!paired_ || !fill_pairs(r, count, bin)) [[unlikely]]
            for (std::size_t k = 0; k < count; ++k) bin[k] = this->bin(r[k]);
        bin[count] = ~std::uint64_t{0};
    }

    // last[k] all ones where r[k] (sorted, k < count) is the last return of its bin, zero
    // elsewhere.
    void ends(const double* r, std::size_t count, std::int64_t* last) const noexcept {
        std::uint64_t b = bin(r[0]);
        for (std::size_t k = 0; k + 1 < count; ++k) {
            const std::uint64_t next = bin(r[k + 1]);
            last[k] = -static_cast<std::int64_t>(b != next);
            b = next;
        }
        last[count - 1] = -1;
    }

private:
    std::uint64_t divided(double r) const noexcept {
        return std::min(bin_index(std::floor((r - lo_) / width_)), edges_.last);
    }

    // False when some return needs the division.
    bool fill_pairs(const double* r, std::size_t count, std::uint64_t* bin) const noexcept {
        const PairBins& bins = pair_;
        Mask unsure{0, 0};
        for (std::size_t k = 0; k < count; k += 2) {
            // A whole number below 2^52 plus 2^52 holds it in its low bits.
            pairs::store(bin + k, bins.bin(bins(pairs::load(r + k), unsure)));
        }
        return !pairs::any(unsure);
    }

    double lo_, width_, inv_;
    Edges edges_;
    bool divide_, paired_;
    PairBins pair_;
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

// The entropy from the bin ends of count sorted returns: each bin's count is subtracted at
// its last return, in bin order; the other returns subtract terms[0] = 0.0, which leaves h
// as it is. Masks, not branches: where a bin ends is not predictable.
[[gnu::always_inline]] inline double sum_bins(const std::int64_t* last, std::size_t count, std::size_t stride,
                                              const double* terms) noexcept {
    double h = 0.0;
    std::size_t start = 0;
    for (std::size_t k = 0; k < count; ++k) {
        const auto end = static_cast<std::size_t>(last[k * stride]);
        h = h - terms[(k + 1 - start) & end];
        start = ((k + 1) & end) | (start & ~end);
    }
    return h;
}

// One window of at most kShort returns, NaN where a pair is skipped, on its own.
double window_entropy(const double* returns, std::size_t m, double bins, const Edges& edges, Terms& terms) {
    alignas(16) double kept[kShort + 2];
    std::size_t count = 0;
    for (std::size_t k = 0; k < m; ++k) {
        const double r = returns[k];
        if (std::isnan(r)) continue;
        std::size_t j = count++;
        for (; j > 0 && r < kept[j - 1]; --j) kept[j] = kept[j - 1];
        kept[j] = r;
    }
    if (count == 0) return NaN;
    const double lo = kept[0], hi = kept[count - 1];
    if (std::fabs(hi - lo) < kDivisionGuard) return 0.0;
    std::int64_t last[kShort];
    Scale(lo, hi - lo, bins, edges).ends(kept, count, last);
    return sum_bins(last, count, 1, terms(count));
}

// Batcher's odd-even merge sort for M values, without the comparators that touch a place
// from M on: those would only meet +inf padding, which stays where it is.
template <std::size_t M>
struct Network {
    static constexpr auto make() {
        std::array<std::pair<std::uint8_t, std::uint8_t>, 64> ce{};  // 63 for 16 values
        std::size_t size = 0, all = 1;
        while (all < M) all <<= 1;
        for (std::size_t p = 1; p < all; p <<= 1)
            for (std::size_t k = p; k >= 1; k >>= 1)
                for (std::size_t j = k % p; j + k < all; j += 2 * k)
                    for (std::size_t i = 0; i < k && i + j + k < all; ++i)
                        if ((i + j) / (2 * p) == (i + j + k) / (2 * p) && i + j + k < M)
                            ce[size++] = {static_cast<std::uint8_t>(i + j), static_cast<std::uint8_t>(i + j + k)};
        return std::pair{ce, size};
    }
    static constexpr auto table = make();
};

// Of two equal zeros either may come out as -0.0: a zero's sign changes no bin, span or
// entropy.
[[gnu::always_inline]] inline void exchange(Pair& a, Pair& b) noexcept {
    const Pair low = pairs::min(a, b);
    b = pairs::max(a, b);
    a = low;
}

template <std::size_t M, std::size_t... C>
[[gnu::always_inline]] inline void sort_pairs([[maybe_unused]] Pair* x, std::index_sequence<C...>) noexcept {
    constexpr auto& ce = Network<M>::table.first;
    (exchange(x[ce[C].first], x[ce[C].second]), ...);
}

// Sorts each half of x[0 .. M) (a window in each half) without a branch on the data.
template <std::size_t M>
[[gnu::always_inline]] inline void sort_pairs(Pair* x) noexcept {
    sort_pairs<M>(x, std::make_index_sequence<Network<M>::table.second>{});
}

template <std::size_t M>
void sort_pairs_apart(Pair* x) noexcept {
    sort_pairs<M>(x);
}

using SortPairs = void (*)(Pair*);
template <std::size_t... M>
constexpr auto sorters(std::index_sequence<M...>) {
    return std::array{static_cast<SortPairs>(&sort_pairs_apart<M + 1>)...};
}
// sorter[m - 1] sorts m returns, m <= kNetwork.
constexpr auto sorter = sorters(std::make_index_sequence<kNetwork>{});

// The bitonic merge of kShort values: comparators at strides kNetwork, kNetwork / 2, .. 1.
template <std::size_t... C>
[[gnu::always_inline]] inline void merge_pairs(Pair* x, std::index_sequence<C...>) noexcept {
    // The C-th comparator of a stride pairs k with k + stride for the k without that bit.
    constexpr auto exchange_at = [](std::size_t c) {
        const std::size_t stride = kNetwork >> (c / kNetwork), j = c % kNetwork;
        const std::size_t k = (j / stride) * 2 * stride + j % stride;
        return std::pair{k, k + stride};
    };
    (exchange(x[exchange_at(C).first], x[exchange_at(C).second]), ...);
}

// Sorts each half of x[0 .. m), kNetwork < m <= kShort, x holding kShort: the first
// kNetwork and the rest apart, then the two runs merged by a bitonic network (the second
// reversed and filled up with +inf, which stays after the returns).
void sort_pairs_merged(Pair* x, std::size_t m) noexcept {
    sort_pairs_apart<kNetwork>(x);
    sorter[m - kNetwork - 1](x + kNetwork);
    for (std::size_t k = m; k < kShort; ++k) x[k] = pairs::both(Inf);
    for (std::size_t k = 0; k < kNetwork / 2; ++k) std::swap(x[kNetwork + k], x[kShort - 1 - k]);
    constexpr std::size_t strides = std::bit_width(kNetwork);  // kNetwork, .., 2, 1
    merge_pairs(x, std::make_index_sequence<strides * kNetwork>{});
}

// Windows of m = period - 1 <= kShort returns, two neighbours at a time, one in each half of
// a register: the k-th returns of windows i and i + 1 are neighbours in the series. Each
// pair of windows is sorted afresh by a network and binned on its own, so no chain runs from
// one bar to the next. A pair holding a skipped return, or a return that needs the division,
// is done one window at a time. M is m where the network is unrolled (up to kNetwork), else 0.
template <std::size_t M>
void entropy_pairs(std::span<const double> returns, std::size_t m_, double bins, const Edges& edges, Series& out) {
    const std::size_t m = M != 0 ? M : m_;
    const std::size_t n = returns.size(), p = m + 1;
    Terms terms, others;  // for all m returns; for windows that skip some
    const double* term = terms(m);
    const Pair bins2 = pairs::both(bins), tiny = pairs::both(kDivisionGuard), inf = pairs::both(Inf);
    const Mask one_each{1, 1};
    Pair x[M != 0 ? M : kShort];
    alignas(16) std::uint64_t run[M != 0 ? M : kShort][2];
    auto one = [&](std::size_t i) { out[i] = window_entropy(&returns[i + 2 - p], m, bins, edges, others); };
    std::size_t i = p, paired = 0;
    for (; i + 1 < n; i += 2) {
        Mask skipped{0, 0};
        for (std::size_t k = 0; k < m; ++k) {
            x[k] = pairs::load(&returns[i + 2 - p + k]);
            skipped |= x[k] != x[k];
        }
        if (pairs::any(skipped)) [[unlikely]] {
            one(i), one(i + 1);
            continue;
        }
        if constexpr (M != 0) sort_pairs<M>(x);
        else sort_pairs_merged(x, m);
        const Pair span = x[m - 1] - x[0];
        const Mask flat = pairs::abs(span) < tiny;
        const Pair width = span / bins2;
        // A span that overflowed (infinite width) is divided. Kept apart from the returns
        // near an edge: GCC carries an or of two comparisons through a loop by rebuilding
        // it one half at a time.
        const Mask overflowed = width == inf;
        Mask unsure{0, 0};
        const PairBins bin(x[0], bins2 / span, edges);
        // Where the current bin's run of returns starts, and at the last return of each run
        // its length (0 at the others), as whole numbers, one window in each half.
        Mask start{0, 0}, next = one_each;
        Pair before = bin(x[0], unsure);
        auto run_ends = [&](std::size_t k, Pair after) {
            const Mask end = before != after;
            pairs::store(run[k], (next - start) & end);
            start = (end & next) | (~end & start);
            next += one_each;
            before = after;
        };
        for (std::size_t k = 0; k + 1 < m; ++k) run_ends(k, bin(x[k + 1], unsure));
        run_ends(m - 1, Pair{0.0, 0.0});  // no bin's label: the last run ends
        // A flat window's bins are not used.
        if (pairs::any(~flat & (overflowed | unsure))) [[unlikely]] {
            one(i), one(i + 1);
            continue;
        }
        // Each run's term subtracted at its last return, in bin order; the other returns
        // subtract terms[0] = 0.0, which leaves h as it is.
        Pair h{0.0, 0.0};
        for (std::size_t k = 0; k < m; ++k) h = h - Pair{term[run[k][0]], term[run[k][1]]};
        pairs::store(&out[i], pairs::select(flat, Pair{0.0, 0.0}, h));
        ++paired;
    }
    if (paired != 0) utils::fast_path::taken<"entropy_pairs">();
    if (i < n) one(i);
}

template <std::size_t... M>
void entropy_pairs(std::span<const double> returns, std::size_t m, double bins, const Edges& edges, Series& out,
                   std::index_sequence<M...>) {
    if (m > kNetwork) return entropy_pairs<0>(returns, m, bins, edges, out);
    ((m == M + 1 ? entropy_pairs<M + 1>(returns, m, bins, edges, out) : void()), ...);
}

// The bins that hold returns, in increasing order, with their counts.
class Runs {
public:
    explicit Runs(std::size_t capacity) : bin_(capacity + 1), count_(capacity + 1) {}

    std::size_t size() const noexcept { return size_; }
    // The counts in bin order, then zeros to the capacity.
    const std::uint32_t* counts() const noexcept { return count_.data(); }

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
        std::fill(count_.begin() + size, count_.begin() + std::max(size, size_), 0);
        size_ = size;
    }
    // No bins; append() then adds them in increasing order.
    void clear() noexcept {
        std::fill(count_.begin(), count_.begin() + size_, 0);
        size_ = 0;
    }
    void append(std::uint64_t b, std::size_t count) noexcept {
        bin_[size_] = b;
        count_[size_++] = static_cast<std::uint32_t>(count);
    }
    void add(std::uint64_t b) noexcept {
        const std::size_t j = find(b);
        if (j < size_ && bin_[j] == b) {
            ++count_[j];
            return;
        }
        for (std::size_t k = size_; k > j; --k) bin_[k] = bin_[k - 1], count_[k] = count_[k - 1];
        bin_[j] = b;
        count_[j] = 1;
        ++size_;
    }
    void remove(std::uint64_t b) noexcept {
        const std::size_t j = find(b);
        if (--count_[j] != 0) return;
        for (std::size_t k = j + 1; k < size_; ++k) bin_[k - 1] = bin_[k], count_[k - 1] = count_[k];
        count_[--size_] = 0;
    }

private:
    std::size_t find(std::uint64_t b) const noexcept {
        if (size_ > 12) return count_below(bin_.data(), size_, b);
        std::size_t j = 0;
        for (std::size_t k = 0; k < size_; ++k) j += bin_[k] < b;
        return j;
    }

    std::vector<std::uint64_t> bin_;
    std::vector<std::uint32_t> count_;
    std::size_t size_ = 0;
};

// The kept returns of a longer sliding window in increasing order (a NaN is never kept),
// 16-byte aligned, then +inf. Ties may sit in either order: equal returns share a bin.
class SortedWindow {
public:
    explicit SortedWindow(std::size_t capacity) : pairs_(capacity / 2 + 2, Slot{Inf, Inf}) {}

    std::size_t size() const noexcept { return m_; }
    const double* data() const noexcept { return &pairs_[0].lo; }

    // `out` (a kept return, or NaN) leaves and `in` enters: the returns between their
    // places move by one.
    void replace(double out, double in) noexcept {
        double* v = &pairs_[0].lo;
        if (std::isnan(out)) {
            if (std::isnan(in)) return;
            const std::size_t j = below(in);
            std::copy_backward(v + j, v + m_, v + m_ + 1);
            v[j] = in;
            v[++m_] = Inf;
            return;
        }
        std::size_t j = below(out);
        if (std::isnan(in)) {
            std::copy(v + j + 1, v + m_, v + j);
            v[--m_] = Inf;
            return;
        }
        // In place: only the returns between the two places move, on most bars a few, as
        // one block move whatever their number (how many move is not predictable). Written
        // out: GCC makes the element loops into it only where it can follow the places,
        // which the vector count of below() hides from it.
        const std::size_t to = below(in);
        if (j + 1 < to) {
            std::memmove(v + j, v + j + 1, (to - 1 - j) * sizeof(double));
            j = to - 1;
        } else if (j > to) {
            std::memmove(v + to + 1, v + to, (j - to) * sizeof(double));
            j = to;
        }
        v[j] = in;
    }

private:
    // The number of returns below x.
    std::size_t below(double x) const noexcept {
        if (m_ > 64) return count_below(data(), m_, x);
        // Up to 64 returns, each compared: two per step, no chain of dependent loads.
        const Pair x2 = pairs::both(x);
        Mask below{0, 0};  // a comparison that holds is -1: subtracted, it counts
        for (std::size_t q = 0; 2 * q < m_; ++q) below -= pairs::load(&pairs_[q].lo) < x2;
        return static_cast<std::size_t>(below[0] + below[1]);
    }

    struct alignas(16) Slot {
        double lo, hi;
    };
    std::vector<Slot> pairs_;
    std::size_t m_ = 0;
};

// The window ending at bar i holds the returns of bars i - p + 2 .. i (those of bars 0 and 1
// never enter one). Longer windows are kept from bar to bar as one return leaves and one
// enters, and binned afresh (rebin) when their lowest or highest return changes.
//
// Up to kSortedWindow returns: kept sorted in memory, the returns between the places of the
// leaving and the entering one moved by one (O(p), but a short block move).
class SortedReturns {
public:
    SortedReturns(std::span<const double> returns, std::size_t p)
        : returns_(returns), p_(p), window_(p - 1), bin_(p + 1) {}

    void slide(std::size_t i) noexcept {
        window_.replace(i > p_ ? returns_[i + 1 - p_] : NaN, returns_[i]);
    }
    std::size_t size() const noexcept { return window_.size(); }
    double lowest() const noexcept { return window_.data()[0]; }
    double highest() const noexcept { return window_.data()[window_.size() - 1]; }
    void rebin(const Scale& scale, Runs& runs) noexcept {
        scale.fill(window_.data(), window_.size(), bin_.data());
        runs.rebuild(bin_.data(), window_.size());
    }

private:
    std::span<const double> returns_;
    std::size_t p_;
    SortedWindow window_;
    std::vector<std::uint64_t> bin_;
};

// Beyond: ranked (utils::order::SlidingRanks), O(log p) a bar. The extremes move where a
// return beyond them enters and are looked up where one of them leaves. A bin's returns are
// a run of neighbouring ranks (a return's bin never decreases with the return), found by a
// binary search among the ranked values: a rebinning costs O(log p) for each bin that holds
// returns, whatever the number of returns in it.
class RankedReturns {
public:
    RankedReturns(std::span<const double> returns, std::size_t p)
        : returns_(returns), p_(p), window_(returns.subspan(2), p - 1) {}

    void slide(std::size_t i) noexcept {
        const double leaving = i > p_ ? returns_[i + 1 - p_] : NaN, entering = returns_[i];
        if (i > p_) window_.leave(i - p_ - 1);
        window_.enter(i - 2);
        const std::size_t count = window_.size();
        if (count == 0) return;
        if (i <= p_ || count == 1 || leaving == lo_ || leaving == hi_) {
            lo_ = window_.values()[window_.select(1)];
            hi_ = window_.values()[window_.select(count)];
        } else {
            lo_ = entering < lo_ ? entering : lo_;
            hi_ = entering > hi_ ? entering : hi_;
        }
    }
    std::size_t size() const noexcept { return window_.size(); }
    double lowest() const noexcept { return lo_; }
    double highest() const noexcept { return hi_; }
    void rebin(const Scale& scale, Runs& runs) noexcept {
        const double* v = window_.values();
        const double* const end = v + window_.ranked();
        runs.clear();
        for (std::size_t r = 1, count = window_.size(); r <= count;) {
            const std::uint32_t s = window_.select(r);
            const std::uint64_t b = scale.bin(v[s]);
            const double* past = std::partition_point(v + s + 1, end, [&](double x) { return scale.bin(x) == b; });
            const std::size_t in_bin = window_.below(static_cast<std::uint32_t>(past - v)).count - (r - 1);
            runs.append(b, in_bin);
            r += in_bin;
        }
    }

private:
    std::span<const double> returns_;
    std::size_t p_;
    utils::order::SlidingRanks<utils::order::Counted> window_;
    double lo_ = 0.0, hi_ = 0.0;  // the window's extremes, while it holds a return
};

// Their bins depend on the window only through its lowest and highest return, so while those
// stay, the leaving return's bin loses a count and the entering one's gains one (the same
// bins the window's own binning gives them); a new extreme rebins the whole window.
template <class Window>
void entropy_long(std::span<const double> returns, std::size_t p, double bins, const Edges& edges, Series& out) {
    constexpr std::uint64_t kNone = ~std::uint64_t{0};  // no return: no bin's number
    const std::size_t n = returns.size();
    Window window(returns, p);
    Runs runs(p - 1);
    Scale scale(0.0, 1.0, bins, edges);
    bool binned = false;  // runs holds the previous window, binned by scale from its extremes
    double binned_lo = 0.0, binned_hi = 0.0;
    Terms terms;
    // Each bin's term is subtracted in bin order, a chain of dependent subtractions; the
    // chains of two windows run side by side, one in each half of a register. The counts of
    // the first wait here (zeros after them) until the second is binned; past either's
    // bins, terms[0] = 0.0 leaves h as it is.
    std::vector<std::uint32_t> held(p, 0);
    std::size_t held_size = 0, held_count = 0, held_at = 0;
    auto release = [&](std::size_t size, const std::uint32_t* counts, std::size_t at) {
        Pair h{0.0, 0.0};
        const double* term = terms(held_count);
        for (std::size_t j = 0; j < size; ++j) h = h - Pair{term[held[j]], term[counts[j]]};
        out[held_at] = h[0];
        if (at != n) out[at] = h[1];
        std::fill(held.begin(), held.begin() + held_size, 0);
        held_size = 0;
    };
    for (std::size_t j = 2; j < p; ++j) window.slide(j);
    for (std::size_t i = p; i < n; ++i) {
        const double leaving = i > p ? returns[i + 1 - p] : NaN, entering = returns[i];
        window.slide(i);
        const std::size_t count = window.size();
        if (count == 0) {
            binned = false;
            continue;
        }
        const double lo = window.lowest(), hi = window.highest();
        if (std::fabs(hi - lo) < kDivisionGuard) {
            out[i] = 0.0;
            binned = false;
            continue;
        }
        if (binned && lo == binned_lo && hi == binned_hi) {
            const std::uint64_t from = std::isnan(leaving) ? kNone : scale.bin(leaving);
            const std::uint64_t to = std::isnan(entering) ? kNone : scale.bin(entering);
            if (from != to) {
                if (from != kNone) runs.remove(from);
                if (to != kNone) runs.add(to);
            }
        } else {
            scale = Scale(lo, hi - lo, bins, edges);
            window.rebin(scale, runs);
            binned = true, binned_lo = lo, binned_hi = hi;
        }
        // Windows that skip different numbers of returns use different terms.
        if (held_size != 0 && held_count != count) release(held_size, held.data(), n);
        if (held_size == 0) {
            std::copy(runs.counts(), runs.counts() + runs.size(), held.begin());
            held_size = runs.size(), held_count = count, held_at = i;
        } else {
            release(std::max(held_size, runs.size()), runs.counts(), i);
        }
    }
    if (held_size != 0) release(held_size, held.data(), n);
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
        if (std::fabs(base) < kDivisionGuard) continue;
        const double r = (close[j] - base) / base;
        if (std::isfinite(r)) returns[j] = r;
    }
    // A return's bin never decreases with the return, so the bins that hold returns come
    // out of a window's sorted returns in increasing order, each as one run of equal bins:
    // neither time nor memory depends on `bins`.
    const Edges edges(bins - 1);
    const double bins_f = static_cast<double>(bins);
    if (p - 1 <= kShort && edges.paired())
        entropy_pairs(returns, p - 1, bins_f, edges, out, std::make_index_sequence<kNetwork>{});
    else if (p - 1 <= kSortedWindow || p - 1 > utils::order::kLargestWindow)
        entropy_long<SortedReturns>(returns, p, bins_f, edges, out);
    else
        entropy_long<RankedReturns>(returns, p, bins_f, edges, out);
    // Returns spread over `bins` bins carry at most log2(bins) bits, reached when every bin
    // holds as many; summing the terms can round past it.
    utils::bounds::confine_span(out.data(), p, n, {0.0, std::log2(bins_f)});
    return out;
}

}  // namespace vorn::indicators::extended
