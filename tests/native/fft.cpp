// The radix-2 transform (utils::Fft). Input: N re0 im0 re1 im1 ... (N pairs). Prints the
// forward transform in natural order (forward() leaves it bit-reversed), then the inverse of
// that bit-reversed spectrum, each as one line of hex floats, re and im in turn.
#include <cstdio>
#include <vector>

#include "utils/fft.hpp"

int main() {
    char line[1 << 20];
    if (!std::fgets(line, sizeof line, stdin)) return 2;
    unsigned long long n;
    int used = 0;
    if (std::sscanf(line, "%llu%n", &n, &used) != 1) return 2;
    std::vector<double> re(n), im(n);
    const char* at = line + used;
    for (std::size_t t = 0; t < n; ++t) {
        int more = 0;
        if (std::sscanf(at, "%lf %lf%n", &re[t], &im[t], &more) != 2) return 2;
        at += more;
    }
    const vorn::utils::Fft fft(n);
    fft.forward(re.data(), im.data());
    for (std::size_t k = 0; k < n; ++k) {
        std::size_t r = 0;
        for (std::size_t b = 0; b < fft.log2(); ++b) r |= ((k >> b) & 1u) << (fft.log2() - 1 - b);
        std::printf("%a %a ", re[r], im[r]);
    }
    std::printf("\n");
    fft.inverse(re.data(), im.data());
    for (std::size_t t = 0; t < n; ++t) std::printf("%a %a ", re[t], im[t]);
    std::printf("\n");
}
