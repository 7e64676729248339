#include "indicators/math.hpp"

#include <cstdint>
#include <cmath>
#include <limits>
#include <string>

#include "utils/constants.hpp"
#include "utils/series.hpp"
#include "utils/stats.hpp"

namespace vorn::indicators::math {

namespace stats = utils::stats;
using errors::validation::validate_period;
using errors::validation::validate_series;

namespace {

// An operation applies to any finite element unless it names a domain; `refuses` is then
// the test and `rule` the message's text ahead of the offending value.
struct Total {
    static bool refuses(double) { return false; }
    static constexpr const char* rule = "";
};

struct Sqrt {
    static double apply(double x) { return std::sqrt(x); }
    static bool refuses(double x) { return x < 0.0; }  // -0.0 is accepted and gives -0.0
    static constexpr const char* rule = "values must be >= 0 for sqrt, got ";
};
struct Ln {
    static double apply(double x) { return std::log(x); }
    static bool refuses(double x) { return x <= 0.0; }
    static constexpr const char* rule = "values must be > 0 for ln, got ";
};
struct Log10 {
    static double apply(double x) { return std::log10(x); }
    static bool refuses(double x) { return x <= 0.0; }
    static constexpr const char* rule = "values must be > 0 for log10, got ";
};
struct Asin {
    static double apply(double x) { return std::asin(x); }
    static bool refuses(double x) { return std::fabs(x) > 1.0; }
    static constexpr const char* rule = "values must be in [-1, 1] for asin, got ";
};
struct Acos {
    static double apply(double x) { return std::acos(x); }
    static bool refuses(double x) { return std::fabs(x) > 1.0; }
    static constexpr const char* rule = "values must be in [-1, 1] for acos, got ";
};
struct Exp : Total { static double apply(double x) { return std::exp(x); } };
struct Abs : Total { static double apply(double x) { return std::fabs(x); } };
struct Ceil : Total { static double apply(double x) { return std::ceil(x); } };
struct Floor : Total { static double apply(double x) { return std::floor(x); } };
struct Sin : Total { static double apply(double x) { return std::sin(x); } };
struct Cos : Total { static double apply(double x) { return std::cos(x); } };
struct Tan : Total { static double apply(double x) { return std::tan(x); } };
struct Atan : Total { static double apply(double x) { return std::atan(x); } };
struct Sinh : Total { static double apply(double x) { return std::sinh(x); } };
struct Cosh : Total { static double apply(double x) { return std::cosh(x); } };
struct Tanh : Total { static double apply(double x) { return std::tanh(x); } };

// The whole series is checked for non-finite values before any domain test.
template <class Op>
Result<Series> unary(std::span<const double> values) {
    if (auto s = validate_series(values, "values"); !s) return fail(s.error());
    for (std::size_t i = 0; i < values.size(); ++i)
        if (Op::refuses(values[i])) return fail(VornError::invalid_value(i, Op::rule + format_float(values[i])));
    return utils::generated<Series>(values.size(), [&](std::size_t i) { return Op::apply(values[i]); });
}

Status check_pair(std::span<const double> values1, std::span<const double> values2) {
    if (values1.empty()) return fail(VornError::empty_input("values1"));
    if (values2.empty()) return fail(VornError::empty_input("values2"));
    if (values1.size() != values2.size())
        return fail(VornError::length_mismatch("values1", values1.size(), "values2", values2.size()));
    if (auto s = validate_series(values1, "values1"); !s) return s;
    return validate_series(values2, "values2");
}

template <class Op>
Result<Series> binary(std::span<const double> values1, std::span<const double> values2, Op op) {
    if (auto s = check_pair(values1, values2); !s) return fail(s.error());
    return utils::generated<Series>(values1.size(), [&](std::size_t i) { return op(values1[i], values2[i]); });
}

Status check_window(std::span<const double> values, std::uint64_t period) {
    if (auto s = validate_series(values, "values"); !s) return s;
    return validate_period(period, values.size());
}

using utils::NaN;
using utils::kDivisionGuard;

// better(a, b) is the exact a < b ? a : b (a > b ? a : b), a plain min (max) instruction.
struct Below {
    static bool beats(double a, double b) noexcept { return a < b; }
    static double better(double a, double b) noexcept { return a < b ? a : b; }
};
struct Above {
    static bool beats(double a, double b) noexcept { return a > b; }
    static double better(double a, double b) noexcept { return a > b ? a : b; }
};

// Only a strictly better value displaces a bar, so of equal extremes the oldest stays: the
// tie-break of a left-to-right scan of each window. A candidate carries its value beside its
// index, and the index is chosen through a mask, so that no step waits on a load or a
// mispredicted branch.
struct Bar {
    double value;
    std::int64_t index;
};

template <class Order>
Bar oldest(Bar later, Bar earlier) noexcept {
    const std::int64_t take_later = -static_cast<std::int64_t>(Order::beats(later.value, earlier.value));
    return {Order::better(later.value, earlier.value), (later.index & take_later) | (earlier.index & ~take_later)};
}

// The lowest and the highest bar of each window in one pass; the kept suffix extremes are
// bar indices parked in the two output series until their windows are written.
struct LowHigh {
    struct Cand {
        Bar low, high;
    };
    const double* v;
    double* lows;
    double* highs;
    Cand at(std::size_t i) const noexcept {
        const Bar b{v[i], static_cast<std::int64_t>(i)};
        return {b, b};
    }
    static Cand pick(Cand later, Cand earlier) noexcept {
        return {oldest<Below>(later.low, earlier.low), oldest<Above>(later.high, earlier.high)};
    }
    void keep(std::size_t i, Cand c) const noexcept {
        lows[i] = static_cast<double>(c.low.index);
        highs[i] = static_cast<double>(c.high.index);
    }
    Cand kept(std::size_t i) const noexcept {
        const auto lo = static_cast<std::size_t>(static_cast<std::int64_t>(lows[i]));
        const auto hi = static_cast<std::size_t>(static_cast<std::int64_t>(highs[i]));
        return {at(lo).low, at(hi).high};
    }
};

// The window extremes of validated (finite) values by blocks, with the shared rolling
// extremes' pick: of equal values (0.0 and -0.0) the later one stays.
template <class Order>
struct Extreme {
    using Cand = double;
    const double* v;
    double* slot;
    double at(std::size_t i) const noexcept { return v[i]; }
    static double pick(double later, double earlier) noexcept {
        return Order::beats(earlier, later) ? earlier : later;
    }
    void keep(std::size_t i, double c) const noexcept { slot[i] = c; }
    double kept(std::size_t i) const noexcept { return slot[i]; }
};

template <class Order>
Series window_extreme(std::span<const double> values, std::uint64_t period) {
    const std::size_t n = values.size();
    Series out(n, NaN);
    stats::window::block_extremes(Extreme<Order>{values.data(), out.data()}, n, static_cast<std::size_t>(period),
                                  [&](std::size_t i, double c) { out[i] = c; });
    return out;
}

// Both extremes in one pass; the kept suffix extremes share the output slots.
struct Extremes {
    struct Cand {
        double low, high;
    };
    const double* v;
    double* lows;
    double* highs;
    Cand at(std::size_t i) const noexcept { return {v[i], v[i]}; }
    static Cand pick(Cand later, Cand earlier) noexcept {
        return {Extreme<Below>::pick(later.low, earlier.low), Extreme<Above>::pick(later.high, earlier.high)};
    }
    void keep(std::size_t i, Cand c) const noexcept {
        lows[i] = c.low;
        highs[i] = c.high;
    }
    Cand kept(std::size_t i) const noexcept { return {lows[i], highs[i]}; }
};

}  // namespace

Result<Series> sqrt(std::span<const double> values) { return unary<Sqrt>(values); }
Result<Series> ln(std::span<const double> values) { return unary<Ln>(values); }
Result<Series> log10(std::span<const double> values) { return unary<Log10>(values); }
Result<Series> exp(std::span<const double> values) { return unary<Exp>(values); }
Result<Series> abs(std::span<const double> values) { return unary<Abs>(values); }
Result<Series> ceil(std::span<const double> values) { return unary<Ceil>(values); }
Result<Series> floor(std::span<const double> values) { return unary<Floor>(values); }
Result<Series> sin(std::span<const double> values) { return unary<Sin>(values); }
Result<Series> cos(std::span<const double> values) { return unary<Cos>(values); }
Result<Series> tan(std::span<const double> values) { return unary<Tan>(values); }
Result<Series> asin(std::span<const double> values) { return unary<Asin>(values); }
Result<Series> acos(std::span<const double> values) { return unary<Acos>(values); }
Result<Series> atan(std::span<const double> values) { return unary<Atan>(values); }
Result<Series> sinh(std::span<const double> values) { return unary<Sinh>(values); }
Result<Series> cosh(std::span<const double> values) { return unary<Cosh>(values); }
Result<Series> tanh(std::span<const double> values) { return unary<Tanh>(values); }

Result<Series> add(std::span<const double> values1, std::span<const double> values2) {
    return binary(values1, values2, [](double a, double b) { return a + b; });
}

Result<Series> sub(std::span<const double> values1, std::span<const double> values2) {
    if (auto s = check_pair(values1, values2); !s) return fail(s.error());
    return utils::series_difference(values1, values2);
}

Result<Series> mult(std::span<const double> values1, std::span<const double> values2) {
    return binary(values1, values2, [](double a, double b) { return a * b; });
}

Result<Series> div(std::span<const double> values1, std::span<const double> values2) {
    if (auto s = check_pair(values1, values2); !s) return fail(s.error());
    Series out(values1.size());
    for (std::size_t i = 0; i < values1.size(); ++i) {
        const double d = values2[i];
        if (std::fabs(d) < kDivisionGuard)
            return fail(VornError::invalid_value(i, "values2 contains zero divisor: " + format_float(d)));
        out[i] = values1[i] / d;
    }
    return out;
}

Result<Series> max(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_window(values, period); !s) return fail(s.error());
    return window_extreme<Above>(values, period);
}

