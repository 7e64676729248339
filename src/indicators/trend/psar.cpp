#include "indicators/trend/psar.hpp"

#include <cstdint>

#include "utils/constants.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::trend {

namespace {

// A NaN candidate stop (only reachable through a NaN acceleration parameter) falls back to
// the price it is clamped against, and a NaN step leaves the factor at its ceiling.
using utils::max_num;
using utils::min_num;

// `yes` when c, else `no`, without a branch: whether a bar makes a new extreme is a coin
// flip to a branch predictor.
inline double choose(bool c, double yes, double no) noexcept {
    std::uint64_t a, b;
    __builtin_memcpy(&a, &yes, sizeof a);
    __builtin_memcpy(&b, &no, sizeof b);
    const std::uint64_t m = -static_cast<std::uint64_t>(c);
    const std::uint64_t r = (a & m) | (b & ~m);
    double out;
    __builtin_memcpy(&out, &r, sizeof out);
    return out;
}

}  // namespace

Result<PsarSeries> psar(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                        double af_init, double af_increment, double af_max) {
    using namespace errors::validation;
    // The length check validates `high` first.
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    // Ordered comparisons: a NaN parameter passes every one of these tests.
    if (af_init <= 0.0) return fail(not_positive("af_init", af_init));
    if (af_increment <= 0.0) return fail(not_positive("af_increment", af_increment));
    if (af_max <= 0.0) return fail(not_positive("af_max", af_max));
    if (af_init > af_max) return fail(below_lower("af_max", af_max, "af_init", af_init));
    const std::size_t n = high.size();
    if (n == 1) return fail(VornError::insufficient_data(2, 1));

    using utils::NaN;
    PsarSeries out{Series(n, NaN), Series(n, NaN)};

    // Equal first closes start a down trend.
    bool up = close[1] > close[0];
    double sar = up ? low[0] : high[0];
    double ep = up ? high[1] : low[1];
    double af = af_init;
    out.sar[0] = sar;
    out.direction[0] = up ? 1.0 : -1.0;

    for (std::size_t i = 1; i < n; ++i) {
        sar = sar + af * (ep - sar);
        // The stop may not enter the range of the two previous bars (one on bar 1).
        if (up) {
            sar = min_num(sar, low[i - 1]);
            if (i >= 2) sar = min_num(sar, low[i - 2]);
        } else {
            sar = max_num(sar, high[i - 1]);
            if (i >= 2) sar = max_num(sar, high[i - 2]);
        }
        if (up) {
            if (sar > low[i]) {
                // Reversal: the new stop is the finished trend's extreme, unclamped.
                up = false;
                sar = ep;
                ep = low[i];
                af = af_init;
            } else {
                const bool extreme = high[i] > ep;
                af = choose(extreme, min_num(af + af_increment, af_max), af);
                ep = choose(extreme, high[i], ep);
            }
        } else {
            if (high[i] > sar) {
                up = true;
                sar = ep;
                ep = high[i];
                af = af_init;
            } else {
                const bool extreme = low[i] < ep;
                af = choose(extreme, min_num(af + af_increment, af_max), af);
                ep = choose(extreme, low[i], ep);
            }
        }
        out.sar[i] = sar;
        out.direction[i] = choose(up, 1.0, -1.0);
    }
    return out;
}

}  // namespace vorn::indicators::trend
