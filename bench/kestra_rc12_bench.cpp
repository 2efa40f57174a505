// Whole-call time of the RC1/RC2 export, dominated by the periodic interpolation: wall clock, and the CPU
// time of every thread of the process (the workers and the page faults included).
#include "kestra/kestra.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

void BM_Rc12(benchmark::State& state) {
    const auto ratio = static_cast<int32_t>(state.range(0));
    std::vector<IqSample> waveform(static_cast<size_t>(ratio) * FRAME_CHIPS);
    std::vector<IqSample> chips(FRAME_CHIPS);
    std::vector<unsigned char> work(KESTRA_WORK_BYTES);
    for (auto _ : state) {
        KESTRA_UL_Actual_RC12(waveform.data(), chips.data(), work.data(), ratio, 0, 0, 0.0, 0.0);
        benchmark::DoNotOptimize(waveform.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(waveform.size()));
}

BENCHMARK(BM_Rc12)
    ->Arg(4)
    ->Arg(20)
    ->Arg(32)
    ->Arg(80)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
