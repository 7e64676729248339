#include "errors/errors.hpp"

#include <charconv>
#include <cmath>

namespace vorn {

std::string format_float(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    char buf[400];  // the longest fixed form of a double is ~330 characters
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return std::string(buf, r.ptr);
}

namespace {
std::string u(std::uint64_t v) { return std::to_string(v); }

struct Formatter {
    std::string operator()(const errors::InsufficientData& e) const {
        return "Insufficient data: need at least " + u(e.need) + " elements, got " + u(e.got);
    }
    std::string operator()(const errors::InvalidPeriod& e) const {
        return "Invalid period: " + u(e.period) + " (must be > 0 and <= data length " + u(e.data_len) + ")";
    }
    std::string operator()(const errors::LengthMismatch& e) const {
        return std::string("Length mismatch: ") + e.name1 + "=" + u(e.len1) + ", " + e.name2 + "=" + u(e.len2);
    }
    std::string operator()(const errors::InvalidValue& e) const {
        return "Invalid value at index " + u(e.index) + ": " + e.message;
    }
    std::string operator()(const errors::EmptyInput& e) const {
        return std::string("Empty input: ") + e.name + " cannot be empty";
    }
    std::string operator()(const errors::ParameterOutOfRange& e) const {
        return std::string("Parameter ") + e.name + " out of range: " + format_float(e.value) + " (valid range: " +
               format_float(e.min) + ".." + format_float(e.max) + ")";
    }
    std::string operator()(const errors::ModelError& e) const { return "Model error: " + e.message; }
    std::string operator()(const errors::IoError& e) const { return "IO error: " + e.source; }
};
}  // namespace

std::string VornError::message() const { return std::visit(Formatter{}, kind_); }

namespace errors::validation {

VornError non_finite(std::uint64_t index, const char* name, double value) {
    return VornError::invalid_value(index, std::string(name) + " contains non-finite value: " + format_float(value));
}

Status validate_finite(std::initializer_list<NamedValue> values) {
    for (const NamedValue& v : values)
        if (is_non_finite(v.value)) return fail(non_finite(0, v.name, v.value));
    return {};
}

static Status scan_finite(std::span<const double> values, const char* name) {
    for (std::size_t i = 0; i < values.size(); ++i)
        if (is_non_finite(values[i])) return fail(non_finite(i, name, values[i]));
    return {};
}

Status validate_series(std::span<const double> values, const char* name) {
    if (values.empty()) return fail(VornError::empty_input(name));
    return scan_finite(values, name);
}

Status validate_lengths_match(std::initializer_list<Named> series) {
    auto it = series.begin();
    if (it == series.end()) return {};
    const Named& ref = *it;
    if (auto s = validate_series(ref.values, ref.name); !s) return s;
    for (++it; it != series.end(); ++it) {
        if (it->values.empty()) return fail(VornError::empty_input(it->name));
        if (it->values.size() != ref.values.size())
            return fail(VornError::length_mismatch(ref.name, ref.values.size(), it->name, it->values.size()));
        if (auto s = scan_finite(it->values, it->name); !s) return s;
    }
    return {};
}

}  // namespace errors::validation
}  // namespace vorn
