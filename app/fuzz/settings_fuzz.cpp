#include "settings_fuzz.h"

#include "settings/settings_lines.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

namespace varnika::fuzzing {

namespace {

std::filesystem::path& scratch_folder() {
    static std::filesystem::path folder;
    return folder;
}

void remove_scratch_folder() {
    std::error_code ignored;
    std::filesystem::remove_all(scratch_folder(), ignored);
}

[[noreturn]] void fail(const char* file, const char* what) {
    std::fprintf(stderr, "%s: %s\n", file, what);
    std::abort();
}

} // namespace

void prepare_scratch_folder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/varnika-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("mkdtemp");
        std::abort();
    }
    scratch_folder() = pattern;
    std::atexit(remove_scratch_folder);
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
            fail(file.name, "a rejected file changed the page");
        }
        return accepted;
    };
    start_up(*form, steps);
    if (!accepted) {
        return;
    }

    // What the program writes of the page it read, it must read again.
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
}

} // namespace varnika::fuzzing
