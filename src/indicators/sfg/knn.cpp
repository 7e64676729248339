#include "indicators/sfg/knn.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "indicators/momentum/rsi_macd.hpp"
#include "indicators/sfg/common.hpp"
#include "indicators/sfg/nearest.hpp"
#include "indicators/trend/supertrend.hpp"
#include "utils/constants.hpp"
#include "utils/fast_path.hpp"
#include "utils/ma.hpp"

namespace vorn::indicators::sfg {

namespace {

// n + k (or trend_length + k) bars are not enough: one more is needed. Both terms are at
// most the length, so the sum cannot overflow.
Status check_room(std::uint64_t a, std::uint64_t b, std::size_t len) {
    if (a + b >= len) return fail(VornError::insufficient_data(a + b + 1, len));
    return {};
}

// The squared distance of the momentum features is rsi_term + price_term: the RSI
// difference squared plus 100 times the squared relative change of the close (0.0 against
// a close below 1e-10 in magnitude). Both terms are never negative.
inline double rsi_term(double r, double rj) {
    const double d = r - rj;
    return d * d;
}
inline double price_term(double c, double cj) {
    const double change = c / cj - 1.0;  // computed either way: the choice below stays branch-free
    return std::fabs(cj) >= utils::kDivisionGuard ? 100.0 * (change * change) : 0.0;
}

// A square at least as wide as NearestK::widest_square(s) (any square beyond it has a larger
// root), found by one product rather than a chain of roots. For a normal s, the squares
// sharing sqrt(s)'s rounded root r lie within 2 r ulp(r) <= 2^-51 r^2 of s, well inside the
// factor 1 + 2^-48 even after the product's own rounding. A bound that lets in a little
// more costs nothing where the final ranking is exact.
inline double wide_square(double s) {
    return s >= 0x1p-1000 ? s * (1.0 + 0x1p-48) : NearestK::widest_square(s);
}

// Puts a few distinct bar indices in increasing order. A comparison sort of some fifty keys
// mispredicts at nearly every step; here each key's place is the count of smaller keys,
// counted four lanes at a time with no branch on the data. More keys than kMost, or bars
// beyond 31 bits, go to std::sort.
class BarOrder {
public:
    explicit BarOrder(std::size_t len) : ranked_(len <= static_cast<std::size_t>(kPad)) {}
    BarOrder(const BarOrder&) = delete;
    BarOrder& operator=(const BarOrder&) = delete;
    ~BarOrder() {
        if (ranked_used_) utils::fast_path::taken<"knn_bar_order">();  // once per series, not per sort
    }

