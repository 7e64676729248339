#pragma once
// Compensated (Kahan) summation: each running sum carries its own compensation term.
// A sliding sum's outlier trigger, utils::WindowWeight, is in utils/window_weight.hpp.

namespace vorn::utils {

struct Kahan {
    double sum = 0.0;
    double comp = 0.0;

    void add(double v) noexcept {
        const double y = v - comp;
        const double t = sum + y;
        comp = (t - sum) - y;
        sum = t;
    }
    void sub(double v) noexcept { add(-v); }
    void reset() noexcept { sum = 0.0, comp = 0.0; }
};

}  // namespace vorn::utils
