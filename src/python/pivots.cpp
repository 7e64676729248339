// Pivot points, zones and touches.
#include "indicators/pivots.hpp"
#include "python/families.hpp"

namespace vorn::py {

namespace pv = indicators::pivots;

// The zone and touch functions take the nine-value row as a tuple of exactly nine numbers.
template <>
struct Convert<pv::LevelTuple> {
    static bool from(PyObject* o, pv::LevelTuple& out) {
        if (!check_tuple(o, 9)) return false;
        double* fields[] = {&out.pivot, &out.r1, &out.r2, &out.r3, &out.r4, &out.s1, &out.s2, &out.s3, &out.s4};
        for (Py_ssize_t i = 0; i < 9; ++i)
            if (!convert_real(PyTuple_GET_ITEM(o, i), *fields[i])) return false;
        return true;
    }
};
template <>
struct Kind<pv::LevelTuple> {
    static std::string name() { return "levels"; }
};

namespace families {

namespace {

// The seven-level functions return (pivot, r1, r2, r3, s1, s2, s3).
using Seven = std::tuple<double, double, double, double, double, double, double>;

Result<Seven> seven(Result<pv::PivotLevels> r) {
    if (!r) return fail(r.error());
    return Seven{r->pivot, r->r1, r->r2, r->r3, r->s1, r->s2, r->s3};
}

Result<Seven> standard(double high, double low, double close) { return seven(pv::standard_pivots(high, low, close)); }
Result<Seven> fibonacci_levels(double high, double low, double close) {
    return seven(pv::fibonacci_pivots(high, low, close));
}
Result<Seven> woodie(double high, double low, double close) { return seven(pv::woodie_pivots(high, low, close)); }
Result<Seven> demark(double open, double high, double low, double close) {
    return seven(pv::demark_pivots(open, high, low, close));
}
Result<pv::LevelTuple> camarilla(double high, double low, double close) {
    auto r = pv::camarilla_pivots(high, low, close);
    if (!r) return fail(r.error());
    return pv::to_level_tuple(*r);
}

// The row arrives as its nine-value tuple.
Result<std::string> zone(double current_price, const pv::LevelTuple& levels) {
    return pv::pivot_zone(current_price, pv::from_level_tuple(levels));
}
Result<std::optional<std::string>> touch(double current_price, const pv::LevelTuple& levels, double tolerance) {
    return pv::detect_pivot_touch(current_price, pv::from_level_tuple(levels), tolerance);
}

}  // namespace

ENTRY(py_standard_pivots, standard)(Doc{}, data_arg("high"), data_arg("low"), data_arg("close"));
ENTRY(py_classic_pivots, standard)(Doc{}, data_arg("high"), data_arg("low"), data_arg("close"));
ENTRY(py_fibonacci_pivots, fibonacci_levels)(Doc{}, data_arg("high"), data_arg("low"), data_arg("close"));
ENTRY(py_camarilla_pivots, camarilla)(Doc{}, data_arg("high"), data_arg("low"), data_arg("close"));
ENTRY(py_woodie_pivots, woodie)(Doc{}, data_arg("high"), data_arg("low"), data_arg("close"));
ENTRY(py_demark_pivots, demark)(Doc{}, data_arg("open"), data_arg("high"), data_arg("low"), data_arg("close"));
ENTRY(py_calc_pivot_series, pv::calc_pivot_series)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"),
                                                   arg("method"));
ENTRY(py_detect_pivot_touch, touch)(Doc{}, data_arg("current_price"), arg("levels"), arg_or_none("tolerance", 0.001));
ENTRY(py_pivot_zone, zone)(Doc{}, data_arg("current_price"), arg("levels"));

}  // namespace families
}  // namespace vorn::py
