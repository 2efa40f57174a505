// varnika-cli and damaged settings files, and settings set by key: a bad line costs that line and is
// named once on standard error, numbers are limited to their fields, a file set aside is kept as
// NAME.bak by the next save, and --set / --list-keys reach every line of the three files.
#include "cli_outcome.h"
#include "cli_session.h"
#include "downlink/dl_channel_types.h"
#include "run_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include <unistd.h>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using testing::file_text;
using testing::TemporaryFolder;

struct Outcome : testing::Outcome {
    std::map<std::string, std::string> keys; // what --list-keys printed
};

class CliSettings : public ::testing::Test {
protected:
    Outcome cli(std::vector<std::string> words) {
        words.insert(words.end(), {"--settings-dir", settings.path().string()});
        Outcome outcome{testing::cli(words), {}};
        std::istringstream lines(outcome.out);
        for (std::string line; std::getline(lines, line);) {
            // KEY=VALUE, a tab, the rule.
            const std::size_t equals = line.find('=');
            const std::size_t tab = line.rfind('\t');
            outcome.keys[line.substr(0, equals)] =
                equals == std::string::npos ? "" : line.substr(equals + 1, tab - equals - 1);
        }
        return outcome;
    }
    // Replaces the line of `file` that starts with `key` (the whole line with `key` alone).
    void edit(const std::string& file, const std::string& key, const std::string& line) {
        std::string text = file_text(settings / file);
        const std::size_t at = text.find("\r\n" + key) + 2;
        ASSERT_GT(at, 1u) << key;
        text.replace(at, text.find("\r\n", at) - at, line);
        std::ofstream(settings / file, std::ios::binary) << text;
    }
    // Notices on standard error.
    static int notices(const std::string& err) {
        int count = 0;
        for (std::size_t at = err.find("Settings Files: "); at != std::string::npos;
             at = err.find("Settings Files: ", at + 1)) {
            ++count;
        }
        return count;
    }

    TemporaryFolder settings;
};

TEST_F(CliSettings, ABadLineCostsThatLineAndNumbersAreLimitedToTheirFields) {
    ASSERT_EQ(cli({"--save-settings", "--set", "HostName=q4410"}).code, exit_ok);
    edit("system_def.ini", "link_flag:", "link_flag:2");
    edit("uplink_def.ini", "ovr:", "ovr:99");
    edit("uplink_def.ini", "UL_CH_flag:", "UL_CH_flag:1");
    edit("uplink_def.ini", "RC7_PICH_Gain:", "RC7_PICH_Gain:7000");
    edit("uplink_def.ini", "RC34_PICH_Gain:", "RC34_PICH_Gain:-1e999");
    edit("uplink_def.ini", "RC34_FCH_Gain:", "RC34_FCH_Gain:loud");
    edit("uplink_def.ini", "UL_Freqerr:", "UL_Freqerr:1e999");
    edit("downlink_def.ini", "DL_IFconv:", "DL_IFconv:-1e999");
    const std::string damaged_uplink = file_text(settings / "uplink_def.ini");

    const Outcome read = cli({"--list-keys"});
    ASSERT_EQ(read.code, exit_ok) << read.err;
    EXPECT_EQ(notices(read.err), 1) << read.err;
    for (const char* named : {"system_def.ini line 2 was ignored: \"link_flag:2\"",
                              "uplink_def.ini line 2 was ignored: \"ovr:99\"",
                              "uplink_def.ini line 4 was ignored: \"UL_CH_flag:1\"", "RC34_FCH_Gain:loud"}) {
        EXPECT_NE(read.err.find(named), std::string::npos) << named << " in " << read.err;
    }
    EXPECT_EQ(read.err.find("Gain:7000"), std::string::npos);
    EXPECT_EQ(read.err.find("downlink_def.ini"), std::string::npos);
    // The good lines apply, the bad ones leave their defaults, numbers stop at their fields' limits.
    const std::map<std::string, std::string> expected{
        {"HostName", "q4410"},         {"link_flag", "0"},
        {"uplink.ovr", "4"},           {"UL_CH_flag", "0"},
        {"RC7_PICH_Gain", "100.00"},   {"RC34_PICH_Gain", "-100.00"},
        {"RC34_FCH_Gain", "0.00"},     {"UL_Freqerr", "24576000.00"},
        {"DL_IFconv", "-24576000.00"},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(read.keys.at(key), value) << key;
    }

    // The save keeps each file that had lines set aside as NAME.bak; the next start has nothing to say.
    const Outcome saved = cli({"--save-settings"});
    ASSERT_EQ(saved.code, exit_ok) << saved.err;
    EXPECT_EQ(file_text(settings / "uplink_def.ini.bak"), damaged_uplink);
    EXPECT_TRUE(fs::exists(settings / "system_def.ini.bak"));
    EXPECT_FALSE(fs::exists(settings / "downlink_def.ini.bak"));
    const Outcome again = cli({"--list-keys"});
    EXPECT_EQ(again.err, "");
    EXPECT_EQ(again.keys.at("HostName"), "q4410");
}

