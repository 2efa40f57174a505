// The uplink page: power fields, radio configuration, defaults and the parameter records.
#include "uplink_test_support.h"

#include "link_rules/power_field.h"

namespace varnika {
namespace {

using testing::choose;

class UplinkPanelTest : public testing::StartedWindow {
protected:
    std::vector<form::TextField*> all_power_fields() {
        std::vector<form::TextField*> fields;
        for (UplinkChannel* channel : rc34.channels()) {
            fields.push_back(&channel->gain);
        }
        for (UplinkChannel* channel : rc7.channels()) {
            fields.push_back(&channel->gain);
        }
        return fields;
    }
};

TEST_F(UplinkPanelTest, EveryPowerFieldRepairsItsTextOnCommit) {
    const auto fields = all_power_fields();
    ASSERT_EQ(fields.size(), 17u);
    for (form::TextField* field : fields) {
        EXPECT_EQ(typed(*field, "12.347"), "12.35") << field->name();
        EXPECT_EQ(typed(*field, "150"), "100.00") << field->name();
        EXPECT_EQ(typed(*field, "-250"), "-100.00") << field->name();
        EXPECT_EQ(typed(*field, "abc"), "0.00") << field->name();
        EXPECT_EQ(typed(*field, ""), "0.00") << field->name();
        EXPECT_EQ(typed(*field, "7.5"), "7.50") << field->name();
    }
}

TEST_F(UplinkPanelTest, PowerKeysAndEnter) {
    form::TextField& field = rc7.PDCH.gain;
    for (char32_t key : std::u32string(U"0123456789-.\b")) {
        EXPECT_EQ(field.press_key(key), form::KeyOutcome::Accepted);
    }
    for (char32_t key : std::u32string(U" /+,aZe")) {
        EXPECT_EQ(field.press_key(key), form::KeyOutcome::Refused);
    }
    field.set_text("-3.456");
    EXPECT_EQ(field.press_key(form::TextField::enter_key), form::KeyOutcome::Handled);
    EXPECT_EQ(field.text(), "-3.46");
}

TEST_F(UplinkPanelTest, PowerSpinArrowsStepByAHundredthWithinTheLimits) {
    form::TextField& field = rc34.FCH.gain;
    field.set_text("0.00");
    field.spin(+1);
    EXPECT_EQ(field.text(), "0.01");
    field.spin(-1);
    field.spin(-1);
    EXPECT_EQ(field.text(), "-0.01");
    field.set_text("99.995");
    field.spin(+1);
    EXPECT_EQ(field.text(), "100.00");
    field.set_text("-100.00");
    field.spin(-1);
    EXPECT_EQ(field.text(), "-100.00");
    // Ten steps up from 1.00 land on 1.10 exactly: each step rewrites the two-decimal text.
    field.set_text("1.00");
    for (int k = 0; k < 10; ++k) {
        field.spin(+1);
    }
    EXPECT_EQ(field.text(), "1.10");
    EXPECT_EQ(form.uplink.rc34.FCH.gain.spin_object_name(), "UL_RC34_FCH_Gain_UpDown");
}

TEST_F(UplinkPanelTest, RadioConfigurationShowsOneGroup) {
    uplink.UL_CH_Selection_Option.select(2);
    EXPECT_EQ(form.model.UL_CH_flag, 2);
    EXPECT_FALSE(uplink.UL_RC12_Frame.visible());
    EXPECT_TRUE(rc7.UL_RC7_Frame.visible());
    EXPECT_FALSE(rc34.UL_RC34_Frame.visible());
    // The RC3/RC4 group has no button, but the program can choose it.
    uplink.UL_CH_Selection_Option.select(1);
    EXPECT_EQ(form.model.UL_CH_flag, 1);
    EXPECT_TRUE(rc34.UL_RC34_Frame.visible());
    EXPECT_FALSE(rc7.UL_RC7_Frame.visible());
    EXPECT_EQ(uplink.offset_qpsk.text(), "Offset QPSK");
}

TEST_F(UplinkPanelTest, SetDefaultResetsFilterOffsetMarkersAndTheVisibleGroupOnly) {
    uplink.UL_CH_Selection_Option.select(2);
    choose(uplink.UL_Filter_Over_Combo, "64");
    choose(uplink.UL_Filter_IQinverse_Combo, "ON");
    uplink.offset.option.select(2);
    typed(uplink.offset.ifconv, "1k");
    form.markers.marker(1).mode[uplink_item].select(2);
    form.markers.marker(1).mode[downlink_item].select(1);
    choose(rc7.FCH, "W16(4)");
    typed(rc7.FCH.gain, "3");
    choose(rc34.FCH, "W16(4)");
    typed(rc34.FCH.gain, "4");

    uplink.UL_Default_Button.press();

    EXPECT_EQ(uplink.UL_Filter_Over_Combo.text(), "20");
    EXPECT_EQ(form.readouts.SamplingRate_Label.text(), "24.5760MHz");
    EXPECT_EQ(uplink.UL_Filter_IQinverse_Combo.text(), "OFF");
    EXPECT_EQ(form.model.ul_df_flag, 0);
    EXPECT_FALSE(uplink.offset.ifconv.enabled());
    EXPECT_EQ(uplink.offset.ifconv.text(), "0.00");
    EXPECT_EQ(form.markers.marker(1).mode[uplink_item].text(), "OFF");
    EXPECT_EQ(form.markers.marker(1).mode[downlink_item].text(), "Positive");
    EXPECT_EQ(rc7.FCH.walsh.text(), "OFF");
    EXPECT_EQ(rc7.FCH.gain.text(), "0.00");
    EXPECT_EQ(rc34.FCH.walsh.text(), "W16(4)"); // not the visible group
    EXPECT_EQ(rc34.FCH.gain.text(), "4.00");
}

TEST_F(UplinkPanelTest, Rc34RecordCarriesGainsRelativeToThePilot) {
    uplink.UL_CH_Selection_Option.select(1);
    choose(uplink.UL_Filter_Over_Combo, "16");
    choose(uplink.UL_Filter_IQinverse_Combo, "ON");
    uplink.offset.option.select(1);
    typed(uplink.offset.freqerr, "-1.5k");
    typed(uplink.offset.ifconv, "250");
    typed(rc34.PICH.gain, "-3.00");
    typed(rc34.DCCH.gain, "1.50");
    typed(rc34.FCH.gain, "-7.25");
    typed(rc34.SCH1.gain, "0.00");
    typed(rc34.SCH2.gain, "-10.00");
    choose(rc34.DCCH, "W16(8)");
    choose(rc34.SCH1, "W4(2)");
    choose(rc34.SCH1_Repetition, "8");
    choose(rc34.SCH2, "W8(6)");
    choose(rc34.SCH2_Repetition, "4");

    Rc34Params params{};
    uplink.fill(params);
    EXPECT_DOUBLE_EQ(params.freq_error_hz, -1500.0);
    EXPECT_DOUBLE_EQ(params.if_freq_hz, 250.0);
    EXPECT_EQ(params.offset_mode, 1);
    EXPECT_EQ(params.oversampling, 16);
    EXPECT_EQ(params.iq_inverse, 1);
    EXPECT_DOUBLE_EQ(params.dcch_gain_db, 4.5);
    EXPECT_DOUBLE_EQ(params.fch_gain_db, -4.25);
    EXPECT_DOUBLE_EQ(params.sch1_gain_db, 3.0);
    EXPECT_DOUBLE_EQ(params.sch2_gain_db, -7.0);
    EXPECT_EQ(params.dcch_on, 1);
    EXPECT_EQ(params.fch_on, 0);
    EXPECT_EQ(params.sch1_on, 1);
    EXPECT_EQ(params.sch1_walsh_alt, 1);
    EXPECT_EQ(params.sch1_repetition, 8);
    EXPECT_EQ(params.sch2_on, 1);
    EXPECT_EQ(params.sch2_walsh_alt, 1);
    EXPECT_EQ(params.sch2_repetition, 4);

    choose(rc34.SCH1, "W2(1)");
    choose(rc34.SCH2, "W4(2)");
    uplink.fill(params);
    EXPECT_EQ(params.sch1_walsh_alt, 0);
    EXPECT_EQ(params.sch2_walsh_alt, 0);
}

TEST_F(UplinkPanelTest, Rc7RecordCarriesEveryChannel) {
    uplink.UL_CH_Selection_Option.select(2);
    typed(rc7.PICH.gain, "-2.00");
    int step = 0;
    for (UplinkChannel* channel : rc7.channels()) {
        if (channel != &rc7.PICH) {
            typed(channel->gain, std::to_string(++step));
        }
    }
    for (UplinkChannel* channel : {&rc7.SPICH, &rc7.PDCCH, &rc7.REQCH, &rc7.ACKCH, &rc7.CQICH}) {
        choose(*channel, channel->walsh.items()[1]);
    }
    choose(rc7.CQICH_Mod, "BPSK(Q)");
    choose(rc7.SCH1, "W2(1)");
    choose(rc7.SCH1_Repetition, "32");
    choose(rc7.PDCH_Mod, "QPSK");
    choose(rc7.PDCH, "W4(2)");

    Rc7Params params{};
    uplink.fill(params);
    // Powers 1 .. 11 in window order, each relative to the pilot at -2.
    const double gains[] = {params.spich_gain_db, params.each_gain_db, params.pdcch_gain_db,
                            params.reqch_gain_db, params.dcch_gain_db, params.ackch_gain_db,
                            params.cqich_gain_db, params.fch_gain_db,  params.sch1_gain_db,
                            params.sch2_gain_db,  params.pdch_gain_db};
    for (int k = 0; k < 11; ++k) {
        EXPECT_DOUBLE_EQ(gains[k], k + 1 + 2.0) << k;
    }
    EXPECT_EQ(params.spich_on, 1);
    EXPECT_EQ(params.each_on, 0);
    EXPECT_EQ(params.pdcch_on, 1);
    EXPECT_EQ(params.reqch_on, 1);
    EXPECT_EQ(params.dcch_on, 0);
    EXPECT_EQ(params.ackch_on, 1);
    EXPECT_EQ(params.cqich_on, 1);
    EXPECT_EQ(params.fch_on, 0);
    EXPECT_EQ(params.cqich_on_q, 1);
    EXPECT_EQ(params.sch1_on, 1);
    EXPECT_EQ(params.sch1_walsh_alt, 0);
    EXPECT_EQ(params.sch1_repetition, 32);
    EXPECT_EQ(params.sch2_on, 0);
    EXPECT_EQ(params.pdch_on, 1);
    EXPECT_EQ(params.pdch_walsh_select, 1);
    EXPECT_EQ(params.pdch_modulation, 1);
    EXPECT_EQ(params.oversampling, 20);
    EXPECT_EQ(params.offset_mode, 0);

    // 8PSK offers only both codes, which clash with SCH1 on W2(1): PDCH falls back to "OFF".
    choose(rc7.PDCH_Mod, "8PSK");
    uplink.fill(params);
    EXPECT_EQ(params.pdch_on, 0);
    EXPECT_EQ(params.pdch_walsh_select, 1);
    EXPECT_EQ(params.pdch_modulation, 2);
    choose(rc7.SCH1, "OFF");
    choose(rc7.PDCH, "W2(1)&W4(2)");
    uplink.fill(params);
    EXPECT_EQ(params.pdch_on, 1);
    EXPECT_EQ(params.pdch_walsh_select, 2);
}

TEST_F(UplinkPanelTest, TheWalshChoiceOfAChannelThatIsOffIsLeftAsItWas) {
    Rc7Params params{};
    params.sch1_walsh_alt = 77;
    params.sch2_walsh_alt = 78;
    params.pdch_walsh_select = 79;
    uplink.fill(params);
    EXPECT_EQ(params.sch1_on, 0);
    EXPECT_EQ(params.sch1_walsh_alt, 77);
    EXPECT_EQ(params.sch2_walsh_alt, 78);
    EXPECT_EQ(params.pdch_walsh_select, 79);
    EXPECT_EQ(params.sch1_repetition, 1); // the repetition is written in any case

    Rc34Params rc34_params{};
    rc34_params.sch1_walsh_alt = 5;
    uplink.fill(rc34_params);
    EXPECT_EQ(rc34_params.sch1_walsh_alt, 5);
}

} // namespace
} // namespace varnika
