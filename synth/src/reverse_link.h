// Reverse-link radio configurations 3/4 and 7: the pilot and the Walsh-covered code channels summed
// at chip rate on the I and Q branches, before the frame tail spreads and filters them.
#pragma once

#include "frame_tail.h"
#include "kestra/kestra.h"
#include "spreading.h"

#include <array>
#include <cstddef>
#include <span>

namespace kestra {

// Bits one reverse-link spreader draws at most: 8-PSK (3 bits) on two-chip symbols.
inline constexpr std::size_t kReverseLinkSpreadBits = 3 * FRAME_CHIPS / 2;

// The RC3/RC4 export's work area: every scratch buffer of the call, carved in this order.
struct Rc34Work {
    std::span<double> walsh; // kMaxWalshLength
    std::span<double> sum_i; // FRAME_CHIPS
    std::span<double> sum_q; // FRAME_CHIPS
    FrameBuffers tail;
    std::array<SpreadWorkspace, 4> spread; // one per channel: DCCH, SCH2, FCH, SCH1
    std::size_t bytes = 0;                 // work-area bytes the layout occupies

    explicit Rc34Work(void* work);
};

// The RC7 export's work area; one spreading workspace serves every channel.
struct Rc7Work {
    std::span<double> walsh; // kMaxWalshLength
    std::span<double> sum_i; // FRAME_CHIPS
    std::span<double> sum_q; // FRAME_CHIPS
    FrameBuffers tail;
    SpreadWorkspace spread;
    std::size_t bytes = 0;

    explicit Rc7Work(void* work);
};

// Fills work.sum_i with the pilot (1.0 on every chip), clears work.sum_q and adds every channel that
// is on, in the order of the air interface's channel table. A channel whose Walsh length falls
// outside 1..256 (repetition factor out of range) adds nothing.
void build_rc34_chip_sums(const Rc34Params& params, Rc34Work& work);
void build_rc7_chip_sums(const Rc7Params& params, Rc7Work& work);

} // namespace kestra
