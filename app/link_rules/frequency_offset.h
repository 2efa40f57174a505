// The "Deterioration Factor" frame of one link: no offset, a frequency error, or an IF conversion, and the
// two values in hertz. Both values are kept whatever the choice; the choice only says which one the
// waveform uses. Values stay within plus or minus the link's sampling rate.
#pragma once

#include "form/element.h"
#include "form/option_group.h"
#include "form/text_field.h"
#include "settings/settings_model.h"

#include <array>
#include <string>

namespace varnika {

// The rate at which the waveform's frame repeats: 32768 chips at 1.2288 Mchip/s, 37.5 Hz. An offset that is
// not a whole number of cycles per frame leaves the carrier's phase stepping where the frame repeats.
inline constexpr double frame_repeat_hz = chip_rate_hz / frame_chips;

// "not a multiple of 37.5 Hz: phase steps by 240 degrees where the frame repeats" for an offset of
// `offset_hz`; empty for a whole number of cycles per frame.
std::string phase_step_note(double offset_hz);

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
    // The phase-step note of the value the choice uses; empty when it uses none or the value is a whole
    // number of cycles per frame. The waveform is made as set either way.
    form::Label note;

    // Applies both value fields again, as on leaving them: their limit follows the sampling rate.
    void revalidate();

private:
    void apply_choice();
    void apply_value(form::TextField& field) const;
    void update_note();

    SettingsModel& model_;
    int link_;
    std::array<form::Connection, 2> note_watch_;
};

} // namespace varnika
