#include "utils/buffer.hpp"

#include <cstdlib>
#include <cstring>

namespace vorn::utils {

namespace {

// Each block carries its capacity in a header so that a recycled block can serve any
// request it is large enough for.
constexpr std::size_t kHeader = 64;
constexpr std::size_t kRecycleMin = std::size_t{1} << 18;   // smaller blocks: plain malloc reuse is fine
constexpr std::size_t kRetainMax = std::size_t{256} << 20;  // never hold more than this idle
constexpr int kSlots = 8;

struct Cache {
    void* blocks[kSlots] = {};
    std::size_t caps[kSlots] = {};
    std::size_t retained = 0;

    ~Cache();
};

thread_local Cache cache;
// Buffers released after the thread's cache is gone (statics destroyed late) go straight back.
thread_local bool cache_gone = false;

Cache::~Cache() {
    for (int i = 0; i < kSlots; ++i) std::free(blocks[i]);
    cache_gone = true;
}

std::size_t& capacity_of(void* block) { return *static_cast<std::size_t*>(block); }

}  // namespace

void* acquire_buffer(std::size_t bytes) {
    if (bytes >= kRecycleMin && !cache_gone) {
        // Best fit among idle blocks, but never a block more than twice the request.
        int best = -1;
        for (int i = 0; i < kSlots; ++i) {
            const std::size_t cap = cache.caps[i];
            if (cache.blocks[i] && cap >= bytes && cap / 2 <= bytes && (best < 0 || cap < cache.caps[best])) best = i;
        }
        if (best >= 0) {
            void* block = cache.blocks[best];
            cache.retained -= cache.caps[best];
            cache.blocks[best] = nullptr;
            cache.caps[best] = 0;
            return static_cast<char*>(block) + kHeader;
        }
    }
    void* block = std::malloc(bytes + kHeader);
    if (!block) throw std::bad_alloc();
    capacity_of(block) = bytes;
    return static_cast<char*>(block) + kHeader;
}

void release_buffer(void* p) noexcept {
    if (!p) return;
    void* block = static_cast<char*>(p) - kHeader;
    const std::size_t cap = capacity_of(block);
    if (cap >= kRecycleMin && cap <= kRetainMax && !cache_gone) {
        int slot = -1;
        for (int i = 0; i < kSlots && slot < 0; ++i)
            if (!cache.blocks[i]) slot = i;
        if (slot < 0) {  // replace the smallest idle block
            slot = 0;
            for (int i = 1; i < kSlots; ++i)
                if (cache.caps[i] < cache.caps[slot]) slot = i;
            cache.retained -= cache.caps[slot];
            std::free(cache.blocks[slot]);
            cache.blocks[slot] = nullptr;
            cache.caps[slot] = 0;
        }
        while (cache.retained + cap > kRetainMax) {  // make room, largest first
            int big = -1;
            for (int i = 0; i < kSlots; ++i)
                if (cache.blocks[i] && (big < 0 || cache.caps[i] > cache.caps[big])) big = i;
            if (big < 0) break;
            cache.retained -= cache.caps[big];
            std::free(cache.blocks[big]);
            cache.blocks[big] = nullptr;
            cache.caps[big] = 0;
        }
        if (cache.retained + cap <= kRetainMax) {
            cache.blocks[slot] = block;
            cache.caps[slot] = cap;
            cache.retained += cap;
            return;
        }
    }
    std::free(block);
}

}  // namespace vorn::utils
