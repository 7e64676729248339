#include "indicators/candlestick/multi_bar.hpp"

#include "indicators/candlestick/three_bar.hpp"

namespace vorn::indicators::candlestick {

namespace {

// Bars 2 to 4 of a three-methods pattern: each bullish (or bearish), its high below
// `ceiling`, its low above `floor` and its body under half of bar 1's.
template <class L>
[[gnu::always_inline]] inline auto held_inside(bool bullish, L ceiling, L floor, L body1, LaneBar<L> b2, LaneBar<L> b3,
                                                LaneBar<L> b4) {
    auto held = holds<L>();
    for (LaneBar<L> b : {b2, b3, b4})
        held &= (bullish ? b.bullish() : b.bearish()) & (b.h() < ceiling) & (b.l() > floor) & (b.body() < 0.5 * body1);
    return held;
}

}  // namespace

Result<Series> hikkake_mod(In open, In high, In low, In close) {
    const auto bars = four_series(open, high, low, close);
    if (!bars) return fail(bars.error());
    const Series inside = hikkake(high, low);
    const double* k = inside.data();
    return run(*bars, 3, Start::zero, [&]<class L>(Lanes<L>, std::size_t i) {
        const L c = load<L>(bars->close + i), prev = load<L>(bars->close + i - 1), kernel = load<L>(k + i - 1);
        return either((kernel == 1.0) & (c > prev), (kernel == -1.0) & (c < prev));
    });
}

Result<Series> concealing_baby_swallow(In open, In high, In low, In close) {
    return detect<4, Start::zero>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3, auto b4) {
        const auto m = mean_body(b2, 2);
        return mark(b1.bearish() & b2.bearish() & b3.bearish() & b4.bearish() & (b4.o() > b3.o()) &
                        (b4.c() < b2.c()) & (b4.c() < b3.c()) & (b3.o() < b2.c()) & (b1.body() >= m) &
                        (b2.body() >= m),
                    1.0);
    });
}

Result<Series> ladder_bottom(In open, In high, In low, In close) {
    return detect<5, Start::zero>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3, auto b4, auto b5) {
        return mark(b1.bearish() & b2.bearish() & b3.bearish() & b4.bearish() & (b1.c() > b2.c()) &
                        (b2.c() > b3.c()) & (b3.c() > b4.c()) & (b4.bottom() > b4.l()) & (b5.o() > b4.c()) &
                        b5.bullish(),
                    1.0);
    });
}

Result<Series> mat_hold(In open, In high, In low, In close) {
    return detect<5, Start::zero>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3, auto b4, auto b5) {
        const auto a = mean_body(b5, 5), body1 = b1.body(), c1 = b1.c();
        return mark(b1.bullish() & (body1 > 1.5 * a) & (b2.c() < c1) & (b3.c() < c1) & (b4.c() < c1) &
                        (b2.body() < 0.5 * body1) & (b3.body() < 0.5 * body1) & (b4.body() < 0.5 * body1) &
                        (b5.c() > c1) & b5.bullish(),
                    1.0);
    });
}

Result<Series> breakaway(In open, In high, In low, In close) {
    return detect<5, Start::zero>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3, auto b4, auto b5) {
        const auto a = mean_body(b5, 5);
        const auto long1 = b1.body() > 1.2 * a, long5 = b5.body() > 1.2 * a;
        return either(b1.bearish() & long1 & (b2.o() < b1.c()) & b2.bearish() & b3.bearish() & b4.bearish() &
                          b5.bullish() & long5 & (b5.c() > b2.c()) & (b5.c() < b1.o()),
                      b1.bullish() & long1 & (b2.o() > b1.c()) & b2.bullish() & b3.bullish() & b4.bullish() &
                          b5.bearish() & long5 & (b5.c() < b2.c()) & (b5.c() > b1.o()));
    });
}

Result<Series> rising_three_methods(In open, In high, In low, In close) {
    return detect<5>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3, auto b4, auto b5) {
        return mark(b1.bullish() & held_inside(false, b1.c(), b1.o(), b1.body(), b2, b3, b4) & b5.bullish() &
                        (b5.c() > b1.c()),
                    1.0);
    });
}

Result<Series> falling_three_methods(In open, In high, In low, In close) {
    return detect<5>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3, auto b4, auto b5) {
        return mark(b1.bearish() & held_inside(true, b1.o(), b1.c(), b1.body(), b2, b3, b4) & b5.bearish() &
                        (b5.c() < b1.c()),
                    -1.0);
    });
}

}  // namespace vorn::indicators::candlestick
