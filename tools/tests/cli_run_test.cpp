// varnika-cli against the window: the files it writes are the window's run's files for the same settings,
// each option reaches the rule of its control, every failure has its own exit code and leaves nothing
// behind, and saved settings give the window the same page.
#include "cli_outcome.h"
#include "cli_session.h"
#include "run_support.h"
#include "window/downlink_file.h"
#include "window/settings_files.h"

#include <safewrite/safe_file.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <sys/wait.h>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using testing::file_text;
using testing::files_in;
using testing::line_count;
using testing::TemporaryFolder;
using testing::without_date_line;

void write_text(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
}

// The window with its own generation run over the test fakes, started up from the settings files in
// `settings_folder` (none: the defaults).
struct Window {
    explicit Window(const fs::path& settings_folder = {}) {
        form.settings_folder = settings_folder;
        start_up(form);
    }

    // Presses `button` with the save dialog answering `file` (filter entry 1); the file's contents.
    std::string make(const form::Button& button, const fs::path& file) {
        desktop.answer = {file.string(), 1};
        button.press();
        EXPECT_TRUE(platform.shown.empty());
        return file_text(file);
    }
    void choose_test_model(int entry) {
        form.downlink_channels.DL_CH_TestModel_Combo.select(entry);
        form.downlink_channels.DL_CH_TestModel_Command.press();
    }
    // Everything the three settings files would hold: the whole page.
    std::vector<std::string> page() {
        std::vector<std::string> lines = system_settings_lines(form.model);
        for (auto& more : {uplink_settings_lines(form), downlink_settings_lines(form)}) {
            lines.insert(lines.end(), more.begin(), more.end());
        }
        return lines;
    }

    testing::MessagePlatform platform;
    MainForm form{platform};
    testing::FakeDesktop desktop;
    ProgramLibraries libraries{program_folder()};
    TemporaryFolder program;
    TesterShare share;
    GenerationRun run{form, desktop, libraries, share, program.path()};
};

using testing::cli;
using testing::Outcome;

class Cli : public ::testing::Test {
protected:
    std::string in_output(const std::string& name) const { return (output / name).string(); }

    TemporaryFolder settings; // the settings folder, empty unless a test writes into it
    TemporaryFolder output;
};

TEST_F(Cli, AwgFileIsTheWindowsApartFromTheDateAndThePaprDialogIsPrinted) {
    const Outcome made =
        cli({"make-awg", in_output("cli.awv"), "--settings-dir", settings.path().string(), "--link",
             "downlink", "--test-model", "9", "--ratio", "12", "--iq-inverse", "on", "--save-settings"});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    EXPECT_EQ(made.err, "");

    Window window;
    window.form.Link_Selection_Option.select(downlink_item);
    window.choose_test_model(8); // "Test Model2  PDCH 16QAM"
    window.form.downlink_general.DL_Filter_Over_Combo.select_text("12");
    window.form.downlink_general.DL_Filter_IQinverse_Combo.select(1);
    const std::string by_window = window.make(window.form.MakeAWGFile_Button, output / "window.awv");

    const std::string by_cli = file_text(output / "cli.awv");
    ASSERT_EQ(by_cli.size(), by_window.size());
    EXPECT_GT(by_cli.size(), 12u * FRAME_CHIPS * 8);
    EXPECT_TRUE(without_date_line(by_cli) == without_date_line(by_window)) << "files differ";
    const PaprDialog& papr = window.run.papr;
    EXPECT_EQ(made.out, "PAPR: " + papr.PAPR[0].text() + " dB\nI: " + papr.PAPR[1].text() +
                            " dB\nQ: " + papr.PAPR[2].text() + " dB\n");
    // Nothing staged stays beside the file; the settings were saved after the run.
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"cli.awv", "window.awv"}));
    EXPECT_EQ(files_in(settings.path()),
              (std::vector<std::string>{"downlink_def.ini", "system_def.ini", "uplink_def.ini"}));
}

