// The OHLCV frame and its indicator cache.
#include "dataframe/frame.hpp"
#include "python/bind/klass.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

using dataframe::OhlcvFrame;

// The converted columns move into the frame. A const member function takes shared access,
// any other exclusive access (the cache).
PyTypeObject* ohlcv_frame_class() {
    using F = OhlcvFrame;
    return ClassDef<F>("OhlcvFrame", Doc{})
        .constructor<&F::create>(arg("timestamps"), arg("open"), arg("high"), arg("low"), arg("close"),
                                 arg("volume"))
        .length<&F::len>()
        .method<"len", &F::len>(Doc{})
        .method<"is_empty", &F::is_empty>(Doc{})
        .method<"clear_cache", &F::clear_cache>(Doc{})
        .method<"cached_indicators", &F::cached_indicators>(Doc{})
        .method<"get_cached", &F::get_cached>(Doc{}, arg("name"))
        .method<"compute_common_indicators", &F::compute_common_indicators>(Doc{})
        .method<"sma", &F::sma>(Doc{}, arg("period"))
        .method<"ema", &F::ema>(Doc{}, arg("period"))
        .method<"wma", &F::wma>(Doc{}, arg("period"))
        .method<"hma", &F::hma>(Doc{}, arg("period"))
        .method<"atr", &F::atr>(Doc{}, arg("period"))
        .method<"true_range", &F::true_range>(Doc{})
        .method<"bollinger_bands", &F::bollinger_bands>(Doc{}, arg("period"), arg("std_dev"))
        .method<"rsi", &F::rsi>(Doc{}, arg("period"))
        .method<"macd", &F::macd>(Doc{}, arg("fast"), arg("slow"), arg("signal"))
        .method<"stochastic", &F::stochastic>(Doc{}, arg("k_period"), arg("smooth_k"), arg("d_period"))
        .method<"cci", &F::cci>(Doc{}, arg("period"))
        .method<"williams_r", &F::williams_r>(Doc{}, arg("period"))
        .method<"supertrend", &F::supertrend>(Doc{}, arg("period"), arg("multiplier"))
        .method<"adx", &F::adx>(Doc{}, arg("period"))
        .method<"obv", &F::obv>(Doc{})
        .method<"vwap", &F::vwap>(Doc{}, arg("period"))
        .method<"mfi", &F::mfi>(Doc{}, arg("period"))
        .create();
}

}  // namespace vorn::py::families
