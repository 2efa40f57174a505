#include "ui/papr_dialog.h"

#include "ui/binding.h"

#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>

#include <algorithm>
#include <memory>

namespace varnika::ui {

namespace {

// Width of the left-out list's text, in pixels.
constexpr int left_out_width = 300;

struct PaprView {
    QDialog* dialog = nullptr;
    QScrollArea* left_out_area = nullptr;
    QLabel* left_out = nullptr;
};

PaprView make_papr_dialog(PaprDialog& model, QWidget* parent) {
    PaprView view;
    auto* dialog = new QDialog(parent);
    view.dialog = dialog;
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
        // The figures can be selected with the mouse and copied, but the dialog opens on its OK button,
        // not on a selected figure.
        value->setFocusPolicy(Qt::ClickFocus);
        grid->addWidget(caption, row, 0);
        grid->addWidget(value, row, 1);
        grid->addWidget(new QLabel("dB", dialog), row, 2);
        ++row;
    }

    // The rows left out can be hundreds: their list scrolls, so the dialog and its OK button stay on the
    // screen.
    view.left_out = new QLabel;
    bind_notice(view.left_out, model.left_out);
    view.left_out->setStyleSheet("color: #a05000");
    view.left_out->setFixedWidth(left_out_width);
    view.left_out->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view.left_out->setTextInteractionFlags(Qt::TextSelectableByMouse);
    view.left_out_area = new QScrollArea(dialog);
    view.left_out_area->setObjectName("PAPR_Left_Out_List");
    view.left_out_area->setWidget(view.left_out);
    view.left_out_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.left_out_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view.left_out_area->setFrameShape(QFrame::NoFrame);
    view.left_out_area->setFixedWidth(left_out_width +
                                      view.left_out_area->verticalScrollBar()->sizeHint().width());
    bind_state(view.left_out_area, model.left_out);
    grid->addWidget(view.left_out_area, row++, 0, 1, 3);

    auto* ok = new QPushButton(dialog);
    bind_button(ok, model.PAPR_Command);
    ok->setDefault(true);
    grid->addWidget(ok, row, 0, 1, 3, Qt::AlignCenter);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    // Closed with the title bar: the model hides it too.
    QObject::connect(dialog, &QDialog::finished, dialog, [&model] { model.Form3.close(); });
    return view;
}

// Sizes the left-out list to its text, but no taller than leaves the whole dialog within the screen's
// available area, and moves the dialog inside that area.
void fit_to_screen(const PaprView& view) {
    QDialog* dialog = view.dialog;
    const QScreen* screen =
        dialog->parentWidget() != nullptr ? dialog->parentWidget()->screen() : dialog->screen();
    const QRect room = screen->availableGeometry();
    QLabel* text = view.left_out;
    text->adjustSize();
    const int text_height = text->heightForWidth(left_out_width);
    text->setFixedHeight(std::max(text_height, 0));
    // The dialog's height without the list, and what the window frame adds (known once it was shown).
    view.left_out_area->setFixedHeight(0);
    dialog->layout()->activate();
    const int others = dialog->layout()->sizeHint().height();
    const int frame = std::max(dialog->frameGeometry().height() - dialog->height(), 0);
    const int line = text->fontMetrics().lineSpacing();
    const int room_for_list = std::max(room.height() - others - frame, 3 * line);
    view.left_out_area->setFixedHeight(std::min(text_height, room_for_list));
    dialog->layout()->activate();
    dialog->adjustSize();

    const QSize outer = dialog->frameGeometry().size().expandedTo(dialog->size());
    QPoint at = dialog->pos();
    at.setX(std::clamp(at.x(), room.left(), std::max(room.left(), room.right() + 1 - outer.width())));
    at.setY(std::clamp(at.y(), room.top(), std::max(room.top(), room.bottom() + 1 - outer.height())));
    dialog->move(at);
}

} // namespace

void attach_papr_dialog(PaprDialog& model, QWidget* parent) {
    auto view = std::make_shared<PaprView>();
    auto alive = std::make_shared<QPointer<QDialog>>();
    keep_while_alive(parent, model.Form3.on_change([&model, parent, view, alive] {
        if (model.Form3.visible()) {
            if (alive->isNull()) {
                *view = make_papr_dialog(model, parent);
                *alive = view->dialog;
            }
            QDialog* dialog = view->dialog;
            fit_to_screen(*view);
            view->left_out_area->verticalScrollBar()->setValue(0);
            dialog->show();
            fit_to_screen(*view); // again, now that the frame's size is known
            dialog->raise();
            dialog->activateWindow();
            if (auto* ok = dialog->findChild<QPushButton*>(qt_text(model.PAPR_Command.object_name()))) {
                ok->setFocus(Qt::OtherFocusReason);
            }
        } else if (!alive->isNull() && (*alive)->isVisible()) {
            (*alive)->hide();
        }
    }));
}

} // namespace varnika::ui
