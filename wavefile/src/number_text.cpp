#include "number_text.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

namespace wavesave {
namespace {

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view skip_blanks(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && is_blank(text[n])) {
        ++n;
    }
    return text.substr(n);
}

// Decimal order of magnitude of a finite decimal number text ("123.4e5" -> 8, "0.001" -> -2):
// only its sign matters, to tell an overflow from an underflow.
long long decimal_order(std::string_view number) {
    std::size_t n = 0;
    if (n < number.size() && number[n] == '-') {
        ++n;
    }
    long long order = 0;
    bool significant = false;
    for (; n < number.size() && is_digit(number[n]); ++n) {
        significant = significant || number[n] != '0';
        if (significant) {
            ++order;
        }
    }
    if (n < number.size() && number[n] == '.') {
        for (++n; n < number.size() && is_digit(number[n]); ++n) {
            if (significant) {
                continue;
            }
            if (number[n] != '0') {
                significant = true;
            } else {
                --order;
            }
        }
    }
    if (n < number.size() && (number[n] == 'e' || number[n] == 'E')) {
        ++n;
        const bool negative = n < number.size() && number[n] == '-';
        if (n < number.size() && (number[n] == '-' || number[n] == '+')) {
            ++n;
        }
        long long exponent = 0;
        for (; n < number.size() && is_digit(number[n]); ++n) {
            exponent = std::min(exponent * 10 + (number[n] - '0'), 1000000000LL);
        }
        order += negative ? -exponent : exponent;
    }
    return order;
}

} // namespace

char* write_scientific(char* out, double value, int decimals, bool upper_case) {
    const auto result = std::to_chars(out, out + scientific_max_chars(decimals), value,
                                      std::chars_format::scientific, decimals);
    char* end = result.ptr;
    if (!std::isfinite(value)) {
        if (upper_case) {
            for (char* c = out; c != end; ++c) {
                if (*c >= 'a' && *c <= 'z') {
                    *c = static_cast<char>(*c - 'a' + 'A');
                }
            }
        }
        return end;
    }
    char* e = out + (std::signbit(value) ? 1 : 0) + (decimals > 0 ? decimals + 2 : 1);
    if (end - e == 4) { // e+dd: widen to e+0dd
        e[4] = e[3];
        e[3] = e[2];
        e[2] = '0';
        ++end;
    }
    if (upper_case) {
        e[0] = 'E';
    }
    return end;
}

std::string fixed_text(double value, int decimals) {
    // DBL_MAX has 309 integer digits; with sign, point and 32 decimals that is 343 characters.
    std::array<char, 400> text{};
    const auto result =
        std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, decimals);
    return std::string(text.data(), result.ptr);
}

double leading_double(std::string_view text) {
    text = skip_blanks(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
            return 0.0;
        }
    }
    double value = 0.0;
    const auto result =
        std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (result.ec == std::errc::invalid_argument) {
        return 0.0;
    }
    if (result.ec == std::errc::result_out_of_range) {
        const std::string_view number(text.data(), static_cast<std::size_t>(result.ptr - text.data()));
        const double magnitude = decimal_order(number) > 0 ? std::numeric_limits<double>::infinity() : 0.0;
        return text.front() == '-' ? -magnitude : magnitude;
    }
    return value;
}

std::int32_t leading_int32(std::string_view text) {
    text = skip_blanks(text);
    bool negative = false;
    std::size_t n = 0;
    if (n < text.size() && (text[n] == '-' || text[n] == '+')) {
        negative = text[n] == '-';
        ++n;
    }
    constexpr long long limit = 1LL << 31;
    long long magnitude = 0;
    for (; n < text.size() && is_digit(text[n]); ++n) {
        magnitude = std::min(magnitude * 10 + (text[n] - '0'), limit);
    }
    const long long value = negative ? -magnitude : std::min(magnitude, limit - 1);
    return static_cast<std::int32_t>(value);
}

} // namespace wavesave
