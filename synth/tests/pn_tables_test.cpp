#include "pn_tables.h"

#include "kestra/kestra.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string first_bits(std::span<const double> table, int n) {
    std::string s;
    for (int k = 0; k < n; ++k) {
        s += table[k] < 0 ? '1' : '0';
    }
    return s;
}

TEST(ShortPnTables, StartWithTheGivenBitsAndEndWithFifteenZeros) {
    EXPECT_EQ(first_bits(kestra::pn_i_table(), 16), "1010100100111010");
    EXPECT_EQ(first_bits(kestra::pn_q_table(), 16), "1001111010111010");
    for (auto table : {kestra::pn_i_table(), kestra::pn_q_table()}) {
        ASSERT_EQ(table.size(), static_cast<size_t>(FRAME_CHIPS));
        for (int k = FRAME_CHIPS - 15; k < FRAME_CHIPS; ++k) {
            EXPECT_EQ(table[k], 1.0) << k;
        }
        EXPECT_EQ(table[FRAME_CHIPS - 16], -1.0);
    }
}

TEST(ShortPnTables, AreBalancedLikeALengthenedMaximalSequence) {
    // A maximal sequence of period 32767 has 16384 ones and 16383 zeros; one zero is inserted.
    for (auto table : {kestra::pn_i_table(), kestra::pn_q_table()}) {
        int ones = 0;
        for (double v : table) {
            ones += v < 0 ? 1 : 0;
        }
        EXPECT_EQ(ones, 16384);
    }
}

TEST(ShortPnTables, ReverseLinkPairFollowsTheForwardPair) {
    auto pi = kestra::pn_i_table();
    auto pq = kestra::pn_q_table();
    auto ri = kestra::reverse_pn_i_table();
    auto rq = kestra::reverse_pn_q_table();
    for (int j = 0; j < FRAME_CHIPS; ++j) {
        ASSERT_EQ(ri[j], pi[j]);
        const double expected = pi[j] * pq[j - (j % 2)] * ((j % 2 == 0) ? 1.0 : -1.0);
        ASSERT_EQ(rq[j], expected) << j;
    }
}

} // namespace