TEST_F(CliSettings, AFileSetAsideWholeIsNamedWithTheReasonAndKeptByTheNextSave) {
    ASSERT_EQ(cli({"--save-settings", "--set", "HostName=q4410"}).code, exit_ok);
    const std::string system = file_text(settings / "system_def.ini");
    const std::string duplicated = system + system.substr(system.find("HostName:"));
    std::ofstream(settings / "system_def.ini", std::ios::binary) << duplicated;
    if (::geteuid() != 0) {
        fs::permissions(settings / "uplink_def.ini", fs::perms::none);
    }

    const Outcome read = cli({"--save-settings"});
    ASSERT_EQ(read.code, exit_ok) << read.err;
    EXPECT_EQ(notices(read.err), 1) << read.err;
    EXPECT_NE(read.err.find("system_def.ini was ignored as a whole: it has 18 lines where 11 belong"),
              std::string::npos)
        << read.err;
    if (::geteuid() != 0) {
        EXPECT_NE(
            read.err.find("uplink_def.ini was ignored as a whole: it cannot be read (Permission denied)"),
            std::string::npos)
            << read.err;
    }
    EXPECT_EQ(file_text(settings / "system_def.ini.bak"), duplicated);
    EXPECT_EQ(cli({"--list-keys"}).keys.at("HostName"), "");
}

