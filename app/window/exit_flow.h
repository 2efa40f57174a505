// Leaving the program. Every way of closing the main window (the "Exit" button, the window's close box, the
// desktop session ending) asks one question in the exit dialog Form2: "Save and Quit" writes
// system_def.ini, uplink_def.ini and downlink_def.ini, in that order, from the window as it stands;
// "Quit without Saving" writes nothing; "Cancel" (or the dialog's close box) keeps the program running.
//
// A settings file that cannot be written is reported by name and the program stays open, so the user can
// choose again; the file on the disk keeps its previous contents.
#pragma once

#include "form/button.h"
#include "form/platform.h"
#include "settings/settings_model.h"
#include "window/settings_file_common.h"

#include <array>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace varnika {

inline constexpr const char* exit_dialog_caption = "Exit";

// The exit dialog Form2 and its button group ExitPara_Button.
struct ExitDialog {
    static constexpr int save_and_quit = 0;
    static constexpr int quit_without_saving = 1;
    static constexpr int cancel = 2;

    form::Dialog Form2{"Form2", exit_dialog_caption};
    // The question the three buttons answer, stated above them.
    form::Label question{"ExitPara_Question", "Save the settings before quitting?"};
    std::array<form::Button, 3> ExitPara_Button{
        form::Button(form::ElementId("ExitPara_Button", save_and_quit), "Save and Quit"),
        form::Button(form::ElementId("ExitPara_Button", quit_without_saving), "Quit without Saving"),
        form::Button(form::ElementId("ExitPara_Button", cancel), "Cancel")};
};

// How the flow reaches the settings files: `write` writes one from the window as it stands (false when it
// was not written, with `cause` saying why where that is known); `path` says where the file is.
struct SettingsFileAccess {
    std::function<bool(SettingsFile file, std::string* cause)> write;
    std::function<std::filesystem::path(SettingsFile file)> path;
};

class ExitFlow {
public:
    ExitFlow(SettingsModel& model, form::Platform& platform, SettingsFileAccess files);
    ExitFlow(const ExitFlow&) = delete;
    ExitFlow& operator=(const ExitFlow&) = delete;

    ExitDialog dialog;

    // The main window's close request: shows the exit dialog and carries out the answer. True when the
    // program ends now; false when the window must stay open with everything as it was.
    bool close_requested();

    // The message shown when settings files could not be written, naming them.
    static std::string write_failure_message(const std::vector<std::string>& paths);

private:
    void save_and_quit();
    void quit_without_saving();
    void cancel();
    void write(SettingsFile file);

    SettingsModel& model_;
    form::Platform& platform_;
    SettingsFileAccess files_;
    bool asking_ = false;
    std::vector<std::string> not_written_;
};

} // namespace varnika
