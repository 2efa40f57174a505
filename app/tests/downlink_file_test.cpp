// downlink_def.ini: its fixed layout, a page written and read back, and files that are set aside.
#include "downlink/dl_channel_list.h"
#include "settings_files_support.h"
#include "window/downlink_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
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

void switch_on(DownlinkChannelPage& page, int type, int multiplicity = 1) {
    if (page.DL_CH_Multi_Text(type).enabled()) {
        type_and_leave(page.DL_CH_Multi_Text(type), std::to_string(multiplicity));
    }
    ASSERT_FALSE(page.type_entry(type).on());
    page.DL_CH_Stat_Command(type).press();
}

// A downlink page far from the defaults, built through the window's rules: filter, frequency offset, test
// model choice and markers changed; eight types on, with clashing codes (two PCH rows on one number, an
// F-DCCH row on 0 against the pilot) and edited rows that are not shown (beyond the multiplicity, or of a
// type that is off).
void compose_downlink_page(MainForm& form) {
    DownlinkGeneralPage& general = form.downlink_general;
    choose(general.DL_Filter_Over_Combo, "48");
    choose(general.DL_Filter_IQinverse_Combo, "ON");
    choose(general.DL_Filter_Equa_Combo, "ON");
    general.offset.option.select(2);
    type_and_leave(general.offset.freqerr, "-1234.5");
    MarkerFields& marker2 = form.markers.marker(1);
    marker2.mode[downlink_item].select(1);
    type_and_leave(marker2.start[downlink_item], "10");
    type_and_leave(marker2.high[downlink_item], "20");

    DownlinkChannelPage& page = form.downlink_channels;
    choose(page.DL_CH_TestModel_Combo, "Test Model1  FCH 4");
    type_and_leave(page.row(0).DL_CH_POWER_Text, "-7");
    switch_on(page, SYNCH);
    switch_on(page, PCH, 3);
    type_and_leave(*page.instance(PCH, 0).DL_CH_WNO_Text, "5");
    type_and_leave(*page.instance(PCH, 1).DL_CH_WNO_Text, "5");
    type_and_leave(*page.instance(PCH, 2).DL_CH_WNO_Text, "7");
    type_and_leave(*page.instance(PCH, 5).DL_CH_WNO_Text, "6");
    type_and_leave(page.instance(PCH, 5).DL_CH_POWER_Text, "-7.3");
    switch_on(page, QPCH, 2);
    choose(*page.instance(QPCH, 0).DL_CH_WNO_Combo, "80");
    choose(*page.instance(QPCH, 2).DL_CH_WNO_Combo, "112");
    DlRow& bcch = page.instance(BCCH, 4); // BCCH stays off
    choose(*bcch.DL_CH_WLEN_Combo, "64");
    type_and_leave(*bcch.DL_CH_WNO_Text, "40");
    type_and_leave(bcch.DL_CH_POWER_Text, "-2.48");
    DlRow& cpcch = page.instance(CPCCH, 100); // CPCCH stays off
    type_and_leave(*cpcch.DL_CH_WNO_Text, "77");
    type_and_leave(cpcch.DL_CH_POWER_Text, "-3.3");
    switch_on(page, F_ACKCH);
    type_and_leave(*page.instance(F_ACKCH, 0).DL_CH_WNO_Text, "11");
    type_and_leave(*page.instance(F_ACKCH, 0).DL_CH_POWER2_Text, "-3.21");
    switch_on(page, F_DCCH, 2);
    type_and_leave(*page.instance(F_DCCH, 0).DL_CH_WNO_Text, "13");
    type_and_leave(*page.instance(F_DCCH, 1).DL_CH_WNO_Text, ""); // 0: clashes with the pilot
    switch_on(page, F_FCH, 3);
    DlRow& fch = page.instance(F_FCH, 0);
    choose(*fch.DL_CH_MOD_Combo, "QPSK");
    choose(*fch.DL_CH_WLEN_Combo, "128");
    type_and_leave(*fch.DL_CH_WNO_Text, "100");
    type_and_leave(*page.instance(F_FCH, 1).DL_CH_WNO_Text, "9");
    type_and_leave(page.instance(F_FCH, 2).DL_CH_POWER_Text, "-7.30");
    type_and_leave(*page.instance(F_FCH, 2).DL_CH_WNO_Text, "22");
    switch_on(page, F_SCH, 2);
    choose(*page.instance(F_SCH, 0).DL_CH_WLEN_Combo, "16");
    type_and_leave(*page.instance(F_SCH, 0).DL_CH_WNO_Text, "14");
    switch_on(page, F_PDCH);
    choose(*page.instance(F_PDCH, 0).DL_CH_MOD_Combo, "16QAM");
    type_and_leave(*page.instance(F_PDCH, 0).DL_CH_WNO_Text, "31");
}

