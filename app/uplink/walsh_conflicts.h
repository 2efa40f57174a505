// The reverse-link Walsh-conflict rules. A change of a Walsh, repetition or modulation choice that would
// make two channels' codes overlap is undone: the channel just chosen falls back to "OFF" (or the
// repetition to "2"), and the repetition and PDCH Walsh lists are rebuilt to what the new code allows.
#pragma once

#include "uplink/uplink_channels.h"

namespace varnika {

// Attaches the rules to the lists of each group.
void install_walsh_rules(Rc34Group& group);
void install_walsh_rules(Rc7Group& group);

// SCH1 repetition list for the SCH1 Walsh choice: six entries, or five ("1" .. "16") with "W4(2)". The
// position selected before is kept, or the last entry when the shorter list lacks it.
void rebuild_sch1_repetition(const form::ChoiceList& sch1_walsh, form::ChoiceList& repetition);
// SCH2 repetition list: five entries, or four ("1" .. "8") with "W8(6)".
void rebuild_sch2_repetition(const form::ChoiceList& sch2_walsh, form::ChoiceList& repetition);

} // namespace varnika
