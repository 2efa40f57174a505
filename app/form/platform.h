// What the window's rules need from the desktop: modal dialogs, the message box, closing the window and
// ending the program. The Qt view implements it; tests use fakes.
#pragma once

#include "form/button.h"

#include <string>

namespace varnika::form {

enum class MessageButtons { Ok, OkCancel };
enum class MessageIcon { None, Exclamation, Critical };
enum class MessageAnswer { Ok, Cancel };

class Platform {
public:
    virtual ~Platform() = default;

    // Opens `dialog` and returns once it has closed (its rules closed it, or the user dismissed it).
    virtual void run_modal(Dialog& dialog) = 0;
    virtual MessageAnswer show_message(const std::string& text, const std::string& title, MessageIcon icon,
                                       MessageButtons buttons) = 0;
    // Asks the main window to close, as its close box would.
    virtual void close_main_window() = 0;
    // Ends the program at once.
    virtual void end_program() = 0;
};

} // namespace varnika::form
