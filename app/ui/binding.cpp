#include "ui/binding.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>

#include <memory>

namespace varnika::ui {

namespace {

// Owns a model subscription; destroyed with its parent widget, which ends the subscription.
class Subscription : public QObject {
public:
    Subscription(QObject* owner, form::Connection connection)
        : QObject(owner), connection_(std::move(connection)) {}

private:
    form::Connection connection_;
};

// Hands the keys and the focus of a line edit to its text field.
class FieldKeys : public QObject {
public:
    FieldKeys(QLineEdit* edit, form::TextField& field) : QObject(edit), field_(field) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            return key_pressed(static_cast<QKeyEvent*>(event));
        }
        if (event->type() == QEvent::FocusOut) {
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            // A popup (context menu) or another application taking the focus is not leaving the field.
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
                field_.commit();
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool key_pressed(QKeyEvent* key) {
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            field_.press_key(form::TextField::enter_key);
            return true;
        }
        if (field_.has_spin() && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down)) {
            field_.spin(key->key() == Qt::Key_Up ? +1 : -1);
            return true;
        }
        const QList<uint> codes = key->text().toUcs4();
        if (codes.isEmpty()) {
            return false; // navigation keys carry no character
        }
        for (const uint code : codes) {
            if (field_.press_key(static_cast<char32_t>(code)) == form::KeyOutcome::Refused) {
                QApplication::beep();
                return true;
            }
        }
        return false;
    }

    form::TextField& field_;
};

void show_state(QWidget* widget, const form::Element& element) {
    widget->setEnabled(element.enabled());
    // Hidden or shown relative to the parent, so an element on a page that is not in front stays shown.
    widget->setVisible(element.visible());
}

QStringList qt_items(const std::vector<std::string>& items) {
    QStringList list;
    for (const std::string& item : items) {
        list.push_back(qt_text(item));
    }
    return list;
}

} // namespace

QString qt_text(const std::string& text) {
    return QString::fromStdString(text);
}

void keep_while_alive(QObject* owner, form::Connection connection) {
    new Subscription(owner, std::move(connection));
}

void bind_state(QWidget* widget, const form::Element& element) {
    auto update = [widget, &element] { show_state(widget, element); };
    update();
    keep_while_alive(widget, element.on_change(update));
}

void bind_label(QLabel* label, const form::Label& element) {
    label->setObjectName(qt_text(element.object_name()));
    auto update = [label, &element] {
        label->setText(qt_text(element.text()));
        show_state(label, element);
    };
    update();
    keep_while_alive(label, element.on_change(update));
}

QString phrase_wrapped(const std::string& text) {
    QString wrapped = qt_text(text);
    for (qsizetype k = 1; k + 1 < wrapped.size(); ++k) {
        const QChar before = wrapped[k - 1];
        if (wrapped[k] == u'-' && !before.isSpace() && !wrapped[k + 1].isSpace()) {
            wrapped[k] = QChar(0x2011); // no-break hyphen
        } else if (wrapped[k] == u' ' && before != u',' && before != u':' && before != u';' &&
                   before != u'.') {
            wrapped[k] = QChar(0x00A0); // no-break space
        }
    }
    return wrapped;
}

void bind_notice(QLabel* label, const form::Label& element) {
    label->setObjectName(qt_text(element.object_name()));
    label->setWordWrap(true);
    auto update = [label, &element] {
        label->setText(phrase_wrapped(element.text()));
        show_state(label, element);
    };
    update();
    keep_while_alive(label, element.on_change(update));
}

void bind_frame(QWidget* box, const form::Frame& frame) {
    box->setObjectName(qt_text(frame.object_name()));
    if (auto* group = qobject_cast<QGroupBox*>(box)) {
        group->setTitle(qt_text(frame.caption()));
    }
    bind_state(box, frame);
}

void bind_field(QLineEdit* edit, form::TextField& field) {
    edit->setObjectName(qt_text(field.object_name()));
    auto update = [edit, &field] {
        const QString text = qt_text(field.text());
        if (edit->text() != text) {
            edit->setText(text);
        }
        edit->setEchoMode(field.masked() ? QLineEdit::Password : QLineEdit::Normal);
        show_state(edit, field);
    };
    update();
    keep_while_alive(edit, field.on_change(update));
    QObject::connect(edit, &QLineEdit::textEdited, edit,
                     [&field](const QString& text) { field.set_text(text.toStdString()); });
    edit->installEventFilter(new FieldKeys(edit, field));
}

