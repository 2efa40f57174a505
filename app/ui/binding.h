// Binds Qt widgets to the window's model elements. A binding copies the element's state into the widget
// whenever the element changes, and hands the user's actions (typing, Enter, leaving a field, a spin
// arrow, a pick in a list, a click) to the element. It adds no rules of its own.
#pragma once

#include "form/button.h"
#include "form/choice_list.h"
#include "form/element.h"
#include "form/option_group.h"
#include "form/text_field.h"

#include <QString>
#include <Qt>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;
class QObject;
class QTabWidget;
class QWidget;

namespace varnika::ui {

QString qt_text(const std::string& text);

// Keeps a model subscription for as long as `owner` lives.
void keep_while_alive(QObject* owner, form::Connection connection);

// Enabled and visible state only.
void bind_state(QWidget* widget, const form::Element& element);
void bind_label(QLabel* label, const form::Label& element);
// A notice: a label whose text wraps over several lines, and only between its phrases (after ", ", ": ",
// "; " or ". "), never inside a phrase or a name such as "F-ACKCH 5".
void bind_notice(QLabel* label, const form::Label& element);
// `text` as a notice shows it: inside a phrase spaces are no-break spaces and hyphens no-break hyphens.
QString phrase_wrapped(const std::string& text);
// Caption (for a group box), enabled and visible.
void bind_frame(QWidget* box, const form::Frame& frame);
// Text, key filter (refused keys beep), Enter, leaving the field, and Up/Down as spin steps.
void bind_field(QLineEdit* edit, form::TextField& field);
void bind_choice(QComboBox* combo, form::ChoiceList& list);
void bind_button(QAbstractButton* button, form::Button& element);
void bind_tabs(QTabWidget* tabs, form::TabSet& tab_set);
// Applies the text field being typed in inside `window`, if any, exactly as leaving the field does: a
// close request or a run that starts while a field is being edited then works with the applied value.
void commit_field_in_edit(QWidget* window);
// One radio button per option the window offers, in a row or a column.
QWidget* make_options(form::OptionGroup& group, Qt::Orientation orientation, QWidget* parent = nullptr);

} // namespace varnika::ui