TEST_F(Cli, FloatingAndReferenceFilesAreTheWindowsInTesterMode) {
    const Outcome made =
        cli({"make-floating", in_output("cli.dat"), "--settings-dir", settings.path().string(), "--rc", "7",
             "--ratio", "4", "--reference", in_output("cli.ref")});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    EXPECT_EQ(made.out, "");

    Window window;
    window.form.uplink.UL_CH_Selection_Option.select(2);
    window.form.uplink.UL_Filter_Over_Combo.select_text("4");
    window.form.model.tester_mode_flag = 1; // the window writes the reference file in Tester Mode only
    const std::string by_window = window.make(window.form.MakeFloatingFile_Button, output / "window.dat");

    EXPECT_EQ(line_count(output / "cli.dat"), 4u * FRAME_CHIPS);
    EXPECT_TRUE(file_text(output / "cli.dat") == by_window) << "floating files differ";
    EXPECT_EQ(line_count(output / "cli.ref"), std::size_t{FRAME_CHIPS});
    EXPECT_TRUE(file_text(output / "cli.ref") == file_text(output / "window.ref"))
        << "reference files differ";
}

TEST_F(Cli, StartsUpFromTheSettingsFilesAsTheWindowDoes) {
    Window window;
    window.form.Link_Selection_Option.select(downlink_item);
    window.form.downlink_general.DL_Filter_Over_Combo.select_text("12");
    window.form.downlink_general.DL_Filter_Equa_Combo.select(1);
    window.choose_test_model(6); // "Test Model2  PDCH QPSK"
    MarkerFields& marker = window.form.markers.marker(0);
    marker.mode[downlink_item].select(1);
    marker.high[downlink_item].set_text("4096");
    marker.high[downlink_item].commit();
    window.form.settings_folder = settings.path();
    for (SettingsFile file : {SettingsFile::System, SettingsFile::Uplink, SettingsFile::Downlink}) {
        ASSERT_TRUE(write_settings_file(window.form, file));
    }
    const std::string by_window = window.make(window.form.MakeAWGFile_Button, output / "window.awv");

    const Outcome made = cli({"make-awg", in_output("cli.awv"), "--settings-dir", settings.path().string()});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    const std::string by_cli = file_text(output / "cli.awv");
    EXPECT_NE(by_cli.find("{MARKER1:ON;"), std::string::npos);
    EXPECT_TRUE(without_date_line(by_cli) == without_date_line(by_window)) << "files differ";
}

// One option, the same choice made in the window, and what only the control's rule does.
struct OptionCase {
    std::vector<std::string> words;
    std::function<void(Window&)> by_hand;
    std::function<void(const MainForm&)> rule_ran;
};

