// The two generation runs over a fake desktop and the real libraries: the sampling-rate check, the save
// dialog and cancelling it, the busy pointer and the two points where messages are let through, markers,
// the PAPR dialog, file naming with Tester Mode, the tester-save mode, and the failure paths.
#include "run_support.h"

#include "run/file_naming.h"

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <sstream>

namespace varnika {
namespace {

using testing::file_text;
using testing::files_in;
using testing::line_count;
using testing::RunFixture;
namespace fs = std::filesystem;

// The header lines of an AWG file, up to the WAVEDATA line.
std::vector<std::string> awg_header(const fs::path& file) {
    std::istringstream in(file_text(file));
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        if (line.starts_with("{WAVEDATA:")) {
            break;
        }
        lines.push_back(line);
    }
    return lines;
}

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// PAPR, I and Q crest factors of the first `count` samples, in dB, from plain sums.
std::array<double, 3> measured_db(const IqSample* samples, std::int32_t count) {
    double sum_c = 0, sum_i = 0, sum_q = 0, max_c = 0, max_i = 0, max_q = 0;
    for (std::int32_t k = 0; k < count; ++k) {
        const double pi = samples[k].i * samples[k].i;
        const double pq = samples[k].q * samples[k].q;
        sum_i += pi;
        sum_q += pq;
        sum_c += pi + pq;
        max_i = std::max(max_i, pi);
        max_q = std::max(max_q, pq);
        max_c = std::max(max_c, pi + pq);
    }
    const double n = count;
    return {10 * std::log10(max_c / (sum_c / n)), 10 * std::log10(max_i / (sum_i / n)),
            10 * std::log10(max_q / (sum_q / n))};
}

using AwgRun = RunFixture;
using FloatingRun = RunFixture;

TEST_F(AwgRun, SamplingRateOutsideTheAwgRangeIsRefusedBeforeAnyDialog) {
    for (const char* ratio : {"4", "8"}) {
        choose_uplink(ratio);
        form.MakeAWGFile_Button.press();
    }
    ASSERT_EQ(platform.shown.size(), 2u);
    EXPECT_EQ(platform.shown[1].text, "Set the sampling rate from 12.5 MHz to 200 MHz.");
    EXPECT_EQ(platform.shown[1].title, "Make AWG File");
    EXPECT_EQ(platform.shown[1].icon, form::MessageIcon::Exclamation);
    EXPECT_TRUE(desktop.requests.empty());
    EXPECT_TRUE(form.MakeAWGFile_Button.enabled());

    // The chosen link's own rate counts; the floating run has no such check.
    choose_uplink("20");
    choose_downlink("8");
    form.MakeAWGFile_Button.press();
    EXPECT_EQ(platform.shown.size(), 3u);
    form.MakeFloatingFile_Button.press();
    EXPECT_EQ(desktop.requests.size(), 1u);
    choose_downlink("12");
    form.MakeAWGFile_Button.press();
    EXPECT_EQ(desktop.requests.size(), 2u);
    EXPECT_EQ(platform.shown.size(), 3u);
}

TEST_F(AwgRun, CancellingTheDialogEndsTheRunWithTheButtonEnabledAgain) {
    choose_uplink("12");
    bool awg_disabled = false;
    bool floating_enabled = false;
    desktop.while_dialog_open = [&] {
        awg_disabled = !form.MakeAWGFile_Button.enabled();
        floating_enabled = form.MakeFloatingFile_Button.enabled();
    };
    form.MakeAWGFile_Button.press();

    ASSERT_EQ(desktop.requests.size(), 1u);
    const SaveFileRequest& request = desktop.requests[0];
    EXPECT_EQ(request.title, "AWG Data Save");
    EXPECT_EQ(request.filter, "AWG(*.awv)|*.awv|data files(*.dat)|*.dat|csv files(*.csv)|*.csv|"
                              "text files(*.txt)|*.txt|all files(*.*)|*.*");
    EXPECT_EQ(request.filter_index, 1);
    EXPECT_TRUE(request.confirm_overwrite);
    EXPECT_EQ(request.initial_folder, "");
    EXPECT_EQ(request.file_name, "");
    EXPECT_TRUE(awg_disabled);
    EXPECT_TRUE(floating_enabled);
    EXPECT_EQ(desktop.events, (std::vector<std::string>{"dialog"}));
    EXPECT_TRUE(form.MakeAWGFile_Button.enabled());
    EXPECT_TRUE(files_in(output.path()).empty());
    EXPECT_FALSE(run.papr.Form3.visible());
    EXPECT_TRUE(platform.shown.empty());
}

TEST_F(AwgRun, RunHoldsTheButtonAndShowsTheHourglassUntilTheFileIsWritten) {
    choose_uplink("12");
    const std::string file = answer_with("sig.awv");
    std::vector<bool> button_at_pending;
    desktop.on_pending = [&] { button_at_pending.push_back(form.MakeAWGFile_Button.enabled()); };
    form.MakeAWGFile_Button.press();

    EXPECT_EQ(desktop.events, (std::vector<std::string>{"dialog", "busy", "pending", "pending", "normal"}));
    EXPECT_EQ(button_at_pending, (std::vector<bool>{false, false}));
    EXPECT_TRUE(form.MakeAWGFile_Button.enabled());
    EXPECT_TRUE(platform.shown.empty());
    const std::string text = file_text(file);
    EXPECT_EQ(text.size(), text.find(';', text.find("{WAVEDATA:")) + 1 + 12 * 32768 * 8 + 1);
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"sig.awv"}));
    EXPECT_TRUE(files_in(program.path()).empty());

    // Markers off: no marker lines; the sampling frequency is the uplink's 12 x 1.2288 MHz.
    const auto header = awg_header(file);
    EXPECT_FALSE(has_line(header, "{MARKERMODE:SEQ}"));
    EXPECT_TRUE(has_line(header, "{SAMPLINGFREQ:1.474560e+007}"));
}

