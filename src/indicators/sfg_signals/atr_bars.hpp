#pragma once
// How the signal systems treat the ATR at the bars they scan.
#include <cmath>
#include <cstddef>
#include <span>

#include "errors/errors.hpp"

namespace vorn::indicators::sfg_signals {

// An infinite ATR fails the call at the first such bar from `from` on, even at a bar where
// no signal would read it; a NaN one (the warm-up) only makes its bar skipped.
inline Status refuse_infinite_atr(std::span<const double> atr, std::size_t from, const char* message) {
    for (std::size_t i = from; i < atr.size(); ++i)
        if (std::isinf(atr[i])) return fail(VornError::invalid_value(i, message));
    return {};
}

}  // namespace vorn::indicators::sfg_signals
