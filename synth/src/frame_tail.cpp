#include "frame_tail.h"

#include "checks.h"
#include "filters.h"
#include "interpolation.h"
#include "worker_pool.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace kestra {

void quadrature_spread(IqSample* out, const double* chips_i, const double* chips_q, const double* pn_i,
                       const double* pn_q, int32_t n) {
    for (int32_t k = 0; k < n; ++k) {
        out[k].i = chips_i[k] * pn_i[k] - chips_q[k] * pn_q[k];
        out[k].q = chips_q[k] * pn_i[k] + chips_i[k] * pn_q[k];
    }
}

void swap_iq(IqSample* buf, int32_t n) {
    for (int32_t k = 0; k < n; ++k) {
        std::swap(buf[k].i, buf[k].q);
    }
}

void normalize_peak(IqSample* dst, const IqSample* src, int32_t n) {
    double peak = 0.0;
    for (int32_t k = 0; k < n; ++k) {
        peak = std::max({peak, std::fabs(src[k].i), std::fabs(src[k].q)});
    }
    if (peak == 0.0) {
        peak = 1.0; // an empty frame stays empty
    }
    for (int32_t k = 0; k < n; ++k) {
        dst[k] = {src[k].i / peak, src[k].q / peak};
    }
}

int32_t interpolate_periodic(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                             IqSample* out, int32_t L, int32_t M) {
    if (M < 1 || n_in < 1 || L < 1 || L > 80 || ntaps < 1) {
        return -1;
    }
    const int64_t n_out = static_cast<int64_t>(n_in) * L / M;
    if (ntaps > 2 * n_out + 1) {
        return -1;
    }
    if (M == 1) {
        interpolate_periodic_polyphase(in, n_in, coef, ntaps, out, L);
    } else {
        interpolate_periodic_plain(in, n_in, coef, ntaps, out, L, M);
    }
    return 0;
}

namespace {

// e^(j theta) for theta = step x k with the product taken exactly: the rounding error of step x k
// (up to half a unit in its last place, 3e-11 rad at a million radians) goes back in to first order.
IqSample exact_phasor(double step, int64_t k) {
    const double kd = static_cast<double>(k);
    const double hi = step * kd;
    const double lo = std::fma(step, kd, -hi);
    const double c = std::cos(hi);
    const double s = std::sin(hi);
    return {c - s * lo, s + c * lo};
}

inline IqSample times(IqSample a, IqSample b) {
    return {a.i * b.i - a.q * b.q, a.i * b.q + a.q * b.i};
}

// The rotator: a table of the first kSpan phasors, and the phasor at every kSpan-th sample advanced
// from the last exact anchor; sample k's phasor is then one product of the two.
constexpr int32_t kSpan = 64;
static_assert(kRotatorAnchor % kSpan == 0);

struct Rotation {
    double step = 0.0;
    IqSample table[kSpan];
    IqSample span_step; // e^(j step kSpan)
};

Rotation make_rotation(double step) {
    Rotation r;
    r.step = step;
    for (int32_t j = 0; j < kSpan; ++j) {
        r.table[j] = exact_phasor(step, j);
    }
    r.span_step = exact_phasor(step, kSpan);
    return r;
}

// Rotates samples [begin, end) (begin a multiple of kRotatorAnchor); keep_real leaves Re, Q = 0.
void rotate_range(IqSample* buf, int64_t begin, int64_t end, const Rotation& r, bool keep_real) {
    for (int64_t anchor = begin; anchor < end; anchor += kRotatorAnchor) {
        IqSample z = exact_phasor(r.step, anchor);
        const int64_t anchor_end = std::min(end, anchor + kRotatorAnchor);
        for (int64_t s = anchor; s < anchor_end; s += kSpan) {
            const int32_t count = static_cast<int32_t>(std::min<int64_t>(kSpan, anchor_end - s));
            IqSample* x = buf + s;
            double rot_i[kSpan];
            double rot_q[kSpan];
            for (int32_t j = 0; j < count; ++j) {
                rot_i[j] = z.i * r.table[j].i - z.q * r.table[j].q;
                rot_q[j] = z.i * r.table[j].q + z.q * r.table[j].i;
            }
            if (keep_real) {
                for (int32_t j = 0; j < count; ++j) {
                    x[j] = {x[j].i * rot_i[j] - x[j].q * rot_q[j], 0.0};
                }
            } else {
                for (int32_t j = 0; j < count; ++j) {
                    const double i = x[j].i;
                    const double q = x[j].q;
                    x[j] = {i * rot_i[j] - q * rot_q[j], i * rot_q[j] + q * rot_i[j]};
                }
            }
            z = times(z, r.span_step);
        }
    }
}

// Splits the samples over the worker threads in whole anchor intervals.
void rotate(int32_t n, IqSample* buf, double f_hz, double fs_hz, bool keep_real) {
    if (n <= 0) {
        return;
    }
    const Rotation r = make_rotation(2.0 * std::numbers::pi * f_hz / fs_hz);
    const int32_t anchors = (n + kRotatorAnchor - 1) / kRotatorAnchor;
    const int32_t parts = n < 65536 ? 1 : std::min(anchors, 4 * worker_threads());
    run_parts(parts, [&](int32_t p) {
        const int64_t begin = int64_t{anchors} * p / parts * kRotatorAnchor;
        const int64_t end = std::min<int64_t>(n, int64_t{anchors} * (p + 1) / parts * kRotatorAnchor);
        rotate_range(buf, begin, end, r, keep_real);
    });
}

} // namespace

