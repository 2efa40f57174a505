// Downlink channel table timings at model level: start-up with its 807 rows, switching every type on at
// full multiplicity (all rows shown, nearly all of them clashing on the default Walsh numbers), and the
// channel "Set Default" that switches them all off again.
#include "downlink/downlink_channel_page.h"
#include "form/silent_platform.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

using namespace varnika;
using form::SilentPlatform;

std::unique_ptr<MainForm> started(SilentPlatform& platform) {
    auto form = std::make_unique<MainForm>(platform);
    start_up(*form);
    return form;
}

void switch_all_on(DownlinkChannelPage& page) {
    for (int type = 1; type < dl_type_count; ++type) {
        form::TextField& multiplicity = page.DL_CH_Multi_Text(type);
        multiplicity.set_text(std::to_string(page.type_entry(type).capacity));
        multiplicity.commit();
        page.DL_CH_Stat_Command(type).press();
    }
}

void BM_StartUpWith807Rows(benchmark::State& state) {
    SilentPlatform platform;
    for (auto _ : state) {
        auto form = started(platform);
        benchmark::DoNotOptimize(form.get());
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpWith807Rows)->Unit(benchmark::kMillisecond);

void BM_SwitchAllTypesOnAtFullMultiplicity(benchmark::State& state) {
    SilentPlatform platform;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = started(platform);
        state.ResumeTiming();
        switch_all_on(form->downlink_channels);
        benchmark::DoNotOptimize(form->downlink_channels.DL_CH_Total_Multi_Text.text());
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SwitchAllTypesOnAtFullMultiplicity)->Unit(benchmark::kMillisecond);

void BM_SetDefaultWithAllTypesOn(benchmark::State& state) {
    SilentPlatform platform;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = started(platform);
        switch_all_on(form->downlink_channels);
        state.ResumeTiming();
        form->downlink_channels.DL_CH_Default_Button.press();
        benchmark::DoNotOptimize(form->downlink_channels.DL_CH_Total_Multi_Text.text());
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_SetDefaultWithAllTypesOn)->Unit(benchmark::kMillisecond);

void BM_TestModelSet(benchmark::State& state) {
    SilentPlatform platform;
    auto form = started(platform);
    DownlinkChannelPage& page = form->downlink_channels;
    page.DL_CH_TestModel_Combo.select(5);
    for (auto _ : state) {
        page.DL_CH_TestModel_Command.press();
    }
}
BENCHMARK(BM_TestModelSet)->Unit(benchmark::kMillisecond);

} // namespace
