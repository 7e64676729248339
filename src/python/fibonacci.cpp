// Fibonacci retracements, extensions, fans and time zones.
#include "indicators/fibonacci.hpp"
#include "python/families.hpp"

namespace vorn::py {

namespace fib = indicators::fibonacci;

// One dict per bar: empty before the first full window, else the seven retracement keys.
// Each full dict is copied from a template that already holds the keys, so that filling it
// replaces values and never grows the table.
template <>
struct ToPy<fib::FibRetracementSeries> {
    static PyObject* convert(const fib::FibRetracementSeries& r) {
        const std::size_t n = r.levels[0].size();
        constexpr std::size_t K = fib::kRetracementKeys.size();
        Ref keys[K];
        Ref tmpl(PyDict_New());
        if (!tmpl) return nullptr;
        for (std::size_t k = 0; k < K; ++k) {
            keys[k] = Ref(PyUnicode_InternFromString(fib::kRetracementKeys[k]));
            if (!keys[k] || PyDict_SetItem(tmpl.get(), keys[k].get(), Py_None) < 0) return nullptr;
        }
        Ref list(PyList_New(static_cast<Py_ssize_t>(n)));
        if (!list) return nullptr;
        for (std::size_t i = 0; i < n; ++i) {
            PyObject* d = i < r.first ? PyDict_New() : PyDict_Copy(tmpl.get());
            if (!d) return nullptr;
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), d);
            if (i < r.first) continue;
            for (std::size_t k = 0; k < K; ++k) {
                Ref price(PyFloat_FromDouble(r.levels[k][i]));
                if (!price || PyDict_SetItem(d, keys[k].get(), price.get()) < 0) return nullptr;
            }
        }
        return list.release();
    }
};

namespace families {

namespace {

using LevelList = std::vector<fib::FibLevel>;

template <std::size_t N>
LevelList level_list(const std::array<const char*, N>& keys, const std::array<double, N>& prices) {
    LevelList out;
    out.reserve(N);
    for (std::size_t k = 0; k < N; ++k) out.emplace_back(keys[k], prices[k]);
    return out;
}

Result<LevelList> retracement(double start_price, double end_price) {
    auto r = fib::fib_retracement(start_price, end_price);
    if (!r) return fail(r.error());
    return level_list(fib::kRetracementKeys, r->levels);
}
Result<LevelList> extension(double start_price, double end_price, double retracement_price) {
    auto r = fib::fib_extension(start_price, end_price, retracement_price);
    if (!r) return fail(r.error());
    return level_list(fib::kExtensionKeys, *r);
}

}  // namespace

ENTRY(py_fib_retracement, retracement)(Doc{}, data_arg("start_price"), data_arg("end_price"));
ENTRY(py_fibonacci_retracement, retracement)(Doc{}, data_arg("start_price"), data_arg("end_price"));
ENTRY(py_fib_extension, extension)(Doc{}, data_arg("start_price"), data_arg("end_price"),
                                   data_arg("retracement_price"));
ENTRY(py_fibonacci_extension, extension)(Doc{}, data_arg("start_price"), data_arg("end_price"),
                                         data_arg("retracement_price"));
ENTRY(py_dynamic_fib_retracement, fib::dynamic_fib_retracement)(Doc{}, arg("prices"), arg_or_none("lookback", 20));
ENTRY(py_detect_fib_touch, fib::detect_fib_touch)(Doc{}, data_arg("current_price"), arg("levels"),
                                                  arg_or_none("tolerance", 0.001));
ENTRY(py_fib_fan_lines, fib::fib_fan_lines)(Doc{}, arg("start_index"), arg("end_index"), data_arg("start_price"),
                                            data_arg("end_price"), arg("target_index"));
ENTRY(py_fib_time_zones, fib::fib_time_zones)(Doc{}, arg("start_index"), arg("max_zones"));

}  // namespace families
}  // namespace vorn::py
