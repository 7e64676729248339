#include "indicators/sfg_utils.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <utility>

#include "utils/constants.hpp"
#include "utils/series.hpp"
#include "utils/stats.hpp"
#include "utils/window_weight.hpp"

namespace vorn::indicators::sfg_utils {

namespace {

using utils::NaN;
using utils::kDivisionGuard;
constexpr double INF = std::numeric_limits<double>::infinity();
using namespace errors::validation;
namespace stats = utils::stats;

// ---- sorted views for tolerance counts ----------------------------------------------------

struct Ranked {
    double value;
    std::size_t index;
};
// The sorted entries, and every kStride-th value of them: a search first over those (a few
// thousand values, which stay in cache) and then within one stride of the entries touches far
// fewer lines of memory than a search over all of them.
constexpr std::size_t kStride = 32;
struct RankedSeries {
    std::vector<Ranked, utils::BufferAllocator<Ranked>> sorted;
    Series every;

    const Ranked& operator[](std::size_t k) const { return sorted[k]; }
};

// The values in ascending order, equal values (-0.0 and +0.0 among them) by index. A stable
// radix sort on keys that order as the values do: no comparisons, and the passes over digits
// every key shares (the sign and exponent of prices of one scale) are skipped.
RankedSeries ranked(std::span<const double> values) {
    const std::size_t n = values.size();
    struct Keyed {
        std::uint64_t key;
        std::size_t index;
    };
    using Keys = std::vector<Keyed, utils::BufferAllocator<Keyed>>;
    Keys a(n), b(n);
    for (std::size_t i = 0; i < n; ++i) {
        const double v = values[i] == 0.0 ? 0.0 : values[i];
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        // Negative values reversed below the positive ones: the unsigned order of the keys is
        // the numeric order of the values.
        a[i] = {bits >> 63 ? ~bits : bits | (std::uint64_t{1} << 63), i};
    }
    constexpr int kDigit = 11;
    constexpr std::size_t kBuckets = std::size_t{1} << kDigit;
    std::vector<std::size_t> count(kBuckets);
    for (int shift = 0; shift < 64; shift += kDigit) {
        std::fill(count.begin(), count.end(), 0);
        for (const Keyed& k : a) ++count[(k.key >> shift) & (kBuckets - 1)];
        if (n && count[(a[0].key >> shift) & (kBuckets - 1)] == n) continue;  // one digit for all
        std::size_t start = 0;
        for (std::size_t& c : count) start += std::exchange(c, start);
        for (const Keyed& k : a) b[count[(k.key >> shift) & (kBuckets - 1)]++] = k;
        a.swap(b);
    }
    RankedSeries out{decltype(RankedSeries::sorted)(n), Series((n + kStride - 1) / kStride)};
    for (std::size_t i = 0; i < n; ++i) out.sorted[i] = {values[a[i].index], a[i].index};
    for (std::size_t j = 0; j < out.every.size(); ++j) out.every[j] = out.sorted[j * kStride].value;
    return out;
}

// The entries x with |x - price| <= tol. The rounded difference x - price never decreases as
// x grows, so they form one run of the sorted values; two binary searches with the very
// test a bar-by-bar scan would apply find it, and the count is the scan's count.
//
// A predicate that holds on a prefix of the entries holds on the matching prefix of the
// sample, so the sample's partition point brackets the entries' one within a stride. With
// tol >= 0 the second test holds wherever the first does, so its run also starts at 0.
template <class Holds>
std::size_t boundary(const RankedSeries& r, Holds holds) {
    const auto sample = std::partition_point(r.every.begin(), r.every.end(), holds);
    const std::size_t j = static_cast<std::size_t>(sample - r.every.begin());
    const std::size_t from = j == 0 ? 0 : (j - 1) * kStride + 1;
    const std::size_t to = std::min(r.sorted.size(), j * kStride);
    return static_cast<std::size_t>(
        std::partition_point(r.sorted.begin() + from, r.sorted.begin() + to, [&](const Ranked& e) { return holds(e.value); }) -
        r.sorted.begin());
}

std::pair<std::size_t, std::size_t> within(const RankedSeries& sorted, double price, double tol) {
    if (!(tol >= 0.0)) return {0, 0};
    return {boundary(sorted, [&](double v) { return v - price < -tol; }),
            boundary(sorted, [&](double v) { return v - price <= tol; })};
}

// IEEE total order on the bits (-0.0 before +0.0), for finite and infinite values alike.
bool total_less(double a, double b) {
    std::int64_t ia, ib;
    std::memcpy(&ia, &a, sizeof a);
    std::memcpy(&ib, &b, sizeof b);
    ia ^= static_cast<std::int64_t>(static_cast<std::uint64_t>(ia >> 63) >> 1);
    ib ^= static_cast<std::int64_t>(static_cast<std::uint64_t>(ib >> 63) >> 1);
    return ia < ib;
}

// ---- forward searches over price bounds -----------------------------------------------------

// The lowest and highest value of each run of kBlock bars and of each run of kSpan bars, so that
// a forward search passes over a run in which no bar can meet its bound.
constexpr std::size_t kBlock = 32, kSpan = kBlock * kBlock;

struct Extremes {
    Series block_low, block_high, span_low, span_high;

