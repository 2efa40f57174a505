// The tester's waveform share reached over SMB, against a Samba server of the test's own on 127.0.0.1:
// the upload itself, an AWG run in tester-save mode that uploads both files, and the failure paths (no
// server, no permission, temporary file missing). All traffic stays on 127.0.0.1.
#include "run_samba.h"

namespace varnika {
namespace {

using testing::file_text;
using testing::files_in;
using testing::SambaServer;
using testing::TemporaryFolder;
namespace fs = std::filesystem;

const ShareName loopback_share{"127.0.0.1", "waveform"};

std::string all_byte_values(std::size_t length) {
    std::string bytes(length, '\0');
    for (std::size_t k = 0; k < length; ++k) {
        bytes[k] = static_cast<char>((k * 7 + k / 256) & 0xFF);
    }
    return bytes;
}

TEST(TesterShareUpload, PutsTheFileIntoTheShareUnderTheChosenName) {
    SambaServer server;
    if (!server.running()) {
        GTEST_SKIP() << server.why_not();
    }
    TemporaryFolder local;
    const std::string content = all_byte_values(200'000); // several write chunks
    std::ofstream(local / "temp", std::ios::binary) << content;
    const TesterShare share(
        {.mount_table = local / "none", .gvfs_folder = local / "none", .port = server.port()});

    EXPECT_EQ(share.upload(loopback_share, local / "temp", "sig 1.awv"), std::nullopt);
    EXPECT_TRUE(file_text(server.share_folder() / "sig 1.awv") == content) << "content differs";
    // An existing file of that name is replaced.
    std::ofstream(local / "temp", std::ios::binary | std::ios::trunc) << "short";
    EXPECT_EQ(share.upload(loopback_share, local / "temp", "sig 1.awv"), std::nullopt);
    EXPECT_EQ(file_text(server.share_folder() / "sig 1.awv"), "short");
}

TEST(TesterShareUpload, FailuresAreDescribedAndLeaveNothingOnTheShare) {
    SambaServer server;
    if (!server.running()) {
        GTEST_SKIP() << server.why_not();
    }
    TemporaryFolder local;
    std::ofstream(local / "temp") << "waveform";
    const TesterShare share(
        {.mount_table = local / "none", .gvfs_folder = local / "none", .port = server.port()});

    const auto missing = share.upload(loopback_share, local / "no such file", "a.awv");
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->find("missing"), std::string::npos) << *missing;

    fs::permissions(server.share_folder(), fs::perms::owner_all | fs::perms::group_read |
                                               fs::perms::group_exec | fs::perms::others_read |
                                               fs::perms::others_exec);
    const auto refused = share.upload(loopback_share, local / "temp", "b.awv");
    ASSERT_TRUE(refused);
    EXPECT_NE(refused->find("denied"), std::string::npos) << *refused;
    EXPECT_TRUE(files_in(server.share_folder()).empty());

    server.stop();
    const auto unreachable = share.upload(loopback_share, local / "temp", "c.awv");
    ASSERT_TRUE(unreachable);
    EXPECT_NE(unreachable->find("refused"), std::string::npos) << *unreachable;
}

class TesterSaveRun : public testing::RunFixture {
protected:
    TesterSaveRun() {
        form.model.tester_mode_flag = 1;
        form.network.SaveMode_dl_Option.select(1);
        form.model.TesterFolder = "\\\\127.0.0.1\\waveform";
        choose_uplink("12");
    }

    // A run that reaches the share at `port`, unmounted here.
    void make_awg_file_through(int port) {
        smb = std::make_unique<TesterShare>(TesterShare::Options{
            .mount_table = elsewhere / "none", .gvfs_folder = elsewhere / "none", .port = port});
        smb_run = std::make_unique<GenerationRun>(form, desktop, *libraries, *smb, program.path());
        answer_with("sig.awv");
        form.MakeAWGFile_Button.press();
    }
    bool papr_dialog_shown() const { return smb_run->papr.Form3.visible(); }

    void expect_run_ended_cleanly() {
        EXPECT_TRUE(form.MakeAWGFile_Button.enabled());
        EXPECT_EQ(desktop.events.back(), "normal");
        EXPECT_TRUE(files_in(program.path()).empty()) << "a temporary file stayed behind";
    }

