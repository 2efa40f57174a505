// varnika-cli as scripts and software radios use it: a SigMF recording that holds the floating run's
// samples, one JSON object per run or error, and the versions of the program and both libraries.
#include "cli_outcome.h"
#include "cli_session.h"
#include "run/file_naming.h"
#include "run/installation.h"
#include "run/sigmf_export.h"
#include "run_support.h"

#include <nlohmann/json.hpp>
#include <varnika_version.h>

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::file_text;
using testing::files_in;
using testing::TemporaryFolder;

using testing::cli;
using testing::Outcome;

// The little-endian float32 pairs of a cf32_le file.
std::vector<float> cf32_values(const fs::path& file) {
    const std::string bytes = file_text(file);
    std::vector<float> values(bytes.size() / 4);
    for (std::size_t k = 0; k < values.size(); ++k) {
        std::uint32_t bits = 0;
        for (int b = 3; b >= 0; --b) {
            bits = bits << 8 | static_cast<unsigned char>(bytes[4 * k + static_cast<std::size_t>(b)]);
        }
        values[k] = std::bit_cast<float>(bits);
    }
    return values;
}

class Scripting : public testing::RunFixture {};

TEST_F(Scripting, SigmfRecordingHoldsTheFloatingRunsSamplesAndNamesEveryChannel) {
    TemporaryFolder settings;
    const fs::path base = output / "tm1";
    const Outcome made = cli({"make-sigmf", base.string(), "--settings-dir", settings.path().string(),
                              "--link", "downlink", "--test-model", "1", "--ratio", "4"});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    EXPECT_EQ(made.err, "");
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"tm1.sigmf-data", "tm1.sigmf-meta"}));

    // The window's floating run of the same settings, as text.
    choose_downlink("4");
    form.downlink_channels.DL_CH_TestModel_Combo.select(0);
    form.downlink_channels.DL_CH_TestModel_Command.press();
    const std::string text_file = answer_with("tm1.dat");
    form.MakeFloatingFile_Button.press();
    ASSERT_TRUE(platform.shown.empty());

    const json meta = json::parse(file_text(output / "tm1.sigmf-meta"));
    const json& global = meta.at("global");
    EXPECT_EQ(global.at("core:datatype"), "cf32_le");
    EXPECT_EQ(global.at("core:sample_rate").get<double>(), 4 * 1228800.0);
    EXPECT_TRUE(global.at("core:version").get<std::string>().starts_with("1."));
    const std::string description = global.at("core:description");
    EXPECT_NE(description.find("forward link"), std::string::npos) << description;
    EXPECT_NE(description.find(form.downlink_channels.DL_CH_TestModel_Combo.text()), std::string::npos);
    EXPECT_NE(description.find("ratio 4"), std::string::npos) << description;
    ASSERT_EQ(meta.at("captures").size(), 1u);
    EXPECT_EQ(meta.at("captures")[0].at("core:sample_start"), 0);
    // One annotation per channel the run included: the pilot first, each with its Walsh code and power.
    const std::vector<UsedChannel> channels = used_channels(form, downlink_item);
    const json& annotations = meta.at("annotations");
    ASSERT_EQ(annotations.size(), channels.size());
    ASSERT_GE(channels.size(), 2u);
    // Powers as the window shows them: the pilot's own, every other row's as typed.
    EXPECT_EQ(channels[0].type, "F-PICH");
    const std::string pilot_label = annotations[0].at("core:label");
    EXPECT_TRUE(pilot_label.ends_with(" " + form.downlink_channels.row(0).DL_CH_POWER_Text.text() + " dB"))
        << pilot_label;
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const std::string label = annotations[k].at("core:label");
        EXPECT_TRUE(label.starts_with(channels[k].type + " " + channels[k].walsh)) << label;
        EXPECT_EQ(annotations[k].at("core:sample_count"), 4 * FRAME_CHIPS);
    }

    // The data: the text file's samples at float32 rounding (within one float step of the text's
    // 15 significant digits, which may round either way at a boundary).
    const std::vector<float> data = cf32_values(output / "tm1.sigmf-data");
    ASSERT_EQ(data.size(), 2u * 4 * FRAME_CHIPS);
    std::istringstream lines(file_text(text_file));
    std::string line;
    std::size_t k = 0;
    double peak = 0.0;
    while (std::getline(lines, line) && k + 1 < data.size()) {
        const std::size_t comma = line.find(',');
        for (const double value :
             {std::strtod(line.c_str(), nullptr), std::strtod(line.c_str() + comma + 1, nullptr)}) {
            const auto rounded = static_cast<float>(value);
            ASSERT_LE(std::fabs(data[k] - rounded),
                      std::fabs(std::nextafter(rounded, 2.0f * rounded) - rounded))
                << "value " << k;
            peak = std::max(peak, std::fabs(value));
            ++k;
        }
    }
    EXPECT_EQ(k, data.size());
    EXPECT_GT(peak, 0.1);
}

