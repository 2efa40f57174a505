// Channel spreading primitives: PN data bits, constellation mapping, per-symbol gain and
// Walsh spreading into the chip-rate I and Q sums.
#pragma once

#include <cstdint>
#include <span>

namespace kestra {

// Fibonacci shift-register bit generator of the given degree (7, 9, 11, 15, 19, 20, 23).
// Writes n bits (one per byte, n <= bits_out.size()), updates state. Returns 0, or -1 for another degree.
int32_t generate_prbs(int32_t* state, std::span<uint8_t> bits_out, int32_t n, int32_t degree);

// Scratch every spreader receives; the spans point into the export's work area.
struct SpreadWorkspace {
    std::span<uint8_t> bits;      // room for 4 x 32768 bits
    std::span<double> symbol_i;   // 32768
    std::span<double> symbol_q;   // 32768
    std::span<double> gains;      // 32768, one gain per symbol
    int32_t symbol_count = 0;     // written by the spreader
    int32_t spreading_length = 0; // chips per symbol (the Walsh length), set by the caller
    std::span<uint8_t> bits2;     // second bit buffer (forward-link gated builder)
    std::span<double> ack_cover;  // forward-link F-ACKCH cover sums
    std::span<double> ack_spread; // forward-link F-ACKCH spread chips
};

// chips[s*L + c] = walsh[c] * symbols[s] * gains[s]; added when add != 0, stored otherwise. Returns 0.
// symbols and gains hold at least n_symbols values, walsh L, chips n_symbols x L.
int32_t accumulate_spread(std::span<const double> symbols, std::span<double> chips,
                          std::span<const double> walsh, int32_t n_symbols, int32_t L,
                          std::span<const double> gains, int32_t add);

// Unit-energy symbols of degree-9 PN data from seed, scaled by 10^(power_db/20), Walsh-spread and
// added to the sums. BPSK touches I only. N = 32768 / L symbols fill the first N*L chips; the
// spreaders add nothing (symbol_count 0) when L < 1 or the workspace cannot hold N symbols' bits.
// The sums hold a frame (32768 chips), walsh the spreading length.
void spread_bpsk(std::span<double> chips_i, SpreadWorkspace& ws, int32_t seed, std::span<const double> walsh,
                 double power_db);
void spread_qpsk(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                 std::span<const double> walsh, double power_db);
void spread_8psk(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                 std::span<const double> walsh, double power_db);
void spread_16qam(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                  std::span<const double> walsh, double power_db);

} // namespace kestra
