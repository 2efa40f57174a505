// Baseband pulse-shaping filters and the numeric helpers behind them.
#pragma once

#include <cstdint>
#include <span>

namespace kestra {

// Length of the coefficient buffer and of each filter scratch buffer, in doubles.
inline constexpr int kFilterBufferLength = 4096;

// Raised-cosine impulse response of ntaps taps (odd) at sps samples per symbol, delayed by
// offset symbols, scaled so the taps sum to gain_sum. Returns 0, -1 for sps = 0, -2 for even ntaps.
int32_t design_raised_cosine(double* coef, double rolloff, double offset, double gain_sum, int32_t sps,
                             int32_t ntaps);

// Full linear convolution into out (n1 + n2 - 1 values). Returns 0, 1 for n1 <= 0, 2 for n2 <= 0.
int32_t convolve_linear(int32_t n1, const double* x, int32_t n2, const double* h, double* out);

// Reverses n doubles in place.
void reverse_taps(double* coef, int32_t n);

// Reverse-link filter for ratio R into coef (4096 doubles); ntaps = 128*floor(R/4) + 1.
// scratch: at least 127*K + 701 doubles.
void build_ul_filter(double* coef, int32_t* ntaps_out, double* scratch, int32_t ratio);

// Forward-link filter; equalize = 1 passes the base filter through the phase equaliser first,
// any other value gives exactly the reverse-link filter. scratch_re, scratch_im: 4096 doubles each.
void build_dl_filter(double* coef, int32_t* ntaps_out, double* scratch_re, double* scratch_im, int32_t ratio,
                     int32_t equalize);

} // namespace kestra
