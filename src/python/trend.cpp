// Directional movement, ADX and SuperTrend.
#include "indicators/trend/directional.hpp"
#include "indicators/trend/supertrend.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace tr = indicators::trend;

namespace {

constexpr std::uint64_t kDiPeriod = 14;

Result<tr::AdxSeries> adx(const Series& high, const Series& low, const Series& close,
                          std::optional<std::uint64_t> period) {
    return tr::adx(high, low, close, period.value_or(kDiPeriod));
}
Result<tr::DiSeries> dmi(const Series& high, const Series& low, const Series& close,
                         std::optional<std::uint64_t> period) {
    return tr::dmi(high, low, close, period.value_or(kDiPeriod));
}
Result<Series> dx(const Series& high, const Series& low, const Series& close, std::optional<std::uint64_t> period) {
    return tr::dx(high, low, close, period.value_or(kDiPeriod));
}
Result<Series> plus_di(const Series& high, const Series& low, const Series& close,
                       std::optional<std::uint64_t> period) {
    auto r = tr::adx(high, low, close, period.value_or(kDiPeriod));
    if (!r) return fail(r.error());
    return std::move(r->plus_di);
}
Result<Series> minus_di(const Series& high, const Series& low, const Series& close,
                        std::optional<std::uint64_t> period) {
    auto r = tr::adx(high, low, close, period.value_or(kDiPeriod));
    if (!r) return fail(r.error());
    return std::move(r->minus_di);
}
// None selects 7 although the docstring shows 10; callers depend on the 7.
Result<tr::SuperTrendSeries> supertrend(const Series& high, const Series& low, const Series& close,
                                        std::optional<std::uint64_t> period, std::optional<double> multiplier) {
    return tr::supertrend(high, low, close, period.value_or(7), multiplier.value_or(3.0));
}

#define DI_PARAMS                                                                                              \
    "\nParameters\n----------\nhigh : list[float]\n    High prices\nlow : list[float]\n    Low prices\n"         \
    "close : list[float]\n    Close prices\nperiod : int\n    Smoothing period (None selects 14)\n"

#define DI_RAISES                                                                                              \
    "\nRaises\n------\nValueError\n    If an input is empty, contains a non-finite value or the lengths differ,\n" \
    "    or if period is 0 or not below the data length\n"

}  // namespace

ENTRY(py_adx, adx)(
    "py_adx(high, low, close, period=14)\n--\n\n"
    "Calculate Average Directional Index (ADX)\n\n"
    "Wilder's average of DX, defined from index 2 * period - 1 on, with the +DI and -DI it is\n"
    "built from (defined from index `period` on).\n" DI_PARAMS
    "\nReturns\n-------\ntuple[list[float], list[float], list[float]]\n    (adx, plus_di, minus_di)\n" DI_RAISES,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"));

ENTRY(py_dmi, dmi)("py_dmi(high, low, close, period=14)\n--\n\n", arg("high"), arg("low"),
                                              arg("close"), arg_or_none("period"));

ENTRY(py_dx, dx)(
    "py_dx(high, low, close, period=14)\n--\n\n"
    "Calculate Directional Movement Index (DX)\n\n"
    "100 * |+DI - -DI| / (+DI + -DI), 0.0 where both are zero; defined from index `period` on.\n" DI_PARAMS
    "\nReturns\n-------\nlist[float]\n    DX values\n" DI_RAISES,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"));

ENTRY(py_plus_di, plus_di)(
    "py_plus_di(high, low, close, period=14)\n--\n\n"
    "Calculate Plus Directional Indicator (+DI)\n\n"
    "Wilder-smoothed upward directional movement as a percentage of the smoothed true range;\n"
    "defined from index `period` on.\n" DI_PARAMS
    "\nReturns\n-------\nlist[float]\n    +DI values\n" DI_RAISES,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"));

ENTRY(py_minus_di, minus_di)(
    "py_minus_di(high, low, close, period=14)\n--\n\n"
    "Calculate Minus Directional Indicator (-DI)\n\n"
    "Wilder-smoothed downward directional movement as a percentage of the smoothed true range;\n"
    "defined from index `period` on.\n" DI_PARAMS
    "\nReturns\n-------\nlist[float]\n    -DI values\n" DI_RAISES,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"));

ENTRY(py_supertrend, supertrend)(
    "py_supertrend(high, low, close, period=10, multiplier=3.0)\n--\n\n"
    "Calculate SuperTrend\n\n"
    "ATR bands around the bar midpoint (high + low) / 2 that tighten while price respects them;\n"
    "the line follows the lower band in an uptrend and the upper band in a downtrend, flipping\n"
    "when the close crosses the band. Defined from index `period` on.\n"
    "\nParameters\n----------\nhigh : list[float]\n    High prices\nlow : list[float]\n    Low prices\n"
    "close : list[float]\n    Close prices\nperiod : int\n    ATR period (None selects 7)\n"
    "multiplier : float\n    Band width in ATRs (None selects 3.0)\n"
    "\nReturns\n-------\ntuple[list[float], list[float], list[float], list[float]]\n"
    "    (value, direction, upper, lower); direction is 1.0 up and -1.0 down\n" DI_RAISES,
    arg("high"), arg("low"), arg("close"), arg_or_none("period"), arg_or_none("multiplier"));


}  // namespace vorn::py::families
