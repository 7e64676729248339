#include "types/records.hpp"

#include <cmath>
#include <cstdio>

namespace vorn::types {

SeededMap<double> Candle::to_dict() const {
    SeededMap<double> d;
    d.emplace("timestamp", static_cast<double>(timestamp));
    d.emplace("open", open);
    d.emplace("high", high);
    d.emplace("low", low);
    d.emplace("close", close);
    d.emplace("volume", volume);
    return d;
}

namespace {
std::string two_decimals(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.2f", v);
    return buf;
}
}  // namespace

std::string Candle::repr() const {
    return "Candle(O:" + two_decimals(open) + ", H:" + two_decimals(high) + ", L:" + two_decimals(low) +
           ", C:" + two_decimals(close) + ", V:" + two_decimals(volume) + ")";
}

}  // namespace vorn::types
