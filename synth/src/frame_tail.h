// The common end of every synthesis export: quadrature spreading, I/Q inversion, the chip-rate
// copy, periodic interpolation with the link filter, and the frequency offset.
#pragma once

#include "interpolation.h"
#include "kestra/kestra.h"
#include "work_area.h"

#include <cstdint>
#include <functional>
#include <span>

namespace kestra {

// Values past each rail's end: the longest phase of either stage (257 taps) plus one kernel block.
inline constexpr int32_t kRailPadding = 512;
// The chip frame on two rails, and the first stage's output (16 x 32768) on two rails for the second.
inline constexpr std::size_t kChipRail = FRAME_CHIPS + kRailPadding;
inline constexpr std::size_t kStageRail = 16 * FRAME_CHIPS + kRailPadding;
// The tail's frame buffer, in samples: the interleaved chip frame, then the four rails (two rails of
// doubles take the room of one rail of samples).
inline constexpr int kFrameBufferSamples = static_cast<int>(FRAME_CHIPS + kChipRail + kStageRail);

void quadrature_spread(IqSample* out, const double* chips_i, const double* chips_q, const double* pn_i,
                       const double* pn_q, int32_t n);
void swap_iq(IqSample* buf, int32_t n);
void normalize_peak(IqSample* dst, const IqSample* src, int32_t n);

// Circular interpolation of a periodic sequence by L with a real filter (already reversed).
// Returns 0, or -1 (nothing written) when M < 1, n_in < 1, L > 80, ntaps < 1 or ntaps > 2*(n_in*L/M)+1.
int32_t interpolate_periodic(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                             IqSample* out, int32_t L, int32_t M);

// The offset stages, by a phase rotator re-anchored with an exact sine and cosine every
// kRotatorAnchor samples, split over the worker threads: buf[k] times e^(j 2 pi f k / fs), the
// IF conversion keeping the real part (Q = 0).
inline constexpr int32_t kRotatorAnchor = 1024;
void apply_frequency_error(int32_t n, IqSample* buf, double f_hz, double fs_hz);
void apply_if_conversion(int32_t n, IqSample* buf, double f_hz, double fs_hz);

// The same stages by the per-sample formula (a sine and a cosine per sample): the reference.
void apply_frequency_error_plain(int32_t n, IqSample* buf, double f_hz, double fs_hz);
void apply_if_conversion_plain(int32_t n, IqSample* buf, double f_hz, double fs_hz);

// What the tail needs from an export's parameter record.
struct FrameSettings {
    int32_t oversampling = 4;
    int32_t iq_inverse = 0;
    int32_t offset_mode = 0;
    double freq_error_hz = 0.0;
    double if_freq_hz = 0.0;
};

// Scratch the tail uses, carved from the export's work area.
struct FrameBuffers {
    std::span<IqSample> frame;   // kFrameBufferSamples (the forward link reserves more)
    std::span<double> coef;      // kFilterBufferLength
    std::span<double> scratch_a; // kFilterBufferLength
    std::span<double> scratch_b; // kFilterBufferLength
};

// The frame buffer's parts: the chip frame, then the rails the interpolation stages read.
struct FrameRails {
    std::span<IqSample> chips; // FRAME_CHIPS
    std::span<double> chip_i;  // kChipRail
    std::span<double> chip_q;
    std::span<double> stage_i; // kStageRail
    std::span<double> stage_q;
};
FrameRails frame_rails(std::span<IqSample> frame);

// Where the interpolated waveform goes: the Q rail delayed by q_delay samples (cyclically), the two
// rails exchanged when swap_iq is set (after the delay).
struct WaveformLayout {
    int32_t q_delay = 0;
    bool swap_iq = false;
};

// Takes the tail's buffers from a work area, in the order the exports lay them out.
FrameBuffers take_frame_buffers(WorkArea& area, std::size_t frame_samples = kFrameBufferSamples);

// Builds the link filter for a ratio into coef; returns the number of taps.
using FilterBuilder =
    std::function<int32_t(double* coef, double* scratch_a, double* scratch_b, int32_t ratio)>;

FilterBuilder reverse_link_filter();
FilterBuilder forward_link_filter(int32_t phase_equalizer);

// Whether interpolate_frame can make a ratio: 1 to 20, or 32, 48, 64 and 80 (two stages).
bool interpolable_ratio(int32_t ratio);

// Interpolates the chip frame (the first FRAME_CHIPS samples of buffers.frame) into waveform, of
// ratio x 32768 samples, with one stage for ratios up to 20, or x16 then a raised-cosine stage above.
void interpolate_frame(const FrameBuffers& buffers, std::span<IqSample> waveform, int32_t ratio,
                       const FilterBuilder& build_filter, WaveformLayout layout = {});

// Applies the offset stage selected by settings.offset_mode to n waveform samples.
void apply_offset(IqSample* waveform, int32_t n, const FrameSettings& settings);

// The whole tail: spreads the chip sums with the PN pair, inverts, copies, interpolates, offsets.
void run_frame_tail(const double* chips_i, const double* chips_q, const double* pn_i, const double* pn_q,
                    const FrameSettings& settings, const FilterBuilder& build_filter,
                    const FrameBuffers& buffers, IqSample* waveform, IqSample* chip_copy);

} // namespace kestra
