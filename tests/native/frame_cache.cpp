// The frame's cache hands out the stored series itself: a hit shares its storage, a
// multiplier given as 2 or 2.0 is one key, and a common set that fails keeps what it cached.
#include <cstdio>
#include "dataframe/frame.hpp"
using namespace vorn;
int main() {
    Series c{1, 2, 3, 4, 5, 6, 7, 8};
    auto f = dataframe::OhlcvFrame::create({1, 2, 3, 4, 5, 6, 7, 8}, c, c, c, c, c);
    auto a = f->sma(3), b = f->sma(3);
    auto g = f->get_cached("sma_3");
    std::printf("%d\n", a->data() == b->data() && g->data() == a->data());
    auto x = f->bollinger_bands(4, 2.0), y = f->bollinger_bands(4, 2);
    bool same = true;
    for (int i = 0; i < 3; ++i) same = same && x->items[i].data() == y->items[i].data();
    std::printf("%d\n", same);
    auto common = f->compute_common_indicators();
    std::printf("%s %zu\n", common ? "ok" : common.error().message().c_str(), f->cached_indicators().size());
}
