// A channel power in dB: -100.00 .. 100.00, two decimals, spin steps of 0.01. Keys other than the digits,
// "-", "." and control keys are refused.
#pragma once

#include "form/text_field.h"

namespace varnika {

inline constexpr double power_limit_db = 100.0;

// Gives `field` the power key filter, commit rule and spin step.
void make_power_field(form::TextField& field);

// The commit rule: a number is clamped to the limits, anything else counts as 0; written as "0.00".
void apply_power(form::TextField& field);

} // namespace varnika
