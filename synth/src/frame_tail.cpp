#include "frame_tail.h"

#include "filters.h"
#include "interpolation.h"

#include <algorithm>
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

void apply_frequency_error(int32_t n, IqSample* buf, double f_hz, double fs_hz) {
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

void apply_if_conversion(int32_t n, IqSample* buf, double f_hz, double fs_hz) {
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

void interpolate_frame(const FrameBuffers& buffers, IqSample* waveform, int32_t ratio,
                       const FilterBuilder& build_filter) {
    double* coef = buffers.coef.data();
    IqSample* frame = buffers.frame.data();
    if (ratio <= 20) {
        const int32_t ntaps = build_filter(coef, buffers.scratch_a.data(), buffers.scratch_b.data(), ratio);
        reverse_taps(coef, ntaps);
        interpolate_periodic(frame, FRAME_CHIPS, coef, ntaps, waveform, ratio, 1);
        return;
    }
    // Above 20 samples per chip: the link filter at 16 samples per chip, then a raised cosine at four
    // times the chip rate up to the full ratio; keeps both filters short.
    const int32_t ntaps = build_filter(coef, buffers.scratch_a.data(), buffers.scratch_b.data(), 16);
    reverse_taps(coef, ntaps);
    interpolate_periodic(frame, FRAME_CHIPS, coef, ntaps, waveform, 16, 1);
    std::memcpy(frame, waveform, sizeof(IqSample) * kFrameBufferSamples);
    const int32_t sps = ratio / 4;
    const int32_t second_taps = 64 * sps + 1;
    design_raised_cosine(coef, 0.2, 0.0, 1.0, sps, second_taps);
    interpolate_periodic(frame, kFrameBufferSamples, coef, second_taps, waveform, ratio / 16, 1);
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
    interpolate_frame(buffers, waveform, settings.oversampling, build_filter);
    apply_offset(waveform, settings.oversampling * FRAME_CHIPS, settings);
}

} // namespace kestra
