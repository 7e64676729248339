#include "indicators/candlestick/common.hpp"

namespace vorn::indicators::candlestick {

using errors::validation::validate_lengths_match;
using errors::validation::validate_series;

Result<Bars> four_series(In open, In high, In low, In close) {
    if (auto s = validate_lengths_match({{open, "open"}, {high, "high"}, {low, "low"}, {close, "close"}}); !s)
        return fail(s.error());
    return Bars{open.data(), high.data(), low.data(), close.data(), open.size()};
}

Result<Bars> two_series(In open, In close) {
    if (auto s = validate_lengths_match({{open, "open"}, {close, "close"}}); !s) return fail(s.error());
    return Bars{open.data(), nullptr, nullptr, close.data(), open.size()};
}

namespace {

// The side series and close come first; open is checked last, its length against close's.
Status side_then_open(In open, In side, const char* side_name, In close) {
    if (auto s = validate_lengths_match({{side, side_name}, {close, "close"}}); !s) return s;
    if (open.empty()) return fail(VornError::empty_input("open"));
    if (open.size() != close.size())
        return fail(VornError::length_mismatch("open", open.size(), "close", close.size()));
    return validate_series(open, "open");
}

}  // namespace

Result<Bars> open_high_close(In open, In high, In close) {
    if (auto s = side_then_open(open, high, "high", close); !s) return fail(s.error());
    return Bars{open.data(), high.data(), nullptr, close.data(), open.size()};
}

Result<Bars> open_low_close(In open, In low, In close) {
    if (auto s = side_then_open(open, low, "low", close); !s) return fail(s.error());
    return Bars{open.data(), nullptr, low.data(), close.data(), open.size()};
}

}  // namespace vorn::indicators::candlestick
