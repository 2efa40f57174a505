// What a generation run hands the synthesis library, taken from the window's models in one go: the link
// and radio configuration, the parameter records and channel list of that link, the sampling rate, the
// oversampling ratio, the frequency offset and the I/Q inversion. A run keeps the record of the waveform it
// wrote, so that the file can be measured later against exactly these settings, whatever the window shows
// by then.
#pragma once

#include "downlink/dl_channel_list.h"
#include "window/main_form.h"

#include <kestra/kestra.h>

#include <cstdint>
#include <filesystem>

namespace varnika {

struct RunSettings {
    int link = downlink_item; // uplink_item or downlink_item
    // The reverse link's radio configuration: 0 RC1/RC2, 1 RC3/RC4, 2 RC7.
    int radio_configuration = 0;
    double sample_rate_hz = 0.0;
    std::int32_t oversampling = 0;
    std::int32_t offset_mode = 0; // 1 frequency error, 2 IF conversion, other: none
    double freq_error_hz = 0.0;
    double if_freq_hz = 0.0;
    std::int32_t iq_inverse = 0;
    // Forward link: the records of the channels in the waveform, named as the table showed them, and the
    // rows left out for a Walsh-code clash.
    DlChannelList downlink;
    Rc34Params rc34{}; // reverse link, RC3/RC4
    Rc7Params rc7{};   // reverse link, RC7

    bool forward() const { return link == downlink_item; }
    // The offset the waveform's carrier was made with: the IF for a real signal, else the frequency error.
    double offset_hz() const { return offset_mode == 2 ? if_freq_hz : freq_error_hz; }
};

// The settings a run of the chosen link would hand the synthesis now.
RunSettings run_settings(const MainForm& form);

// The waveform file a run wrote, with the settings that made it. `file` is the file to read it back from:
// the AWG or text file, or a recording's BASE.sigmf-meta.
struct MadeWaveform {
    RunSettings settings;
    std::filesystem::path file;
};

} // namespace varnika
