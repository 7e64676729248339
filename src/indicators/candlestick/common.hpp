#pragma once
// The one loop, validation and fill behind every candlestick detector. A detector is a
// rule over the bars of its pattern plus its parameters:
//
//   return detect<3>(four_series(open, high, low, close),
//                    [](auto b1, auto b2, auto b3) { return mark(..., -1.0); });
//
// The rule sees bar 1 (the oldest) to bar W (the bar that receives the value) and returns
// 1.0, -1.0 or 0.0. Rules combine their conditions with `&` rather than `&&`: every
// condition is a cheap comparison without side effects, and evaluating all of them costs
// no branch per bar where a short circuit would mispredict on real prices.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstddef>
#include <limits>
#include <span>
#include <type_traits>
#include <utility>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::candlestick {

using In = std::span<const double>;

// The series of one call. A series the detector does not take stays null and is never read.
struct Bars {
    const double* open = nullptr;
    const double* high = nullptr;
    const double* low = nullptr;
    const double* close = nullptr;
    std::size_t n = 0;
};

// A rule is judged on one bar at a time (lane type double) or on two neighbouring bars at
// once (Pair, two doubles side by side): every condition is a comparison of the bar's own
// prices, so both lanes of a Pair compute exactly what two single-bar calls would, and a
// pair of bars costs about what one bar costs alone. Comparisons give bool for a double
// and a Mask (all ones or all zeros per lane) for a Pair; `&`, `|` and the helpers below
// take either.
typedef double Pair __attribute__((vector_size(16)));
using Mask = decltype(Pair{} < Pair{});

template <class L>
[[gnu::always_inline]] inline L load(const double* p) {
    if constexpr (std::is_same_v<L, double>) {
        return *p;
    } else {
        L v;
        __builtin_memcpy(&v, p, sizeof v);
        return v;
    }
}

// |x|: the sign bit cleared, as std::abs does.
inline double magnitude(double x) { return std::abs(x); }
inline Pair magnitude(Pair x) { return (Pair)((Mask)x & ~(Mask)Pair{-0.0, -0.0}); }
// std::max and std::min spelled out, so that a Pair picks the same operand in each lane.
template <class L>
[[gnu::always_inline]] inline L larger(L a, L b) {
    return (a < b) ? b : a;
}
template <class L>
[[gnu::always_inline]] inline L smaller(L a, L b) {
    return (b < a) ? b : a;
}
// std::isfinite: x - x is 0 for a finite x and NaN otherwise.
inline bool finite(double x) { return std::isfinite(x); }
inline Mask finite(Pair x) { return (x - x) == 0.0; }

// A condition true in every lane.
template <class L>
auto holds() {
    if constexpr (std::is_same_v<L, double>)
        return true;
    else
        return Mask{} == Mask{};
}

// One bar (or two neighbours), read on demand, with the candle vocabulary. The validated
// detectors see finite prices only, so the plain max/min of open and close are exact.
template <class L>
struct LaneBar {
    const Bars* s;
    std::size_t i;

    L o() const { return load<L>(s->open + i); }
    L h() const { return load<L>(s->high + i); }
    L l() const { return load<L>(s->low + i); }
    L c() const { return load<L>(s->close + i); }

    L body() const { return magnitude(c() - o()); }
    L range() const { return h() - l(); }
    L top() const { return larger(o(), c()); }
    L bottom() const { return smaller(o(), c()); }
    L upper() const { return h() - top(); }
    L lower() const { return bottom() - l(); }
    L mid() const { return (o() + c()) / 2; }
    auto bullish() const { return c() > o(); }
    auto bearish() const { return c() < o(); }
    auto doji(double threshold) const { return (range() > 0) & (body() / range() < threshold); }
    // The bar k places earlier.
    LaneBar back(std::size_t k) const { return {s, i - k}; }
};
using Bar = LaneBar<double>;

// The signal where a pattern fires, else +0.0. Written without a branch on purpose: whether
// a pattern holds is data-dependent, and a mispredicted branch per bar costs more than the
// whole rule.
inline double mark(bool fires, double signal) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(signal) & (std::uint64_t{0} - fires));
}
inline Pair mark(Mask fires, Pair signal) { return (Pair)(fires & (Mask)signal); }
inline Pair mark(Mask fires, double signal) { return mark(fires, Pair{signal, signal}); }
// +1.0 when up, else -1.0.
inline double unit(bool up) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(1.0) | (std::uint64_t{!up} << 63));
}
inline Pair unit(Mask up) { return (Pair)((Mask)Pair{1.0, 1.0} | (~up & (Mask)Pair{-0.0, -0.0})); }
// The bullish form wins where both could hold.
inline double either(bool bullish_form, bool bearish_form) {
    return mark(bullish_form | bearish_form, unit(bullish_form));
}
inline Pair either(Mask bullish_form, Mask bearish_form) {
    return mark(bullish_form | bearish_form, unit(bullish_form));
}
// +1.0 on a bullish bar, -1.0 otherwise.
template <class L, class T>
[[gnu::always_inline]] inline auto by_colour(T fires, LaneBar<L> b) {
    return mark(fires, unit(b.bullish()));
}

// The three validation orders; each returns the series as bars or the first failure.
// open first, then high, low and close against it.
Result<Bars> four_series(In open, In high, In low, In close);
// open, then close against it.
Result<Bars> two_series(In open, In close);
// The side series first, then close against it, open last (its length reported against close).
Result<Bars> open_high_close(In open, In high, In close);
Result<Bars> open_low_close(In open, In low, In close);

// A short input stays NaN in the detectors that start from NaN, and 0.0 in the others.
enum class Start { nan, zero };

// The lane type a rule is asked for.
template <class L>
struct Lanes {
    using type = L;
};

// Bars before `first` get 0.0 and every later bar the value of rule(Lanes<L>{}, i) (for a
// Pair, the values of bars i and i + 1); when no bar reaches `first` the whole output keeps
// its start value.
template <class Rule>
Series run(const Bars& b, std::size_t first, Start start, Rule&& rule) {
    if (b.n <= first) return Series(b.n, start == Start::nan ? utils::NaN : 0.0);
    Pair pair{};
    return utils::generated<Series>(b.n, [&](std::size_t i) {
        if (i < first) return 0.0;
        if ((i - first) & 1) return pair[1];
        if (i + 1 < b.n) {
            pair = rule(Lanes<Pair>{}, i);
            return pair[0];
        }
        return rule(Lanes<double>{}, i);
    });
}

// Runs a rule over bars 1..W of every window, the signal on bar W.
template <std::size_t W, Start S = Start::nan, class Rule>
Series scan(const Bars& b, Rule rule) {
    static_assert(W >= 1);
    return run(b, W - 1, S, [&]<class L>(Lanes<L>, std::size_t i) {
        return [&]<std::size_t... K>(std::index_sequence<K...>) {
            return rule(LaneBar<L>{&b, i + 1 - W + K}...);
        }(std::make_index_sequence<W>{});
    });
}

template <std::size_t W, Start S = Start::nan, class Rule>
Result<Series> detect(const Result<Bars>& b, Rule rule) {
    if (!b) return fail(b.error());
    return scan<W, S>(*b, rule);
}

// Mean body of the `count` bars ending `skip` bars before `last`, summed oldest first
// afresh on every call: carrying the sum would round differently.
template <class L>
L mean_body(LaneBar<L> last, std::size_t count, std::size_t skip = 0) {
    L sum{};
    for (std::size_t k = count + skip; k > skip; --k) sum += last.back(k - 1).body();
    return sum / static_cast<double>(count);
}

}  // namespace vorn::indicators::candlestick