TEST_F(Cli, EveryOptionReachesTheRuleOfItsControl) {
    const double chip_rate_hz = 1.2288e6;
    const std::vector<OptionCase> cases{
        {{"--link", "downlink"},
         [](Window& w) { w.form.Link_Selection_Option.select(downlink_item); },
         [](const MainForm& f) {
             EXPECT_TRUE(f.DL_SSTab.visible());
             EXPECT_FALSE(f.UL_SSTab.visible());
         }},
        {{"--rc", "34"},
         [](Window& w) { w.form.uplink.UL_CH_Selection_Option.select(1); },
         [](const MainForm& f) {
             EXPECT_TRUE(f.uplink.rc34.UL_RC34_Frame.visible());
             EXPECT_FALSE(f.uplink.UL_RC12_Frame.visible());
         }},
        {{"--rc", "7"},
         [](Window& w) { w.form.uplink.UL_CH_Selection_Option.select(2); },
         [](const MainForm& f) { EXPECT_TRUE(f.uplink.rc7.UL_RC7_Frame.visible()); }},
        {{"--test-model", "4"},
         [](Window& w) { w.choose_test_model(3); },
         [](const MainForm& f) {
             EXPECT_EQ(f.downlink_channels.type_entry(F_FCH).multiplicity, 4);
             EXPECT_EQ(f.downlink_channels.DL_CH_Total_Multi_Text.text(),
                       "7"); // pilot, sync, paging, 4 F-FCH
         }},
        {{"--ratio", "48"},
         [](Window& w) { w.form.uplink.UL_Filter_Over_Combo.select_text("48"); },
         [&](const MainForm& f) { EXPECT_EQ(f.model.UL_SamplingRate, 48 * chip_rate_hz); }},
        {{"--iq-inverse", "on"},
         [](Window& w) { w.form.uplink.UL_Filter_IQinverse_Combo.select(1); },
         [](const MainForm& f) { EXPECT_EQ(f.uplink.UL_Filter_IQinverse_Combo.text(), "ON"); }},
        // Ratio and I/Q inversion belong to the link chosen by then, wherever --link stands.
        {{"--ratio", "32", "--iq-inverse", "on", "--link", "downlink"},
         [](Window& w) {
             w.form.Link_Selection_Option.select(downlink_item);
             w.form.downlink_general.DL_Filter_Over_Combo.select_text("32");
             w.form.downlink_general.DL_Filter_IQinverse_Combo.select(1);
         },
         [&](const MainForm& f) {
             EXPECT_EQ(f.model.DL_SamplingRate, 32 * chip_rate_hz);
             EXPECT_EQ(f.model.UL_SamplingRate, 20 * chip_rate_hz);
         }},
    };
    for (const OptionCase& option : cases) {
        SCOPED_TRACE(option.words.front() + " " + option.words[1]);
        std::vector<std::string> words{"make-awg", "x.awv"};
        words.insert(words.end(), option.words.begin(), option.words.end());
        const ParsedArguments parsed = parse_arguments(words);
        ASSERT_TRUE(parsed.options) << parsed.error;
        std::ostringstream errors;
        Session session(program_folder(), settings.path(), errors);
        const std::vector<std::string> before = Window().page();
        session.choose(*parsed.options);
        option.rule_ran(session.form);

        Window window;
        option.by_hand(window);
        std::vector<std::string> lines = system_settings_lines(session.form.model);
        for (auto& more : {uplink_settings_lines(session.form), downlink_settings_lines(session.form)}) {
            lines.insert(lines.end(), more.begin(), more.end());
        }
        EXPECT_NE(lines, before);
        EXPECT_EQ(lines, window.page());
        EXPECT_EQ(errors.str(), "");
    }
}

TEST_F(Cli, SavedSettingsGiveTheWindowTheSamePage) {
    const Outcome saved = cli({"--save-settings", "--settings-dir", settings.path().string(), "--link",
                               "downlink", "--test-model", "8", "--ratio", "48", "--iq-inverse", "on"});
    ASSERT_EQ(saved.code, exit_ok) << saved.err;

    // The same choices in the window, left with "Save and Quit".
    const TemporaryFolder saved_by_window;
    Window by_hand;
    by_hand.form.Link_Selection_Option.select(downlink_item);
    by_hand.choose_test_model(7);
    by_hand.form.downlink_general.DL_Filter_Over_Combo.select_text("48");
    by_hand.form.downlink_general.DL_Filter_IQinverse_Combo.select(1);
    by_hand.form.settings_folder = saved_by_window.path();
    by_hand.platform.on_modal = [&by_hand](form::Dialog&) {
        by_hand.form.exit_flow.dialog.ExitPara_Button[ExitDialog::save_and_quit].press();
    };
    ASSERT_TRUE(by_hand.form.exit_flow.close_requested());
    for (const char* name : {system_file_name, uplink_file_name, downlink_file_name}) {
        EXPECT_TRUE(file_text(settings / name) == file_text(saved_by_window / name)) << name;
    }

    Window restarted(settings.path());
    EXPECT_EQ(restarted.form.model.link_flag, downlink_item);
    EXPECT_EQ(restarted.form.downlink_general.DL_Filter_Over_Combo.text(), "48");
    EXPECT_EQ(restarted.form.downlink_channels.DL_CH_TestModel_Combo.text(), "Test Model2  PDCH 8PSK");
    EXPECT_EQ(restarted.form.downlink_channels.instance(F_PDCH, 0).DL_CH_MOD_Combo->text(), "8PSK");
    EXPECT_EQ(restarted.page(), Window(saved_by_window.path()).page());
}