TEST_F(AwgRun, MarkerArgumentsComeFromTheChosenLinksMarkerTable) {
    choose_uplink("16");
    MarkerFields& marker1 = form.markers.marker(0);
    MarkerFields& marker2 = form.markers.marker(1);
    marker1.mode[uplink_item].select(1); // Positive; after the ratio change start 0, high 262144
    marker2.mode[uplink_item].select(2); // Negative
    marker2.start[uplink_item].set_text("100");
    marker2.start[uplink_item].commit();
    marker2.high[uplink_item].set_text("200");
    marker2.high[uplink_item].commit();
    // The downlink's markers are another column and stay out of an uplink file.
    marker1.mode[downlink_item].select(2);
    const std::string file = answer_with("markers.awv");
    form.MakeAWGFile_Button.press();

    const auto header = awg_header(file);
    EXPECT_TRUE(has_line(header, "{MARKERMODE:SEQ}"));
    EXPECT_TRUE(has_line(header, "{MARKER1:ON;POS;0;262144;262144;1}"));
    EXPECT_TRUE(has_line(header, "{MARKER2:ON;NEG;100;200;523988;1}"));
}

TEST(PaprText, WholePartOfAHundredfoldPlusAHalf) {
    EXPECT_EQ(papr_text(3.0), "3.00");
    EXPECT_EQ(papr_text(3.01499), "3.01");
    EXPECT_EQ(papr_text(10.996), "11.00");
    // Where "%.2f" of the value itself gives 0.12, 2.67 and 1.11: x * 100 lands on the half exactly.
    EXPECT_EQ(papr_text(0.125), "0.13");
    EXPECT_EQ(papr_text(2.675), "2.68");
    EXPECT_EQ(papr_text(1.115), "1.12");
    // 1.005 x 100 falls just below the half.
    EXPECT_EQ(papr_text(1.005), "1.00");
}