TEST_F(CliSettings, WalshNumbersFromAFileAreCodesOfTheirRowAndMarksFollowTheCodes) {
    // The keys of the rows of one type, in row order.
    auto rows = [](const Outcome& listed, const std::string& prefix) {
        std::vector<std::string> found;
        for (const auto& [name, value] : listed.keys) {
            if (name.starts_with(prefix)) {
                found.push_back(name);
            }
        }
        std::sort(found.begin(), found.end(), [&](const std::string& a, const std::string& b) {
            return std::stoi(a.substr(prefix.size())) < std::stoi(b.substr(prefix.size()));
        });
        return found;
    };
    auto set_line = [&](const std::string& key, const std::string& value) {
        edit("downlink_def.ini", key + ":", key + ":" + value);
    };

    // PCH numbers beyond the type's limit; two PCH rows on one code without marks, and a stale mark on a
    // row that clashes with nothing.
    const std::string pch = std::to_string(PCH);
    const Outcome three = cli({"--save-settings", "--list-keys", "--set", "CH_Stat_" + pch + "=ON", "--set",
                               "CH_Multi_" + pch + "=3"});
    ASSERT_EQ(three.code, exit_ok) << three.err;
    const std::vector<std::string> number = rows(three, "PCH_WNo_");
    const std::vector<std::string> warn = rows(three, "PCH_Warn_");
    set_line(number.at(0), "999");
    set_line(number.at(1), "-5");
    set_line(number.at(2), "7");
    set_line(warn.at(1), "True");
    const Outcome read = cli({"--list-keys"});
    ASSERT_EQ(read.code, exit_ok) << read.err;
    EXPECT_EQ(read.err, "");
    EXPECT_EQ(read.keys.at(number[0]), "7");
    EXPECT_EQ(read.keys.at(number[1]), "1");
    EXPECT_EQ(read.keys.at(warn[0]), "True");
    EXPECT_EQ(read.keys.at(warn[1]), "False");
    EXPECT_EQ(read.keys.at(warn[2]), "True");

    // An F-SCH W4 row with number 100 while the other F-SCH row has length 128 (items 0 and 5).
    const std::string sch = std::to_string(F_SCH);
    const Outcome two = cli({"--save-settings", "--list-keys", "--set", "CH_Stat_" + sch + "=ON", "--set",
                             "CH_Multi_" + sch + "=2"});
    ASSERT_EQ(two.code, exit_ok) << two.err;
    set_line(rows(two, "F_SCH_WLen_").at(0), "0");
    set_line(rows(two, "F_SCH_WNo_").at(0), "100");
    set_line(rows(two, "F_SCH_WLen_").at(1), "5");
    set_line(rows(two, "F_SCH_WNo_").at(1), "100");
    const Outcome sch_read = cli({"--list-keys"});
    EXPECT_EQ(sch_read.keys.at(rows(two, "F_SCH_WNo_")[0]), "3");
    EXPECT_EQ(sch_read.keys.at(rows(two, "F_SCH_WNo_")[1]), "100");
}

TEST_F(CliSettings, SetTakesAnyLineByItsKeyWithTheRulesOfReadingIt) {
    const Outcome set =
        cli({"--save-settings", "--list-keys", "--set", "HostName=q4410", "--set", "RC7_PICH_Gain=-3",
             "--set", "F_PICH_Gain_0=-12.5", "--set", "downlink.ovr=2", "--set", "RC34_FCH_Gain=300"});
    ASSERT_EQ(set.code, exit_ok) << set.err;
    EXPECT_EQ(set.keys.at("HostName"), "q4410");
    EXPECT_EQ(set.keys.at("RC7_PICH_Gain"), "-3.00");
    EXPECT_EQ(set.keys.at("F_PICH_Gain_0"), "-12.5");
    EXPECT_EQ(set.keys.at("downlink.ovr"), "2");
    EXPECT_EQ(set.keys.at("uplink.ovr"), "4");
    EXPECT_EQ(set.keys.at("RC34_FCH_Gain"), "100.00");
    EXPECT_NE(file_text(settings / "system_def.ini").find("\r\nHostName:q4410\r\n"), std::string::npos);
    EXPECT_NE(file_text(settings / "downlink_def.ini").find("\r\nF_PICH_Gain_0:-12.5\r\n"),
              std::string::npos);

    // Usage errors name the key or value, and nothing is saved.
    const std::pair<std::vector<std::string>, std::string> refused[] = {
        {{"--set", "Bogus_Key=1"}, "unknown setting Bogus_Key"},
        {{"--set", "RC7_PICH_Gain=loud"}, "bad value 'loud' for the setting RC7_PICH_Gain"},
        {{"--set", "link_flag=2"}, "bad value '2' for the setting link_flag"},
        {{"--set", "ovr=2"}, "give uplink.ovr or downlink.ovr"},
        {{"--set", "=2"}, "--set takes KEY=VALUE"},
    };
    const std::string saved = file_text(settings / "uplink_def.ini");
    for (const auto& [words, message] : refused) {
        std::vector<std::string> line = words;
        line.push_back("--save-settings");
        const Outcome outcome = cli(line);
        EXPECT_EQ(outcome.code, exit_usage) << words[1];
        EXPECT_NE(outcome.err.find(message), std::string::npos) << outcome.err;
    }
    EXPECT_EQ(file_text(settings / "uplink_def.ini"), saved);
}

} // namespace
} // namespace varnika::cli
