// What memory_room() reads from a system laid out under a directory. Input: one line per
// system, its directory, then optionally a tab and the address-space limit and a tab and the
// data limit in bytes ("-" for none). The limits are given, never this program's own, so that
// a runner's ulimit changes nothing. Prints the room's bytes and how a refusal names its limit.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "utils/memory.hpp"

namespace {

// The limit in the tab-separated field at text, moving text past it.
void read_limit(char*& text, std::uint64_t& limit) {
    if (!text) return;
    char* end = std::strchr(text, '\t');
    if (end) *end = '\0';
    if (std::strcmp(text, "-") != 0) limit = std::strtoull(text, nullptr, 10);
    text = end ? end + 1 : nullptr;
}

}  // namespace

int main() {
    char line[4200];
    while (std::fgets(line, sizeof line, stdin)) {
        line[std::strcspn(line, "\n")] = '\0';
        if (!*line) continue;
        vorn::utils::ProcessLimits limits;
        char* rest = std::strchr(line, '\t');
        if (rest) *rest++ = '\0';
        read_limit(rest, limits.address_space);
        read_limit(rest, limits.data);
        const vorn::utils::MemoryRoom room = vorn::utils::memory_room(line, limits);
        std::printf("%llu %s\n", static_cast<unsigned long long>(room.bytes), vorn::utils::room_limit_text(room.limit));
        std::fflush(stdout);
    }
}
