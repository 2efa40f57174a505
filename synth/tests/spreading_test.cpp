#include "spreading.h"

#include "kestra/kestra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace kestra;

constexpr size_t kChips = FRAME_CHIPS;

std::string prbs_string(int32_t& state, int n, int degree) {
    std::vector<uint8_t> bits(static_cast<size_t>(n));
    EXPECT_EQ(generate_prbs(&state, bits, n, degree), 0);
    std::string s;
    for (uint8_t b : bits) {
        s += static_cast<char>('0' + b);
    }
    return s;
}

// The register written as a recurrence on the output stream: the stage holding tap t at step k
// holds bit k + degree - 1 - t, so o(k + degree) = o(k) xor the tapped bits.
std::vector<uint8_t> prbs_by_recurrence(uint32_t seed, int degree, const std::vector<int>& taps,
                                        bool inverted, size_t n) {
    std::vector<uint8_t> o(n + static_cast<size_t>(degree));
    for (int k = 0; k < degree; ++k) {
        o[static_cast<size_t>(k)] = static_cast<uint8_t>((seed >> (degree - 1 - k)) & 1u);
    }
    for (size_t k = 0; k < n; ++k) {
        uint8_t next = o[k];
        for (int t : taps) {
            next ^= o[k + static_cast<size_t>(degree - 1 - t)];
        }
        o[k + static_cast<size_t>(degree)] = next;
    }
    o.resize(n);
    if (inverted) {
        for (auto& b : o) {
            b ^= 1u;
        }
    }
    return o;
}

struct Workspace {
    std::vector<uint8_t> bits = std::vector<uint8_t>(4 * kChips);
    std::vector<double> symbol_i = std::vector<double>(kChips);
    std::vector<double> symbol_q = std::vector<double>(kChips);
    std::vector<double> gains = std::vector<double>(kChips);
    SpreadWorkspace ws;

    explicit Workspace(int32_t length) {
        ws.bits = bits;
        ws.symbol_i = symbol_i;
        ws.symbol_q = symbol_q;
        ws.gains = gains;
        ws.spreading_length = length;
    }
};

std::vector<double> walsh(int length, int index) {
    std::vector<double> w(static_cast<size_t>(length));
    for (int j = 0; j < length; ++j) {
        w[static_cast<size_t>(j)] =
            __builtin_popcount(static_cast<unsigned>(index & j)) % 2 != 0 ? -1.0 : 1.0;
    }
    return w;
}

TEST(Prbs, Degree9GivesTheKnownSequencesAndStates) {
    int32_t state = 1;
    EXPECT_EQ(prbs_string(state, 24, 9), "000000001000010001100001");
    EXPECT_EQ(state, 114);
    state = 63;
    EXPECT_EQ(prbs_string(state, 24, 9), "000111111111000001111011");
    EXPECT_EQ(state, 453);
}

TEST(Prbs, EveryDegreeFollowsItsRecurrenceWithAMaximalPeriod) {
    struct Register {
        int degree;
        std::vector<int> taps;
        bool inverted;
    };
    const std::vector<Register> registers{{7, {5}, false},  {9, {4}, false},        {11, {8}, false},
                                          {15, {13}, true}, {19, {4, 1, 0}, false}, {20, {2}, false},
                                          {23, {17}, true}};
    for (const auto& r : registers) {
        SCOPED_TRACE(r.degree);
        const uint32_t mask = (1u << r.degree) - 1u;
        const uint32_t seed = 0x5a5a5u & mask;
        int32_t state = static_cast<int32_t>(seed);
        std::vector<uint8_t> bits(3000);
        ASSERT_EQ(generate_prbs(&state, bits, 3000, r.degree), 0);
        EXPECT_EQ(bits, prbs_by_recurrence(seed, r.degree, r.taps, r.inverted, 3000));

        // Step bit by bit until the register comes back: a maximal sequence takes 2^degree - 1.
        state = 1;
        uint8_t bit = 0;
        long ones = 0;
        long steps = 0;
        do {
            generate_prbs(&state, std::span(&bit, 1), 1, r.degree);
            ones += bit;
            ++steps;
        } while (state != 1 && steps <= static_cast<long>(mask));
        EXPECT_EQ(steps, static_cast<long>(mask));
        const long half = 1L << (r.degree - 1);
        EXPECT_EQ(ones, r.inverted ? half - 1 : half);
    }
}

TEST(Prbs, Degree9RepeatsEvery511Bits) {
    int32_t state = 63;
    std::vector<uint8_t> bits(3 * 511);
    ASSERT_EQ(generate_prbs(&state, bits, 3 * 511, 9), 0);
    EXPECT_EQ(state, 63);
    for (size_t k = 511; k < bits.size(); ++k) {
        ASSERT_EQ(bits[k], bits[k - 511]) << k;
    }
    // ...and not every 7 or 73 bits, the divisors of 511.
    EXPECT_NE(std::vector<uint8_t>(bits.begin(), bits.begin() + 73),
              std::vector<uint8_t>(bits.begin() + 73, bits.begin() + 146));
}

