// A synthesis library that computes nothing usable, for the runs' handling of an unusable waveform: the
// RC1/RC2 export fills the waveform with zeros, or with NaN when the frequency error is negative.
#include <kestra/kestra.h>

#include <limits>

extern "C" KESTRA_API int32_t KESTRA_UL_Actual_RC12(IqSample* waveform, IqSample*, void*, int32_t oversampling,
                                                    int32_t, int32_t, double freq_error_hz, double) {
    const double value = freq_error_hz < 0 ? std::numeric_limits<double>::quiet_NaN() : 0.0;
    for (int32_t k = 0; k < oversampling * FRAME_CHIPS; ++k) {
        waveform[k] = {value, value};
    }
    return 0;
}
