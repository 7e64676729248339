#pragma once
// Allocator for series buffers. Large buffers freed by one call are kept for the next:
// fresh pages from the system cost a page fault each, which on long series costs as much
// as the indicator itself, while a recycled buffer is already mapped.
#include <cstddef>
#include <new>

namespace vorn::utils {

void* acquire_buffer(std::size_t bytes);
void release_buffer(void* p) noexcept;

template <class T>
struct BufferAllocator {
    using value_type = T;

    BufferAllocator() noexcept = default;
    template <class U>
    BufferAllocator(const BufferAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / (2 * sizeof(T))) throw std::bad_array_new_length();
        return static_cast<T*>(acquire_buffer(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t) noexcept { release_buffer(p); }

    template <class U>
    bool operator==(const BufferAllocator<U>&) const noexcept { return true; }
};

}  // namespace vorn::utils
