#include "utils/fast_path.hpp"

#if defined(VORN_FAST_PATH_COUNTS)
#include <map>

namespace vorn::utils::fast_path {

std::vector<std::pair<std::string, std::uint64_t>> take_counts() {
    std::map<std::string, std::uint64_t> by_name;  // a path may have several sites
    for (Counter* c = registered.load(); c; c = c->next)
        if (const std::uint64_t k = c->count.exchange(0)) by_name[c->path] += k;
    return {by_name.begin(), by_name.end()};
}

}  // namespace vorn::utils::fast_path
#endif
