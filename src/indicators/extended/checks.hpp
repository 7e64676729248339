#pragma once
// The check most extended indicators open with: their series (the first is the reference,
// then each later one for emptiness, length and finiteness), then each period in turn,
// 0 or above the length being an invalid period.
#include <cstdint>
#include <initializer_list>

#include "errors/errors.hpp"

namespace vorn::indicators::extended {

inline Status check_inputs(std::initializer_list<errors::validation::Named> series,
                           std::initializer_list<std::uint64_t> periods) {
    if (auto s = errors::validation::validate_lengths_match(series); !s) return s;
    const std::size_t n = series.begin()->values.size();
    for (const std::uint64_t p : periods)
        if (auto s = errors::validation::validate_period(p, n); !s) return s;
    return {};
}

}  // namespace vorn::indicators::extended
