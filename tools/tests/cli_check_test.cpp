// varnika-cli's signal check: analyze and --analyze on the files the program makes, against the targets
// of a sound file (every test model), against damaged files, and against direct computations on the
// file's own words.
#include "analysis/signal_check.h"
#include "cli_outcome.h"
#include "cli_session.h"
#include "run_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using testing::file_text;
using testing::TemporaryFolder;

using testing::cli;
using testing::Outcome;

// The check's numbers in a JSON answer: the whole object of analyze, or the "analysis" member of a run's.
nlohmann::json check_object(const std::string& text) {
    nlohmann::json answer = nlohmann::json::parse(text);
    return answer.contains("analysis") ? answer["analysis"] : answer;
}

// The number under `key` in the check's object or one of its member objects; NaN when missing or null.
double json_number(const std::string& text, const std::string& key) {
    const nlohmann::json check = check_object(text);
    auto number = [](const nlohmann::json& value) {
        return value.is_number() ? value.get<double>() : std::nan("");
    };
    if (check.contains(key)) {
        return number(check[key]);
    }
    for (const auto& member : check) {
        if (member.is_object() && member.contains(key)) {
            return number(member[key]);
        }
    }
    return std::nan("");
}

struct Channel {
    std::string type;
    double set_db;
    double measured_db;
};

std::vector<Channel> json_channels(const std::string& text) {
    std::vector<Channel> channels;
    const nlohmann::json check = check_object(text);
    for (const auto& channel : check.value("code_domain", nlohmann::json::array())) {
        channels.push_back({channel["type"].get<std::string>(), channel["set_db"].get<double>(),
                            channel["measured_db"].get<double>()});
    }
    return channels;
}

// The AWG file's samples straight from its words, read here without the analysis library.
std::vector<std::complex<double>> awg_samples(const fs::path& file, std::string* header = nullptr,
                                              std::string* words = nullptr) {
    const std::string bytes = file_text(file);
    const std::size_t start = bytes.find(';', bytes.find("{WAVEDATA:")) + 1;
    const std::size_t count = (bytes.size() - start - 1) / 8;
    std::vector<std::complex<double>> samples(count);
    for (std::size_t n = 0; n < count; ++n) {
        std::uint32_t i = 0;
        std::uint32_t q = 0;
        std::memcpy(&i, bytes.data() + start + 8 * n, 4);
        std::memcpy(&q, bytes.data() + start + 8 * n + 4, 4);
        samples[n] = {static_cast<double>(i) - 8192.0, static_cast<double>(q) - 8192.0};
    }
    if (header != nullptr && words != nullptr) {
        *header = bytes.substr(0, start);
        *words = bytes.substr(start);
    }
    return samples;
}

class CliCheck : public ::testing::Test {
protected:
    std::string in_output(const std::string& name) const { return (output / name).string(); }
    TemporaryFolder settings;
    TemporaryFolder output;
};

TEST_F(CliCheck, EveryTestModelAtRatio20MeetsItsSetPowersWithAHighRhoAndALowNoiseFloor) {
    for (int model = 1; model <= 9; ++model) {
        SCOPED_TRACE("test model " + std::to_string(model));
        const Outcome made =
            cli({"make-awg", in_output("tm.awv"), "--settings-dir", settings.path().string(), "--link",
                 "downlink", "--test-model", std::to_string(model), "--ratio", "20", "--analyze", "--json"});
        ASSERT_EQ(made.code, exit_ok) << made.err;
        // --json leaves the standard output to the one JSON object, the check under "analysis".
        ASSERT_TRUE(nlohmann::json::parse(made.out).contains("analysis")) << made.out;
        const std::vector<Channel> channels = json_channels(made.out);
        ASSERT_GE(channels.size(), 3u);
        for (const Channel& channel : channels) {
            EXPECT_NEAR(channel.measured_db, channel.set_db, 0.1) << channel.type;
        }
        EXPECT_GE(json_number(made.out, "rho"), 0.99);
        EXPECT_LT(json_number(made.out, "noise_floor_db"), -40.0);
    }
}

