// What a process can still get, from what the system tells: Linux's /proc and cgroup files and
// the POSIX resource limits. Every source is optional; one the system does not have bounds
// nothing. Nothing here allocates beyond the stdio buffer of the file being read.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "utils/memory.hpp"

#if __has_include(<unistd.h>)
#include <unistd.h>
#endif
#if __has_include(<sys/resource.h>)
#include <sys/resource.h>
#endif

namespace vorn::utils {

namespace {

constexpr std::size_t kPathBytes = 4096;
// A limit this high is the "no limit" a cgroup v1 file spells as a number.
constexpr std::uint64_t kUnlimited = std::uint64_t{1} << 62;

struct Path {
    char text[kPathBytes];
    std::size_t size = 0;
    bool ok = true;

    Path() { text[0] = '\0'; }
    Path& add(const char* part, std::size_t count) {
        if (!ok || count >= kPathBytes - size) {
            ok = false;
            return *this;
        }
        std::memcpy(text + size, part, count);
        size += count;
        text[size] = '\0';
        return *this;
    }
    Path& add(const char* part) { return add(part, std::strlen(part)); }
    // mountinfo writes a space, tab, newline and backslash in a path as \040, \011, \012 and
    // \134; read raw, a path that holds one names no directory, and a cgroup named with it
    // (systemd writes a '-' in a unit's name as \x2d) lies below no mount.
    Path& add_unescaped(const char* part, std::size_t count) {
        auto octal = [](char c) { return c >= '0' && c <= '7'; };
        for (std::size_t k = 0; k < count && ok;) {
            if (part[k] == '\\' && k + 3 < count && octal(part[k + 1]) && octal(part[k + 2]) && octal(part[k + 3])) {
                const int code = (part[k + 1] - '0') << 6 | (part[k + 2] - '0') << 3 | (part[k + 3] - '0');
                const char c = static_cast<char>(code);
                add(&c, 1);
                k += 4;
            } else {
                add(part + k, 1);
                ++k;
            }
        }
        return *this;
    }
    // A path cut short names no file.
    const char* name() const { return ok ? text : ""; }
};

// Calls stop(line) for each line of the file, its newline removed, until it returns true;
// false when the file cannot be read. A line longer than the buffer is passed over whole: no
// line sought here is that long, and a fragment of one must not be read as a line.
template <class F>
bool scan_lines(const char* path, F&& stop) {
    std::FILE* file = std::fopen(path, "r");
    if (!file) return false;
    char line[kPathBytes];
    bool skipping = false;
    while (std::fgets(line, sizeof line, file)) {
        const std::size_t size = std::strlen(line);
        const bool ends = size > 0 && line[size - 1] == '\n';
        if (skipping) {
            skipping = !ends;
            continue;
        }
        if (!ends && !std::feof(file)) {
            skipping = true;
            continue;
        }
        if (ends) line[size - 1] = '\0';
        if (stop(static_cast<const char*>(line))) break;
    }
    std::fclose(file);
    return true;
}

// The decimal number at the start of text (spaces skipped); false when there is none.
bool leading_number(const char* text, std::uint64_t& value) {
    while (*text == ' ' || *text == '\t') ++text;
    if (*text < '0' || *text > '9') return false;
    char* end;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (v == std::numeric_limits<unsigned long long>::max()) return false;
    value = v;
    return true;
}

// The number on the first line of a file: false when it cannot be read or is not a number
// (cgroup v2 writes "max" for no limit).
bool file_number(const char* path, std::uint64_t& value) {
    bool found = false;
    scan_lines(path, [&](const char* line) {
        found = leading_number(line, value);
        return true;
    });
    return found;
}

// The number after `key` (which ends in its separator) on the line that starts with it.
bool keyed_number(const char* path, const char* key, std::uint64_t& value) {
    const std::size_t size = std::strlen(key);
    bool found = false;
    scan_lines(path, [&](const char* line) {
        if (std::strncmp(line, key, size) != 0) return false;
        found = leading_number(line + size, value);
        return true;
    });
    return found;
}

// /proc's "Key:   123 kB" in bytes.
bool kib_field(const char* path, const char* key, std::uint64_t& bytes) {
    std::uint64_t kib;
    if (!keyed_number(path, key, kib) || __builtin_mul_overflow(kib, std::uint64_t{1024}, &bytes)) return false;
    return true;
}

std::uint64_t less(std::uint64_t limit, std::uint64_t used) { return limit > used ? limit - used : 0; }

// Whether word is one of the comma-separated items of list[0 .. size).
bool listed(const char* list, std::size_t size, const char* word) {
    const std::size_t w = std::strlen(word);
    for (std::size_t start = 0; start <= size;) {
        std::size_t end = start;
        while (end < size && list[end] != ',') ++end;
        if (end - start == w && std::strncmp(list + start, word, w) == 0) return true;
        start = end + 1;
    }
    return false;
}

// The process's cgroup in the memory controller's hierarchy, from /proc/self/cgroup: the v2
// line "0::PATH", or the v1 line whose controllers include memory.
bool cgroup_of(const char* root, bool v2, Path& cgroup) {
    Path file;
    file.add(root).add("/proc/self/cgroup");
    bool found = false;
    scan_lines(file.name(), [&](const char* line) {
        const char* first = std::strchr(line, ':');
        const char* second = first ? std::strchr(first + 1, ':') : nullptr;
        if (!second) return false;
        const bool match = v2 ? std::strncmp(line, "0::", 3) == 0
                              : listed(first + 1, static_cast<std::size_t>(second - first - 1), "memory");
        if (match) {
            cgroup.add(second + 1);
            found = cgroup.ok;
        }
        return match;
    });
    return found;
}

// The directory of cgroup in the mounted hierarchy (v2: a cgroup2 mount; v1: a cgroup mount
// with the memory controller), and the mount point above which no ancestor is visible. From
// /proc/self/mountinfo: "ID PARENT DEV ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER".
bool cgroup_directory(const char* root, bool v2, const Path& cgroup, Path& directory, std::size_t& top) {
    Path file;
    file.add(root).add("/proc/self/mountinfo");
    bool found = false;
    scan_lines(file.name(), [&](const char* line) {
        const char* field[5];
        std::size_t length[5];
        const char* p = line;
        for (int k = 0; k < 5; ++k) {
            while (*p == ' ') ++p;
            field[k] = p;
            while (*p && *p != ' ') ++p;
            length[k] = static_cast<std::size_t>(p - field[k]);
        }
        const char* tail = std::strstr(p, " - ");
        if (!tail) return false;
        tail += 3;
        const char* type_end = std::strchr(tail, ' ');
        if (!type_end) return false;
        const std::size_t type_size = static_cast<std::size_t>(type_end - tail);
        const char* wanted = v2 ? "cgroup2" : "cgroup";
        if (type_size != std::strlen(wanted) || std::strncmp(tail, wanted, type_size) != 0) return false;
        if (!v2) {
            const char* super = std::strchr(type_end + 1, ' ');
            if (!super || !listed(super + 1, std::strlen(super + 1), "memory")) return false;
        }
        // The mount shows the hierarchy from its ROOT down; the cgroup must lie below it.
        Path shown;
        shown.add_unescaped(field[3], length[3]);
        if (!shown.ok) return false;
        const std::size_t mount_root = shown.size == 1 && shown.text[0] == '/' ? 0 : shown.size;
        if (std::strncmp(cgroup.text, shown.text, mount_root) != 0 ||
            (cgroup.text[mount_root] != '/' && cgroup.text[mount_root] != '\0'))
            return false;
        directory = Path();
        directory.add(root).add_unescaped(field[4], length[4]);
        top = directory.size;
        directory.add(cgroup.text + mount_root);
        while (directory.size > top && directory.text[directory.size - 1] == '/') directory.text[--directory.size] = '\0';
        found = directory.ok;
        return found;
    });
    return found;
}

// The least that the memory limits of cgroup and its visible ancestors leave: each limit less
// its usage, where the usage leaves out the inactive file cache, which the kernel reclaims
// before it fails an allocation.
bool cgroup_room(const char* root, bool v2, std::uint64_t& room) {
    Path cgroup, directory;
    std::size_t top = 0;
    if (!cgroup_of(root, v2, cgroup) || !cgroup_directory(root, v2, cgroup, directory, top)) return false;
    const char* limit_file = v2 ? "/memory.max" : "/memory.limit_in_bytes";
    const char* usage_file = v2 ? "/memory.current" : "/memory.usage_in_bytes";
    const char* inactive_key = v2 ? "inactive_file " : "total_inactive_file ";
    bool found = false;
    room = std::numeric_limits<std::uint64_t>::max();
    for (;;) {
        Path file;
        std::uint64_t limit, usage = 0, inactive = 0;
        if (file_number(file.add(directory.text).add(limit_file).name(), limit) && limit < kUnlimited) {
            file = Path();
            file_number(file.add(directory.text).add(usage_file).name(), usage);
            file = Path();
            keyed_number(file.add(directory.text).add("/memory.stat").name(), inactive_key, inactive);
            const std::uint64_t left = less(limit, less(usage, inactive));
            if (left < room) room = left;
            found = true;
        }
        if (directory.size <= top) break;
        while (directory.size > top && directory.text[directory.size - 1] != '/') --directory.size;
        if (directory.size > top) --directory.size;
        directory.text[directory.size] = '\0';
    }
    return found;
}

// A soft resource limit in bytes; the largest value where it is unlimited or not told.
template <class Resource>
std::uint64_t soft_limit([[maybe_unused]] Resource resource) {
#if __has_include(<sys/resource.h>)
    struct rlimit limit;
    if (getrlimit(resource, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        return static_cast<std::uint64_t>(limit.rlim_cur);
#endif
    return std::numeric_limits<std::uint64_t>::max();
}

}  // namespace

const char* room_limit_text(RoomLimit limit) noexcept {
    switch (limit) {
        case RoomLimit::available: return "the memory available is";
        case RoomLimit::physical: return "the machine has";
        case RoomLimit::address_space: return "the address-space limit (RLIMIT_AS) leaves";
        case RoomLimit::data: return "the data limit (RLIMIT_DATA) leaves";
        case RoomLimit::container: return "the container's memory limit leaves";
        case RoomLimit::none: break;
    }
    return "nothing limits it:";
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

ProcessLimits process_limits() noexcept {
    ProcessLimits limits;
#ifdef RLIMIT_AS
    limits.address_space = soft_limit(RLIMIT_AS);
#endif
#ifdef RLIMIT_DATA
    limits.data = soft_limit(RLIMIT_DATA);
#endif
    return limits;
}

MemoryRoom memory_room(const char* root, const ProcessLimits& limits) noexcept {
    MemoryRoom room;
    auto bound = [&room](std::uint64_t bytes, RoomLimit limit) {
        if (bytes < room.bytes) room = {bytes, limit};
    };
    Path meminfo, status;
    meminfo.add(root).add("/proc/meminfo");
    status.add(root).add("/proc/self/status");
    std::uint64_t bytes = 0;
    if (kib_field(meminfo.name(), "MemAvailable:", bytes))
        bound(bytes, RoomLimit::available);
    else if (const std::uint64_t machine = physical_memory(); machine > 0)
        bound(machine, RoomLimit::physical);
    // Where the usage is not told, the limit alone still bounds the request.
    constexpr std::uint64_t kNoLimit = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t used;
    if (limits.address_space != kNoLimit)
        bound(less(limits.address_space, kib_field(status.name(), "VmSize:", used) ? used : 0),
              RoomLimit::address_space);
    if (limits.data != kNoLimit)
        bound(less(limits.data, kib_field(status.name(), "VmData:", used) ? used : 0), RoomLimit::data);
    for (const bool v2 : {true, false})
        if (cgroup_room(root, v2, bytes)) bound(bytes, RoomLimit::container);
    return room;
}

}  // namespace vorn::utils
