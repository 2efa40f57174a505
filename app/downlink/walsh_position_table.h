// Positions of the Walsh codes of lengths 4 to 128 in bit-reversed order. Entry p of the table for length
// N is p with its log2(N) bits reversed; in this order the codes of length r x N built from the code at
// position p of length N fill positions r x p .. r x p + r - 1, which is what the forward-link conflict
// check relies on. The password check of Tester Mode reads the table for 128.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace varnika {

class WalshPositionTable {
public:
    static constexpr std::array<int, 6> lengths{4, 8, 16, 32, 64, 128};
    static constexpr int longest = 128;

    // Fills all six tables; until then every entry is 0.
    void fill();

    // The table for `length` (one of `lengths`); empty for any other length.
    std::span<const std::int32_t> table(int length) const;
    // The position of `number` in the table for `length`, searched from position 0 upwards; 0 when the
    // number is not in the table or the length has no table.
    int position_of(int length, int number) const;
    // The first position holding `number` in the table for `length`; -1 when there is none (another
    // length, or a number the table does not hold). Constant time: the conflict check asks it for every
    // pair of shown rows.
    int find(int length, int number) const;

private:
    static constexpr int total_entries = 4 + 8 + 16 + 32 + 64 + 128;
    static int offset_of(int length);

    std::array<std::int32_t, total_entries> entries_{};
    // Per table, the position of each number 0 .. N-1 (each table holds every such number exactly once).
    std::array<std::int32_t, total_entries> positions_{};
    bool filled_ = false;
};

} // namespace varnika
