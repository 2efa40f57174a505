// The two inner stages of every export timed alone, wall clock, each beside its plain reference loop in
// the same run: the second interpolation stage of a ratio-80 frame (x5, 1281 taps over 16 x 32768
// samples) by the plain loop and by the fast kernel the processor offers, and the offset stages over the
// 80 x 32768 samples of a ratio-80 frame by the per-sample formula and by the phase rotator.
#include "filters.h"
#include "frame_tail.h"
#include "interpolation.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int32_t kStageInput = 16 * FRAME_CHIPS;
constexpr int32_t kSps = 20;
constexpr int32_t kTaps = 64 * kSps + 1;

std::vector<IqSample> test_frame(size_t n) {
    std::vector<IqSample> v(n);
    for (size_t k = 0; k < n; ++k) {
        v[k] = {std::sin(0.001 * static_cast<double>(k)), std::cos(0.0007 * static_cast<double>(k))};
    }
    return v;
}

std::vector<double> second_stage_filter() {
    std::vector<double> coef(kTaps);
    kestra::design_raised_cosine(coef.data(), 0.2, 0.0, 1.0, kSps, kTaps);
    return coef;
}

void BM_SecondStagePlainLoop(benchmark::State& state) {
    const auto in = test_frame(kStageInput);
    const auto coef = second_stage_filter();
    std::vector<IqSample> out(static_cast<size_t>(kStageInput) * 5);
    for (auto _ : state) {
        kestra::interpolate_periodic_plain(in.data(), kStageInput, coef.data(), kTaps, out.data(), 5, 1);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_SecondStageFast(benchmark::State& state) {
    const auto in = test_frame(kStageInput);
    const auto coef = second_stage_filter();
    std::vector<IqSample> out(static_cast<size_t>(kStageInput) * 5);
    for (auto _ : state) {
        kestra::interpolate_periodic(in.data(), kStageInput, coef.data(), kTaps, out.data(), 5, 1);
        benchmark::DoNotOptimize(out.data());
    }
}

void BM_FrequencyErrorPerSampleFormula(benchmark::State& state) {
    auto wave = test_frame(80 * static_cast<size_t>(FRAME_CHIPS));
    for (auto _ : state) {
        kestra::apply_frequency_error_plain(80 * FRAME_CHIPS, wave.data(), 1234.5, 80 * KESTRA_CHIP_RATE_HZ);
        benchmark::DoNotOptimize(wave.data());
    }
}

void BM_FrequencyErrorStage(benchmark::State& state) {
    auto wave = test_frame(80 * static_cast<size_t>(FRAME_CHIPS));
    for (auto _ : state) {
        kestra::apply_frequency_error(80 * FRAME_CHIPS, wave.data(), 1234.5, 80 * KESTRA_CHIP_RATE_HZ);
        benchmark::DoNotOptimize(wave.data());
    }
}

void BM_IfConversionStage(benchmark::State& state) {
    auto wave = test_frame(80 * static_cast<size_t>(FRAME_CHIPS));
    for (auto _ : state) {
        kestra::apply_if_conversion(80 * FRAME_CHIPS, wave.data(), 2.5e6, 80 * KESTRA_CHIP_RATE_HZ);
        benchmark::DoNotOptimize(wave.data());
    }
}

BENCHMARK(BM_SecondStagePlainLoop)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);
BENCHMARK(BM_SecondStageFast)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_FrequencyErrorPerSampleFormula)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();
BENCHMARK(BM_FrequencyErrorStage)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_IfConversionStage)->Unit(benchmark::kMillisecond)->UseRealTime()->MeasureProcessCPUTime();

} // namespace
