#pragma once
// Sizes the machine cannot hold. Where memory is overcommitted (Linux by default), asking for
// more than the machine has succeeds, and the process, or a neighbour, is killed part way
// through filling it; so a result whose size is not bounded by its inputs' is measured
// against the machine's memory before any of it is built.
#include <cstddef>
#include <cstdint>
#include <new>

namespace vorn::utils {

// What a value of a result costs once its caller holds it: a boxed double and the slot of the
// list that holds it.
inline constexpr std::uint64_t kResultValueBytes = 32;

// An allocation refused for its size: a std::bad_alloc, so that whatever handles a failed
// allocation handles it, with a message that gives the size. Copies never allocate.
class TooLarge : public std::bad_alloc {
public:
    explicit TooLarge(const char* message) noexcept;
    const char* what() const noexcept override { return message_; }

private:
    char message_[160];
};

// The machine's physical memory in bytes; 0 where the system does not tell.
std::uint64_t physical_memory() noexcept;

// Throws TooLarge when a result of rows x columns values, kResultValueBytes each, cannot fit in
// the machine's physical memory (where that is not known, only when the count overflows).
void ensure_result_fits(std::uint64_t rows, std::uint64_t columns);

// new double[count], uninitialised, released with delete[]; TooLarge when it cannot be had.
// Asked without throwing: a sanitizer's allocator can be told to answer an impossible request
// with nothing, but it answers a throwing new's with an abort.
double* allocate_doubles(std::uint64_t count);

}  // namespace vorn::utils
