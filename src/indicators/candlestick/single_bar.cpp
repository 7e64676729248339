#include "indicators/candlestick/single_bar.hpp"

#include "utils/stats.hpp"
#include "utils/window_lanes.hpp"

namespace vorn::indicators::candlestick {

namespace {

// The hammer shapes; a bar whose close equals its open has no colour and never fires.
[[gnu::always_inline]] inline auto hammer_shape(auto b) {
    const auto body = b.body();
    return (b.c() != b.o()) & (b.lower() >= 2 * body) & (b.upper() <= body);
}
[[gnu::always_inline]] inline auto inverted_hammer_shape(auto b) {
    const auto body = b.body();
    return (b.c() != b.o()) & (b.lower() <= body) & (b.upper() >= 2 * body);
}

// The mean body of the `lookback` bars before each bar from `lookback` on. Up to
// kSummedAfreshUpTo bars each window is summed on its own, oldest first, eight windows' sums
// side by side (one sum is a chain of dependent additions, eight are independent chains the
// processor overlaps); longer look-backs slide a compensated sum of the bodies
// (utils::stats::rolling_sum_kahan's, RollingSumWindow): O(1) a bar, within rounding of each
// window's own sum, and exactly 0 over bars without body.
constexpr std::size_t kSummedAfreshUpTo = 32;

Series mean_bodies(const Bars& b, std::size_t lookback) {
    const Series bodies = utils::generated<Series>(b.n, [&](std::size_t i) { return Bar{&b, i}.body(); });
    const double* body = bodies.data();
    const double count = static_cast<double>(lookback);
    Series means(b.n);
    if (lookback > kSummedAfreshUpTo) {
        // The stretches between rebuilds side by side (utils::lanes, bit for bit the window's
        // sums), over the bodies but the last bar's, which no mean holds; one window at a time
        // where the lanes cannot follow their plan.
        auto emit = [&](std::size_t i0, std::size_t i1, const utils::lanes::Pair (&s)[1]) {
            means[i0 + 1] = s[0][0] / count;
            means[i1 + 1] = s[0][1] / count;
        };
        const double* const x[1] = {body};
        if (utils::lanes::run<4>(utils::lanes::KahanSums<1, decltype(emit)>(x, lookback, emit), b.n - 1, lookback))
            return means;
        utils::stats::RollingSumWindow sum(bodies, lookback);
        for (std::size_t k = 0; k + 1 < b.n; ++k) {
            const double s = sum.step(k);
            if (k + 1 >= lookback) means[k + 1] = s / count;
        }
        return means;
    }
    std::size_t i = lookback;
    for (; i + 8 <= b.n; i += 8) {
        Pair s0{}, s1{}, s2{}, s3{};
        for (const double* p = body + i - lookback; p < body + i; ++p) {
            s0 += load<Pair>(p);
            s1 += load<Pair>(p + 2);
            s2 += load<Pair>(p + 4);
            s3 += load<Pair>(p + 6);
        }
        const Pair m[4] = {s0 / count, s1 / count, s2 / count, s3 / count};
        __builtin_memcpy(means.data() + i, m, sizeof m);
    }
    for (; i < b.n; ++i) {
        double sum = 0.0;
        for (std::size_t k = i - lookback; k < i; ++k) sum += body[k];
        means[i] = sum / count;
    }
    return means;
}

// Bars 0 to lookback - 1 cannot hold a full look-back; lookback 0 has no average at all.
template <class Rule>
Result<Series> against_mean_body(In open, In high, In low, In close, std::uint64_t lookback, Rule rule) {
    const auto bars = four_series(open, high, low, close);
    if (!bars) return fail(bars.error());
    const std::size_t first = lookback == 0 ? bars->n : lookback;
    if (bars->n <= first) return Series(bars->n, 0.0);
    const Series means = mean_bodies(*bars, first);
    return run(*bars, first, Start::zero, [&]<class L>(Lanes<L>, std::size_t i) {
        return rule(LaneBar<L>{&*bars, i}, load<L>(means.data() + i));
    });
}

}  // namespace

Result<Series> doji(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](auto b) { return mark(b.doji(t), 1.0); });
}

