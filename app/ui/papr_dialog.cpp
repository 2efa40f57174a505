#include "ui/papr_dialog.h"

#include "ui/binding.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <memory>

namespace varnika::ui {

namespace {

QDialog* make_papr_dialog(PaprDialog& model, QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(qt_text(model.Form3.object_name()));
    dialog->setWindowTitle(qt_text(model.Form3.caption()));
    dialog->setModal(false);
    auto* grid = new QGridLayout(dialog);
    auto add_label = [dialog, grid](form::Label& element, int row) {
        auto* label = new QLabel(dialog);
        bind_label(label, element);
        grid->addWidget(label, row, 0, 1, 3);
        return label;
    };
    add_label(model.file_caption, 0)->setTextInteractionFlags(Qt::TextSelectableByMouse);
    add_label(model.link_caption, 1);
    int row = 2;
    for (int k = 0; k < 3; ++k) {
        if (k == 1) {
            add_label(model.crest_caption, row++);
        }
        auto* caption = new QLabel(dialog);
        bind_label(caption, model.captions[static_cast<std::size_t>(k)]);
        auto* value = new QLineEdit(dialog);
        bind_field(value, model.PAPR[static_cast<std::size_t>(k)]);
        value->setReadOnly(true);
        value->setAlignment(Qt::AlignRight);
        value->setMinimumWidth(90);
        grid->addWidget(caption, row, 0);
        grid->addWidget(value, row, 1);
        grid->addWidget(new QLabel("dB", dialog), row, 2);
        ++row;
    }
    QLabel* left_out = add_label(model.left_out, row++);
    left_out->setWordWrap(true);
    left_out->setMinimumWidth(260);
    left_out->setStyleSheet("color: #a05000");
    auto* ok = new QPushButton(dialog);
    bind_button(ok, model.PAPR_Command);
    grid->addWidget(ok, row, 0, 1, 3, Qt::AlignCenter);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    // Closed with the title bar: the model hides it too.
    QObject::connect(dialog, &QDialog::finished, dialog, [&model] { model.Form3.close(); });
    return dialog;
}

} // namespace

void attach_papr_dialog(PaprDialog& model, QWidget* parent) {
    auto view = std::make_shared<QPointer<QDialog>>();
    keep_while_alive(parent, model.Form3.on_change([&model, parent, view] {
        if (model.Form3.visible()) {
            if (view->isNull()) {
                *view = make_papr_dialog(model, parent);
            }
            QDialog* dialog = *view;
            dialog->show();
            dialog->raise();
            dialog->activateWindow();
        } else if (!view->isNull() && (*view)->isVisible()) {
            (*view)->hide();
        }
    }));
}

} // namespace varnika::ui
