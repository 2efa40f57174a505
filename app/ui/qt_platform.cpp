#include "ui/qt_platform.h"

#include "ui/binding.h"

#include <QDialog>
#include <QMessageBox>
#include <QWidget>

#include <cstdlib>

namespace varnika::ui {

void QtPlatform::register_dialog(const form::Dialog& dialog, DialogView view) {
    dialogs_[&dialog] = Entry{std::move(view), nullptr};
}

void QtPlatform::run_modal(form::Dialog& dialog) {
    const auto it = dialogs_.find(&dialog);
    if (it == dialogs_.end()) {
        dialog.close();
        return;
    }
    Entry& entry = it->second;
    if (entry.view.isNull()) {
        entry.view = entry.make(main_window_);
    }
    QDialog* view = entry.view;
    // The dialog's own rules close the model; the view follows.
    const form::Connection closing = dialog.on_change([view, &dialog] {
        if (!dialog.visible() && view->isVisible()) {
            view->done(QDialog::Accepted);
        }
    });
    view->exec();
    dialog.close(); // dismissed by the close box or Escape
}

form::MessageAnswer QtPlatform::show_message(const std::string& text, const std::string& title,
                                             form::MessageIcon icon, form::MessageButtons buttons) {
    QMessageBox box(main_window_);
    box.setText(qt_text(text));
    box.setWindowTitle(qt_text(title));
    box.setIcon(icon == form::MessageIcon::Exclamation ? QMessageBox::Warning
                : icon == form::MessageIcon::Critical  ? QMessageBox::Critical
                                                       : QMessageBox::NoIcon);
    box.setStandardButtons(buttons == form::MessageButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                                                     : QMessageBox::Ok);
    return box.exec() == QMessageBox::Cancel ? form::MessageAnswer::Cancel : form::MessageAnswer::Ok;
}

void QtPlatform::close_main_window() {
    if (main_window_) {
        main_window_->close();
    }
}

void QtPlatform::end_program() {
    std::exit(EXIT_SUCCESS);
}

} // namespace varnika::ui
