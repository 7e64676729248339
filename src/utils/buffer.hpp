#pragma once
// Allocator for series buffers. Large buffers freed by one call are kept for the next:
// fresh pages from the system cost a page fault each, which on long series costs as much
// as the indicator itself, while a recycled buffer is already mapped.
#include <cstddef>
#include <iterator>
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

// The values f(0), ..., f(n - 1) as a vector of n, each element written once: a vector made
// with n elements and then assigned writes every element twice, and on long series the
// first pass (a fill of memory that is not in cache) costs about what a simple kernel does.
template <class F>
class GeneratedValues {
public:
    // Random access only so that the vector learns n by subtraction; it only steps forward.
    using iterator_category = std::random_access_iterator_tag;
    using difference_type = std::ptrdiff_t;
    using value_type = decltype(std::declval<F&>()(std::size_t{}));
    using pointer = void;
    using reference = value_type;

    GeneratedValues() = default;
    GeneratedValues(F* f, std::size_t i) : f_(f), i_(i) {}
    value_type operator*() const { return (*f_)(i_); }
    GeneratedValues& operator++() {
        ++i_;
        return *this;
    }
    GeneratedValues operator++(int) {
        GeneratedValues old = *this;
        ++i_;
        return old;
    }
    bool operator==(const GeneratedValues& o) const { return i_ == o.i_; }
    difference_type operator-(const GeneratedValues& o) const { return static_cast<difference_type>(i_ - o.i_); }

private:
    F* f_ = nullptr;
    std::size_t i_ = 0;
};

template <class Vector, class F>
Vector generated(std::size_t n, F f) {
    return Vector(GeneratedValues<F>(&f, 0), GeneratedValues<F>(&f, n));
}

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
