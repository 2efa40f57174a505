// A private program folder for the settings-file tests, and a window model started from it.
#pragma once

#include "fake_platform.h"
#include "temporary_folder.h"
#include "uplink_test_support.h"
#include "window/main_form.h"
#include "window/settings_files.h"
#include "window/start_up.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace varnika::testing {

// A text typed into a field and left (a user's choice in a list: choose()).
inline void type_and_leave(form::TextField& field, const std::string& text) {
    field.set_text(text);
    field.commit();
}

// The program's folder, where the settings files are kept.
using ProgramFolder = TemporaryFolder;

// A window model of a program started in `folder` (none: no settings folder, every file missing).
struct StartedProgram {
    explicit StartedProgram(const std::filesystem::path& folder = {}) {
        form->settings_folder = folder;
        start_up(*form);
    }

    FakePlatform platform;
    std::unique_ptr<MainForm> form = std::make_unique<MainForm>(platform);
};

// File text as lines without their CR LF ends; the text must end with CR LF.
inline std::vector<std::string> crlf_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t from = 0;
    for (std::size_t end = text.find("\r\n"); end != std::string::npos; end = text.find("\r\n", from)) {
        lines.push_back(text.substr(from, end - from));
        from = end + 2;
    }
    EXPECT_EQ(from, text.size()) << "text after the last CR LF";
    return lines;
}

inline std::string crlf_text(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

} // namespace varnika::testing
