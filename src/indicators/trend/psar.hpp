#pragma once
// Wilder's parabolic stop-and-reverse.
#include <span>
#include <tuple>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::indicators::trend {

struct PsarSeries {
    Series sar, direction;  // direction +1.0 up, -1.0 down; both defined from bar 0
    auto as_tuple() const { return std::tie(sar, direction); }
};

Result<PsarSeries> psar(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                        double af_init, double af_increment, double af_max);

}  // namespace vorn::indicators::trend
