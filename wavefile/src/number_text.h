// Number <-> text conversions of the output files. They never depend on the process locale (the
// program may have switched LC_NUMERIC to a comma locale) and always write three exponent digits,
// which the files require and the C library does not print by itself.
#ifndef WAVESAVE_NUMBER_TEXT_H
#define WAVESAVE_NUMBER_TEXT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wavesave {

// Most characters write_scientific() produces with `decimals` decimals: sign, digit, point,
// decimals, 'e', exponent sign and three exponent digits.
constexpr std::size_t scientific_max_chars(int decimals) {
    return static_cast<std::size_t>(decimals) + 8;
}

// Writes `value` like printf "%.*e" ("%.*E" when upper_case), but with an exponent of at least
// three digits: 4.915200e+006, -5.00000000000000E-001. Non-finite values come out as printf writes
// them (inf, -inf, nan, -nan; upper-cased with upper_case). `out` must hold
// scientific_max_chars(decimals) characters; returns the end of the text (no terminating zero).
char* write_scientific(char* out, double value, int decimals, bool upper_case);

// `value` like printf "%.*f", decimals from 0 to 32.
std::string fixed_text(double value, int decimals);

// The longest leading decimal floating-point number of `text` after leading blanks, as strtod
// takes it in the C locale (hexadecimal excepted); 0 when there is none. Values beyond the double
// range become +-infinity, values below it +-0.
double leading_double(std::string_view text);

// The longest leading decimal integer of `text` after leading blanks, saturated to the int32 range;
// 0 when there is none.
std::int32_t leading_int32(std::string_view text);

} // namespace wavesave

#endif
