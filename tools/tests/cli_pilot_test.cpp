// The forward-link pilot is never left out: a row on the pilot's code, from a settings file or from --set,
// is the row the run leaves out, and the waveform is the pilot's alone.
#include "cli_outcome.h"
#include "cli_session.h"
#include "run_support.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>

#include <fstream>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::cli;
using testing::file_text;
using testing::Outcome;
using testing::TemporaryFolder;

class Pilot : public ::testing::Test {
protected:
    // A floating run of the forward link at ratio 4 with `words` added; its JSON report.
    json make(const std::string& file, std::vector<std::string> words) {
        std::vector<std::string> line{
            "make-floating",  (output.path() / file).string(), "--link", "downlink", "--ratio", "4", "--json",
            "--settings-dir", settings.path().string()};
        line.insert(line.end(), words.begin(), words.end());
        const Outcome made = cli(line);
        EXPECT_EQ(made.code, exit_ok) << made.out << made.err;
        return json::parse(made.out);
    }

    // The report names the pilot alone and the PCH row (No 1) as left out, and the samples are the pilot's
    // alone.
    void expect_pilot_kept(const json& report, const std::string& file) {
        ASSERT_EQ(report.at("channels").size(), 1u) << report.dump();
        EXPECT_EQ(report.at("channels")[0].at("type"), "F-PICH");
        EXPECT_EQ(report.at("channels")[0].at("walsh"), "W256(0)");
        const json& warnings = report.at("warnings");
        EXPECT_NE(std::find(warnings.begin(), warnings.end(),
                            "PCH 1 with W64(0) is left out: its Walsh code clashes with another row's."),
                  warnings.end())
            << warnings.dump();
        EXPECT_EQ(file_text(output.path() / file), pilot_alone);
    }

    void SetUp() override {
        const json alone = make("pilot.dat", {});
        ASSERT_EQ(alone.at("channels").size(), 1u);
        pilot_alone = file_text(output.path() / "pilot.dat");
    }

    TemporaryFolder settings;
    TemporaryFolder output;
    std::string pilot_alone;
};

TEST_F(Pilot, ARowOnThePilotsCodeFromSetIsLeftOutNotThePilot) {
    expect_pilot_kept(make("set.dat", {"--set", "CH_Stat_2=ON", "--set", "PCH_WNo_2=0"}), "set.dat");
}

TEST_F(Pilot, ARowOnThePilotsCodeFromTheSettingsFileIsLeftOutNotThePilot) {
    ASSERT_EQ(
        cli({"--save-settings", "--settings-dir", settings.path().string(), "--set", "CH_Stat_2=ON"}).code,
        exit_ok);
    // The PCH row's number 0, and a mark on the pilot as a damaged or hand-made file may carry it.
    const fs::path ini = settings.path() / "downlink_def.ini";
    std::string text = file_text(ini);
    for (const auto& [from, to] : {std::pair{"\r\nPCH_WNo_2:1\r\n", "\r\nPCH_WNo_2:0\r\n"},
                                   std::pair{"\r\nF_PICH_Warn_0:False\r\n", "\r\nF_PICH_Warn_0:True\r\n"}}) {
        const std::size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, std::string(from).size(), to);
    }
    std::ofstream(ini, std::ios::binary) << text;

    expect_pilot_kept(make("file.dat", {"--save-settings"}), "file.dat");
    // Saved again, the file marks the PCH row and not the pilot.
    const std::string saved = file_text(ini);
    EXPECT_NE(saved.find("\r\nF_PICH_Warn_0:False\r\n"), std::string::npos);
    EXPECT_NE(saved.find("\r\nPCH_Warn_2:True\r\n"), std::string::npos);
}

} // namespace
} // namespace varnika::cli