// Replaces the line beginning with `key` in a settings file.
void set_line(const fs::path& file, const std::string& key, const std::string& line) {
    std::string text = file_text(file);
    const std::size_t at = text.find("\n" + key);
    ASSERT_NE(at, std::string::npos) << key;
    text.replace(at + 1, text.find('\n', at + 1) - at - 1, line);
    std::ofstream(file, std::ios::binary) << text;
}

TEST_F(CliCheck, AnIfConvertedFileWithExchangedIqAndAFrequencyErrorAreMeasuredAtTheirBaseband) {
    ASSERT_EQ(cli({"--settings-dir", settings.path().string(), "--link", "downlink", "--test-model", "9",
                   "--ratio", "20", "--save-settings"})
                  .code,
              exit_ok);
    const fs::path downlink = settings / "downlink_def.ini";
    for (const auto& [mode, offset] :
         {std::pair{"dl_df_flag:2", "DL_IFconv:5000000.00"}, {"dl_df_flag:1", "DL_Freqerr:1234.50"}}) {
        SCOPED_TRACE(offset);
        set_line(downlink, "dl_df_flag:", mode);
        set_line(downlink, std::string(offset).substr(0, 10), offset);
        set_line(downlink, "IQswap:", "IQswap:1");
        const Outcome made = cli({"make-awg", in_output("offset.awv"), "--settings-dir",
                                  settings.path().string(), "--analyze", "--json"});
        ASSERT_EQ(made.code, exit_ok) << made.err;
        for (const Channel& channel : json_channels(made.out)) {
            EXPECT_NEAR(channel.measured_db, channel.set_db, 0.1) << channel.type;
        }
        EXPECT_EQ(json_channels(made.out).size(), 6u);
        EXPECT_GE(json_number(made.out, "rho"), 0.99);
        EXPECT_LT(json_number(made.out, "noise_floor_db"), -40.0);
        // Around the IF the adjacent channels hold what they hold around the carrier.
        EXPECT_NEAR(json_number(made.out, "+1.25MHz"), -23.2, 0.5);
    }
}

TEST_F(CliCheck, DamagedFilesAreCaught) {
    const std::vector<std::string> settings_words{"--settings-dir", settings.path().string()};
    auto words = [&](std::vector<std::string> w) {
        w.insert(w.end(), settings_words.begin(), settings_words.end());
        return w;
    };
    ASSERT_EQ(cli(words({"make-awg", in_output("good.awv"), "--link", "downlink", "--test-model", "9",
                         "--ratio", "20", "--save-settings"}))
                  .code,
              exit_ok);
    auto caught = [&](const std::string& file) {
        const Outcome checked = cli(words({"analyze", file, "--json"}));
        const std::string verdict = nlohmann::json::parse(checked.out).value("verdict", "");
        // "differs" has an exit code of its own.
        EXPECT_EQ(checked.code, verdict == "differs" ? exit_differs : exit_ok) << checked.err;
        return verdict == "differs";
    };
    EXPECT_FALSE(caught(in_output("good.awv")));

    std::string header;
    std::string body;
    awg_samples(output / "good.awv", &header, &body);
    auto write_damaged = [&](const std::string& name, const std::function<void(std::string&)>& damage) {
        std::string damaged = body;
        damage(damaged);
        std::ofstream(output / name, std::ios::binary) << header << damaged;
        return in_output(name);
    };
    // I and Q exchanged: the words of each sample swapped.
    EXPECT_TRUE(caught(write_damaged("swapped.awv", [](std::string& data) {
        for (std::size_t at = 0; at + 8 <= data.size(); at += 8) {
            std::swap_ranges(data.begin() + static_cast<std::ptrdiff_t>(at),
                             data.begin() + static_cast<std::ptrdiff_t>(at + 4),
                             data.begin() + static_cast<std::ptrdiff_t>(at + 4));
        }
    })));
    // One word in a thousand with its most significant sample bit flipped.
    EXPECT_TRUE(caught(write_damaged("flipped.awv", [](std::string& data) {
        for (std::size_t at = 0; at + 4 <= data.size(); at += 4000) {
            data[at + 1] = static_cast<char>(data[at + 1] ^ 0x20);
        }
    })));
    // Every bit of one word in a thousand inverted: rho stays above 0.99 (the error is 0.4 % of the
    // power), but the verdict, with its EVM of 1 %, tells the file from a sound one.
    const std::string inverted = write_damaged("inverted.awv", [](std::string& data) {
        for (std::size_t at = 0; at + 4 <= data.size(); at += 4000) {
            data[at] = static_cast<char>(~data[at]);
            data[at + 1] = static_cast<char>(data[at + 1] ^ 0x3f);
        }
    });
    EXPECT_NE(cli(words({"analyze", inverted})).out.find("Verdict: the file differs"), std::string::npos);
    EXPECT_NE(cli(words({"analyze", in_output("good.awv")})).out.find("Verdict: the file is the waveform"),
              std::string::npos);

    // The F-FCH's power changed by 3 dB in the settings after the run.
    const fs::path downlink = settings / "downlink_def.ini";
    std::string text = file_text(downlink);
    const std::size_t at = text.find("F_FCH_Gain_485:-10");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 18, "F_FCH_Gain_485:-7");
    std::ofstream(downlink, std::ios::binary) << text;
    EXPECT_TRUE(caught(in_output("good.awv")));
}

