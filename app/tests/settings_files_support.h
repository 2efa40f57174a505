// A private program folder for the settings-file tests, and a window model started from it.
#pragma once

#include "fake_platform.h"
#include "uplink_test_support.h"
#include "window/main_form.h"
#include "window/settings_files.h"
#include "window/start_up.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace varnika::testing {

// A text typed into a field and left (a user's choice in a list: choose()).
inline void type_and_leave(form::TextField& field, const std::string& text) {
    field.set_text(text);
    field.commit();
}

// A temporary folder, removed with everything in it when the test ends.
class ProgramFolder {
public:
    ProgramFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnika-settings-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr) {
            path_ = pattern;
        }
    }
    ProgramFolder(const ProgramFolder&) = delete;
    ProgramFolder& operator=(const ProgramFolder&) = delete;
    ~ProgramFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    std::string read(const std::string& name) const {
        std::ifstream in(path_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void write(const std::string& name, const std::string& bytes) const {
        std::ofstream(path_ / name, std::ios::binary) << bytes;
    }
    bool holds(const std::string& name) const { return std::filesystem::exists(path_ / name); }
    // The names of everything in the folder.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            found.push_back(entry.path().filename().string());
        }
        return found;
    }

private:
    std::filesystem::path path_;
};

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