TEST_F(AwgRun, TwoRunsInARowShowTheSecondWaveformsPaprAndBringTheDialogToTheFront) {
    std::vector<bool> visibility;
    const form::Connection watch =
        run.papr.Form3.on_change([&] { visibility.push_back(run.papr.Form3.visible()); });
    choose_uplink("12", 0);
    answer_with("first.awv");
    form.MakeAWGFile_Button.press();
    ASSERT_TRUE(run.papr.Form3.visible());
    const std::string first = run.papr.PAPR[0].text();

    choose_uplink("12", 2);
    answer_with("second.awv");
    visibility.clear();
    form.MakeAWGFile_Button.press();
    EXPECT_EQ(visibility, (std::vector<bool>{false, true})) << "hidden and shown again: to the front";

    const auto db = measured_db(form.model.waveform_buffer.get(), form.model.UL_DataSize);
    EXPECT_EQ(run.papr.PAPR[0].text(), papr_text(db[0]));
    EXPECT_EQ(run.papr.PAPR[1].text(), papr_text(db[1]));
    EXPECT_EQ(run.papr.PAPR[2].text(), papr_text(db[2]));
    EXPECT_NE(run.papr.PAPR[0].text(), first);
    // The file carries the same figures with six decimals: PAPR, I, Q.
    const auto header = awg_header(output / "second.awv");
    ASSERT_GE(header.size(), 3u);
    double papr = 0, crest_i = 0, crest_q = 0;
    ASSERT_EQ(std::sscanf(header[2].c_str(), "{PAPR:%lf;%lf;%lf}", &papr, &crest_i, &crest_q), 3);
    EXPECT_EQ(papr_text(papr), run.papr.PAPR[0].text());
    EXPECT_EQ(papr_text(crest_q), run.papr.PAPR[2].text());

    run.papr.PAPR_Command.press();
    EXPECT_FALSE(run.papr.Form3.visible());
    EXPECT_EQ(run.papr.PAPR[1].text(), papr_text(db[1])) << "the dialog keeps its values";
}

TEST_F(AwgRun, TesterModeReferenceFileIsNamedAfterTheChosenFileAndFilter) {
    form.model.tester_mode_flag = 1;
    choose_uplink("12");
    const struct {
        const char* chosen;
        int filter_index;
        const char* reference;
    } cases[] = {
        {"sig.awv", 1, "sig.ref"}, {"a.txt", 4, "a.ref"}, {"b", 5, "b.ref"}, {"c.awv", 5, "c.awv.ref"}};
    for (const auto& c : cases) {
        answer_with(c.chosen, c.filter_index);
        form.MakeAWGFile_Button.press();
        ASSERT_TRUE(fs::exists(output / c.reference)) << c.chosen << " " << c.filter_index;
        EXPECT_EQ(line_count(output / c.reference), 32768u);
    }
    EXPECT_EQ(files_in(output.path()).size(), 8u);
    // The reference is the chip-rate copy: its first line is the first chip.
    char first[80];
    std::snprintf(first, sizeof first, "%0.14E", form.model.chip_buffer[0].i);
    EXPECT_TRUE(file_text(output / "sig.ref").starts_with(first)) << first;
}

