#include "indicators/price_transform.hpp"

namespace vorn::indicators::price_transform {

// validate_lengths_match checks its first series (empty, then non-finite) before any other.
using errors::validation::validate_hlc;
using errors::validation::validate_lengths_match;

Result<Series> avgprice(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                        std::span<const double> close) {
    if (auto s = validate_lengths_match({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}); !s)
        return fail(s.error());
    return utils::generated<Series>(open.size(), [&](std::size_t i) {
        return (((open[i] + high[i]) + low[i]) + close[i]) * 0.25;
    });
}

Result<Series> medprice(std::span<const double> high, std::span<const double> low) {
    if (auto s = validate_lengths_match({{high, "high"}, {low, "low"}}); !s) return fail(s.error());
    return utils::generated<Series>(high.size(), [&](std::size_t i) { return (high[i] + low[i]) * 0.5; });
}

Result<Series> typprice(std::span<const double> high, std::span<const double> low, std::span<const double> close) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    return utils::generated<Series>(high.size(), [&](std::size_t i) { return ((high[i] + low[i]) + close[i]) / 3.0; });
}

Result<Series> wclprice(std::span<const double> high, std::span<const double> low, std::span<const double> close) {
    if (auto s = validate_hlc(high, low, close); !s) return fail(s.error());
    return utils::generated<Series>(high.size(), [&](std::size_t i) {
        return ((close[i] + close[i]) + (high[i] + low[i])) * 0.25;
    });
}

}  // namespace vorn::indicators::price_transform