    explicit Extremes(std::span<const double> v)
        : block_low(fold(v, kBlock, true)), block_high(fold(v, kBlock, false)),
          span_low(fold(block_low, kBlock, true)), span_high(fold(block_high, kBlock, false)) {}

    // Validated, finite input: plain comparisons pick the extremes.
    static Series fold(std::span<const double> v, std::size_t width, bool lowest) {
        Series out((v.size() + width - 1) / width);
        for (std::size_t b = 0; b < out.size(); ++b) {
            const std::size_t end = std::min(v.size(), (b + 1) * width);
            double e = v[b * width];
            for (std::size_t k = b * width + 1; k < end; ++k) e = lowest ? (v[k] < e ? v[k] : e) : (v[k] > e ? v[k] : e);
            out[b] = e;
        }
        return out;
    }
};

enum class Test { AtMost, Below, AtLeast, Above };

// A price bound on one series, with that series' extremes.
struct Bound {
    std::span<const double> values;
    const Extremes& extremes;
    Test test;
    double limit;

    bool meets(double v) const {
        switch (test) {
            case Test::AtMost: return v <= limit;
            case Test::Below: return v < limit;
            case Test::AtLeast: return v >= limit;
            case Test::Above: return v > limit;
        }
        return false;
    }
    bool holds(std::size_t j) const { return meets(values[j]); }
    // Whether some bar of a run may meet the bound: only if the run's best extreme does.
    bool run_may_hold(const Series& low, const Series& high, std::size_t r) const {
        return meets(test == Test::AtMost || test == Test::Below ? low[r] : high[r]);
    }
};

// The first bar j >= from where every bound holds; n when there is none. Runs of bars that the
// first failing bound rules out as a whole are passed over.
std::size_t first_where(std::size_t j, std::size_t n, std::initializer_list<Bound> bounds) {
    while (j < n) {
        const Bound* failed = nullptr;
        for (const Bound& b : bounds)
            if (!b.holds(j)) {
                failed = &b;
                break;
            }
        if (!failed) return j;
        ++j;
        const Extremes& e = failed->extremes;
        while (j < n && j % kBlock == 0) {
            if (j % kSpan == 0 && !failed->run_may_hold(e.span_low, e.span_high, j / kSpan))
                j += kSpan;
            else if (!failed->run_may_hold(e.block_low, e.block_high, j / kBlock))
                j += kBlock;
            else
                break;
        }
    }
    return n;
}

// The largest and smallest non-NaN value of each window (NaN where all are NaN); the kept
// suffix extremes share the output slots.
struct NanIgnoring {
    struct Cand {
        double high, low;
    };
    const double* v;
    double* highs;
    double* lows;
    Cand at(std::size_t i) const noexcept { return {v[i], v[i]}; }
    static Cand pick(Cand later, Cand earlier) noexcept {
        return {utils::max_num(later.high, earlier.high), utils::min_num(later.low, earlier.low)};
    }
    void keep(std::size_t i, Cand c) const noexcept {
        highs[i] = c.high;
        lows[i] = c.low;
    }
    Cand kept(std::size_t i) const noexcept { return {highs[i], lows[i]}; }
};

}  // namespace

SwingPoints find_swing_points(std::span<const double> values, std::uint64_t lookback) {
    const std::size_t n = values.size();
    SwingPoints out{Flags(n, false), Flags(n, false)};
    if (lookback == 0 || lookback > n / 2) return out;
    const std::size_t lb = static_cast<std::size_t>(lookback);
    // A neighbour at or above (below) the bar disqualifies it as a high (low), and a NaN one
    // never does: the test is whether the largest (smallest) non-NaN neighbour on either side
    // is, which the window extremes of the lb bars before and after the bar answer in O(n)
    // whatever the look-back.
    Series highest(n, NaN), lowest(n, NaN);
    stats::window::block_extremes(NanIgnoring{values.data(), highest.data(), lowest.data()}, n, lb,
                                  [&](std::size_t j, NanIgnoring::Cand c) {
                                      highest[j] = c.high;
                                      lowest[j] = c.low;
                                  });
    for (std::size_t i = lb; i + lb < n; ++i) {
        const double v = values[i];
        // the windows ending at i - 1 and at i + lb
        out.swing_high[i] = !(highest[i - 1] >= v) & !(highest[i + lb] >= v);
        out.swing_low[i] = !(lowest[i - 1] <= v) & !(lowest[i + lb] <= v);
    }
    return out;
}

Result<std::vector<SupplyDemandZone>> detect_supply_demand_zones(std::span<const double> high,
                                                                 std::span<const double> low,
                                                                 std::span<const double> close,
                                                                 std::span<const double> volume,
                                                                 std::uint64_t linreg_period, double tolerance) {
    for (std::size_t i = 0; i < close.size(); ++i)
        if (is_non_finite(close[i])) return fail(non_finite(i, "close", close[i]));
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}, {volume, "volume"}}); !s)
        return fail(s.error());
    if (tolerance < 0.0) return fail(VornError::out_of_range("tolerance", tolerance, 0.0, INF));
    const std::size_t n = close.size();
    if (n < linreg_period) return fail(VornError::insufficient_data(linreg_period, n));
    if (n < 10) return fail(VornError::insufficient_data(10, n));

    const SwingPoints swings = find_swing_points(close, 5);
    const RankedSeries lows = ranked(low), highs = ranked(high);
    std::vector<SupplyDemandZone> candidates;
    auto collect = [&](const Flags& marked, std::span<const double> side, const RankedSeries& sorted, bool demand) {
        for (std::size_t i = 0; i < n; ++i) {
            if (!marked[i]) continue;
            const double price = side[i];
            const auto [from, to] = within(sorted, price, tolerance * price);
            const std::uint64_t touches = to - from;
            if (touches > 1)
                candidates.push_back({price, 0.0, 0.0, touches, std::min(static_cast<double>(touches) / 5.0, 1.0),
                                      demand, false});
        }
    };
    collect(swings.swing_low, low, lows, true);
    collect(swings.swing_high, high, highs, false);
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const SupplyDemandZone& a, const SupplyDemandZone& b) { return total_less(a.price, b.price); });

    std::vector<SupplyDemandZone> zones;
    for (const SupplyDemandZone& z : candidates) {
        if (!zones.empty()) {
            SupplyDemandZone& current = zones.back();
            if (std::fabs(z.price - current.price) <= tolerance * current.price) {
                current.touches += z.touches;
                current.price = (current.price + z.price) / 2.0;
                current.strength = (current.strength + z.strength) / 2.0;
                continue;
            }
        }
        zones.push_back(z);
    }

    double total = 0.0;
    for (double v : volume) total += v;
    const double overall_volume = total / static_cast<double>(n);
    std::vector<std::size_t> touching;
    for (SupplyDemandZone& z : zones) {
        const double tol_abs = tolerance * z.price;
        const auto [from, to] = within(z.is_demand ? lows : highs, z.price, tol_abs);
        // Summed in bar order, as a scan over the bars would add them.
        touching.clear();
        for (std::size_t k = from; k < to; ++k) touching.push_back((z.is_demand ? lows : highs)[k].index);
        std::sort(touching.begin(), touching.end());
        double sum = 0.0;
        for (std::size_t j : touching) sum += volume[j];
        const double zone_volume = touching.empty() ? 0.0 : sum / static_cast<double>(touching.size());
        z.volume_confirmed = zone_volume > overall_volume;
        z.strength = z.strength * (z.volume_confirmed ? 1.2 : 0.8);
        z.upper = z.price + tol_abs;
        z.lower = z.price - tol_abs;
    }
    return zones;
}

