// The x86-64 variants of the polyphase kernel and the processor checks that select them.
#pragma once

#if defined(__x86_64__)

#include "interpolation.h"

namespace kestra {

bool has_avx512();
bool has_avx2_fma();
void run_avx512(const PolyphaseJob& job, int32_t j_begin, int32_t j_end);
void run_avx2_fma(const PolyphaseJob& job, int32_t j_begin, int32_t j_end);

} // namespace kestra

#endif
