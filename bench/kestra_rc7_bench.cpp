// Whole-call time of the RC7 export with every channel on (the two-stream 8-PSK PDCH among them):
// eleven code channels and twelve spreading passes, then the reverse-link frame tail.
#include "kestra/kestra.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace {

Rc7Params every_channel_on(int32_t ratio) {
    Rc7Params p{};
    p.spich_on = p.each_on = p.pdcch_on = p.reqch_on = p.dcch_on = p.ackch_on = 1;
    p.cqich_on = p.fch_on = p.sch1_on = p.sch2_on = p.pdch_on = 1;
    p.spich_gain_db = -3.0;
    p.each_gain_db = -6.0;
    p.pdcch_gain_db = -9.0;
    p.reqch_gain_db = -4.0;
    p.dcch_gain_db = -2.0;
    p.ackch_gain_db = -7.0;
    p.cqich_gain_db = -5.0;
    p.fch_gain_db = -1.0;
    p.sch1_gain_db = 1.5;
    p.sch2_gain_db = 0.5;
    p.pdch_gain_db = 2.0;
    p.sch1_repetition = 1;
    p.sch2_repetition = 1;
    p.pdch_modulation = 2;
    p.oversampling = ratio;
    return p;
}

void BM_Rc7EveryChannelOn(benchmark::State& state) {
    const auto ratio = static_cast<int32_t>(state.range(0));
    const Rc7Params params = every_channel_on(ratio);
    std::vector<IqSample> waveform(static_cast<size_t>(ratio) * FRAME_CHIPS);
    std::vector<IqSample> chips(FRAME_CHIPS);
    std::vector<unsigned char> work(KESTRA_WORK_BYTES);
    for (auto _ : state) {
        KESTRA_UL_Actual_RC7(waveform.data(), chips.data(), work.data(), &params);
        benchmark::DoNotOptimize(waveform.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(waveform.size()));
}

BENCHMARK(BM_Rc7EveryChannelOn)
    ->Arg(4)
    ->Arg(20)
    ->Arg(80)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime();

} // namespace
