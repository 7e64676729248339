// RVI, inertia, PGO and the Elder force index.
#include "indicators/extended/flow.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace ext = indicators::extended;

ENTRY(py_rvi, ext::rvi)(Doc{}.names_only(), arg("open"), arg("high"), arg("low"), arg("close"),
                        arg_or_none("period", 10), arg_or_none("signal_period", 4));
ENTRY(py_inertia, ext::inertia)(Doc{}.names_only(), arg("open"), arg("high"), arg("low"), arg("close"),
                                arg_or_none("rvi_period", 14), arg_or_none("regression_period", 20));
ENTRY(py_pgo, ext::pgo)(Doc{}.names_only(), arg("high"), arg("low"), arg("close"), arg_or_none("period", 14));
// The same behaviour as py_force_index (volume.cpp).
ENTRY(py_efi, ext::efi)(Doc{}.names_only(), arg("close"), arg("volume"), arg_or_none("period", 13));

}  // namespace vorn::py::families
