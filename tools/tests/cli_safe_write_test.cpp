// varnika-cli writing files as a professional tool must: parallel runs into the tester's share never mix
// their files, an upload never destroys the tester's earlier file, no temporary name can be planted,
// replacing keeps a file's protection, interrupts leave nothing behind, and every failure names its real
// cause. The tester is a Samba server of the test's own on 127.0.0.1, its port named in the environment.
#include "cli_session.h"
#include "run_samba.h"

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <sstream>
#include <thread>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using testing::file_text;
using testing::files_in;
using testing::SambaServer;
using testing::TemporaryFolder;
using testing::without_date_line;

void write_text(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// system_def.ini naming the tester by `host`, saving into its waveform folder when `to_tester`.
std::string system_settings(const std::string& host, bool to_tester) {
    std::string text;
    for (const std::string& line :
         {std::string("EV-DV_System_Configuration_File"), std::string("link_flag:1"),
          std::string("Uplink_Tab:0"), std::string("Downlink_Tab:0"), "HostName:" + host,
          std::string("IPadress1:0"), std::string("IPadress2:0"), std::string("IPadress3:0"),
          std::string("IPadress4:0"), std::string(to_tester ? "SaveMode:1" : "SaveMode:0"),
          std::string("IPaddressUL:1")}) {
        text += line + "\r\n";
    }
    return text;
}

// varnika-cli as its own process, its streams into files beside `home`.
class CliProcess {
public:
    CliProcess(const std::vector<std::string>& words, const fs::path& home, int smb_port = 0)
        : err_(home / ("err" + next())) {
        pid_ = fork();
        if (pid_ == 0) {
            if (smb_port > 0) {
                setenv("VARNIKA_SMB_PORT", std::to_string(smb_port).c_str(), 1);
            }
            const int out = open("/dev/null", O_WRONLY);
            const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            std::vector<char*> argv{const_cast<char*>(VARNIKA_CLI_PROGRAM)};
            for (const std::string& word : words) {
                argv.push_back(const_cast<char*>(word.c_str()));
            }
            argv.push_back(nullptr);
            execv(VARNIKA_CLI_PROGRAM, argv.data());
            _exit(127);
        }
    }
    pid_t pid() const { return pid_; }
    // The exit code, or 128 + the signal that ended it.
    int wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string errors() const { return file_text(err_); }

private:
    static std::string next() {
        static int count = 0;
        return std::to_string(++count);
    }
    fs::path err_;
    pid_t pid_ = -1;
};

// Names in `folder` that are temporaries of a writer.
std::vector<std::string> temporaries_in(const fs::path& folder) {
    std::vector<std::string> found;
    for (const std::string& name : files_in(folder)) {
        if (name.starts_with(".vnk")) {
            found.push_back(name);
        }
    }
    return found;
}

class TesterSave : public ::testing::Test {
protected:
    explicit TesterSave(std::size_t share_bytes = 0) : server(share_bytes) {}
    void SetUp() override {
        if (!server.running()) {
            GTEST_SKIP() << server.why_not();
        }
        write_text(settings / "system_def.ini", system_settings("127.0.0.1", true));
    }
    std::vector<std::string> awg(const std::string& name, int test_model) const {
        return {"make-awg",     (local / name).string(),    "--settings-dir", settings.path().string(),
                "--test-model", std::to_string(test_model), "--ratio",        "12"};
    }
    // The same run saved on this computer, for comparison.
    std::string made_here(int test_model) {
        const TemporaryFolder own_settings;
        const fs::path file = local / ("here" + std::to_string(test_model) + ".awv");
        std::ostringstream out;
        std::ostringstream err;
        const std::vector<std::string> words{
            "make-awg", file.string(), "--settings-dir", own_settings.path().string(),
            "--link",   "downlink",    "--test-model",   std::to_string(test_model),
            "--ratio",  "12"};
        EXPECT_EQ(run_cli(words, program_folder(), out, err), exit_ok) << err.str();
        return file_text(file);
    }

    SambaServer server;
    int port = server.port();
    TemporaryFolder home;
    TemporaryFolder settings;
    TemporaryFolder local;
};

TEST_F(TesterSave, NineParallelRunsEachUploadTheirOwnWholeFile) {
    std::vector<std::unique_ptr<CliProcess>> runs;
    for (int model = 1; model <= 9; ++model) {
        runs.push_back(std::make_unique<CliProcess>(awg("tm" + std::to_string(model) + ".awv", model),
                                                    home.path(), server.port()));
    }
    for (int model = 1; model <= 9; ++model) {
        CliProcess& run = *runs[static_cast<std::size_t>(model - 1)];
        EXPECT_EQ(run.wait(), exit_ok) << run.errors();
    }
    for (int model = 1; model <= 9; ++model) {
        SCOPED_TRACE(model);
        const std::string sent = file_text(server.share_folder() / ("tm" + std::to_string(model) + ".awv"));
        const std::string here = made_here(model);
        ASSERT_EQ(sent.size(), here.size());
        EXPECT_TRUE(without_date_line(sent) == without_date_line(here)) << "another run's waveform";
    }
    EXPECT_TRUE(temporaries_in(server.share_folder()).empty());
    EXPECT_EQ(files_in(local.path()).size(), 18u) << "each file where it was asked for, and the comparisons";
}

TEST_F(TesterSave, AnUnknownOrUnreachableTesterStillLeavesTheFileWhereItWasAskedFor) {
    for (const std::string& host : std::vector<std::string>{"no-such-host.invalid", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        write_text(settings / "system_def.ini", system_settings(host, true));
        if (host == "127.0.0.1") {
            server.stop();
        }
        CliProcess run(awg("tm1.awv", 1), home.path(), port);
        if (host == "127.0.0.1") {
            EXPECT_EQ(run.wait(), exit_not_written);
            EXPECT_NE(run.errors().find("the share did not answer (Connection refused)"), std::string::npos)
                << run.errors();
        } else {
            EXPECT_EQ(run.wait(), exit_ok);
            EXPECT_NE(run.errors().find("warning: The tester's waveform folder is unknown: the host name "
                                        "\"no-such-host.invalid\" was not found."),
                      std::string::npos)
                << run.errors();
        }
        EXPECT_EQ(files_in(local.path()), std::vector<std::string>{"tm1.awv"});
        fs::remove(local / "tm1.awv");
    }
}

class FullShare : public TesterSave {
protected:
    FullShare() : TesterSave(4 << 20) {}
};

TEST_F(FullShare, TheEarlierFileStaysWholeWhenTheShareFillsUp) {
    const std::string earlier(1 << 20, 'e');
    write_text(server.share_folder() / "tm1.awv", earlier);
    CliProcess run(awg("tm1.awv", 1), home.path(), port); // about 3 MB more: more than the share holds
    EXPECT_EQ(run.wait(), exit_not_written);
    EXPECT_NE(run.errors().find("No space left on device"), std::string::npos) << run.errors();
    EXPECT_TRUE(file_text(server.share_folder() / "tm1.awv") == earlier) << "the earlier file was harmed";
    EXPECT_EQ(files_in(server.share_folder()), std::vector<std::string>{"tm1.awv"}) << "a temporary stayed";

    // With room again the new file replaces it whole.
    fs::remove(server.share_folder() / "tm1.awv");
    write_text(server.share_folder() / "tm1.awv", "old");
    CliProcess again(awg("tm1.awv", 1), home.path(), port);
    EXPECT_EQ(again.wait(), exit_ok) << again.errors();
    EXPECT_TRUE(file_text(server.share_folder() / "tm1.awv").starts_with("{COMMENT:"));
}

// Local writes: the output folder, its files and what may be planted in it.
class LocalWrite : public ::testing::Test {
protected:
    int make(const std::vector<std::string>& more, std::string* errors = nullptr) {
        std::vector<std::string> words{"--settings-dir", settings.path().string(), "--ratio", "12"};
        words.insert(words.begin(), more.begin(), more.end());
        std::ostringstream out;
        std::ostringstream err;
        const int code = run_cli(words, program_folder(), out, err);
        if (errors != nullptr) {
            *errors = err.str();
        }
        return code;
    }
    std::string in_output(const std::string& name) const { return (output / name).string(); }

    TemporaryFolder settings;
    TemporaryFolder output;
    TemporaryFolder elsewhere;
};

TEST_F(LocalWrite, PlantedLinksAtEveryTemporaryNameAreNeverFollowed) {
    const fs::path victim = elsewhere / "victim";
    write_text(victim, "precious");
    // The names the program once used, and the output and settings files themselves.
    for (const char* name : {".sig.awv.partial", "$$$kestra_sigtemp", "$$$kestra_tsigtemp"}) {
        fs::create_symlink(victim, output / name);
    }
    for (const char* name : {"system_def.ini.tmp", "uplink_def.ini.tmp", "downlink_def.ini.tmp"}) {
        fs::create_symlink(victim, settings / name);
    }
    std::string errors;
    ASSERT_EQ(make({"make-awg", in_output("sig.awv"), "--save-settings"}, &errors), exit_ok) << errors;
    EXPECT_EQ(file_text(victim), "precious");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(output / "sig.awv")));
    EXPECT_TRUE(temporaries_in(output.path()).empty());
    EXPECT_TRUE(temporaries_in(settings.path()).empty());
}