TEST_F(FloatingRun, WritesEveryWaveformSampleAsTextAtAnyRatioWithItsOwnFilter) {
    form.model.tester_mode_flag = 1;
    choose_uplink("4");
    const struct {
        const char* chosen;
        int filter_index;
        const char* reference;
    } cases[] = {{"sig.dat", 1, "sig.ref"}, {"t.txt", 3, "t.ref"}, {"u.dat", 4, "u.dat.ref"}};
    for (const auto& c : cases) {
        answer_with(c.chosen, c.filter_index);
        form.MakeFloatingFile_Button.press();
        EXPECT_TRUE(fs::exists(output / c.reference)) << c.chosen << " " << c.filter_index;
    }
    ASSERT_EQ(desktop.requests.size(), 3u);
    EXPECT_EQ(desktop.requests[0].title, "Floating Data Save");
    // The text types as they always were, then the SigMF recording after "all files".
    EXPECT_EQ(desktop.requests[0].filter,
              "data files(*.dat)|*.dat|CSV files(*.csv)|*.csv|text files(*.txt)|*.txt|all files(*.*)|*.*"
              "|SigMF(*.sigmf-meta)|*.sigmf-meta");
    EXPECT_EQ(line_count(output / "sig.dat"), 131072u);
    EXPECT_FALSE(run.papr.Form3.visible());
    EXPECT_TRUE(form.MakeFloatingFile_Button.enabled());
    EXPECT_EQ(desktop.events.back(), "normal");

    // The tester-save mode is the AWG run's: the floating run writes straight to the chosen file.
    form.network.SaveMode_ul_Option.select(1);
    form.model.TesterFolder = "\\\\q4410\\waveform";
    answer_with("direct.dat");
    form.MakeFloatingFile_Button.press();
    EXPECT_EQ(desktop.requests.back().initial_folder, "");
    EXPECT_TRUE(fs::exists(output / "direct.dat"));
}

TEST(ReferenceFileName, NeverNamesTheWaveformFileItself) {
    EXPECT_EQ(reference_file_name("/w/sig.ref", 1, awg_named_filters), "/w/sig.ref.ref");
    EXPECT_EQ(reference_file_name("abc", 1, awg_named_filters), "abc.ref");
    EXPECT_EQ(reference_file_name("/w/sig.dat", 4, floating_named_filters), "/w/sig.dat.ref");
    EXPECT_EQ(filter_extension(awg_filter, 1), "awv");
    EXPECT_EQ(filter_extension(floating_filter, 2), "csv");
    EXPECT_EQ(filter_extension(awg_filter, 5), "");
    EXPECT_EQ(filter_extension(awg_filter, 6), "");
}

TEST_F(AwgRun, TesterSaveModeWithTheTestersFolderUnknownSavesTheChosenFileAndSaysWhy) {
    form.model.tester_mode_flag = 1;
    form.network.SaveMode_dl_Option.select(1);
    choose_uplink("12");
    // No address is set: the run looks the tester up once more, and its folder stays unknown.
    form.model.TesterFolder.clear();
    answer_with("sig.awv");
    const RunResult result = run.make_awg_file();

    EXPECT_EQ(result.outcome, RunOutcome::Done);
    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_EQ(platform.shown[0].text,
              "The tester's waveform folder is unknown: no tester address is set. The "
              "file was saved as " +
                  (output / "sig.awv").string() + ".");
    EXPECT_EQ(platform.shown[0].icon, form::MessageIcon::Exclamation);
    EXPECT_EQ(run.last_warnings(), std::vector<std::string>{platform.shown[0].text});
    ASSERT_EQ(desktop.requests.size(), 1u);
    EXPECT_EQ(desktop.requests[0].initial_folder, "") << "the dialog stays at its own default folder";
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"sig.awv", "sig.ref"}));
    EXPECT_TRUE(files_in(program.path()).empty());
    EXPECT_TRUE(run.papr.Form3.visible());
    EXPECT_TRUE(form.MakeAWGFile_Button.enabled());
}

TEST_F(AwgRun, MountedTesterShareIsTheDialogsFolderAndTakesAPlainCopy) {
    const fs::path mount = elsewhere / "mnt point";
    fs::create_directories(mount);
    std::ofstream(elsewhere / "mounts")
        << "proc /proc proc rw 0 0\n"
        << "//Q4410/Waveform " << (elsewhere.path() / "mnt\\040point").string() << " cifs rw,relatime 0 0\n";
    form.network.SaveMode_ul_Option.select(1);
    form.model.TesterFolder = "\\\\q4410\\waveform";
    choose_uplink("12");
    desktop.answer = {(mount / "sig.awv").string(), 1};
    form.MakeAWGFile_Button.press();

    EXPECT_EQ(desktop.requests[0].initial_folder, mount.string());
    EXPECT_EQ(files_in(mount), (std::vector<std::string>{"sig.awv"}));
    EXPECT_TRUE(files_in(program.path()).empty());
    EXPECT_TRUE(platform.shown.empty());
}

