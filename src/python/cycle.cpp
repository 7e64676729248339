// Cycle measures: dominant-cycle period and phase, sine, phasor and trend mode.
#include "indicators/cycle.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace cy = indicators::cycle;

ENTRY(py_ht_dcperiod, cy::ht_dcperiod)("py_ht_dcperiod(values)\n--\n\n", arg("values"));
ENTRY(py_ht_dcphase, cy::ht_dcphase)("py_ht_dcphase(values)\n--\n\n", arg("values"));
ENTRY(py_ht_phasor, cy::ht_phasor)("py_ht_phasor(values)\n--\n\n", arg("values"));
ENTRY(py_ht_sine, cy::ht_sine)("py_ht_sine(values)\n--\n\n", arg("values"));
ENTRY(py_ht_trendmode, cy::ht_trendmode)("py_ht_trendmode(values)\n--\n\n", arg("values"));


}  // namespace vorn::py::families
