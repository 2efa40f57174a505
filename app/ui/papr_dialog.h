// The view of the PAPR dialog Form3: made when the dialog is first shown, then kept and shown, hidden and
// brought to the front as the model says. Modeless.
#pragma once

#include "run/papr_dialog.h"

class QWidget;

namespace varnika::ui {

void attach_papr_dialog(PaprDialog& model, QWidget* parent);

} // namespace varnika::ui