TEST(MountedShare, FoundInTheMountTableOrAmongTheDesktopsMounts) {
    testing::TemporaryFolder gvfs;
    const ShareName tester{"q4410", "waveform"};
    EXPECT_EQ(find_mounted_share(tester, "//q4410.lab.example/waveform /mnt/sg cifs rw 0 0\n", gvfs.path()),
              "/mnt/sg");
    EXPECT_EQ(find_mounted_share(tester, "//q4410/waveform /mnt/a nfs rw 0 0\n", gvfs.path()), "");
    EXPECT_EQ(find_mounted_share(tester, "//q4410/other /mnt/b cifs rw 0 0\n", gvfs.path()), "");
    EXPECT_EQ(find_mounted_share(tester, "//q4411/waveform /mnt/c smb3 rw 0 0\n", gvfs.path()), "");
    fs::create_directory(gvfs / "smb-share:server=q4410,share=waveform,user=lab");
    EXPECT_EQ(find_mounted_share(tester, "", gvfs.path()),
              gvfs / "smb-share:server=q4410,share=waveform,user=lab");

    EXPECT_FALSE(parse_share_path(""));
    EXPECT_FALSE(parse_share_path("\\\\host"));
    EXPECT_FALSE(parse_share_path("\\\\host\\a\\b"));
    const auto parsed = parse_share_path("\\\\host\\waveform");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->host, "host");
    EXPECT_EQ(parsed->share, "waveform");
}

TEST_F(AwgRun, AFileThatCannotBeCreatedIsReportedByNameAndNeverAsSuccess) {
    choose_uplink("12");
    const std::string file = (output / "no such folder" / "sig.awv").string();
    desktop.answer = {file, 1};
    form.MakeAWGFile_Button.press();
    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_NE(platform.shown[0].text.find(file), std::string::npos) << platform.shown[0].text;
    EXPECT_EQ(platform.shown[0].title, "Make AWG File");
    EXPECT_FALSE(run.papr.Form3.visible());
    EXPECT_TRUE(form.MakeAWGFile_Button.enabled());
    EXPECT_EQ(desktop.events.back(), "normal");

    // In Tester Mode the run's files go together: the first that cannot be made is named with its
    // cause, and neither file is written.
    form.model.tester_mode_flag = 1;
    form.MakeAWGFile_Button.press();
    ASSERT_EQ(platform.shown.size(), 2u);
    EXPECT_NE(platform.shown[1].text.find(file + " was not written: No such file or directory"),
              std::string::npos)
        << platform.shown[1].text;
    EXPECT_EQ(run.last_result().outcome, RunOutcome::NotWritten);
    EXPECT_TRUE(files_in(output.path()).empty());
    EXPECT_FALSE(run.papr.Form3.visible());
    EXPECT_TRUE(form.MakeAWGFile_Button.enabled());
}

TEST_F(AwgRun, AWriteThatFailsPartWayLeavesTheEarlierFileAsItWasAndNoPartOfTheNewOne) {
    choose_uplink("12");
    const fs::path file = output / "sig.awv";
    std::ofstream(file) << "earlier waveform";
    answer_with("sig.awv");
    // A limit on the file size makes the writer fail part-way through, as a full disk does.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 256 * 1024;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    form.MakeAWGFile_Button.press();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_NE(platform.shown[0].text.find(file.string()), std::string::npos) << platform.shown[0].text;
    EXPECT_EQ(file_text(file), "earlier waveform");
    EXPECT_EQ(files_in(output.path()).size(), 1u);
    EXPECT_FALSE(run.papr.Form3.visible());

    // Without the limit the same run replaces the file.
    form.MakeAWGFile_Button.press();
    EXPECT_EQ(platform.shown.size(), 1u);
    EXPECT_TRUE(file_text(file).starts_with("{COMMENT:"));
    EXPECT_EQ(files_in(output.path()).size(), 1u);
}

