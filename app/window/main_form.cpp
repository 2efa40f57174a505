#include "window/main_form.h"

#include "window/settings_files.h"

namespace varnika {

MainForm::MainForm(form::Platform& host)
    : WindowPages(host),
      exit_flow(
          model, platform,
          {[this](SettingsFile file, std::string* cause) { return write_settings_file(*this, file, cause); },
           [this](SettingsFile file) { return settings_file_path(*this, file); }}) {
    Link_Selection_Option.set_change_rule([this] { link_changed(); });
    UL_SSTab.set_change_rule([this] { uplink_tab_changed(); });
    DL_SSTab.set_change_rule([this] { downlink_tab_changed(); });
    Exit_Button.set_press_rule([this] { platform.close_main_window(); });
}

void MainForm::link_changed() {
    const int link = Link_Selection_Option.selected();
    UL_SSTab.set_visible(link == uplink_item);
    DL_SSTab.set_visible(link == downlink_item);
    if (link == uplink_item) {
        uplink.refresh_readouts();
    } else {
        downlink_general.refresh_readouts();
    }
    model.link_flag = link;
}

void MainForm::uplink_tab_changed() {
    model.Uplink_Tab = UL_SSTab.selected();
    for (std::size_t page = 0; page < UL_Frame.size(); ++page) {
        UL_Frame[page].set_visible(static_cast<int>(page) == model.Uplink_Tab);
    }
}

void MainForm::downlink_tab_changed() {
    model.Downlink_Tab = DL_SSTab.selected();
    for (std::size_t page = 0; page < DL_Frame.size(); ++page) {
        DL_Frame[page].set_visible(static_cast<int>(page) == model.Downlink_Tab);
    }
}

void MainForm::refresh_chosen_link_readouts() {
    if (model.link_flag != 0) {
        downlink_general.refresh_readouts();
    } else {
        uplink.refresh_readouts();
    }
}

} // namespace varnika
