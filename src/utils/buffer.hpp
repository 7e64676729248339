#pragma once
// Allocator for series buffers. Large buffers freed by one call are kept for the next:
// fresh pages from the system cost a page fault each, which on long series costs as much
// as the indicator itself, while a recycled buffer is already mapped.
#include <cstddef>
#include <type_traits>
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

// A kernel's working array from the same recycled buffers, left uninitialised: for
// intermediate series the kernel writes before it reads them, which a Series would first fill
// for nothing. Only trivial element types, which need no construction either.
template <class T = double>
class Scratch {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

public:
    explicit Scratch(std::size_t n) : p_(static_cast<T*>(acquire_buffer(bytes(n)))), n_(n) {}
    ~Scratch() { release_buffer(p_); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    T* data() noexcept { return p_; }
    const T* data() const noexcept { return p_; }
    std::size_t size() const noexcept { return n_; }
    T& operator[](std::size_t i) noexcept { return p_[i]; }
    const T& operator[](std::size_t i) const noexcept { return p_[i]; }

private:
    static std::size_t bytes(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / (2 * sizeof(T))) throw std::bad_array_new_length();
        return n * sizeof(T);
    }

    T* p_;
    std::size_t n_;
};

}  // namespace vorn::utils
