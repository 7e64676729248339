#include "utils/fast_path.hpp"

#if defined(VORN_FAST_PATH_COUNTS)
#include <map>

namespace vorn::utils::fast_path {

std::vector<std::pair<std::string, std::uint64_t>> take_counts() {
    std::map<std::string, std::uint64_t> by_name;  // a path may have several sites
    for (Counter* c = registered.load(); c; c = c->next)
        if (const std::uint64_t k = c->count.exchange(0)) by_name[c->path] += k;
    const std::pair<const char*, std::atomic<std::uint64_t>*> rare[] = {
        {"zero_window_looks", &rare_count<"zero_window_looks">},
        {"moments_afresh", &rare_count<"moments_afresh">},
        {"moments_again", &rare_count<"moments_again">},
        {"moments_near", &rare_count<"moments_near">},
        {"moments_summed", &rare_count<"moments_summed">},
        {"moments_origin", &rare_count<"moments_origin">},
        {"online_sma_rebuilds", &rare_count<"online_sma_rebuilds">},
        {"slid_afresh_after_fall", &rare_count<"slid_afresh_after_fall">},
        {"transform_run_again", &rare_count<"transform_run_again">},
        {"transform_window_summed", &rare_count<"transform_window_summed">},
        {"line_residuals", &rare_count<"line_residuals">},
        {"line_drawn", &rare_count<"line_drawn">},
    };
    for (const auto& [path, count] : rare)
        if (const std::uint64_t k = count->exchange(0)) by_name[path] += k;
    return {by_name.begin(), by_name.end()};
}

}  // namespace vorn::utils::fast_path
#endif
