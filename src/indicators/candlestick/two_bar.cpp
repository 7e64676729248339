#include "indicators/candlestick/two_bar.hpp"

#include <algorithm>

namespace vorn::indicators::candlestick {

namespace {

// The marubozu test of the kicking pattern: shadows measured against the range.
[[gnu::always_inline]] inline auto shaven(auto b) {
    const auto r = b.range();
    return (r > 0) & (b.body() / r > 0.95) & (b.upper() < 0.05 * r) & (b.lower() < 0.05 * r);
}

}  // namespace

Result<Series> bullish_harami(In open, In close) {
    return detect<2>(two_series(open, close), [](auto b1, auto b2) {
        return mark(b1.bearish() & b2.bullish() & (b2.o() < b1.o()) & (b2.c() > b1.c()) & (b2.o() > b1.c()) &
                        (b2.c() < b1.o()),
                    1.0);
    });
}

Result<Series> bearish_harami(In open, In close) {
    return detect<2>(two_series(open, close), [](auto b1, auto b2) {
        return mark(b1.bullish() & b2.bearish() & (b2.o() > b1.o()) & (b2.c() > b1.o()) & (b2.c() < b1.c()) &
                        (b2.o() < b1.c()),
                    -1.0);
    });
}

Result<Series> bullish_engulfing(In open, In close) {
    return detect<2>(two_series(open, close), [](auto b1, auto b2) {
        return mark(b1.bearish() & b2.bullish() & (b2.o() <= b1.c()) & (b2.c() >= b1.o()), 1.0);
    });
}

Result<Series> bearish_engulfing(In open, In close) {
    return detect<2>(two_series(open, close), [](auto b1, auto b2) {
        return mark(b1.bullish() & b2.bearish() & (b2.o() >= b1.c()) & (b2.c() <= b1.o()), -1.0);
    });
}

Result<Series> harami_cross(In open, In high, In low, In close, double t) {
    return detect<2>(four_series(open, high, low, close), [t](auto b1, auto b2) {
        const auto inside = (b2.top() < b1.top()) & (b2.bottom() > b1.bottom()) & b2.doji(t);
        return either(inside & b1.bearish(), inside & b1.bullish());
    });
}

Result<Series> doji_star(In open, In high, In low, In close, double t) {
    return detect<2>(four_series(open, high, low, close), [t](auto b1, auto b2) {
        const auto doji = b2.doji(t);
        return either(b1.bearish() & (b1.bottom() > b2.h()) & doji, b1.bullish() & (b1.top() < b2.l()) & doji);
    });
}

Result<Series> kicking(In open, In high, In low, In close) {
    return detect<2>(four_series(open, high, low, close), [](auto b1, auto b2) {
        const auto both = shaven(b1) & shaven(b2);
        return either(both & b1.bearish() & b2.bullish() & (b2.o() > b1.o()),
                      both & b1.bullish() & b2.bearish() & (b2.o() < b1.o()));
    });
}

Series counterattack(In open, In close, double tolerance) {
    const Bars bars{open.data(), nullptr, nullptr, close.data(), std::min(open.size(), close.size())};
    return scan<2, Start::zero>(bars, [tolerance](auto b1, auto b2) {
        const auto body1 = b1.body(), body2 = b2.body();
        const auto pair = (body1 != 0) & finite(body1) & (body2 != 0) & finite(body2) &
                          (magnitude(b2.c() - b1.c()) < tolerance * b1.c());
        return either(pair & b1.bearish() & b2.bullish(), pair & b1.bullish() & b2.bearish());
    });
}

Result<Series> matching_low(In open, In high, In low, In close, double tolerance) {
    return detect<2>(four_series(open, high, low, close), [tolerance](auto b1, auto b2) {
        return mark(b1.bearish() & b2.bearish() & (magnitude(b2.c() - b1.c()) / b1.c() < tolerance), 1.0);
    });
}

Result<Series> homing_pigeon(In open, In high, In low, In close) {
    return detect<2>(four_series(open, high, low, close), [](auto b1, auto b2) {
        return mark(b1.bearish() & b2.bearish() & (b2.o() < b1.o()) & (b2.c() > b1.c()) &
                        (b2.body() < 0.5 * b1.body()),
                    1.0);
    });
}

Result<Series> inneck(In open, In high, In low, In close, double tolerance) {
    return detect<2>(four_series(open, high, low, close), [tolerance](auto b1, auto b2) {
        return mark(b1.bearish() & b2.bullish() & (magnitude(b2.c() - b1.l()) / b1.l() < tolerance), -1.0);
    });
}

Result<Series> onneck(In open, In high, In low, In close, double tolerance) {
    return detect<2>(four_series(open, high, low, close), [tolerance](auto b1, auto b2) {
        return mark(b1.bearish() & b2.bullish() & (magnitude(b2.c() - b1.c()) / b1.c() < tolerance) &
                        (b2.body() < 0.3 * b1.body()),
                    -1.0);
    });
}

Result<Series> thrusting(In open, In high, In low, In close) {
    return detect<2>(four_series(open, high, low, close), [](auto b1, auto b2) {
        return mark(b1.bearish() & b2.bullish() & (b2.o() < b1.l()) & (b2.c() > b1.c()) & (b2.c() < b1.mid()),
                    -1.0);
    });
}

Result<Series> separating_lines(In open, In high, In low, In close, double tolerance) {
    return detect<2>(four_series(open, high, low, close), [tolerance](auto b1, auto b2) {
        const auto level = magnitude(b2.o() - b1.o()) / b1.o() < tolerance;
        return either(level & b1.bearish() & b2.bullish(), level & b1.bullish() & b2.bearish());
    });
}

Result<Series> tweezers_top(In open, In high, In close, double tolerance) {
    return detect<2>(open_high_close(open, high, close), [tolerance](auto b1, auto b2) {
        const auto m = (b1.h() + b2.h()) / 2;
        return mark(b1.bullish() & b2.bearish() & (m > 0) & (magnitude(b2.h() - b1.h()) / m < tolerance), -1.0);
    });
}

Result<Series> tweezers_bottom(In open, In low, In close, double tolerance) {
    return detect<2>(open_low_close(open, low, close), [tolerance](auto b1, auto b2) {
        const auto m = (b2.l() + b1.l()) * 0.5;
        return mark(b1.bearish() & b2.bullish() & (m > 0) & (magnitude(b2.l() - b1.l()) / m < tolerance), 1.0);
    });
}

Result<Series> dark_cloud_cover(In open, In high, In close) {
    return detect<2>(open_high_close(open, high, close), [](auto b1, auto b2) {
        return mark(b1.bullish() & b2.bearish() & (b2.o() > b1.h()) & (b2.c() < b1.mid()) & (b2.c() > b1.o()), -1.0);
    });
}

Result<Series> piercing_pattern(In open, In low, In close) {
    return detect<2>(open_low_close(open, low, close), [](auto b1, auto b2) {
        return mark(b1.bearish() & b2.bullish() & (b2.o() < b1.l()) & (b2.c() > b1.mid()) & (b2.c() < b1.o()), 1.0);
    });
}

}  // namespace vorn::indicators::candlestick
