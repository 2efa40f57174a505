#include "window/total_power.h"

#include "form/number_text.h"
#include "link_rules/base10_log.h"
#include "link_rules/power_field.h"

#include <algorithm>
#include <cmath>

namespace varnika {

namespace {

template <class Channels> void add_channels_on(std::vector<form::TextField*>& fields, Channels channels) {
    for (UplinkChannel* channel : channels) {
        if (channel->on()) {
            fields.push_back(&channel->gain);
        }
    }
}

} // namespace

void adjust_to_unit_total(const std::vector<form::TextField*>& fields, form::Platform& platform) {
    if (fields.empty()) {
        return;
    }
    double total = 0.0;
    for (const form::TextField* field : fields) {
        total += std::pow(10.0, field->number() / 10.0);
    }
    const std::optional<double> log_of_inverse = checked_log10(1.0 / total, platform);
    if (!log_of_inverse) {
        return; // every power stays as it was
    }
    const double shift_db = 10.0 * *log_of_inverse;
    for (form::TextField* field : fields) {
        // Within the field's own limits, so that the value written reads back the same after a save and a
        // new start; a power beyond them was never a channel the window could hold.
        const double power_db = std::clamp(field->number() + shift_db, -power_limit_db, power_limit_db);
        field->set_text(form::format_fixed(power_db, 2));
    }
}

TotalPowerAdjustment::TotalPowerAdjustment(SettingsModel& model, form::Platform& platform,
                                           UplinkPanel& uplink, DownlinkChannelPage& downlink)
    : model_(model), platform_(platform), uplink_(uplink), downlink_(downlink) {
    for (int item : {uplink_item, downlink_item}) {
        Adjust_Total_Power_Button[item].set_press_rule([this, item] { adjust_total_power(item); });
    }
    configuration_watch_ = uplink_.UL_CH_Selection_Option.on_change([this] { enable_uplink_button(); });
    enable_uplink_button();
}

void TotalPowerAdjustment::enable_uplink_button() {
    // RC1/RC2 is the short-PN pair alone: no channel power to adjust.
    const int configuration = uplink_.UL_CH_Selection_Option.selected();
    Adjust_Total_Power_Button[uplink_item].set_enabled(configuration == 1 || configuration == 2);
}

std::vector<form::TextField*> TotalPowerAdjustment::included_fields(int button_index) {
    std::vector<form::TextField*> fields;
    if (button_index == downlink_item) {
        if (!downlink_.built()) {
            return fields;
        }
        fields.push_back(&downlink_.row(0).DL_CH_POWER_Text);
        for (int r = 1; r < dl_row_count; ++r) {
            DlRow& row = downlink_.row(r);
            if (row.shown() && !row.marked()) {
                fields.push_back(&row.DL_CH_POWER_Text);
            }
        }
    } else if (model_.UL_CH_flag == 1) {
        add_channels_on(fields, uplink_.rc34.channels());
    } else if (model_.UL_CH_flag == 2) {
        add_channels_on(fields, uplink_.rc7.channels());
    }
    return fields;
}

void TotalPowerAdjustment::adjust_total_power(int button_index) {
    adjust_to_unit_total(included_fields(button_index), platform_);
}

} // namespace varnika