void commit_field_in_edit(QWidget* window) {
    QWidget* focused = window->focusWidget();
    if (qobject_cast<QLineEdit*>(focused) == nullptr) {
        return;
    }
    // The very event that leaving the field sends, so every binding commits as it does on leaving.
    QFocusEvent leaving(QEvent::FocusOut, Qt::OtherFocusReason);
    QCoreApplication::sendEvent(focused, &leaving);
}

void bind_choice(QComboBox* combo, form::ChoiceList& list) {
    combo->setObjectName(qt_text(list.object_name()));
    auto update = [combo, &list] {
        const QStringList items = qt_items(list.items());
        QStringList shown;
        for (int k = 0; k < combo->count(); ++k) {
            shown.push_back(combo->itemText(k));
        }
        if (shown != items) {
            combo->clear();
            combo->addItems(items);
        }
        combo->setCurrentIndex(list.selected());
        show_state(combo, list);
    };
    update();
    keep_while_alive(combo, list.on_change(update));
    // activated: only the user's picks; the model's own selections arrive through update().
    QObject::connect(combo, &QComboBox::activated, combo, [&list](int index) { list.select(index); });
}

void bind_button(QAbstractButton* button, form::Button& element) {
    button->setObjectName(qt_text(element.object_name()));
    auto update = [button, &element] {
        button->setText(qt_text(element.caption()));
        if (const auto colour = element.colour()) {
            // Dark text on the colour, enabled or not: the pilot's fixed "ON" must stay readable.
            button->setStyleSheet(
                QString("background-color: #%1; color: #000000").arg(*colour, 6, 16, QChar('0')));
        } else {
            button->setStyleSheet({});
        }
        show_state(button, element);
    };
    update();
    keep_while_alive(button, element.on_change(update));
    QObject::connect(button, &QAbstractButton::clicked, button, [&element] { element.press(); });
}

QWidget* make_options(form::OptionGroup& group, Qt::Orientation orientation, QWidget* parent) {
    auto* box = new QWidget(parent);
    box->setObjectName(qt_text(group.object_name()));
    QBoxLayout* layout = orientation == Qt::Horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(box))
                                                       : static_cast<QBoxLayout*>(new QVBoxLayout(box));
    layout->setContentsMargins(0, 0, 0, 0);
    auto* buttons = new QButtonGroup(box);
    for (int index = 0; index < group.count(); ++index) {
        if (!group.offers(index)) {
            continue;
        }
        auto* option = new QRadioButton(qt_text(group.captions()[static_cast<std::size_t>(index)]), box);
        option->setObjectName(qt_text(group.object_name()) + "_" + QString::number(index));
        buttons->addButton(option, index);
        layout->addWidget(option);
    }
    layout->addStretch(1);
    auto update = [buttons, &group] {
        QAbstractButton* chosen = buttons->button(group.selected());
        if (chosen != nullptr) {
            chosen->setChecked(true);
        } else if (QAbstractButton* checked = buttons->checkedButton()) {
            // An index without a button: none of the buttons is on.
            buttons->setExclusive(false);
            checked->setChecked(false);
            buttons->setExclusive(true);
        }
    };
    update();
    bind_state(box, group);
    keep_while_alive(box, group.on_change(update));
    // idClicked: only the user's clicks; the model's selections arrive through update().
    QObject::connect(buttons, &QButtonGroup::idClicked, box, [&group](int index) { group.select(index); });
    return box;
}

void bind_tabs(QTabWidget* tabs, form::TabSet& tab_set) {
    tabs->setObjectName(qt_text(tab_set.object_name()));
    auto update = [tabs, &tab_set] {
        if (tab_set.selected() >= 0 && tabs->currentIndex() != tab_set.selected()) {
            tabs->setCurrentIndex(tab_set.selected());
        }
        show_state(tabs, tab_set);
    };
    update();
    keep_while_alive(tabs, tab_set.on_change(update));
    QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [&tab_set](int page) {
        if (tab_set.selected() != page) {
            tab_set.select(page);
        }
    });
}

} // namespace varnika::ui
