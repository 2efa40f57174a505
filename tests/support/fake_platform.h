// A stand-in for the desktop: modal dialogs run a script the test sets, messages are recorded.
#pragma once

#include "form/platform.h"

#include <functional>
#include <string>
#include <vector>

namespace varnika::testing {

class FakePlatform : public form::Platform {
public:
    // Plays the user's part while a modal dialog is open.
    std::function<void(form::Dialog&)> on_modal;
    int modal_runs = 0;
    std::vector<std::string> messages;
    int close_requests = 0;
    int program_ends = 0;

    void run_modal(form::Dialog& dialog) override {
        ++modal_runs;
        if (on_modal) {
            on_modal(dialog);
        }
    }
    form::MessageAnswer show_message(const std::string& text, const std::string&, form::MessageIcon,
                                     form::MessageButtons) override {
        messages.push_back(text);
        return form::MessageAnswer::Ok;
    }
    void close_main_window() override { ++close_requests; }
    void end_program() override { ++program_ends; }
};

} // namespace varnika::testing
