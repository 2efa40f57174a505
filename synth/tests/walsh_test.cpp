#include "walsh.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace {

using kestra::write_walsh_code;

std::vector<double> walsh(int length, int index) {
    std::vector<double> out(static_cast<size_t>(length), 0.0);
    EXPECT_EQ(write_walsh_code(length, index, out), 0);
    return out;
}

// The order-n Hadamard matrix by Sylvester doubling, H(2n) = [[H, H], [H, -H]], starting from [1].
std::vector<std::vector<double>> sylvester(int order) {
    std::vector<std::vector<double>> h{{1.0}};
    while (static_cast<int>(h.size()) < order) {
        const size_t n = h.size();
        std::vector<std::vector<double>> next(2 * n, std::vector<double>(2 * n));
        for (size_t r = 0; r < n; ++r) {
            for (size_t c = 0; c < n; ++c) {
                next[r][c] = h[r][c];
                next[r][c + n] = h[r][c];
                next[r + n][c] = h[r][c];
                next[r + n][c + n] = -h[r][c];
            }
        }
        h = std::move(next);
    }
    return h;
}

std::vector<double> runs(std::initializer_list<std::pair<int, double>> parts) {
    std::vector<double> v;
    for (auto [count, value] : parts) {
        v.insert(v.end(), static_cast<size_t>(count), value);
    }
    return v;
}

TEST(WalshCode, WritesTheRowsNamedOnTheChannelTables) {
    EXPECT_EQ(walsh(64, 32), runs({{32, 1.0}, {32, -1.0}}));
    EXPECT_EQ(walsh(16, 12), runs({{4, 1.0}, {8, -1.0}, {4, 1.0}}));
    EXPECT_EQ(walsh(16, 8), runs({{8, 1.0}, {8, -1.0}}));
    EXPECT_EQ(walsh(16, 4), runs({{4, 1.0}, {4, -1.0}, {4, 1.0}, {4, -1.0}}));
    EXPECT_EQ(walsh(4, 2), (std::vector<double>{1.0, 1.0, -1.0, -1.0}));
    EXPECT_EQ(walsh(2, 1), (std::vector<double>{1.0, -1.0}));
    EXPECT_EQ(walsh(1, 0), (std::vector<double>{1.0}));
}

TEST(WalshCode, MatchesTheSylvesterDoublingForEveryRow) {
    const auto h256 = sylvester(256);
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(walsh(256, i), h256[static_cast<size_t>(i)]) << i;
    }
    // W256(200): the order-128 row 72 (200 - 128), then its negation.
    const auto h128 = sylvester(128);
    const auto w = walsh(256, 200);
    for (size_t j = 0; j < 128; ++j) {
        EXPECT_EQ(w[j], h128[72][j]) << j;
        EXPECT_EQ(w[j + 128], -h128[72][j]) << j;
    }
}

TEST(WalshCode, LongerLengthsRepeatTheShortFunction) {
    // The symbol repetition of the supplemental channels relies on this.
    const auto w8_6 = walsh(8, 6);
    const auto w16_6 = walsh(16, 6);
    EXPECT_EQ(std::vector<double>(w16_6.begin(), w16_6.begin() + 8), w8_6);
    EXPECT_EQ(std::vector<double>(w16_6.begin() + 8, w16_6.end()), w8_6);
    const auto w4_2 = walsh(4, 2);
    const auto w128_2 = walsh(128, 2);
    for (size_t j = 0; j < 128; ++j) {
        ASSERT_EQ(w128_2[j], w4_2[j % 4]) << j;
    }
    // Lengths need not be powers of two: the first values of the longer row.
    EXPECT_EQ(walsh(6, 1), (std::vector<double>{1.0, -1.0, 1.0, -1.0, 1.0, -1.0}));
}

TEST(WalshCode, RefusesLengthsAndIndicesBeyondTheTable) {
    std::array<double, 300> out{};
    out.fill(7.0);
    EXPECT_EQ(write_walsh_code(257, 3, out), -1);
    EXPECT_EQ(write_walsh_code(16, 256, out), -1);
    EXPECT_EQ(write_walsh_code(-1, 3, out), -1);
    EXPECT_EQ(write_walsh_code(16, -1, out), -1);
    for (double v : out) {
        ASSERT_EQ(v, 7.0);
    }
    EXPECT_EQ(write_walsh_code(0, 5, out), 0);
    EXPECT_EQ(out[0], 7.0);
    EXPECT_EQ(write_walsh_code(256, 255, out), 0);
    EXPECT_EQ(out[256], 7.0);
}

} // namespace
