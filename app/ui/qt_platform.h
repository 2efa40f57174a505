// The desktop side of the window's rules, with Qt: modal dialogs, the message box, closing the window.
#pragma once

#include "form/platform.h"

#include <QPointer>

#include <functional>
#include <map>

class QDialog;
class QWidget;

namespace varnika::ui {

class QtPlatform : public form::Platform {
public:
    // Builds the view of a dialog model; called on the dialog's first use. The view is kept, hidden,
    // between uses.
    using DialogView = std::function<QDialog*(QWidget* parent)>;

    void set_main_window(QWidget* window) { main_window_ = window; }
    void register_dialog(const form::Dialog& dialog, DialogView view);

    void run_modal(form::Dialog& dialog) override;
    form::MessageAnswer show_message(const std::string& text, const std::string& title,
                                     form::MessageIcon icon, form::MessageButtons buttons) override;
    void close_main_window() override;
    void end_program() override;

private:
    struct Entry {
        DialogView make;
        QPointer<QDialog> view;
    };
    QPointer<QWidget> main_window_;
    std::map<const form::Dialog*, Entry> dialogs_;
};

} // namespace varnika::ui
