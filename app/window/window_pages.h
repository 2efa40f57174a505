// What the three settings files read and write: the settings model and the pages of both links, with the
// folder the files are kept in and what start-up made of them. The main window model (main_form.h) adds
// the window's own frames, tab sets and buttons and the exit flow; the settings files need none of those.
#pragma once

#include "downlink/downlink_channel_page.h"
#include "downlink/downlink_general_page.h"
#include "downlink/walsh_position_table.h"
#include "form/platform.h"
#include "link_rules/sequence_markers.h"
#include "settings/readouts.h"
#include "settings/settings_lines.h"
#include "settings/settings_model.h"
#include "uplink/tester_mode.h"
#include "uplink/tester_network.h"
#include "uplink/uplink_panel.h"
#include "window/total_power.h"

#include <array>
#include <filesystem>

namespace varnika {

struct WindowPages {
    explicit WindowPages(form::Platform& host) : platform(host) {}
    WindowPages(const WindowPages&) = delete;
    WindowPages& operator=(const WindowPages&) = delete;

    form::Platform& platform;
    // The program's folder, where the settings files are kept. Empty (a window model without a program,
    // as in most tests): start-up finds no settings files and saving them fails.
    std::filesystem::path settings_folder;
    SettingsModel model;
    // What start-up made of system_def.ini, uplink_def.ini and downlink_def.ini, in that order.
    std::array<SettingsFileReport, 3> settings_reports;
    Readouts readouts{model};
    WalshPositionTable walsh_positions;
    SequenceMarkers markers{model};
    UplinkPanel uplink{model, readouts, markers};
    DownlinkGeneralPage downlink_general{model, readouts, markers};
    DownlinkChannelPage downlink_channels{model, walsh_positions, platform};
    TotalPowerAdjustment total_power{model, platform, uplink, downlink_channels};
    TesterMode tester_mode{model, platform, walsh_positions.table(WalshPositionTable::longest)};
    // "Common System Settings": page 1 of UL_SSTab and page 2 of DL_SSTab.
    TesterNetwork network{model};
};

} // namespace varnika
