#include "indicators/candlestick/single_bar.hpp"

namespace vorn::indicators::candlestick {

namespace {

// A kernel value counts as a signal from this magnitude on.
constexpr double kSignal = 1e-10;

// -1.0 wherever the kernel's series holds a signal, whatever its sign.
Result<Series> bearish_where(Result<Series> kernel) {
    if (!kernel) return kernel;
    for (double& v : *kernel) v = mark(std::abs(v) >= kSignal, -1.0);
    return kernel;
}

// Bars 0 to lookback - 1 cannot hold a full look-back; lookback 0 has no average at all.
template <class Rule>
Result<Series> against_mean_body(In open, In high, In low, In close, std::uint64_t lookback, Rule rule) {
    const auto bars = four_series(open, high, low, close);
    if (!bars) return fail(bars.error());
    const std::size_t first = lookback == 0 ? bars->n : lookback;
    return run(*bars, first, Start::zero, [&](std::size_t i) {
        const Bar b{&*bars, i};
        return rule(b, mean_body(b, lookback, 1));
    });
}

}  // namespace

Result<Series> doji(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](Bar b) { return mark(b.doji(t), 1.0); });
}

Result<Series> dragonfly_doji(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](Bar b) {
        return mark(b.doji(t) & (b.upper() < 0.1 * b.range()) & (b.lower() > 0.6 * b.range()), 1.0);
    });
}

Result<Series> gravestone_doji(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](Bar b) {
        return mark(b.doji(t) & (b.lower() < 0.1 * b.range()) & (b.upper() > 0.6 * b.range()), -1.0);
    });
}

Result<Series> long_legged_doji(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](Bar b) {
        return mark(b.doji(t) & (b.upper() > 0.3 * b.range()) & (b.lower() > 0.3 * b.range()), 1.0);
    });
}

Result<Series> rickshaw_man(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](Bar b) {
        const double r = b.range();
        return mark((r > 0) & (b.body() < t * r) & (std::abs((b.o() + b.c()) / 2 - (b.h() + b.l()) / 2) < 0.2 * r),
                    1.0);
    });
}

Result<Series> spinning_top(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](Bar b) {
        const double r = b.range(), body = b.body();
        return mark((r > 0) & (b.lower() > body) & (b.upper() > body) & (body / r < 0.25), 1.0);
    });
}

Result<Series> highwave(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](Bar b) {
        const double r = b.range(), body = b.body();
        return mark((r > 0) & (b.upper() > 2 * body) & (body < t * r) & (b.lower() > 2 * body), 1.0);
    });
}

Result<Series> marubozu(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](Bar b) {
        const double r = b.range(), body = b.body();
        return by_colour((b.c() != b.o()) & (r > 0) & (body / r > 0.95) & (b.upper() < 0.05 * body) &
                             (b.lower() < 0.05 * body),
                         b);
    });
}

Result<Series> closing_marubozu(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](Bar b) {
        const double r = b.range();
        const bool long_body = (r > 0) & (b.body() > 0.8 * r);
        return either(long_body & b.bullish() & (b.h() - b.c() < 0.05 * r),
                      long_body & b.bearish() & (b.c() - b.l() < 0.05 * r));
    });
}

Result<Series> belthold(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](Bar b) {
        const double r = b.range();
        const bool long_body = b.body() > 0.8 * r;
        return either(long_body & b.bullish() & (b.lower() < 0.1 * r), long_body & b.bearish() & (b.upper() < 0.1 * r));
    });
}

Result<Series> takuri(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](Bar b) {
        const double r = b.range(), body = b.body(), lower = b.lower();
        return mark((b.upper() < 0.1 * r) & ((lower >= 5 * body) | ((body < 0.1 * r) & (lower > 0.6 * r))), 1.0);
    });
}

Result<Series> hammer(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](Bar b) {
        const double body = b.body();
        return by_colour((b.c() != b.o()) & (b.lower() >= 2 * body) & (b.upper() <= body), b);
    });
}

Result<Series> inverted_hammer(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](Bar b) {
        const double body = b.body();
        return by_colour((b.c() != b.o()) & (b.lower() <= body) & (b.upper() >= 2 * body), b);
    });
}

Result<Series> hanging_man(In open, In high, In low, In close) {
    return bearish_where(hammer(open, high, low, close));
}

Result<Series> shooting_star(In open, In high, In low, In close) {
    return bearish_where(inverted_hammer(open, high, low, close));
}

Result<Series> long_line(In open, In high, In low, In close, std::uint64_t lookback) {
    return against_mean_body(open, high, low, close, lookback, [](Bar b, double mean) {
        const double body = b.body();
        return by_colour((body > 2 * mean) & (b.upper() < 0.5 * body) & (b.lower() < 0.5 * body), b);
    });
}

Result<Series> short_line(In open, In high, In low, In close, std::uint64_t lookback) {
    return against_mean_body(open, high, low, close, lookback,
                             [](Bar b, double mean) { return either((b.body() < 0.5 * mean) & b.bullish(),
                                                                    (b.body() < 0.5 * mean) & b.bearish()); });
}

}  // namespace vorn::indicators::candlestick
