#include "forward_link.h"

#include "checks.h"
#include "kestra/air_interface.h"
#include "pn_tables.h"
#include "walsh.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kestra {

namespace {

constexpr int32_t kPrbsDegree = 9;
// Seeds the channel loop hands out; seed + 2 (the last F-ACKCH block) stays a 9-bit state.
constexpr int32_t kMaxChannelSeed = 509;
constexpr double kInvSqrt2 = 0.7071067811865476;

// F-ACKCH cover layout: 32 chips per cover, three symbols per user and block, three blocks.
constexpr int kCoverChips = 32;
constexpr int kSymbolsPerUser = 3;
constexpr int kAckBlockValues = 2 * kSymbolsPerUser * kCoverChips; // 96 cover sums, sent twice
constexpr int kAckBlocks = 3;

// The 31-chip maximal sequence behind the F-ACKCH covers (a(n+5) = a(n+4) ^ a(n+3) ^ a(n+1) ^ a(n)).
constexpr char kAckMSequence[] = "0100100010111110110011100001101";

// Cover row j: row 0 all +1; row j >= 1 is chip 0 = +1 followed by the m-sequence shifted by j.
constexpr std::array<std::array<double, kCoverChips>, kAckUsers> make_ack_covers() {
    std::array<std::array<double, kCoverChips>, kAckUsers> t{};
    for (int j = 0; j < kAckUsers; ++j) {
        t[j][0] = 1.0;
        for (int c = 1; c < kCoverChips; ++c) {
            if (j == 0) {
                t[j][c] = 1.0;
            } else {
                const int bit = kAckMSequence[((c - j) % 31 + 31) % 31] - '0';
                t[j][c] = 1.0 - 2.0 * bit;
            }
        }
    }
    return t;
}

constexpr auto kAckCovers = make_ack_covers();

double amplitude_of(double power_db) {
    return std::pow(10.0, power_db / 20.0);
}

// The local builders' common end: normalise the stream in scratch to unit mean power over the
// frame and add it to the sums at amplitude A. A silent stream (mean power 0) adds nothing.
void add_normalised(std::span<double> chips_i, std::span<double> chips_q, std::span<const double> scratch_i,
                    std::span<const double> scratch_q, double power_db) {
    KESTRA_EXPECT(chips_i.size() >= FRAME_CHIPS && chips_q.size() >= FRAME_CHIPS);
    KESTRA_EXPECT(scratch_i.size() >= FRAME_CHIPS && scratch_q.size() >= FRAME_CHIPS);
    double energy = 0.0;
    for (int k = 0; k < FRAME_CHIPS; ++k) {
        energy += scratch_i[k] * scratch_i[k] + scratch_q[k] * scratch_q[k];
    }
    const double p = std::sqrt(energy / FRAME_CHIPS);
    if (!(p > 0.0) || !std::isfinite(p)) {
        return;
    }
    const double a = amplitude_of(power_db);
    for (int k = 0; k < FRAME_CHIPS; ++k) {
        chips_i[k] += a * scratch_i[k] / p;
        chips_q[k] += a * scratch_q[k] / p;
    }
}

// Spreads n symbols per rail at unit gain into the scratch pair (overwriting) and clears the chips
// a length that does not divide the frame leaves over.
void spread_unit(SpreadWorkspace& ws, std::span<const double> walsh, int32_t n_symbols, int32_t length,
                 std::span<double> scratch_i, std::span<double> scratch_q) {
    KESTRA_EXPECT(scratch_i.size() >= FRAME_CHIPS && scratch_q.size() >= FRAME_CHIPS);
    for (int32_t s = 0; s < n_symbols; ++s) {
        ws.gains[s] = 1.0;
    }
    accumulate_spread(ws.symbol_i, scratch_i, walsh, n_symbols, length, ws.gains, 0);
    accumulate_spread(ws.symbol_q, scratch_q, walsh, n_symbols, length, ws.gains, 0);
    for (int32_t k = n_symbols * length; k < FRAME_CHIPS; ++k) {
        scratch_i[k] = 0.0;
        scratch_q[k] = 0.0;
    }
}

bool usable_length(int32_t length) {
    return length >= 1 && length <= kMaxWalshLength;
}

// Walsh length and number a channel type uses: fixed by the type or taken from the record.
struct WalshChoice {
    int32_t length;
    int32_t index;
};

WalshChoice walsh_for(const DlChannel& ch) {
    const air::WalshCode code = air::forward_spreading_code(ch.type, ch.walsh_length, ch.walsh_index);
    return {code.length, code.number};
}

// Spreads one seeded channel (types 1..16) into the sums.
void spread_channel(const DlChannel& ch, int32_t seed, const double* ack_user_gains, DlWork& w) {
    const std::span<double> ci = w.chips_i;
    const std::span<double> cq = w.chips_q;
    SpreadWorkspace& ws = w.spread;
    const std::span<const double> walsh = w.walsh.first(static_cast<size_t>(ws.spreading_length));
    switch (ch.type) {
    case kSynch:
    case kPch:
    case kFScch:
        spread_bpsk(ci, ws, seed, walsh, ch.power_db);
        break;
    case kBcch:
    case kFGch:
    case kCach:
    case kFPdcch:
    case kFCcch:
    case kFDcch:
    case kFSch:
        spread_qpsk(ci, cq, ws, seed, walsh, ch.power_db);
        break;
    case kQpch:
        spread_qpch(ci, cq, ws, seed, walsh, ch.power_db, w.multi_i, w.multi_q);
        break;
    case kCpcch:
    case kFRcch:
        spread_gated_qpsk(ci, cq, ws, seed, seed + 1, walsh, ch.power_db, w.multi_i, w.multi_q);
        break;
    case kFAckch:
        spread_ackch(ci, cq, ws, seed, walsh, ch.power_db, ack_user_gains, w.multi_i, w.multi_q);
        break;
    case kFFch:
        if (ch.option == 0) {
            spread_bpsk(ci, ws, seed, walsh, ch.power_db);
        } else if (ch.option == 1) {
            spread_qpsk(ci, cq, ws, seed, walsh, ch.power_db);
        }
        break;
    case kFPdch:
        if (ch.option == 0) {
            spread_bpsk(ci, ws, seed, walsh, ch.power_db);
        } else if (ch.option == 1) {
            spread_qpsk(ci, cq, ws, seed, walsh, ch.power_db);
        } else if (ch.option == 2) {
            spread_8psk(ci, cq, ws, seed, walsh, ch.power_db);
        } else if (ch.option == 3) {
            spread_16qam(ci, cq, ws, seed, walsh, ch.power_db);
        }
        break;
    default:
        break;
    }
}

} // namespace

