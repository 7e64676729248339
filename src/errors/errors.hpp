#pragma once
// The library's one error value. Kernels return Result<T>; only the Python
// boundary turns an error into an exception.
#include <cstdint>
#include <expected>
#include <initializer_list>
#include <span>
#include <string>
#include <variant>

namespace vorn {
namespace errors {

struct InsufficientData { std::uint64_t need, got; };
struct InvalidPeriod { std::uint64_t period, data_len; };
struct LengthMismatch { const char* name1; std::uint64_t len1; const char* name2; std::uint64_t len2; };
struct InvalidValue { std::uint64_t index; std::string message; };
struct EmptyInput { const char* name; };
struct ParameterOutOfRange { const char* name; double value, min, max; };
struct ModelError { std::string message; };
struct IoError { std::string source; };

}  // namespace errors

class VornError {
public:
    using Kind = std::variant<errors::InsufficientData, errors::InvalidPeriod, errors::LengthMismatch,
                              errors::InvalidValue, errors::EmptyInput, errors::ParameterOutOfRange,
                              errors::ModelError, errors::IoError>;

    template <class K>
        requires std::is_constructible_v<Kind, K&&>
    VornError(K&& kind) : kind_(std::forward<K>(kind)) {}

    // The factories are cold: a path that builds an error is predicted not taken and laid out
    // away from the loop it leaves. Those that move a string in are kept out of line as well.
    [[gnu::cold]] static VornError insufficient_data(std::uint64_t need, std::uint64_t got) {
        return errors::InsufficientData{need, got};
    }
    [[gnu::cold]] static VornError invalid_period(std::uint64_t period, std::uint64_t len) {
        return errors::InvalidPeriod{period, len};
    }
    [[gnu::cold]] static VornError length_mismatch(const char* n1, std::uint64_t l1, const char* n2, std::uint64_t l2) {
        return errors::LengthMismatch{n1, l1, n2, l2};
    }
    [[gnu::cold, gnu::noinline]] static VornError invalid_value(std::uint64_t index, std::string msg) {
        return errors::InvalidValue{index, std::move(msg)};
    }
    [[gnu::cold]] static VornError empty_input(const char* name) { return errors::EmptyInput{name}; }
    [[gnu::cold]] static VornError out_of_range(const char* name, double value, double min, double max) {
        return errors::ParameterOutOfRange{name, value, min, max};
    }
    [[gnu::cold, gnu::noinline]] static VornError model_error(std::string msg) {
        return errors::ModelError{std::move(msg)};
    }

    const Kind& kind() const noexcept { return kind_; }
    std::string message() const;

private:
    Kind kind_;
};

template <class T>
using Result = std::expected<T, VornError>;
using Status = std::expected<void, VornError>;

// Only error paths call it: cold like the factories, so a propagated error is predicted not taken too.
[[gnu::cold]] inline std::unexpected<VornError> fail(VornError e) { return std::unexpected<VornError>(std::move(e)); }

// Shortest round-trip decimal, never an exponent: 2 -> "2", 1e21 -> "1000000000000000000000",
// -0.0 -> "-0", NaN -> "NaN", infinities -> "inf"/"-inf".
std::string format_float(double v);

// NaN or an infinity, tested on the bits so that no floating-point mode can change the answer.
inline bool is_non_finite(double v) noexcept {
    std::uint64_t bits;
    static_assert(sizeof bits == sizeof v);
    __builtin_memcpy(&bits, &v, sizeof bits);
    return (bits & 0x7FFFFFFFFFFFFFFFull) > 0x7FEFFFFFFFFFFFFFull;
}

namespace errors::validation {

struct Named {
    std::span<const double> values;
    const char* name;
};

[[gnu::cold]] VornError non_finite(std::uint64_t index, const char* name, double value);

struct NamedValue {
    double value;
    const char* name;
};

// Parameter refusals reported at index 0: "{name} ({value}) must be > 0" and
// "{upper_name} ({upper}) must be >= {lower_name} ({lower})".
[[gnu::cold]] VornError not_positive(const char* name, double value);
[[gnu::cold]] VornError below_lower(const char* upper_name, double upper, const char* lower_name, double lower);

// Index of the first NaN or infinity, or the length when every value is finite.
std::size_t first_non_finite(std::span<const double> values) noexcept;

// Scalar arguments in parameter order: the first NaN or infinity fails at index 0.
Status validate_finite(std::initializer_list<NamedValue> values);

// Empty, then the first non-finite element.
Status validate_series(std::span<const double> values, const char* name);

// The first series is the reference: each later one is checked (empty, length, non-finite)
// only after every earlier one has passed all three.
Status validate_lengths_match(std::initializer_list<Named> series);

// High, low and close as validate_lengths_match checks them: high is the reference.
inline Status validate_hlc(std::span<const double> high, std::span<const double> low, std::span<const double> close) {
    return validate_lengths_match({{high, "high"}, {low, "low"}, {close, "close"}});
}

// Moving-average / statistics regime: 0 or above the length is an invalid period.
inline Status validate_period(std::uint64_t period, std::size_t len) {
    if (period - 1 >= static_cast<std::uint64_t>(len)) return fail(VornError::invalid_period(period, len));
    return {};
}

// Each period in turn against a length, in the regime above.
inline Status validate_periods(std::initializer_list<std::uint64_t> periods, std::size_t len) {
    for (const std::uint64_t p : periods)
        if (auto s = validate_period(p, len); !s) return s;
    return {};
}

// The opening most multi-series indicators share: the series as validate_lengths_match
// checks them (the first, never absent, is the reference), then each period in turn.
inline Status validate_series_and_periods(std::initializer_list<Named> series,
                                          std::initializer_list<std::uint64_t> periods) {
    if (auto s = validate_lengths_match(series); !s) return s;
    return validate_periods(periods, series.begin()->values.size());
}

// period + 1 bars, saturating: the largest period must not report needing 0 bars.
inline std::uint64_t bars_for_period(std::uint64_t period) {
    return period == static_cast<std::uint64_t>(-1) ? period : period + 1;
}

// Seeded-indicator regime: 0 is invalid, at or above the length needs period + 1 bars.
inline Status validate_seeded_period(std::uint64_t period, std::size_t len) {
    if (period == 0) return fail(VornError::invalid_period(0, len));
    if (period >= static_cast<std::uint64_t>(len)) return fail(VornError::insufficient_data(bars_for_period(period), len));
    return {};
}

}  // namespace errors::validation
}  // namespace vorn
