#include "utils/memory.hpp"

#include <cstdio>
#include <limits>

#if __has_include(<unistd.h>)
#include <unistd.h>
#endif

namespace vorn::utils {

namespace {

using ull = unsigned long long;

[[noreturn, gnu::cold]] void refuse_result(std::uint64_t rows, std::uint64_t columns, std::uint64_t memory) {
    char text[160];
    std::uint64_t values, bytes;
    if (__builtin_mul_overflow(rows, columns, &values))
        std::snprintf(text, sizeof text, "Result too large for memory: %llu x %llu values", ull{rows}, ull{columns});
    else if (__builtin_mul_overflow(values, kResultValueBytes, &bytes))
        std::snprintf(text, sizeof text, "Result too large for memory: %llu values need more than %llu bytes",
                      ull{values}, ull{std::numeric_limits<std::uint64_t>::max()});
    else
        std::snprintf(text, sizeof text, "Result too large for memory: %llu values need %llu bytes, the machine has %llu",
                      ull{values}, ull{bytes}, ull{memory});
    throw TooLarge(text);
}

}  // namespace

TooLarge::TooLarge(const char* message) noexcept {
    std::snprintf(message_, sizeof message_, "%s", message);
}

std::uint64_t physical_memory() noexcept {
#if defined(_SC_PHYS_PAGES) && defined(_SC_PAGESIZE)
    const long pages = sysconf(_SC_PHYS_PAGES), page = sysconf(_SC_PAGESIZE);
    std::uint64_t bytes;
    if (pages > 0 && page > 0 &&
        !__builtin_mul_overflow(static_cast<std::uint64_t>(pages), static_cast<std::uint64_t>(page), &bytes))
        return bytes;
#endif
    return 0;
}

void ensure_result_fits(std::uint64_t rows, std::uint64_t columns) {
    const std::uint64_t memory = physical_memory();
    std::uint64_t values, bytes;
    if (__builtin_mul_overflow(rows, columns, &values) || __builtin_mul_overflow(values, kResultValueBytes, &bytes) ||
        (memory > 0 && bytes > memory))
        refuse_result(rows, columns, memory);
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
