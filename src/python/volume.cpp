// Volume accumulation lines, money flow, VWAP, volume oscillator and profile.
#include "indicators/extended/flow.hpp"
#include "indicators/volume.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

// The Elder force index entry of the extended family (extended_flow.cpp): py_force_index is
// the same function under a second name and its own docstring.
Result<Series> force_index(const Series& close, const Series& volume, std::optional<std::uint64_t> period);

namespace vol = indicators::volume;

namespace {

using Period = std::optional<std::uint64_t>;

Result<Series> adosc(const Series& high, const Series& low, const Series& close, const Series& volume,
                     Period fast_period, Period slow_period) {
    return vol::adosc(high, low, close, volume, fast_period.value_or(3), slow_period.value_or(10));
}
Result<Series> cmf(const Series& high, const Series& low, const Series& close, const Series& volume,
                   Period period) {
    return vol::cmf(high, low, close, volume, period.value_or(20));
}
Result<Series> mfi(const Series& high, const Series& low, const Series& close, const Series& volume,
                   Period period) {
    return vol::mfi(high, low, close, volume, period.value_or(14));
}
// Omitted, None and 0 all select the cumulative line.
Result<Series> vwap(const Series& high, const Series& low, const Series& close, const Series& volume,
                    Period period) {
    return vol::vwap(high, low, close, volume, period.value_or(0));
}
Result<Series> eom(const Series& high, const Series& low, const Series& volume, Period period) {
    return vol::eom(high, low, volume, period.value_or(14));
}
Result<Series> volume_oscillator(const Series& volume, Period short_period, Period long_period) {
    return vol::volume_oscillator(volume, short_period.value_or(5), long_period.value_or(10));
}
Result<vol::VolumeProfile> volume_profile(const Series& high, const Series& low, const Series& close,
                                          const Series& volume, Period num_bins) {
    return vol::volume_profile(high, low, close, volume, num_bins.value_or(24));
}

#define SERIES_DOC(name, text) name " : list[float]\n    " text "\n"
#define HLCV_DOC                                                                                   \
    SERIES_DOC("high", "High prices") SERIES_DOC("low", "Low prices") SERIES_DOC("close", "Close prices") \
        SERIES_DOC("volume", "Volume data")
#define SERIES_RAISES \
    "\nRaises\n------\nValueError\n    If an input is empty, contains a non-finite value or the lengths differ"
// The four series and one window: title, description, the period's default, the values returned.
#define HLCV_WINDOW_DOC(sig, title, text, period_default, returns)                                      \
    sig "\n--\n\n" title "\n\n" text "\n\nParameters\n----------\n" HLCV_DOC                       \
        "period : int\n    Window length (None selects " period_default ")\n\nReturns\n-------\nlist[float]\n    " \
        returns "\n" SERIES_RAISES ",\n    or if period is 0 or exceeds the data length\n"

}  // namespace

ENTRY(py_obv, vol::obv)(
    "py_obv(close, volume)\n--\n\n"
    "Calculate On-Balance Volume (OBV)\n\n"
    "A running total of volume: a bar whose close rises adds its volume, a bar whose close\n"
    "falls subtracts it, an unchanged close leaves the total as it was. The first value is\n"
    "the first bar's volume.\n\n"
    "Parameters\n----------\n" SERIES_DOC("close", "Close prices") SERIES_DOC("volume", "Volume data")
    "\nReturns\n-------\nlist[float]\n    OBV values, defined from the first bar\n" SERIES_RAISES "\n",
    arg("close"), arg("volume"));

ENTRY(py_ad, vol::accumulation_distribution)(
    "py_ad(high, low, close, volume)\n--\n\n", arg("high"), arg("low"), arg("close"), arg("volume"));

ENTRY(py_adosc, adosc)(
    "py_adosc(high, low, close, volume, fast_period, slow_period)\n--\n\n", arg("high"), arg("low"), arg("close"),
    arg("volume"), arg_or_none("fast_period"), arg_or_none("slow_period"));

ENTRY(py_pvt, vol::pvt)("py_pvt(close, volume)\n--\n\n", arg("close"), arg("volume"));
ENTRY(py_nvi, vol::nvi)("py_nvi(close, volume)\n--\n\n", arg("close"), arg("volume"));
ENTRY(py_pvi, vol::pvi)("py_pvi(close, volume)\n--\n\n", arg("close"), arg("volume"));