TEST(Prbs, RefusesDegreesOutsideTheTable) {
    for (int degree : {0, 8, 10, 16, 31}) {
        int32_t state = 77;
        uint8_t bits[4] = {9, 9, 9, 9};
        EXPECT_EQ(generate_prbs(&state, bits, 4, degree), -1) << degree;
        EXPECT_EQ(state, 77);
        EXPECT_EQ(bits[0], 9);
        EXPECT_EQ(bits[3], 9);
    }
}

TEST(Spreaders, BpskPutsWalshRunsOnIOnly) {
    Workspace w(64);
    const auto code = walsh(64, 21);
    std::vector<double> chips_i(kChips, 0.0);
    spread_bpsk(chips_i, w.ws, 1, code, 0.0);
    EXPECT_EQ(w.ws.symbol_count, 512);
    const auto data = prbs_by_recurrence(1, 9, {4}, false, 512);
    for (size_t s = 0; s < 512; ++s) {
        const double symbol = data[s] != 0 ? -1.0 : 1.0;
        for (size_t c = 0; c < 64; ++c) {
            ASSERT_EQ(chips_i[s * 64 + c], symbol * code[c]) << s << ", " << c;
        }
    }
}

TEST(Spreaders, QpskMovesEveryChipByHalfRootTwo) {
    Workspace w(64);
    const auto code = walsh(64, 5);
    std::vector<double> chips_i(kChips, 0.25);
    std::vector<double> chips_q(kChips, -0.5);
    spread_qpsk(chips_i, chips_q, w.ws, 40, code, 0.0);
    const auto data = prbs_by_recurrence(40, 9, {4}, false, 2 * 512);
    for (size_t k = 0; k < kChips; ++k) {
        const size_t s = k / 64;
        const double di = chips_i[k] - 0.25;
        const double dq = chips_q[k] + 0.5;
        ASSERT_NEAR(std::abs(di), 0.7071067811865476, 1e-15) << k;
        ASSERT_NEAR(std::abs(dq), 0.7071067811865476, 1e-15) << k;
        ASSERT_EQ(di * code[k % 64] < 0, data[2 * s] != 0) << k;
        ASSERT_EQ(dq * code[k % 64] < 0, data[2 * s + 1] != 0) << k;
    }
}

// Spreading with a one-chip cover at 0 dB writes the symbols themselves.
std::vector<std::pair<double, double>> points_of(void (*spread)(std::span<double>, std::span<double>,
                                                                SpreadWorkspace&, int32_t,
                                                                std::span<const double>, double),
                                                 int32_t seed) {
    Workspace w(1);
    const double one = 1.0;
    std::vector<double> chips_i(kChips, 0.0);
    std::vector<double> chips_q(kChips, 0.0);
    spread(chips_i, chips_q, w.ws, seed, std::span(&one, 1), 0.0);
    EXPECT_EQ(w.ws.symbol_count, FRAME_CHIPS);
    std::vector<std::pair<double, double>> points;
    for (size_t k = 0; k < kChips; ++k) {
        points.emplace_back(chips_i[k], chips_q[k]);
    }
    return points;
}

TEST(Spreaders, EightPskFollowsTheGrayTable) {
    const double c = 0.9238795325112867;
    const double s = 0.3826834323650898;
    // Rows b0 b1 b2 -> I, Q.
    const std::vector<std::pair<std::string, std::pair<double, double>>> table{
        {"000", {c, s}},  {"100", {s, c}},  {"010", {-c, s}},  {"110", {-s, c}},
        {"001", {c, -s}}, {"101", {s, -c}}, {"011", {-c, -s}}, {"111", {-s, -c}}};
    const auto points = points_of(spread_8psk, 118);
    const auto data = prbs_by_recurrence(118, 9, {4}, false, 3 * kChips);
    std::set<std::string> seen;
    for (size_t k = 0; k < kChips; ++k) {
        std::string group;
        for (size_t b = 0; b < 3; ++b) {
            group += static_cast<char>('0' + data[3 * k + b]);
        }
        seen.insert(group);
        for (const auto& [bits, point] : table) {
            if (bits == group) {
                ASSERT_EQ(points[k], point) << k << " " << group;
            }
        }
    }
    EXPECT_EQ(seen.size(), 8u);
}

