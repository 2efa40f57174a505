#include "pn_tables.h"

#include "kestra/kestra.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <memory>

namespace kestra {
namespace {

using Table = std::array<double, FRAME_CHIPS>;

// One period of a degree-15 short PN sequence: the 32767-chip maximal sequence of the recurrence
// a(n+15) = XOR of a(n+t) over the taps, lengthened by one 0 after its run of 14 zeros. The table
// starts with the chip that follows the resulting run of 15 zeros, so that run closes the period.
void make_short_pn(Table& table, std::initializer_list<int> taps) {
    constexpr int kDegree = 15;
    constexpr int kMaxLength = FRAME_CHIPS - 1;
    std::array<uint8_t, kMaxLength> a{};
    // Seeding with 14 zeros and a one puts the unique run of 14 zeros at the start.
    a[kDegree - 1] = 1;
    for (int n = 0; n + kDegree < kMaxLength; ++n) {
        uint8_t bit = 0;
        for (int t : taps) {
            bit ^= a[n + t];
        }
        a[n + kDegree] = bit;
    }
    int k = 0;
    for (int n = kDegree - 1; n < kMaxLength; ++n) {
        table[k++] = 1.0 - 2.0 * a[n];
    }
    while (k < FRAME_CHIPS) {
        table[k++] = 1.0; // the 14 zeros of the maximal sequence and the inserted one
    }
}

struct Tables {
    Table pn_i;
    Table pn_q;
    Table reverse_q;
};

// Built once, in place, on the heap, where the program may keep huge pages; a static block (and a copy
// through the stack) would be faulted in 4 KB at a time on the first call.
const Tables& tables() {
    static const std::unique_ptr<const Tables> t = [] {
        auto made = std::make_unique_for_overwrite<Tables>();
        make_short_pn(made->pn_i, {0, 5, 7, 8, 9, 13});
        make_short_pn(made->pn_q, {0, 3, 4, 5, 6, 10, 11, 12});
        for (int j = 0; j < FRAME_CHIPS; ++j) {
            const double sign = (j % 2 == 0) ? 1.0 : -1.0;
            made->reverse_q[j] = made->pn_i[j] * made->pn_q[j - (j % 2)] * sign;
        }
        return made;
    }();
    return *t;
}

} // namespace

std::span<const double> pn_i_table() {
    return tables().pn_i;
}
std::span<const double> pn_q_table() {
    return tables().pn_q;
}
std::span<const double> reverse_pn_i_table() {
    return tables().pn_i;
}
std::span<const double> reverse_pn_q_table() {
    return tables().reverse_q;
}

} // namespace kestra
