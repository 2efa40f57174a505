// analyze on captures: the SigMF recording make-sigmf writes read back by either name, the sampling rate
// given on the command line, a round trip of make-sigmf's recording through a capture's rate and delay, and
// files that must be refused at once (a FIFO, a folder, impossible header numbers) run through the program
// as its own process, so that a hang fails the test instead of stalling it.
#include "analysis/resample.h"
#include "cli_outcome.h"
#include "cli_session.h"
#include "run_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <span>
#include <sys/stat.h>
#include <sys/wait.h>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using testing::cli;
using testing::file_text;
using testing::Outcome;
using testing::TemporaryFolder;

TEST(CliCapture, AnalyzeReadsTheSigmfRecordingMakeSigmfWroteByEitherName) {
    TemporaryFolder settings;
    TemporaryFolder output;
    const std::string dir = settings.path().string();
    const std::string base = (output / "tm1").string();
    ASSERT_EQ(cli({"--settings-dir", dir, "--link", "downlink", "--test-model", "1", "--ratio", "8",
                   "--save-settings"})
                  .code,
              exit_ok);
    const Outcome made = cli({"make-sigmf", base, "--settings-dir", dir});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    for (const char* half : {".sigmf-meta", ".sigmf-data"}) {
        const Outcome checked = cli({"analyze", base + half, "--settings-dir", dir, "--json"});
        ASSERT_EQ(checked.code, exit_ok) << checked.err;
        const nlohmann::json answer = nlohmann::json::parse(checked.out);
        EXPECT_GT(answer.at("rho").get<double>(), 0.9999) << half;
    }
    // A rate given on the command line is the one the samples are taken at.
    const Outcome other =
        cli({"analyze", base + ".sigmf-meta", "--settings-dir", dir, "--sample-rate", "19660800"});
    EXPECT_EQ(other.code, exit_differs);
    EXPECT_NE(other.out.find("the sampling rate is 19.6608 MHz"), std::string::npos) << other.out;

    EXPECT_EQ(cli({"analyze", base + ".sigmf-meta", "--sample-rate", "nan"}).code, exit_usage);
    EXPECT_EQ(cli({"analyze", base + ".sigmf-meta", "--sample-rate", "1e-300"}).code, exit_usage);
    EXPECT_EQ(cli({"make-awg", (output / "x.awv").string(), "--sample-rate", "5e6"}).code, exit_usage);
}

// The samples of a cf32_le recording (little-endian float32 I then Q).
std::vector<analysis::Complex> cf32_samples(const fs::path& data) {
    const std::string bytes = file_text(data);
    std::vector<analysis::Complex> samples(bytes.size() / 8);
    auto value = [&bytes](std::size_t at) {
        std::uint32_t word = 0;
        for (std::size_t b = 0; b < 4; ++b) {
            word |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + b])) << (8 * b);
        }
        return static_cast<double>(std::bit_cast<float>(word));
    };
    for (std::size_t n = 0; n < samples.size(); ++n) {
        samples[n] = {value(8 * n), value(8 * n + 4)};
    }
    return samples;
}

void write_cf32_recording(const fs::path& base, std::span<const analysis::Complex> samples, double rate_hz) {
    std::string bytes;
    bytes.reserve(samples.size() * 8);
    for (const analysis::Complex& s : samples) {
        for (const double v : {s.real(), s.imag()}) {
            const auto word = std::bit_cast<std::uint32_t>(static_cast<float>(v));
            for (int b = 0; b < 4; ++b) {
                bytes.push_back(static_cast<char>((word >> (8 * b)) & 0xffU));
            }
        }
    }
    testing::write_file(base.string() + ".sigmf-data", bytes);
    const nlohmann::json meta = {
        {"global", {{"core:datatype", "cf32_le"}, {"core:sample_rate", rate_hz}, {"core:version", "1.0.0"}}},
        {"captures", {{{"core:sample_start", 0}}}},
        {"annotations", nlohmann::json::array()}};
    testing::write_file(base.string() + ".sigmf-meta", meta.dump());
}