Result<Series> dragonfly_doji(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](auto b) {
        return mark(b.doji(t) & (b.upper() < 0.1 * b.range()) & (b.lower() > 0.6 * b.range()), 1.0);
    });
}

Result<Series> gravestone_doji(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](auto b) {
        return mark(b.doji(t) & (b.lower() < 0.1 * b.range()) & (b.upper() > 0.6 * b.range()), -1.0);
    });
}

Result<Series> long_legged_doji(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](auto b) {
        return mark(b.doji(t) & (b.upper() > 0.3 * b.range()) & (b.lower() > 0.3 * b.range()), 1.0);
    });
}

Result<Series> rickshaw_man(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](auto b) {
        const auto r = b.range();
        return mark((r > 0) & (b.body() < t * r) & (magnitude((b.o() + b.c()) / 2 - (b.h() + b.l()) / 2) < 0.2 * r),
                    1.0);
    });
}

Result<Series> spinning_top(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](auto b) {
        const auto r = b.range(), body = b.body();
        return mark((r > 0) & (b.lower() > body) & (b.upper() > body) & (body / r < 0.25), 1.0);
    });
}

Result<Series> highwave(In open, In high, In low, In close, double t) {
    return detect<1>(four_series(open, high, low, close), [t](auto b) {
        const auto r = b.range(), body = b.body();
        return mark((r > 0) & (b.upper() > 2 * body) & (body < t * r) & (b.lower() > 2 * body), 1.0);
    });
}

Result<Series> marubozu(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](auto b) {
        const auto r = b.range(), body = b.body();
        return by_colour((b.c() != b.o()) & (r > 0) & (body / r > 0.95) & (b.upper() < 0.05 * body) &
                             (b.lower() < 0.05 * body),
                         b);
    });
}

Result<Series> closing_marubozu(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](auto b) {
        const auto r = b.range();
        const auto long_body = (r > 0) & (b.body() > 0.8 * r);
        return either(long_body & b.bullish() & (b.h() - b.c() < 0.05 * r),
                      long_body & b.bearish() & (b.c() - b.l() < 0.05 * r));
    });
}

Result<Series> belthold(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](auto b) {
        const auto r = b.range();
        const auto long_body = b.body() > 0.8 * r;
        return either(long_body & b.bullish() & (b.lower() < 0.1 * r), long_body & b.bearish() & (b.upper() < 0.1 * r));
    });
}

Result<Series> takuri(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](auto b) {
        const auto r = b.range(), body = b.body(), lower = b.lower();
        return mark((b.upper() < 0.1 * r) & ((lower >= 5 * body) | ((body < 0.1 * r) & (lower > 0.6 * r))), 1.0);
    });
}

Result<Series> hammer(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](auto b) { return by_colour(hammer_shape(b), b); });
}

Result<Series> inverted_hammer(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close),
                     [](auto b) { return by_colour(inverted_hammer_shape(b), b); });
}

// The hammer's signal, whatever its sign, is -1.0 (the kernel's values are +-1.0 where it
// fires and +0.0 elsewhere).
Result<Series> hanging_man(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close), [](auto b) { return mark(hammer_shape(b), -1.0); });
}

Result<Series> shooting_star(In open, In high, In low, In close) {
    return detect<1>(four_series(open, high, low, close),
                     [](auto b) { return mark(inverted_hammer_shape(b), -1.0); });
}

Result<Series> long_line(In open, In high, In low, In close, std::uint64_t lookback) {
    return against_mean_body(open, high, low, close, lookback, [](auto b, auto mean) {
        const auto body = b.body();
        return by_colour((body > 2 * mean) & (b.upper() < 0.5 * body) & (b.lower() < 0.5 * body), b);
    });
}

Result<Series> short_line(In open, In high, In low, In close, std::uint64_t lookback) {
    return against_mean_body(open, high, low, close, lookback,
                             [](auto b, auto mean) { return either((b.body() < 0.5 * mean) & b.bullish(),
                                                                    (b.body() < 0.5 * mean) & b.bearish()); });
}

}  // namespace vorn::indicators::candlestick
