// The code channels a run puts into the waveform, as a report or a recording names them: type, Walsh
// cover and power as the window shows it (downlink rows their own power, uplink gains relative to the
// pilot). Worked out from the same settings the run hands to the
// synthesis library, so what is named is what is in the samples.
#pragma once

#include "window/main_form.h"

#include <string>
#include <vector>

namespace varnika {

struct UsedChannel {
    std::string type;      // "F-FCH", "R-SCH1"
    std::string walsh;     // "W64(8)"; empty where the type has no Walsh cover of its own
    double power_db = 0.0; // as the window shows it
};

// The channels of `link` (uplink_item or downlink_item) as the form is set now.
std::vector<UsedChannel> used_channels(const MainForm& form, int link);

// What a user should know about a run that still succeeds: downlink rows left out for a Walsh clash.
std::vector<std::string> run_warnings(const MainForm& form, int link);

// "forward link, Test Model 1 ..., ratio 20" / "reverse link, RC 3,4,7, ratio 20": what a waveform is.
std::string waveform_description(const MainForm& form, int link);

} // namespace varnika