    void sort(std::span<std::size_t> bars) {
        const std::size_t m = bars.size();
        if (!ranked_ || m > kMost) {
            std::sort(bars.begin(), bars.end());
            return;
        }
        ranked_used_ = true;
        using Quad = std::int32_t __attribute__((vector_size(16)));
        const std::size_t chunks = (m + 3) / 4;
        for (std::size_t t = 0; t < m; ++t) keys_[t] = static_cast<std::int32_t>(bars[t]);
        for (std::size_t t = m; t < 4 * chunks; ++t) keys_[t] = kPad;  // never below a key
        for (std::size_t t = 0; t < m; ++t) {
            const Quad key = {keys_[t], keys_[t], keys_[t], keys_[t]};
            Quad below = {0, 0, 0, 0};
            for (std::size_t q = 0; q < chunks; ++q) {
                Quad x;
                __builtin_memcpy(&x, &keys_[4 * q], sizeof x);
                below += x < key;  // -1 per smaller key
            }
            placed_[static_cast<std::size_t>(-(below[0] + below[1] + below[2] + below[3]))] = bars[t];
        }
        std::copy(placed_.begin(), placed_.begin() + static_cast<std::ptrdiff_t>(m), bars.begin());
    }

private:
    static constexpr std::size_t kMost = 128;
    static constexpr std::int32_t kPad = std::numeric_limits<std::int32_t>::max();
    bool ranked_;
    bool ranked_used_ = false;
    std::array<std::int32_t, kMost + 3> keys_;
    std::array<std::size_t, kMost> placed_;
};

// The momentum index's candidates, held in a k-d tree over (RSI, close) so that a bar's search
// reads a few leaves near its own point instead of every earlier bar.
//
// The tree's shape is fixed up front by median splits over every bar that will ever be a
// candidate; a bar joins it when it becomes one (bars join in index order), widening the
// boxes of its leaf and of the nodes above. A box covers only the bars that have joined, so
// the search prunes as tightly as a tree built on them alone, and nothing is rebuilt.
//
// A search gathers the members within a bound on the squared distance, passing over a node
// when a lower bound of its members' squares exceeds it: the same formula applied at the
// box's edges that bound each term (correctly rounded operations are monotone, so it never
// exceeds a member's own square). Members of a leaf are kept in index order, so those that
// have joined are a prefix.
//
// Exact ties are ordinary: a flat stretch repeats one point for as long as it lasts, and with
// the k-th distance 0 every box's lower bound is 0 too, so a bound on distances alone would
// gather every tied member for every bar. So once a search has gathered more members than it
// needs, it cuts them to the k nearest in the full order (distance, then bar) and passes over
// a node whose lower bound is no nearer than that k-th and whose earliest member joined after
// it: none of its members can take a place. Nodes are visited nearer first, and of two as
// near the earlier first, so that the k-th tightens soon; points that are equal are split by
// bar when the tree is built, so that a run of them fills few leaves, in bar order.
//
// The RSI lies in [0, 100] or is NaN, the close is finite, so squared distances to a bar with a
// defined RSI are numbers (possibly infinite, never NaN) for the bars in the tree. Bars with a
// NaN RSI are held apart: their distances are NaN, which rank after every number.
class MomentumTree {
public:
    // Bars tl .. last - 1 will become candidates.
    MomentumTree(std::span<const double> rsi, std::span<const double> close, std::size_t k, std::size_t tl,
                 std::size_t last)
        : rsi_(rsi), close_(close), tl_(tl), leaf_of_(last > tl ? last - tl : 0), order_(rsi.size()) {
        std::vector<std::size_t> bars;
        bars.reserve(leaf_of_.size());
        for (std::size_t j = tl; j < last; ++j)
            if (!std::isnan(rsi[j])) bars.push_back(j);
        leaves_ = 1;
        while (bars.size() > kLeaf * leaves_) leaves_ *= 2;
        boxes_.assign(2 * leaves_, Box{});
        earliest_.assign(2 * leaves_, std::numeric_limits<std::size_t>::max());
        first_.assign(leaves_ + 1, 0);
        joined_.assign(leaves_, 0);
        build(bars, 1, 0, bars.size());
        first_[leaves_] = bars.size();
        // One spare slot past the end: a leaf is read two members at a time.
        point_rsi_.assign(bars.size() + 1, 0.0);
        point_close_.assign(bars.size() + 1, 1.0);
        point_bar_ = bars;
        for (std::size_t s = 0; s < bars.size(); ++s) {
            point_rsi_[s] = rsi[bars[s]];
            point_close_[s] = close[bars[s]];
        }
        unordered_.reserve(leaf_of_.size() - bars.size());
        chosen_.reserve(k);
    }

    // Bar j (the next in index order) becomes a candidate.
    void join(std::size_t j) {
        if (std::isnan(rsi_[j])) {
            unordered_.push_back(j);
            return;
        }
        ++members_;
        std::size_t node = leaves_ + leaf_of_[j - tl_];
        ++joined_[node - leaves_];
        const double r = rsi_[j], c = close_[j];
        for (; node >= 1; node /= 2) {
            Box& b = boxes_[node];
            if (b.empty()) earliest_[node] = j;
            if (r < b.rsi_lo) b.rsi_lo = r;
            if (r > b.rsi_hi) b.rsi_hi = r;
            if (c < b.close_lo) b.close_lo = c;
            if (c > b.close_hi) b.close_hi = c;
        }
    }

    // The k nearest candidates of bar i (at least k have joined), in index order.
    std::span<std::size_t> nearest(std::size_t i, std::size_t k) {
        const double r = rsi_[i], c = close_[i];
        chosen_.clear();
        if (std::isnan(r)) {
            // Every distance from a NaN RSI is NaN: the earliest k candidates.
            for (std::size_t m = 0; m < k; ++m) chosen_.push_back(tl_ + m);
            return chosen_;
        }
        if (members_ < k) {
            // All the members, then the earliest of the NaN ones.
            for (std::size_t leaf = 0; leaf < leaves_; ++leaf)
                for (std::size_t s = first_[leaf]; s < first_[leaf] + joined_[leaf]; ++s) chosen_.push_back(point_bar_[s]);
            for (std::size_t t = 0; chosen_.size() < k; ++t) chosen_.push_back(unordered_[t]);
        } else {
            select_nearest(r, c, k);
        }
        order_.sort(chosen_);
        return chosen_;
    }

private:
    static constexpr std::size_t kLeaf = 32;

    struct Box {
        double rsi_lo = std::numeric_limits<double>::infinity(), rsi_hi = -std::numeric_limits<double>::infinity();
        double close_lo = std::numeric_limits<double>::infinity(), close_hi = -std::numeric_limits<double>::infinity();
        bool empty() const { return rsi_lo > rsi_hi; }
    };

