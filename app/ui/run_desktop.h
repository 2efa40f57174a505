// The desktop side of a generation run, with Qt: the file-save dialog, the hourglass, and letting the
// window's pending events through.
#pragma once

#include "run/generation_desktop.h"

class QWidget;

namespace varnika::ui {

class QtGenerationDesktop : public GenerationDesktop {
public:
    void set_main_window(QWidget* window) { main_window_ = window; }

    SaveFileAnswer ask_save_file(const SaveFileRequest& request) override;
    void show_busy_pointer(bool busy) override;
    void let_pending_messages_through() override;

private:
    QWidget* main_window_ = nullptr; // the dialog's parent
};

} // namespace varnika::ui
