// Forward-link export timings, wall clock: Test Model 1 with six F-FCH at ratios 20 and 80, Test Model 2
// with the F-PDCH in 16QAM at ratio 80, and a 128-record channel list at ratio 20.
#include "kestra/kestra.h"

#include <benchmark/benchmark.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace {

// Test Model 1 with six fundamental channels, powers relative to the pilot (-7 dB).
std::vector<DlChannel> test_model_1_six_fch() {
    std::vector<DlChannel> list = {{0.0, 0, 0, 64, 0}, {-6.30, 1, 32, 64, 0}, {-0.30, 2, 1, 64, 0}};
    for (int32_t w : {6, 17, 20, 41, 49, 58}) {
        list.push_back({-3.26, 13, w, 64, 0});
    }
    return list;
}

// Test Model 2 as the window sets it: pilot, sync, paging, F-PDCCH, F-FCH and a 16QAM F-PDCH.
std::vector<DlChannel> test_model_2_16qam() {
    return {{-10.0, 0, 0, 64, 0},   {-13.0, 1, 32, 64, 0}, {-10.0, 2, 1, 64, 0},
            {-10.0, 10, 33, 64, 0}, {-10.0, 13, 6, 64, 0}, {-2.6, 16, 2, 32, 3}};
}

// The pilot and 127 code channels cycling through the sixteen types (F-FCH in QPSK, F-PDCH
// through its four modulations), variable-length codes at 128 chips.
std::vector<DlChannel> many_channels() {
    std::vector<DlChannel> list = {{0.0, 0, 0, 64, 0}};
    for (int32_t k = 1; k < 128; ++k) {
        const int32_t type = 1 + (k - 1) % 16;
        const int32_t option = type == 13 ? 1 : (k / 16) % 4;
        list.push_back({-21.0, type, k % 64, 128, option});
    }
    return list;
}

void run_export(benchmark::State& state, const std::vector<DlChannel>& list) {
    const int32_t ratio = static_cast<int32_t>(state.range(0));
    std::vector<IqSample> waveform(static_cast<size_t>(ratio) * FRAME_CHIPS), chip_copy(FRAME_CHIPS);
    auto work = std::make_unique<std::byte[]>(KESTRA_DL_WORK_BYTES);
    const std::vector<double> ack_gains(64, 0.0);
    DlParams params{};
    params.oversampling = ratio;
    params.phase_equalizer = static_cast<int32_t>(state.range(1));
    params.channel_count = static_cast<int32_t>(list.size());
    for (auto _ : state) {
        KESTRA_DL_Actual(waveform.data(), chip_copy.data(), work.get(), &params, list.data(),
                         ack_gains.data());
        benchmark::DoNotOptimize(waveform.data());
    }
}

void BM_DlTestModel1SixFch(benchmark::State& state) {
    run_export(state, test_model_1_six_fch());
}
void BM_DlTestModel2Qam16(benchmark::State& state) {
    run_export(state, test_model_2_16qam());
}
void BM_Dl128Channels(benchmark::State& state) {
    run_export(state, many_channels());
}

// Arguments: oversampling ratio, phase equaliser (0 off, 1 on).
BENCHMARK(BM_DlTestModel1SixFch)
    ->ArgsProduct({{20, 80}, {0, 1}})
    ->ArgNames({"ratio", "eq"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_DlTestModel2Qam16)
    ->ArgsProduct({{80}, {0, 1}})
    ->ArgNames({"ratio", "eq"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_Dl128Channels)
    ->ArgsProduct({{20}, {0, 1}})
    ->ArgNames({"ratio", "eq"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