class RunWithoutLibraries : public RunFixture {
protected:
    RunWithoutLibraries()
        : RunFixture(std::make_unique<ProgramLibraries>("/nonexistent/libkestra.so",
                                                        program_folder() / wavesave_file_name)) {}
};

TEST_F(RunWithoutLibraries, AMissingLibraryOrExportEndsTheRunWithoutWritingAndNamesIt) {
    choose_uplink("12");
    answer_with("sig.awv");
    form.MakeAWGFile_Button.press();
    ASSERT_EQ(platform.shown.size(), 1u);
    EXPECT_NE(platform.shown[0].text.find("libkestra.so"), std::string::npos) << platform.shown[0].text;
    EXPECT_TRUE(files_in(output.path()).empty());
    EXPECT_TRUE(form.MakeAWGFile_Button.enabled());
    EXPECT_EQ(desktop.events.back(), "normal");

    // The output library stands in for the synthesis library: it is refused for want of kestra's version
    // export.
    ProgramLibraries swapped(program_folder() / wavesave_file_name, program_folder() / wavesave_file_name);
    GenerationRun other(form, desktop, swapped, share, program.path());
    form.uplink.UL_CH_Selection_Option.select(2);
    form.MakeFloatingFile_Button.press();
    ASSERT_EQ(platform.shown.size(), 2u);
    EXPECT_NE(platform.shown[1].text.find("has no export KESTRA_Version"), std::string::npos)
        << platform.shown[1].text;
    EXPECT_TRUE(files_in(output.path()).empty());
    EXPECT_TRUE(form.MakeFloatingFile_Button.enabled());
}

} // namespace
} // namespace varnika

namespace varnika {
namespace {

// A synthesis that gives an unusable waveform (all zero, or not finite: a value that overflowed on its
// way, throughout or in a single sample) makes no file: both runs say so and keep the earlier file.
class RunWithUnusableSynthesis : public RunFixture {
protected:
    RunWithUnusableSynthesis()
        : RunFixture(std::make_unique<ProgramLibraries>(VARNIKA_UNUSABLE_KESTRA,
                                                        program_folder() / wavesave_file_name)) {}
};

TEST_F(RunWithUnusableSynthesis, AWaveformThatIsNotFiniteOrAllZeroIsAFailureNeverAFile) {
    for (const bool awg : {true, false}) {
        for (const char* frequency_error : {"0", "-1", "-2", "-3", "-4"}) {
            SCOPED_TRACE(std::string(awg ? "AWG " : "floating ") + frequency_error);
            choose_uplink("12");
            form.uplink.offset.option.select(1);
            form.uplink.offset.freqerr.set_text(frequency_error);
            const std::string file = answer_with("sig.dat");
            std::ofstream(file) << "earlier";
            platform.shown.clear();
            const RunResult result = awg ? run.make_awg_file() : run.make_floating_file();
            EXPECT_EQ(result.outcome, RunOutcome::BadWaveform);
            ASSERT_EQ(platform.shown.size(), 1u);
            EXPECT_NE(platform.shown[0].text.find(frequency_error[0] == '-' ? "not finite"
                                                                            : "every sample is zero"),
                      std::string::npos)
                << platform.shown[0].text;
            EXPECT_EQ(file_text(file), "earlier");
            EXPECT_EQ(files_in(output.path()), std::vector<std::string>{"sig.dat"});
            EXPECT_FALSE(run.papr.Form3.visible());
        }
    }
}

} // namespace
} // namespace varnika
