#include "link_rules/base10_log.h"

#include <cmath>

namespace varnika {

std::optional<double> checked_log10(double x, form::Platform& platform) {
    if (!(x > 0.0)) {
        // Either answer abandons the operation.
        platform.show_message(log10_message, "", form::MessageIcon::None, form::MessageButtons::OkCancel);
        return std::nullopt;
    }
    return std::log(x) / std::log(10.0);
}

} // namespace varnika