ENTRY(py_cmf, cmf)(
    HLCV_WINDOW_DOC("py_cmf(high, low, close, volume, period=20)", "Calculate Chaikin Money Flow (CMF)",
                    "The money-flow volume summed over `period` bars divided by the volume summed over the\n"
                    "same bars. A bar's money-flow multiplier is ((close - low) - (high - close)) / (high - low),\n"
                    "0.0 for a bar whose range is below 1e-10; a window whose volume sums to zero gives 0.0.",
                    "20", "CMF values, NaN before index `period` - 1"),
    arg("high"), arg("low"), arg("close"), arg("volume"), arg_or_none("period"));

ENTRY(py_mfi, mfi)(
    HLCV_WINDOW_DOC("py_mfi(high, low, close, volume, period=14)", "Calculate Money Flow Index (MFI)",
                    "A volume-weighted RSI of the typical price ((high + low) + close) / 3: the flow of bars\n"
                    "whose typical price rose against the flow of those whose typical price fell, over\n"
                    "`period` bars, on a 0 to 100 scale (100 when nothing fell).",
                    "14", "MFI values (0 to 100), NaN before index `period` - 1"),
    arg("high"), arg("low"), arg("close"), arg("volume"), arg_or_none("period"));

ENTRY(py_vwap, vwap)(
    "py_vwap(high, low, close, volume)\n--\n\n"
    "Calculate Volume Weighted Average Price (VWAP)\n\n"
    "The typical price ((high + low) + close) / 3 weighted by volume: cumulative from the\n"
    "first bar, or over a rolling window of `period` bars. NaN where the volume summed so far\n"
    "(or over the window) is below 1e-10.\n\n"
    "Parameters\n----------\n" HLCV_DOC
    "period : int, optional\n    Rolling window length; omitted, None or 0 selects the cumulative VWAP\n"
    "\nReturns\n-------\nlist[float]\n    VWAP values; the rolling form is NaN before index `period` - 1\n" SERIES_RAISES
    ",\n    if a typical price is not finite, or if period exceeds the data length\n",
    arg("high"), arg("low"), arg("close"), arg("volume"), omissible_or_none("period"));

ENTRY(py_eom, eom)("py_eom(high, low, volume, period)\n--\n\n", arg("high"), arg("low"),
                                              arg("volume"), arg_or_none("period"));

ENTRY(py_force_index, force_index)(
    "py_force_index(close, volume, period=13)\n--\n\n"
    "Calculate Force Index (Elder's Force Index)\n\n"
    "The exponential average (alpha = 2 / (period + 1)) of the price change times the volume,\n"
    "(close[i] - close[i-1]) * volume[i], seeded with the mean of the first `period` changes.\n\n"
    "Parameters\n----------\n" SERIES_DOC("close", "Close prices") SERIES_DOC("volume", "Volume data")
    "period : int\n    Smoothing period (None selects 13)\n"
    "\nReturns\n-------\nlist[float]\n    Force index values, NaN before index `period`\n" SERIES_RAISES
    ",\n    or if period is 0 or exceeds the data length\n"
    "\nExamples\n--------\n>>> py_force_index([10.0, 11.0, 10.5], [100.0, 200.0, 300.0], 1)\n"
    "[nan, 200.0, -150.0]\n",
    arg("close"), arg("volume"), arg_or_none("period"));

ENTRY(py_volume_oscillator, volume_oscillator)(
    "py_volume_oscillator(volume, short_period=5, long_period=10)\n--\n\n"
    "Calculate Volume Oscillator\n\n"
    "The distance of the short simple moving average of volume from the long one, as a\n"
    "percentage of the long one. The smaller period is the short one, whatever the order.\n\n"
    "Parameters\n----------\n" SERIES_DOC("volume", "Volume data")
    "short_period : int\n    Short averaging period (None selects 5)\n"
    "long_period : int\n    Long averaging period (None selects 10)\n"
    "\nReturns\n-------\nlist[float]\n    Oscillator values in percent, NaN before index long_period - 1 and\n"
    "    where the long average is below 1e-10\n"
    "\nRaises\n------\nValueError\n    If volume is empty or contains a non-finite value, or if a period is 0 or\n"
    "    exceeds the data length\n"
    "\nExamples\n--------\n>>> py_volume_oscillator([100.0, 200.0, 300.0], 1, 2)\n[nan, 33.33333333333333, 20.0]\n",
    arg("volume"), arg_or_none("short_period"), arg_or_none("long_period"));

ENTRY(py_volume_profile, volume_profile)(
    "py_volume_profile(high, low, close, volume, num_bins)\n--\n\n", arg("high"), arg("low"), arg("close"),
    arg("volume"), arg_or_none("num_bins"));


}  // namespace vorn::py::families
