#include "ui/exit_dialog.h"

#include "ui/binding.h"

#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace varnika::ui {

QDialog* make_exit_dialog(ExitDialog& model, QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(qt_text(model.Form2.object_name()));
    dialog->setWindowTitle(qt_text(model.Form2.caption()));
    dialog->setModal(true);

    auto* layout = new QVBoxLayout(dialog);
    auto* question = new QLabel(dialog);
    bind_label(question, model.question);
    layout->addWidget(question);
    auto* buttons = new QHBoxLayout;
    layout->addLayout(buttons);
    for (form::Button& element : model.ExitPara_Button) {
        auto* button = new QPushButton(dialog);
        bind_button(button, element);
        // Leaving is always a deliberate click: Enter answers nothing, Escape and the close box cancel.
        button->setAutoDefault(false);
        button->setMinimumWidth(140);
        buttons->addWidget(button);
    }
    layout->setSizeConstraint(QLayout::SetFixedSize);
    return dialog;
}

} // namespace varnika::ui
