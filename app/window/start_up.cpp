#include "window/start_up.h"

#include "window/downlink_file.h"
#include "window/settings_files.h"

namespace varnika {

namespace {

// Runs a read step, or reads the file from the settings folder where the step is left empty.
bool run(const std::function<bool(MainForm&)>& step, MainForm& form, bool (*read_file)(WindowPages&)) {
    return step ? step(form) : read_file(form);
}

// Runs `step`, or the model's own operation where the step is left empty.
template <class Own> void run_or(const std::function<void(MainForm&)>& step, MainForm& form, Own own) {
    if (step) {
        step(form);
    } else {
        own();
    }
}

void apply_system_settings(MainForm& form, const StartupSteps& steps) {
    apply_system_settings(form, steps.apply_network_settings);
}

} // namespace

void apply_system_settings(MainForm& form, const std::function<void(MainForm&)>& apply_network_settings) {
    SettingsModel& model = form.model;
    form.Link_Selection_Option.select(model.link_flag);
    form.UL_SSTab.select(model.Uplink_Tab);
    form.DL_SSTab.select(model.Downlink_Tab);
    if (apply_network_settings) {
        apply_network_settings(form);
    } else {
        form.network.apply_settings();
    }
}

void start_up(MainForm& form, const StartupSteps& steps) {
    SettingsModel& model = form.model;
    model.loading_flag = true;
    model.tester_mode_flag = 0;
    form.tester_mode.Tester_Mode_Combo.select(model.tester_mode_flag);

    run_or(steps.allocate_buffers, form, [&] { model.allocate_buffers(); });
    model.link_flag = 0;
    form.uplink.UL_Filter_Over_Combo.select(0);
    form.downlink_general.DL_Filter_Over_Combo.select(0);

    if (run(steps.read_system_settings, form, read_system_settings)) {
        apply_system_settings(form, steps);
    } else {
        // No system settings: the uplink on its first pages; the network fields stay empty.
        form.Link_Selection_Option.select(uplink_item);
        form.UL_SSTab.select(model.Uplink_Tab);
        form.DL_SSTab.select(model.Downlink_Tab);
    }

    form.walsh_positions.fill();

    if (!run(steps.read_uplink_settings, form, read_uplink_settings)) {
        apply_uplink_defaults(form);
    }

    DownlinkChannelPage& channels = form.downlink_channels;
    run_or(steps.build_downlink_table, form, [&] { channels.build_table(); });
    if (!run(steps.read_downlink_settings, form, load_downlink_settings)) {
        form.downlink_general.apply_default();
        run_or(steps.apply_downlink_channel_defaults, form, [&] { channels.apply_channel_defaults(); });
    }
    run_or(steps.switch_on_pilot, form, [&] { channels.DL_CH_Stat_Command(F_PICH).press(); });

    form.refresh_chosen_link_readouts();
    model.loading_flag = false;
    run_or(steps.update_downlink_totals, form, [&] { channels.update_total_count(); });

    // Once, in one message: the settings files or lines that were set aside.
    if (const std::string notice = settings_notice(form); !notice.empty()) {
        form.platform.show_message(notice, settings_notice_title, form::MessageIcon::Exclamation,
                                   form::MessageButtons::Ok);
    }
}

} // namespace varnika
