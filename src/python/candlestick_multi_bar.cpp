// Four- and five-bar candlestick detectors.
#include "indicators/candlestick/multi_bar.hpp"
#include "python/candlestick_common.hpp"

namespace vorn::py::families {

namespace cs = indicators::candlestick;

ENTRY(py_hikkake_mod, cs::hikkake_mod)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_ladder_bottom, cs::ladder_bottom)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_mat_hold, cs::mat_hold)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_breakaway, cs::breakaway)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_rising_three_methods, cs::rising_three_methods)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_falling_three_methods, cs::falling_three_methods)(Doc{}, arg("open"), arg("high"), arg("low"), arg("close"));
ENTRY(py_concealing_baby_swallow, cs::concealing_baby_swallow)(Doc{}, arg("open"), arg("high"), arg("low"),
                                                               arg("close"));

}  // namespace vorn::py::families
