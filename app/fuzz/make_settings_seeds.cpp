// Writes seed files for the settings-file fuzz targets, as the program writes them:
//   make_settings_seeds FOLDER
// FOLDER/system, FOLDER/uplink and FOLDER/downlink each get the file of a page at its defaults and of
// pages far from them (the downlink link with a tester address; RC 3,4,7 with channels on; every test
// model, and every channel type on at full multiplicity).
#include "settings_fuzz.h"
#include "window/downlink_file.h"
#include "window/settings_files.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

using namespace varnika;

namespace {

void write_seed(const std::filesystem::path& folder, const std::string& name,
                const std::vector<std::string>& lines) {
    std::filesystem::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary);
    for (const std::string& line : lines) {
        out << line << "\r\n";
    }
}

void write_page(const std::filesystem::path& root, const std::string& seed, MainForm& form) {
    write_seed(root / "system", seed, system_settings_lines(form.model));
    write_seed(root / "uplink", seed, uplink_settings_lines(form));
    write_seed(root / "downlink", seed, downlink_settings_lines(form));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_settings_seeds FOLDER\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    fuzzing::SilentPlatform platform;
    {
        MainForm form(platform);
        start_up(form);
        write_page(root, "defaults", form);
    }
    for (int model = 0; model < 9; ++model) {
        MainForm form(platform);
        start_up(form);
        form.Link_Selection_Option.select(1);
        form.DL_SSTab.select(1);
        form.network.Q4410_Host_Name[1].set_text("q4410");
        form.network.save_mode(1).select(1);
        form.uplink.UL_CH_Selection_Option.select(2);
        form.uplink.UL_Filter_Over_Combo.select(model);
        for (UplinkChannel* channel : form.uplink.rc7.channels()) {
            if (channel->has_walsh()) {
                channel->walsh.select(channel->walsh.count() - 1);
            }
        }
        form.uplink.rc7.PDCH_Mod.list.select(model % 3);
        form.markers.marker(0).mode[0].select(1 + model % 2);
        form.downlink_channels.apply_test_model(model);
        write_page(root, "test-model-" + std::to_string(model + 1), form);
    }
    {
        MainForm form(platform);
        start_up(form);
        DownlinkChannelPage& channels = form.downlink_channels;
        for (int type = 1; type < dl_type_count; ++type) {
            form::TextField& multiplicity = channels.DL_CH_Multi_Text(type);
            multiplicity.set_text(std::to_string(channels.type_entry(type).capacity));
            multiplicity.commit();
            channels.DL_CH_Stat_Command(type).press();
        }
        write_seed(root / "downlink", "all-on", downlink_settings_lines(form));
    }
    return 0;
}
