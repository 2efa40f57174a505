// The whole generation run as the window starts it, at the highest oversampling ratio (80) on the forward
// link with Test Model 2 (PDCH 16QAM): "Make AWG File" (synthesis, crest factor, the 21 MB AWG file, the
// PAPR dialog) and "Make Floating File" (synthesis and the 120 MB text file). The libraries are bound from
// the benchmark's own folder, as the program binds them from its folder; files go to the temporary folder.
#include "run/generation_run.h"
#include "window/start_up.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

namespace varnika {
namespace {

namespace fs = std::filesystem;

// A desktop whose save dialog always answers the same file; messages are kept for the report.
class BenchDesktop : public form::Platform, public GenerationDesktop {
public:
    std::string file_name;
    std::string last_message;

    void run_modal(form::Dialog& dialog) override { dialog.close(); }
    form::MessageAnswer show_message(const std::string& text, const std::string&, form::MessageIcon,
                                     form::MessageButtons) override {
        last_message = text;
        return form::MessageAnswer::Ok;
    }
    void close_main_window() override {}
    void end_program() override {}
    SaveFileAnswer ask_save_file(const SaveFileRequest&) override { return {file_name, 1}; }
    void show_busy_pointer(bool) override {}
    void let_pending_messages_through() override {}
};

struct Window {
    Window() {
        start_up(form);
        form.Link_Selection_Option.select(downlink_item);
        form.downlink_general.DL_Filter_Over_Combo.select_text("80");
        form.downlink_channels.DL_CH_TestModel_Combo.select_text("Test Model2  PDCH 16QAM");
        form.downlink_channels.DL_CH_TestModel_Command.press();
    }

    BenchDesktop desktop;
    MainForm form{desktop};
    ProgramLibraries libraries{program_folder()};
    TesterShare share;
    GenerationRun run{form, desktop, libraries, share, fs::temp_directory_path()};
};

void press_and_report(benchmark::State& state, form::Button& (*button)(MainForm&), const char* name) {
    static Window window;
    window.desktop.file_name = (fs::temp_directory_path() / (name + std::to_string(getpid()))).string();
    for (auto _ : state) {
        button(window.form).press();
    }
    if (!window.desktop.last_message.empty()) {
        state.SkipWithError(window.desktop.last_message.c_str());
    } else if (fs::exists(window.desktop.file_name)) {
        state.counters["file_MB"] = static_cast<double>(fs::file_size(window.desktop.file_name)) / 1e6;
    }
    state.counters["channels"] = window.form.model.dl_params.channel_count;
    fs::remove(window.desktop.file_name);
}

void BM_MakeAwgFileRatio80TestModel2Qam16(benchmark::State& state) {
    press_and_report(
        state, [](MainForm& form) -> form::Button& { return form.MakeAWGFile_Button; },
        "varnika-run-bench-awv");
}

void BM_MakeFloatingFileRatio80TestModel2Qam16(benchmark::State& state) {
    press_and_report(
        state, [](MainForm& form) -> form::Button& { return form.MakeFloatingFile_Button; },
        "varnika-run-bench-dat");
}

BENCHMARK(BM_MakeAwgFileRatio80TestModel2Qam16)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_MakeFloatingFileRatio80TestModel2Qam16)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace
} // namespace varnika

BENCHMARK_MAIN();
