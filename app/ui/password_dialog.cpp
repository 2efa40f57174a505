#include "ui/password_dialog.h"

#include "ui/binding.h"

#include <QDialog>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace varnika::ui {

namespace {

// The tester password contains a control character. A line edit would take Ctrl+letter as an
// editing command, so here Ctrl+A .. Ctrl+Z type the control codes 1 .. 26 instead.
class ControlCharacterKeys : public QObject {
public:
    ControlCharacterKeys(QLineEdit* edit, form::TextField& field)
        : QObject(edit), edit_(edit), field_(field) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() == Qt::ControlModifier && key->key() >= Qt::Key_A &&
                key->key() <= Qt::Key_Z) {
                edit_->insert(QString(QChar(key->key() - Qt::Key_A + 1)));
                field_.set_text(edit_->text().toStdString());
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QLineEdit* edit_;
    form::TextField& field_;
};

} // namespace

QDialog* make_password_dialog(PasswordDialog& model, QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setObjectName(qt_text(model.Form4.object_name()));
    dialog->setWindowTitle(qt_text(model.Form4.caption()));
    dialog->setModal(true);

    auto* password = new QLineEdit(dialog);
    bind_field(password, model.Pass_Text);
    password->installEventFilter(new ControlCharacterKeys(password, model.Pass_Text));
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
