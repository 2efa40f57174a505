#include "run/run_settings.h"

#include <algorithm>

namespace varnika {

RunSettings run_settings(const MainForm& form) {
    const SettingsModel& model = form.model;
    RunSettings settings;
    settings.link = model.link_flag == 0 ? uplink_item : downlink_item;
    settings.sample_rate_hz = model.sampling_rate(settings.link);
    if (settings.forward()) {
        settings.downlink = collect_dl_channels(model, form.downlink_general, form.downlink_channels);
        const DlParams& params = settings.downlink.params;
        settings.oversampling = params.oversampling;
        settings.offset_mode = params.offset_mode;
        settings.freq_error_hz = params.freq_error_hz;
        settings.if_freq_hz = params.if_freq_hz;
        settings.iq_inverse = params.iq_inverse;
        return settings;
    }
    const UplinkPanel& uplink = form.uplink;
    settings.radio_configuration = model.UL_CH_flag;
    settings.oversampling = uplink.oversampling();
    settings.offset_mode = model.ul_df_flag;
    settings.freq_error_hz = uplink.offset.freqerr.number();
    settings.if_freq_hz = uplink.offset.ifconv.number();
    switch (settings.radio_configuration) {
    case 1:
        uplink.fill(settings.rc34);
        settings.iq_inverse = settings.rc34.iq_inverse;
        break;
    case 2:
        uplink.fill(settings.rc7);
        settings.iq_inverse = settings.rc7.iq_inverse;
        break;
    default:
        settings.iq_inverse = std::max(0, uplink.UL_Filter_IQinverse_Combo.selected());
        break;
    }
    return settings;
}

} // namespace varnika
