// The desktop of a program without a display. Message boxes become one line each on the error stream
// and are kept, so that the caller can tell how a run ended; modal dialogs are answered by whatever the
// caller sets up, or closed unanswered. The save dialog answers with a file name given beforehand.
#pragma once

#include "form/platform.h"
#include "run/generation_desktop.h"

#include <functional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace varnika::cli {

class HeadlessPlatform : public form::Platform {
public:
    struct Message {
        std::string text;
        std::string title;
        form::MessageIcon icon;
    };

    explicit HeadlessPlatform(std::ostream& errors) : errors_(errors) {}

    // Plays the user's part in a modal dialog; left empty, every dialog is closed unanswered.
    std::function<void(form::Dialog&)> answer_modal;

    const std::vector<Message>& messages() const { return messages_; }

    void run_modal(form::Dialog& dialog) override;
    // Writes "varnika-cli: <title>: <text>" on one line and answers "OK".
    form::MessageAnswer show_message(const std::string& text, const std::string& title,
                                     form::MessageIcon icon, form::MessageButtons buttons) override;
    // There is no window to close and the caller ends the program itself.
    void close_main_window() override {}
    void end_program() override {}

private:
    std::ostream& errors_;
    std::vector<Message> messages_;
};

// A message's text on one line: line breaks become "; ", runs of them count once.
std::string one_line(const std::string& text);

// The 1-based entry of a save dialog's `filter` that `file_name` implies: the entry whose pattern has the
// name's extension (letter case aside); otherwise the "all files" entry; 1 when the list has neither.
int filter_index_for(const std::string& filter, const std::string& file_name);

class HeadlessDesktop : public GenerationDesktop {
public:
    // The next save dialog answers `answer_path`, with the filter entry that `chosen_name` implies (the
    // name the user gave; the answer may be a temporary name for it).
    void answer_with(std::string answer_path, std::string chosen_name);
    int dialogs() const { return dialogs_; }

    SaveFileAnswer ask_save_file(const SaveFileRequest& request) override;
    void show_busy_pointer(bool) override {}
    void let_pending_messages_through() override {}

private:
    std::string answer_path_;
    std::string chosen_name_;
    int dialogs_ = 0;
};

} // namespace varnika::cli
