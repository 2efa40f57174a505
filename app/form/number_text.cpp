#include "form/number_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace varnika::form {

namespace {

std::string_view trim_spaces(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

// Reads a number at the start of `text`; returns how many characters it took (0 when none).
std::size_t read_number(std::string_view text, double& value) {
    bool negative = false;
    std::size_t sign = 0;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        sign = 1;
    }
    const std::string_view body = text.substr(sign);
    // from_chars would take "inf" and "nan": a field never holds those as numbers.
    if (body.empty() || !((body.front() >= '0' && body.front() <= '9') || body.front() == '.')) {
        return 0;
    }
    double magnitude = 0.0;
    const auto result = std::from_chars(body.data(), body.data() + body.size(), magnitude);
    if (result.ec == std::errc::invalid_argument) {
        return 0;
    }
    if (result.ec == std::errc::result_out_of_range) {
        // Beyond the range of a double: a negative exponent means a number too close to 0 to matter,
        // anything else one far beyond every field's limit, which the field then clamps.
        const std::string_view used(body.data(), static_cast<std::size_t>(result.ptr - body.data()));
        const std::size_t exponent = used.find_first_of("eE");
        const bool tiny =
            exponent != std::string_view::npos && exponent + 1 < used.size() && used[exponent + 1] == '-';
        magnitude = tiny ? 0.0 : HUGE_VAL;
    }
    value = negative ? -magnitude : magnitude;
    return sign + static_cast<std::size_t>(result.ptr - body.data());
}

} // namespace

std::optional<double> parse_number(std::string_view text) {
    text = trim_spaces(text);
    double value = 0.0;
    const std::size_t used = read_number(text, value);
    if (used == 0 || used != text.size()) {
        return std::nullopt;
    }
    return value;
}

double leading_number(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    double value = 0.0;
    return read_number(text, value) == 0 ? 0.0 : value;
}

std::string format_fixed(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    double rounded = std::round(value * scale) / scale;
    if (rounded == 0.0) {
        rounded = 0.0; // drops the sign of a negative zero
    }
    std::array<char, 400> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), rounded,
                                      std::chars_format::fixed, decimals);
    return std::string(buffer.data(), result.ptr);
}

std::string format_grouped(std::int64_t value) {
    const bool negative = value < 0;
    const std::uint64_t magnitude =
        negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    const std::string digits = std::to_string(magnitude);
    std::string out;
    const std::size_t n = digits.size();
    for (std::size_t k = 0; k < n; ++k) {
        if (k > 0 && (n - k) % 3 == 0) {
            out.push_back(',');
        }
        out.push_back(digits[k]);
    }
    return negative ? "-" + out : out;
}

} // namespace varnika::form
