// The sampling-rate and data-size read-outs beside the buttons. Both links share them: they show the link
// whose refresh ran last.
#pragma once

#include "form/element.h"
#include "settings/settings_model.h"

namespace varnika {

class Readouts {
public:
    explicit Readouts(SettingsModel& model) : model_(model) {}

    form::Label SamplingRate_Caption{"SamplingRate_Caption", "Sampling Rate :"};
    form::Label SamplingRate_Label{"SamplingRate_Label"};
    form::Label DataSize_Caption{"DataSize_Caption", "Data Size :"};
    form::Label DataSize_Label{"DataSize_Label"};

    // Stores the link's sampling rate and data size for `ratio` and shows them: "24.5760MHz",
    // "655,360Points".
    void show(int link, int ratio);

private:
    SettingsModel& model_;
};

} // namespace varnika
