#pragma once
// Test builds (VORN_BUILD_TESTS) count how often each fast path is taken: the lane engine
// completing a series, and the loops written for vector registers that have a scalar path
// beside them. The paths compute the same bits as their scalar forms, so no output shows
// whether they engage; the counts let a test notice when one stops engaging on ordinary data.
// A rare path that must stay rare (a window weight's look for a nonzero term, once for a run
// of zeros) counts itself too (taken_rarely), so that a test notices when it is taken too often.
// In every other build taken<>() and taken_rarely<>() are nothing at all.
#include <cstddef>
#if defined(VORN_FAST_PATH_COUNTS)
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#endif

namespace vorn::utils::fast_path {

template <std::size_t N>
struct Name {
    char text[N];
    constexpr Name(const char (&s)[N]) noexcept {
        for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
    }
};

#if defined(VORN_FAST_PATH_COUNTS)
struct Counter;
// The counters registered so far. Inline, like the counters themselves, so that the two share
// one linkage: where the loader makes a counter one object for every module of the process
// (GCC's unique symbols), the list is one too, and a module never registers a counter into
// another module's list. Both keep default visibility even where a header that counts is built
// with hidden inlines (the bindings include the inline streaming classes): one hidden copy makes
// the symbol local to its module, and a counter made there joins a list no other module reads.
[[gnu::visibility("default")]] inline std::atomic<Counter*> registered{nullptr};

// A path's counter, registered on its first use.
struct Counter {
    explicit Counter(const char* p) noexcept : path(p), next(registered.load()) {
        while (!registered.compare_exchange_weak(next, this)) {
        }
    }
    const char* path;
    std::atomic<std::uint64_t> count{0};
    Counter* next;
};

// Each path taken since the previous call, with how often, by name; the counts start again.
std::vector<std::pair<std::string, std::uint64_t>> take_counts();
#endif

// Once per call that takes a fast path (never per bar).
#if defined(VORN_FAST_PATH_COUNTS)
template <Name path>
[[gnu::visibility("default")]] inline void taken() noexcept {
    static Counter counter(path.text);
    counter.count.fetch_add(1, std::memory_order_relaxed);
}
#else
template <Name path>
inline void taken() noexcept {}
#endif

// Once per time a rare path runs (a window weight's look, once for a run of zeros). Its
// counter is made at compile time, so that counting is one addition on that path, with
// neither taken()'s first-use guard nor a call out of line: inlined into a loop's rare path,
// the guard added 900 bytes to each stochastic kernel, and the call had the path laid out as
// cold code; both measured slower. take_counts() reads every such counter by name
// (fast_path.cpp lists them).
#if defined(VORN_FAST_PATH_COUNTS)
template <Name path>
inline constinit std::atomic<std::uint64_t> rare_count{0};
template <Name path>
[[gnu::always_inline]] inline void taken_rarely() noexcept {
    rare_count<path>.fetch_add(1, std::memory_order_relaxed);
}
#else
template <Name path>
inline void taken_rarely() noexcept {}
#endif

}  // namespace vorn::utils::fast_path
