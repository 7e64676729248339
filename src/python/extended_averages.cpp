// The extended moving averages.
#include "indicators/extended/averages.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

namespace {

using Count = std::optional<std::uint64_t>;

Result<Series> alma(const Series& values, Count period, std::optional<double> offset, std::optional<double> sigma) {
    return ext::alma(values, period.value_or(9), offset.value_or(0.85), sigma.value_or(6.0));
}
Result<Series> pwma(const Series& values, Count period) { return ext::pwma(values, period.value_or(5)); }
Result<Series> sinwma(const Series& values, Count period) { return ext::sinwma(values, period.value_or(14)); }
Result<Series> swma(const Series& values, Count period) { return ext::swma(values, period.value_or(7)); }
Result<Series> vwma(const Series& close, const Series& volume, Count period) {
    return ext::vwma(close, volume, period.value_or(20));
}
Result<Series> vidya(const Series& close, Count period) { return ext::vidya(close, period.value_or(14)); }
Result<ext::AlligatorSeries> alligator(const Series& high, const Series& low, Count jaw_period, Count teeth_period,
                                       Count lips_period) {
    return ext::alligator(high, low, jaw_period.value_or(13), teeth_period.value_or(8), lips_period.value_or(5));
}

}  // namespace

ENTRY(py_alma, alma)("py_alma(values, period, offset, sigma)\n--\n\n", arg("values"),
                                                 arg_or_none("period"), arg_or_none("offset"), arg_or_none("sigma"));
ENTRY(py_pwma, pwma)("py_pwma(values, period)\n--\n\n", arg("values"), arg_or_none("period"));
ENTRY(py_sinwma, sinwma)("py_sinwma(values, period)\n--\n\n", arg("values"), arg_or_none("period"));
ENTRY(py_swma, swma)("py_swma(values, period)\n--\n\n", arg("values"), arg_or_none("period"));
ENTRY(py_vwma, vwma)("py_vwma(close, volume, period)\n--\n\n", arg("close"),
                                                 arg("volume"), arg_or_none("period"));
ENTRY(py_vidya, vidya)("py_vidya(close, period)\n--\n\n", arg("close"), arg_or_none("period"));
ENTRY(py_alligator, alligator)(
    "py_alligator(high, low, jaw_period, teeth_period, lips_period)\n--\n\n", arg("high"), arg("low"),
    arg_or_none("jaw_period"), arg_or_none("teeth_period"), arg_or_none("lips_period"));



}  // namespace vorn::py::families
