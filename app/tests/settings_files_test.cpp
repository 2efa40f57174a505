// The line format the settings files share, system_def.ini and uplink_def.ini.
#include "form/number_text.h"
#include "settings/settings_lines.h"
#include "settings_files_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

namespace varnika {
namespace {

using testing::choose;
using testing::crlf_lines;
using testing::crlf_text;
using testing::ProgramFolder;
using testing::StartedProgram;
using testing::type_and_leave;
using Lines = std::vector<std::string>;

TEST(SettingsLine, ValueIsTheLineWithEveryOccurrenceOfItsKeyRemoved) {
    EXPECT_EQ(value_of("link_flag:1", "link_flag:"), "1");
    EXPECT_EQ(value_of("HostName:", "HostName:"), "");
    EXPECT_EQ(value_of("HostName:labHostName:q4410HostName:", "HostName:"), "labq4410");
    // A line without its key is taken whole; the key matches with its letter case only.
    EXPECT_EQ(value_of("q4410", "HostName:"), "q4410");
    EXPECT_EQ(value_of("hostname:q4410", "HostName:"), "hostname:q4410");
}

TEST(SettingsLine, LinesEndAtCrLfAndTheBufferBoundsTheirNumber) {
    EXPECT_EQ(split_settings_lines("a\r\nb\r\n", 31), (Lines{"a", "b"}));
    EXPECT_EQ(split_settings_lines("a\r\nb", 31), (Lines{"a", "b"}));
    EXPECT_EQ(split_settings_lines("a\r\n\r\n", 31), (Lines{"a", ""}));
    EXPECT_EQ(split_settings_lines("a\nb\rc", 31), (Lines{"a", "b", "c"}));
    EXPECT_EQ(split_settings_lines("", 31), Lines{});
    EXPECT_TRUE(split_settings_lines("a\r\nb\r\nc\r\n", 3));
    EXPECT_FALSE(split_settings_lines("a\r\nb\r\nc\r\nd\r\n", 3));
}

TEST(SettingsLine, PowersAreWrittenAsTheShortestNumberThatReadsBack) {
    EXPECT_EQ(number_text(-7.3), "-7.3");
    EXPECT_EQ(number_text(0.0), "0");
    EXPECT_EQ(number_text(-0.0), "0");
    EXPECT_EQ(number_text(-2.48), "-2.48");
    EXPECT_EQ(number_text(100.0), "100");
    EXPECT_EQ(number_text(0.05), "0.05");
    // Every power a field can show comes back as the same number and the same field text.
    for (int hundredths = -10000; hundredths <= 10000; ++hundredths) {
        const std::string shown = form::format_fixed(hundredths / 100.0, 2);
        const double value = *form::parse_number(shown);
        const auto back = form::parse_number(number_text(value));
        ASSERT_TRUE(back) << shown;
        ASSERT_EQ(*back, value) << shown;
        ASSERT_EQ(form::format_fixed(*back, 2), shown);
    }
}

TEST(SettingsWrite, ReplacesTheFileWholeOrLeavesEverythingAsItWas) {
    ProgramFolder folder;
    ASSERT_TRUE(write_settings_lines(folder / "uplink_def.ini", Lines{"A", "b:1"}));
    EXPECT_EQ(folder.read("uplink_def.ini"), "A\r\nb:1\r\n");
    ASSERT_TRUE(write_settings_lines(folder / "uplink_def.ini", Lines{"B"}));
    EXPECT_EQ(folder.read("uplink_def.ini"), "B\r\n");

    // A folder standing where the file belongs cannot be replaced; a missing folder cannot take a file.
    std::filesystem::create_directory(folder / "system_def.ini");
    EXPECT_FALSE(write_settings_lines(folder / "system_def.ini", Lines{"C"}));
    EXPECT_TRUE(std::filesystem::is_directory(folder / "system_def.ini"));
    EXPECT_FALSE(write_settings_lines(folder / "gone" / "downlink_def.ini", Lines{"C"}));
    EXPECT_FALSE(write_settings_lines({}, Lines{"C"}));

    // No temporary file is left behind, after a success or a failure.
    Lines names = folder.names();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines{"system_def.ini", "uplink_def.ini"}));
}