std::vector<std::tuple<int, int, int, double, int>> records(const MainForm& form) {
    std::vector<std::tuple<int, int, int, double, int>> found;
    for (const DlChannel& c :
         collect_dl_channels(form.model, form.downlink_general, form.downlink_channels).channels) {
        found.emplace_back(c.type, c.walsh_length, c.walsh_index, c.power_db, c.option);
    }
    return found;
}

TEST(DownlinkFile, LinesStandAtTheirFixedPlaces) {
    StartedProgram program;
    const Lines lines = downlink_settings_lines(*program.form);
    ASSERT_EQ(lines.size(), 2874u);
    EXPECT_EQ(lines[0], "EV-DV_Downlink_Configuration_File");
    const std::map<std::size_t, std::string> keys{
        {1, "ovr:"},           {3, "FiltPhaseSw:"},      {4, "dl_df_flag:"},
        {7, "TestModel:"},     {8, "Mark1Mod:"},         {13, "Mark2Hig:"},
        {14, "CH_Stat_1:"},    {29, "CH_Stat_16:"},      {30, "CH_Multi_1:"},
        {45, "CH_Multi_16:"},  {46, "F_PICH_Warn_0:"},   {47, "F_PICH_Gain_0:"},
        {48, "SYNCH_Warn_1:"}, {50, "PCH_Warn_2:"},      {51, "PCH_WNo_2:"},
        {52, "PCH_Gain_2:"},   {2873, "F_PDCH_Mod_806:"}};
    for (const auto& [n, key] : keys) {
        EXPECT_TRUE(lines[n].starts_with(key)) << n << ": " << lines[n];
    }
    // Every reserved row of every type, with the entries of its type.
    const std::map<std::string, int> per_type{
        {"F_PICH_", 2},  {"SYNCH_", 2},    {"PCH_", 21},     {"BCCH_", 32},   {"QPCH_", 9},
        {"CPCCH_", 384}, {"F_RCCH_", 384}, {"F_GCH_", 384},  {"F_ACKCH_", 4}, {"CACH_", 28},
        {"F_PDCCH_", 6}, {"F_CCCH_", 28},  {"F_DCCH_", 192}, {"F_FCH_", 640}, {"F_SCCH_", 192},
        {"F_SCH_", 512}, {"F_PDCH_", 8}};
    std::map<std::string, int> counted;
    for (std::size_t n = 46; n < lines.size(); ++n) {
        for (const char* entry : {"_Warn_", "_WLen_", "_WNo_", "_Gain_", "_Gain2_", "_Mod_"}) {
            if (const std::size_t at = lines[n].find(entry); at != std::string::npos) {
                counted[lines[n].substr(0, at + 1)]++;
            }
        }
    }
    EXPECT_EQ(counted, per_type);
    const auto fch = std::find(lines.begin(), lines.end(), "F_FCH_Warn_485:False") - lines.begin();
    EXPECT_EQ(Lines(lines.begin() + fch, lines.begin() + fch + 5),
              (Lines{"F_FCH_Warn_485:False", "F_FCH_WLen_485:0", "F_FCH_WNo_485:1", "F_FCH_Gain_485:0",
                     "F_FCH_Mod_485:0"}));
    const auto ack = std::find(lines.begin(), lines.end(), "F_ACKCH_Warn_404:False") - lines.begin();
    EXPECT_EQ(lines[static_cast<std::size_t>(ack) + 3], "F_ACKCH_Gain2_404:0");
}

