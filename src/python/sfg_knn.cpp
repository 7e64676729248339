// The nearest-neighbour signal systems: AI SuperTrend and the AI momentum index.
#include "indicators/sfg/knn.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace sfg = indicators::sfg;

ENTRY(py_ai_supertrend, sfg::ai_supertrend)(Doc{}.names_only(), arg("high"), arg("low"), arg("close"),
                                            arg_or_none("k", 5), arg_or_none("n", 100), arg_or_none("price_trend", 10),
                                            arg_or_none("predict_trend", 10), arg_or_none("st_length", 10),
                                            arg_or_none("st_multiplier", 3.0));

ENTRY(py_ai_momentum_index, sfg::ai_momentum_index)(Doc{}.names_only(), arg("close"), arg_or_none("k", 50),
                                                    arg_or_none("trend_length", 14), arg_or_none("smooth", 3));

}  // namespace vorn::py::families
