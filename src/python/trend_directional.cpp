// Directional movement and ADX.
#include "indicators/trend/directional.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace tr = indicators::trend;

namespace {

// +DI and -DI alone: the ADX computation's side lines.
Result<Series> plus_di(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                       std::uint64_t period) {
    auto r = tr::adx(high, low, close, period);
    if (!r) return fail(r.error());
    return std::move(r->plus_di);
}
Result<Series> minus_di(std::span<const double> high, std::span<const double> low, std::span<const double> close,
                        std::uint64_t period) {
    auto r = tr::adx(high, low, close, period);
    if (!r) return fail(r.error());
    return std::move(r->minus_di);
}

// The parameter lines and errors of every directional entry.
Doc di_doc(const char* text, const char* returns_type, const char* returns_gloss) {
    return doc(text, params(lines::high_low_close, Line{"period", "int", "Smoothing period (None selects 14)"}),
               returns(returns_type, returns_gloss),
               raises("If an input is empty, contains a non-finite value or the lengths differ,\n"
                      "or if period is 0 or not below the data length"));
}

}  // namespace

ENTRY(py_adx, tr::adx)(
    di_doc("Calculate Average Directional Index (ADX)\n\n"
           "Wilder's average of DX, defined from index 2 * period - 1 on, with the +DI and -DI it is\n"
           "built from (defined from index `period` on).",
           "tuple[list[float], list[float], list[float]]", "(adx, plus_di, minus_di)"),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_dmi, tr::dmi)(Doc{}, arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_dx, tr::dx)(
    di_doc("Calculate Directional Movement Index (DX)\n\n"
           "100 * |+DI - -DI| / (+DI + -DI), 0.0 where both are zero; defined from index `period` on.",
           "list[float]", "DX values"),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_plus_di, plus_di)(
    di_doc("Calculate Plus Directional Indicator (+DI)\n\n"
           "Wilder-smoothed upward directional movement as a percentage of the smoothed true range;\n"
           "defined from index `period` on.",
           "list[float]", "+DI values"),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

ENTRY(py_minus_di, minus_di)(
    di_doc("Calculate Minus Directional Indicator (-DI)\n\n"
           "Wilder-smoothed downward directional movement as a percentage of the smoothed true range;\n"
           "defined from index `period` on.",
           "list[float]", "-DI values"),
    arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));

}  // namespace vorn::py::families