    // Splits bars[lo, hi) at its median along the feature that spreads wider in distance units
    // (the close's relative spread scaled as the distance scales it); leaves at equal depth.
    void build(std::vector<std::size_t>& bars, std::size_t node, std::size_t lo, std::size_t hi) {
        if (node >= leaves_) {
            std::sort(bars.begin() + lo, bars.begin() + hi);
            first_[node - leaves_] = lo;
            for (std::size_t s = lo; s < hi; ++s) leaf_of_[bars[s] - tl_] = node - leaves_;
            return;
        }
        double r_lo = std::numeric_limits<double>::infinity(), r_hi = -r_lo, c_lo = r_lo, c_hi = -r_lo;
        for (std::size_t s = lo; s < hi; ++s) {
            r_lo = std::min(r_lo, rsi_[bars[s]]);
            r_hi = std::max(r_hi, rsi_[bars[s]]);
            c_lo = std::min(c_lo, close_[bars[s]]);
            c_hi = std::max(c_hi, close_[bars[s]]);
        }
        const double scale = std::max(std::fabs(c_lo), std::fabs(c_hi));
        const bool by_close = scale > 0.0 && 10.0 * ((c_hi - c_lo) / scale) > r_hi - r_lo;
        const std::size_t mid = lo + (hi - lo) / 2;
        const auto feature = by_close ? close_ : rsi_;
        std::nth_element(bars.begin() + lo, bars.begin() + mid, bars.begin() + hi, [&](std::size_t a, std::size_t b) {
            return feature[a] < feature[b] || (feature[a] == feature[b] && a < b);
        });
        build(bars, 2 * node, lo, mid);
        build(bars, 2 * node + 1, mid, hi);
    }

    static double floor(const Box& g, double r, double c) {
        // The RSI edge nearest to the bar's (the bar's own RSI inside the box: a difference of 0).
        const double dr = r - std::max(g.rsi_lo, std::min(r, g.rsi_hi));
        double f = dr * dr;
        // Where every member's close takes the division and the bar's lies outside their range,
        // the term moves one way across the box, so one edge gives the least: the nearer edge
        // when the bar's close has the members' sign, else the edge of larger magnitude (the
        // quotient nearest to 0). A close of 0 gives 100 whatever the member.
        const bool positive = g.close_lo >= utils::kDivisionGuard, negative = g.close_hi <= -utils::kDivisionGuard;
        if ((positive | negative) & ((c > g.close_hi) | (c < g.close_lo))) {
            const bool same_sign = positive ? c > 0.0 : c < 0.0;
            const double nearer = c > g.close_hi ? g.close_hi : g.close_lo;
            const double larger = positive ? g.close_hi : g.close_lo;
            f = f + price_term(c, same_sign ? nearer : larger);
        }
        return f;
    }

    // The squares of members from .. from + m - 1 (and perhaps one more), two at a time and
    // free of branches: each lane performs the steps of rsi_term + price_term.
    void leaf_squares(double r, double c, std::size_t from, std::size_t m) {
        using Pair = double __attribute__((vector_size(16)));
        using Mask = long long __attribute__((vector_size(16)));
        const Pair rv = {r, r}, cv = {c, c}, one = {1.0, 1.0}, hundred = {100.0, 100.0}, tiny = {utils::kDivisionGuard, utils::kDivisionGuard};
        const Mask magnitude = {0x7fffffffffffffffLL, 0x7fffffffffffffffLL};
        for (std::size_t t = 0; t < m; t += 2) {
            Pair rj, cj;
            __builtin_memcpy(&rj, &point_rsi_[from + t], sizeof rj);
            __builtin_memcpy(&cj, &point_close_[from + t], sizeof cj);
            const Pair d = rv - rj;
            const Pair change = cv / cj - one;
            const Mask divides = (Pair)((Mask)cj & magnitude) >= tiny;
            const Pair price = (Pair)((Mask)(hundred * (change * change)) & divides);
            const Pair sq = d * d + price;
            __builtin_memcpy(&squares_[t], &sq, sizeof sq);
        }
    }