DlWork take_dl_work(WorkArea& area) {
    DlWork w;
    w.walsh = area.take<double>(kMaxWalshLength);
    w.chips_i = area.take<double>(FRAME_CHIPS);
    w.chips_q = area.take<double>(FRAME_CHIPS);
    w.frame = take_frame_buffers(area, kDlFrameBufferSamples);
    w.spread.bits = area.take<uint8_t>(4 * FRAME_CHIPS);
    w.spread.symbol_i = area.take<double>(FRAME_CHIPS);
    w.spread.gains = area.take<double>(FRAME_CHIPS);
    w.spread.symbol_q = area.take<double>(FRAME_CHIPS);
    w.spread.bits2 = area.take<uint8_t>(4 * FRAME_CHIPS);
    w.spread.ack_cover = area.take<double>(FRAME_CHIPS);
    w.spread.ack_spread = area.take<double>(FRAME_CHIPS);
    w.multi_i = area.take<double>(FRAME_CHIPS);
    w.multi_q = area.take<double>(FRAME_CHIPS);
    return w;
}

int32_t dl_seed_step(int32_t channel_count) {
    if (channel_count < 0) {
        return 1;
    }
    const int32_t step = 510 / (channel_count + 3);
    return step < 1 ? 1 : step;
}

int32_t dl_channel_seed(int32_t k, int32_t step) {
    const int64_t s = static_cast<int64_t>(k) * step;
    return static_cast<int32_t>((s - 1) % kMaxChannelSeed + 1);
}

