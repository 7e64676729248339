#include "indicators/candlestick/three_bar.hpp"

#include <algorithm>

namespace vorn::indicators::candlestick {

namespace {

// The bar opens strictly inside the previous bar's body.
[[gnu::always_inline]] inline auto opens_inside(auto prev, auto b) {
    return (prev.bottom() < b.o()) & (b.o() < prev.top());
}

}  // namespace

Result<Series> morning_star(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        return mark(b1.bearish() & b3.bullish() & (b2.body() < 0.3 * b1.body()) & (b2.l() < b1.c()) &
                        (b3.c() > b1.mid()),
                    1.0);
    });
}

Result<Series> evening_star(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        return mark(b1.bullish() & b3.bearish() & (b2.body() < 0.3 * b1.body()) & (b2.h() > b1.c()) &
                        (b3.c() < b1.mid()),
                    -1.0);
    });
}

Result<Series> morning_doji_star(In open, In high, In low, In close, double t) {
    return detect<3>(four_series(open, high, low, close), [t](auto b1, auto b2, auto b3) {
        return mark(b1.bearish() & b2.doji(t) & (b2.h() < b1.bottom()) & b3.bullish() & (b3.c() > b1.mid()), 1.0);
    });
}

Result<Series> evening_doji_star(In open, In high, In low, In close, double t) {
    return detect<3>(four_series(open, high, low, close), [t](auto b1, auto b2, auto b3) {
        return mark(b1.bullish() & b2.doji(t) & (b2.l() > b1.top()) & b3.bearish() & (b3.c() < b1.mid()), -1.0);
    });
}

Result<Series> abandoned_baby(In open, In high, In low, In close, double t) {
    return detect<3>(four_series(open, high, low, close), [t](auto b1, auto b2, auto b3) {
        const auto doji = b2.doji(t);
        return either(b1.bearish() & (b2.h() < b1.bottom()) & doji & b3.bullish() & (b3.l() > b2.h()),
                      b1.bullish() & (b2.l() > b1.top()) & doji & b3.bearish() & (b3.h() < b2.l()));
    });
}

Result<Series> tristar(In open, In high, In low, In close, double t) {
    return detect<3>(four_series(open, high, low, close), [t](auto b1, auto b2, auto b3) {
        const auto dojis = b1.doji(t) & b2.doji(t) & b3.doji(t);
        return either(dojis & (smaller(b1.l(), b3.l()) > b2.h()), dojis & (b2.l() > larger(b1.h(), b3.h())));
    });
}

Result<Series> three_white_soldiers(In open, In high, In close) {
    return detect<3>(open_high_close(open, high, close), [](auto b1, auto b2, auto b3) {
        return mark(b1.bullish() & b2.bullish() & b3.bullish() & opens_inside(b1, b2) & opens_inside(b2, b3) &
                        (b1.c() < b2.c()) & (b2.c() < b3.c()) & (b1.upper() < 0.3 * b1.body()) &
                        (b2.upper() < 0.3 * b2.body()) & (b3.upper() < 0.3 * b3.body()),
                    1.0);
    });
}

Result<Series> three_black_crows(In open, In low, In close) {
    return detect<3>(open_low_close(open, low, close), [](auto b1, auto b2, auto b3) {
        return mark(b1.bearish() & b2.bearish() & b3.bearish() & opens_inside(b1, b2) & opens_inside(b2, b3) &
                        (b3.c() < b2.c()) & (b2.c() < b1.c()) & (b1.lower() < 0.3 * b1.body()) &
                        (b2.lower() < 0.3 * b2.body()) & (b3.lower() < 0.3 * b3.body()),
                    -1.0);
    });
}

Result<Series> identical_three_crows(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        const auto m = mean_body(b3, 3), band = 0.3 * m;
        return mark(b1.bearish() & b2.bearish() & b3.bearish() & opens_inside(b1, b2) & opens_inside(b2, b3) &
                        (b3.c() < b2.c()) & (b2.c() < b1.c()) & (magnitude(b1.body() - m) < band) &
                        (magnitude(b2.body() - m) < band) & (magnitude(b3.body() - m) < band),
                    -1.0);
    });
}

