// Reverse link, radio configurations 1 and 2: the offset-QPSK short-PN pair alone.
#include "frame_tail.h"
#include "pn_tables.h"
#include "work_area.h"

#include <algorithm>
#include <array>

namespace kestra {
namespace {

// Delays the Q rail of the whole periodic waveform by h samples: Q'[i] = Q[(i - h) mod n].
void delay_q(IqSample* waveform, int32_t n, int32_t h) {
    constexpr int32_t kMaxDelay = 40; // half a chip at the highest ratio
    h = std::clamp(h, 0, std::min(n, kMaxDelay));
    std::array<double, kMaxDelay> held{};
    for (int32_t k = 0; k < h; ++k) {
        held[static_cast<size_t>(k)] = waveform[n - h + k].q;
    }
    for (int32_t k = n - 1; k >= h; --k) {
        waveform[k].q = waveform[k - h].q;
    }
    for (int32_t k = 0; k < h; ++k) {
        waveform[k].q = held[static_cast<size_t>(k)];
    }
}

int32_t make_rc12(IqSample* waveform, IqSample* chip_copy, void* work, int32_t oversampling,
                  int32_t iq_inverse, int32_t offset_mode, double freq_error_hz, double if_freq_hz) {
    WorkArea area(work);
    const FrameBuffers buffers = take_frame_buffers(area);

    const auto pn_i = pn_i_table();
    const auto pn_q = pn_q_table();
    for (int32_t k = 0; k < FRAME_CHIPS; ++k) {
        buffers.frame[static_cast<size_t>(k)] = {pn_i[static_cast<size_t>(k)], pn_q[static_cast<size_t>(k)]};
    }
    // The chip-rate reference is the PN pair itself: no delay, no exchange.
    normalize_peak(chip_copy, buffers.frame.data(), FRAME_CHIPS);
    interpolate_frame(buffers, waveform, oversampling, reverse_link_filter());

    const int32_t n = oversampling * FRAME_CHIPS;
    delay_q(waveform, n, oversampling / 2);
    if (iq_inverse != 0) {
        swap_iq(waveform, n);
    }
    FrameSettings settings;
    settings.oversampling = oversampling;
    settings.offset_mode = offset_mode;
    settings.freq_error_hz = freq_error_hz;
    settings.if_freq_hz = if_freq_hz;
    apply_offset(waveform, n, settings);
    return 0;
}

} // namespace
} // namespace kestra

extern "C" KESTRA_API int32_t KESTRA_UL_Actual_RC12(IqSample* waveform, IqSample* chip_copy, void* work,
                                                    int32_t oversampling, int32_t iq_inverse,
                                                    int32_t offset_mode, double freq_error_hz,
                                                    double if_freq_hz) {
    try {
        return kestra::make_rc12(waveform, chip_copy, work, oversampling, iq_inverse, offset_mode,
                                 freq_error_hz, if_freq_hz);
    } catch (...) {
        return 0;
    }
}
