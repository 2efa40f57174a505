// "Adjust Total Power" on both link pages: shifts the powers of every channel that takes part in the
// waveform by one common number of decibels, so that their linear sum becomes 0 dB. Relative levels stay.
#pragma once

#include "downlink/downlink_channel_page.h"
#include "form/button.h"
#include "form/pair.h"
#include "form/platform.h"
#include "form/text_field.h"
#include "settings/settings_model.h"
#include "uplink/uplink_panel.h"

#include <vector>

namespace varnika {

// The common rule over power fields holding dB values: the sum S of 10^(P/10) over the fields, the shift
// A = 10 log10(1/S) with the program's logarithm, and every field rewritten as P + A with two decimals,
// kept within the power field's limits (-100.00 .. 100.00) as reading a settings file keeps it. When the
// logarithm is refused (a sum that overflows), every field stays as it was.
void adjust_to_unit_total(const std::vector<form::TextField*>& fields, form::Platform& platform);

class TotalPowerAdjustment {
public:
    TotalPowerAdjustment(SettingsModel& model, form::Platform& platform, UplinkPanel& uplink,
                         DownlinkChannelPage& downlink);
    TotalPowerAdjustment(const TotalPowerAdjustment&) = delete;
    TotalPowerAdjustment& operator=(const TotalPowerAdjustment&) = delete;

    // Item 0 on the uplink page, item 1 on the downlink page.
    form::Pair<form::Button> Adjust_Total_Power_Button{"Adjust_Total_Power_Button", "Adjust Total Power"};

    void adjust_total_power(int button_index);
    // The power fields the button adjusts, in the order they are summed and written. Downlink: the
    // pilot row, then every shown row without a conflict mark. Uplink: the pilot and the channels whose
    // Walsh choice is not "OFF" of the radio configuration chosen; none for RC1/RC2.
    std::vector<form::TextField*> included_fields(int button_index);

private:
    // The uplink button does something only with a radio configuration that has channel gains.
    void enable_uplink_button();

    SettingsModel& model_;
    form::Platform& platform_;
    UplinkPanel& uplink_;
    DownlinkChannelPage& downlink_;
    form::Connection configuration_watch_;
};

} // namespace varnika
