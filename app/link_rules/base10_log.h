// The program's base-10 logarithm. Its argument must be above 0; for anything else the program says so
// and the caller abandons the operation that asked, leaving its values as they were. The program keeps
// running, so no unsaved setting is lost.
#pragma once

#include "form/platform.h"

#include <optional>

namespace varnika {

inline constexpr const char* log10_message = "Number must be more 0 at log10.";

// log10(x); nothing, after the message with its OK and Cancel buttons, when x is not above 0.
std::optional<double> checked_log10(double x, form::Platform& platform);

} // namespace varnika
