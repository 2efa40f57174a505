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

// Writes v (below 10^8) as exactly eight decimal digits, two at a time.
void put_eight_digits(char* out, std::uint32_t v) {
    static constexpr std::array<char, 200> pairs = [] {
        std::array<char, 200> p{};
        for (std::size_t n = 0; n < 100; ++n) {
            p[2 * n] = static_cast<char>('0' + n / 10);
            p[2 * n + 1] = static_cast<char>('0' + n % 10);
        }
        return p;
    }();
    for (int n = 6; n >= 0; n -= 2) {
        const std::uint32_t rest = v / 100;
        std::memcpy(out + n, &pairs[2 * (v - rest * 100)], 2);
        v = rest;
    }
}

__extension__ typedef unsigned __int128 u128; // GCC and Clang on 64-bit targets

// Exact "%.*e" digits without a general conversion, for normal values from 1e-22 to 2^52 and at most
// 15 significant digits: the value is m / 2^s with an integer m below 2^53, so value x 10^k is the
// 128-bit product m x 10^k shifted right by s, and the bits shifted out decide the rounding exactly
// (ties to even, as printf rounds). Returns nullptr where the value is out of that range.
char* write_scientific_exact(char* out, double value, int decimals, bool upper_case) {
    static constexpr std::array<std::uint64_t, 20> powers = [] { // 10^0 .. 10^19
        std::array<std::uint64_t, 20> p{};
        std::uint64_t v = 1;
        for (std::size_t n = 0; n < 20; ++n, v *= 10) {
            p[n] = v;
        }
        return p;
    }();
    const auto ten_to = [](int k) -> u128 { // up to 10^22, beyond 64 bits
        return k < 20 ? u128{powers[static_cast<std::size_t>(k)]}
                      : u128{powers[19]} * powers[static_cast<std::size_t>(k - 19)];
    };
    if (!std::isnormal(value)) {
        return nullptr;
    }
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    const int binary_exponent = static_cast<int>((bits >> 52) & 0x7ff) - 1023;
    const std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int shift = 52 - binary_exponent; // value = mantissa / 2^shift
    const int wanted = decimals + 1;        // significant digits
    if (shift < 1 || shift > 127 || wanted < 1 || wanted > 15) {
        return nullptr;
    }
    // Near floor(log10 |value|) (78913 / 2^18 is just below log10 2); corrected below.
    int exponent = (binary_exponent * 78913) >> 18;
    std::uint64_t digits = 0;
    for (int attempt = 0;; ++attempt) {
        const int k = wanted - 1 - exponent;
        if (k < 0 || k > 22 || attempt == 3) {
            return nullptr;
        }
        const u128 product = u128{mantissa} * ten_to(k); // below 2^53 x 10^22 < 2^127
        const auto truncated = static_cast<std::uint64_t>(product >> shift);
        if (truncated >= ten_to(wanted)) {
            ++exponent;
            continue;
        }
        if (truncated < ten_to(wanted - 1)) {
            --exponent;
            continue;
        }
        const u128 rest = product & ((u128{1} << shift) - 1);
        const u128 half = u128{1} << (shift - 1);
        digits = truncated + ((rest > half || (rest == half && (truncated & 1) != 0)) ? 1 : 0);
        if (digits == ten_to(wanted)) { // 9.99..95 rounded up to 10.00..0
            digits = static_cast<std::uint64_t>(ten_to(wanted - 1));
            ++exponent;
        }
        break;
    }

    if (std::signbit(value)) {
        *out++ = '-';
    }
    // Sixteen digits with leading zeros, as two independent runs of eight; the last `wanted` count.
    char padded[16];
    put_eight_digits(padded, static_cast<std::uint32_t>(digits / 100000000));
    put_eight_digits(padded + 8, static_cast<std::uint32_t>(digits % 100000000));
    const char* const text = padded + 16 - wanted;
    *out++ = text[0];
    if (decimals > 0) {
        *out++ = '.';
        if (decimals == 14) { // the text file's case, with a length the compiler can inline
            std::memcpy(out, text + 1, 14);
        } else {
            std::memcpy(out, text + 1, static_cast<std::size_t>(decimals));
        }
        out += decimals;
    }
    *out++ = upper_case ? 'E' : 'e';
    *out++ = exponent < 0 ? '-' : '+';
    const int magnitude = exponent < 0 ? -exponent : exponent;
    *out++ = static_cast<char>('0' + magnitude / 100);
    *out++ = static_cast<char>('0' + magnitude / 10 % 10);
    *out++ = static_cast<char>('0' + magnitude % 10);
    return out;
}

} // namespace

char* write_scientific(char* out, double value, int decimals, bool upper_case) {
    if (char* end = write_scientific_exact(out, value, decimals, upper_case)) {
        return end;
    }
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
