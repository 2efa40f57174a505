// Start-up, the window's top level and the shared read-outs.
#include "fake_platform.h"
#include "link_rules/base10_log.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnika {
namespace {

using testing::FakePlatform;

TEST(StartUp, FirstStartWithoutSettingsFilesShowsTheUplinkDefaults) {
    FakePlatform platform;
    MainForm form(platform);
    start_up(form);
    const SettingsModel& model = form.model;

    EXPECT_EQ(model.link_flag, 0);
    EXPECT_EQ(form.Link_Selection_Option.selected(), 0);
    EXPECT_TRUE(form.UL_SSTab.visible());
    EXPECT_FALSE(form.DL_SSTab.visible());
    EXPECT_EQ(form.UL_SSTab.selected(), 0);
    EXPECT_TRUE(form.UL_Frame[0].visible());
    EXPECT_FALSE(form.UL_Frame[1].visible());
    EXPECT_TRUE(form.DL_Frame[0].visible());
    EXPECT_FALSE(form.DL_Frame[1].visible());
    EXPECT_FALSE(form.DL_Frame[2].visible());

    EXPECT_EQ(model.UL_CH_flag, 0);
    EXPECT_TRUE(form.uplink.UL_RC12_Frame.visible());
    EXPECT_FALSE(form.uplink.rc34.UL_RC34_Frame.visible());
    EXPECT_FALSE(form.uplink.rc7.UL_RC7_Frame.visible());

    EXPECT_EQ(form.uplink.UL_Filter_Over_Combo.text(), "20");
    EXPECT_EQ(form.downlink_general.DL_Filter_Over_Combo.text(), "20");
    EXPECT_EQ(form.readouts.SamplingRate_Label.text(), "24.5760MHz");
    EXPECT_EQ(form.readouts.DataSize_Label.text(), "655,360Points");
    EXPECT_DOUBLE_EQ(model.UL_SamplingRate, 24'576'000.0);
    EXPECT_EQ(model.UL_DataSize, 655'360);
    EXPECT_EQ(model.DL_DataSize, 655'360);

    // Both links' markers off with half the waveform high; both frequency frames at none and 0.00.
    for (int link : {uplink_item, downlink_item}) {
        EXPECT_EQ(model.MarkerTable[Mark1Mod][static_cast<std::size_t>(link)], 0);
        EXPECT_EQ(model.MarkerTable[Mark2Hig][static_cast<std::size_t>(link)], 327'680);
        EXPECT_EQ(form.markers.marker(0).high[link].text(), "327680");
    }
    for (const FrequencyOffsetFrame* frame : {&form.uplink.offset, &form.downlink_general.offset}) {
        EXPECT_EQ(frame->option.selected(), 0);
        EXPECT_EQ(frame->freqerr.text(), "0.00");
        EXPECT_EQ(frame->ifconv.text(), "0.00");
        EXPECT_FALSE(frame->freqerr.enabled());
    }

    // Both channel groups at their defaults although neither is shown.
    EXPECT_EQ(form.uplink.rc34.SCH1_Repetition.list.text(), "1");
    EXPECT_EQ(form.uplink.rc7.PDCH_Mod.list.text(), "BPSK");
    EXPECT_EQ(form.uplink.rc7.PDCH.walsh.items().size(), 2u);
    for (UplinkChannel* channel : form.uplink.rc7.channels()) {
        EXPECT_EQ(channel->gain.text(), "0.00") << channel->gain.name();
        EXPECT_FALSE(channel->has_walsh() && channel->on()) << channel->walsh.name();
    }

    EXPECT_EQ(model.tester_mode_flag, 0);
    EXPECT_EQ(form.tester_mode.Tester_Mode_Combo.text(), "OFF");
    EXPECT_FALSE(model.loading_flag);
    EXPECT_NE(model.waveform_buffer, nullptr);
    EXPECT_NE(model.chip_buffer, nullptr);
    EXPECT_NE(model.work_area, nullptr);
    EXPECT_EQ(form.walsh_positions.table(128)[1], 64);
    EXPECT_EQ(platform.modal_runs, 0);
}

TEST(StartUp, LaterStepsRunInOrderWhileLoading) {
    FakePlatform platform;
    MainForm form(platform);
    std::vector<std::string> order;
    auto note = [&order](const char* step) {
        return [&order, step](MainForm& f) {
            order.push_back(std::string(step) + (f.model.loading_flag ? "" : " (not loading)"));
        };
    };
    StartupSteps steps;
    steps.read_system_settings = [&](MainForm& f) {
        note("system")(f);
        return false;
    };
    steps.apply_network_settings = note("network");
    steps.read_uplink_settings = [&](MainForm& f) {
        note("uplink")(f);
        return false;
    };
    steps.build_downlink_table = note("table");
    steps.read_downlink_settings = [&](MainForm& f) {
        note("downlink")(f);
        return false;
    };
    steps.apply_downlink_channel_defaults = note("channel defaults");
    steps.switch_on_pilot = note("pilot");
    steps.update_downlink_totals = note("totals");
    start_up(form, steps);
    const std::vector<std::string> expected{
        "system", "uplink", "table", "downlink", "channel defaults", "pilot", "totals (not loading)"};
    EXPECT_EQ(order, expected);
}

TEST(StartUp, SystemSettingsWithTheDownlinkChosenShowTheDownlinkPages) {
    FakePlatform platform;
    MainForm form(platform);
    bool network_applied = false;
    StartupSteps steps;
    steps.read_system_settings = [](MainForm& f) {
        f.model.link_flag = 1;
        f.model.Uplink_Tab = 1;
        f.model.Downlink_Tab = 2;
        return true;
    };
    steps.apply_network_settings = [&](MainForm&) { network_applied = true; };
    // A downlink file that leaves the downlink at ratio 80 while the uplink takes its default 20.
    steps.read_downlink_settings = [](MainForm& f) {
        f.downlink_general.DL_Filter_Over_Combo.select_text("80");
        return true;
    };
    start_up(form, steps);

    EXPECT_TRUE(network_applied);
    EXPECT_EQ(form.Link_Selection_Option.selected(), 1);
    EXPECT_FALSE(form.UL_SSTab.visible());
    EXPECT_TRUE(form.DL_SSTab.visible());
    EXPECT_TRUE(form.UL_Frame[1].visible());
    EXPECT_FALSE(form.DL_Frame[0].visible());
    EXPECT_TRUE(form.DL_Frame[2].visible());
    EXPECT_EQ(form.readouts.SamplingRate_Label.text(), "98.3040MHz");
    EXPECT_EQ(form.readouts.DataSize_Label.text(), "2,621,440Points");
    EXPECT_EQ(form.uplink.UL_Filter_Over_Combo.text(), "20");
}

TEST(ReadOuts, ShowTheLinkWhoseRefreshRanLast) {
    FakePlatform platform;
    MainForm form(platform);
    start_up(form);

    // The downlink oversampling changes while the uplink is chosen: the shared read-outs follow it.
    form.downlink_general.DL_Filter_Over_Combo.select_text("4");
    EXPECT_EQ(form.readouts.SamplingRate_Label.text(), "4.9152MHz");
    EXPECT_EQ(form.readouts.DataSize_Label.text(), "131,072Points");
    EXPECT_EQ(form.model.link_flag, 0);

    form.Link_Selection_Option.select(0);
    EXPECT_EQ(form.readouts.SamplingRate_Label.text(), "24.5760MHz");
    form.Link_Selection_Option.select(1);
    EXPECT_EQ(form.readouts.SamplingRate_Label.text(), "4.9152MHz");
    EXPECT_EQ(form.model.link_flag, 1);

    form.uplink.UL_Filter_Over_Combo.select_text("80");
    EXPECT_EQ(form.readouts.SamplingRate_Label.text(), "98.3040MHz");
    EXPECT_EQ(form.readouts.DataSize_Label.text(), "2,621,440Points");
}

TEST(TopLevel, TabPagesShowTheirFrameAndRemembered) {
    FakePlatform platform;
    MainForm form(platform);
    start_up(form);
    form.DL_SSTab.select(1);
    EXPECT_EQ(form.model.Downlink_Tab, 1);
    EXPECT_FALSE(form.DL_Frame[0].visible());
    EXPECT_TRUE(form.DL_Frame[1].visible());
    form.UL_SSTab.select(1);
    EXPECT_EQ(form.model.Uplink_Tab, 1);
    EXPECT_FALSE(form.UL_Frame[0].visible());
    EXPECT_TRUE(form.UL_Frame[1].visible());
}

TEST(TopLevel, ExitAsksTheWindowToClose) {
    FakePlatform platform;
    MainForm form(platform);
    form.Exit_Button.press();
    EXPECT_EQ(platform.close_requests, 1);
}

TEST(Base10Log, RefusesArgumentsNotAboveZeroAndKeepsTheProgram) {
    FakePlatform platform;
    EXPECT_NEAR(checked_log10(2.0, platform).value(), 0.30103, 1e-5);
    EXPECT_DOUBLE_EQ(checked_log10(1000.0, platform).value(), 3.0);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_FALSE(checked_log10(0.0, platform));
    EXPECT_FALSE(checked_log10(-1.0, platform));
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0], "Number must be more 0 at log10.");
    EXPECT_EQ(platform.program_ends, 0);
}

} // namespace
} // namespace varnika
