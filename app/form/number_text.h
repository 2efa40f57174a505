// Numbers as the window's fields hold them: locale-independent parsing and fixed formats.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnika::form {

// The value of a text that is a number as a whole ("12.5", "-3", " +7 ", ".5", "1e3"); nothing for an
// empty text, a partial number ("12abc"), or infinities and NaN.
std::optional<double> parse_number(std::string_view text);

// The number a text starts with, as a field's value is read for a spin step or a parameter record:
// "12.5k" gives 12.5, a text that does not start with a number gives 0.
double leading_number(std::string_view text);

// The value rounded half away from zero to `decimals` places and written with exactly that many
// ("0.00" for two); never "-0.00".
std::string format_fixed(double value, int decimals);

// Digits in groups of three separated by commas: 655360 gives "655,360".
std::string format_grouped(std::int64_t value);

} // namespace varnika::form
