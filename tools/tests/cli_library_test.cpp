// varnika-cli with libraries it must refuse: another major version under the right SONAME, or a copy cut
// short. The real program runs from a folder of its own beside the libraries under test, so that a crash
// in the loader shows as a signal instead of taking the test with it.
#include "run/library_binding.h"
#include "temporary_folder.h"

#include <varnika_version.h>

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace varnika {
namespace {

namespace fs = std::filesystem;
using testing::file_text;
using testing::TemporaryFolder;

struct Ended {
    int signal = 0; // the signal that ended the program, 0 when it exited
    int code = -1;
    std::string out;
    std::string err;
};

// A portable copy of varnika-cli: the program with both libraries beside it, its settings there too.
class PortableCopy {
public:
    PortableCopy() {
        const fs::path built = fs::path(VARNIKA_CLI_PROGRAM).parent_path();
        fs::copy_file(VARNIKA_CLI_PROGRAM, folder_ / "varnika-cli");
        fs::copy_file(built / kestra_file_name, folder_ / std::string(kestra_file_name));
        fs::copy_file(built / wavesave_file_name, folder_ / std::string(wavesave_file_name));
    }
    const fs::path& path() const { return folder_.path(); }

    // The copy's `file_name` replaced by `library`, or by its own first `length` bytes.
    void replace(const char* file_name, const fs::path& library) const {
        fs::copy_file(library, folder_ / std::string(file_name), fs::copy_options::overwrite_existing);
    }
    void truncate(const char* file_name, std::uintmax_t length) const {
        fs::resize_file(folder_ / std::string(file_name), length);
    }

    Ended run(const std::string& arguments) const {
        const std::string line = "cd '" + path().string() + "' && HOME='" + path().string() +
                                 "' exec ./varnika-cli " + arguments + " >out 2>err";
        const int status = std::system(line.c_str());
        Ended ended;
        if (WIFSIGNALED(status)) {
            ended.signal = WTERMSIG(status);
        } else if (WIFEXITED(status)) {
            ended.code = WEXITSTATUS(status);
        }
        ended.out = file_text(path() / "out");
        ended.err = file_text(path() / "err");
        return ended;
    }

private:
    TemporaryFolder folder_;
};

std::string whole_version(int major) {
    return std::to_string(major) + ".2.1";
}

TEST(LibraryLoading, ALibraryOfAnotherMajorVersionIsRefusedWithBothVersionsNamed) {
    const std::string other = whole_version(VARNIKA_VERSION_MAJOR + 3);
    for (const char* file_name : {kestra_file_name, wavesave_file_name}) {
        SCOPED_TRACE(file_name);
        const PortableCopy copy;
        copy.replace(file_name, VARNIKA_OTHER_MAJOR_LIBRARY);
        const std::string refusal =
            "The library " + std::string(file_name) + " in " + copy.path().string() + " is version " + other +
            "; this program is version " VARNIKA_VERSION " and works only with a library of major version " +
            std::to_string(VARNIKA_VERSION_MAJOR) + ".";

        const Ended made = copy.run("make-awg sig.awv --link uplink --ratio 12");
        EXPECT_EQ(made.signal, 0);
        EXPECT_EQ(made.code, 5) << made.err;
        EXPECT_NE(made.err.find(refusal), std::string::npos) << made.err;
        EXPECT_FALSE(fs::exists(copy.path() / "sig.awv"));

        // --version names the refusal in the library's line and still answers.
        const Ended version = copy.run("--version");
        EXPECT_EQ(version.code, 0);
        EXPECT_NE(version.out.find(refusal), std::string::npos) << version.out;
    }
}

TEST(LibraryLoading, ATruncatedLibraryGivesAMessageInsteadOfACrash) {
    for (const char* file_name : {kestra_file_name, wavesave_file_name}) {
        const std::uintmax_t whole = fs::file_size(fs::path(VARNIKA_CLI_PROGRAM).parent_path() / file_name);
        // Cut inside the code, inside the program headers, and only the section headers lost.
        for (const std::uintmax_t length : {whole / 2, std::uintmax_t{100}, whole - 64}) {
            SCOPED_TRACE(std::string(file_name) + " cut to " + std::to_string(length));
            const PortableCopy copy;
            copy.truncate(file_name, length);
            const Ended made = copy.run("make-awg sig.awv --link uplink --ratio 12");
            EXPECT_EQ(made.signal, 0);
            EXPECT_EQ(made.code, 5) << made.err;
            EXPECT_NE(made.err.find("The library " + std::string(file_name) + " in " + copy.path().string() +
                                    " is damaged: it holds " + std::to_string(length) + " bytes"),
                      std::string::npos)
                << made.err;
            EXPECT_FALSE(fs::exists(copy.path() / "sig.awv"));
        }
    }
    // A library that is no ELF file at all.
    const PortableCopy copy;
    testing::write_file(copy.path() / kestra_file_name, std::string(200, 'x'));
    const Ended made = copy.run("make-awg sig.awv --link uplink --ratio 12");
    EXPECT_EQ(made.code, 5) << made.err;
    EXPECT_NE(made.err.find("is not a shared library (it has no ELF header)"), std::string::npos) << made.err;
}

// Setting the tester's address, as a settings line or with --set, looks nothing up: only a run that saves
// into the tester's folder does (a dead name server would otherwise hold every command for seconds).
TEST(TesterLookUp, SettingTheAddressLooksNothingUpUntilARunSavesToTheTester) {
    const PortableCopy copy;
    copy.replace(wavesave_file_name, VARNIKA_LOOKUP_MARK_LIBRARY);
    const fs::path mark = copy.path() / "looked-up";
    ASSERT_EQ(::setenv("VARNIKA_LOOKUP_MARK", mark.c_str(), 1), 0);
    const std::string address =
        "--set IPaddressUL=0 --set IPadress1=127 --set IPadress2=0 --set IPadress3=0 --set IPadress4=1";
    const Ended listed = copy.run(address + " --set SaveMode=0 --list-keys IPadress --save-settings");
    EXPECT_EQ(listed.code, 0) << listed.err;
    EXPECT_FALSE(fs::exists(mark)) << "looked up by --set";
    const Ended saved_here = copy.run("--list-keys SaveMode");
    EXPECT_EQ(saved_here.code, 0) << saved_here.err;
    EXPECT_FALSE(fs::exists(mark)) << "looked up at start-up from the saved address";
    // A run that saves into the tester's folder asks for it (the stand-in's answer is a failure).
    copy.run(address + " --set SaveMode=1 make-awg t.awv --link downlink");
    EXPECT_TRUE(fs::exists(mark));
    ::unsetenv("VARNIKA_LOOKUP_MARK");
}

} // namespace
} // namespace varnika