TEST_F(Cli, NamesTheRowsItLeftOutAndWarnsOfAPhaseStepWithTheWindowsWaveform) {
    // Saved by the window: forward link, a 25 Hz frequency error, SCH's second and third rows both on W4(2).
    Window saved(settings.path());
    saved.form.Link_Selection_Option.select(downlink_item);
    FrequencyOffsetFrame& offset = saved.form.downlink_general.offset;
    offset.option.select(1);
    offset.freqerr.set_text("25");
    offset.freqerr.commit();
    DownlinkChannelPage& page = saved.form.downlink_channels;
    page.DL_CH_Multi_Text(F_SCH).set_text("3");
    page.DL_CH_Multi_Text(F_SCH).commit();
    page.DL_CH_Stat_Command(F_SCH).press();
    for (int k = 0; k < 3; ++k) {
        page.instance(F_SCH, k).DL_CH_WNO_Text->set_text(k == 0 ? "1" : "2");
        page.instance(F_SCH, k).DL_CH_WNO_Text->commit();
    }
    for (SettingsFile file : {SettingsFile::System, SettingsFile::Uplink, SettingsFile::Downlink}) {
        ASSERT_TRUE(write_settings_file(saved.form, file));
    }

    const Outcome made =
        cli({"make-floating", in_output("cli.dat"), "--settings-dir", settings.path().string()});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    EXPECT_EQ(made.err,
              "varnika-cli: warning: Frequency Error: not a multiple of 37.5 Hz: phase steps by 240 "
              "degrees where the frame repeats\n"
              "varnika-cli: warning: Left out (Walsh-code clash): F-SCH 2, F-SCH 3\n");
    // The waveform is the window's without the two rows left out; the note changes nothing in it.
    page.DL_CH_Multi_Text(F_SCH).set_text("1");
    page.DL_CH_Multi_Text(F_SCH).commit();
    ASSERT_FALSE(page.instance(F_SCH, 0).marked());
    EXPECT_EQ(file_text(output / "cli.dat"),
              saved.make(saved.form.MakeFloatingFile_Button, output / "window.dat"));
}

TEST_F(Cli, ARefusedRatioEndsWithTheWindowsMessageAndWritesNothing) {
    write_text(output / "kept.awv", "old");
    const Outcome refused = cli({"make-awg", in_output("kept.awv"), "--ratio", "8", "--settings-dir",
                                 settings.path().string(), "--save-settings"});
    EXPECT_EQ(refused.code, exit_ratio_refused);
    EXPECT_EQ(refused.err, std::string("varnika-cli: Make AWG File: ") + sampling_rate_message + "\n");
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(file_text(output / "kept.awv"), "old");
    EXPECT_EQ(files_in(output.path()), std::vector<std::string>{"kept.awv"});
    EXPECT_TRUE(files_in(settings.path()).empty()) << "settings saved after a failed run";
}

TEST_F(Cli, FilesThatCannotBeWrittenEndWithTheirOwnCodeAndLeaveNothingBehind) {
    const std::string settings_dir = settings.path().string();
    const std::vector<std::vector<std::string>> unwritable{
        {"make-awg", in_output("no-folder/x.awv")},
        {"make-awg", output.path().string()}, // a folder
        {"make-floating", in_output("x.dat"), "--reference", in_output("no-folder/x.ref")},
    };
    for (std::vector<std::string> words : unwritable) {
        SCOPED_TRACE(words[1]);
        words.insert(words.end(), {"--settings-dir", settings_dir, "--ratio", "12"});
        const Outcome failed = cli(words);
        EXPECT_EQ(failed.code, exit_not_written);
        EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
        EXPECT_TRUE(files_in(output.path()).empty());
    }

    // A settings file that is not a file is named at start-up and again, on one line, when it is not
    // replaced; the others are written.
    fs::create_directory(settings / "system_def.ini");
    const Outcome unsaved = cli({"--save-settings", "--settings-dir", settings_dir});
    EXPECT_EQ(unsaved.code, exit_not_written);
    EXPECT_EQ(std::count(unsaved.err.begin(), unsaved.err.end(), '\n'), 2) << unsaved.err;
    EXPECT_NE(unsaved.err.find("system_def.ini will not be saved until it is a file again."),
              std::string::npos)
        << unsaved.err;
    EXPECT_EQ(unsaved.err.find(".bak"), std::string::npos) << unsaved.err;
    EXPECT_NE(unsaved.err.find((settings / "system_def.ini").string()), std::string::npos) << unsaved.err;
}

