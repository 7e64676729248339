#pragma once
// The Ichimoku cloud: midpoints of rolling price ranges, two of them pushed forward as the
// cloud's spans and the close pulled back as the lagging span; and the readings taken from
// the five lines (colour, thickness, conversion/base crossings, a five-valued trend code).
#include <cstdint>
#include <span>
#include <tuple>
#include <vector>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::ichimoku {

struct IchimokuCloud {
    Series tenkan_sen, kijun_sen, senkou_span_a, senkou_span_b, chikou_span;
    auto as_tuple() const { return std::tie(tenkan_sen, kijun_sen, senkou_span_a, senkou_span_b, chikou_span); }
};

// The five lines as a caller passes them back; checked as one record (lengths only).
struct IchimokuLines {
    std::span<const double> tenkan_sen, kijun_sen, senkou_span_a, senkou_span_b, chikou_span;
};

enum class IchimokuSignalCode : int { StrongBearish = -2, Bearish = -1, Neutral = 0, Bullish = 1, StrongBullish = 2 };

// (highest high + lowest low) * 0.5 over the last `period` bars; NaN where either is NaN.
Series calc_donchian_midline(std::span<const double> high, std::span<const double> low, std::uint64_t period);

// Spans and lagging line displaced by kijun_period bars.
Result<IchimokuCloud> ichimoku_cloud(std::span<const double> high, std::span<const double> low,
                                     std::span<const double> close, std::uint64_t tenkan_period,
                                     std::uint64_t kijun_period, std::uint64_t senkou_b_period);

Status validate_lines(const IchimokuLines& lines);

// +1.0 where span A is above span B, -1.0 where below, 0.0 where equal or either is NaN.
Result<Series> cloud_color(const IchimokuLines& lines);
// |span A - span B|, NaN where either is NaN.
Result<Series> cloud_thickness(const IchimokuLines& lines);
// +1.0 where the conversion line crosses above the base line, -1.0 where it crosses below.
Result<Series> tk_cross(const IchimokuLines& lines);
Result<std::vector<IchimokuSignalCode>> ichimoku_signals(std::span<const double> close, const IchimokuLines& lines);

}  // namespace vorn::indicators::ichimoku