// A downlink choice with page 2 shown, a host name, an address and both option pairs on their second item.
void compose_system_page(MainForm& form) {
    form.Link_Selection_Option.select(1);
    form.UL_SSTab.select(1);
    form.DL_SSTab.select(2);
    TesterNetwork& network = form.network;
    network.Q4410_Host_Name[downlink_item].set_text("q4410-lab");
    const Lines octets{"192", "168", "0", "25"};
    for (int n = 1; n <= 4; ++n) {
        type_and_leave(network.octet(n, downlink_item), octets[static_cast<std::size_t>(n - 1)]);
    }
    network.save_mode(downlink_item).select(1);
    network.address_mode(downlink_item).select(1);
}

const std::string system_file_text = "EV-DV_System_Configuration_File\r\n"
                                     "link_flag:1\r\n"
                                     "Uplink_Tab:1\r\n"
                                     "Downlink_Tab:2\r\n"
                                     "HostName:q4410-lab\r\n"
                                     "IPadress1:192\r\n"
                                     "IPadress2:168\r\n"
                                     "IPadress3:0\r\n"
                                     "IPadress4:25\r\n"
                                     "SaveMode:1\r\n"
                                     "IPaddressUL:1\r\n";

TEST(SystemFile, HoldsElevenKeyedLinesThatTheNextStartShows) {
    ProgramFolder folder;
    StartedProgram first;
    compose_system_page(*first.form);
    first.form->settings_folder = folder.path();
    ASSERT_TRUE(write_settings_file(*first.form, SettingsFile::System));
    EXPECT_EQ(folder.read("system_def.ini"), system_file_text);

    StartedProgram next(folder.path());
    const MainForm& form = *next.form;
    EXPECT_EQ(form.model.link_flag, 1);
    EXPECT_TRUE(form.DL_SSTab.visible());
    EXPECT_FALSE(form.UL_SSTab.visible());
    EXPECT_EQ(form.UL_SSTab.selected(), 1);
    EXPECT_TRUE(form.DL_Frame[2].visible());
    for (int item : {uplink_item, downlink_item}) {
        EXPECT_EQ(form.network.Q4410_Host_Name[item].text(), "q4410-lab");
        EXPECT_EQ(form.network.IP_ADDRESS1[item].text(), "192");
        EXPECT_EQ(form.network.IP_ADDRESS4[item].text(), "25");
    }
    EXPECT_EQ(form.network.SaveMode_ul_Option.selected(), 1);
    EXPECT_EQ(form.network.IP_address_UL.selected(), 1);
    EXPECT_EQ(form.model.IpOctets[1], 168);
}

TEST(SystemFile, HostNameIsWhatRemainsOfItsLine) {
    ProgramFolder folder;
    Lines lines = crlf_lines(system_file_text);
    const std::pair<std::string, std::string> cases[] = {
        {"HostName:", ""}, {"HostName:labHostName:q4410", "labq4410"}, {"q4410", "q4410"}};
    for (const auto& [line, host] : cases) {
        lines[4] = line;
        folder.write("system_def.ini", crlf_text(lines));
        StartedProgram next(folder.path());
        EXPECT_EQ(next.form->model.HostName, host) << line;
        EXPECT_EQ(next.form->network.Q4410_Host_Name[uplink_item].text(), host) << line;
    }
}

