// The signal check of a ratio-80 AWG file (21 MB) of Test Model 2 (PDCH 16QAM), as the window's Signal
// Check runs it: reading the file and every measurement (frame, frequency and phase found, CCDF, line
// spectrum and emissions, code-domain power, rho/EVM) against an ideal waveform made once; and the whole
// check with the ideal waveform made again by kestra. The file is made once by the window's own run into the
// temporary folder.
//
// And the whole check of a capture as `varnika-cli analyze BASE.sigmf-meta` makes it: four frames of the same
// test model recorded at 15.36 MHz (12.5 samples per chip), which the check resamples to 13 samples per chip
// before it measures (Welch spectrum, first whole frame found a fraction of a chip into the recording).
#include "analysis/resample.h"
#include "analysis/waveform_file.h"
#include "check/signal_check.h"
#include "form/silent_platform.h"
#include "run/generation_run.h"
#include "run/sigmf_export.h"
#include "window/start_up.h"

#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

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
    explicit MadeFile(const std::string& ratio) : ratio_text(ratio) {
        start_up(form);
        form.Link_Selection_Option.select(downlink_item);
        form.downlink_general.DL_Filter_Over_Combo.select_text(ratio);
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
    std::string ratio_text;
    fs::path file = fs::temp_directory_path() /
                    ("signal-check-bench-" + std::to_string(getpid()) + "-" + ratio_text + ".awv");
    SignalCheckSetup setup;
    analysis::Reference reference;
};

MadeFile& made() {
    static MadeFile file("80");
    return file;
}

// A four-frame recording at 15.36 MHz, made from a ratio-16 AWG file of the same test model: five frames of
// it in a row brought to 15.36 MHz with the best converter, of which four frames' worth (1 638 400
// samples) are kept from half a frame and five samples in (the converter's start and end left out; the
// first whole frame then starts 0.4 chip off a chip boundary), written as BASE.sigmf-data (cf32_le) and
// BASE.sigmf-meta in a folder of its own. The check is set up as the settings of the ratio-16 run are.
struct MadeCapture {
    static constexpr double rate_hz = 15.36e6;
    static constexpr std::size_t frames = 4;

    MadeCapture() {
        std::string name = (fs::temp_directory_path() / "signal-check-bench-XXXXXX").string();
        if (mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("no temporary folder for the capture");
        }
        folder = name;
        try {
            const analysis::WaveformFile read = analysis::read_waveform_file(source.file, 0.0);
            if (!read.waveform) {
                throw std::runtime_error(read.error);
            }
            const std::vector<analysis::Complex>& frame = read.waveform->samples;
            analysis::Waveform repeated{{}, read.waveform->sample_rate_hz};
            for (std::size_t k = 0; k <= frames; ++k) {
                repeated.samples.insert(repeated.samples.end(), frame.begin(), frame.end());
            }
            const analysis::Waveform there = analysis::resample(repeated, rate_hz);
            const std::size_t frame_samples = analysis::frame_chips * 25 / 2; // 12.5 samples per chip
            const std::size_t start = frame_samples / 2 + 5;
            static_assert(sizeof(IqSample) == sizeof(analysis::Complex));
            SigmfRecording recording;
            recording.samples = {reinterpret_cast<const IqSample*>(there.samples.data()) + start,
                                 frames * frame_samples};
            recording.sample_rate_hz = rate_hz;
            recording.description = "four frames of Test Model 2 at 15.36 MHz";
            if (auto failed = write_sigmf(folder / "capture", recording)) {
                throw std::runtime_error(*failed);
            }
        } catch (...) {
            fs::remove_all(folder);
            throw;
        }
        meta = folder / "capture.sigmf-meta";
    }
    ~MadeCapture() { fs::remove_all(folder); }

    MadeFile source{"16"};
    fs::path folder;
    fs::path meta;
};

MadeCapture& capture() {
    static MadeCapture made;
    return made;
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

void BM_CheckFourFrameSigmfCaptureAt15_36MHz(benchmark::State& state) {
    MadeCapture& made = capture();
    for (auto _ : state) {
        const SignalCheckOutcome outcome = run_signal_check(made.meta, made.source.setup);
        if (!outcome.result || !outcome.result->quality || outcome.result->quality->rho < 0.999) {
            state.SkipWithError("the capture does not match its ideal waveform");
            break;
        }
        benchmark::DoNotOptimize(outcome.result->quality->rho);
        state.counters["rho"] = outcome.result->quality->rho;
        state.counters["evm_percent"] = outcome.result->quality->evm_percent;
    }
}
BENCHMARK(BM_CheckFourFrameSigmfCaptureAt15_36MHz)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace varnika

BENCHMARK_MAIN();
