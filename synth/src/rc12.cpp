// Reverse link, radio configurations 1 and 2: the offset-QPSK short-PN pair alone.
#include "frame_tail.h"
#include "pn_tables.h"
#include "work_area.h"

namespace kestra {
namespace {

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
    const int32_t n = oversampling * FRAME_CHIPS;
    // The offset-QPSK half-chip delay of Q (cyclic over the frame) and the I/Q exchange are where the
    // interpolator writes its outputs.
    WaveformLayout layout;
    layout.q_delay = oversampling / 2;
    layout.swap_iq = iq_inverse != 0;
    interpolate_frame(buffers, {waveform, static_cast<size_t>(n)}, oversampling, reverse_link_filter(),
                      layout);

    FrameSettings settings;
    settings.oversampling = oversampling;
    settings.offset_mode = offset_mode;
    settings.freq_error_hz = freq_error_hz;
    settings.if_freq_hz = if_freq_hz;
    apply_offset(waveform, n, settings);
    return KESTRA_OK;
}

} // namespace
} // namespace kestra

extern "C" KESTRA_API int32_t KESTRA_UL_Actual_RC12(IqSample* waveform, IqSample* chip_copy, void* work,
                                                    int32_t oversampling, int32_t iq_inverse,
                                                    int32_t offset_mode, double freq_error_hz,
                                                    double if_freq_hz) {
    if (waveform == nullptr || chip_copy == nullptr || work == nullptr) {
        return KESTRA_ERROR_NULL_POINTER;
    }
    if (!kestra::interpolable_ratio(oversampling)) {
        return KESTRA_ERROR_BAD_ARGUMENT;
    }
    try {
        return kestra::make_rc12(waveform, chip_copy, work, oversampling, iq_inverse, offset_mode,
                                 freq_error_hz, if_freq_hz);
    } catch (...) {
        // Nothing may cross the library boundary; the synthesis throws only when it cannot get memory.
        return KESTRA_ERROR_NO_MEMORY;
    }
}
