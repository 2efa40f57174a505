// varnika-cli saving into the tester's waveform folder, against a Samba server of the test's own on
// 127.0.0.1 (its port in VARNIKA_SMB_PORT): the file always lands where it was asked for; a tester whose
// folder is unknown is a warning that says why in true words; a share that is not mounted gets a copy,
// and the copy clears away what killed uploads left on the share.
#include "cli_session.h"
#include "run_samba.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <utime.h>

#include <cstdlib>
#include <ctime>
#include <sstream>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using testing::file_text;
using testing::files_in;
using testing::SambaServer;
using testing::TemporaryFolder;

class TesterFolder : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.running()) {
            GTEST_SKIP() << server.why_not();
        }
        setenv(smb_port_variable, std::to_string(server.port()).c_str(), 1);
    }
    void TearDown() override { unsetenv(smb_port_variable); }

    // The tester given as 127.0.0.1, by its address (`by_address`) or as its host name.
    int make_awg(bool by_address, std::string& errors) {
        const std::string mode = by_address ? "0" : "1";
        const std::vector<std::string> words{"make-awg",       (local / "tm1.awv").string(),
                                             "--settings-dir", settings.path().string(),
                                             "--ratio",        "12",
                                             "--set",          "SaveMode=1",
                                             "--set",          "IPaddressUL=" + mode,
                                             "--set",          "HostName=127.0.0.1",
                                             "--set",          "IPadress1=127",
                                             "--set",          "IPadress2=0",
                                             "--set",          "IPadress3=0",
                                             "--set",          "IPadress4=1"};
        std::ostringstream out;
        std::ostringstream err;
        const int code = run_cli(words, program_folder(), out, err);
        errors = err.str();
        return code;
    }

    SambaServer server;
    TemporaryFolder settings;
    TemporaryFolder local;
};

// 127.0.0.1 is found as "localhost", a name without a domain part, so the share cannot be named: the
// file is saved as asked and the warning says why, never that the address cannot be resolved.
TEST_F(TesterFolder, AnAddressWhoseNameHasNoDomainPartSavesTheFileAndSaysWhy) {
    std::string errors;
    ASSERT_EQ(make_awg(true, errors), exit_ok) << errors;
    EXPECT_NE(errors.find("varnika-cli: warning: The tester's waveform folder is unknown: the name "
                          "\"localhost\" found for 127.0.0.1 has no domain part. The file was saved as " +
                          (local / "tm1.awv").string() + "."),
              std::string::npos)
        << errors;
    EXPECT_EQ(errors.find("cannot be resolved"), std::string::npos) << errors;
    EXPECT_EQ(files_in(local.path()), std::vector<std::string>{"tm1.awv"});
    EXPECT_TRUE(file_text(local / "tm1.awv").starts_with("{COMMENT:"));
    EXPECT_TRUE(files_in(server.share_folder()).empty());
}

// By its host name the share is known and not mounted here: the file is saved where asked and a copy
// goes to the share. Old temporaries of killed uploads are removed; a young one (an upload under way
// elsewhere) and every other file stay.
TEST_F(TesterFolder, ANamedShareGetsACopyAndLosesOldLeftoversOfKilledUploads) {
    const fs::path share = server.share_folder();
    const std::vector<std::string> planted{".vnk4242.AbCdEfGhIj", ".vnk4243.KlMnOpQrSt", ".vnk4244.short",
                                           "old.awv"};
    for (const std::string& name : planted) {
        std::ofstream(share / name) << "partial";
    }
    const std::time_t hour_ago = std::time(nullptr) - 3600;
    const utimbuf old_times{hour_ago, hour_ago};
    for (const char* name : {".vnk4242.AbCdEfGhIj", ".vnk4244.short", "old.awv"}) {
        ASSERT_EQ(utime((share / name).c_str(), &old_times), 0);
    }

    std::string errors;
    ASSERT_EQ(make_awg(false, errors), exit_ok) << errors;
    EXPECT_EQ(errors.find("warning"), std::string::npos) << errors;
    EXPECT_EQ(files_in(local.path()), std::vector<std::string>{"tm1.awv"}) << "the folder asked for is used";
    EXPECT_TRUE(file_text(share / "tm1.awv") == file_text(local / "tm1.awv"));
    EXPECT_EQ(files_in(share),
              (std::vector<std::string>{".vnk4243.KlMnOpQrSt", ".vnk4244.short", "old.awv", "tm1.awv"}));
}

} // namespace
} // namespace varnika::cli