TEST_F(LocalWrite, ReplacingKeepsTheModeAndARefusedFileIsNamed) {
    ASSERT_EQ(make({"make-floating", in_output("kept.dat")}), exit_ok);
    fs::permissions(output / "kept.dat", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(make({"make-floating", in_output("kept.dat"), "--link", "downlink", "--save-settings"}),
              exit_ok);
    EXPECT_EQ(fs::status(output / "kept.dat").permissions(), fs::perms::owner_read | fs::perms::owner_write);
    fs::permissions(settings / "uplink_def.ini", fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(make({"--save-settings"}), exit_ok);
    EXPECT_EQ(fs::status(settings / "uplink_def.ini").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);

    const std::string before = file_text(output / "kept.dat");
    fs::permissions(output / "kept.dat",
                    fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    std::string errors;
    EXPECT_EQ(make({"make-floating", in_output("kept.dat")}, &errors), exit_not_written);
    EXPECT_NE(errors.find(in_output("kept.dat") + " was not written: Permission denied"), std::string::npos)
        << errors;
    EXPECT_TRUE(file_text(output / "kept.dat") == before);
    EXPECT_EQ(files_in(output.path()), std::vector<std::string>{"kept.dat"});
}

TEST_F(LocalWrite, LongNamesWorkAndFailuresNameTheirCause) {
    const std::string longest(255 - 4, 'n');
    ASSERT_EQ(make({"make-awg", in_output(longest + ".awv")}), exit_ok);
    EXPECT_EQ(files_in(output.path()), std::vector<std::string>{longest + ".awv"});

    std::string errors;
    EXPECT_EQ(make({"make-awg", in_output(longest + "x.awv")}, &errors), exit_not_written);
    EXPECT_NE(errors.find("File name too long"), std::string::npos) << errors;

    // A full disk: a small memory file system of the test's own (mounting needs root).
    const fs::path small = elsewhere / "small";
    fs::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here";
    }
    write_text(small / "sig.awv", "old");
    EXPECT_EQ(make({"make-awg", (small / "sig.awv").string()}, &errors), exit_not_written);
    EXPECT_NE(errors.find("No space left on device"), std::string::npos) << errors;
    EXPECT_EQ(file_text(small / "sig.awv"), "old");
    EXPECT_EQ(files_in(small), std::vector<std::string>{"sig.awv"});
    umount2(small.c_str(), MNT_DETACH);
}

TEST_F(LocalWrite, InterruptsLeaveNoTemporaryAndLeftoversOfKilledRunsGo) {
    const TemporaryFolder home;
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal_number);
        write_text(output / "sig.awv", "old");
        bool caught = false;
        // Signal the run while its temporary exists; a run too quick for that is tried again.
        for (int attempt = 0; attempt < 5 && !caught; ++attempt) {
            CliProcess run({"make-awg", in_output("sig.awv"), "--settings-dir", settings.path().string(),
                            "--link", "downlink", "--test-model", "9", "--ratio", "80"},
                           home.path());
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (temporaries_in(output.path()).empty() && std::chrono::steady_clock::now() < end) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            kill(run.pid(), signal_number);
            caught = run.wait() == 128 + signal_number;
        }
        ASSERT_TRUE(caught) << "the run was never caught writing";
        EXPECT_EQ(files_in(output.path()), std::vector<std::string>{"sig.awv"});
        EXPECT_EQ(file_text(output / "sig.awv"), "old");
    }

    // A temporary whose process is gone (killed outright) goes with the next write into its folder; one
    // of a living process stays.
    const pid_t gone = fork();
    if (gone == 0) {
        _exit(0);
    }
    waitpid(gone, nullptr, 0);
    const std::string dead = ".vnk" + std::to_string(gone) + ".AbC123";
    const std::string living = ".vnk" + std::to_string(getpid()) + ".AbC123";
    write_text(output / dead, "left by a killed run");
    write_text(output / living, "being written");
    ASSERT_EQ(make({"make-floating", in_output("x.dat")}), exit_ok);
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{living, "sig.awv", "x.dat"}));
}

