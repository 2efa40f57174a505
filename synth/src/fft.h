// Discrete Fourier transforms over split real/imaginary arrays.
#pragma once

#include <cstdint>

namespace kestra {

// In-place radix-2 FFT, n a power of two from 4 to 4194304. direction 1: forward, unscaled;
// direction 0: inverse, scaled by 1/n. Returns 0, 1 for a bad length, 2 for a bad direction,
// -1 when its tables cannot be allocated. Keeps the tables of every length it was asked for; safe to
// call from several threads at once.
int32_t fft_pow2(int32_t n, double* re, double* im, int32_t direction);

// In-place DFT of any length 4..2097152 by the chirp-z identity over fft_pow2.
// Same directions and scaling; returns 0, 1 bad length, 2 bad direction, -1 no memory (data unchanged).
int32_t dft_any_length(int32_t n, double* re, double* im, int32_t direction);

} // namespace kestra
