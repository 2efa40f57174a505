#include "ui/password_dialog.h"

#include "ui/binding.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace varnika::ui {

QDialog* make_password_dialog(PasswordDialog& model, QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(qt_text(model.Form4.object_name()));
    dialog->setWindowTitle(qt_text(model.Form4.caption()));
    dialog->setModal(true);

    auto* password = new QLineEdit(dialog);
    bind_field(password, model.Pass_Text);
    password->setStyleSheet("lineedit-password-character: 42"); // "*" for every character
    password->setMinimumWidth(200);

    auto* ok = new QPushButton(dialog);
    bind_button(ok, model.OK_Command);
    auto* cancel = new QPushButton(dialog);
    bind_button(cancel, model.Chancel_Command);
    ok->setAutoDefault(false);
    cancel->setAutoDefault(false);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(dialog);
    layout->addWidget(new QLabel("Password :", dialog));
    layout->addWidget(password);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return dialog;
}

} // namespace varnika::ui
