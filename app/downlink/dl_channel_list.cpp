#include "downlink/dl_channel_list.h"

#include <algorithm>

namespace varnika {

namespace {

// The record's option: F-FCH 0 BPSK, 1 QPSK; F-PDCH 1 QPSK, 2 8PSK, 3 16QAM; 0 for the other types.
std::int32_t option_of(const DlRow& row) {
    const int chosen = row.DL_CH_MOD_Combo ? std::max(row.DL_CH_MOD_Combo->selected(), 0) : 0;
    switch (row.type()) {
    case F_FCH:
        return chosen;
    case F_PDCH:
        return chosen + 1;
    default:
        return 0;
    }
}

} // namespace

DlChannelList collect_dl_channels(const SettingsModel& model, const DownlinkGeneralPage& general,
                                  const DownlinkChannelPage& channels) {
    DlChannelList list;
    DlParams& params = list.params;
    params.offset_mode = model.dl_df_flag;
    params.freq_error_hz = general.offset.freqerr.number();
    params.if_freq_hz = general.offset.ifconv.number();
    params.phase_equalizer = general.DL_Filter_Equa_Combo.selected() > 0 ? 1 : 0;
    params.iq_inverse = general.DL_Filter_IQinverse_Combo.selected() > 0 ? 1 : 0;
    params.oversampling = general.oversampling();
    if (!channels.built()) {
        return list;
    }

    const double pilot_db = channels.row(0).DL_CH_POWER_Text.number();
    channels.for_each_instance_row([&](int r) {
        const DlRow& row = channels.row(r);
        if (row.marked()) {
            // A clashing code is left out of the waveform, and the run says so.
            list.left_out.push_back(channel_label(channels, r));
            return;
        }
        const WalshCode code = row.code();
        const double power_db = row.DL_CH_POWER_Text.number();
        DlChannel channel{};
        channel.type = row.type();
        channel.walsh_length = code.length;
        channel.walsh_index = code.number;
        channel.power_db = row.type() == F_PICH ? power_db : power_db - pilot_db;
        channel.option = option_of(row);
        list.channels.push_back(channel);
        list.rows.push_back(r);
        list.names.push_back(channel_label(channels, r));
    });
    params.channel_count = static_cast<std::int32_t>(list.channels.size());
    return list;
}

} // namespace varnika
