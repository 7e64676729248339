// Volume accumulation lines, money flow, VWAP, volume oscillator and profile.
#include "indicators/extended/flow.hpp"
#include "indicators/volume.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace vol = indicators::volume;

namespace {

constexpr const char* kSeriesRaises = "If an input is empty, contains a non-finite value or the lengths differ";

// The four series and one window: the text, the period's line and what the values are.
Doc window_doc(const char* text, const char* period_gloss, const char* returns_gloss) {
    return doc(text, params(lines::high_low_close, lines::volume, Line{"period", "int", period_gloss}),
               returns("list[float]", returns_gloss),
               raises(std::string(kSeriesRaises) + ",\nor if period is 0 or exceeds the data length"));
}

}  // namespace

ENTRY(py_obv, vol::obv)(
    doc("Calculate On-Balance Volume (OBV)\n\n"
        "A running total of volume: a bar whose close rises adds its volume, a bar whose close\n"
        "falls subtracts it, an unchanged close leaves the total as it was. The first value is\n"
        "the first bar's volume.",
        params(lines::close, lines::volume), returns("list[float]", "OBV values, defined from the first bar"),
        raises(kSeriesRaises)),
    arg("close"), arg("volume"));

ENTRY(py_ad, vol::accumulation_distribution)(Doc{}, arg("high"), arg("low"), arg("close"), arg("volume"));

ENTRY(py_adosc, vol::adosc)(Doc{}.names_only(), arg("high"), arg("low"), arg("close"), arg("volume"),
                            arg_or_none("fast_period", 3), arg_or_none("slow_period", 10));

ENTRY(py_pvt, vol::pvt)(Doc{}, arg("close"), arg("volume"));
ENTRY(py_nvi, vol::nvi)(Doc{}, arg("close"), arg("volume"));
ENTRY(py_pvi, vol::pvi)(Doc{}, arg("close"), arg("volume"));

ENTRY(py_cmf, vol::cmf)(
    window_doc("Calculate Chaikin Money Flow (CMF)\n\n"
               "The money-flow volume summed over `period` bars divided by the volume summed over the\n"
               "same bars. A bar's money-flow multiplier is ((close - low) - (high - close)) / (high - low),\n"
               "0.0 for a bar whose range is below 1e-10; a window whose volume sums to zero gives 0.0.",
               "Window length (None selects 20)", "CMF values, NaN before index `period` - 1"),
    arg("high"), arg("low"), arg("close"), arg("volume"), arg_or_none("period", 20));

ENTRY(py_mfi, vol::mfi)(
    window_doc("Calculate Money Flow Index (MFI)\n\n"
               "A volume-weighted RSI of the typical price ((high + low) + close) / 3: the flow of bars\n"
               "whose typical price rose against the flow of those whose typical price fell, over\n"
               "`period` bars, on a 0 to 100 scale (100 when nothing fell).",
               "Window length (None selects 14)", "MFI values (0 to 100), NaN before index `period` - 1"),
    arg("high"), arg("low"), arg("close"), arg("volume"), arg_or_none("period", 14));

// The signature hides the optional window: omitted, None and 0 all select the cumulative line.
ENTRY(py_vwap, vol::vwap)(
    doc("Calculate Volume Weighted Average Price (VWAP)\n\n"
        "The typical price ((high + low) + close) / 3 weighted by volume: cumulative from the\n"
        "first bar, or over a rolling window of `period` bars. NaN where the volume summed so far\n"
        "(or over the window) is below 1e-10.",
        params(lines::high_low_close, lines::volume,
               Line{"period", "int, optional",
                    "Rolling window length; omitted, None or 0 selects the cumulative VWAP"}),
        returns("list[float]", "VWAP values; the rolling form is NaN before index `period` - 1"),
        raises(std::string(kSeriesRaises) +
               ",\nif a typical price is not finite, or if period exceeds the data length"))
        .fixed_signature("py_vwap(high, low, close, volume)"),
    arg("high"), arg("low"), arg("close"), arg("volume"), omissible_or_none("period", 0));

ENTRY(py_eom, vol::eom)(Doc{}.names_only(), arg("high"), arg("low"), arg("volume"), arg_or_none("period", 14));

// The Elder force index under its second name (py_efi), with a docstring of its own.
ENTRY(py_force_index, indicators::extended::efi)(
    doc("Calculate Force Index (Elder's Force Index)\n\n"
        "The exponential average (alpha = 2 / (period + 1)) of the price change times the volume,\n"
        "(close[i] - close[i-1]) * volume[i], seeded with the mean of the first `period` changes.",
        params(lines::close, lines::volume, Line{"period", "int", "Smoothing period (None selects 13)"}),
        returns("list[float]", "Force index values, NaN before index `period`"),
        raises(std::string(kSeriesRaises) + ",\nor if period is 0 or exceeds the data length"),
        examples(">>> py_force_index([10.0, 11.0, 10.5], [100.0, 200.0, 300.0], 1)\n[nan, 200.0, -150.0]\n")),
    arg("close"), arg("volume"), arg_or_none("period", 13));

ENTRY(py_volume_oscillator, vol::volume_oscillator)(
    doc("Calculate Volume Oscillator\n\n"
        "The distance of the short simple moving average of volume from the long one, as a\n"
        "percentage of the long one. The smaller period is the short one, whatever the order.",
        params(lines::volume, Line{"short_period", "int", "Short averaging period (None selects 5)"},
               Line{"long_period", "int", "Long averaging period (None selects 10)"}),
        returns("list[float]", "Oscillator values in percent, NaN before index long_period - 1 and\n"
                               "where the long average is below 1e-10"),
        raises("If volume is empty or contains a non-finite value, or if a period is 0 or\n"
               "exceeds the data length"),
        examples(">>> py_volume_oscillator([100.0, 200.0, 300.0], 1, 2)\n[nan, 33.33333333333333, 20.0]\n")),
    arg("volume"), arg_or_none("short_period", 5), arg_or_none("long_period", 10));

ENTRY(py_volume_profile, vol::volume_profile)(Doc{}.names_only(), arg("high"), arg("low"), arg("close"),
                                              arg("volume"), arg_or_none("num_bins", 24));

}  // namespace vorn::py::families