TEST_F(LocalWrite, AnUnusableWaveformEndsWithItsOwnCodeAndWritesNothing) {
    const TemporaryFolder libraries;
    fs::create_symlink(VARNIKA_UNUSABLE_KESTRA, libraries / kestra_file_name);
    fs::create_symlink(program_folder() / wavesave_file_name, libraries / wavesave_file_name);
    write_text(output / "kept.awv", "old");
    std::ostringstream out;
    std::ostringstream err;
    const std::vector<std::string> words{"make-awg", in_output("kept.awv"), "--ratio",
                                         "12",       "--settings-dir",      settings.path().string()};
    EXPECT_EQ(run_cli(words, libraries.path(), out, err), exit_bad_waveform);
    EXPECT_EQ(err.str(),
              "varnika-cli: Make AWG File: The waveform is not usable: every sample is zero. No file "
              "was written.\n");
    EXPECT_EQ(file_text(output / "kept.awv"), "old");
    EXPECT_EQ(files_in(output.path()), std::vector<std::string>{"kept.awv"});
}

// The SMB client library is loaded only by a run that uploads.
TEST(CliStart, HelpDoesNotLoadTheSmbClientLibrary) {
    const TemporaryFolder folder;
    const std::string line = "LD_DEBUG=libs '" + std::string(VARNIKA_CLI_PROGRAM) +
                             "' --help >/dev/null 2>'" + (folder / "loaded").string() + "'";
    ASSERT_EQ(std::system(line.c_str()), 0);
    const std::string loaded = file_text(folder / "loaded");
    EXPECT_NE(loaded.find("libstdc++"), std::string::npos) << "no loader trace";
    EXPECT_EQ(loaded.find("libsmbclient"), std::string::npos);
}

} // namespace
} // namespace varnika::cli
