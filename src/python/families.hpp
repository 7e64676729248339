#pragma once
// What each family file exports to the module body: its function entries and its classes.
// The module body orders them; a family lists its entries in any order.
#include <span>

#include "python/bind/module.hpp"

namespace vorn::py::families {

using Table = std::span<const FunctionDef* const>;

Table moving_averages();
Table statistics();
Table math();
Table price_transforms();
Table volatility();
Table channels();
Table momentum();
Table stochastic();
Table oscillators();
Table trend();
Table trend_measures();
Table cycle();
Table volume();
Table extended_flow();
Table overlap();
Table extended_bands();
Table extended_averages();
Table extended_statistics();
Table extended_oscillators();
Table candlestick_single();
Table candlestick_double();
Table candlestick_triple();
Table candlestick_multi();
Table pivots();
Table fibonacci();
Table ichimoku();
Table harmonics();
Table sfg_signals();
Table signal_systems();
Table models();

PyTypeObject* candle_class();
PyTypeObject* indicator_result_class();
PyTypeObject* multi_indicator_result_class();
// Classes registered outside the streaming run.
PyTypeObject* ohlcv_frame_class();
PyTypeObject* harmonic_pattern_class();
PyTypeObject* sfg_model_class();

}  // namespace vorn::py::families

namespace vorn::py::streaming_py {
// Adds the streaming classes, in their order, by the module's adding step.
bool register_streaming_classes(PyObject* module);
}  // namespace vorn::py::streaming_py