TEST(SystemFile, DamagedOrMisnamedFileIsIgnoredAsAWhole) {
    const Lines good = crlf_lines(system_file_text);
    struct Damage {
        const char* what;
        std::string name;
        std::string text;
    };
    auto with_line = [&good](std::size_t n, const std::string& line) {
        Lines lines = good;
        lines[n] = line;
        return crlf_text(lines);
    };
    const Lines short_file(good.begin(), good.end() - 1);
    const std::vector<Damage> damages{
        {"an extra empty line (12 lines)", "system_def.ini", system_file_text + "\r\n"},
        {"a line less", "system_def.ini", crlf_text(short_file)},
        {"letter case of the name", "System_def.ini", system_file_text},
    };
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        ProgramFolder folder;
        folder.write(damage.name, damage.text);
        StartedProgram next(folder.path());
        const MainForm& form = *next.form;
        EXPECT_EQ(form.model.link_flag, 0);
        EXPECT_TRUE(form.UL_SSTab.visible());
        EXPECT_EQ(form.model.Downlink_Tab, 0);
        EXPECT_EQ(form.model.HostName, "");
        EXPECT_EQ(form.network.Q4410_Host_Name[uplink_item].text(), "");
        EXPECT_EQ(form.network.IP_ADDRESS1[uplink_item].text(), "");
        EXPECT_EQ(form.model.SaveMode, 0);
    }

    // A bad value costs its own line only: its setting keeps its default, the stored tester address
    // survives, and one notice names the line.
    const std::tuple<std::size_t, const char*, std::int32_t SettingsModel::*> bad_values[] = {
        {1, "link_flag:one", &SettingsModel::link_flag},
        {3, "Downlink_Tab:3", &SettingsModel::Downlink_Tab},
        {9, "SaveMode:2", &SettingsModel::SaveMode},
    };
    for (const auto& [n, line, setting] : bad_values) {
        SCOPED_TRACE(line);
        ProgramFolder folder;
        folder.write("system_def.ini", with_line(n, line));
        StartedProgram next(folder.path());
        const MainForm& form = *next.form;
        EXPECT_EQ(form.model.*setting, 0);
        EXPECT_EQ(form.model.HostName, "q4410-lab");
        EXPECT_EQ(form.model.IPaddressUL, 1);
        EXPECT_EQ(form.settings_reports[0].lines, (std::vector<IgnoredLine>{{n + 1, line}}));
        ASSERT_EQ(next.platform.messages.size(), 1u);
        EXPECT_NE(next.platform.messages[0].find("system_def.ini line " + std::to_string(n + 1) +
                                                 " was ignored: \"" + line + "\""),
                  std::string::npos);
    }
}

struct PdchChoice {
    const char* modulation;
    const char* walsh;
    const char* sch1; // an SCH1 code that can stand beside it
};

// An uplink page far from the defaults, built through the window's own rules: ratio 8, I/Q inverted, RC
// 3,4,7 chosen, a frequency error, both markers on, every channel of both groups on with its own power.
void compose_uplink_page(MainForm& form, const PdchChoice& pdch) {
    UplinkPanel& ul = form.uplink;
    choose(ul.UL_Filter_Over_Combo, "8");
    choose(ul.UL_Filter_IQinverse_Combo, "ON");
    ul.UL_CH_Selection_Option.select(2);
    ul.offset.option.select(1);
    type_and_leave(ul.offset.freqerr, "-1500");
    type_and_leave(ul.offset.ifconv, "12.5");
    MarkerFields& marker1 = form.markers.marker(0);
    marker1.mode[uplink_item].select(1);
    type_and_leave(marker1.start[uplink_item], "1000");
    type_and_leave(marker1.high[uplink_item], "5000");
    MarkerFields& marker2 = form.markers.marker(1);
    marker2.mode[uplink_item].select(2);
    type_and_leave(marker2.start[uplink_item], "2");
    type_and_leave(marker2.high[uplink_item], "4");

    Rc34Group& rc34 = ul.rc34;
    double power = -1.25;
    for (UplinkChannel* channel : rc34.channels()) {
        type_and_leave(channel->gain, form::format_fixed(power, 2));
        power -= 1.5;
    }
    choose(rc34.DCCH.walsh, "W16(8)");
    choose(rc34.FCH.walsh, "W16(4)");
    choose(rc34.SCH1.walsh, "W4(2)");
    choose(rc34.SCH1_Repetition.list, "8");
    choose(rc34.SCH2.walsh, "W8(6)");
    choose(rc34.SCH2_Repetition.list, "4");

    Rc7Group& rc7 = ul.rc7;
    power = 2.5;
    for (UplinkChannel* channel : rc7.channels()) {
        type_and_leave(channel->gain, form::format_fixed(power, 2));
        power -= 0.75;
    }
    for (UplinkChannel* channel :
         {&rc7.SPICH, &rc7.PDCCH, &rc7.REQCH, &rc7.DCCH, &rc7.ACKCH, &rc7.CQICH, &rc7.FCH}) {
        channel->walsh.select(1);
    }
    choose(rc7.CQICH_Mod.list, "BPSK(Q)");
    choose(rc7.PDCH_Mod.list, pdch.modulation);
    choose(rc7.PDCH.walsh, pdch.walsh);
    choose(rc7.SCH1.walsh, pdch.sch1);
    choose(rc7.SCH1_Repetition.list, "16");
    if (std::string(pdch.modulation) == "BPSK") {
        choose(rc7.EACH.walsh, "W8(2)"); // stands beside a BPSK PDCH on W4(2)
    }
}