void apply_frequency_error(int32_t n, IqSample* buf, double f_hz, double fs_hz) {
    rotate(n, buf, f_hz, fs_hz, false);
}

void apply_if_conversion(int32_t n, IqSample* buf, double f_hz, double fs_hz) {
    rotate(n, buf, f_hz, fs_hz, true);
}

void apply_frequency_error_plain(int32_t n, IqSample* buf, double f_hz, double fs_hz) {
    const double step = 2.0 * std::numbers::pi * f_hz / fs_hz;
    for (int32_t k = 0; k < n; ++k) {
        const double theta = step * k;
        const double c = std::cos(theta);
        const double s = std::sin(theta);
        const double i = buf[k].i;
        const double q = buf[k].q;
        buf[k] = {i * c - q * s, i * s + q * c};
    }
}

void apply_if_conversion_plain(int32_t n, IqSample* buf, double f_hz, double fs_hz) {
    const double step = 2.0 * std::numbers::pi * f_hz / fs_hz;
    for (int32_t k = 0; k < n; ++k) {
        const double theta = step * k;
        buf[k] = {buf[k].i * std::cos(theta) - buf[k].q * std::sin(theta), 0.0};
    }
}

FrameBuffers take_frame_buffers(WorkArea& area, std::size_t frame_samples) {
    FrameBuffers b;
    b.scratch_a = area.take<double>(kFilterBufferLength);
    b.scratch_b = area.take<double>(kFilterBufferLength);
    b.frame = area.take<IqSample>(frame_samples);
    b.coef = area.take<double>(kFilterBufferLength);
    return b;
}

FrameRails frame_rails(std::span<IqSample> frame) {
    KESTRA_EXPECT(frame.size() >= static_cast<size_t>(kFrameBufferSamples));
    FrameRails r;
    r.chips = frame.first(FRAME_CHIPS);
    // Two rails of doubles in the room of one rail of samples.
    double* rails = &frame[FRAME_CHIPS].i;
    r.chip_i = {rails, kChipRail};
    r.chip_q = {rails + kChipRail, kChipRail};
    r.stage_i = {rails + 2 * kChipRail, kStageRail};
    r.stage_q = {rails + 2 * kChipRail + kStageRail, kStageRail};
    return r;
}

FilterBuilder reverse_link_filter() {
    return [](double* coef, double* scratch_a, double*, int32_t ratio) {
        int32_t ntaps = 0;
        build_ul_filter(coef, &ntaps, scratch_a, ratio);
        return ntaps;
    };
}

FilterBuilder forward_link_filter(int32_t phase_equalizer) {
    return [phase_equalizer](double* coef, double* scratch_a, double* scratch_b, int32_t ratio) {
        int32_t ntaps = 0;
        build_dl_filter(coef, &ntaps, scratch_a, scratch_b, ratio, phase_equalizer);
        return ntaps;
    };
}

