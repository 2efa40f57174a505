// analyze on captures: the SigMF recording make-sigmf writes read back by either name, the sampling rate
// given on the command line, and files that must be refused at once (a FIFO, a folder, impossible header
// numbers) run through the program as its own process, so that a hang fails the test instead of stalling it.
#include "cli_outcome.h"
#include "cli_session.h"
#include "run_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fstream>
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
