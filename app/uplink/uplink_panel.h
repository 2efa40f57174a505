// The uplink page "Channel Settings (Uplink)": the radio configuration and its channel group, the filter
// lists, the uplink markers and frequency offset, and "Set Default". At generation time the visible
// group's fields become the reverse-link parameter record.
#pragma once

#include "form/button.h"
#include "form/choice_list.h"
#include "form/element.h"
#include "form/option_group.h"
#include "link_rules/frequency_offset.h"
#include "link_rules/sequence_markers.h"
#include "settings/readouts.h"
#include "settings/settings_model.h"
#include "uplink/uplink_channels.h"

namespace varnika {

class UplinkPanel {
public:
    UplinkPanel(SettingsModel& model, Readouts& readouts, SequenceMarkers& markers);
    UplinkPanel(const UplinkPanel&) = delete;
    UplinkPanel& operator=(const UplinkPanel&) = delete;

    // Radio configuration: item 0 "RC 1,2" and item 2 "RC 3,4,7"; item 1 (the RC3/RC4 group) has no
    // button but may be selected by the program.
    form::Frame channel_frame{"UL_CH_Frame", "Reverse-Link Channels"};
    form::OptionGroup UL_CH_Selection_Option{"UL_CH_Selection_Option", {"RC 1,2", "", "RC 3,4,7"}};
    form::Frame UL_RC12_Frame{"UL_RC12_Frame"};
    form::Label offset_qpsk{"UL_RC12_Label", "Offset QPSK"};
    Rc34Group rc34;
    Rc7Group rc7;

    form::Frame filter_frame{"UL_Filter_Frame", "Filter"};
    form::Label oversampling_caption{"UL_Filter_Over_Label", "Oversampling Ratio"};
    form::ChoiceList UL_Filter_Over_Combo{"UL_Filter_Over_Combo", oversampling_items};
    form::Label iq_inverse_caption{"UL_Filter_IQinverse_Label", "I/Q Inverse"};
    form::ChoiceList UL_Filter_IQinverse_Combo{"UL_Filter_IQinverse_Combo", {"OFF", "ON"}};

    FrequencyOffsetFrame offset;
    form::Button UL_Default_Button{"UL_Default_Button", "Set Default"};

    // The oversampling ratio shown in the list.
    int oversampling() const;
    // Shows the uplink sampling rate and data size, then applies the frequency fields again, whose limit
    // follows the sampling rate.
    void refresh_readouts();
    // "Set Default": filter, frequency offset, the uplink markers' modes, and the visible group's channels.
    void apply_default();

    // The full records for a reverse-link generation; channel gains relative to the group's pilot.
    void fill(Rc34Params& params) const;
    void fill(Rc7Params& params) const;

private:
    void configuration_changed();
    void oversampling_changed();

    SettingsModel& model_;
    Readouts& readouts_;
    SequenceMarkers& markers_;
};

} // namespace varnika
