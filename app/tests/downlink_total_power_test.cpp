// "Adjust Total Power" on both link pages.
#include "downlink_test_support.h"

#include <cmath>

namespace varnika {
namespace {

using testing::pick;

class TotalPower : public testing::StartedDownlink {
protected:
    void press(int item) { form.total_power.Adjust_Total_Power_Button[item].press(); }

    // The linear sum of the powers the button includes, in dB.
    double total_db(int item) {
        double linear = 0.0;
        for (const form::TextField* field : form.total_power.included_fields(item)) {
            linear += std::pow(10.0, field->number() / 10.0);
        }
        return 10.0 * std::log10(linear);
    }
};

TEST_F(TotalPower, TwoChannelsAt0dBBecomeMinus301AndStayThere) {
    switch_on(F_FCH);
    press(downlink_item);
    EXPECT_EQ(row(F_PICH, 0).DL_CH_POWER_Text.text(), "-3.01");
    EXPECT_EQ(row(F_FCH, 0).DL_CH_POWER_Text.text(), "-3.01");
    press(downlink_item);
    EXPECT_EQ(row(F_PICH, 0).DL_CH_POWER_Text.text(), "-3.01");
    EXPECT_EQ(row(F_FCH, 0).DL_CH_POWER_Text.text(), "-3.01");
    EXPECT_EQ(form.total_power.Adjust_Total_Power_Button[downlink_item].caption(), "Adjust Total Power");
}

TEST_F(TotalPower, MarkedAndHiddenRowsKeepTheirPowers) {
    switch_on(PCH, 3);
    number(PCH, 2, "2");                           // PCH 0 and 1 clash on W64(1)
    typed(row(PCH, 3).DL_CH_POWER_Text, "5.00");   // hidden: beyond the multiplicity
    typed(row(F_SCH, 0).DL_CH_POWER_Text, "7.00"); // hidden: type off
    typed(row(PCH, 2).DL_CH_POWER_Text, "-6.00");
    ASSERT_TRUE(marked(PCH, 0));
    press(downlink_item);
    EXPECT_EQ(row(PCH, 0).DL_CH_POWER_Text.text(), "0.00");
    EXPECT_EQ(row(PCH, 1).DL_CH_POWER_Text.text(), "0.00");
    EXPECT_EQ(row(PCH, 3).DL_CH_POWER_Text.text(), "5.00");
    EXPECT_EQ(row(F_SCH, 0).DL_CH_POWER_Text.text(), "7.00");
    // 0 dB and -6 dB: 1.2512 linear, so both move down by 0.97 dB.
    EXPECT_EQ(row(F_PICH, 0).DL_CH_POWER_Text.text(), "-0.97");
    EXPECT_EQ(row(PCH, 2).DL_CH_POWER_Text.text(), "-6.97");
    EXPECT_NEAR(total_db(downlink_item), 0.0, 0.01);
}

TEST_F(TotalPower, TestModelOneWithOneFundamentalChannelMovesByAtMostOneHundredth) {
    pick(page.DL_CH_TestModel_Combo, "Test Model1  FCH 1");
    page.DL_CH_TestModel_Command.press();
    std::vector<double> before;
    page.for_each_instance_row([&](int r) { before.push_back(page.row(r).DL_CH_POWER_Text.number()); });
    press(downlink_item);
    std::size_t k = 0;
    page.for_each_instance_row([&](int r) {
        EXPECT_LE(std::abs(page.row(r).DL_CH_POWER_Text.number() - before[k++]), 0.0100001) << r;
    });
}

TEST_F(TotalPower, WrittenValuesStayWithinTheFieldsLimits) {
    switch_on(F_DCCH);
    typed(row(F_PICH, 0).DL_CH_POWER_Text, "100");
    typed(row(F_DCCH, 0).DL_CH_POWER_Text, "-100");
    press(downlink_item);
    EXPECT_EQ(row(F_PICH, 0).DL_CH_POWER_Text.text(), "0.00");
    EXPECT_EQ(row(F_DCCH, 0).DL_CH_POWER_Text.text(), "-100.00"); // -200 beyond the field's limit
    row(F_DCCH, 0).DL_CH_POWER_Text.commit();
    EXPECT_EQ(row(F_DCCH, 0).DL_CH_POWER_Text.text(), "-100.00");
}

TEST_F(TotalPower, UplinkAdjustsTheChosenConfigurationsChannelsThatAreOn) {
    Rc34Group& rc34 = form.uplink.rc34;
    Rc7Group& rc7 = form.uplink.rc7;
    typed(rc34.FCH.gain, "-3.00"); // off: Walsh "OFF"
    typed(rc7.PICH.gain, "2.00");

    // RC1/RC2: nothing to adjust.
    ASSERT_EQ(form.model.UL_CH_flag, 0);
    press(uplink_item);
    EXPECT_EQ(rc34.PICH.gain.text(), "0.00");
    EXPECT_EQ(rc7.PICH.gain.text(), "2.00");

    form.uplink.UL_CH_Selection_Option.select(1);
    pick(rc34.DCCH.walsh, "W16(8)");
    press(uplink_item);
    EXPECT_EQ(rc34.PICH.gain.text(), "-3.01");
    EXPECT_EQ(rc34.DCCH.gain.text(), "-3.01");
    EXPECT_EQ(rc34.FCH.gain.text(), "-3.00");
    EXPECT_EQ(rc7.PICH.gain.text(), "2.00");

    form.uplink.UL_CH_Selection_Option.select(2);
    pick(rc7.PDCH.walsh, "W4(2)");
    pick(rc7.SCH1.walsh, "W2(1)");
    typed(rc7.SCH1.gain, "-4.00");
    press(uplink_item);
    EXPECT_NEAR(total_db(uplink_item), 0.0, 0.01);
    EXPECT_EQ(form.total_power.included_fields(uplink_item).size(), 3u);
    EXPECT_EQ(rc7.FCH.gain.text(), "0.00"); // off, left alone
    EXPECT_EQ(rc34.DCCH.gain.text(), "-3.01");
    // The downlink page is not touched by the uplink button.
    EXPECT_EQ(row(F_PICH, 0).DL_CH_POWER_Text.text(), "0.00");
}

} // namespace
} // namespace varnika
