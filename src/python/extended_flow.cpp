// RVI, inertia, PGO and the Elder force index.
#include "indicators/extended/flow.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

namespace {

using Period = std::optional<std::uint64_t>;

Result<ext::RviSeries> rvi(const Series& open, const Series& high, const Series& low, const Series& close,
                           Period period, Period signal_period) {
    return ext::rvi(open, high, low, close, period.value_or(10), signal_period.value_or(4));
}
Result<Series> inertia(const Series& open, const Series& high, const Series& low, const Series& close,
                       Period rvi_period, Period regression_period) {
    return ext::inertia(open, high, low, close, rvi_period.value_or(14), regression_period.value_or(20));
}
Result<Series> pgo(const Series& high, const Series& low, const Series& close, Period period) {
    return ext::pgo(high, low, close, period.value_or(14));
}

}  // namespace

// One behaviour under two names: py_force_index (money flow family) calls this too.
Result<Series> force_index(const Series& close, const Series& volume, std::optional<std::uint64_t> period) {
    return ext::efi(close, volume, period.value_or(13));
}

ENTRY(py_rvi, rvi)("py_rvi(open, high, low, close, period, signal_period)\n--\n\n",
                                              arg("open"), arg("high"), arg("low"), arg("close"),
                                              arg_or_none("period"), arg_or_none("signal_period"));
ENTRY(py_inertia, inertia)("py_inertia(open, high, low, close, rvi_period, regression_period)\n--\n\n",
                               arg("open"), arg("high"), arg("low"), arg("close"), arg_or_none("rvi_period"),
                               arg_or_none("regression_period"));
ENTRY(py_pgo, pgo)("py_pgo(high, low, close, period)\n--\n\n", arg("high"), arg("low"),
                                              arg("close"), arg_or_none("period"));
ENTRY(py_efi, force_index)("py_efi(close, volume, period)\n--\n\n", arg("close"),
                                                      arg("volume"), arg_or_none("period"));


}  // namespace vorn::py::families
