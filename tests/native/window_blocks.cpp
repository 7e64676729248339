// Windows summed eight side by side (utils::window_blocks). Input: P FIRST x1 .. xN. Prints
// the first window end left to a scalar path, then a line per window the blocks summed: its
// end, and as hex floats its plain sum, its sum weighted 1..P from the oldest bar, and the
// two sums of one pass over (x, x * x).
#include <cstdio>
#include <vector>

#include "utils/window_blocks.hpp"

namespace blocks = vorn::utils::window_blocks;
using vorn::utils::pairs::Pair;
using vorn::utils::pairs::both;
using vorn::utils::pairs::load;

int main() {
    char line[1 << 16];
    if (!std::fgets(line, sizeof line, stdin)) return 2;
    unsigned long long p, first;
    int used = 0;
    if (std::sscanf(line, "%llu %llu%n", &p, &first, &used) != 2) return 2;
    std::vector<double> x, squares;
    double v;
    int more = 0;
    for (const char* at = line + used; std::sscanf(at, "%lf%n", &v, &more) == 1; at += more) {
        x.push_back(v);
        squares.push_back(v * v);
    }
    const std::size_t n = x.size();
    std::vector<double> plain(n), weighted(n), a(n), b(n);
    std::vector<int> seen(n, 0);
    const auto keep = [&](std::vector<double>& to, std::size_t at, const std::array<Pair, blocks::kPairs>& s) {
        for (std::size_t q = 0; q < blocks::kPairs; ++q)
            for (std::size_t h = 0; h < 2; ++h) to[at + 2 * q + h] = s[q][h];
    };
    const std::size_t left = blocks::sum_by_eights<"native_plain">(
        first, n, p, [&](std::size_t, std::size_t j) { return load(x.data() + j); },
        [&](std::size_t at, const auto& s) {
            keep(plain, at, s);
            for (std::size_t k = 0; k < blocks::kWindows; ++k) ++seen[at + k];
        });
    blocks::sum_by_eights<"native_weighted">(
        first, n, p, [&](std::size_t k, std::size_t j) { return both(static_cast<double>(k + 1)) * load(x.data() + j); },
        [&](std::size_t at, const auto& s) { keep(weighted, at, s); });
    blocks::sum_by_eights<"native_two">(
        first, n, p,
        [&](std::size_t, std::size_t j) { return std::array<Pair, 2>{load(x.data() + j), load(squares.data() + j)}; },
        [&](std::size_t at, const blocks::Sums<2>& s) {
            keep(a, at, s[0]);
            keep(b, at, s[1]);
        });
    std::printf("%zu\n", left);
    for (std::size_t i = 0; i < n; ++i)
        if (seen[i]) std::printf("%zu %d %a %a %a %a\n", i, seen[i], plain[i], weighted[i], a[i], b[i]);
}