// make-sigmf's one-frame recording, repeated to three frames, resampled to 15.36 MHz (12.5 samples per
// chip) with libsamplerate's best converter and started part-way into a frame, as an analyser would capture
// it: analyze finds the frame start, and measures the waveform as the settings made it.
TEST(CliCapture, AResampledDelayedCaptureOfMakeSigmfsRecordingIsMeasuredAsMade) {
    TemporaryFolder folder;
    const std::string dir = folder.path().string();
    const std::vector<std::string> settings{"--settings-dir", dir, "--link", "downlink", "--test-model", "9"};
    std::vector<std::string> make{"make-sigmf", (folder / "made").string(), "--ratio", "8"};
    make.insert(make.end(), settings.begin(), settings.end());
    const Outcome made = cli(make);
    ASSERT_EQ(made.code, exit_ok) << made.err;
    const nlohmann::json made_meta = nlohmann::json::parse(file_text(folder / "made.sigmf-meta"));
    const double made_rate = made_meta.at("global").at("core:sample_rate").get<double>();
    ASSERT_EQ(made_rate, 8 * 1.2288e6);
    const std::vector<analysis::Complex> frame = cf32_samples(folder / "made.sigmf-data");
    ASSERT_EQ(frame.size(), 8U * 32768U);

    // Three frames; the first 3 samples at 8 per chip and 100003 at 12.5 per chip left out, so the capture
    // begins 3/8 + 100003/12.5 = 8000.615 chips into a frame (the converter's start goes with them).
    constexpr std::size_t dropped_made = 3;
    constexpr std::size_t dropped_capture = 100003;
    constexpr double delay_chips = 3.0 / 8.0 + 100003.0 / 12.5;
    analysis::Waveform frames{{}, made_rate};
    for (int k = 0; k < 3; ++k) {
        frames.samples.insert(frames.samples.end(), frame.begin(), frame.end());
    }
    frames.samples.erase(frames.samples.begin(), frames.samples.begin() + dropped_made);
    const analysis::Waveform resampled = analysis::resample(frames, 15.36e6, analysis::ResampleQuality::best);
    ASSERT_GT(resampled.samples.size(), dropped_capture + 2 * 409600);
    write_cf32_recording(folder / "capture", std::span(resampled.samples).subspan(dropped_capture), 15.36e6);

    std::vector<std::string> analyze{"analyze", (folder / "capture.sigmf-meta").string(), "--json"};
    analyze.insert(analyze.end(), settings.begin(), settings.end());
    const Outcome checked = cli(analyze);
    ASSERT_EQ(checked.code, exit_ok) << checked.out << checked.err;
    const nlohmann::json answer = nlohmann::json::parse(checked.out);
    EXPECT_EQ(answer.at("resampled_from_hz").get<double>(), 15.36e6);
    // Where the next whole frame starts: a frame less the chips left out.
    const double start = answer.at("time_offset_chips").get<double>();
    const double off = std::remainder(start + delay_chips, 32768.0);
    EXPECT_LT(std::abs(off), 0.02) << "frame start " << start;
    EXPECT_LT(std::abs(answer.at("frequency_error_hz").get<double>()), 0.1);
    // The best converter leaves rho at 1 to eight places and EVM near 0.001 %.
    EXPECT_GE(answer.at("rho").get<double>(), 0.999);
    EXPECT_LT(answer.at("evm_percent").get<double>(), 0.1);
    EXPECT_EQ(answer.at("verdict"), "matches") << answer.at("reasons");
    ASSERT_GE(answer.at("code_domain").size(), 6U);
    for (const nlohmann::json& channel : answer.at("code_domain")) {
        EXPECT_NEAR(channel.at("measured_db").get<double>(), channel.at("set_db").get<double>(), 0.1)
            << channel.at("name");
    }
}

TEST(CliCapture, AFifoAFolderAndImpossibleHeaderNumbersAreRefusedAtOnceByName) {
    TemporaryFolder folder;
    const fs::path streams = folder / "err";
    auto run = [&](const fs::path& file) {
        // timeout ends a hung run with 124; the check must answer long before.
        const std::string line = "timeout 60 '" + std::string(VARNIKA_CLI_PROGRAM) + "' analyze '" +
                                 file.string() + "' --settings-dir '" + folder.path().string() + "' 2>'" +
                                 streams.string() + "'";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    ASSERT_EQ(::mkfifo((folder / "pipe.awv").c_str(), 0600), 0);
    EXPECT_EQ(run(folder / "pipe.awv"), exit_check_failed);
    EXPECT_NE(file_text(streams).find("pipe.awv is a FIFO"), std::string::npos) << file_text(streams);
    fs::create_directory(folder / "folder.awv");
    EXPECT_EQ(run(folder / "folder.awv"), exit_check_failed);
    EXPECT_NE(file_text(streams).find("folder.awv is a folder"), std::string::npos) << file_text(streams);
    for (const std::string header :
         {"{SAMPLINGFREQ:1e-300}\n{WAVEDATA:8;", "{SAMPLINGFREQ:inf}\n{WAVEDATA:8;",
          "{SAMPLINGFREQ:9.8304e7}\n{WAVEDATA:1e30;"}) {
        std::ofstream(folder / "bad.awv", std::ios::binary) << header << std::string(8, ' ') << "}";
        EXPECT_EQ(run(folder / "bad.awv"), exit_check_failed) << header;
        EXPECT_NE(file_text(streams).find("the AWG file"), std::string::npos) << file_text(streams);
    }
}

} // namespace
} // namespace varnika::cli
