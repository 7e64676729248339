#pragma once
// Sizes the process cannot hold. Where memory is overcommitted (Linux by default), asking for
// more than can be had succeeds, and the process, or a neighbour, is killed part way through
// filling it; and under an address-space or data limit the request fails only once much of
// the result is built. So a result whose size is not bounded by its inputs' is measured
// against what this process can still get before any of it is built.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>

namespace vorn::utils {

// What a value of a result costs at its peak, once it reaches its caller: the flat copy of
// the doubles (8 bytes), which is still held while the list is built, the list's slot (8) and
// the boxed double it points to (a 24-byte object in a 32-byte block).
inline constexpr std::uint64_t kResultValueBytes = 48;

// Below this, a result is built without asking the system what is left: reading the limits
// would cost more than such a result, and an allocation that fails still fails cleanly.
inline constexpr std::uint64_t kUncheckedResultBytes = std::uint64_t{32} << 20;

// The limit that bounds what a process can still get.
enum class RoomLimit : std::uint8_t {
    none,           // nothing the system tells bounds it
    available,      // the machine's memory available now (MemAvailable)
    physical,       // the machine's memory, where what is available is not told
    address_space,  // RLIMIT_AS less the address space already mapped
    data,           // RLIMIT_DATA less the data segments already mapped
    container,      // the memory limit of the process's cgroup (or an ancestor's) less its usage
};

struct MemoryRoom {
    std::uint64_t bytes = std::numeric_limits<std::uint64_t>::max();
    RoomLimit limit = RoomLimit::none;
};

// How a refusal names the limit, before the bytes it leaves: "the data limit (RLIMIT_DATA) leaves".
const char* room_limit_text(RoomLimit limit) noexcept;

// The resource limits that bound what the process can map, in bytes; the largest value where
// a limit is not set.
struct ProcessLimits {
    std::uint64_t address_space = std::numeric_limits<std::uint64_t>::max();  // RLIMIT_AS
    std::uint64_t data = std::numeric_limits<std::uint64_t>::max();           // RLIMIT_DATA
};

// This process's soft limits.
ProcessLimits process_limits() noexcept;

// The most this process can be given now: the least of what each limit leaves. The system's
// files are read under root, and the limits are taken as given, so that a test can lay out a
// system in a directory and be independent of the limits it runs under; a source the system
// does not have bounds nothing. Reads a few small files: call it once per large request,
// never per value.
MemoryRoom memory_room(const char* root, const ProcessLimits& limits) noexcept;

// The running system's room, under this process's limits.
inline MemoryRoom memory_room() noexcept { return memory_room("", process_limits()); }

// The machine's physical memory in bytes; 0 where the system does not tell.
std::uint64_t physical_memory() noexcept;

// An allocation refused for its size: a std::bad_alloc, so that whatever handles a failed
// allocation handles it, with a message that gives the size. Copies never allocate.
class TooLarge : public std::bad_alloc {
public:
    explicit TooLarge(const char* message) noexcept;
    const char* what() const noexcept override { return message_; }

private:
    char message_[224];
};

// Throws TooLarge when a result of rows x columns values, kResultValueBytes each, cannot be had
// (memory_room(), asked only from kUncheckedResultBytes up) or its size overflows. The message
// gives the size and the limit that refused it.
void ensure_result_fits(std::uint64_t rows, std::uint64_t columns);

// A count of values summed from products that remembers passing 64 bits, so that a size too
// large to count is refused as too large, never wrapped round to a small one.
class ValueCount {
public:
    ValueCount& add(std::uint64_t rows, std::uint64_t columns = 1) noexcept {
        std::uint64_t product;
        overflowed_ |= __builtin_mul_overflow(rows, columns, &product) ||
                       __builtin_add_overflow(values_, product, &values_);
        return *this;
    }
    std::uint64_t values() const noexcept { return values_; }
    bool overflowed() const noexcept { return overflowed_; }

private:
    std::uint64_t values_ = 0;
    bool overflowed_ = false;
};

// Throws TooLarge, as ensure_result_fits does, when count values of value_bytes each cannot be
// had; the message opens with what would hold them ("Training too large for memory: ...").
void ensure_fits(const char* what, const ValueCount& count, std::uint64_t value_bytes);

// new double[count], uninitialised, released with delete[]; TooLarge when it cannot be had.
// Asked without throwing: a sanitizer's allocator can be told to answer an impossible request
// with nothing, but it answers a throwing new's with an abort.
double* allocate_doubles(std::uint64_t count);

}  // namespace vorn::utils
