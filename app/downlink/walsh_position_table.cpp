#include "downlink/walsh_position_table.h"

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
        const auto offset = static_cast<std::size_t>(offset_of(n));
        // Each table is the previous one doubled: entry p of length 2N spreads to 2p (even) and 2p + 1
        // (the same code with N added), so bit reversal follows without counting bits.
        entries_[offset] = 0;
        for (int width = 1; width < n; width *= 2) {
            for (int p = width - 1; p >= 0; --p) {
                const std::int32_t value = entries_[offset + static_cast<std::size_t>(p)];
                entries_[offset + static_cast<std::size_t>(2 * p)] = value;
                entries_[offset + static_cast<std::size_t>(2 * p + 1)] = value + width;
            }
        }
        for (int p = 0; p < n; ++p) {
            positions_[offset + static_cast<std::size_t>(entries_[offset + static_cast<std::size_t>(p)])] = p;
        }
    }
    filled_ = true;
}

std::span<const std::int32_t> WalshPositionTable::table(int length) const {
    const int offset = offset_of(length);
    if (offset < 0) {
        return {};
    }
    return std::span<const std::int32_t>(entries_).subspan(static_cast<std::size_t>(offset),
                                                           static_cast<std::size_t>(length));
}

int WalshPositionTable::find(int length, int number) const {
    const int offset = offset_of(length);
    if (offset < 0) {
        return -1;
    }
    if (!filled_) {
        return number == 0 ? 0 : -1; // every entry is still 0
    }
    if (number < 0 || number >= length) {
        return -1;
    }
    const int position = offset + number;
    return positions_[static_cast<std::size_t>(position)];
}

int WalshPositionTable::position_of(int length, int number) const {
    const int position = find(length, number);
    return position < 0 ? 0 : position;
}

} // namespace varnika
