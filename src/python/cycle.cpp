// Cycle measures: dominant-cycle period and phase, sine, phasor and trend mode.
#include "indicators/cycle.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace cy = indicators::cycle;

ENTRY(py_ht_dcperiod, cy::ht_dcperiod)(Doc{}, arg("values"));
ENTRY(py_ht_dcphase, cy::ht_dcphase)(Doc{}, arg("values"));
ENTRY(py_ht_phasor, cy::ht_phasor)(Doc{}, arg("values"));
ENTRY(py_ht_sine, cy::ht_sine)(Doc{}, arg("values"));
ENTRY(py_ht_trendmode, cy::ht_trendmode)(Doc{}, arg("values"));

}  // namespace vorn::py::families
