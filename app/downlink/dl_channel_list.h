// The forward-link parameters as the synthesis library takes them: DlParams, one DlChannel per channel a
// generation includes, and the per-user F-ACKCH gains. Built from the downlink pages just before a
// forward-link generation.
#pragma once

#include "downlink/downlink_channel_page.h"
#include "downlink/downlink_general_page.h"
#include "settings/settings_model.h"

#include <kestra/kestra.h>

#include <array>
#include <string>
#include <vector>

namespace varnika {

// F-ACKCH users: 32 on I, then 32 on Q.
inline constexpr int ack_user_gain_count = 64;

struct DlChannelList {
    DlParams params{};
    std::vector<DlChannel> channels;
    // Each record's row in the table and its name as the table shows it (channel_label), "F-SCH 5".
    std::vector<int> rows;
    std::vector<std::string> names;
    // dB per F-ACKCH user; all 0 dB.
    std::array<double, ack_user_gain_count> ack_user_gains{};
    // The shown rows left out for a Walsh-code clash, named as the table shows them (channel_label).
    std::vector<std::string> left_out;
};

// One record per shown row without a Walsh-conflict mark, types in index order and instances in order.
// The pilot's record carries its absolute power, every other record its power relative to the pilot.
DlChannelList collect_dl_channels(const SettingsModel& model, const DownlinkGeneralPage& general,
                                  const DownlinkChannelPage& channels);

} // namespace varnika
