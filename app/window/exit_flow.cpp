#include "window/exit_flow.h"

#include <utility>

namespace varnika {

ExitFlow::ExitFlow(SettingsModel& model, form::Platform& platform, SettingsFileAccess files)
    : model_(model), platform_(platform), files_(std::move(files)) {
    dialog.ExitPara_Button[ExitDialog::save_and_quit].set_press_rule([this] { save_and_quit(); });
    dialog.ExitPara_Button[ExitDialog::quit_without_saving].set_press_rule([this] { quit_without_saving(); });
    dialog.ExitPara_Button[ExitDialog::cancel].set_press_rule([this] { cancel(); });
}

std::string ExitFlow::write_failure_message(const std::vector<std::string>& paths) {
    std::string text = paths.size() == 1 ? "The settings file could not be written:\n"
                                         : "The settings files could not be written:\n";
    for (const std::string& path : paths) {
        text += "\n" + path;
    }
    return text + "\n\nThe previous settings in it are kept. Choose again how to leave the program.";
}

bool ExitFlow::close_requested() {
    // A second close request while the dialog is up (the desktop session ending, say) is refused; the
    // open dialog answers for both.
    if (asking_) {
        return false;
    }
    SettingsModel& model = model_;
    model.save_flag = false;
    model.quit_flag = false;
    not_written_.clear();

    asking_ = true;
    dialog.Form2.open();
    platform_.run_modal(dialog.Form2);
    dialog.Form2.close();
    asking_ = false;

    if (model.save_flag) {
        write(SettingsFile::Uplink);
        write(SettingsFile::Downlink);
    }
    if (!not_written_.empty()) {
        model.save_flag = false;
        model.quit_flag = false;
        platform_.show_message(write_failure_message(not_written_), exit_dialog_caption,
                               form::MessageIcon::Exclamation, form::MessageButtons::Ok);
        return false;
    }
    return model.quit_flag;
}

void ExitFlow::save_and_quit() {
    write(SettingsFile::System);
    model_.save_flag = true;
    dialog.Form2.close();
    model_.quit_flag = true;
}

void ExitFlow::quit_without_saving() {
    dialog.Form2.close();
    model_.quit_flag = true;
    model_.save_flag = false;
}

void ExitFlow::cancel() {
    dialog.Form2.close();
    model_.quit_flag = false;
    model_.save_flag = false;
}

void ExitFlow::write(SettingsFile file) {
    std::string cause;
    if (!files_.write(file, &cause)) {
        not_written_.push_back(files_.path(file).string() + (cause.empty() ? "" : " (" + cause + ")"));
    }
}

} // namespace varnika
