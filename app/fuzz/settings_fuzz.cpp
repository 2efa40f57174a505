#include "settings_fuzz.h"
#include "temporary_folder.h"

#include "downlink/dl_channel_list.h"
#include "settings/settings_lines.h"
#include "window/settings_files.h"

#include <kestra/kestra.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace varnika::fuzzing {

namespace {

// Removed with everything in it when the target exits.
std::unique_ptr<testing::TemporaryFolder>& scratch() {
    static std::unique_ptr<testing::TemporaryFolder> folder;
    return folder;
}

const std::filesystem::path& scratch_folder() {
    return scratch()->path();
}

[[noreturn]] void fail(const char* file, const char* what) {
    std::fprintf(stderr, "%s: %s\n", file, what);
    std::abort();
}

// Runs the chosen link's synthesis at ratio 4, as a generation run would, straight into buffers of that
// size; no file is written. Every sample must be a finite number.
void generate_at_ratio_4(MainForm& form, const char* file) {
    constexpr int ratio = 4;
    static const std::unique_ptr<IqSample[]> waveform = std::make_unique<IqSample[]>(ratio * FRAME_CHIPS + 1);
    static const std::unique_ptr<IqSample[]> chips = std::make_unique<IqSample[]>(FRAME_CHIPS + 1);
    static const std::unique_ptr<std::uint8_t[]> work = std::make_unique<std::uint8_t[]>(KESTRA_WORK_BYTES);
    SettingsModel& model = form.model;
    const bool downlink = model.link_flag == downlink_item;
    (downlink ? form.downlink_general.DL_Filter_Over_Combo : form.uplink.UL_Filter_Over_Combo).select(0);
    if ((downlink ? model.DL_DataSize : model.UL_DataSize) != ratio * FRAME_CHIPS) {
        fail(file, "ratio 4 did not give a frame of 4 samples a chip");
    }
    std::int32_t status = 0;
    if (downlink) {
        const DlChannelList list = collect_dl_channels(model, form.downlink_general, form.downlink_channels);
        model.dl_params = list.params;
        status = KESTRA_DL_Actual(waveform.get(), chips.get(), work.get(), &model.dl_params,
                                  list.channels.data(), list.ack_user_gains.data());
    } else if (model.UL_CH_flag == 2) {
        form.uplink.fill(model.rc7_params);
        status = KESTRA_UL_Actual_RC7(waveform.get(), chips.get(), work.get(), &model.rc7_params);
    } else if (model.UL_CH_flag == 1) {
        form.uplink.fill(model.rc34_params);
        status = KESTRA_UL_Actual_RC34(waveform.get(), chips.get(), work.get(), &model.rc34_params);
    } else {
        const UplinkPanel& uplink = form.uplink;
        status =
            KESTRA_UL_Actual_RC12(waveform.get(), chips.get(), work.get(), uplink.oversampling(),
                                  std::max(0, uplink.UL_Filter_IQinverse_Combo.selected()), model.ul_df_flag,
                                  uplink.offset.freqerr.number(), uplink.offset.ifconv.number());
    }
    if (status < 0) {
        fail(file, "the synthesis refused what a settings file read without complaint");
    }
    for (std::int32_t k = 0; k < ratio * FRAME_CHIPS; ++k) {
        if (!std::isfinite(waveform[static_cast<std::size_t>(k)].i) ||
            !std::isfinite(waveform[static_cast<std::size_t>(k)].q)) {
            fail(file, "a settings file read without complaint made samples that are not numbers");
        }
    }
}

} // namespace

void prepare_scratch_folder() {
    scratch() = std::make_unique<testing::TemporaryFolder>("varnika-fuzz");
}

void start_from_input(const FileUnderTest& file, const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(scratch_folder() / file.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out) {
            std::abort();
        }
    }

    SilentPlatform platform;
    auto form = std::make_unique<MainForm>(platform);
    form->settings_folder = scratch_folder();
    StartupSteps steps;
    // The generation buffers (some 80 MB) play no part in the settings.
    steps.allocate_buffers = [](MainForm&) {};
    // The other two files are missing; the channel table is built only where the file needs it.
    steps.read_system_settings = [](MainForm&) { return false; };
    steps.read_uplink_settings = [](MainForm&) { return false; };
    steps.read_downlink_settings = [](MainForm&) { return false; };
    if (!file.needs_channel_table) {
        steps.build_downlink_table = [](MainForm&) {};
        steps.apply_downlink_channel_defaults = [](MainForm&) {};
    }
    bool accepted = false;
    steps.*file.step = [&file, &accepted](MainForm& f) {
        const std::vector<std::string> before = file.lines(f);
        accepted = file.read(f);
        if (!accepted && file.lines(f) != before) {
            fail(file.name, "a file set aside whole changed the page");
        }
        return accepted;
    };
    start_up(*form, steps);
    if (!accepted) {
        return;
    }
    if (file.link >= 0) {
        form->Link_Selection_Option.select(file.link);
    }
    generate_at_ratio_4(*form, file.name);

    // What the program writes of the page it read, it must read again, every line of it, and write again
    // as it was.
    const std::vector<std::string> written = file.lines(*form);
    std::string text;
    for (const std::string& line : written) {
        text.append(line).append("\r\n");
    }
    {
        std::ofstream out(scratch_folder() / file.name, std::ios::binary | std::ios::trunc);
        out << text;
    }
    auto again = std::make_unique<MainForm>(platform);
    again->settings_folder = scratch_folder();
    bool read_again = false;
    steps.*file.step = [&file, &read_again](MainForm& f) { return read_again = file.read(f); };
    start_up(*again, steps);
    if (!read_again) {
        fail(file.name, "the program could not read the file it wrote");
    }
    for (const SettingsFileReport& report : again->settings_reports) {
        if (!report.empty()) {
            fail(file.name, "the program set aside lines of the file it wrote");
        }
    }
    if (file.lines(*again) != written) {
        fail(file.name, "the file the program wrote came back different");
    }
}

} // namespace varnika::fuzzing
