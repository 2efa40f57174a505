// The exit dialog Form2: "Save and Quit", "Quit without Saving", "Cancel".
#pragma once

#include "window/exit_flow.h"

class QDialog;
class QWidget;

namespace varnika::ui {

QDialog* make_exit_dialog(ExitDialog& dialog, QWidget* parent);

} // namespace varnika::ui