    // The members within `bound` into found_square_ / found_bar_ (their count): all of them,
    // or, once enough have been found, a set that still holds the k nearest.
    std::size_t collect(double r, double c, double bound, std::size_t k) {
        // Once the members found are cut to their k nearest, the k-th of them in the full
        // order: a member whose square is at least `tie` (so a distance no smaller) and whose
        // bar comes after `bar` cannot come before it. The bound then narrows to its square.
        double tie = std::numeric_limits<double>::infinity();
        std::size_t bar = std::numeric_limits<std::size_t>::max();
        bool cut = false;
        const auto open = [&](std::size_t node, double f) { return !(f > bound) && !(f >= tie && earliest_[node] > bar); };
        const auto floor_of = [&](std::size_t node) {
            return boxes_[node].empty() ? std::numeric_limits<double>::infinity() : floor(boxes_[node], r, c);
        };
        // A cut costs a selection over the members found: worth it as soon as there are k where
        // the last bar's k-th distance was shared, else once they are clearly too many; after
        // a cut, once they have doubled.
        std::size_t enough = last_tied_ ? k : 4 * k + kLeaf;
        std::size_t found = 0;
        std::array<std::size_t, 2 * 64> stack;
        std::size_t top = 0;
        if (!boxes_[1].empty() && open(1, floor_of(1))) stack[top++] = 1;
        while (top > 0) {
            const std::size_t node = stack[--top];
            if (cut && !open(node, floor_of(node))) continue;  // the k-th has moved since it was pushed
            if (node >= leaves_) {
                const std::size_t leaf = node - leaves_, from = first_[leaf], m = joined_[leaf];
                leaf_squares(r, c, from, m);
                if (found + m > found_square_.size()) {
                    found_square_.resize(2 * (found + m));
                    found_bar_.resize(2 * (found + m));
                }
                if (!cut) {
                    for (std::size_t t = 0; t < m; ++t) {
                        found_square_[found] = squares_[t];
                        found_bar_[found] = point_bar_[from + t];
                        found += !(squares_[t] > bound);
                    }
                } else {
                    for (std::size_t t = 0; t < m; ++t) {
                        const double sq = squares_[t];
                        const std::size_t j = point_bar_[from + t];
                        found_square_[found] = sq;
                        found_bar_[found] = j;
                        found += !(sq > bound) & !((sq >= tie) & (j > bar));
                    }
                }
                if (found >= enough) {
                    const Kth kth = keep_nearest(found, k, bound);
                    found = k;
                    bound = std::min(bound, NearestK::widest_square(kth.square));
                    tie = kth.square;
                    bar = kth.bar;
                    cut = true;
                    enough = 2 * k;
                }
                continue;
            }
            // The nearer child is taken first (pushed last), and of two as near the earlier, so
            // that the k-th tightens soon.
            const std::size_t left = 2 * node, right = left + 1;
            const double fl = floor_of(left), fr = floor_of(right);
            const bool left_first = fl < fr || (fl == fr && earliest_[left] <= earliest_[right]);
            const std::size_t first = left_first ? left : right, second = left_first ? right : left;
            const double f_first = left_first ? fl : fr, f_second = left_first ? fr : fl;
            if (!boxes_[second].empty() && open(second, f_second)) stack[top++] = second;
            if (!boxes_[first].empty() && open(first, f_first)) stack[top++] = first;
        }
        return found;
    }

    // The k-th smallest of found_square_[0 .. found), all at most `most`: counted into buckets
    // of equal width below `most` (the bucket of a square never decreases as it grows), then
    // selected within the bucket that holds it. Without a finite width, by selection alone.
    double kth_smallest(std::size_t found, std::size_t k, double most) {
        constexpr std::size_t kBuckets = 64;
        const double scale = static_cast<double>(kBuckets) / most;
        ranked_.clear();
        if (!(scale > 0.0 && scale < std::numeric_limits<double>::infinity())) {
            ranked_.assign(found_square_.begin(), found_square_.begin() + static_cast<std::ptrdiff_t>(found));
            std::nth_element(ranked_.begin(), ranked_.begin() + static_cast<std::ptrdiff_t>(k - 1), ranked_.end());
            return ranked_[k - 1];
        }
        const auto bucket = [&](double sq) {
            return std::min(kBuckets - 1, static_cast<std::size_t>(sq * scale));
        };
        std::array<std::size_t, kBuckets> count{};
        if (bucket_of_.size() < found) bucket_of_.resize(found_square_.size());
        for (std::size_t t = 0; t < found; ++t) {
            const std::size_t b = bucket(found_square_[t]);
            bucket_of_[t] = static_cast<std::uint8_t>(b);
            ++count[b];
        }
        std::size_t b = 0, before = 0;
        for (; before + count[b] < k; ++b) before += count[b];
        ranked_.resize(count[b] + 1);
        std::size_t held = 0;
        for (std::size_t t = 0; t < found; ++t) {
            ranked_[held] = found_square_[t];
            held += bucket_of_[t] == b;
        }
        ranked_.resize(held);
        const auto rank = static_cast<std::ptrdiff_t>(k - 1 - before);
        std::nth_element(ranked_.begin(), ranked_.begin() + rank, ranked_.end());
        return ranked_[static_cast<std::size_t>(rank)];
    }

    // The k nearest members of (r, c) into chosen_. The search is bounded by a guess from the
    // last bar's k-th distance (nearly always wide enough: the density of points changes
    // slowly), widened when it holds fewer than k members.
    void select_nearest(double r, double c, std::size_t k) {
        double guess = last_kth_ >= 0.0 ? 2.0 * last_kth_ : std::numeric_limits<double>::infinity();
        std::size_t found = 0;
        tied_now_ = false;
        for (int attempt = 0;; ++attempt) {
            found = collect(r, c, wide_square(guess), k);
            if (found >= k) break;
            guess = attempt == 0 && guess > 0.0 ? 16.0 * guess : std::numeric_limits<double>::infinity();
        }
        const Kth kth = keep_nearest(found, k, wide_square(guess));
        last_kth_ = kth.square;
        last_tied_ = tied_now_;
        chosen_.insert(chosen_.end(), found_bar_.begin(), found_bar_.begin() + static_cast<std::ptrdiff_t>(k));
    }

