#pragma once
// Order statistics of a sliding window over a series known in full: how many of the window's
// values lie below a value, the k-th smallest, and (with Summed) their sum, each in
// O(log window) per question and per value entering or leaving.
//
// The series is cut into blocks of `window` bars; a window always lies within two
// neighbouring blocks. The values of such a pair are sorted once (each block is sorted once
// and merged with its neighbour), so each value has a slot, its place among the pair's
// values, and a Fenwick tree over the slots holds the window's members. When the window
// moves into the next block, the pair moves on by one block and the tree is built afresh
// from the window's members: once every `window` slides, O(window) each time. Memory is
// O(window), allocated once.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "utils/buffer.hpp"
#include "utils/exact_sum.hpp"

namespace vorn::utils::order {

// The largest window the slots' 32-bit numbers serve (two blocks of it, and a tree above).
inline constexpr std::size_t kLargestWindow = std::size_t{1} << 30;

// A tree node: how many members its slots hold.
struct Counted {
    static constexpr bool kCheap = true;  // a step costs less than a mispredicted branch
    std::uint32_t count = 0;

    static Counted of(double) noexcept { return {1}; }
    void add(const Counted& o) noexcept { count += o.count; }
    void gather(const Counted& o) noexcept { count += o.count; }
    void sub(const Counted& o) noexcept { count -= o.count; }
};

using exact::two_product;
using exact::two_sum;

// A tree node: how many members its slots hold and their sum as an unevaluated pair
// hi + lo, |lo| <= 2^-53 |hi|. A step adds a pair exactly but for two roundings in the low
// parts, each within 2^-53 of a quantity below 3 * 2^-53 of the larger of the node's sum and
// the pair added: a node is off its members' exact sum by at most 3 * 2^-105 of that per
// step since it was built (between two builds a node takes at most 2 * window steps, and
// log2(2 * window) in its build). (Sums past 2^1023 overflow: callers scale values that
// large.)
struct Summed {
    static constexpr bool kCheap = false;
    std::uint32_t count = 0;
    double hi = 0.0, lo = 0.0;

    static Summed of(double x) noexcept { return {1, x, 0.0}; }
    void add(const Summed& o) noexcept {
        count += o.count;
        accumulate(o.hi, o.lo);
    }
    void sub(const Summed& o) noexcept {
        count -= o.count;
        accumulate(-o.hi, -o.lo);
    }
    // A sum of a few nodes: the low parts gather in lo apart from the chain of high parts,
    // not renormalised (each step is exact but for 2^-53 of |lo|).
    void gather(const Summed& o) noexcept {
        count += o.count;
        double e;
        two_sum(hi, o.hi, hi, e);
        lo += e + o.lo;
    }
    void accumulate(double x_hi, double x_lo) noexcept {
        double s, e;
        two_sum(hi, x_hi, s, e);
        two_sum(s, e + (lo + x_lo), hi, lo);
    }
};

template <class Node>
class SlidingRanks {
public:
    // NaN values are never members: entering or leaving, they only move the window on.
    // window <= kLargestWindow.
    SlidingRanks(std::span<const double> values, std::size_t window)
        : v_(values), block_(std::max<std::size_t>(window, 1)), keyed_(2 * block_),
          spare_(block_ >= kRadixFrom ? block_ : 0), counts_(8 * 256), value_(2 * block_), slot_(2 * block_),
          first_(2 * block_), tree_(2 * block_ + 2) {
        top_ = std::bit_floor(2 * block_);
        levels_ = static_cast<std::size_t>(std::bit_width(2 * block_));
        sorted_[0] = keyed_.data(), sorted_[1] = keyed_.data() + block_;
        sorted_size_[0] = sort_block(0, sorted_[0]);
        sorted_size_[1] = sort_block(block_, sorted_[1]);
        merge();
        std::fill(tree_.data(), tree_.data() + 2 * block_ + 2, Node{});
    }

    std::size_t size() const noexcept { return total_.count; }

