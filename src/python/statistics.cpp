// Rolling statistics of one or two series.
#include "indicators/statistics.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace st = indicators::statistics;

namespace {

constexpr Line kPeriod{"period", "int", "Lookback period"};
constexpr Line kXY[] = {{"x", "list of float", "First series"}, {"y", "list of float", "Second series"}};

}  // namespace

ENTRY(py_linear_regression, st::linear_regression)(
    doc("Calculate Linear Regression\n\nReturns slope, intercept, and R-squared values over rolling window.",
        params(Line{"y_values", "list of float", "Values to regress"}, kPeriod),
        returns("tuple of (list, list, list) - (slope, intercept, r_squared)")),
    arg("y_values"), arg("period"));
ENTRY(py_correlation, st::correlation)(
    doc("Calculate Correlation Coefficient\n\nPearson correlation between two series. Values -1 to +1.",
        params(kXY, kPeriod), returns("list of float - Correlation values (-1 to +1)")),
    arg("x"), arg("y"), arg("period"));
ENTRY(py_zscore, st::zscore)(
    doc("Calculate Z-Score\n\nNumber of standard deviations from the mean.\nUsed for mean reversion strategies.",
        params(Line{"values", "list of float", "Price data"}, kPeriod), returns("list of float - Z-score values")),
    arg("values"), arg("period"));
ENTRY(py_covariance, st::covariance)(
    doc("Calculate Covariance\n\nMeasures how two variables change together.", params(kXY, kPeriod),
        returns("list of float - Covariance values")),
    arg("x"), arg("y"), arg("period"));
ENTRY(py_beta, st::beta)(
    doc("Calculate Beta\n\n"
        "Sensitivity of asset to benchmark movements.\nBeta > 1 = more volatile, Beta < 1 = less volatile.",
        params(Line{"asset_returns", "list of float", "Asset return series"},
               Line{"benchmark_returns", "list of float", "Benchmark return series"}, kPeriod),
        returns("list of float - Beta values")),
    arg("asset_returns"), arg("benchmark_returns"), arg("period"));
ENTRY(py_standard_error, st::standard_error)(
    doc("Calculate Standard Error\n\nStandard deviation of the regression residuals.",
        params(Line{"y_values", "list of float", "Values"}, kPeriod), returns("list of float - Standard error values")),
    arg("y_values"), arg("period"));
ENTRY(py_stderr, st::standard_error)(doc("Calculate Standard Error (alias for standard_error)"), arg("y_values"),
                                     arg("period"));
ENTRY(py_correl, st::correl)(Doc{}, arg("values1"), arg("values2"), arg("period"));
ENTRY(py_linearreg, st::linearreg)(Doc{}, arg("values"), arg("period"));
ENTRY(py_linearreg_slope, st::linearreg_slope)(Doc{}, arg("values"), arg("period"));
ENTRY(py_linearreg_angle, st::linearreg_angle)(Doc{}, arg("values"), arg("period"));
ENTRY(py_linearreg_intercept, st::linearreg_intercept)(Doc{}, arg("values"), arg("period"));
ENTRY(py_var, st::var)(Doc{}, arg("values"), arg("period"));
ENTRY(py_tsf, st::tsf)(Doc{}, arg("values"), arg("period"));

}  // namespace vorn::py::families