Result<Series> stalled_pattern(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        const auto body3 = b3.body();
        return mark(b1.bullish() & b2.bullish() & b3.bullish() & (body3 < 0.3 * b1.body()) &
                        (body3 < 0.3 * b2.body()) & (b3.upper() > 2 * body3),
                    -1.0);
    });
}

Result<Series> three_inside(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        return either(b1.bearish() & b2.bullish() & (b2.o() > b1.c()) & (b2.c() < b1.o()) & b3.bullish() &
                          (b3.c() > b1.h()),
                      b1.bullish() & b2.bearish() & (b2.o() < b1.c()) & (b2.c() > b1.o()) & b3.bearish() &
                          (b3.c() < b1.l()));
    });
}

Result<Series> three_outside(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        return either(b1.bearish() & b2.bullish() & (b2.o() < b1.c()) & (b2.c() > b1.o()) & b3.bullish() &
                          (b3.c() > b2.c()),
                      b1.bullish() & b2.bearish() & (b2.o() > b1.c()) & (b2.c() < b1.o()) & b3.bearish() &
                          (b3.c() < b2.c()));
    });
}

Result<Series> advance_block(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        return mark(b1.bullish() & b2.bullish() & b3.bullish() & (b1.body() > b2.body()) &
                        (b2.body() > b3.body()) & (b1.upper() < b2.upper()) & (b2.upper() < b3.upper()),
                    -1.0);
    });
}

Result<Series> stick_sandwich(In open, In high, In low, In close, double tolerance) {
    return detect<3>(four_series(open, high, low, close), [tolerance](auto b1, auto b2, auto b3) {
        return mark(b1.bearish() & b2.bullish() & b3.bearish() & (b2.l() > b1.c()) & (b2.h() < b1.o()) &
                        (magnitude(b3.c() - b1.c()) / b1.c() < tolerance),
                    1.0);
    });
}

Result<Series> unique_3_river(In open, In high, In low, In close) {
    return detect<3, Start::zero>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        const auto a = mean_body(b3, 3);
        return mark(b1.bearish() & (b1.body() > 1.5 * a) & b2.bearish() & (b2.l() < b1.l()) &
                        (b2.lower() > 2 * b2.body()) & b3.bullish() & (b1.c() < b3.c()) & (b3.c() < b1.o()) &
                        (b3.body() < 0.5 * a),
                    1.0);
    });
}

Result<Series> xside_gap_3_methods(In open, In high, In low, In close) {
    return detect<3, Start::zero>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        return either(b1.bullish() & b2.bullish() & b3.bearish() & (b2.l() > b1.h()) & (b1.h() < b3.c()) &
                          (b3.c() < b2.l()),
                      b1.bearish() & b2.bearish() & b3.bullish() & (b2.h() < b1.l()) & (b2.h() < b3.c()) &
                          (b3.c() < b1.l()));
    });
}

Result<Series> upside_gap_two_crows(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        return mark(b1.bullish() & b2.bearish() & b3.bearish() & (b2.o() > b1.c()) & (b3.o() > b2.o()) &
                        (b3.c() < b2.c()) & (b3.c() > b1.c()),
                    -1.0);
    });
}

Result<Series> gap_sidesidewhite(In open, In high, In low, In close) {
    return detect<3>(four_series(open, high, low, close), [](auto b1, auto b2, auto b3) {
        // The open test's bound is 0.02 x open with its sign: a negative open passes nothing.
        const auto twins = b2.bullish() & b3.bullish() & (magnitude(b2.o() - b3.o()) < 0.02 * b2.o()) &
                           (magnitude(b2.body() - b3.body()) < 0.3 * b2.body());
        return either(twins & b1.bullish() & (b2.o() > b1.c()), twins & b1.bearish() & (b2.c() < b1.o()));
    });
}

Series hikkake(In high, In low) {
    const Bars bars{nullptr, high.data(), low.data(), nullptr, std::min(high.size(), low.size())};
    return scan<3, Start::zero>(bars, [](auto b1, auto b2, auto b3) {
        const auto inside = (b2.h() < b1.h()) & (b2.l() > b1.l());
        return either(inside & (b3.h() > b2.h()) & (b3.h() < b1.h()), inside & (b3.l() < b2.l()) & (b3.l() > b1.l()));
    });
}

}  // namespace vorn::indicators::candlestick
