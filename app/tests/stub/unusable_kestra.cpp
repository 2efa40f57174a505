// A synthesis library that computes nothing usable, for the runs' handling of an unusable waveform: the
// RC1/RC2 export fills the waveform with zeros; with a negative frequency error it gives an ordinary
// signal spoilt by values that are not finite: -1 NaN throughout, -2 one NaN I sample, -3 one infinite
// Q sample, -4 one NaN Q sample beside an infinite I sample.
#include <kestra/kestra.h>
#include <varnika_version.h>

#include <cmath>
#include <limits>

extern "C" KESTRA_API int32_t KESTRA_UL_Actual_RC12(IqSample* waveform, IqSample*, void*,
                                                    int32_t oversampling, int32_t, int32_t,
                                                    double freq_error_hz, double) {
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    constexpr double inf = std::numeric_limits<double>::infinity();
    const int32_t count = oversampling * FRAME_CHIPS;
    for (int32_t k = 0; k < count; ++k) {
        const double t = 0.01 * k;
        waveform[k] = freq_error_hz == 0    ? IqSample{0.0, 0.0}
                      : freq_error_hz == -1 ? IqSample{nan, nan}
                                            : IqSample{std::cos(t) + 0.3 * std::cos(7 * t), std::sin(3 * t)};
    }
    const int32_t middle = count / 2;
    if (freq_error_hz == -2) {
        waveform[middle].i = nan;
    } else if (freq_error_hz == -3) {
        waveform[middle].q = -inf;
    } else if (freq_error_hz == -4) {
        waveform[middle] = {inf, nan};
    }
    return 0;
}

// The program's own version, so that the library is bound and its waveform reaches the run.
extern "C" KESTRA_API int32_t KESTRA_Version(void) {
    return VARNIKA_VERSION_NUMBER;
}
