// The program's base-10 logarithm. Its argument must be above 0; anything else is a broken invariant of
// the caller, so the program says so and ends.
#pragma once

#include "form/platform.h"

namespace varnika {

inline constexpr const char* log10_message = "Number must be more 0 at log10.";

double checked_log10(double x, form::Platform& platform);

} // namespace varnika
