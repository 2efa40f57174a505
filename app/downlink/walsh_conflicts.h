// Walsh-code clashes between forward-link channel rows. Two codes clash when they are not orthogonal: the
// same code, or a longer code built from a shorter one. The panel never refuses a clash: it marks both rows
// and leaves them out of "Total No", the power adjustment and the waveform. The marking itself is done by
// DownlinkChannelPage::check_row_code and clear_stale_warnings (walsh_conflicts.cpp).
#pragma once

#include "downlink/walsh_position_table.h"

namespace varnika {

// Whether the code of length `length_a`, number `number_a` clashes with code (`length_b`, `number_b`).
// Lengths above 128 count as 128. In the bit-reversed position tables the codes of length L built from the
// code at position p of a shorter length S fill positions (L / S) x p onwards; a number missing from the
// shorter table stands at position 0, and a longer number missing from its table clashes with nothing.
bool codes_conflict(const WalshPositionTable& positions, int length_a, int number_a, int length_b,
                    int number_b);

} // namespace varnika
