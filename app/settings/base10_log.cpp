#include "settings/base10_log.h"

#include <cmath>

namespace varnika {

double checked_log10(double x, form::Platform& platform) {
    if (!(x > 0.0)) {
        platform.show_message(log10_message, "", form::MessageIcon::None, form::MessageButtons::OkCancel);
        platform.end_program();
        return 0.0; // reached only where end_program() returns (a test's stand-in)
    }
    return std::log(x) / std::log(10.0);
}

} // namespace varnika