TEST(Spreaders, SixteenQamHasUnitMeanPowerAndTheGivenLevels) {
    const double outer = 0.9486832980505138;
    const double inner = 0.31622776601683794;
    const auto points = points_of(spread_16qam, 7);
    const auto data = prbs_by_recurrence(7, 9, {4}, false, 4 * kChips);
    double power = 0.0;
    bool saw_0000 = false;
    bool saw_1111 = false;
    for (size_t k = 0; k < kChips; ++k) {
        const uint8_t* b = &data[4 * k];
        const double i = (b[1] != 0 ? -1.0 : 1.0) * (b[0] == 0 ? outer : inner);
        const double q = (b[3] != 0 ? -1.0 : 1.0) * (b[2] == 0 ? outer : inner);
        ASSERT_EQ(points[k], std::make_pair(i, q)) << k;
        if (b[0] == 0 && b[1] == 0 && b[2] == 0 && b[3] == 0) {
            saw_0000 = true;
            EXPECT_EQ(points[k], std::make_pair(outer, outer));
        }
        if (b[0] == 1 && b[1] == 1 && b[2] == 1 && b[3] == 1) {
            saw_1111 = true;
            EXPECT_EQ(points[k], std::make_pair(-inner, -inner));
        }
        power += i * i + q * q;
    }
    EXPECT_TRUE(saw_0000 && saw_1111);
    // The PN data is balanced to within a few symbols over 256 periods.
    EXPECT_NEAR(power / FRAME_CHIPS, 1.0, 0.01);
}

TEST(Spreaders, AddToTheSumsAndRepeatTheSameDataForTheSameSeed) {
    Workspace w(16);
    const auto code = walsh(16, 8);
    std::vector<double> once_i(kChips, 0.0), once_q(kChips, 0.0);
    spread_8psk(once_i, once_q, w.ws, 235, code, -3.0);

    std::vector<double> twice_i(kChips, 2.0), twice_q(kChips, -1.0);
    spread_8psk(twice_i, twice_q, w.ws, 235, code, -3.0);
    spread_8psk(twice_i, twice_q, w.ws, 235, code, -3.0);
    for (size_t k = 0; k < kChips; ++k) {
        ASSERT_NEAR(twice_i[k], 2.0 + 2.0 * once_i[k], 1e-14) << k;
        ASSERT_NEAR(twice_q[k], -1.0 + 2.0 * once_q[k], 1e-14) << k;
    }
}

TEST(AccumulateSpread, AddsOrOverwrites) {
    const std::vector<double> symbols{1.0, -0.5, 2.0};
    const std::vector<double> gains{2.0, 4.0, 0.5};
    const std::vector<double> code{1.0, -1.0};
    std::vector<double> chips(7, 10.0);
    EXPECT_EQ(accumulate_spread(symbols, chips, code, 3, 2, gains, 1), 0);
    EXPECT_EQ(chips, (std::vector<double>{12.0, 8.0, 8.0, 12.0, 11.0, 9.0, 10.0}));
    EXPECT_EQ(accumulate_spread(symbols, chips, code, 3, 2, gains, 0), 0);
    EXPECT_EQ(chips, (std::vector<double>{2.0, -2.0, -2.0, 2.0, 1.0, -1.0, 10.0}));
}

TEST(Spreaders, LeaveWhatTheyCannotFillUntouched) {
    // A length that does not divide the frame leaves its last chips empty.
    Workspace w6(6);
    const auto code = walsh(6, 1);
    std::vector<double> chips_i(kChips, 0.0);
    std::vector<double> chips_q(kChips, 0.0);
    spread_qpsk(chips_i, chips_q, w6.ws, 3, code, 0.0);
    EXPECT_EQ(w6.ws.symbol_count, 5461);
    EXPECT_NE(chips_i[kChips - 3], 0.0);
    EXPECT_EQ(chips_i[kChips - 2], 0.0);
    EXPECT_EQ(chips_q[kChips - 1], 0.0);

    // No spreading length, or a workspace too small for the frame's bits: nothing is added.
    std::vector<double> untouched(kChips, 0.0);
    Workspace w0(0);
    w0.ws.symbol_count = 99;
    spread_bpsk(untouched, w0.ws, 3, code, 0.0);
    EXPECT_EQ(w0.ws.symbol_count, 0);
    Workspace small(2);
    small.ws.bits = small.ws.bits.first(3 * kChips / 2 - 1);
    spread_8psk(untouched, untouched, small.ws, 3, code, 0.0);
    EXPECT_EQ(small.ws.symbol_count, 0);
    for (double v : untouched) {
        ASSERT_EQ(v, 0.0);
    }
}

// Debug and sanitizer builds check the lengths the spans carry; a short one stops the program there.
#if !defined(NDEBUG) || defined(KESTRA_CHECK_LENGTHS)
TEST(LengthChecks, AShortSpanStopsTheCheckedBuild) {
    const std::vector<double> symbols{1.0, 1.0}, gains{1.0, 1.0}, code{1.0, -1.0};
    std::vector<double> chips(3);
    EXPECT_DEATH(accumulate_spread(symbols, chips, code, 2, 2, gains, 0), "expected");
}
#endif

} // namespace