void spread_qpch(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                 std::span<const double> walsh, double power_db, std::span<double> scratch_i,
                 std::span<double> scratch_q) {
    const int32_t length = ws.spreading_length;
    if (!usable_length(length)) {
        return;
    }
    const int32_t n = FRAME_CHIPS / length;
    ws.symbol_count = n;
    int32_t state = seed;
    generate_prbs(&state, ws.bits, n, kPrbsDegree);
    for (int32_t k = 0; k < n; ++k) {
        const double v = ws.bits[k] != 0 ? kInvSqrt2 : 0.0;
        ws.symbol_i[k] = v;
        ws.symbol_q[k] = v;
    }
    spread_unit(ws, walsh, n, length, scratch_i, scratch_q);
    add_normalised(chips_i, chips_q, scratch_i, scratch_q, power_db);
}

void spread_gated_qpsk(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws,
                       int32_t seed, int32_t gate_seed, std::span<const double> walsh, double power_db,
                       std::span<double> scratch_i, std::span<double> scratch_q) {
    const int32_t length = ws.spreading_length;
    if (!usable_length(length)) {
        return;
    }
    const int32_t n = FRAME_CHIPS / length;
    ws.symbol_count = n;
    int32_t state = seed;
    generate_prbs(&state, ws.bits, 2 * n, kPrbsDegree);
    int32_t gate_state = gate_seed;
    generate_prbs(&gate_state, ws.bits2, 2 * n, kPrbsDegree);
    for (int32_t k = 0; k < n; ++k) {
        const double gi = ws.bits2[2 * k];
        const double gq = ws.bits2[2 * k + 1];
        ws.symbol_i[k] = gi * (1.0 - 2.0 * ws.bits[2 * k]) * kInvSqrt2;
        ws.symbol_q[k] = gq * (1.0 - 2.0 * ws.bits[2 * k + 1]) * kInvSqrt2;
    }
    spread_unit(ws, walsh, n, length, scratch_i, scratch_q);
    add_normalised(chips_i, chips_q, scratch_i, scratch_q, power_db);
}

void spread_ackch(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                  std::span<const double> walsh, double power_db, const double* ack_user_gains,
                  std::span<double> scratch_i, std::span<double> scratch_q) {
    const int32_t length = ws.spreading_length;
    // Two full blocks of 192 values and a third that completes the frame must fit.
    if (length < 1 || 2 * kAckBlockValues * length > FRAME_CHIPS) {
        return;
    }
    std::array<double, kAckUserGains> user_amp{};
    for (int u = 0; u < kAckUserGains; ++u) {
        user_amp[u] = ack_user_gains != nullptr ? amplitude_of(ack_user_gains[u]) : 1.0;
    }
    const int32_t block_chips = kAckBlockValues * length;
    for (int32_t s = 0; s < kAckBlockValues; ++s) {
        ws.gains[s] = 1.0;
    }
    ws.symbol_count = kAckBlockValues;

    int32_t offset = 0;
    for (int b = 0; b < kAckBlocks; ++b) {
        const int32_t n_b = b < kAckBlocks - 1 ? block_chips : FRAME_CHIPS - 2 * block_chips;
        int32_t state = seed + b;
        generate_prbs(&state, ws.bits, kAckBlockValues, kPrbsDegree);
        for (int rail = 0; rail < 2; ++rail) {
            const int sym0 = rail * kAckUsers * kSymbolsPerUser;
            const std::span<double> cover = ws.ack_cover.first(2 * kSymbolsPerUser * kCoverChips);
            for (int v = 0; v < kSymbolsPerUser * kCoverChips; ++v) {
                cover[v] = 0.0;
            }
            for (int u = 0; u < kAckUsers; ++u) {
                const double amp = user_amp[rail * kAckUsers + u];
                for (int t = 0; t < kSymbolsPerUser; ++t) {
                    const double sym = (1.0 - 2.0 * ws.bits[sym0 + kSymbolsPerUser * u + t]) * amp;
                    for (int c = 0; c < kCoverChips; ++c) {
                        cover[t * kCoverChips + c] += kAckCovers[u][c] * sym;
                    }
                }
            }
            // Each block carries its 96 cover sums twice.
            for (int v = 0; v < kSymbolsPerUser * kCoverChips; ++v) {
                cover[kSymbolsPerUser * kCoverChips + v] = cover[v];
            }
            accumulate_spread(cover, ws.ack_spread, walsh, kAckBlockValues, length, ws.gains, 0);
            const std::span<double> dst = (rail == 0 ? scratch_i : scratch_q).subspan(offset, n_b);
            std::copy_n(ws.ack_spread.begin(), n_b, dst.begin());
        }
        offset += n_b;
    }
    add_normalised(chips_i, chips_q, scratch_i, scratch_q, power_db);
}

