"""Window sums and deviations run in lanes (the stretches between rebuilds side by side) give
bit for bit what one window at a time gives: vortex, choppiness, ulcer index, mass index and
historical volatility against their one-window-at-a-time form, built from the shared rolling
kernels in a native driver."""
import numpy as np
import pytest

from conftest import native_driver

DRIVER = r"""
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "indicators/trend/measures.hpp"
#include "indicators/volatility/bands.hpp"
#include "indicators/volatility/channels.hpp"
#include "utils/ma.hpp"
#include "utils/stats.hpp"

using namespace vorn;
namespace stats = utils::stats;
using V = std::vector<double>;
const double NaN = std::nan("");

// Sums of the finite values, kept where the whole window is finite.
Series complete_sums(const Series& v, std::size_t p) {
    Series z(v.size());
    for (std::size_t i = 0; i < v.size(); ++i) z[i] = std::isfinite(v[i]) ? v[i] : 0.0;
    Series s = stats::rolling_sum_kahan(z, p);
    for (std::size_t e = 0; e < v.size(); ++e)
        for (std::size_t k = e + 1 >= p ? e + 1 - p : 0; k <= e; ++k)
            if (!std::isfinite(v[k])) s[e] = NaN;
    return s;
}

std::vector<Series> one_window_at_a_time(const std::string& kind, const V& h, const V& l, const V& c,
                                         std::size_t p, std::size_t aux) {
    const std::size_t n = h.size();
    Series a(n, NaN), b(n, NaN);
    if (kind == "vortex" || kind == "choppiness") {
        Series vp(n, 0.0), vm(n, 0.0), tr(n, 0.0);
        for (std::size_t i = 1; i < n; ++i) {
            vp[i] = std::fabs(h[i] - l[i - 1]);
            vm[i] = std::fabs(l[i] - h[i - 1]);
            tr[i] = indicators::volatility::true_range_bar(h[i], l[i], c[i - 1]);
        }
        const Series sp = stats::rolling_sum_kahan(vp, p), sm = stats::rolling_sum_kahan(vm, p);
        const Series st = stats::rolling_sum_kahan(tr, p);
        if (kind == "vortex") {
            for (std::size_t i = p; i < n; ++i)
                if (std::fabs(st[i]) >= 1e-10) a[i] = sp[i] / st[i], b[i] = sm[i] / st[i];
            return {a, b};
        }
        const Series hh = stats::rolling_max(h, p), ll = stats::rolling_min(l, p);
        for (std::size_t i = p; i < n; ++i)
            if (st[i] > 0.0 && hh[i] - ll[i] > 0.0)
                a[i] = (std::log10(st[i] / (hh[i] - ll[i])) * 100.0) / std::log10(double(p));
        return {a};
    }
    if (kind == "ulcer") {
        const Series hc = stats::rolling_max(c, p);
        Series dd(n, NaN);
        for (std::size_t i = 0; i < n; ++i)
            if (hc[i] > 0.0) dd[i] = ((c[i] - hc[i]) / hc[i] * 100.0) * ((c[i] - hc[i]) / hc[i] * 100.0);
        a = complete_sums(dd, p);
        for (double& v : a)
            if (!std::isnan(v)) v = std::sqrt((v < 0.0 ? 0.0 : v) / double(p));
        return {a};
    }
    if (kind == "mass") {  // aux: the averaging period, p: the summing one
        Series range(n);
        for (std::size_t i = 0; i < n; ++i) range[i] = h[i] - l[i];
        const double alpha = utils::ma::ema_alpha(aux);
        const Series e1 = utils::ma::ema_impl(range, aux, alpha), e2 = utils::ma::ema_impl(e1, aux, alpha);
        for (std::size_t i = 0; i < n; ++i)
            if (!std::isnan(e1[i]) && !std::isnan(e2[i]) && std::fabs(e2[i]) >= 1e-10) b[i] = e1[i] / e2[i];
        return {complete_sums(b, p)};
    }
    Series r(n, NaN);  // historical volatility
    for (std::size_t i = 1; i < n; ++i) {
        const double x = std::fabs(c[i - 1]) < 1e-10 ? NaN : std::log(c[i] / c[i - 1]);
        if (std::isfinite(x)) r[i] = x;
    }
    a = stats::stdev(r, p);
    for (double& v : a)
        if (!std::isnan(v)) v = v * (std::sqrt(double(p)) * 100.0);
    return {a};
}

std::vector<Series> in_lanes(const std::string& kind, const V& h, const V& l, const V& c, std::size_t p,
                             std::size_t aux) {
    namespace tr = indicators::trend;
    namespace vol = indicators::volatility;
    auto one = [](Result<Series> r) { return r ? std::vector<Series>{std::move(*r)} : std::vector<Series>{}; };
    if (kind == "vortex") {
        auto r = tr::vortex(h, l, c, p);
        return r ? std::vector<Series>{r->plus, r->minus} : std::vector<Series>{};
    }
    if (kind == "choppiness") return one(tr::choppiness(h, l, c, p));
    if (kind == "ulcer") return one(vol::ulcer_index(c, p));
    if (kind == "mass") return one(vol::mass_index(h, l, aux, p));
    return one(vol::historical_volatility(c, p));
}

int main() {
    std::string kind;
    std::size_t p, aux, n;
    std::cin >> kind >> p >> aux >> n;
    V h(n), l(n), c(n);
    for (V* v : {&h, &l, &c})
        for (double& x : *v) std::cin >> x;
    const auto want = one_window_at_a_time(kind, h, l, c, p, aux);
    const auto got = in_lanes(kind, h, l, c, p, aux);
    if (got.size() != want.size()) {
        std::cout << "refused\n";
        return 0;
    }
    std::size_t defined = 0;
    for (std::size_t s = 0; s < want.size(); ++s)
        for (std::size_t i = 0; i < n; ++i) {
            const double x = want[s][i], y = got[s][i];
            if (std::isnan(x) && std::isnan(y)) continue;
            if (std::memcmp(&x, &y, sizeof x) != 0) {
                std::cout << "differ " << s << " " << i << "\n";
                return 0;
            }
            ++defined;
        }
    std::cout << "same " << defined << "\n";
}
"""


