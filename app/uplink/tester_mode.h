// Tester Mode: while on, every generation also writes the waveform's chip-rate reference file. Switching it
// on asks for a password in the "PASSWORD" dialog; switching it off needs none. The mode is never stored.
#pragma once

#include "form/button.h"
#include "form/choice_list.h"
#include "form/element.h"
#include "form/platform.h"
#include "form/text_field.h"
#include "settings/settings_model.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace varnika {

// The password dialog Form4.
struct PasswordDialog {
    form::Dialog Form4{"Form4", "PASSWORD"};
    form::TextField Pass_Text{"Pass_Text"}; // shows "*" per character; Enter acts as OK
    form::Button OK_Command{"OK_Command", "OK"};
    form::Button Chancel_Command{"Chancel_Command", "Cancel"};
};

// The password check. Each typed character (8-bit code c at 1-based position p) is turned into the
// character whose code is the entry c + p of `positions` (at most 127); the result must equal the stored
// compare value exactly. A character beyond the table, or outside 8 bits, fails the check, and so does an
// empty text.
bool tester_password_accepted(std::u32string_view typed, std::span<const std::int32_t> positions);

class TesterMode {
public:
    // `positions`: the bit-reversal position table of length 128, filled at start-up.
    TesterMode(SettingsModel& model, form::Platform& platform, std::span<const std::int32_t> positions);
    TesterMode(const TesterMode&) = delete;
    TesterMode& operator=(const TesterMode&) = delete;

    form::Frame frame{"Tester_Mode_Frame", "Tester Mode"};
    form::ChoiceList Tester_Mode_Combo{"Tester_Mode_Combo", {"OFF", "ON"}};
    PasswordDialog dialog;

private:
    void mode_changed();
    void ok_pressed();
    void cancel_pressed();

    SettingsModel& model_;
    form::Platform& platform_;
    std::span<const std::int32_t> positions_;
};

} // namespace varnika