Result<VolumeFilter> volume_filter(std::span<const double> volume, std::uint64_t period) {
    if (auto s = validate_series(volume, "volume"); !s) return fail(s.error());
    const std::size_t n = volume.size();
    if (period == 0) return fail(VornError::invalid_period(0, n));
    VolumeFilter out{Flags(n, false), Series(n, 1.0), Flags(n, false)};
    if (period == std::numeric_limits<std::uint64_t>::max()) return fail(VornError::invalid_value(0, "period + 1 overflow"));
    if (n <= period) return fail(VornError::insufficient_data(period + 1, n));
    const std::size_t p = static_cast<std::size_t>(period);
    const double count = static_cast<double>(period);
    // A plain running sum, as the filter has always kept it: no compensation and no scheduled
    // rebuild. It is summed afresh only when a slide overflows it or a volume that outweighed
    // the window has just left it (utils::WindowWeight): one bad print must not spoil every
    // later average. A window without volume averages exactly 0, so it marks nothing whatever
    // rounding its sum kept: `after` is one past the latest bar with volume (0: none yet). A
    // sum below 0 averages below 0 and marks nothing either way.
    utils::WindowWeight weight;
    double sum = utils::plain_sum(volume.first(p), weight);
    std::size_t after = 0;
    for (std::size_t i = 0; i < p; ++i) after = volume[i] != 0.0 ? i + 1 : after;
    for (std::size_t i = p; i < n; ++i) {
        const double avg = sum / count;
        const double v = volume[i];
        if ((avg > 0.0) & (after + p > i)) {
            out.above_average[i] = v > avg;
            out.relative_volume[i] = v / avg;
            out.volume_spike[i] = v > 2.0 * avg;
        }
        const double gone = volume[i - p];
        sum = sum - gone + v;
        after = v != 0.0 ? i + 1 : after;
        if (!std::isfinite(sum) | (!weight.passes(std::fabs(gone), std::fabs(v)) &&
                                    weight.settle(std::fabs(v), [volume, i, p] { return utils::any_nonzero(volume.subspan(i + 1 - p, p)); })))
            [[unlikely]]
            sum = utils::plain_sum(volume.subspan(i + 1 - p, p), weight);
    }
    return out;
}

