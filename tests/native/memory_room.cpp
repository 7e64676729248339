// What memory_room() reads from a system laid out under a directory. Input: one directory per
// line. Prints the room's bytes and how a refusal names its limit.
#include <cstdio>
#include <cstring>

#include "utils/memory.hpp"

int main() {
    char root[4096];
    while (std::fgets(root, sizeof root, stdin)) {
        root[std::strcspn(root, "\n")] = '\0';
        if (!*root) continue;
        const vorn::utils::MemoryRoom room = vorn::utils::memory_room(root);
        std::printf("%llu %s\n", static_cast<unsigned long long>(room.bytes), vorn::utils::room_limit_text(room.limit));
        std::fflush(stdout);
    }
}
