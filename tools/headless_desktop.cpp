#include "headless_desktop.h"

#include "run/file_naming.h"
#include "window/start_up.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace varnika::cli {

namespace {

std::string lower_case(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

} // namespace

void HeadlessPlatform::run_modal(form::Dialog& dialog) {
    if (answer_modal) {
        answer_modal(dialog);
    }
    dialog.close();
}

form::MessageAnswer HeadlessPlatform::show_message(const std::string& text, const std::string& title,
                                                   form::MessageIcon icon, form::MessageButtons) {
    messages_.push_back({text, title, icon});
    // The settings notice is a warning: the program goes on with the defaults it names.
    const bool notice = title == settings_notice_title;
    errors_ << "varnika-cli: " << (notice ? "warning: " : "") << (title.empty() ? "" : title + ": ")
            << one_line(text) << '\n';
    return form::MessageAnswer::Ok;
}

std::string one_line(const std::string& text) {
    std::string line;
    bool broken = false;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            broken = true;
            continue;
        }
        if (broken && !line.empty()) {
            line += "; ";
        }
        broken = false;
        line += c;
    }
    return line;
}

int filter_index_for(const std::string& filter, const std::string& file_name) {
    std::string extension = std::filesystem::path(file_name).extension().string();
    extension = lower_case(extension.empty() ? extension : extension.substr(1));
    const int entries = static_cast<int>(filter_parts(filter).size() / 2);
    int all_files = 0;
    for (int entry = 1; entry <= entries; ++entry) {
        const std::string pattern = filter_extension(filter, entry);
        if (pattern.empty()) {
            all_files = all_files == 0 ? entry : all_files;
        } else if (!extension.empty() && lower_case(pattern) == extension) {
            return entry;
        }
    }
    return all_files != 0 ? all_files : 1;
}

void HeadlessDesktop::answer_with(std::string answer_path, std::string chosen_name) {
    answer_path_ = std::move(answer_path);
    chosen_name_ = std::move(chosen_name);
}

SaveFileAnswer HeadlessDesktop::ask_save_file(const SaveFileRequest& request) {
    ++dialogs_;
    return {answer_path_, filter_index_for(request.filter, chosen_name_)};
}

} // namespace varnika::cli
