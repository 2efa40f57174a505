#include "downlink/walsh_position_table.h"

#include <algorithm>

namespace varnika {

int WalshPositionTable::offset_of(int length) {
    int offset = 0;
    for (const int n : lengths) {
        if (n == length) {
            return offset;
        }
        offset += n;
    }
    return -1;
}

void WalshPositionTable::fill() {
    for (const int n : lengths) {
        const int offset = offset_of(n);
        // Each table is the previous one doubled: entry p of length 2N spreads to 2p (even) and 2p + 1
        // (the same code with N added), so bit reversal follows without counting bits.
        entries_[static_cast<std::size_t>(offset)] = 0;
        for (int width = 1; width < n; width *= 2) {
            for (int p = width - 1; p >= 0; --p) {
                const std::int32_t value = entries_[static_cast<std::size_t>(offset + p)];
                entries_[static_cast<std::size_t>(offset + 2 * p)] = value;
                entries_[static_cast<std::size_t>(offset + 2 * p + 1)] = value + width;
            }
        }
    }
}

std::span<const std::int32_t> WalshPositionTable::table(int length) const {
    const int offset = offset_of(length);
    if (offset < 0) {
        return {};
    }
    return std::span<const std::int32_t>(entries_).subspan(static_cast<std::size_t>(offset),
                                                           static_cast<std::size_t>(length));
}

int WalshPositionTable::position_of(int length, int number) const {
    const auto entries = table(length);
    const auto it = std::find(entries.begin(), entries.end(), number);
    return it == entries.end() ? 0 : static_cast<int>(it - entries.begin());
}

} // namespace varnika
