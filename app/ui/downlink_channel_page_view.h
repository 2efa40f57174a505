// The view of the downlink page "Channel Settings (Downlink)": the channel status area, the test models,
// "Set Default", "Adjust Total Power" and the virtualised "Channel Parameters" list.
#pragma once

#include "window/main_form.h"

class QWidget;

namespace varnika::ui {

QWidget* build_downlink_channel_page(MainForm& form, QWidget* parent);

} // namespace varnika::ui
