#pragma once
// Windows summed afresh from their oldest bar, eight neighbours side by side.
//
// One window at a time, such a sum is a short chain of dependent additions, and the loop's
// speed hung on where the linker happened to place it (a body straddling a 32-byte fetch
// boundary ran at half speed). Neighbouring windows are independent, so eight of them run
// side by side, two to a vector register, each half taking the scalar steps in the scalar
// order: every window's sum is bit for bit the one it has alone, and the additions' latency,
// wherever the loop lies, bounds the loop. The weighted averages, and up to kAfreshUpTo bars
// KAMA's volatility, VWMA and Coppock's weighted sum, are each such sums with a term of their
// own.
#include <array>
#include <cstddef>
#include <type_traits>

#include "utils/fast_path.hpp"
#include "utils/pairs.hpp"

namespace vorn::utils::window_blocks {

using pairs::Pair;

inline constexpr std::size_t kPairs = 4, kWindows = 2 * kPairs;

// The longest window of the plain sums (KAMA's volatility, VWMA's, Coppock's weighted sum) that
// is summed afresh here. Beyond it a window's sums slide (utils::stats::RollingSumWindow,
// RollingSumPair, the weighted mean's window), at a cost that does not grow with the window,
// compensated and rebuilt on their schedule; up to it, a plain sum afresh is as fast or faster,
// and keeps every bit it has always had.
inline constexpr std::size_t kAfreshUpTo = 48;

// A block's sums: [s][q] is sum s of the windows ending at i + 2q (low half) and i + 2q + 1.
template <std::size_t S>
using Sums = std::array<std::array<Pair, kPairs>, S>;

namespace detail {
template <class Out>
inline constexpr std::size_t sums_of = std::tuple_size_v<Out>;
template <>
inline constexpr std::size_t sums_of<Pair> = 1;
}  // namespace detail

// The windows of p >= 1 bars ending at i, i + 1, ..., from i = first, eight at a time while a
// block fits below n: emit(i, sums) for each block. term(k, j) gives the k-th terms (k = 0 the
// oldest bar of its window) of the two windows whose k-th bars are j and j + 1: one Pair (emit
// then receives the block's std::array<Pair, kPairs>) or a std::array<Pair, S> for S sums of
// the same windows (emit receives Sums<S>). Each sum starts from 0.0 and adds its terms from
// the oldest, as a scalar loop over the window does. Returns the first window end left to the
// caller's scalar path (first itself when no block fits). The path counts itself as `Path`.
template <fast_path::Name Path, class Term, class Emit>
[[gnu::always_inline]] inline std::size_t sum_by_eights(std::size_t first, std::size_t n, std::size_t p, Term&& term,
                                                         Emit&& emit) {
    using Out = decltype(term(std::size_t{0}, std::size_t{0}));
    constexpr bool one = std::is_same_v<Out, Pair>;
    constexpr std::size_t S = detail::sums_of<Out>;
    std::size_t i = first;
    if (i + kWindows <= n) fast_path::taken<Path>();
    for (; i + kWindows <= n; i += kWindows) {
        const std::size_t oldest = i + 1 - p;
        Sums<S> acc;
        for (auto& sums : acc)
            for (Pair& a : sums) a = Pair{0.0, 0.0};
        for (std::size_t k = 0; k < p; ++k) {
#pragma GCC unroll 4
            for (std::size_t q = 0; q < kPairs; ++q) {
                const Out t = term(k, oldest + k + 2 * q);
                if constexpr (one) {
                    acc[0][q] += t;
                } else {
#pragma GCC unroll 4
                    for (std::size_t s = 0; s < S; ++s) acc[s][q] += t[s];
                }
            }
        }
        if constexpr (one)
            emit(i, acc[0]);
        else
            emit(i, acc);
    }
    return i;
}

}  // namespace vorn::utils::window_blocks