@pytest.fixture(scope="module")
def compare(tmp_path_factory):
    run = native_driver(tmp_path_factory, DRIVER)

    def call(kind, high, low, close, period, aux=0):
        values = " ".join(repr(float(x)) for s in (high, low, close) for x in s)
        (line,) = run(f"{kind} {period} {aux} {len(high)} {values}")
        return line

    return call


def walk(n, seed=3):
    rng = np.random.default_rng(seed)
    close = 100.0 * np.exp(np.cumsum(rng.normal(0, 0.01, n)))
    return close * (1 + rng.uniform(0, 0.004, n)), close * (1 - rng.uniform(0, 0.004, n)), close


def spiked(n, at, scale=1e9):
    """One huge bar: once it leaves the window, the weight of that window's lane asks for a rebuild."""
    high, low, close = walk(n)
    high[at] *= scale
    close[at] *= scale / 10
    return high, low, close


def overflowing(n, at, width=300):
    """Bars whose sums overflow: a lane's state turns non-finite, and the whole series is
    computed one window at a time."""
    high, low, close = walk(n)
    high[at : at + width], low[at : at + width] = 1e307, -1e307
    # Drawdowns from a tiny highest close: squares near 1.7e306, 180 of them in a window.
    close[at : at + width] = -1.3e11
    close[at : at + width : 10] = 1e-140
    return high, low, close


def overflowing_between_additions(n, at, width=300):
    """Windows summing to 1.6e308, whose slides add the entering 8e307 before the leaving one
    goes: the sum overflows on the way while the window's weight stays finite, so only the
    lane's state shows it."""
    high, low, close = walk(n)
    high[at : at + width], low[at : at + width], close[at : at + width] = 8e307, 0.0, 0.0
    # Drawdowns of 8e307 from a tiny highest close, two in every window of three bars.
    close[at + width : at + 2 * width] = -8.94e11
    close[at + width : at + 2 * width : 3] = 1e-140
    return high, low, close


# Stretches of 1000 slides start at bar period - 1; a group of lanes spans 4 stretches for the
# vortex sums and 8 for the others, then pairs of stretches, then one stretch in both halves.
KINDS = [("vortex", 0), ("choppiness", 0), ("ulcer", 0), ("mass", 2), ("hv", 0)]


@pytest.mark.parametrize("kind, aux", KINDS)
@pytest.mark.parametrize(
    "n, period",
    [
        (4, 2),  # shorter than a pair of lanes
        (1200, 7),  # one whole stretch and a short one
        (4006, 7),  # exactly one group of four stretches
        (8010, 11),  # one group of eight stretches and a short one
        (19500, 13),  # groups, a pair of whole stretches, a short one
        (9000, 1001),  # windows longer than a stretch
    ],
)
def test_lanes_match_one_window_at_a_time(compare, kind, aux, n, period):
    line = compare(kind, *walk(n, seed=n), period, aux)
    assert line.startswith("same ") and int(line.split()[1]) >= n - 2 * period - 2 * aux


@pytest.mark.parametrize("kind, aux", KINDS)
@pytest.mark.parametrize(
    "at",
    [
        13 + 2 * 1000 + 400,  # a rebuild inside the third lane only
        12 + 4 * 1000 - 1,  # the last slide of the fourth stretch
        12 + 7 * 1000 + 1,  # the first slide of the eighth
        12 + 8 * 1000,  # a stretch's first bar, already a rebuild
        12 + 17 * 1000 + 500,  # the pair of whole stretches
        19490,  # the short last stretch
    ],
)
def test_rebuild_in_one_lane(compare, kind, aux, at):
    assert compare(kind, *spiked(19500, at - 13), 13, aux).startswith("same ")


@pytest.mark.parametrize("kind, aux", KINDS)
@pytest.mark.parametrize("at", [100, 5200, 17000])
def test_overflowing_windows(compare, kind, aux, at):
    assert compare(kind, *overflowing(19500, at), 200, aux).startswith("same ")


@pytest.mark.parametrize("kind, period", [("vortex", 2), ("choppiness", 2), ("ulcer", 3)])
@pytest.mark.parametrize("at", [100, 9500])
def test_sum_overflowing_between_its_additions_falls_back(compare, kind, period, at):
    assert compare(kind, *overflowing_between_additions(19500, at), period).startswith("same ")
