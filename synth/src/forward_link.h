// Forward-link generator: the pilot and up to seventeen kinds of code channel summed at chip rate,
// then the common frame tail with the PN-I/PN-Q pair and the forward-link filter.
#pragma once

#include "frame_tail.h"
#include "kestra/air_interface.h"
#include "kestra/kestra.h"
#include "spreading.h"
#include "work_area.h"

#include <cstdint>
#include <span>

namespace kestra {

static_assert(FRAME_CHIPS == air::frame_chips && KESTRA_CHIP_RATE_HZ == air::chip_rate_hz,
              "the C interface's frame and chip rate are the air-interface table's");

// Frame buffer of the forward link: room for the 20x waveform of one frame (only 16 x 32768 are used).
inline constexpr int kDlFrameBufferSamples = 20 * FRAME_CHIPS;

// Number of per-user gains F-ACKCH reads: 32 users on I, then 32 on Q.
inline constexpr int kAckUsers = 32;
inline constexpr int kAckUserGains = 2 * kAckUsers;

// Forward-link channel type codes (the `type` field of DlChannel), as the air-interface table numbers them.
enum DlChannelType : int32_t {
    kFPich = air::f_pich,
    kSynch = air::synch,
    kPch = air::pch,
    kBcch = air::bcch,
    kQpch = air::qpch,
    kCpcch = air::cpcch,
    kFRcch = air::f_rcch,
    kFGch = air::f_gch,
    kFAckch = air::f_ackch,
    kCach = air::cach,
    kFPdcch = air::f_pdcch,
    kFCcch = air::f_ccch,
    kFDcch = air::f_dcch,
    kFFch = air::f_fch,
    kFScch = air::f_scch,
    kFSch = air::f_sch,
    kFPdch = air::f_pdch,
};

// The forward link's scratch, carved from the caller's work area in one place.
struct DlWork {
    std::span<double> walsh;   // 256: the Walsh code of the channel being spread
    std::span<double> chips_i; // 32768: chip-rate I sum
    std::span<double> chips_q; // 32768: chip-rate Q sum
    FrameBuffers frame;        // frame tail buffers (frame: kDlFrameBufferSamples)
    SpreadWorkspace spread;    // spreader scratch
    std::span<double> multi_i; // 32768: the local builders' own chip stream, I
    std::span<double> multi_q; // 32768: the local builders' own chip stream, Q
};

// Lays the forward-link scratch out in area; area.used() is then the bytes the layout needs.
DlWork take_dl_work(WorkArea& area);

// Seed step for a call with channel_count records: floor(510 / (channel_count + 3)), at least 1.
int32_t dl_seed_step(int32_t channel_count);

// Seed of the k-th seeded channel (k = 1, 2, ...): k * step while that stays within 1..509, which
// always holds up to 507 records; beyond, the seeds cycle through 1..509 so that the seed and the
// derived seeds seed + 1 and seed + 2 are non-zero 9-bit generator states.
int32_t dl_channel_seed(int32_t k, int32_t step);

// Sums the channels of one call into work.chips_i / work.chips_q (overwritten). ack_user_gains:
// 64 gains in dB, read only for F-ACKCH; nullptr counts as 0 dB for every user.
void sum_dl_channels(const DlChannel* channels, int32_t channel_count, const double* ack_user_gains,
                     DlWork& work);

// On-off keyed paging indicators: bit 1 -> (1/sqrt2, 1/sqrt2), bit 0 -> nothing; normalised to
// unit mean power over the frame, then scaled to power_db. L is ws.spreading_length.
void spread_qpch(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                 std::span<const double> walsh, double power_db, std::span<double> scratch_i,
                 std::span<double> scratch_q);

// QPSK whose I and Q halves are each switched on or off per symbol by gate bits drawn from
// gate_seed; normalised to unit mean power, then scaled to power_db.
void spread_gated_qpsk(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws,
                       int32_t seed, int32_t gate_seed, std::span<const double> walsh, double power_db,
                       std::span<double> scratch_i, std::span<double> scratch_q);

// Acknowledgement channel: 32 users per rail on orthogonal 32-chip covers, three symbols each per
// block, in three blocks of 12288, 12288 and 8192 chips (draws seeds seed, seed + 1, seed + 2);
// normalised to unit mean power, then scaled to power_db. ack_user_gains: 64 values in dB.
void spread_ackch(std::span<double> chips_i, std::span<double> chips_q, SpreadWorkspace& ws, int32_t seed,
                  std::span<const double> walsh, double power_db, const double* ack_user_gains,
                  std::span<double> scratch_i, std::span<double> scratch_q);

} // namespace kestra