namespace {

InterpolationOutput waveform_output(std::span<IqSample> waveform, WaveformLayout layout) {
    InterpolationOutput out{&waveform[0].i, &waveform[0].q, 2, static_cast<int64_t>(waveform.size()),
                            layout.q_delay};
    if (layout.swap_iq) {
        std::swap(out.i, out.q);
    }
    return out;
}

} // namespace

bool interpolable_ratio(int32_t ratio) {
    return (ratio >= 1 && ratio <= 20) || (ratio > 20 && ratio <= kMaxRatio && ratio % 16 == 0);
}

void interpolate_frame(const FrameBuffers& buffers, std::span<IqSample> waveform, int32_t ratio,
                       const FilterBuilder& build_filter, WaveformLayout layout) {
    // Ratios outside what either form can make leave the waveform as it was.
    if (!interpolable_ratio(ratio)) {
        return;
    }
    KESTRA_EXPECT(waveform.size() == static_cast<size_t>(ratio) * FRAME_CHIPS);
    KESTRA_EXPECT(buffers.coef.size() >= static_cast<size_t>(kFilterBufferLength));
    const FrameRails rails = frame_rails(buffers.frame);
    split_rails(rails.chips.data(), FRAME_CHIPS, rails.chip_i, rails.chip_q);
    const SplitInput chips{rails.chip_i, rails.chip_q, FRAME_CHIPS};
    // The scratch pair is free once the filter is built: the packed taps go there.
    std::array<PolyphaseBranch, kMaxRatio> phases;
    const PolyphaseScratch scratch{buffers.scratch_a, phases};
    double* coef = buffers.coef.data();
    if (ratio <= 20) {
        const int32_t ntaps = build_filter(coef, buffers.scratch_a.data(), buffers.scratch_b.data(), ratio);
        reverse_taps(coef, ntaps);
        interpolate_split(chips, coef, ntaps, ratio, waveform_output(waveform, layout), scratch);
        return;
    }
    // Above 20 samples per chip: the link filter at 16 samples per chip, then a raised cosine at four
    // times the chip rate up to the full ratio; keeps both filters short. The first stage writes the
    // second's input rails directly.
    const int32_t ntaps = build_filter(coef, buffers.scratch_a.data(), buffers.scratch_b.data(), 16);
    reverse_taps(coef, ntaps);
    constexpr int32_t kStageSamples = 16 * FRAME_CHIPS;
    const InterpolationOutput stage{rails.stage_i.data(), rails.stage_q.data(), 1, kStageSamples, 0};
    interpolate_split(chips, coef, ntaps, 16, stage, scratch);
    extend_rails(kStageSamples, rails.stage_i, rails.stage_q);
    const int32_t sps = ratio / 4;
    const int32_t second_taps = 64 * sps + 1;
    design_raised_cosine(coef, 0.2, 0.0, 1.0, sps, second_taps);
    interpolate_split({rails.stage_i, rails.stage_q, kStageSamples}, coef, second_taps, ratio / 16,
                      waveform_output(waveform, layout), scratch);
}

void apply_offset(IqSample* waveform, int32_t n, const FrameSettings& settings) {
    const double fs = settings.oversampling * KESTRA_CHIP_RATE_HZ;
    if (settings.offset_mode == 1) {
        apply_frequency_error(n, waveform, settings.freq_error_hz, fs);
    } else if (settings.offset_mode == 2) {
        apply_if_conversion(n, waveform, settings.if_freq_hz, fs);
    }
}

void run_frame_tail(const double* chips_i, const double* chips_q, const double* pn_i, const double* pn_q,
                    const FrameSettings& settings, const FilterBuilder& build_filter,
                    const FrameBuffers& buffers, IqSample* waveform, IqSample* chip_copy) {
    IqSample* frame = buffers.frame.data();
    quadrature_spread(frame, chips_i, chips_q, pn_i, pn_q, FRAME_CHIPS);
    if (settings.iq_inverse != 0) {
        swap_iq(frame, FRAME_CHIPS);
    }
    normalize_peak(chip_copy, frame, FRAME_CHIPS);
    interpolate_frame(buffers, {waveform, static_cast<size_t>(settings.oversampling) * FRAME_CHIPS},
                      settings.oversampling, build_filter);
    apply_offset(waveform, settings.oversampling * FRAME_CHIPS, settings);
}

} // namespace kestra