TEST(UplinkFile, WriteThenReadGivesTheSamePageWhateverThePdchModulation) {
    const PdchChoice choices[] = {
        {"BPSK", "W4(2)", "W2(1)"}, {"QPSK", "W2(1)", "W4(2)"}, {"8PSK", "W2(1)&W4(2)", "OFF"}};
    for (const PdchChoice& pdch : choices) {
        SCOPED_TRACE(pdch.modulation);
        StartedProgram first;
        compose_uplink_page(*first.form, pdch);
        const Rc7Group& composed = first.form->uplink.rc7;
        ASSERT_EQ(composed.PDCH.walsh.text(), pdch.walsh);
        ASSERT_EQ(composed.SCH1.walsh.text(), pdch.sch1);
        ASSERT_EQ(first.form->uplink.rc34.SCH2_Repetition.list.text(), "4");

        ProgramFolder folder;
        first.form->settings_folder = folder.path();
        ASSERT_TRUE(write_settings_file(*first.form, SettingsFile::Uplink));
        const Lines written = crlf_lines(folder.read("uplink_def.ini"));
        ASSERT_EQ(written.size(), uplink_file_lines);
        EXPECT_EQ(written[0], "EV-DV_Uplink_Configuration_File");
        EXPECT_EQ(written[1], "ovr:1");
        EXPECT_EQ(written[3], "UL_CH_flag:2");
        EXPECT_EQ(written[5], "UL_Freqerr:-1500.00");
        EXPECT_EQ(written[6], "UL_IFconv:12.50");
        EXPECT_EQ(written[7], "Mark1Mod:1");
        EXPECT_EQ(written[8], "Mark1Sta:1000");
        EXPECT_EQ(written[13], "RC34_PICH_Gain:-1.25");
        EXPECT_EQ(written[50], "RC7_PDCH_Gain:" + composed.PDCH.gain.text());

        StartedProgram next(folder.path());
        MainForm& form = *next.form;
        EXPECT_EQ(uplink_settings_lines(form), uplink_settings_lines(*first.form));
        EXPECT_EQ(form.model.UL_CH_flag, 2);
        EXPECT_TRUE(form.uplink.rc7.UL_RC7_Frame.visible());
        EXPECT_EQ(form.uplink.rc7.PDCH.walsh.text(), pdch.walsh);
        EXPECT_EQ(form.uplink.rc7.PDCH_Mod.list.text(), pdch.modulation);
        EXPECT_EQ(form.uplink.rc7.EACH.walsh.text(), composed.EACH.walsh.text());
        EXPECT_EQ(form.uplink.rc34.SCH1_Repetition.list.text(), "8");
        EXPECT_EQ(form.model.MarkerTable[Mark2Hig][uplink_item], 4);
        EXPECT_EQ(form.markers.marker(0).high[uplink_item].text(), "5000");
        EXPECT_TRUE(form.markers.marker(0).start[uplink_item].enabled());
        EXPECT_EQ(form.readouts.DataSize_Label.text(), "262,144Points");
    }
}

TEST(UplinkFile, PowersAreLimitedToTheirFieldsAsTheyAreRead) {
    ProgramFolder folder;
    StartedProgram first(folder.path());
    first.form->settings_folder = folder.path();
    ASSERT_TRUE(write_settings_file(*first.form, SettingsFile::Uplink));
    Lines lines = crlf_lines(folder.read("uplink_def.ini"));
    ASSERT_EQ(lines[50], "RC7_PDCH_Gain:0.00");
    lines[50] = "RC7_PDCH_Gain:7.5";
    lines[13] = "RC34_PICH_Gain:150";
    folder.write("uplink_def.ini", crlf_text(lines));

    StartedProgram next(folder.path());
    EXPECT_EQ(next.form->uplink.rc7.PDCH.gain.text(), "7.50");
    EXPECT_EQ(next.form->uplink.rc34.PICH.gain.text(), "100.00");
}