    // values[i] enters, i the index after the last that entered (0 at first).
    void enter(std::size_t i) noexcept {
        if (i - base_ == 2 * block_) [[unlikely]] move_on();
        end_ = i + 1;
        const double x = v_[i];
        if (x != x) return;
        add(slot_[i - base_], Node::of(x));
        total_.add(Node::of(x));
    }
    // values[i] leaves, i the oldest that entered and has not left.
    void leave(std::size_t i) noexcept {
        first_index_ = i + 1;
        const double x = v_[i];
        if (x != x) return;
        sub(slot_[i - base_], Node::of(x));
        total_.sub(Node::of(x));
    }

    // The members in slots below s: those with a value below values()[s] and, of the equal
    // ones, those sorted before s.
    Node below(std::uint32_t s) const noexcept {
        Node acc{};
        if constexpr (Node::kCheap) {
            // As many steps for every slot (node 0 stays empty).
            for (std::size_t k = s, step = 0; step < levels_; ++step, k &= k - 1) acc.gather(tree_[k]);
        } else {
            for (std::size_t k = s; k > 0; k &= k - 1) acc.gather(tree_[k]);
        }
        return acc;
    }
    // The members with a value below x: a descent of the tree that keeps each node whose
    // slots all hold smaller values (its last one does, as the slots are in value order).
    Node below_value(double x) const noexcept {
        Node acc{};
        std::size_t at = 0;
        for (std::size_t step = top_; step != 0; step >>= 1) {
            const std::size_t next = at + step;
            if (next <= ranked_ && value_[next - 1] < x) {
                acc.gather(tree_[next]);
                at = next;
            }
        }
        return acc;
    }
    // All members.
    const Node& total() const noexcept { return total_; }
    // The members below values[i] (strictly), i a member.
    std::uint32_t count_below(std::size_t i) const noexcept { return below(first_[i - base_]).count; }
    // The slot of the r-th smallest member, r = 1 .. size().
    std::uint32_t select(std::size_t r) const noexcept {
        std::size_t at = 0;
        for (std::size_t step = top_; step != 0; step >>= 1) {
            const std::size_t next = at + step;
            const std::size_t node = next <= 2 * block_ ? next : 0;
            const bool keep = (node != 0) & (tree_[node].count < r);
            at = keep ? next : at;
            r -= keep ? tree_[node].count : 0;
        }
        return static_cast<std::uint32_t>(at);
    }
    // The pair's values in slot order (members or not), ranked() of them.
    const double* values() const noexcept { return value_.data(); }
    std::uint32_t ranked() const noexcept { return ranked_; }

private:
    struct Keyed {
        double value;
        std::uint32_t at;  // within its block
    };
    // Blocks shorter than this are sorted by comparisons.
    static constexpr std::uint32_t kRadixFrom = 512;

    // Counts take as many steps for every slot, those past the tree into node 2 * block + 1,
    // never read: no loop exit to mispredict. A sum's steps past the tree would chain on
    // that node, so sums stop at the tree's end.
    void add(std::uint32_t s, const Node& x) noexcept {
        std::size_t k = std::size_t{s} + 1;
        if constexpr (Node::kCheap) {
            for (std::size_t step = 0; step < levels_; ++step, k += k & (~k + 1))
                tree_[k <= 2 * block_ ? k : 2 * block_ + 1].add(x);
        } else {
            for (; k <= 2 * block_; k += k & (~k + 1)) tree_[k].add(x);
        }
    }
    void sub(std::uint32_t s, const Node& x) noexcept {
        std::size_t k = std::size_t{s} + 1;
        if constexpr (Node::kCheap) {
            for (std::size_t step = 0; step < levels_; ++step, k += k & (~k + 1))
                tree_[k <= 2 * block_ ? k : 2 * block_ + 1].sub(x);
        } else {
            for (; k <= 2 * block_; k += k & (~k + 1)) tree_[k].sub(x);
        }
    }

    // The block's values but NaN, sorted into out; their number.
    std::uint32_t sort_block(std::size_t start, Keyed* out) noexcept {
        std::uint32_t m = 0;
        const std::size_t end = std::min(start + block_, v_.size());
        for (std::size_t i = start; i < end; ++i)
            if (v_[i] == v_[i]) out[m++] = {v_[i], static_cast<std::uint32_t>(i - start)};
        if (m < kRadixFrom) std::sort(out, out + m, [](const Keyed& a, const Keyed& b) { return a.value < b.value; });
        else radix_sort(out, m);
        return m;
    }

