#pragma once
// The one loop, validation and fill behind every candlestick detector. A detector is a
// rule over the bars of its pattern plus its parameters:
//
//   return detect<3>(four_series(open, high, low, close),
//                    [](Bar b1, Bar b2, Bar b3) { return mark(..., -1.0); });
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

// One bar, read on demand, with the candle vocabulary. The validated detectors see finite
// prices only, so the plain std::min/std::max of open and close are exact.
struct Bar {
    const Bars* s;
    std::size_t i;

    double o() const { return s->open[i]; }
    double h() const { return s->high[i]; }
    double l() const { return s->low[i]; }
    double c() const { return s->close[i]; }

    double body() const { return std::abs(c() - o()); }
    double range() const { return h() - l(); }
    double top() const { return std::max(o(), c()); }
    double bottom() const { return std::min(o(), c()); }
    double upper() const { return h() - top(); }
    double lower() const { return bottom() - l(); }
    double mid() const { return (o() + c()) / 2; }
    bool bullish() const { return c() > o(); }
    bool bearish() const { return c() < o(); }
    bool doji(double threshold) const { return (range() > 0) & (body() / range() < threshold); }
    // The bar k places earlier.
    Bar back(std::size_t k) const { return {s, i - k}; }
};

// The signal where a pattern fires, else +0.0. Written without a branch on purpose: whether
// a pattern holds is data-dependent, and a mispredicted branch per bar costs more than the
// whole rule.
inline double mark(bool fires, double signal) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(signal) & (std::uint64_t{0} - fires));
}
// +1.0 when up, else -1.0.
inline double unit(bool up) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(1.0) | (std::uint64_t{!up} << 63));
}
// The bullish form wins where both could hold.
inline double either(bool bullish_form, bool bearish_form) {
    return mark(bullish_form | bearish_form, unit(bullish_form));
}
// +1.0 on a bullish bar, -1.0 otherwise.
inline double by_colour(bool fires, Bar b) { return mark(fires, unit(b.bullish())); }

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

// Bars before `first` get 0.0 and every later bar the value of rule(i); when no bar
// reaches `first` the whole output keeps its start value.
template <class Rule>
Series run(const Bars& b, std::size_t first, Start start, Rule&& rule) {
    if (b.n <= first) return Series(b.n, start == Start::nan ? std::numeric_limits<double>::quiet_NaN() : 0.0);
    Series out(b.n);
    double* o = out.data();
    for (std::size_t i = first; i < b.n; ++i) o[i] = rule(i);
    return out;
}

// Runs a rule over bars 1..W of every window, the signal on bar W.
template <std::size_t W, Start S = Start::nan, class Rule>
Series scan(const Bars& b, Rule rule) {
    static_assert(W >= 1);
    return run(b, W - 1, S, [&](std::size_t i) {
        return [&]<std::size_t... K>(std::index_sequence<K...>) {
            return rule(Bar{&b, i + 1 - W + K}...);
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
inline double mean_body(Bar last, std::size_t count, std::size_t skip = 0) {
    double sum = 0.0;
    for (std::size_t k = count + skip; k > skip; --k) sum += last.back(k - 1).body();
    return sum / static_cast<double>(count);
}

}  // namespace vorn::indicators::candlestick
