// The pieces every polyphase kernel variant shares: where a block's outputs go, where a phase's input
// starts, and how phases are grouped over one set of input loads.
#pragma once

#include "interpolation.h"

#include <cstdint>

namespace kestra::polyphase {

// Writes count outputs of one phase, starting at its j-th, from the per-lane sums.
inline void store_block(const PolyphaseJob& job, const PolyphaseBranch& ph, int32_t j, int32_t count,
                        const double* sums_i, const double* sums_q) {
    const InterpolationOutput& o = job.out;
    int64_t k = ph.first_output + static_cast<int64_t>(j) * job.L;
    for (int32_t c = 0; c < count; ++c, k += job.L) {
        o.i[k * o.stride] = sums_i[c];
        int64_t kq = k + o.q_delay;
        if (kq >= o.n) {
            kq -= o.n;
        }
        o.q[kq * o.stride] = sums_q[c];
    }
}

// The input a phase's first tap meets for its j-th output; the rails carry the wrap past n_in.
inline int32_t phase_start(const PolyphaseJob& job, const PolyphaseBranch& ph, int32_t j) {
    const int32_t start = ph.base + j;
    return start >= job.n_in ? start - job.n_in : start;
}

// Every kernel computes whole blocks (the rails are padded for the last one) and stores only the
// outputs below j_end, so an output's value never depends on where a thread's share begins.
//
// The phases all start at the same input and have the same number of taps (interpolate_split pads
// them with zero taps), so the fused kernels run a group of phases over one set of input loads: each
// unaligned load of the input then feeds several multiply-adds.

// Splits L phases into as few groups of at most max_group as can be, of nearly equal size; calls
// run(first_phase, group_size) for each.
template <class Run> inline void for_each_group(int32_t L, int32_t max_group, Run run) {
    const int32_t groups = (L + max_group - 1) / max_group;
    int32_t p = 0;
    for (int32_t k = 0; k < groups; ++k) {
        const int32_t g = (L - p) / (groups - k);
        run(p, g);
        p += g;
    }
}

} // namespace kestra::polyphase
