#include "utils/memory.hpp"

#include <cstdio>
#include <limits>

namespace vorn::utils {

namespace {

using ull = unsigned long long;

[[noreturn, gnu::cold]] void refuse(const char* what, std::uint64_t values, std::uint64_t value_bytes,
                                    const MemoryRoom& room) {
    char text[224];
    std::uint64_t bytes;
    if (__builtin_mul_overflow(values, value_bytes, &bytes))
        std::snprintf(text, sizeof text, "%s too large for memory: %llu values need more than %llu bytes", what,
                      ull{values}, ull{std::numeric_limits<std::uint64_t>::max()});
    else
        std::snprintf(text, sizeof text, "%s too large for memory: %llu values need %llu bytes, %s %llu", what,
                      ull{values}, ull{bytes}, room_limit_text(room.limit), ull{room.bytes});
    throw TooLarge(text);
}

[[noreturn, gnu::cold]] void refuse_count(const char* what, const char* count) {
    char text[224];
    std::snprintf(text, sizeof text, "%s too large for memory: %s values", what, count);
    throw TooLarge(text);
}

void ensure_values_fit(const char* what, std::uint64_t values, std::uint64_t value_bytes) {
    std::uint64_t bytes;
    if (__builtin_mul_overflow(values, value_bytes, &bytes)) refuse(what, values, value_bytes, {});
    if (bytes < kUncheckedResultBytes) return;
    if (const MemoryRoom room = memory_room(); bytes > room.bytes) refuse(what, values, value_bytes, room);
}

}  // namespace

TooLarge::TooLarge(const char* message) noexcept {
    std::snprintf(message_, sizeof message_, "%s", message);
}

void ensure_result_fits(std::uint64_t rows, std::uint64_t columns) {
    std::uint64_t values;
    if (__builtin_mul_overflow(rows, columns, &values)) {
        char count[64];
        std::snprintf(count, sizeof count, "%llu x %llu", ull{rows}, ull{columns});
        refuse_count("Result", count);
    }
    ensure_values_fit("Result", values, kResultValueBytes);
}

void ensure_fits(const char* what, const ValueCount& count, std::uint64_t value_bytes) {
    if (count.overflowed()) {
        char text[64];
        std::snprintf(text, sizeof text, "more than %llu", ull{std::numeric_limits<std::uint64_t>::max()});
        refuse_count(what, text);
    }
    ensure_values_fit(what, count.values(), value_bytes);
}

double* allocate_doubles(std::uint64_t count) {
    double* p = count <= std::numeric_limits<std::size_t>::max() / sizeof(double)
                    ? new (std::nothrow) double[static_cast<std::size_t>(count)]
                    : nullptr;
    if (!p) [[unlikely]] {
        char text[160];
        std::snprintf(text, sizeof text, "Cannot allocate %llu values of %zu bytes", ull{count}, sizeof(double));
        throw TooLarge(text);
    }
    return p;
}

}  // namespace vorn::utils