void sum_dl_channels(const DlChannel* channels, int32_t channel_count, const double* ack_user_gains,
                     DlWork& work) {
    std::fill(work.chips_i.begin(), work.chips_i.end(), 0.0);
    std::fill(work.chips_q.begin(), work.chips_q.end(), 0.0);
    if (channels == nullptr || channel_count <= 0) {
        return;
    }
    const int32_t step = dl_seed_step(channel_count);
    int32_t seeded = 0;
    for (int32_t r = 0; r < channel_count; ++r) {
        const DlChannel& ch = channels[r];
        if (ch.type == kFPich) {
            for (int k = 0; k < FRAME_CHIPS; ++k) {
                work.chips_i[k] += 1.0;
            }
            continue;
        }
        if (ch.type < kSynch || ch.type > kFPdch) {
            continue;
        }
        const int32_t seed = dl_channel_seed(++seeded, step);
        const WalshChoice code = walsh_for(ch);
        // A code the Walsh table cannot write leaves the channel silent; it keeps its seed.
        if (!usable_length(code.length) || code.index < 0 ||
            write_walsh_code(code.length, code.index, work.walsh) != 0) {
            continue;
        }
        work.spread.spreading_length = code.length;
        spread_channel(ch, seed, ack_user_gains, work);
    }
}

} // namespace kestra

extern "C" KESTRA_API int32_t KESTRA_DL_Actual(IqSample* waveform, IqSample* chip_copy, void* work,
                                               const DlParams* params, const DlChannel* channels,
                                               const double* ack_user_gains) {
    using namespace kestra;
    if (waveform == nullptr || chip_copy == nullptr || work == nullptr || params == nullptr) {
        return KESTRA_ERROR_NULL_POINTER;
    }
    // No records is a silent frame; records promised but not passed, or a negative count, is a mistake.
    if (!interpolable_ratio(params->oversampling) || params->channel_count < 0 ||
        (channels == nullptr && params->channel_count > 0)) {
        return KESTRA_ERROR_BAD_ARGUMENT;
    }
    try {
        WorkArea area(work);
        DlWork w = take_dl_work(area);
        sum_dl_channels(channels, params->channel_count, ack_user_gains, w);

        FrameSettings settings;
        settings.oversampling = params->oversampling;
        settings.iq_inverse = params->iq_inverse;
        settings.offset_mode = params->offset_mode;
        settings.freq_error_hz = params->freq_error_hz;
        settings.if_freq_hz = params->if_freq_hz;
        run_frame_tail(w.chips_i.data(), w.chips_q.data(), pn_i_table().data(), pn_q_table().data(), settings,
                       forward_link_filter(params->phase_equalizer), w.frame, waveform, chip_copy);
    } catch (...) {
        // Nothing may cross the library boundary; the synthesis throws only when it cannot get memory.
        return KESTRA_ERROR_NO_MEMORY;
    }
    return KESTRA_OK;
}
