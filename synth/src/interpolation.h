// Periodic interpolation kernels: the plain loop that defines the result, and the polyphase
// form the frame tail runs. Both give bit-identical output.
#pragma once

#include "kestra/kestra.h"

#include <cstdint>

namespace kestra {

// Visits, for every output sample, the taps that meet a non-zero input sample in increasing tap order.
void interpolate_periodic_plain(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                                IqSample* out, int32_t L, int32_t M);

// Polyphase form for M = 1: each phase's taps contiguous, vectorised across consecutive outputs of one
// phase and split over threads. Falls back to the plain loop when it cannot get its working memory.
void interpolate_periodic_polyphase(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                                    IqSample* out, int32_t L);

} // namespace kestra