Result<FvgSeries> fvg_signals(std::span<const double> high, std::span<const double> low) {
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    const std::size_t n = high.size();
    if (n < 3) return fail(VornError::insufficient_data(3, n));
    FvgSeries out{Series(n, NaN), Series(n, NaN), Series(n, NaN), Series(n, NaN)};
    const Extremes lows(low), highs(high);
    // Each gap is settled as it is found: its fill test looks only at later bars, and the
    // outputs are written in the order the gaps are found.
    auto settle = [&](FairValueGap g) {
        // The gap's third bar lies on the gap's near edge by construction, so it would always
        // count as filling it: the scan starts with the bar after it.
        const Bound touches_upper{low, lows, Test::AtMost, g.upper}, touches_lower{high, highs, Test::AtLeast, g.lower};
        g.filled = first_where(g.index + 2, n, {touches_upper, touches_lower}) < n;
        if (g.filled) return;
        (g.is_bullish ? out.bullish_fvg : out.bearish_fvg)[g.index] = 1.0;
        out.fvg_upper[g.index] = g.upper;
        out.fvg_lower[g.index] = g.lower;
    };
    for (std::size_t i = 2; i < n; ++i) {
        if (low[i] > high[i - 2]) settle({i - 1, low[i], high[i - 2], true, false});
        if (low[i - 2] > high[i]) settle({i - 1, low[i - 2], high[i], false, false});
    }
    return out;
}