    // The value's bits as an unsigned number in the values' order (-0.0 just below 0.0).
    static std::uint64_t key(double x) noexcept {
        const auto bits = std::bit_cast<std::uint64_t>(x);
        return (bits >> 63) != 0 ? ~bits : bits | (std::uint64_t{1} << 63);
    }

    // Longer blocks are sorted by their keys' bytes, least significant first, each a stable
    // counting pass; a byte that all keys share costs no pass (the high ones, mostly).
    void radix_sort(Keyed* a, std::uint32_t m) noexcept {
        std::uint32_t* count = counts_.data();
        std::fill(count, count + 8 * 256, 0u);
        for (std::uint32_t k = 0; k < m; ++k) {
            const std::uint64_t x = key(a[k].value);
            for (unsigned b = 0; b < 8; ++b) ++count[b * 256 + ((x >> (8 * b)) & 0xFF)];
        }
        Keyed *from = a, *to = spare_.data();
        for (unsigned b = 0; b < 8; ++b) {
            std::uint32_t* c = count + b * 256;
            if (c[(key(from[0].value) >> (8 * b)) & 0xFF] == m) continue;
            std::uint32_t at = 0;
            for (unsigned d = 0; d < 256; ++d) at += std::exchange(c[d], at);
            for (std::uint32_t k = 0; k < m; ++k) to[c[(key(from[k].value) >> (8 * b)) & 0xFF]++] = from[k];
            std::swap(from, to);
        }
        if (from != a) std::copy(from, from + m, a);
    }

    // Slots for the pair from its two sorted blocks; first_ the lowest slot of each value's
    // equals.
    void merge() noexcept {
        const Keyed *a = sorted_[0], *b = sorted_[1];
        const std::uint32_t na = sorted_size_[0], nb = sorted_size_[1];
        std::uint32_t ia = 0, ib = 0, s = 0, first = 0;
        while (ia < na || ib < nb) {
            const bool from_a = ib == nb || (ia < na && !(b[ib].value < a[ia].value));
            const Keyed& k = from_a ? a[ia++] : b[ib++];
            const std::size_t at = k.at + (from_a ? 0 : block_);
            if (s == 0 || value_[s - 1] < k.value) first = s;
            value_[s] = k.value;
            slot_[at] = s;
            first_[at] = first;
            ++s;
        }
        ranked_ = s;
    }

    // The pair moves on by one block; the window's members all lie in the block that stays.
    void move_on() noexcept {
        base_ += block_;
        std::swap(sorted_[0], sorted_[1]);
        std::swap(sorted_size_[0], sorted_size_[1]);
        sorted_size_[1] = sort_block(base_ + block_, sorted_[1]);
        merge();
        Node* t = tree_.data();
        std::fill(t, t + 2 * block_ + 1, Node{});
        total_ = Node{};
        for (std::size_t i = first_index_; i < end_; ++i)
            if (v_[i] == v_[i]) {
                t[slot_[i - base_] + 1] = Node::of(v_[i]);
                total_.add(Node::of(v_[i]));
            }
        for (std::size_t k = 1; k <= 2 * block_; ++k) {
            const std::size_t up = k + (k & (~k + 1));
            if (up <= 2 * block_) t[up].add(t[k]);
        }
    }

    std::span<const double> v_;
    std::size_t block_;
    Scratch<Keyed> keyed_, spare_;
    Scratch<std::uint32_t> counts_;
    Keyed* sorted_[2];
    std::uint32_t sorted_size_[2] = {0, 0};
    Scratch<double> value_;
    Scratch<std::uint32_t> slot_, first_;
    Scratch<Node> tree_;
    Node total_{};
    std::size_t top_ = 1, levels_ = 1, base_ = 0, first_index_ = 0, end_ = 0;
    std::uint32_t ranked_ = 0;
};

}  // namespace vorn::utils::order
