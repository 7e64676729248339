// The OHLCV frame and its indicator cache.
#include "dataframe/frame.hpp"
#include "python/bind/klass.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

using dataframe::OhlcvFrame;

namespace {

// A member function of the frame as a plain function of (frame, arguments...): the receiver's
// constness decides shared or exclusive access.
template <auto M>
struct Member;
template <class R, class... A, R (OhlcvFrame::*M)(A...)>
struct Member<M> {
    static R call(OhlcvFrame& f, A... a) { return (f.*M)(a...); }
};
template <class R, class... A, R (OhlcvFrame::*M)(A...) const>
struct Member<M> {
    static R call(const OhlcvFrame& f, A... a) { return (f.*M)(a...); }
};
template <auto M>
constexpr auto member = &Member<M>::call;

// The converted columns move into the frame.
Result<OhlcvFrame> make_frame(std::vector<std::int64_t>& timestamps, Series& open, Series& high, Series& low,
                              Series& close, Series& volume) {
    return OhlcvFrame::create(std::move(timestamps), std::move(open), std::move(high), std::move(low),
                              std::move(close), std::move(volume));
}

}  // namespace

PyTypeObject* ohlcv_frame_class() {
    return ClassDef<OhlcvFrame>("OhlcvFrame", "OhlcvFrame(timestamps, open, high, low, close, volume)\n--\n\n")
        .constructor<make_frame>(arg("timestamps"), arg("open"), arg("high"), arg("low"), arg("close"),
                                 arg("volume"))
        .length<member<&OhlcvFrame::len>>()
        .method<"len", member<&OhlcvFrame::len>>("len($self)\n--\n\n")
        .method<"is_empty", member<&OhlcvFrame::is_empty>>("is_empty($self)\n--\n\n")
        .method<"clear_cache", member<&OhlcvFrame::clear_cache>>("clear_cache($self)\n--\n\n")
        .method<"cached_indicators", member<&OhlcvFrame::cached_indicators>>("cached_indicators($self)\n--\n\n")
        .method<"get_cached", member<&OhlcvFrame::get_cached>>("get_cached($self, name)\n--\n\n", arg("name"))
        .method<"compute_common_indicators", member<&OhlcvFrame::compute_common_indicators>>(
            "compute_common_indicators($self)\n--\n\n")
        .method<"sma", member<&OhlcvFrame::sma>>("sma($self, period)\n--\n\n", arg("period"))
        .method<"ema", member<&OhlcvFrame::ema>>("ema($self, period)\n--\n\n", arg("period"))
        .method<"wma", member<&OhlcvFrame::wma>>("wma($self, period)\n--\n\n", arg("period"))
        .method<"hma", member<&OhlcvFrame::hma>>("hma($self, period)\n--\n\n", arg("period"))
        .method<"atr", member<&OhlcvFrame::atr>>("atr($self, period)\n--\n\n", arg("period"))
        .method<"true_range", member<&OhlcvFrame::true_range>>("true_range($self)\n--\n\n")
        .method<"bollinger_bands", member<&OhlcvFrame::bollinger_bands>>(
            "bollinger_bands($self, period, std_dev)\n--\n\n", arg("period"), arg("std_dev"))
        .method<"rsi", member<&OhlcvFrame::rsi>>("rsi($self, period)\n--\n\n", arg("period"))
        .method<"macd", member<&OhlcvFrame::macd>>("macd($self, fast, slow, signal)\n--\n\n", arg("fast"),
                                                   arg("slow"), arg("signal"))
        .method<"stochastic", member<&OhlcvFrame::stochastic>>(
            "stochastic($self, k_period, smooth_k, d_period)\n--\n\n", arg("k_period"), arg("smooth_k"),
            arg("d_period"))
        .method<"cci", member<&OhlcvFrame::cci>>("cci($self, period)\n--\n\n", arg("period"))
        .method<"williams_r", member<&OhlcvFrame::williams_r>>("williams_r($self, period)\n--\n\n", arg("period"))
        .method<"supertrend", member<&OhlcvFrame::supertrend>>("supertrend($self, period, multiplier)\n--\n\n",
                                                               arg("period"), arg("multiplier"))
        .method<"adx", member<&OhlcvFrame::adx>>("adx($self, period)\n--\n\n", arg("period"))
        .method<"obv", member<&OhlcvFrame::obv>>("obv($self)\n--\n\n")
        .method<"vwap", member<&OhlcvFrame::vwap>>("vwap($self, period)\n--\n\n", arg("period"))
        .method<"mfi", member<&OhlcvFrame::mfi>>("mfi($self, period)\n--\n\n", arg("period"))
        .create();
}

}  // namespace vorn::py::families
