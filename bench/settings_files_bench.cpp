// Settings-file timings at model level: reading downlink_def.ini (2874 lines) into a freshly built channel
// table as start-up does, the whole start-up from three files against one without any, and writing the
// downlink file (which includes flushing it to the disk). Two pages: Test Model 1 with six F-FCH, and
// every type on at full multiplicity, the worst case, where every status press tests all rows shown.
#include "downlink/downlink_channel_page.h"
#include "form/silent_platform.h"
#include "temporary_folder.h"
#include "window/downlink_file.h"
#include "window/main_form.h"
#include "window/settings_files.h"
#include "window/start_up.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace varnika;
using form::SilentPlatform;

enum Page { test_model_page = 0, all_on_page = 1 };

// A program folder holding the three files of `page`, removed at the end.
class SettingsFolder {
public:
    explicit SettingsFolder(Page page) {
        MainForm form(platform_);
        start_up(form);
        DownlinkChannelPage& channels = form.downlink_channels;
        if (page == all_on_page) {
            for (int type = 1; type < dl_type_count; ++type) {
                form::TextField& multiplicity = channels.DL_CH_Multi_Text(type);
                multiplicity.set_text(std::to_string(channels.type_entry(type).capacity));
                multiplicity.commit();
                channels.DL_CH_Stat_Command(type).press();
            }
        } else {
            channels.apply_test_model(5);
        }
        form.settings_folder = folder_.path();
        for (SettingsFile file : {SettingsFile::System, SettingsFile::Uplink, SettingsFile::Downlink}) {
            if (!write_settings_file(form, file)) {
                std::abort();
            }
        }
    }

    const std::filesystem::path& path() const { return folder_.path(); }

private:
    SilentPlatform platform_;
    testing::TemporaryFolder folder_{"varnika-bench"};
};

// Reading and applying downlink_def.ini into a table just built, with loading_flag set as at start-up.
void BM_ReadDownlinkFile(benchmark::State& state) {
    const SettingsFolder folder(static_cast<Page>(state.range(0)));
    SilentPlatform platform;
    for (auto _ : state) {
        state.PauseTiming();
        auto form = std::make_unique<MainForm>(platform);
        form->settings_folder = folder.path();
        form->downlink_channels.build_table();
        form->model.loading_flag = true;
        state.ResumeTiming();
        if (!load_downlink_settings(*form)) {
            state.SkipWithError("downlink_def.ini was not read");
        }
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ReadDownlinkFile)->Arg(test_model_page)->Arg(all_on_page)->Unit(benchmark::kMillisecond);

// The whole start-up; argument -1: a folder without settings files, so the defaults apply.
void BM_StartUp(benchmark::State& state) {
    std::unique_ptr<SettingsFolder> folder;
    if (state.range(0) >= 0) {
        folder = std::make_unique<SettingsFolder>(static_cast<Page>(state.range(0)));
    }
    SilentPlatform platform;
    for (auto _ : state) {
        auto form = std::make_unique<MainForm>(platform);
        if (folder) {
            form->settings_folder = folder->path();
        }
        start_up(*form);
        benchmark::DoNotOptimize(form.get());
        state.PauseTiming();
        form.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUp)->Arg(-1)->Arg(test_model_page)->Arg(all_on_page)->Unit(benchmark::kMillisecond);

// Writing downlink_def.ini: the lines from the page, then the temporary file flushed and renamed.
void BM_WriteDownlinkFile(benchmark::State& state) {
    const SettingsFolder folder(all_on_page);
    SilentPlatform platform;
    MainForm form(platform);
    form.settings_folder = folder.path();
    start_up(form);
    for (auto _ : state) {
        if (!write_settings_file(form, SettingsFile::Downlink)) {
            state.SkipWithError("downlink_def.ini was not written");
        }
    }
}
BENCHMARK(BM_WriteDownlinkFile)->Unit(benchmark::kMillisecond);

// The 2874 lines alone, without the disk.
void BM_DownlinkFileLines(benchmark::State& state) {
    SilentPlatform platform;
    MainForm form(platform);
    start_up(form);
    for (auto _ : state) {
        auto lines = downlink_settings_lines(form);
        benchmark::DoNotOptimize(lines.data());
    }
}
BENCHMARK(BM_DownlinkFileLines)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
