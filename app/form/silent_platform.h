// A platform without a desktop: a modal dialog returns at once unanswered and every message is dropped.
// For driving the window models where nobody watches: benchmarks and fuzz targets.
#pragma once

#include "form/platform.h"

namespace varnika::form {

class SilentPlatform : public Platform {
public:
    void run_modal(Dialog&) override {}
    MessageAnswer show_message(const std::string&, const std::string&, MessageIcon, MessageButtons) override {
        return MessageAnswer::Ok;
    }
    void close_main_window() override {}
    void end_program() override {}
};

} // namespace varnika::form
