// The "Deterioration Factor" frame of one link: no offset, a frequency error, or an IF conversion, and the
// two values in hertz. Both values are kept whatever the choice; the choice only says which one the
// waveform uses. Values stay within plus or minus the link's sampling rate.
#pragma once

#include "form/element.h"
#include "form/option_group.h"
#include "form/text_field.h"
#include "settings/settings_model.h"

namespace varnika {

class FrequencyOffsetFrame {
public:
    // `link` is uplink_item ("UL_" elements, ul_df_flag) or downlink_item ("DL_" elements, dl_df_flag).
    FrequencyOffsetFrame(SettingsModel& model, int link);
    FrequencyOffsetFrame(const FrequencyOffsetFrame&) = delete;
    FrequencyOffsetFrame& operator=(const FrequencyOffsetFrame&) = delete;

    form::Frame frame;
    form::OptionGroup option; // UL_Freq_Ofs_Option: "None", "Freq error", "IF conversion"
    form::Label freqerr_caption;
    form::TextField freqerr; // UL_Freqerr_Text with UL_Freqerr_UpDown
    form::Label freqerr_unit;
    form::Label ifconv_caption;
    form::TextField ifconv; // UL_IFconv_Text with UL_IFconv_UpDown
    form::Label ifconv_unit;

    // Applies both value fields again, as on leaving them: their limit follows the sampling rate.
    void revalidate();

private:
    void apply_choice();
    void apply_value(form::TextField& field) const;

    SettingsModel& model_;
    int link_;
};

} // namespace varnika
