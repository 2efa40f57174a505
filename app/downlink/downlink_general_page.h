// The downlink page "General Settings (Downlink)": the filter lists, the downlink markers and frequency
// offset, and the page's "Set Default". The channel table has its own page.
#pragma once

#include "form/button.h"
#include "form/choice_list.h"
#include "form/element.h"
#include "link_rules/frequency_offset.h"
#include "link_rules/sequence_markers.h"
#include "settings/readouts.h"
#include "settings/settings_model.h"

namespace varnika {

class DownlinkGeneralPage {
public:
    DownlinkGeneralPage(SettingsModel& model, Readouts& readouts, SequenceMarkers& markers);
    DownlinkGeneralPage(const DownlinkGeneralPage&) = delete;
    DownlinkGeneralPage& operator=(const DownlinkGeneralPage&) = delete;

    form::Frame filter_frame{"DL_Filter_Frame", "Filter"};
    form::Label oversampling_caption{"DL_Filter_Over_Label", "Oversampling Ratio"};
    form::ChoiceList DL_Filter_Over_Combo{"DL_Filter_Over_Combo", oversampling_items};
    form::Label iq_inverse_caption{"DL_Filter_IQinverse_Label", "I/Q Inverse"};
    form::ChoiceList DL_Filter_IQinverse_Combo{"DL_Filter_IQinverse_Combo", {"OFF", "ON"}};
    form::Label equalizer_caption{"DL_Filter_Equa_Label", "Phase Equalizing"};
    form::ChoiceList DL_Filter_Equa_Combo{"DL_Filter_Equa_Combo", {"OFF", "ON"}};

    FrequencyOffsetFrame offset;
    form::Button DL_GN_Default_Button{"DL_GN_Default_Button", "Set Default"};

    int oversampling() const;
    // Shows the downlink sampling rate and data size. Unlike the uplink, the frequency fields are not
    // applied again: they are clamped the next time they are left.
    void refresh_readouts();
    // The page's "Set Default"; the channel table is left alone.
    void apply_default();

private:
    void oversampling_changed();

    SettingsModel& model_;
    Readouts& readouts_;
    SequenceMarkers& markers_;
};

} // namespace varnika