TEST(UplinkFile, AWrongLineCountSetsTheFileAsideAndABadValueOnlyItsLine) {
    StartedProgram defaults;
    const Lines default_page = uplink_settings_lines(*defaults.form);
    StartedProgram first;
    compose_uplink_page(*first.form, {"QPSK", "W2(1)", "W4(2)"});
    const Lines good = uplink_settings_lines(*first.form);
    Lines longer = good;
    longer.push_back("");
    const Lines shorter(good.begin(), good.end() - 1);
    for (const Lines& lines : {longer, shorter}) {
        ProgramFolder folder;
        folder.write("uplink_def.ini", crlf_text(lines));
        StartedProgram next(folder.path());
        EXPECT_EQ(uplink_settings_lines(*next.form), default_page);
        EXPECT_NE(next.form->settings_reports[1].whole.find("where 51 belong"), std::string::npos);
    }

    // Each bad value is left out (its setting starts from the default, and the channel rules may then move
    // it); every other line is as written.
    auto with_line = [&good](std::size_t n, const std::string& line) {
        Lines lines = good;
        lines[n] = line;
        return lines;
    };
    Lines beyond_bpsk = with_line(48, "RC7_PDCH_Walsh:3");
    beyond_bpsk[49] = "RC7_PDCH_Mod:0";
    // The damage, the file, and the line left out followed by any line whose setting rests on it.
    const std::tuple<const char*, Lines, std::vector<std::size_t>> damages[] = {
        {"the RC3/RC4 group, which has no option", with_line(3, "UL_CH_flag:1"), {3}},
        {"an index beyond its list", with_line(46, "RC7_SCH2_Repet:5"), {46}},
        // The code's index, good in itself, has no item in the list of the modulation left in place.
        {"a PDCH code beyond the BPSK list", beyond_bpsk, {49, 48}},
        {"a word for an index", with_line(48, "RC7_PDCH_Walsh:W2(1)"), {48}},
        {"a negative marker period", with_line(11, "Mark2Sta:-2"), {11}},
        {"a word for a power", with_line(13, "RC34_PICH_Gain:loud"), {13}},
    };
    for (const auto& [what, lines, bad] : damages) {
        SCOPED_TRACE(what);
        ProgramFolder folder;
        folder.write("uplink_def.ini", crlf_text(lines));
        StartedProgram next(folder.path());
        const Lines read = uplink_settings_lines(*next.form);
        std::vector<IgnoredLine> ignored;
        for (std::size_t n = 1; n < good.size(); ++n) {
            const bool is_bad = std::find(bad.begin(), bad.end(), n) != bad.end();
            if (is_bad && n == bad.front()) {
                ignored.push_back({n + 1, lines[n]});
            } else if (!is_bad) {
                EXPECT_EQ(read[n], good[n]) << n;
            }
        }
        EXPECT_EQ(next.form->settings_reports[1].lines, ignored);
    }
}

TEST(UplinkFile, MarkerPeriodsNoWindowCouldHoldAreRepairedAsOnLeavingTheFields) {
    StartedProgram first;
    Lines lines = uplink_settings_lines(*first.form);
    lines[1] = "ovr:0"; // ratio 4: 131072 samples
    lines[7] = "Mark1Mod:1";
    lines[8] = "Mark1Sta:131073";
    lines[9] = "Mark1Hig:100";
    lines[11] = "Mark2Sta:7";
    lines[12] = "Mark2Hig:99";
    ProgramFolder folder;
    folder.write("uplink_def.ini", crlf_text(lines));

    StartedProgram next(folder.path());
    const SettingsModel& model = next.form->model;
    EXPECT_EQ(model.MarkerTable[Mark1Sta][uplink_item], 131072);
    EXPECT_EQ(model.MarkerTable[Mark1Hig][uplink_item], 0);
    EXPECT_EQ(model.MarkerTable[Mark2Sta][uplink_item], 6);
    EXPECT_EQ(model.MarkerTable[Mark2Hig][uplink_item], 98);
    EXPECT_EQ(next.form->markers.marker(0).start[uplink_item].text(), "131072");
    EXPECT_EQ(next.form->markers.marker(1).high[uplink_item].text(), "98");
    EXPECT_EQ(model.MarkerTable[Mark1Mod][uplink_item], 1);
}

} // namespace
} // namespace varnika
