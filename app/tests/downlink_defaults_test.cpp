// The channel "Set Default", the nine test models, and the general "Set Default" of the downlink page.
#include "downlink_test_support.h"

#include <cmath>

namespace varnika {
namespace {

using testing::pick;

using ChannelDefaults = testing::StartedDownlink;

TEST_F(ChannelDefaults, ResetEveryReservedRowAndLeaveOnlyThePilot) {
    switch_on(F_SCH, 40);
    pick(*row(F_SCH, 3).DL_CH_WLEN_Combo, "128");
    number(F_SCH, 3, "100");
    typed(row(F_SCH, 3).DL_CH_POWER_Text, "3");
    pick(*row(F_SCH, 127).DL_CH_WLEN_Combo, "32"); // a row beyond the multiplicity
    switch_on(QPCH, 2);
    pick(*row(QPCH, 1).DL_CH_WNO_Combo, "112");
    switch_on(F_FCH);
    pick(*row(F_FCH, 0).DL_CH_MOD_Combo, "QPSK");
    pick(*row(F_FCH, 0).DL_CH_WLEN_Combo, "128");
    switch_on(F_ACKCH);
    typed(*row(F_ACKCH, 0).DL_CH_POWER2_Text, "-4");
    typed(row(F_PICH, 0).DL_CH_POWER_Text, "-3");
    pick(page.DL_CH_TestModel_Combo, "Test Model2  PDCH 8PSK");

    page.DL_CH_Default_Button.press();

    EXPECT_EQ(page.DL_CH_TestModel_Combo.selected(), 0);
    for (int type = 1; type < dl_type_count; ++type) {
        EXPECT_FALSE(page.type_entry(type).on()) << type;
        EXPECT_EQ(page.type_entry(type).multiplicity, 1) << type;
        EXPECT_EQ(page.DL_CH_Multi_Text(type).text(), "1") << type;
        EXPECT_EQ(page.DL_CH_Stat_Command(type).caption(), "OFF") << type;
    }
    EXPECT_TRUE(page.type_entry(F_PICH).on());
    EXPECT_EQ(total(), 1);
    for (int k = 0; k < 128; ++k) {
        const DlRow& sch = row(F_SCH, k);
        ASSERT_EQ(sch.DL_CH_WLEN_Combo->text(), "4") << k;
        ASSERT_EQ(sch.DL_CH_WNO_Text->text(), "1") << k;
        ASSERT_EQ(sch.DL_CH_POWER_Text.text(), "0.00") << k;
        ASSERT_FALSE(sch.shown()) << k;
    }
    EXPECT_EQ(page.type_entry(F_SCH).max_walsh_number, 3);
    EXPECT_EQ(row(F_SCH, 3).committed, (WalshCode{4, 1}));
    EXPECT_EQ(row(QPCH, 1).DL_CH_WNO_Combo->text(), "48");
    EXPECT_EQ(row(F_FCH, 0).DL_CH_MOD_Combo->text(), "BPSK");
    EXPECT_EQ(row(F_FCH, 0).DL_CH_WLEN_Combo->text(), "64");
    EXPECT_FALSE(row(F_FCH, 0).DL_CH_WLEN_Combo->enabled());
    EXPECT_EQ(row(F_ACKCH, 0).DL_CH_POWER2_Text->text(), "0.00");
    EXPECT_EQ(row(F_PICH, 0).DL_CH_POWER_Text.text(), "0.00");
    for (int r = 0; r < dl_row_count; ++r) {
        ASSERT_FALSE(page.row(r).marked()) << r;
    }
}

// A forward-link record as the library's own tests write the test models: powers relative to the pilot.
DlChannel record(int type, double power_db, int walsh_index = 0, int walsh_length = 64, int option = 0) {
    return DlChannel{power_db, type, walsh_index, walsh_length, option};
}

struct TestModelList {
    std::vector<DlChannel> channels; // the pilot first
    double pilot_db;
};

TestModelList test_model_1(int n) {
    const double fch_db[] = {-2.48, -5.49, -7.25, -8.50, -9.47, -10.26};
    const int fch_walsh[] = {6, 17, 20, 41, 49, 58};
    const double p = -7.0;
    TestModelList m{{record(F_PICH, 0.0), record(SYNCH, -13.30 - p, 32), record(PCH, -7.30 - p, 1)}, p};
    for (int k = 0; k < n; ++k) {
        m.channels.push_back(record(F_FCH, fch_db[n - 1] - p, fch_walsh[k], 64, 0));
    }
    return m;
}

// option: 1 QPSK, 2 8-PSK, 3 16-QAM
TestModelList test_model_2(int option) {
    const double p = -10.0;
    return {{record(F_PICH, 0.0), record(SYNCH, -13.0 - p, 32), record(PCH, -10.0 - p, 1),
             record(F_PDCCH, -10.0 - p, 33), record(F_FCH, -10.0 - p, 6, 64, 0),
             record(F_PDCH, -2.60 - p, 2, 32, option)},
            p};
}

class TestModels : public testing::StartedDownlink, public ::testing::WithParamInterface<int> {};

TEST_P(TestModels, GiveTheForwardLinkTestsChannelLists) {
    const int entry = GetParam();
    // Whatever was on before is switched off.
    switch_on(F_SCH, 9);
    switch_on(F_GCH, 3);
    page.DL_CH_TestModel_Combo.select(entry);
    page.DL_CH_TestModel_Command.press();
    EXPECT_EQ(page.DL_CH_TestModel_Combo.selected(), entry);
    EXPECT_FALSE(page.test_model_flag);
    EXPECT_FALSE(page.type_entry(F_SCH).on());
    EXPECT_FALSE(page.type_entry(F_GCH).on());

    const TestModelList want = entry < 6 ? test_model_1(entry + 1) : test_model_2(entry - 5);
    const DlChannelList got = channel_list();
    ASSERT_EQ(got.channels.size(), want.channels.size());
    EXPECT_EQ(total(), static_cast<int>(want.channels.size()));
    EXPECT_EQ(total(), entry < 6 ? entry + 4 : 6); // "FCH 3" and every Test Model 2: 6
    // The pilot's record carries its absolute power; the library takes neither its power nor its code.
    EXPECT_EQ(got.channels[0].type, F_PICH);
    EXPECT_NEAR(got.channels[0].power_db, want.pilot_db, 1e-12);
    for (std::size_t k = 1; k < want.channels.size(); ++k) {
        const DlChannel& g = got.channels[k];
        const DlChannel& w = want.channels[k];
        EXPECT_EQ(g.type, w.type) << k;
        EXPECT_EQ(g.walsh_index, w.walsh_index) << k;
        EXPECT_EQ(g.walsh_length, w.walsh_length) << k;
        EXPECT_EQ(g.option, w.option) << k;
        EXPECT_NEAR(g.power_db, w.power_db, 1e-12) << k;
    }

    // The powers of every model add up to 0 dB within 0.02 dB, and no code clashes.
    double linear = 0.0;
    page.for_each_instance_row([&](int r) {
        linear += std::pow(10.0, page.row(r).DL_CH_POWER_Text.number() / 10.0);
        EXPECT_FALSE(page.row(r).marked()) << r;
    });
    EXPECT_LE(std::abs(10.0 * std::log10(linear)), 0.02);
}

INSTANTIATE_TEST_SUITE_P(AllNine, TestModels, ::testing::Range(0, 9));

TEST_F(ChannelDefaults, TestModelTablesAsShown) {
    pick(page.DL_CH_TestModel_Combo, "Test Model1  FCH 3");
    EXPECT_FALSE(page.type_entry(SYNCH).on()); // choosing changes nothing until "Set"
    page.DL_CH_TestModel_Command.press();
    EXPECT_EQ(page.DL_CH_Multi_Text(F_FCH).text(), "3");
    EXPECT_EQ(slots_of(F_FCH), (std::vector<int>{3, 4, 5}));
    const char* fch_numbers[] = {"6", "17", "20"};
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(row(F_FCH, k).DL_CH_WNO_Text->text(), fch_numbers[k]);
        EXPECT_EQ(row(F_FCH, k).DL_CH_POWER_Text.text(), "-7.25");
        EXPECT_EQ(row(F_FCH, k).DL_CH_MOD_Combo->text(), "BPSK");
    }
    EXPECT_EQ(row(F_PICH, 0).DL_CH_POWER_Text.text(), "-7.00");
    EXPECT_EQ(row(SYNCH, 0).DL_CH_POWER_Text.text(), "-13.30");
    EXPECT_EQ(row(PCH, 0).DL_CH_POWER_Text.text(), "-7.30");
    EXPECT_EQ(total(), 6);