    SambaServer server;
    std::unique_ptr<TesterShare> smb;
    std::unique_ptr<GenerationRun> smb_run;
};

TEST_F(TesterSaveRun, UploadsTheWaveformAndTheReferenceUnderTheNamesChosen) {
    if (!server.running()) {
        GTEST_SKIP() << server.why_not();
    }
    make_awg_file_through(server.port());

    EXPECT_TRUE(platform.shown.empty()) << platform.shown.front().text;
    EXPECT_EQ(desktop.requests[0].initial_folder, "") << "the share is not mounted here";
    EXPECT_EQ(files_in(server.share_folder()), (std::vector<std::string>{"sig.awv", "sig.ref"}));
    EXPECT_TRUE(file_text(server.share_folder() / "sig.awv").starts_with("{COMMENT:EVDOWaveform}\n"));
    EXPECT_EQ(testing::line_count(server.share_folder() / "sig.ref"), 32768u);
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"sig.awv", "sig.ref"}))
        << "the folder chosen in the dialog keeps its files";
    EXPECT_TRUE(file_text(output / "sig.awv") == file_text(server.share_folder() / "sig.awv"));
    EXPECT_TRUE(papr_dialog_shown());
    expect_run_ended_cleanly();
}

TEST_F(TesterSaveRun, WithoutPermissionTheUserIsToldAndTheProgramCarriesOn) {
    if (!server.running()) {
        GTEST_SKIP() << server.why_not();
    }
    fs::permissions(server.share_folder(), fs::perms::owner_all);
    make_awg_file_through(server.port());

    ASSERT_EQ(platform.shown.size(), 1u);
    const std::string& text = platform.shown[0].text;
    EXPECT_NE(text.find("sig.awv"), std::string::npos) << text;
    EXPECT_NE(text.find("sig.ref"), std::string::npos) << text;
    EXPECT_NE(text.find("\\\\127.0.0.1\\waveform"), std::string::npos) << text;
    EXPECT_NE(text.find("was saved as " + (output / "sig.awv").string() + " but not copied"),
              std::string::npos)
        << text;
    EXPECT_TRUE(papr_dialog_shown()) << "the waveform was written where the user chose";
    expect_run_ended_cleanly();
    EXPECT_TRUE(files_in(server.share_folder()).empty());
}

TEST_F(TesterSaveRun, WithTheServerGoneTheUserIsToldAndTheProgramCarriesOn) {
    if (!server.running()) {
        GTEST_SKIP() << server.why_not();
    }
    const int port = server.port();
    server.stop();
    make_awg_file_through(port);

    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_NE(platform.shown[0].text.find("sig.awv"), std::string::npos) << platform.shown[0].text;
    EXPECT_NE(platform.shown[0].text.find("the share did not answer"), std::string::npos)
        << platform.shown[0].text;
    EXPECT_EQ(platform.shown[0].title, "Make AWG File");
    EXPECT_EQ(smb_run->last_result().outcome, RunOutcome::TesterUnreachable);
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"sig.awv", "sig.ref"}));
    expect_run_ended_cleanly();
}

// Without the SMB client library the program runs; only saving into an unmounted share is refused, and
// the message says what is missing and what to do.
TEST_F(TesterSaveRun, WithoutTheSmbClientLibraryOnlyThatSaveModeIsRefused) {
    if (!server.running()) {
        GTEST_SKIP() << server.why_not();
    }
    smb = std::make_unique<TesterShare>(TesterShare::Options{.smb_library = "libsmbclient-absent.so.0",
                                                             .mount_table = elsewhere / "none",
                                                             .gvfs_folder = elsewhere / "none",
                                                             .port = server.port()});
    smb_run = std::make_unique<GenerationRun>(form, desktop, *libraries, *smb, program.path());
    answer_with("sig.awv");
    EXPECT_EQ(smb_run->make_awg_file().outcome, RunOutcome::NotWritten);
    ASSERT_EQ(platform.shown.size(), 1u);
    const std::string& text = platform.shown[0].text;
    EXPECT_NE(text.find("SMB client library libsmbclient-absent.so.0 is not available"), std::string::npos)
        << text;
    EXPECT_NE(text.find("save on this computer"), std::string::npos) << text;
    EXPECT_TRUE(files_in(server.share_folder()).empty());
    expect_run_ended_cleanly();

    // Saving on this computer is untouched.
    form.network.SaveMode_dl_Option.select(0);
    EXPECT_EQ(smb_run->make_awg_file().outcome, RunOutcome::Done);
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"sig.awv", "sig.ref"}));
}

} // namespace
} // namespace varnika
