// Start-up: fills the window from the settings files, or from the defaults where a file is missing, in a
// fixed order in which every selection runs its change rules as a user's would.
#pragma once

#include "window/main_form.h"

#include <functional>

namespace varnika {

// The steps that the settings files and the downlink channel table contribute. A read step left empty
// reads its file from the form's settings folder (with no folder, the file counts as missing and the
// defaults apply); any other step left empty runs the window model's own operation.
struct StartupSteps {
    // Reads system_def.ini into the settings model; true when it was read.
    std::function<bool(MainForm&)> read_system_settings;
    // Puts the tester address of the settings model into the network fields and resolves it; left empty,
    // the network page does it (TesterNetwork::apply_settings).
    std::function<void(MainForm&)> apply_network_settings;
    // Reads uplink_def.ini and applies it to the uplink page; true when it was read.
    std::function<bool(MainForm&)> read_uplink_settings;
    // Reads downlink_def.ini and applies it to the downlink pages; true when it was read.
    std::function<bool(MainForm&)> read_downlink_settings;
    // Allocates the generation buffers; left empty, the settings model does
    // (SettingsModel::allocate_buffers).
    std::function<void(MainForm&)> allocate_buffers;
    // The downlink channel steps; left empty, the channel page does them: creates its rows, applies the
    // channel defaults, presses the pilot's status button once, and counts "Total No".
    std::function<void(MainForm&)> build_downlink_table;
    std::function<void(MainForm&)> apply_downlink_channel_defaults;
    std::function<void(MainForm&)> switch_on_pilot;
    std::function<void(MainForm&)> update_downlink_totals;
};

// Shows what the settings model holds of system_def.ini: the link, both tab pages and, through
// `apply_network_settings` (left empty: the network page's own), the tester address.
void apply_system_settings(MainForm& form, const std::function<void(MainForm&)>& apply_network_settings = {});

inline constexpr const char* settings_notice_title = "Settings Files";

// Ends by showing the settings notice (settings_notice) as a message when there is one.
void start_up(MainForm& form, const StartupSteps& steps = {});

} // namespace varnika
