#include "errors/errors.hpp"

#include <charconv>
#include <cmath>
#include <string_view>

#include "utils/fast_path.hpp"

namespace vorn {

std::string format_float(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "inf" : "-inf";
    // The shortest digits that read back to v, laid out positionally by hand: the fixed
    // form of to_chars prints the exact binary expansion whenever that is no longer, so
    // 1e23 would come out as 99999999999999991611392.
    char sci[40];
    auto r = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific);
    std::string_view text(sci, static_cast<std::size_t>(r.ptr - sci));
    std::string out;
    if (text.front() == '-') {
        out.push_back('-');
        text.remove_prefix(1);
    }
    const std::size_t e_pos = text.find('e');
    std::string digits;
    for (char ch : text.substr(0, e_pos))
        if (ch != '.') digits.push_back(ch);
    int exponent = 0;
    std::string_view exp_text = text.substr(e_pos + 1);
    if (exp_text.front() == '+') exp_text.remove_prefix(1);
    std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);
    // digits = d0 d1 ... dk and v = d0.d1...dk * 10^exponent
    const long point = 1L + exponent;  // digits before the decimal point
    const long count = static_cast<long>(digits.size());
    if (point <= 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-point), '0');
        out += digits;
    } else if (point >= count) {
        out += digits;
        out.append(static_cast<std::size_t>(point - count), '0');
    } else {
        out.append(digits, 0, static_cast<std::size_t>(point));
        out.push_back('.');
        out.append(digits, static_cast<std::size_t>(point), std::string::npos);
    }
    return out;
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

VornError not_positive(const char* name, double value) {
    return VornError::invalid_value(0, std::string(name) + " (" + format_float(value) + ") must be > 0");
}

VornError below_lower(const char* upper_name, double upper, const char* lower_name, double lower) {
    return VornError::invalid_value(0, std::string(upper_name) + " (" + format_float(upper) + ") must be >= " +
                                           lower_name + " (" + format_float(lower) + ")");
}

Status validate_finite(std::initializer_list<NamedValue> values) {
    for (const NamedValue& v : values)
        if (is_non_finite(v.value)) return fail(non_finite(0, v.name, v.value));
    return {};
}

std::size_t first_non_finite(std::span<const double> values) noexcept {
    // x - x is +0.0 for every finite x and NaN for NaN and the infinities, and a sum of zeros
    // stays zero: one test per block of 32 values instead of a branch per value. The block
    // that fails (or the tail) is searched value by value for the first offender.
    typedef double Pair __attribute__((vector_size(16)));
    constexpr std::size_t kBlock = 32;
    const double* x = values.data();
    const std::size_t n = values.size();
    std::size_t i = 0;
    for (; i + kBlock <= n; i += kBlock) {
        Pair a0 = {0.0, 0.0}, a1 = a0, a2 = a0, a3 = a0;
        for (std::size_t j = i; j < i + kBlock; j += 8) {
            Pair x0, x1, x2, x3;
            __builtin_memcpy(&x0, x + j, sizeof x0);
            __builtin_memcpy(&x1, x + j + 2, sizeof x1);
            __builtin_memcpy(&x2, x + j + 4, sizeof x2);
            __builtin_memcpy(&x3, x + j + 6, sizeof x3);
            a0 += x0 - x0;
            a1 += x1 - x1;
            a2 += x2 - x2;
            a3 += x3 - x3;
        }
        const Pair a = (a0 + a1) + (a2 + a3);
        if (a[0] != 0.0 || a[1] != 0.0) break;
    }
    if (i != 0) utils::fast_path::taken<"finite_blocks">();
    for (; i < n; ++i)
        if (is_non_finite(x[i])) return i;
    return n;
}

static Status scan_finite(std::span<const double> values, const char* name) {
    const std::size_t i = first_non_finite(values);
    if (i < values.size()) return fail(non_finite(i, name, values[i]));
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