    // The k-th of the members found, in the full order: its square, and a bar such that a member
    // whose square is at least that square and whose bar comes after it is farther.
    struct Kth {
        double square;
        std::size_t bar;
    };

    // Moves the k nearest of found_square_ / found_bar_ [0, found) (k <= found, every square at
    // most `most`) to the front.
    Kth keep_nearest(std::size_t found, std::size_t k, double most) {
        std::size_t kept = found;
        double kth = 0.0;
        if (found == k) {
            for (std::size_t t = 0; t < k; ++t) kth = std::max(kth, found_square_[t]);
        } else if (!last_tied_) {
            // The k-th smallest square settles the k-th distance; those whose root is beyond it go.
            kth = kth_smallest(found, k, most);
            const double bound = NearestK::widest_square(kth);
            kept = 0;
            for (std::size_t t = 0; t < found; ++t) {
                found_square_[kept] = found_square_[t];
                found_bar_[kept] = found_bar_[t];
                kept += !(found_square_[t] > bound);
            }
        }
        if (kept > k) {
            // Distances tie at the k-th (or did at the last bar): the full order decides.
            tied_.clear();
            for (std::size_t t = 0; t < kept; ++t)
                tied_.push_back({std::sqrt(found_square_[t]), found_square_[t], found_bar_[t]});
            std::nth_element(tied_.begin(), tied_.begin() + static_cast<std::ptrdiff_t>(k - 1), tied_.end(),
                             [](const NearestK::Neighbour& a, const NearestK::Neighbour& b) { return NearestK::closer(a, b); });
            for (std::size_t t = 0; t < k; ++t) {
                found_square_[t] = tied_[t].squared;
                found_bar_[t] = tied_[t].index;
            }
            const NearestK::Neighbour& last = tied_[k - 1];
            for (std::size_t t = k; t < kept; ++t) tied_now_ |= tied_[t].distance == last.distance;
            return {last.squared, last.index};
        }
        // Exactly k: the latest of those whose root may equal the k-th's.
        std::size_t bar = 0;
        for (std::size_t t = 0; t < k; ++t)
            if (wide_square(found_square_[t]) >= kth) bar = std::max(bar, found_bar_[t]);
        return {kth, bar};
    }

