#include "downlink/downlink_general_page.h"

#include "form/number_text.h"

namespace varnika {

DownlinkGeneralPage::DownlinkGeneralPage(SettingsModel& model, Readouts& readouts, SequenceMarkers& markers)
    : offset(model, downlink_item), model_(model), readouts_(readouts), markers_(markers) {
    DL_Filter_Over_Combo.set_change_rule([this] { oversampling_changed(); });
    DL_GN_Default_Button.set_press_rule([this] { apply_default(); });
}

int DownlinkGeneralPage::oversampling() const {
    return static_cast<int>(form::leading_number(DL_Filter_Over_Combo.text()));
}

void DownlinkGeneralPage::refresh_readouts() {
    readouts_.show(downlink_item, oversampling());
}

void DownlinkGeneralPage::oversampling_changed() {
    refresh_readouts();
    markers_.reset_periods(downlink_item);
}

void DownlinkGeneralPage::apply_default() {
    markers_.marker(0).mode[downlink_item].select(0);
    markers_.marker(1).mode[downlink_item].select(0);
    model_.dl_df_flag = 0;
    offset.option.select(0);
    offset.freqerr.set_text("0.00");
    offset.ifconv.set_text("0.00");
    DL_Filter_Equa_Combo.select(0);
    DL_Filter_Over_Combo.select(default_oversampling_item);
    DL_Filter_IQinverse_Combo.select(0);
}

} // namespace varnika
