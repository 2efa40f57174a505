// The "PASSWORD" dialog of Tester Mode.
#pragma once

#include "uplink/tester_mode.h"

class QDialog;
class QWidget;

namespace varnika::ui {

QDialog* make_password_dialog(PasswordDialog& dialog, QWidget* parent);

} // namespace varnika::ui