    std::span<const double> rsi_, close_;
    std::size_t tl_;
    std::vector<std::size_t> leaf_of_;  // the leaf of each future candidate, from bar tl
    std::size_t leaves_ = 1, members_ = 0;
    std::vector<Box> boxes_;             // node 1 the root, node v's children 2v and 2v + 1
    std::vector<std::size_t> earliest_;  // each node's first member (members join in bar order)
    std::vector<std::size_t> first_;     // each leaf's first slot in the point_ arrays
    std::vector<std::size_t> joined_;    // each leaf's members so far
    std::vector<double> point_rsi_, point_close_;  // the members' features, leaf by leaf
    std::vector<std::size_t> point_bar_;
    std::vector<std::size_t> unordered_;  // the bars with a NaN RSI that have joined, in order
    std::vector<double> found_square_, ranked_;
    std::vector<std::uint8_t> bucket_of_;
    std::vector<std::size_t> found_bar_;
    std::vector<NearestK::Neighbour> tied_;
    double last_kth_ = -1.0;  // the last search's k-th smallest square (none yet: negative)
    bool last_tied_ = false, tied_now_ = false;  // whether others shared the k-th distance
    std::array<double, kLeaf + 1> squares_;
    std::vector<std::size_t> chosen_;
    BarOrder order_;
};


// Sorts eight numbers (no NaN) in increasing order by a fixed network of 19 minima and
// maxima, which asks no question of the data.
inline void sort_eight(std::array<double, 8>& v) {
    const auto exchange = [&v](int a, int b) {
        const double x = v[a], y = v[b];
        v[a] = std::min(x, y);
        v[b] = std::max(x, y);
    };
    exchange(0, 2), exchange(1, 3), exchange(4, 6), exchange(5, 7);
    exchange(0, 4), exchange(1, 5), exchange(2, 6), exchange(3, 7);
    exchange(0, 1), exchange(2, 3), exchange(4, 5), exchange(6, 7);
    exchange(2, 4), exchange(3, 5);
    exchange(1, 4), exchange(3, 6);
    exchange(1, 2), exchange(3, 4), exchange(5, 6);
}

// The k nearest of m <= 8 candidates (m >= k; squares never NaN; bars at[] increasing),
// chosen without taking a root: the k-th smallest square s settles it, unless some other
// square could share s's rounded root, and then this declines (returns false). Otherwise
// every root is below s's exactly when the square is, so the nearest are those below s,
// then the earliest of those equal to it. Adds their next-bar directions to `votes` and
// leaves their bars in `chosen` (room for m).
bool select_by_squares(const double* squares, const std::size_t* at, std::size_t m, std::size_t k,
                       const Series& direction, double& votes, std::size_t* chosen) {
    std::array<double, 8> sorted;
    for (std::size_t t = 0; t < 8; ++t) sorted[t] = t < m ? squares[t] : std::numeric_limits<double>::infinity();
    sort_eight(sorted);
    const double kth = sorted[k - 1], kth_wide = wide_square(kth);
    std::size_t below = 0;
    bool shared = false;
    for (std::size_t t = 0; t < m; ++t) {
        const double sq = squares[t];
        below += sq < kth;
        shared |= (sq != kth) & (sq <= kth_wide) & (wide_square(sq) >= kth);
    }
    if (shared) return false;
    std::size_t equal = 0, kept = 0;
    for (std::size_t t = 0; t < m; ++t) {
        const bool at_kth = squares[t] == kth;
        const bool taken = (squares[t] < kth) | (at_kth & (equal + below < k));
        equal += at_kth;
        votes += direction[at[t] + 1] * static_cast<double>(taken);  // +-0.0 when not taken
        chosen[kept] = at[t];
        kept += taken;
    }
    return true;
}

// A clear majority of the k neighbours' next-bar directions sets the bar's signal.
inline void vote(const Series& direction, std::span<const NearestK::Neighbour> chosen, std::size_t k, double& signal) {
    double votes = 0.0;  // a sum of +-1.0: exact in any order
    for (const auto& c : chosen) votes += direction[c.index + 1];
    const double v = votes / static_cast<double>(k);
    if (std::fabs(v) > 0.5) signal = v > 0.0 ? 1.0 : -1.0;
}

// Cuts the candidates within[0, m) (bars at[], increasing) to their k nearest, kept in bar
// order, and returns the square of the k-th of them in the full order.
[[gnu::noinline]] double keep_nearest(double* within, std::size_t* at, std::size_t m, std::size_t k,
                                      std::vector<NearestK::Neighbour>& cut) {
    cut.clear();
    for (std::size_t t = 0; t < m; ++t) cut.push_back({std::sqrt(within[t]), within[t], at[t]});
    std::nth_element(cut.begin(), cut.begin() + static_cast<std::ptrdiff_t>(k - 1), cut.end(),
                     [](const NearestK::Neighbour& a, const NearestK::Neighbour& b) { return NearestK::closer(a, b); });
    const double kth = cut[k - 1].squared;
    std::sort(cut.begin(), cut.begin() + static_cast<std::ptrdiff_t>(k),
              [](const NearestK::Neighbour& a, const NearestK::Neighbour& b) { return a.index < b.index; });
    for (std::size_t t = 0; t < k; ++t) {
        within[t] = cut[t].squared;
        at[t] = cut[t].index;
    }
    return kth;
}

// The SuperTrend search where every feature from bar `first` on is finite, so that no
// distance is NaN. Bar i's candidates are max(i - n, k, first) <= j < i - k.
//
// Per bar: a bound from k known candidates (the latest ones, and the last bar's neighbours
// when all are still candidates: the features vary little from bar to bar, so they bound this
// bar's search closely); the squares of all candidates, two lanes at a time, free of
// branches, and those within the bound, cut to the k nearest whenever they grow many (where
// distances tie the bound does not thin them). Up to eight of them are settled by the k-th
// smallest square; up to 24 are ranked by counting, each against all the others, which asks
// no question of the data; more (a large k) go to the general selection.
void vote_defined(const Series& pf, const Series& tf, const Series& direction, std::size_t k, std::size_t n,
                  std::size_t first, Series& signal) {
    constexpr std::size_t kRanked = 24;
    const std::size_t len = pf.size();
    NearestK nearest(k, n);
    std::array<double, 8> squares;
    std::vector<double> within(n + 1);
    std::vector<std::size_t> at(n + 1), last;
    last.reserve(k);
    std::array<double, kRanked + 1> root;
    std::array<double, kRanked + 1> place;  // 0, 1, 2, ...: a candidate's place among the few
    for (std::size_t t = 0; t < place.size(); ++t) place[t] = static_cast<double>(t);
    std::array<std::size_t, kRanked> chosen;
    const std::size_t enough = 2 * k + kRanked;
    std::vector<NearestK::Neighbour> cut;
    cut.reserve(enough + 8);
    using Pair = double __attribute__((vector_size(16)));
    using Mask = long long __attribute__((vector_size(16)));
    for (std::size_t i = std::max(n, 2 * k + 1); i < len; ++i) {
        const std::size_t lo = std::max({i - n, k, first}), hi = i - k;
        if (hi < lo + k) continue;  // fewer than k candidates
        const double p = pf[i], q = tf[i];
        const auto squared_of = [&](std::size_t j) {
            const double dq = q - tf[j], dp = p - pf[j];
            return dq * dq + dp * dp;
        };
        // Any k candidates bound the search by the largest of their squares: the k latest
        // candidates, and the last neighbours when all are still candidates.
        double seed = 0.0, seed_last = last.size() == k ? 0.0 : std::numeric_limits<double>::infinity();
        for (std::size_t j = hi - k; j < hi; ++j) seed = std::max(seed, squared_of(j));
        for (const std::size_t j : last) {
            const double sq = squared_of(j);  // any bar's features may be read
            seed_last = std::max(seed_last, j >= lo ? sq : std::numeric_limits<double>::infinity());
        }
        double bound = wide_square(std::min(seed, seed_last));

        // Eight candidates at a time: their squares, two lanes at a time (each lane performs
        // the steps of squared_of), and whether any lies within the bound; the rare group
        // that holds one is sifted member by member, free of branches. Where many lie within
        // it (ties: with the k-th distance 0, so is the bound), those found are cut to their k
        // nearest; a later candidate comes after all of them, so from then on only a square
        // below the k-th's can take a place.
        const Pair pv = {p, p}, qv = {q, q};
        const std::size_t count = hi - lo;
        std::size_t m = 0, t = 0;
        for (; t + 8 <= count; t += 8) {
            const Pair bv = {bound, bound};
            Mask any = {0, 0};
            for (std::size_t u = 0; u < 8; u += 2) {
                Pair a, b;
                __builtin_memcpy(&a, &tf[lo + t + u], sizeof a);
                __builtin_memcpy(&b, &pf[lo + t + u], sizeof b);
                const Pair dq = qv - a, dp = pv - b;
                const Pair sq = dq * dq + dp * dp;
                __builtin_memcpy(&squares[u], &sq, sizeof sq);
                any |= sq <= bv;
            }
            if ((any[0] | any[1]) == 0) continue;
            for (std::size_t u = 0; u < 8; ++u) {
                within[m] = squares[u];
                at[m] = lo + t + u;
                m += !(squares[u] > bound);
            }
            if (m >= enough) {
                const double kth = keep_nearest(within.data(), at.data(), m, k, cut);
                m = k;
                bound = kth > 0.0 ? std::bit_cast<double>(std::bit_cast<std::uint64_t>(kth) - 1) : -1.0;
            }
        }
        for (; t < count; ++t) {
            const double sq = squared_of(lo + t);
            within[m] = sq;
            at[m] = lo + t;
            m += !(sq > bound);
        }
        // At least k are within: the last neighbours, or every candidate.
        last.clear();
        double votes = 0.0;  // a sum of +-1.0: exact in any order
        if (m <= 8 && select_by_squares(within.data(), at.data(), m, k, direction, votes, chosen.data())) {
            last.assign(chosen.begin(), chosen.begin() + static_cast<std::ptrdiff_t>(k));
        } else if (m <= kRanked) {
            // A candidate's rank is the count of those closer: a smaller distance, or an equal
            // one at an earlier bar. Two lanes at a time, past the m-th an infinite distance
            // at a later place, which is never closer. No branch asks which are taken: that
            // is anyone's guess.
            const std::size_t pairs = (m + 1) / 2;
            for (t = 0; t < m; ++t) root[t] = std::sqrt(within[t]);
            root[m] = std::numeric_limits<double>::infinity();
            std::size_t kept = 0;
            for (std::size_t a = 0; a < m; ++a) {
                const Pair ra = {root[a], root[a]}, pa = {place[a], place[a]};
                Mask closer = {0, 0};
                for (std::size_t u = 0; u < pairs; ++u) {
                    Pair rb, pb;
                    __builtin_memcpy(&rb, &root[2 * u], sizeof rb);
                    __builtin_memcpy(&pb, &place[2 * u], sizeof pb);
                    closer += (rb < ra) | ((rb == ra) & (pb < pa));  // -1 per closer one
                }
                const bool taken = static_cast<std::size_t>(-(closer[0] + closer[1])) < k;
                votes += direction[at[a] + 1] * static_cast<double>(taken);  // +-0.0 when not taken
                chosen[kept] = at[a];
                kept += taken;
            }
            last.assign(chosen.begin(), chosen.begin() + static_cast<std::ptrdiff_t>(kept));
        } else {
            nearest.restart_near_last([](std::size_t) { return false; }, squared_of);
            for (t = 0; t < m; ++t) nearest.offer(within[t], at[t]);
            for (const auto& c : nearest.nearest()) {
                votes += direction[c.index + 1];
                last.push_back(c.index);
            }
        }
        const double v = votes / static_cast<double>(k);
        if (std::fabs(v) > 0.5) signal[i] = v > 0.0 ? 1.0 : -1.0;
    }
}

// The SuperTrend search where features may be undefined anywhere: each candidate is asked.
void vote_gapped(const Series& pf, const Series& tf, const Series& direction, std::size_t k, std::size_t n,
                 Series& signal) {
    const std::size_t len = pf.size();
    NearestK nearest(k, n);
    for (std::size_t i = n; i < len; ++i) {
        const double p = pf[i], q = tf[i];
        // Up to bar 2k the candidate range [max(i - n, k), i - k) is empty; an undefined point
        // has nothing to compare.
        if (i <= 2 * k || std::isnan(p) || std::isnan(q)) continue;
        const std::size_t lo = std::max<std::size_t>(i - n, k);
        const auto squared_of = [&](std::size_t j) {
            const double dq = q - tf[j], dp = p - pf[j];
            return dq * dq + dp * dp;
        };
        nearest.restart_near_last([&](std::size_t j) { return j >= lo; }, squared_of);
        std::size_t candidates = 0;
        for (std::size_t j = lo; j < i - k; ++j) {
            if (std::isnan(pf[j]) || std::isnan(tf[j])) continue;
            ++candidates;
            nearest.offer(squared_of(j), j);
        }
        if (candidates >= k) vote(direction, nearest.nearest(), k, signal[i]);
    }
}

}  // namespace

Result<AiSuperTrendSeries> ai_supertrend(std::span<const double> high, std::span<const double> low,
                                         std::span<const double> close, std::uint64_t k, std::uint64_t n,
                                         std::uint64_t price_trend, std::uint64_t predict_trend,
                                         std::uint64_t st_length, double st_multiplier) {
    if (auto s = check_opening(close, {{high, "high"}, {low, "low"}, {close, "close"}},
                               {st_length, price_trend, predict_trend, k, n});
        !s)
        return fail(s.error());
    const std::size_t len = close.size();
    if (auto s = check_room(n, k, len); !s) return fail(s.error());
    auto st = trend::supertrend(high, low, close, st_length, st_multiplier);
    if (!st) return fail(st.error());
    auto price = utils::ma::wma(close, price_trend);
    if (!price) return fail(price.error());
    auto trend_line = utils::ma::wma_allow_nan(st->value, predict_trend);
    if (!trend_line) return fail(trend_line.error());
    const Series &pf = *price, &tf = *trend_line, &direction = st->direction;

    AiSuperTrendSeries r{std::move(st->value), direction};
    // Both features, once defined, stay defined and finite for finite data: then a bar's
    // candidates are every bar of its window from the first defined one on, and no distance
    // is NaN. A non-finite or overflowing multiplier can break that; such data is searched
    // bar by bar, asking of each candidate whether it is defined.
    std::size_t first = 0;
    while (first < len && (std::isnan(pf[first]) || std::isnan(tf[first]))) ++first;
    bool finite = true;
    for (std::size_t j = first; j < len; ++j) finite &= std::isfinite(pf[j]) & std::isfinite(tf[j]);
    if (finite)
        vote_defined(pf, tf, direction, k, n, first, r.signal);
    else
        vote_gapped(pf, tf, direction, k, n, r.signal);
    return r;
}

Result<AiMomentumSeries> ai_momentum_index(std::span<const double> close, std::uint64_t k,
                                           std::uint64_t trend_length, std::uint64_t smooth) {
    if (auto s = check_opening(close, {}, {k, trend_length, smooth}); !s) return fail(s.error());
    const std::size_t len = close.size(), tl = trend_length;
    if (auto s = check_room(tl, k, len); !s) return fail(s.error());
    auto rsi = momentum::rsi(close, trend_length);
    if (!rsi) return fail(rsi.error());

    Series prediction = nan_series(len);
    // Bar i has i - 2 tl candidates: the first with k of them is 2 tl + k, the last candidate
    // of all is len - tl - 2.
    const std::size_t first_bar = 2 * tl + k;
    MomentumTree tree(*rsi, close, k, tl, first_bar < len ? len - tl - 1 : tl);
    std::size_t joined = tl;
    for (std::size_t i = first_bar; i < len; ++i) {
        for (; joined < i - tl; ++joined) tree.join(joined);
        // The mean is summed in bar order, so that it does not depend on how the search
        // found the neighbours.
        double sum = 0.0;
        for (const std::size_t j : tree.nearest(i, k)) sum += (*rsi)[j + 1] - (*rsi)[j];
        prediction[i] = sum / static_cast<double>(k);
    }
    auto smoothed = utils::ma::sma_allow_nan(prediction, smooth);
    if (!smoothed) return fail(smoothed.error());
    return AiMomentumSeries{std::move(prediction), std::move(*smoothed)};
}

}  // namespace vorn::indicators::sfg