TEST_F(Scripting, AFailedRecordingKeepsTheOldOneAndLeavesNoTemporaryFile) {
    // A folder where the data file should go cannot be replaced: the run fails and the meta file stays.
    fs::create_directory(output / "rec.sigmf-data");
    std::ofstream(output / "rec.sigmf-meta") << "old";
    const Outcome failed = cli({"make-sigmf", (output / "rec").string(), "--ratio", "4", "--json"});
    EXPECT_EQ(failed.code, exit_not_written);
    EXPECT_EQ(failed.err, "");
    const json report = json::parse(failed.out);
    EXPECT_EQ(report.at("exit_code"), exit_not_written);
    EXPECT_NE(report.at("error").get<std::string>().find("rec.sigmf-data"), std::string::npos) << failed.out;
    EXPECT_EQ(file_text(output / "rec.sigmf-meta"), "old");
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"rec.sigmf-data", "rec.sigmf-meta"}));
    EXPECT_EQ(cli({"make-sigmf", (output / "r").string(), "--reference", (output / "r.ref").string()}).code,
              exit_usage);
}

TEST_F(Scripting, JsonReportsTheRunTheWindowMakesAndEachKindOfError) {
    TemporaryFolder settings;
    const std::string file = (output / "tm.awv").string();
    const Outcome made = cli({"make-awg", file, "--settings-dir", settings.path().string(), "--json",
                              "--link", "downlink", "--test-model", "1", "--ratio", "12"});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    EXPECT_EQ(made.err, "");
    const json report = json::parse(made.out); // one object and nothing else
    EXPECT_EQ(report.at("exit_code"), 0);
    EXPECT_TRUE(report.at("error").is_null());
    EXPECT_EQ(report.at("file"), file);
    EXPECT_EQ(report.at("link"), "downlink");
    EXPECT_EQ(report.at("ratio"), 12);
    EXPECT_EQ(report.at("sampling_rate_hz").get<double>(), 12 * 1228800.0);
    EXPECT_EQ(report.at("sample_count"), 12 * FRAME_CHIPS);
    EXPECT_TRUE(report.at("warnings").is_array());

    // The PAPR dialog of the window's run for the same settings shows the same figures.
    choose_downlink("12");
    form.downlink_channels.DL_CH_TestModel_Combo.select(0);
    form.downlink_channels.DL_CH_TestModel_Command.press();
    answer_with("window.awv");
    form.MakeAWGFile_Button.press();
    EXPECT_EQ(papr_text(report.at("papr_db")), run.papr.PAPR[0].text());
    EXPECT_EQ(papr_text(report.at("crest_factor_i_db")), run.papr.PAPR[1].text());
    EXPECT_EQ(papr_text(report.at("crest_factor_q_db")), run.papr.PAPR[2].text());
    const std::vector<UsedChannel> channels = used_channels(form, downlink_item);
    ASSERT_EQ(report.at("channels").size(), channels.size());
    EXPECT_EQ(report.at("channels")[1].at("type"), channels[1].type);
    EXPECT_EQ(report.at("channels")[1].at("walsh"), channels[1].walsh);
    EXPECT_EQ(report.at("channels")[1].at("power_db").get<double>(), channels[1].power_db);

    // Errors: the same one object on standard output, nothing on the error stream.
    struct Case {
        std::vector<std::string> words;
        int code;
        std::string error;
    };
    for (const Case& c : {Case{{"make-awg", (output / "r.awv").string(), "--ratio", "4", "--json"},
                               exit_ratio_refused,
                               std::string(awg_run_title) + ": " + sampling_rate_message},
                          Case{{"--json", "--bogus"}, exit_usage, "unknown option --bogus"}}) {
        const Outcome failed = cli(c.words);
        EXPECT_EQ(failed.code, c.code);
        EXPECT_EQ(failed.err, "");
        const json error = json::parse(failed.out);
        EXPECT_EQ(error.at("exit_code"), c.code);
        EXPECT_TRUE(error.at("error").get<std::string>().starts_with(c.error)) << failed.out;
    }
    const TemporaryFolder without_libraries;
    const Outcome missing =
        cli({"make-floating", (output / "m.dat").string(), "--json"}, without_libraries.path());
    EXPECT_EQ(missing.code, exit_library_missing);
    EXPECT_NE(
        json::parse(missing.out).at("error").get<std::string>().find("No file was written. The library"),
        std::string::npos)
        << missing.out;
}

TEST_F(Scripting, VersionAndHelpNameTheVersionsAndTheSettingsFolder) {
    const Outcome version = cli({"--version"});
    EXPECT_EQ(version.code, exit_ok);
    const std::string v = VARNIKA_VERSION;
    EXPECT_TRUE(version.out.starts_with("varnika-cli " + v + "\nkestra " + v + " (")) << version.out;
    EXPECT_NE(
        version.out.find("\nwavesave " + v + " (" + (program_folder() / wavesave_file_name).string() + ")\n"),
        std::string::npos)
        << version.out;
    const TemporaryFolder without_libraries;
    const Outcome missing = cli({"--version"}, without_libraries.path());
    EXPECT_EQ(missing.code, exit_ok);
    EXPECT_NE(missing.out.find("kestra: The library " + std::string(kestra_file_name) + " cannot be loaded"),
              std::string::npos)
        << missing.out;

    // A writable program folder keeps the settings files.
    EXPECT_NE(cli({"--help"}).out.find("Settings folder in use: " + program_folder().string() + "\n"),
              std::string::npos);
}

} // namespace
} // namespace varnika::cli