TEST(DownlinkFile, WriteThenReadGivesTheSamePageHiddenRowsAndMarksIncluded) {
    StartedProgram first;
    MainForm& composed = *first.form;
    compose_downlink_page(composed);
    DownlinkChannelPage& before = composed.downlink_channels;
    ASSERT_TRUE(before.instance(PCH, 0).marked() && before.instance(PCH, 1).marked());
    ASSERT_TRUE(!before.row(0).marked() && before.instance(F_DCCH, 1).marked());
    ASSERT_FALSE(before.instance(PCH, 2).marked());

    ProgramFolder folder;
    composed.settings_folder = folder.path();
    ASSERT_TRUE(write_settings_file(composed, SettingsFile::Downlink));
    const Lines written = crlf_lines(folder.read("downlink_def.ini"));
    ASSERT_EQ(written.size(), downlink_file_lines);
    EXPECT_EQ(written[5], "DL_Freqerr:-1234.50");
    EXPECT_EQ(written[12], "Mark2Sta:10");
    EXPECT_EQ(written[15], "CH_Stat_2:ON");
    EXPECT_EQ(written[16], "CH_Stat_3:OFF");
    EXPECT_EQ(written[31], "CH_Multi_2:3");
    // Powers go out as plain numbers: the pilot's -7.00 as -7, a row's -7.30 as -7.3.
    EXPECT_EQ(written[47], "F_PICH_Gain_0:-7");
    const std::string pch_hidden = "PCH_Gain_" + std::to_string(before.instance(PCH, 5).row()) + ":-7.3";
    EXPECT_NE(std::find(written.begin(), written.end(), pch_hidden), written.end());

    StartedProgram next(folder.path());
    MainForm& read = *next.form;
    EXPECT_EQ(downlink_settings_lines(read), downlink_settings_lines(composed));
    DownlinkChannelPage& after = read.downlink_channels;
    EXPECT_EQ(after.DL_CH_Total_Multi_Text.text(), before.DL_CH_Total_Multi_Text.text());
    EXPECT_EQ(records(read), records(composed));
    EXPECT_EQ(after.instance(PCH, 5).DL_CH_POWER_Text.text(), "-7.30");
    EXPECT_EQ(after.instance(F_FCH, 2).DL_CH_POWER_Text.text(), "-7.30");
    EXPECT_EQ(after.instance(CPCCH, 100).DL_CH_WNO_Text->text(), "77");
    EXPECT_EQ(after.instance(BCCH, 4).DL_CH_WLEN_Combo->text(), "64");
    EXPECT_EQ(after.instance(QPCH, 2).DL_CH_WNO_Combo->text(), "112");
    EXPECT_EQ(after.instance(F_ACKCH, 0).DL_CH_POWER2_Text->text(), "-3.21");
    EXPECT_EQ(after.instance(F_FCH, 0).DL_CH_WLEN_Combo->text(), "128");
    EXPECT_TRUE(after.instance(F_FCH, 0).DL_CH_WLEN_Combo->enabled());
    EXPECT_FALSE(after.instance(F_FCH, 1).DL_CH_WLEN_Combo->enabled());
    for (int type = 1; type < dl_type_count; ++type) {
        EXPECT_EQ(after.type_entry(type).on(), before.type_entry(type).on()) << type;
        EXPECT_EQ(after.type_entry(type).multiplicity, before.type_entry(type).multiplicity) << type;
    }
    EXPECT_EQ(read.downlink_general.offset.freqerr.text(), "-1234.50");
    EXPECT_EQ(read.model.dl_df_flag, 2);
    EXPECT_EQ(read.model.MarkerTable[Mark2Hig][downlink_item], 20);
    EXPECT_EQ(read.markers.marker(1).mode[downlink_item].text(), "Positive");
    EXPECT_FALSE(read.model.loading_flag);
}

TEST(DownlinkFile, APowerTooLargeForANumberIsWrittenAsTheLimitSoTheFileStaysReadable) {
    ProgramFolder folder;
    StartedProgram first(folder.path());
    first.form->settings_folder = folder.path();
    // Typed (digits only, as the key filter allows) and not yet left, so not yet clamped.
    first.form->downlink_channels.row(0).DL_CH_POWER_Text.set_text("-" + std::string(400, '9'));
    ASSERT_TRUE(write_settings_file(*first.form, SettingsFile::Downlink));
    EXPECT_EQ(crlf_lines(folder.read("downlink_def.ini"))[47], "F_PICH_Gain_0:-100");

    StartedProgram next(folder.path());
    EXPECT_EQ(next.form->downlink_channels.row(0).DL_CH_POWER_Text.text(), "-100.00");
}

