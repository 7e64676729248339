// Rolling statistics of one or two series.
#include "indicators/statistics.hpp"
#include "python/families.hpp"

namespace vorn::py::families {

namespace st = indicators::statistics;

#define PARAM(name, type, gloss) name " : " type "\n    " gloss "\n"
#define STAT_DOC(sig, title, description, params, returns) \
    sig "\n--\n\n" title "\n\n" description "\n\nParameters\n----------\n" params "\nReturns\n-------\n" returns
#define SIG_ONLY(sig) sig "\n--\n\n"

ENTRY(py_linear_regression, st::linear_regression)(
    STAT_DOC("py_linear_regression(y_values, period)", "Calculate Linear Regression",
             "Returns slope, intercept, and R-squared values over rolling window.",
             PARAM("y_values", "list of float", "Values to regress") PARAM("period", "int", "Lookback period"),
             "tuple of (list, list, list) - (slope, intercept, r_squared)"),
    arg("y_values"), arg("period"));
ENTRY(py_correlation, st::correlation)(
    STAT_DOC("py_correlation(x, y, period)", "Calculate Correlation Coefficient",
             "Pearson correlation between two series. Values -1 to +1.",
             PARAM("x", "list of float", "First series") PARAM("y", "list of float", "Second series")
                 PARAM("period", "int", "Lookback period"),
             "list of float - Correlation values (-1 to +1)"),
    arg("x"), arg("y"), arg("period"));
ENTRY(py_zscore, st::zscore)(
    STAT_DOC("py_zscore(values, period)", "Calculate Z-Score",
             "Number of standard deviations from the mean.\nUsed for mean reversion strategies.",
             PARAM("values", "list of float", "Price data") PARAM("period", "int", "Lookback period"),
             "list of float - Z-score values"),
    arg("values"), arg("period"));
ENTRY(py_covariance, st::covariance)(
    STAT_DOC("py_covariance(x, y, period)", "Calculate Covariance", "Measures how two variables change together.",
             PARAM("x", "list of float", "First series") PARAM("y", "list of float", "Second series")
                 PARAM("period", "int", "Lookback period"),
             "list of float - Covariance values"),
    arg("x"), arg("y"), arg("period"));
ENTRY(py_beta, st::beta)(
    STAT_DOC("py_beta(asset_returns, benchmark_returns, period)", "Calculate Beta",
             "Sensitivity of asset to benchmark movements.\nBeta > 1 = more volatile, Beta < 1 = less volatile.",
             PARAM("asset_returns", "list of float", "Asset return series")
                 PARAM("benchmark_returns", "list of float", "Benchmark return series")
                     PARAM("period", "int", "Lookback period"),
             "list of float - Beta values"),
    arg("asset_returns"), arg("benchmark_returns"), arg("period"));
ENTRY(py_standard_error, st::standard_error)(
    STAT_DOC("py_standard_error(y_values, period)", "Calculate Standard Error",
             "Standard deviation of the regression residuals.",
             PARAM("y_values", "list of float", "Values") PARAM("period", "int", "Lookback period"),
             "list of float - Standard error values"),
    arg("y_values"), arg("period"));
ENTRY(py_stderr, st::standard_error)(
    "py_stderr(y_values, period)\n--\n\nCalculate Standard Error (alias for standard_error)", arg("y_values"),
    arg("period"));
ENTRY(py_correl, st::correl)(SIG_ONLY("py_correl(values1, values2, period)"),
                                                           arg("values1"), arg("values2"), arg("period"));
ENTRY(py_linearreg, st::linearreg)(SIG_ONLY("py_linearreg(values, period)"), arg("values"), arg("period"));
ENTRY(py_linearreg_slope, st::linearreg_slope)(
    SIG_ONLY("py_linearreg_slope(values, period)"), arg("values"), arg("period"));
ENTRY(py_linearreg_angle, st::linearreg_angle)(
    SIG_ONLY("py_linearreg_angle(values, period)"), arg("values"), arg("period"));
ENTRY(py_linearreg_intercept, st::linearreg_intercept)(
    SIG_ONLY("py_linearreg_intercept(values, period)"), arg("values"), arg("period"));
ENTRY(py_var, st::var)(SIG_ONLY("py_var(values, period)"), arg("values"), arg("period"));
ENTRY(py_tsf, st::tsf)(SIG_ONLY("py_tsf(values, period)"), arg("values"), arg("period"));

#undef PARAM
#undef STAT_DOC
#undef SIG_ONLY



}  // namespace vorn::py::families
