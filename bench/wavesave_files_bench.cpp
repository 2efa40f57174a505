// Writing one frame at the highest oversampling ratio (80 x 32768 samples): the AWG file (21 MB)
// and the floating text file (about 120 MB). Files go to the temporary folder and are removed.
#include "wavesave/wavesave.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int32_t ratio80_samples = 80 * 32768;

// A band-limited-looking test signal: a few tones and some noise, so that every value has the full
// number of significant digits, as a synthesised waveform has.
const std::vector<IqSample>& ratio80_signal() {
    static const std::vector<IqSample> signal = [] {
        std::vector<IqSample> s(ratio80_samples);
        std::mt19937_64 random(7);
        std::normal_distribution<double> noise(0.0, 0.1);
        for (std::size_t n = 0; n < s.size(); ++n) {
            const double t = static_cast<double>(n) / 80.0;
            s[n] = {std::cos(0.31 * t) + 0.5 * std::sin(0.047 * t) + noise(random),
                    std::sin(0.29 * t) - 0.25 * std::cos(0.11 * t) + noise(random)};
        }
        return s;
    }();
    return signal;
}

std::string temp_file(const char* name) {
    return (std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(getpid())))
        .string();
}

void report_file(benchmark::State& state, const std::string& file) {
    const auto bytes = static_cast<int64_t>(std::filesystem::file_size(file));
    state.SetBytesProcessed(bytes * static_cast<int64_t>(state.iterations()));
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    std::filesystem::remove(file);
}

void BM_AwgFileRatio80(benchmark::State& state) {
    const auto& signal = ratio80_signal();
    const std::string file = temp_file("wavesave-bench.awv");
    for (auto _ : state) {
        const int32_t result =
            save_AWG_data_file(file.c_str(), signal.data(), 3.0, 3.1, 5.2, 98304000.0, ratio80_samples, 0, 1,
                               0, 100, ratio80_samples - 100, 1, 0, 0, 0, 0, 0);
        benchmark::DoNotOptimize(result);
    }
    report_file(state, file);
}
BENCHMARK(BM_AwgFileRatio80)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TextFileRatio80(benchmark::State& state) {
    const auto& signal = ratio80_signal();
    const std::string file = temp_file("wavesave-bench.txt");
    for (auto _ : state) {
        benchmark::DoNotOptimize(save_ASCII_data_file(file.c_str(), signal.data(), ratio80_samples));
    }
    report_file(state, file);
}
BENCHMARK(BM_TextFileRatio80)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CrestFactorRatio80(benchmark::State& state) {
    const auto& signal = ratio80_signal();
    double crest_i = 0, crest_q = 0, papr = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(CalcCrestFactor(signal.data(), ratio80_samples, &crest_i, &crest_q, &papr));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * ratio80_samples *
                            static_cast<int64_t>(sizeof(IqSample)));
}
BENCHMARK(BM_CrestFactorRatio80)->Unit(benchmark::kMillisecond);

} // namespace