Result<Series> min(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_window(values, period); !s) return fail(s.error());
    return window_extreme<Below>(values, period);
}

Result<Series> sum(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_window(values, period); !s) return fail(s.error());
    return stats::rolling_sum_kahan(values, period);
}

Result<MinMaxSeries> minmax(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_window(values, period); !s) return fail(s.error());
    const std::size_t n = values.size();
    MinMaxSeries out{Series(n, NaN), Series(n, NaN)};
    stats::window::block_extremes(Extremes{values.data(), out.min.data(), out.max.data()}, n,
                                  static_cast<std::size_t>(period), [&](std::size_t i, Extremes::Cand c) {
                                      out.min[i] = c.low;
                                      out.max[i] = c.high;
                                  });
    return out;
}

Result<MinMaxSeries> minmaxindex(std::span<const double> values, std::uint64_t period) {
    if (auto s = check_window(values, period); !s) return fail(s.error());
    const std::size_t n = values.size();
    const std::size_t p = static_cast<std::size_t>(period);
    MinMaxSeries out{Series(n, NaN), Series(n, NaN)};
    stats::window::block_extremes(LowHigh{values.data(), out.min.data(), out.max.data()}, n, p,
                                  [&](std::size_t i, LowHigh::Cand c) {
                                      const auto oldest_bar = static_cast<std::int64_t>(i + 1 - p);
                                      out.min[i] = static_cast<double>(c.low.index - oldest_bar);
                                      out.max[i] = static_cast<double>(c.high.index - oldest_bar);
                                  });
    return out;
}

}  // namespace vorn::indicators::math
