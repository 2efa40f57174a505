// The signal check of a ratio-80 AWG file (21 MB) of Test Model 2 (PDCH 16QAM), as the window's Signal
// Check runs it: reading the file and every measurement (frame, frequency and phase found, CCDF, line
// spectrum and emissions, code-domain power, rho/EVM) against an ideal waveform made once; and the whole
// check with the ideal waveform made again by kestra. The file is made once by the window's own run into the
// temporary folder.
#include "analysis/waveform_file.h"
#include "check/signal_check.h"
#include "form/silent_platform.h"
#include "run/generation_run.h"
#include "window/start_up.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>

namespace varnika {
namespace {

namespace fs = std::filesystem;

class FixedAnswer : public GenerationDesktop {
public:
    std::string file_name;
    SaveFileAnswer ask_save_file(const SaveFileRequest&) override { return {file_name, 1}; }
    void show_busy_pointer(bool) override {}
    void let_pending_messages_through() override {}
};

struct MadeFile {
    MadeFile() {
        start_up(form);
        form.Link_Selection_Option.select(downlink_item);
        form.downlink_general.DL_Filter_Over_Combo.select_text("80");
        form.downlink_channels.DL_CH_TestModel_Combo.select_text("Test Model2  PDCH 16QAM");
        form.downlink_channels.DL_CH_TestModel_Command.press();
        desktop.file_name = file.string();
        form.MakeAWGFile_Button.press();
        setup = signal_check_setup(form, libraries);
        // The ideal frame and the pilot, made as the check makes them.
        const std::size_t count = static_cast<std::size_t>(analysis::working_ratio) * analysis::frame_chips;
        std::vector<analysis::Complex> chips(analysis::frame_chips);
        auto work = std::make_unique_for_overwrite<std::uint8_t[]>(KESTRA_WORK_BYTES);
        auto* c = reinterpret_cast<IqSample*>(chips.data());
        reference.pilot.resize(count);
        setup.synthesise_pilot(reinterpret_cast<IqSample*>(reference.pilot.data()), c, work.get());
        reference.pn = chips;
        reference.waveform.resize(count);
        setup.synthesise(reinterpret_cast<IqSample*>(reference.waveform.data()), c, work.get());
        reference.channels = setup.channels;
    }
    ~MadeFile() { fs::remove(file); }

    form::SilentPlatform platform;
    MainForm form{platform};
    FixedAnswer desktop;
    ProgramLibraries libraries{program_folder()};
    TesterShare share;
    GenerationRun run{form, desktop, libraries, share, fs::temp_directory_path()};
    fs::path file = fs::temp_directory_path() / ("signal-check-bench-" + std::to_string(getpid()) + ".awv");
    SignalCheckSetup setup;
    analysis::Reference reference;
};

MadeFile& made() {
    static MadeFile file;
    return file;
}

void BM_MeasureRatio80AwgFile(benchmark::State& state) {
    MadeFile& file = made();
    for (auto _ : state) {
        const analysis::WaveformFile read = analysis::read_waveform_file(file.file, 0.0);
        const analysis::Result result = analysis::analyse(*read.waveform, &file.reference, 0.0, false);
        benchmark::DoNotOptimize(result.quality->rho);
        if (result.quality->rho < 0.99) {
            state.SkipWithError("the file does not match its ideal waveform");
        }
    }
}
BENCHMARK(BM_MeasureRatio80AwgFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CheckRatio80AwgFileWithIdealMadeAgain(benchmark::State& state) {
    MadeFile& file = made();
    for (auto _ : state) {
        const SignalCheckOutcome outcome = run_signal_check(file.file, file.setup);
        benchmark::DoNotOptimize(outcome.result->quality->rho);
    }
}
BENCHMARK(BM_CheckRatio80AwgFileWithIdealMadeAgain)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace varnika

BENCHMARK_MAIN();
