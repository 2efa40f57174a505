#include "uplink/uplink_panel.h"

#include "form/number_text.h"
#include "uplink/walsh_conflicts.h"

namespace varnika {

UplinkPanel::UplinkPanel(SettingsModel& model, Readouts& readouts, SequenceMarkers& markers)
    : offset(model, uplink_item), model_(model), readouts_(readouts), markers_(markers) {
    UL_CH_Selection_Option.set_change_rule([this] { configuration_changed(); });
    UL_Filter_Over_Combo.set_change_rule([this] { oversampling_changed(); });
    UL_Default_Button.set_press_rule([this] { apply_default(); });
    install_walsh_rules(rc34);
    install_walsh_rules(rc7);
}

void UplinkPanel::configuration_changed() {
    const int configuration = UL_CH_Selection_Option.selected();
    UL_RC12_Frame.set_visible(configuration == 0);
    rc34.UL_RC34_Frame.set_visible(configuration == 1);
    rc7.UL_RC7_Frame.set_visible(configuration == 2);
    model_.UL_CH_flag = configuration;
}

int UplinkPanel::oversampling() const {
    return static_cast<int>(form::leading_number(UL_Filter_Over_Combo.text()));
}

void UplinkPanel::refresh_readouts() {
    readouts_.show(uplink_item, oversampling());
    offset.revalidate();
}

void UplinkPanel::oversampling_changed() {
    refresh_readouts();
    markers_.reset_periods(uplink_item);
}

void UplinkPanel::apply_default() {
    UL_Filter_Over_Combo.select(default_oversampling_item);
    UL_Filter_IQinverse_Combo.select(0);
    model_.ul_df_flag = 0;
    offset.option.select(0);
    offset.freqerr.set_text("0.00");
    offset.ifconv.set_text("0.00");
    markers_.marker(0).mode[uplink_item].select(0);
    markers_.marker(1).mode[uplink_item].select(0);
    if (model_.UL_CH_flag == 1) {
        rc34.apply_defaults();
    } else if (model_.UL_CH_flag == 2) {
        rc7.apply_defaults();
    }
}

void UplinkPanel::fill(Rc34Params& params) const {
    params.freq_error_hz = offset.freqerr.number();
    params.if_freq_hz = offset.ifconv.number();
    params.offset_mode = model_.ul_df_flag;
    params.oversampling = oversampling();
    params.iq_inverse = UL_Filter_IQinverse_Combo.selected() > 0 ? 1 : 0;
    rc34.fill(params);
}

void UplinkPanel::fill(Rc7Params& params) const {
    params.freq_error_hz = offset.freqerr.number();
    params.if_freq_hz = offset.ifconv.number();
    params.offset_mode = model_.ul_df_flag;
    params.oversampling = oversampling();
    params.iq_inverse = UL_Filter_IQinverse_Combo.selected() > 0 ? 1 : 0;
    rc7.fill(params);
}

} // namespace varnika
