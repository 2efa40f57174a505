// The window's framed groups, as on an instrument's front panel: a thin rounded border with the caption,
// bold and dark blue, set into its top edge.
#pragma once

class QGroupBox;
class QWidget;

namespace varnika::ui {

// The look, in the words of a style sheet.
extern const char* const framed_group_sheet;

// A group box with the framed look, inside `parent` (not null). Only the box takes the look; the widgets
// inside it are drawn by the application's style as everywhere else.
QGroupBox* make_framed_group(QWidget* parent);

} // namespace varnika::ui
