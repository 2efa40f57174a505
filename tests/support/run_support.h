// A started window with a generation run over a fake desktop: the save dialog answers as the test says,
// the pointer and the "let messages through" points are recorded. The libraries are the real ones beside
// the test program; temporary files and outputs go into a folder of the test's own.
#pragma once

#include "fake_platform.h"
#include "run/generation_run.h"
#include "temporary_folder.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace varnika::testing {

namespace fs = std::filesystem;

// An AWG file's text without its DATE line, the one line two runs of the same settings differ in.
inline std::string without_date_line(const std::string& awg) {
    const std::size_t date = awg.find("{DATE:");
    if (date == std::string::npos) {
        ADD_FAILURE() << "no DATE line";
        return awg;
    }
    return awg.substr(0, date) + awg.substr(awg.find('\n', date) + 1);
}

inline std::size_t line_count(const fs::path& file) {
    const std::string text = file_text(file);
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

// The names of the files in `folder`.
inline std::vector<std::string> files_in(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Records every message with its title and icon.
class MessagePlatform : public FakePlatform {
public:
    struct Shown {
        std::string text;
        std::string title;
        form::MessageIcon icon;
    };
    std::vector<Shown> shown;

    form::MessageAnswer show_message(const std::string& text, const std::string& title,
                                     form::MessageIcon icon, form::MessageButtons buttons) override {
        shown.push_back({text, title, icon});
        return FakePlatform::show_message(text, title, icon, buttons);
    }
};

class FakeDesktop : public GenerationDesktop {
public:
    // Answers the save dialog; an empty file name cancels.
    SaveFileAnswer answer;
    std::vector<SaveFileRequest> requests;
    // "dialog", "busy", "pending", "normal" in the order they happened.
    std::vector<std::string> events;
    std::function<void()> while_dialog_open;
    std::function<void()> on_pending;

    SaveFileAnswer ask_save_file(const SaveFileRequest& request) override {
        requests.push_back(request);
        events.emplace_back("dialog");
        if (while_dialog_open) {
            while_dialog_open();
        }
        return answer;
    }
    void show_busy_pointer(bool busy) override { events.emplace_back(busy ? "busy" : "normal"); }
    void let_pending_messages_through() override {
        events.emplace_back("pending");
        if (on_pending) {
            on_pending();
        }
    }
};

class RunFixture : public ::testing::Test {
protected:
    RunFixture() : RunFixture(std::make_unique<ProgramLibraries>(program_folder())) {}
    explicit RunFixture(std::unique_ptr<ProgramLibraries> bound) : libraries(std::move(bound)) {
        start_up(form);
    }

    // The uplink at `ratio`, with the given radio configuration (0 RC1/RC2, 1 RC3/RC4, 2 RC7).
    void choose_uplink(const std::string& ratio, int configuration = 0) {
        form.Link_Selection_Option.select(uplink_item);
        ASSERT_TRUE(form.uplink.UL_Filter_Over_Combo.select_text(ratio));
        form.uplink.UL_CH_Selection_Option.select(configuration);
    }
    void choose_downlink(const std::string& ratio) {
        form.Link_Selection_Option.select(downlink_item);
        ASSERT_TRUE(form.downlink_general.DL_Filter_Over_Combo.select_text(ratio));
    }
    // The save dialog will answer `name` in the output folder, chosen with filter entry `filter_index`.
    std::string answer_with(const std::string& name, int filter_index = 1) {
        desktop.answer = {(output / name).string(), filter_index};
        return desktop.answer.file_name;
    }
    MessagePlatform platform;
    MainForm form{platform};
    FakeDesktop desktop;
    std::unique_ptr<ProgramLibraries> libraries;
    TemporaryFolder program;   // the program's folder: temporary files
    TemporaryFolder output;    // where the user saves
    TemporaryFolder elsewhere; // mount table and GVFS folder of the tester share
    TesterShare share{TesterShare::Options{.mount_table = elsewhere / "mounts",
                                           .gvfs_folder = elsewhere / "gvfs",
                                           .port = 0,
                                           .timeout_ms = 5000}};
    GenerationRun run{form, desktop, *libraries, share, program.path()};
};

} // namespace varnika::testing