TEST_F(CliCheck, CcdfPaprAndAdjacentChannelRatiosEqualDirectComputationsOnTheFile) {
    const Outcome made =
        cli({"make-awg", in_output("f.awv"), "--settings-dir", settings.path().string(), "--link", "downlink",
             "--test-model", "8", "--ratio", "12", "--analyze", "--json"});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    std::vector<std::complex<double>> samples = awg_samples(output / "f.awv");
    ASSERT_EQ(samples.size(), 12u * FRAME_CHIPS);

    std::vector<double> powers;
    double mean = 0.0;
    for (const auto& s : samples) {
        powers.push_back(std::norm(s));
        mean += powers.back() / static_cast<double>(samples.size());
    }
    std::sort(powers.begin(), powers.end(), std::greater<>());
    EXPECT_NEAR(json_number(made.out, "papr_db"), 10.0 * std::log10(powers.front() / mean), 0.01);
    for (const auto& [key, fraction] :
         {std::pair{"10", 0.1}, {"1", 0.01}, {"0.1", 1e-3}, {"0.01", 1e-4}, {"0.001", 1e-5}}) {
        const double direct =
            10.0 *
            std::log10(powers[static_cast<std::size_t>(fraction * static_cast<double>(powers.size()))] /
                       mean);
        EXPECT_NEAR(json_number(made.out, key), direct, 0.01) << key << " %";
    }

    // The exact line spectrum, summed bin by bin over each 1.2288 MHz band (37.5 Hz bins).
    analysis::forward_dft(samples);
    auto band = [&](double centre_hz) {
        double sum = 0.0;
        const auto n = static_cast<long>(samples.size());
        for (long k = 0; k < n; ++k) {
            const double f = static_cast<double>(k < n / 2 ? k : k - n) * 37.5;
            sum +=
                std::abs(f - centre_hz) <= 614400.0 ? std::norm(samples[static_cast<std::size_t>(k)]) : 0.0;
        }
        return sum;
    };
    const double main = band(0.0);
    EXPECT_NEAR(json_number(made.out, "-1.25MHz"), 10.0 * std::log10(band(-1.25e6) / main), 0.05);
    EXPECT_NEAR(json_number(made.out, "+1.25MHz"), 10.0 * std::log10(band(1.25e6) / main), 0.05);
}

