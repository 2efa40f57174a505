#include "spreading.h"

#include "checks.h"
#include "kestra/kestra.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>

namespace kestra {

namespace {

struct PrbsRegister {
    int32_t degree;
    uint32_t taps; // stages XORed with the output bit to form the feedback
    bool inverted; // the emitted bit is the complement of the output stage
};

constexpr std::array<PrbsRegister, 7> kPrbsRegisters{{
    {7, 1u << 5, false},                            // x^7 + x^6 + 1
    {9, 1u << 4, false},                            // x^9 + x^5 + 1
    {11, 1u << 8, false},                           // x^11 + x^9 + 1
    {15, 1u << 13, true},                           // x^15 + x^14 + 1
    {19, (1u << 4) | (1u << 1) | (1u << 0), false}, // x^19 + x^5 + x^2 + x + 1
    {20, 1u << 2, false},                           // x^20 + x^3 + 1
    {23, 1u << 17, true},                           // x^23 + x^18 + 1
}};

constexpr double kQpskLevel = 0.7071067811865476; // 1/sqrt(2)
constexpr double k8pskCos = 0.9238795325112867;   // cos 22.5 degrees
constexpr double k8pskSin = 0.3826834323650898;   // sin 22.5 degrees
constexpr double kQamOuter = 0.9486832980505138;  // 3/sqrt(10)
constexpr double kQamInner = 0.31622776601683794; // 1/sqrt(10)

struct Point {
    double i;
    double q;
};

// Indexed by b0 + 2*b1 + 4*b2: b0 picks which rail gets the larger component, b1 the sign of I,
// b2 the sign of Q.
constexpr std::array<Point, 8> k8pskPoints{{
    {k8pskCos, k8pskSin},
    {k8pskSin, k8pskCos},
    {-k8pskCos, k8pskSin},
    {-k8pskSin, k8pskCos},
    {k8pskCos, -k8pskSin},
    {k8pskSin, -k8pskCos},
    {-k8pskCos, -k8pskSin},
    {-k8pskSin, -k8pskCos},
}};

double bit_value(uint8_t b) {
    return b != 0 ? -1.0 : 1.0;
}

// The steps every spreader shares: PN data bits, mapping, one gain for all symbols, then Walsh
// spreading added into the sums. map(bits, i, q) turns the bit group of one symbol into its point.
// Nothing is touched when the spreading length is below 1 or the workspace cannot hold a frame's
// bits and symbols.
template <int BitsPerSymbol, bool Complex, class Map>
void spread_symbols(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                    std::span<const double> walsh, double power_db, Map map) {
    const int32_t L = ws.spreading_length;
    int32_t n = L >= 1 ? FRAME_CHIPS / L : 0;
    const auto symbols = static_cast<std::size_t>(n);
    if (ws.bits.size() < symbols * BitsPerSymbol || ws.symbol_i.size() < symbols ||
        ws.gains.size() < symbols || (Complex && ws.symbol_q.size() < symbols)) {
        n = 0;
    }
    ws.symbol_count = n;
    if (n == 0) {
        return;
    }

    int32_t state = seed;
    generate_prbs(&state, ws.bits, n * BitsPerSymbol, 9);

    const uint8_t* bits = ws.bits.data();
    for (int32_t k = 0; k < n; ++k) {
        double i = 0.0;
        double q = 0.0;
        map(bits + static_cast<std::ptrdiff_t>(k) * BitsPerSymbol, i, q);
        ws.symbol_i[k] = i;
        if constexpr (Complex) {
            ws.symbol_q[k] = q;
        }
    }

    const double gain = std::pow(10.0, power_db * 0.05);
    std::fill_n(ws.gains.begin(), n, gain);

    accumulate_spread(ws.symbol_i, chips_i, walsh, n, L, ws.gains, 1);
    if constexpr (Complex) {
        accumulate_spread(ws.symbol_q, chips_q, walsh, n, L, ws.gains, 1);
    }
}

} // namespace

int32_t generate_prbs(int32_t* state, std::span<uint8_t> bits_out, int32_t n, int32_t degree) {
    const PrbsRegister* reg = nullptr;
    for (const auto& candidate : kPrbsRegisters) {
        if (candidate.degree == degree) {
            reg = &candidate;
        }
    }
    if (reg == nullptr) {
        return -1;
    }
    KESTRA_EXPECT(n <= 0 || bits_out.size() >= static_cast<size_t>(n));
    const uint32_t mask = (1u << degree) - 1u;
    const uint8_t flip = reg->inverted ? 1 : 0;
    auto s = static_cast<uint32_t>(*state);
    for (int32_t k = 0; k < n; ++k) {
        const uint32_t out = (s >> (degree - 1)) & 1u;
        const uint32_t fb = out ^ (static_cast<uint32_t>(std::popcount(s & reg->taps)) & 1u);
        s = ((s << 1) | fb) & mask;
        bits_out[static_cast<size_t>(k)] = static_cast<uint8_t>(out ^ flip);
    }
    *state = static_cast<int32_t>(s);
    return 0;
}

int32_t accumulate_spread(std::span<const double> symbols, std::span<double> chips,
                          std::span<const double> walsh, int32_t n_symbols, int32_t L,
                          std::span<const double> gains, int32_t add) {
    if (n_symbols > 0 && L > 0) {
        const auto n = static_cast<size_t>(n_symbols);
        KESTRA_EXPECT(symbols.size() >= n && gains.size() >= n && walsh.size() >= static_cast<size_t>(L));
        KESTRA_EXPECT(chips.size() >= n * static_cast<size_t>(L));
    }
    for (int32_t s = 0; s < n_symbols; ++s) {
        // The Walsh chips are +1/-1, so scaling the symbol once gives the same products as
        // multiplying all three per chip.
        const double amplitude = symbols[s] * gains[s];
        double* out = chips.data() + static_cast<std::ptrdiff_t>(s) * L;
        if (add != 0) {
            for (int32_t c = 0; c < L; ++c) {
                out[c] += walsh[c] * amplitude;
            }
        } else {
            for (int32_t c = 0; c < L; ++c) {
                out[c] = walsh[c] * amplitude;
            }
        }
    }
    return 0;
}

void spread_bpsk(std::span<double> chips_i, SpreadWorkspace& ws, int32_t seed, std::span<const double> walsh,
                 double power_db) {
    spread_symbols<1, false>(chips_i, {}, ws, seed, walsh, power_db,
                             [](const uint8_t* b, double& i, double&) { i = bit_value(b[0]); });
}

void spread_qpsk(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                 std::span<const double> walsh, double power_db) {
    spread_symbols<2, true>(chips_i, chips_q, ws, seed, walsh, power_db,
                            [](const uint8_t* b, double& i, double& q) {
                                i = bit_value(b[0]) * kQpskLevel;
                                q = bit_value(b[1]) * kQpskLevel;
                            });
}

void spread_8psk(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                 std::span<const double> walsh, double power_db) {
    spread_symbols<3, true>(
        chips_i, chips_q, ws, seed, walsh, power_db, [](const uint8_t* b, double& i, double& q) {
            const Point& p = k8pskPoints[(b[0] & 1u) | ((b[1] & 1u) << 1) | ((b[2] & 1u) << 2)];
            i = p.i;
            q = p.q;
        });
}

void spread_16qam(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                  std::span<const double> walsh, double power_db) {
    spread_symbols<4, true>(chips_i, chips_q, ws, seed, walsh, power_db,
                            [](const uint8_t* b, double& i, double& q) {
                                i = bit_value(b[1]) * (b[0] == 0 ? kQamOuter : kQamInner);
                                q = bit_value(b[3]) * (b[2] == 0 ? kQamOuter : kQamInner);
                            });
}

} // namespace kestra
