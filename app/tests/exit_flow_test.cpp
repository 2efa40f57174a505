// Leaving the program: the exit dialog's three answers and the settings files they write.
#include "settings_files_support.h"
#include "window/downlink_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace varnika {
namespace {

using testing::ProgramFolder;
using testing::StartedProgram;

const std::vector<std::string> file_names{"system_def.ini", "uplink_def.ini", "downlink_def.ini"};

// A program started from a folder that holds all three files, written from a page with some changes.
class ProgramWithSettings : public ::testing::Test {
protected:
    void SetUp() override {
        StartedProgram first(folder.path());
        first.form->Link_Selection_Option.select(1);
        first.form->uplink.UL_Filter_Over_Combo.select_text("8");
        first.form->downlink_channels.DL_CH_Stat_Command(PCH).press();
        for (SettingsFile file : {SettingsFile::System, SettingsFile::Uplink, SettingsFile::Downlink}) {
            ASSERT_TRUE(write_settings_file(*first.form, file));
        }
        program = std::make_unique<StartedProgram>(folder.path());
        ASSERT_EQ(form().model.link_flag, 1);
    }

    MainForm& form() { return *program->form; }
    testing::FakePlatform& platform() { return program->platform; }
    void answer(int button) {
        platform().on_modal = [this, button](form::Dialog& dialog) {
            EXPECT_EQ(&dialog, &form().exit_flow.dialog.Form2);
            EXPECT_TRUE(dialog.visible());
            form().exit_flow.dialog.ExitPara_Button[static_cast<std::size_t>(button)].press();
        };
    }
    std::vector<std::string> contents() const {
        std::vector<std::string> found;
        for (const std::string& name : file_names) {
            found.push_back(folder.read(name));
        }
        return found;
    }
    // What the program writes for its page as it stands.
    std::vector<std::string> expected_contents() {
        std::vector<std::string> expected;
        for (const auto& lines : {system_settings_lines(form().model), uplink_settings_lines(form()),
                                  downlink_settings_lines(form())}) {
            expected.push_back(testing::crlf_text(lines));
        }
        return expected;
    }

    ProgramFolder folder;
    std::unique_ptr<StartedProgram> program;
};

TEST_F(ProgramWithSettings, CancelKeepsTheProgramAndAnotherExitAsksAgain) {
    const auto before = contents();
    form().downlink_channels.DL_CH_Stat_Command(BCCH).press();
    answer(ExitDialog::cancel);
    EXPECT_FALSE(form().exit_flow.close_requested());
    EXPECT_FALSE(form().model.quit_flag);
    EXPECT_FALSE(form().model.save_flag);
    EXPECT_FALSE(form().exit_flow.dialog.Form2.visible());

    // The dialog's own close box answers nothing, which is Cancel too.
    platform().on_modal = {};
    EXPECT_FALSE(form().exit_flow.close_requested());
    EXPECT_EQ(platform().modal_runs, 2);
    EXPECT_EQ(contents(), before);
    EXPECT_TRUE(platform().messages.empty());
}

TEST_F(ProgramWithSettings, QuitWithoutSavingLeavesTheFilesByteForByte) {
    const auto before = contents();
    form().Link_Selection_Option.select(0);
    form().uplink.UL_Filter_Over_Combo.select_text("80");
    form().downlink_channels.DL_CH_Stat_Command(BCCH).press();
    answer(ExitDialog::quit_without_saving);
    EXPECT_TRUE(form().exit_flow.close_requested());
    EXPECT_TRUE(form().model.quit_flag);
    EXPECT_FALSE(form().model.save_flag);
    EXPECT_EQ(contents(), before);
    EXPECT_EQ(folder.names().size(), 3u);
}

TEST_F(ProgramWithSettings, SaveAndQuitAfterADownlinkChangeRewritesAllThreeSystemFirst) {
    // Stand-ins on the disk, so that every rewrite shows; the page in the window is unchanged by them.
    for (const std::string& name : file_names) {
        folder.write(name, "old\r\n");
    }
    form().downlink_channels.DL_CH_Stat_Command(BCCH).press();
    platform().on_modal = [this](form::Dialog&) {
        form().exit_flow.dialog.ExitPara_Button[ExitDialog::save_and_quit].press();
        // The dialog writes the system file; the other two follow once it has closed.
        EXPECT_NE(folder.read("system_def.ini"), "old\r\n");
        EXPECT_EQ(folder.read("uplink_def.ini"), "old\r\n");
        EXPECT_EQ(folder.read("downlink_def.ini"), "old\r\n");
        EXPECT_FALSE(form().exit_flow.dialog.Form2.visible());
    };
    EXPECT_TRUE(form().exit_flow.close_requested());
    EXPECT_TRUE(form().model.save_flag);
    EXPECT_TRUE(form().model.quit_flag);
    EXPECT_EQ(contents(), expected_contents());
    EXPECT_NE(contents()[2].find("CH_Stat_3:ON\r\n"), std::string::npos);
}

TEST_F(ProgramWithSettings, AFileThatCannotBeWrittenIsNamedAndTheProgramStaysOpen) {
    std::filesystem::remove(folder / "uplink_def.ini");
    std::filesystem::create_directory(folder / "uplink_def.ini"); // nothing can replace it
    form().downlink_channels.DL_CH_Stat_Command(BCCH).press();
    answer(ExitDialog::save_and_quit);
    EXPECT_FALSE(form().exit_flow.close_requested());
    ASSERT_EQ(platform().messages.size(), 1u);
    EXPECT_NE(platform().messages[0].find((folder / "uplink_def.ini").string()), std::string::npos);
    EXPECT_EQ(platform().messages[0].find("system_def.ini"), std::string::npos);
    EXPECT_FALSE(form().model.quit_flag);
    EXPECT_FALSE(form().model.save_flag);
    // The files that could be written were.
    const auto expected = expected_contents();
    EXPECT_EQ(folder.read("system_def.ini"), expected[0]);
    EXPECT_EQ(folder.read("downlink_def.ini"), expected[2]);

    // The user clears the way and chooses again.
    std::filesystem::remove(folder / "uplink_def.ini");
    EXPECT_TRUE(form().exit_flow.close_requested());
    EXPECT_EQ(contents(), expected);
    EXPECT_EQ(platform().messages.size(), 1u);
}

TEST(ExitFlow, WithoutAProgramFolderSavingFailsAndSaysSo) {
    StartedProgram program;
    program.platform.on_modal = [&program](form::Dialog&) {
        program.form->exit_flow.dialog.ExitPara_Button[ExitDialog::save_and_quit].press();
    };
    EXPECT_FALSE(program.form->exit_flow.close_requested());
    ASSERT_EQ(program.platform.messages.size(), 1u);
    for (const std::string& name : file_names) {
        EXPECT_NE(program.platform.messages[0].find(name), std::string::npos) << name;
    }
}

TEST(ExitFlow, ACloseRequestWhileTheDialogIsOpenIsLeftToTheDialog) {
    StartedProgram program;
    ExitFlow& exit = program.form->exit_flow;
    bool inner = true;
    program.platform.on_modal = [&](form::Dialog&) {
        inner = exit.close_requested();
        exit.dialog.ExitPara_Button[ExitDialog::quit_without_saving].press();
    };
    EXPECT_TRUE(exit.close_requested());
    EXPECT_FALSE(inner);
    EXPECT_EQ(program.platform.modal_runs, 1);
}

} // namespace
} // namespace varnika
