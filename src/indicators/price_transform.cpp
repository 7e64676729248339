#include "indicators/price_transform.hpp"

namespace vorn::indicators::price_transform {

using errors::validation::validate_lengths_match;
using errors::validation::validate_series;

Result<Series> avgprice(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                        std::span<const double> close) {
    if (auto s = validate_series(open, "open"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}); !s)
        return fail(s.error());
    Series out(open.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = (((open[i] + high[i]) + low[i]) + close[i]) * 0.25;
    return out;
}

Result<Series> medprice(std::span<const double> high, std::span<const double> low) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    Series out(high.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = (high[i] + low[i]) * 0.5;
    return out;
}

Result<Series> typprice(std::span<const double> high, std::span<const double> low, std::span<const double> close) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}}); !s) return fail(s.error());
    Series out(high.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = ((high[i] + low[i]) + close[i]) / 3.0;
    return out;
}

Result<Series> wclprice(std::span<const double> high, std::span<const double> low, std::span<const double> close) {
    if (auto s = validate_series(high, "high"); !s) return fail(s.error());
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}}); !s) return fail(s.error());
    Series out(high.size());
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = ((close[i] + close[i]) + (high[i] + low[i])) * 0.25;
    return out;
}

}  // namespace vorn::indicators::price_transform
