#pragma once
// Plain records that callers fill themselves: one bar, a named series, a named group.
#include <cstdint>
#include <random>
#include <string>
#include <atomic>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "errors/errors.hpp"
#include "utils/series.hpp"

namespace vorn::types {

// A fresh seed per map, so no caller can come to rely on an order. The random device is
// read once per process (it costs microseconds a read); each map mixes in a counter.
inline std::uint64_t next_map_seed() noexcept {
    static const std::uint64_t process_seed = std::random_device{}() * 0x9E3779B97F4A7C15ull;
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t z = process_seed + (counter.fetch_add(1, std::memory_order_relaxed) + 1) * 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

struct SeededHash {
    std::uint64_t seed = next_map_seed();
    std::size_t operator()(std::string_view s) const noexcept {
        std::uint64_t h = std::hash<std::string_view>{}(s) ^ seed;
        h ^= h >> 33;
        h *= 0xff51afd7ed558ccdull;
        h ^= h >> 33;
        return static_cast<std::size_t>(h);
    }
};

template <class V>
using SeededMap = std::unordered_map<std::string, V, SeededHash>;

struct Candle {
    std::int64_t timestamp;
    double open, high, low, close, volume;

    double typical_price() const { return (high + low + close) / 3.0; }
    double median_price() const { return (high + low) * 0.5; }
    double weighted_close() const { return ((close + close) + (high + low)) * 0.25; }
    SeededMap<double> to_dict() const;
    std::string repr() const;
};

struct IndicatorResult {
    std::string name;
    Series values;
    SeededMap<std::string> metadata;
};

struct MultiIndicatorResult {
    std::string name;
    SeededMap<Series> series;
    SeededMap<std::string> metadata;
};

}  // namespace vorn::types