    pick(page.DL_CH_TestModel_Combo, "Test Model1  FCH 6");
    page.DL_CH_TestModel_Command.press();
    EXPECT_EQ(row(F_FCH, 5).DL_CH_POWER_Text.text(), "-10.26");
    EXPECT_EQ(row(F_FCH, 5).DL_CH_WNO_Text->text(), "58");

    pick(page.DL_CH_TestModel_Combo, "Test Model2  PDCH 16QAM");
    page.DL_CH_TestModel_Command.press();
    EXPECT_EQ(total(), 6);
    EXPECT_EQ(row(F_PDCH, 0).DL_CH_MOD_Combo->text(), "16QAM");
    EXPECT_EQ(row(F_PDCCH, 0).DL_CH_WNO_Text->text(), "33");
    EXPECT_EQ(row(F_PDCH, 0).DL_CH_POWER_Text.text(), "-2.60");
    EXPECT_EQ(row(F_FCH, 1).DL_CH_WNO_Text->text(), "1"); // Test Model 1's second F-FCH was reset
    EXPECT_EQ(page.type_entry(F_FCH).multiplicity, 1);
    EXPECT_EQ(page.DL_CH_TestModel_Combo.text(), "Test Model2  PDCH 16QAM");
    EXPECT_TRUE(platform.messages.empty());
}

using GeneralDefaults = testing::StartedDownlink;

TEST_F(GeneralDefaults, RestoreFilterMarkersAndOffsetButNotTheChannels) {
    DownlinkGeneralPage& general = form.downlink_general;
    pick(general.DL_Filter_Over_Combo, "80");
    EXPECT_EQ(form.model.MarkerTable[Mark1Hig][downlink_item], 1'310'720);
    EXPECT_EQ(form.markers.marker(1).high[downlink_item].text(), "1310720");
    pick(general.DL_Filter_IQinverse_Combo, "ON");
    pick(general.DL_Filter_Equa_Combo, "ON");
    form.markers.marker(0).mode[downlink_item].select(1);
    form.markers.marker(1).mode[downlink_item].select(2);
    general.offset.option.select(1);
    typed(general.offset.freqerr, "1k");
    typed(general.offset.ifconv, "2k");
    switch_on(F_SCH, 4);
    EXPECT_EQ(channel_list().params.iq_inverse, 1);
    EXPECT_EQ(channel_list().params.offset_mode, 1);
    EXPECT_DOUBLE_EQ(channel_list().params.freq_error_hz, 1000.0);

    general.DL_GN_Default_Button.press();

    EXPECT_EQ(general.DL_Filter_Over_Combo.text(), "20");
    EXPECT_EQ(general.DL_Filter_IQinverse_Combo.text(), "OFF");
    EXPECT_EQ(general.DL_Filter_Equa_Combo.text(), "OFF");
    for (int m = 0; m < 2; ++m) {
        EXPECT_EQ(form.markers.marker(m).mode[downlink_item].text(), "OFF");
        EXPECT_EQ(form.markers.marker(m).high[downlink_item].text(), "327680");
        EXPECT_EQ(form.markers.marker(m).start[downlink_item].text(), "0");
    }
    EXPECT_EQ(form.model.dl_df_flag, 0);
    EXPECT_EQ(general.offset.option.selected(), 0);
    EXPECT_EQ(general.offset.freqerr.text(), "0.00");
    EXPECT_EQ(general.offset.ifconv.text(), "0.00");
    EXPECT_EQ(form.model.DL_DataSize, 655'360);
    EXPECT_TRUE(page.type_entry(F_SCH).on());

    const DlParams params = channel_list().params;
    EXPECT_EQ(params.oversampling, 20);
    EXPECT_EQ(params.iq_inverse, 0);
    EXPECT_EQ(params.phase_equalizer, 0);
    EXPECT_EQ(params.offset_mode, 0);
}

} // namespace
} // namespace varnika
