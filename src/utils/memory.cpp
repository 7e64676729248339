#include "utils/memory.hpp"

#include <cstdio>
#include <limits>

namespace vorn::utils {

namespace {

using ull = unsigned long long;

[[noreturn, gnu::cold]] void refuse_result(std::uint64_t rows, std::uint64_t columns, const MemoryRoom& room) {
    char text[224];
    std::uint64_t values, bytes;
    if (__builtin_mul_overflow(rows, columns, &values))
        std::snprintf(text, sizeof text, "Result too large for memory: %llu x %llu values", ull{rows}, ull{columns});
    else if (__builtin_mul_overflow(values, kResultValueBytes, &bytes))
        std::snprintf(text, sizeof text, "Result too large for memory: %llu values need more than %llu bytes",
                      ull{values}, ull{std::numeric_limits<std::uint64_t>::max()});
    else
        std::snprintf(text, sizeof text, "Result too large for memory: %llu values need %llu bytes, %s %llu", ull{values},
                      ull{bytes}, room_limit_text(room.limit), ull{room.bytes});
    throw TooLarge(text);
}

}  // namespace

TooLarge::TooLarge(const char* message) noexcept {
    std::snprintf(message_, sizeof message_, "%s", message);
}

void ensure_result_fits(std::uint64_t rows, std::uint64_t columns) {
    std::uint64_t values, bytes;
    if (__builtin_mul_overflow(rows, columns, &values) || __builtin_mul_overflow(values, kResultValueBytes, &bytes))
        refuse_result(rows, columns, {});
    if (bytes < kUncheckedResultBytes) return;
    if (const MemoryRoom room = memory_room(); bytes > room.bytes) refuse_result(rows, columns, room);
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