TEST_F(CliCheck, UnreadableFilesAndMismatchedSettingsAreSaidAndWrongLinesRefused) {
    const std::string dir = settings.path().string();
    const Outcome missing = cli({"analyze", in_output("none.awv"), "--settings-dir", dir});
    EXPECT_EQ(missing.code, exit_check_failed);
    EXPECT_NE(missing.err.find("cannot be opened"), std::string::npos) << missing.err;
    // With --json the failure is one JSON object too.
    const Outcome missing_json = cli({"analyze", in_output("none.awv"), "--settings-dir", dir, "--json"});
    EXPECT_EQ(missing_json.code, exit_check_failed);
    EXPECT_EQ(nlohmann::json::parse(missing_json.out)["exit_code"], exit_check_failed) << missing_json.out;

    // A floating file at ratio 4 checked against the settings' ratio 20: the file is measured, the
    // comparison with the ideal waveform is refused with the reason.
    ASSERT_EQ(cli({"make-floating", in_output("f.txt"), "--settings-dir", dir, "--ratio", "4"}).code,
              exit_ok);
    const Outcome other = cli({"analyze", in_output("f.txt"), "--settings-dir", dir, "--json"});
    EXPECT_EQ(other.code, exit_differs);
    // With --json the notes are the object's own.
    EXPECT_NE(other.out.find("the file holds 131072 samples, less than one frame (655360)"),
              std::string::npos)
        << other.out;
    EXPECT_TRUE(nlohmann::json::parse(other.out)["rho"].is_null());
    const Outcome same = cli({"analyze", in_output("f.txt"), "--settings-dir", dir, "--ratio", "4"});
    EXPECT_EQ(same.code, exit_ok);
    EXPECT_NE(same.out.find("rho: 1.000000"), std::string::npos) << same.out;

    EXPECT_EQ(cli({"--analyze", "--settings-dir", dir, "--save-settings"}).code, exit_usage);
    EXPECT_EQ(cli({"analyze", "--json"}).code, exit_usage);
}