Result<BreakerSeries> breaker_block_signals(std::span<const double> open, std::span<const double> high,
                                            std::span<const double> low, std::span<const double> close,
                                            std::uint64_t lookback) {
    if (auto s = validate_series(close, "close"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}); !s)
        return fail(s.error());
    const std::size_t n = close.size();
    if (lookback == 0) return fail(VornError::invalid_period(0, n));
    if (lookback >= std::numeric_limits<std::uint64_t>::max() - 1)
        return fail(VornError::invalid_value(0, "lookback + 2 overflow"));
    if (n < lookback + 2) return fail(VornError::insufficient_data(lookback + 2, n));

    // Lengths of the runs of non-rising and non-falling closes ending at each bar stand for the
    // bar-by-bar look-back test: a block needs a run of at least `lookback` steps.
    std::vector<OrderBlock> blocks;
    std::uint64_t falling = 0, rising = 0;
    for (std::size_t i = 1; i + 1 < n; ++i) {
        falling = close[i] <= close[i - 1] ? falling + 1 : 0;
        rising = close[i - 1] <= close[i] ? rising + 1 : 0;
        if (i < lookback) continue;
        const double c = close[i], o = open[i];
        if (std::fabs(c) < kDivisionGuard) return fail(VornError::invalid_value(i, "close contains zero, cannot compute next_move"));
        const double r = (close[i + 1] - c) / c;
        if (c > o && r > 0.01 && falling >= lookback) blocks.push_back({i, high[i], low[i], true});
        if (o > c && r < -0.01 && rising >= lookback) blocks.push_back({i, high[i], low[i], false});
    }

    BreakerSeries out{Series(n, 0.0), Series(n, 0.0), Series(n, NaN), Series(n, NaN)};
    if (blocks.empty()) return out;
    const Extremes closes(close), lows(low), highs(high);
    // A close through the levels' lower edge (downwards) or upper edge, after bar `from`.
    auto closes_through = [&](std::size_t from, bool downwards, double lower, double upper) {
        const Bound through = downwards ? Bound{close, closes, Test::Below, lower} : Bound{close, closes, Test::Above, upper};
        return first_where(from + 1, n, {through});
    };
    std::vector<BreakerBlock> breakers;
    for (const OrderBlock& b : blocks) {
        // A bullish block broken downwards turns into a bearish breaker, and the mirror.
        const std::size_t j = closes_through(b.index, b.is_bullish, b.lower, b.upper);
        if (j < n) breakers.push_back({j, b.upper, b.lower, !b.is_bullish, false});
    }
    for (BreakerBlock& k : breakers) {
        // A breaker is invalidated by a close back through its far edge.
        k.mitigated = closes_through(k.index, k.is_bullish, k.lower, k.upper) < n;
        if (k.mitigated) continue;
        out.breaker_upper[k.index] = k.upper;
        out.breaker_lower[k.index] = k.lower;
        const std::size_t j =
            k.is_bullish
                ? first_where(k.index + 1, n, {{low, lows, Test::AtMost, k.upper}, {close, closes, Test::AtLeast, k.lower}})
                : first_where(k.index + 1, n, {{high, highs, Test::AtLeast, k.lower}, {close, closes, Test::AtMost, k.upper}});
        if (j < n) (k.is_bullish ? out.buy_signals : out.sell_signals)[j] = 1.0;
    }
    return out;
}

}  // namespace vorn::indicators::sfg_utils
