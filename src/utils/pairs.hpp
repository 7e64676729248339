#pragma once
// Two doubles side by side in one vector register, written with GCC/Clang vector extensions:
// each target picks its own instructions (SSE2 on x86-64, Advanced SIMD on aarch64, a pair of
// scalars where there is no vector unit). Every operation acts on each half alone, as the
// scalar operation does, so a half computes bit for bit what scalar code computes; nothing
// here fuses a multiply with an add, and -ffp-contract=off keeps the compiler from doing so.
// Where GCC misses the one x86 instruction for a portable form (min, max, any, root), SSE2
// builds name it, with the same result; every other target compiles the portable form.
#include <cmath>
#include <cstdint>

namespace vorn::utils::pairs {

using Pair = double __attribute__((vector_size(16)));
// A comparison's result: all ones in a half where it holds, zero where it does not.
using Mask = long long __attribute__((vector_size(16)));

inline Pair both(double x) noexcept { return Pair{x, x}; }

// Two neighbouring doubles from anywhere in memory (no alignment asked), and back. Read as
// one vector, not copied in (a copy may be split into two integer loads and met again
// through the stack when the compiler is short of vector registers).
using Unaligned = double __attribute__((vector_size(16), aligned(8), may_alias));
inline Pair load(const double* p) noexcept { return *reinterpret_cast<const Unaligned*>(p); }
inline void store(double* p, Pair v) noexcept { *reinterpret_cast<Unaligned*>(p) = v; }
// Two whole numbers (a Mask's halves) into neighbouring 64-bit integers.
using UnalignedMask = long long __attribute__((vector_size(16), aligned(8), may_alias));
inline void store(std::uint64_t* p, Mask v) noexcept { *reinterpret_cast<UnalignedMask*>(p) = v; }

// The bits of each half as an integer.
inline Mask bits(Pair x) noexcept { return reinterpret_cast<Mask>(x); }

// Lanes whose value is finite: x - x is 0 exactly for finite x, NaN otherwise.
inline Mask finite(Pair x) noexcept { return (x - x) == Pair{0.0, 0.0}; }

inline Pair select(Mask m, Pair yes, Pair no) noexcept { return reinterpret_cast<Pair>((bits(yes) & m) | (bits(no) & ~m)); }

// The magnitude of each half: its sign bit cleared, as std::fabs clears it.
inline Pair abs(Pair x) noexcept {
    constexpr long long kMagnitude = 0x7FFFFFFFFFFFFFFFll;
    return reinterpret_cast<Pair>(bits(x) & Mask{kMagnitude, kMagnitude});
}

// The smaller and the larger of each half as the comparison written here picks them: `b`
// where the two are equal (0.0 and -0.0 too) or either is NaN. That is what x86's MINPD and
// MAXPD do; GCC finds them for the comparisons, but not when one side is a constant (it
// selects by masks then, four instructions), so on x86 they are asked for by name.
inline Pair min(Pair a, Pair b) noexcept {
#if defined(__SSE2__)
    return __builtin_ia32_minpd(a, b);
#else
    return a < b ? a : b;
#endif
}
inline Pair max(Pair a, Pair b) noexcept {
#if defined(__SSE2__)
    return __builtin_ia32_maxpd(a, b);
#else
    return a > b ? a : b;
#endif
}

// a <= b in each half, and both of two such masks. GCC keeps a portable comparison as a
// vector of truth values and, asked for MOVMSKPD of it, rebuilds each half from its lowest
// bit (ten instructions); on x86 the instructions are asked for by name.
inline Mask le(Pair a, Pair b) noexcept {
#if defined(__SSE2__)
    return reinterpret_cast<Mask>(__builtin_ia32_cmplepd(a, b));
#else
    return a <= b;
#endif
}
inline Mask both_of(Mask a, Mask b) noexcept {
#if defined(__SSE2__)
    return reinterpret_cast<Mask>(__builtin_ia32_andpd(reinterpret_cast<Pair>(a), reinterpret_cast<Pair>(b)));
#else
    return a & b;
#endif
}

// Whether a comparison held in either half: on x86 by MOVMSKPD, which GCC does not find for
// the portable form (five instructions, not two). Elsewhere the lowest bit tells, as a
// comparison's halves are all ones or zero: GCC keeps an or of two comparisons as a vector
// of truth values, and asked for whole halves it rebuilds them from that bit, one at a time.
inline bool any(Mask m) noexcept {
#if defined(__SSE2__)
    return __builtin_ia32_movmskpd(reinterpret_cast<Pair>(m)) != 0;
#else
    return ((m[0] | m[1]) & 1) != 0;
#endif
}

// The halves in which a comparison held, as bits 0 and 1 (MOVMSKPD on x86).
inline int halves(Mask m) noexcept {
#if defined(__SSE2__)
    return __builtin_ia32_movmskpd(reinterpret_cast<Pair>(m));
#else
    return static_cast<int>((m[0] & 1) | ((m[1] & 1) << 1));
#endif
}

// The square root of each half, correctly rounded as std::sqrt rounds it. std::sqrt on each
// half would keep the call that sets errno for a negative argument, which no vector form has.
inline Pair root(Pair x) noexcept {
#if defined(__SSE2__)
    return __builtin_ia32_sqrtpd(x);
#else
    return Pair{std::sqrt(x[0]), std::sqrt(x[1])};
#endif
}

}  // namespace vorn::utils::pairs
