// A text field with spin arrows beside it, bound to a form::TextField: the arrows step the field's value
// (the step and the limits are the field's own) and commit it.
#pragma once

#include "form/text_field.h"

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace varnika::ui {

class SpinField : public QWidget {
public:
    SpinField(form::TextField& field, QWidget* parent = nullptr);

    QLineEdit* edit() const { return edit_; }
    QToolButton* up() const { return up_; }
    QToolButton* down() const { return down_; }

private:
    QLineEdit* edit_;
    QToolButton* up_;
    QToolButton* down_;
};

// A plain line edit, or a SpinField when the field has spin arrows; bound either way.
QWidget* make_field(form::TextField& field, int width_chars, QWidget* parent = nullptr);

} // namespace varnika::ui
