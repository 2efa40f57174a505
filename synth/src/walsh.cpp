#include "walsh.h"

#include "checks.h"

#include <bit>

namespace kestra {

int32_t write_walsh_code(int32_t length, int32_t index, std::span<double> out) {
    // Negative arguments would index past the order-256 matrix just as large ones do.
    if (length < 0 || length > kMaxWalshLength || index < 0 || index >= kMaxWalshLength) {
        return -1;
    }
    KESTRA_EXPECT(out.size() >= static_cast<size_t>(length));
    // Sylvester order: the sign of element j is the parity of the bits index and j share, so a
    // length that is a multiple of the function's natural length repeats the function.
    const auto row = static_cast<unsigned>(index);
    for (int32_t j = 0; j < length; ++j) {
        out[static_cast<size_t>(j)] = (std::popcount(row & static_cast<unsigned>(j)) & 1u) != 0 ? -1.0 : 1.0;
    }
    return 0;
}

} // namespace kestra