TEST_F(Cli, AMissingLibraryEndsWithItsOwnCodeAndKeepsTheOldFile) {
    const TemporaryFolder without_libraries;
    write_text(output / "kept.awv", "old");
    for (const char* command : {"make-awg", "make-floating"}) {
        SCOPED_TRACE(command);
        const Outcome failed =
            cli({command, in_output("kept.awv"), "--ratio", "12"}, without_libraries.path());
        EXPECT_EQ(failed.code, exit_library_missing);
        EXPECT_NE(failed.err.find("No file was written. The library"), std::string::npos) << failed.err;
        EXPECT_EQ(std::count(failed.err.begin(), failed.err.end(), '\n'), 1) << failed.err;
        EXPECT_EQ(file_text(output / "kept.awv"), "old");
        EXPECT_EQ(files_in(output.path()), std::vector<std::string>{"kept.awv"});
    }
}

TEST_F(Cli, UsageErrorsAndHelp) {
    const Outcome unknown = cli({"make-awg", in_output("x.awv"), "--ratio", "10"});
    EXPECT_EQ(unknown.code, exit_usage);
    EXPECT_EQ(std::count(unknown.err.begin(), unknown.err.end(), '\n'), 1) << unknown.err;
    const Outcome no_folder = cli({"--save-settings", "--settings-dir", in_output("none")});
    EXPECT_EQ(no_folder.code, exit_usage);
    EXPECT_TRUE(files_in(output.path()).empty());

    const Outcome help = cli({"--help"});
    EXPECT_EQ(help.code, exit_ok);
    EXPECT_EQ(help.out, help_text(program_folder())); // ends naming the settings folder in use
    EXPECT_EQ(help.err, "");
}

TEST(SafeFile, AppearsWholeOnCommitAndIsRemovedOnInterrupt) {
    TemporaryFolder folder;
    {
        safewrite::SafeFile safe(folder / "sig.awv");
        ASSERT_FALSE(safe.open());
        EXPECT_EQ(safe.temporary().parent_path(), folder.path());
        ASSERT_FALSE(safe.write("samples"));
        EXPECT_TRUE(files_in(folder.path()).size() == 1 && !fs::exists(folder / "sig.awv"));
        ASSERT_FALSE(safe.commit());
    }
    EXPECT_EQ(files_in(folder.path()), std::vector<std::string>{"sig.awv"});
    EXPECT_EQ(file_text(folder / "sig.awv"), "samples");

    // What the signal handler does: the open temporary goes, the old file stays.
    safewrite::SafeFile interrupted(folder / "sig.awv");
    ASSERT_FALSE(interrupted.open());
    ASSERT_FALSE(interrupted.write("half"));
    safewrite::remove_open_temporaries();
    EXPECT_EQ(files_in(folder.path()), std::vector<std::string>{"sig.awv"});
    EXPECT_EQ(file_text(folder / "sig.awv"), "samples");
}

// The program itself, as a script runs it: exit status and output streams.
TEST(CliProgram, RunsAsItsOwnProcess) {
    TemporaryFolder folder;
    const fs::path streams = folder / "streams";
    fs::create_directory(streams);
    fs::create_directory(folder / "out");
    auto run = [&](const std::string& words) {
        const std::string line = std::string("'") + VARNIKA_CLI_PROGRAM + "' " + words + " >'" +
                                 (streams / "out").string() + "' 2>'" + (streams / "err").string() + "'";
        const int status = std::system(line.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    EXPECT_EQ(run("make-awg '" + (folder / "out" / "p.awv").string() + "' --ratio 12 --settings-dir '" +
                  folder.path().string() + "'"),
              exit_ok);
    EXPECT_EQ(line_count(streams / "out"), 3u);
    EXPECT_EQ(file_text(streams / "out").rfind("PAPR: ", 0), 0u);
    EXPECT_EQ(files_in(folder / "out"), std::vector<std::string>{"p.awv"});
    EXPECT_GT(fs::file_size(folder / "out" / "p.awv"), 12u * FRAME_CHIPS * 8);

    EXPECT_EQ(run("--bogus"), exit_usage);
    EXPECT_EQ(line_count(streams / "err"), 1u);
    EXPECT_EQ(file_text(streams / "out"), "");
}

} // namespace
} // namespace varnika::cli
