#pragma once
// Per-bar combinations of a bar's prices. The first series is checked on its own (empty,
// non-finite) before the shared length-and-finiteness check over all of them.
#include <span>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::price_transform {

// (((open + high) + low) + close) * 0.25
Result<Series> avgprice(std::span<const double> open, std::span<const double> high, std::span<const double> low,
                        std::span<const double> close);
// (high + low) * 0.5
Result<Series> medprice(std::span<const double> high, std::span<const double> low);
// ((high + low) + close) / 3.0
Result<Series> typprice(std::span<const double> high, std::span<const double> low, std::span<const double> close);
// ((close + close) + (high + low)) * 0.25
Result<Series> wclprice(std::span<const double> high, std::span<const double> low, std::span<const double> close);

}  // namespace vorn::indicators::price_transform
