// varnika-cli's files do not depend on how many threads the synthesis runs on: KESTRA_THREADS at 1 and 5,
// and a value the library cannot use (the default then), give the same floating text, byte for byte.
#include "cli_session.h"
#include "run_support.h"
#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/wait.h>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using testing::file_text;
using testing::TemporaryFolder;

TEST(CliThreads, TheFloatingFileIsTheSameWhateverKestraThreadsSays) {
    TemporaryFolder folder;
    auto make = [&](const std::string& threads) {
        const fs::path file = folder / ("t" + threads + ".txt");
        const std::string line = "KESTRA_THREADS='" + threads + "' '" + std::string(VARNIKA_CLI_PROGRAM) +
                                 "' make-floating '" + file.string() +
                                 "' --link downlink --test-model 9 --ratio 80 --settings-dir '" +
                                 folder.path().string() + "' >'" + (folder / "out").string() + "' 2>&1";
        const int status = std::system(line.c_str());
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << threads << ": " << file_text(folder / "out");
        return file_text(file);
    };
    const std::string one = make("1");
    ASSERT_GT(one.size(), 80u * FRAME_CHIPS * 2);
    EXPECT_TRUE(one == make("5")) << "5 threads changed the samples";
    EXPECT_TRUE(one == make("many")) << "an unusable KESTRA_THREADS changed the samples";
}

} // namespace
} // namespace varnika::cli
