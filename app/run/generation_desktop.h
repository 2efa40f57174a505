// What a generation run needs from the desktop besides the message box: the file-save dialog, the busy
// pointer, and letting the window's pending messages through while the run holds the window's thread.
// The Qt view implements it; tests use fakes.
#pragma once

#include <string>

namespace varnika {

struct SaveFileRequest {
    std::string title;
    // Caption and pattern pairs separated by "|": "AWG(*.awv)|*.awv|all files(*.*)|*.*".
    std::string filter;
    int filter_index = 1; // 1-based entry of `filter` chosen when the dialog opens
    bool confirm_overwrite = true;
    std::string initial_folder; // empty: the dialog's own default folder
    std::string file_name;      // preset file name
};

struct SaveFileAnswer {
    std::string file_name; // empty when the user cancelled
    int filter_index = 1;  // 1-based entry chosen when the dialog closed
};

class GenerationDesktop {
public:
    virtual ~GenerationDesktop() = default;

    // Runs the system's file-save dialog modally. The process's current folder is left as it was.
    virtual SaveFileAnswer ask_save_file(const SaveFileRequest& request) = 0;
    // The hourglass over the whole window while `busy`, the normal pointer otherwise.
    virtual void show_busy_pointer(bool busy) = 0;
    // Processes the window's pending messages once, then returns.
    virtual void let_pending_messages_through() = 0;
};

} // namespace varnika
