#include "ui/spin_field.h"

#include "ui/binding.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

namespace varnika::ui {

namespace {

QToolButton* arrow(Qt::ArrowType type, const QString& name, QWidget* parent) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setArrowType(type);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus); // the field keeps the focus while its value steps
    button->setFixedSize(16, 11);
    return button;
}

} // namespace

SpinField::SpinField(form::TextField& field, QWidget* parent) : QWidget(parent), edit_(new QLineEdit(this)) {
    const QString spin_name = qt_text(field.spin_object_name());
    auto* arrows = new QWidget(this);
    arrows->setObjectName(spin_name);
    up_ = arrow(Qt::UpArrow, spin_name + "_Up", arrows);
    down_ = arrow(Qt::DownArrow, spin_name + "_Down", arrows);
    auto* arrow_layout = new QVBoxLayout(arrows);
    arrow_layout->setContentsMargins(0, 0, 0, 0);
    arrow_layout->setSpacing(0);
    arrow_layout->addWidget(up_);
    arrow_layout->addWidget(down_);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(edit_, 1);
    layout->addWidget(arrows);

    bind_field(edit_, field);
    bind_state(arrows, field); // the arrows follow the field's enabled state
    setObjectName(qt_text(field.object_name()) + "_Box");
    connect(up_, &QToolButton::clicked, this, [&field] { field.spin(+1); });
    connect(down_, &QToolButton::clicked, this, [&field] { field.spin(-1); });
}

QWidget* make_field(form::TextField& field, int width_chars, QWidget* parent) {
    QLineEdit* edit = nullptr;
    QWidget* widget = nullptr;
    if (field.has_spin()) {
        auto* spin = new SpinField(field, parent);
        edit = spin->edit();
        widget = spin;
    } else {
        edit = new QLineEdit(parent);
        bind_field(edit, field);
        widget = edit;
    }
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const int width = QFontMetrics(edit->font()).horizontalAdvance(QString(width_chars, QChar('0'))) + 14;
    edit->setMinimumWidth(width);
    return widget;
}

} // namespace varnika::ui