TEST(DownlinkFile, WarningMarksAreTheClashesOfTheCodesAsRead) {
    StartedProgram first;
    compose_downlink_page(*first.form);
    Lines lines = downlink_settings_lines(*first.form);
    DownlinkChannelPage& page = first.form->downlink_channels;
    // The two PCH rows on number 5 written without marks, a row without a clash written with one: the
    // marks follow the codes, not the file.
    for (DlRow* row : {&page.instance(PCH, 0), &page.instance(PCH, 1)}) {
        const std::string marked = "PCH_Warn_" + std::to_string(row->row()) + ":True";
        auto line = std::find(lines.begin(), lines.end(), marked);
        ASSERT_NE(line, lines.end()) << marked;
        *line = "PCH_Warn_" + std::to_string(row->row()) + ":False";
    }
    auto sch = std::find(lines.begin(), lines.end(), "F_SCH_Warn_677:False");
    ASSERT_NE(sch, lines.end());
    *sch = "F_SCH_Warn_677:True";
    ProgramFolder folder;
    folder.write("downlink_def.ini", crlf_text(lines));

    StartedProgram next(folder.path());
    DownlinkChannelPage& after = next.form->downlink_channels;
    EXPECT_TRUE(after.instance(PCH, 0).marked());
    EXPECT_TRUE(after.instance(PCH, 1).marked());
    EXPECT_FALSE(after.instance(F_SCH, 0).marked());
    // The page the program wrote comes back with the marks it saved, and "Total No" with them.
    EXPECT_EQ(downlink_settings_lines(*next.form), downlink_settings_lines(*first.form));
    EXPECT_EQ(after.DL_CH_Total_Multi_Text.text(), page.DL_CH_Total_Multi_Text.text());
}

TEST(DownlinkFile, AWrongLineCountGivesTheDefaultPageAndABadValueCostsItsLine) {
    StartedProgram defaults;
    const Lines default_page = downlink_settings_lines(*defaults.form);
    StartedProgram first;
    compose_downlink_page(*first.form);
    const Lines good = downlink_settings_lines(*first.form);
    // The file with the line of `key` holding `value` instead.
    auto with_value = [&good](const std::string& key, const std::string& value) {
        Lines lines = good;
        const auto line = std::find_if(lines.begin(), lines.end(),
                                       [&key](const std::string& text) { return text.starts_with(key); });
        EXPECT_NE(line, lines.end()) << key;
        if (line != lines.end()) {
            *line = key + value;
        }
        return lines;
    };
    Lines shorter = good;
    shorter.erase(shorter.begin() + 1000);
    Lines longer = good;
    longer.push_back("");
    for (const Lines& lines : {shorter, longer}) {
        ProgramFolder folder;
        folder.write("downlink_def.ini", crlf_text(lines));
        StartedProgram next(folder.path());
        EXPECT_EQ(downlink_settings_lines(*next.form), default_page);
        EXPECT_EQ(next.form->downlink_channels.DL_CH_Total_Multi_Text.text(), "1");
    }
    // A bad value late in the file, after the lines that switch types on and fill rows: only its own
    // setting keeps the default.
    const std::pair<const char*, Lines> damages[] = {
        {"a mark that is neither True nor False", with_value("F_PDCH_Warn_806:", "Maybe")},
        {"a power that is not a number", with_value("F_PDCH_Gain_806:", "-7.3dB")},
        {"a modulation beyond its list", with_value("F_PDCH_Mod_806:", "3")},
        {"a Walsh number that is not whole", with_value("F_PDCH_WNo_806:", "1.5")},
        {"a length beyond its list", with_value("F_SCH_WLen_804:", "6")},
        {"an oversampling beyond its list", with_value("ovr:", "9")},
    };
    for (const auto& [what, lines] : damages) {
        SCOPED_TRACE(what);
        ProgramFolder folder;
        folder.write("downlink_def.ini", crlf_text(lines));
        StartedProgram next(folder.path());
        const Lines read = downlink_settings_lines(*next.form);
        std::size_t differing = 0;
        for (std::size_t n = 0; n < good.size(); ++n) {
            // Marker periods follow the waveform's length, so a ratio left out may shorten them.
            if (read[n] != good[n] && !read[n].starts_with("Mark")) {
                ++differing;
                EXPECT_NE(lines[n], good[n]) << "line " << n + 1 << " changed: " << read[n];
                EXPECT_EQ(read[n], default_page[n]);
            }
        }
        EXPECT_LE(differing, 1u);
        ASSERT_EQ(next.form->settings_reports[2].lines.size(), 1u);
        EXPECT_EQ(next.platform.messages.size(), 1u);
    }
}

} // namespace
} // namespace varnika