// The check as a receiver: a frame rotated by 100 chips is found where it starts and still matches; one
// channel 1 dB off in the settings is named; --detect takes no channel settings.
TEST_F(CliCheck, ARotatedFrameIsFoundAChannelOffIsNamedAndCodesAreDetectedWithoutSettings) {
    const std::string dir = settings.path().string();
    ASSERT_EQ(cli({"make-awg", in_output("tm.awv"), "--settings-dir", dir, "--link", "downlink",
                   "--test-model", "9", "--ratio", "20", "--save-settings"})
                  .code,
              exit_ok);
    std::string header;
    std::string body;
    awg_samples(output / "tm.awv", &header, &body);
    const std::size_t words = body.size() / 8;
    // The last 2000 samples (100 chips) moved to the front: the frame starts 100 chips in.
    std::string rotated = body.substr((words - 2000) * 8, 2000 * 8) + body.substr(0, (words - 2000) * 8) +
                          body.substr(words * 8);
    std::ofstream(output / "rotated.awv", std::ios::binary) << header << rotated;
    const Outcome found = cli({"analyze", in_output("rotated.awv"), "--settings-dir", dir, "--json"});
    ASSERT_EQ(found.code, exit_ok) << found.out << found.err;
    const nlohmann::json check = nlohmann::json::parse(found.out);
    EXPECT_NEAR(check["time_offset_chips"].get<double>(), 100.0, 0.01);
    EXPECT_NEAR(check["frequency_error_hz"].get<double>(), 0.0, 0.1);
    EXPECT_EQ(check["verdict"], "matches");
    EXPECT_TRUE(check["reasons"].empty());
    EXPECT_EQ(check["spectrum_method"], "line");
    EXPECT_EQ(check["code_axis"]["walsh_length"], 128);
    EXPECT_EQ(check["code_axis"]["powers_db"].size(), 128u);
    EXPECT_EQ(check["channel_power_ratio_db"], check["aclr_db"]);
    EXPECT_LT(check["emissions_dbc"]["+885kHz"].get<double>(), -55.0);
    EXPECT_GT(check["rho"].get<double>(), 0.99999);

    set_line(settings / "downlink_def.ini", "F_FCH_Gain_485:", "F_FCH_Gain_485:-9");
    const Outcome off = cli({"analyze", in_output("rotated.awv"), "--settings-dir", dir, "--json"});
    EXPECT_EQ(off.code, exit_differs);
    const nlohmann::json differs = nlohmann::json::parse(off.out);
    EXPECT_EQ(differs["verdict"], "differs");
    ASSERT_FALSE(differs["reasons"].empty());
    std::string reasons;
    for (const auto& reason : differs["reasons"]) {
        reasons += reason.get<std::string>() + "\n";
    }
    EXPECT_NE(reasons.find("F-FCH 4 (64/6)"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find(" dB off"), std::string::npos) << reasons;
    EXPECT_NE(
        cli({"analyze", in_output("rotated.awv"), "--settings-dir", dir}).out.find("F-FCH 4 (64/6) measured"),
        std::string::npos);

    const Outcome detected = cli({"analyze", in_output("rotated.awv"), "--settings-dir", dir, "--json",
                                  "--detect", "--link", "downlink"});
    EXPECT_EQ(detected.code, exit_ok) << detected.err;
    const nlohmann::json codes = nlohmann::json::parse(detected.out);
    EXPECT_TRUE(codes["verdict"].is_null());
    EXPECT_GE(codes["code_domain"].size(), 5u);
    for (const auto& code : codes["code_domain"]) {
        EXPECT_TRUE(code["set_db"].is_null());
        EXPECT_GT(code["measured_db"].get<double>(), -27.0);
    }
    EXPECT_EQ(cli({"make-awg", in_output("x.awv"), "--detect", "--settings-dir", dir}).code, exit_usage);
}

TEST_F(CliCheck, ReverseLinkChannelsAreMeasuredOnTheirBranchesWithinAHundredthOfADecibel) {
    const std::string dir = settings.path().string();
    const std::vector<std::vector<std::string>> configurations{{"--rc",  "7",
                                                                "--set", "RC7_SPICH_Walsh=1",
                                                                "--set", "RC7_SPICH_Gain=-3",
                                                                "--set", "RC7_EACH_Walsh=1",
                                                                "--set", "RC7_EACH_Gain=-6",
                                                                "--set", "RC7_FCH_Walsh=1",
                                                                "--set", "RC7_FCH_Gain=2",
                                                                "--set", "RC7_PDCH_Walsh=1",
                                                                "--set", "RC7_PDCH_Mod=1",
                                                                "--set", "RC7_PDCH_Gain=4",
                                                                "--set", "RC7_CQICH_Walsh=1",
                                                                "--set", "RC7_CQICH_Gain=-9"},
                                                               {"--rc",  "34",
                                                                "--set", "RC34_DCCH_Walsh=1",
                                                                "--set", "RC34_DCCH_Gain=-3",
                                                                "--set", "RC34_FCH_Walsh=1",
                                                                "--set", "RC34_FCH_Gain=1.5",
                                                                "--set", "RC34_SCH1_Walsh=1",
                                                                "--set", "RC34_SCH1_Gain=3",
                                                                "--set", "RC34_SCH1_Repet=2",
                                                                "--set", "RC34_SCH2_Walsh=2",
                                                                "--set", "RC34_SCH2_Gain=-5"}};
    for (const auto& choices : configurations) {
        SCOPED_TRACE(choices[1]);
        std::vector<std::string> words{
            "make-awg", in_output("ul.awv"), "--settings-dir", dir, "--link", "uplink", "--ratio",
            "16",       "--analyze",         "--json"};
        words.insert(words.end(), choices.begin(), choices.end());
        const Outcome made = cli(words);
        ASSERT_EQ(made.code, exit_ok) << made.out << made.err;
        const nlohmann::json check = check_object(made.out);
        EXPECT_EQ(check["verdict"], "matches");
        ASSERT_GE(check["code_domain"].size(), 5u);
        std::set<std::string> branches;
        for (const auto& code : check["code_domain"]) {
            EXPECT_NEAR(code["measured_db"].get<double>(), code["set_db"].get<double>(), 0.01)
                << code["name"];
            branches.insert(code["branch"].get<std::string>());
        }
        EXPECT_EQ(branches, (std::set<std::string>{"I", "Q"}));
        EXPECT_EQ(check["code_axis"]["q_powers_db"].size(), 64u);
        EXPECT_LT(check["noise_floor_db"].get<double>(), -60.0);
    }
    const Outcome rc12 = cli({"make-awg", in_output("rc12.awv"), "--settings-dir", dir, "--link", "uplink",
                              "--rc", "12", "--ratio", "16", "--analyze", "--json"});
    ASSERT_EQ(rc12.code, exit_ok) << rc12.err;
    EXPECT_EQ(check_object(rc12.out)["code_domain_note"], "RC1/RC2 has no code channels");
    EXPECT_GT(check_object(rc12.out)["rho"].get<double>(), 0.9999);
}

} // namespace
} // namespace varnika::cli
