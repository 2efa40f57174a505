#include "uplink/tester_mode.h"

#include <algorithm>
#include <string>

namespace varnika {

namespace {

// What the password must turn into.
constexpr std::string_view compare_value = "Zq.Hw7";

std::u32string from_utf8(const std::string& text) {
    std::u32string out;
    for (std::size_t k = 0; k < text.size();) {
        const auto lead = static_cast<unsigned char>(text[k]);
        const int length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = length == 1   ? lead
                        : length == 2 ? (lead & 0x1Fu)
                        : length == 3 ? (lead & 0x0Fu)
                                      : (lead & 0x07u);
        for (int n = 1; n < length && k + static_cast<std::size_t>(n) < text.size(); ++n) {
            code = (code << 6) | (static_cast<unsigned char>(text[k + static_cast<std::size_t>(n)]) & 0x3Fu);
        }
        out.push_back(code);
        k += static_cast<std::size_t>(length);
    }
    return out;
}

} // namespace

bool tester_password_accepted(std::u32string_view typed, std::span<const std::int32_t> positions) {
    if (typed.size() != compare_value.size()) {
        return false; // the result has as many characters as the text
    }
    for (std::size_t k = 0; k < typed.size(); ++k) {
        const char32_t code = typed[k];
        if (code > 0xFF) {
            return false;
        }
        const std::size_t entry = code + (k + 1);
        // Entries exist for 0 .. 127; the one past the table would give the character 0, which the compare
        // value does not contain, so every entry from 128 on fails.
        if (entry >= positions.size()) {
            return false;
        }
        const std::int32_t value = std::min<std::int32_t>(positions[entry], 127);
        if (value != static_cast<unsigned char>(compare_value[k])) {
            return false;
        }
    }
    return true;
}

TesterMode::TesterMode(SettingsModel& model, form::Platform& platform,
                       std::span<const std::int32_t> positions)
    : model_(model), platform_(platform), positions_(positions) {
    Tester_Mode_Combo.set_change_rule([this] { mode_changed(); });
    dialog.Pass_Text.set_masked(true);
    dialog.Pass_Text.set_enter_rule([this](form::TextField&) { ok_pressed(); });
    dialog.OK_Command.set_press_rule([this] { ok_pressed(); });
    dialog.Chancel_Command.set_press_rule([this] { cancel_pressed(); });
}

void TesterMode::mode_changed() {
    if (model_.loading_flag) {
        return;
    }
    if (Tester_Mode_Combo.selected() == 1 && model_.tester_mode_flag == 0) {
        Tester_Mode_Combo.select(0);
        // A fresh, empty field every time: a password is not kept in a hidden dialog.
        dialog.Pass_Text.set_text("");
        dialog.Form4.open();
        platform_.run_modal(dialog.Form4);
        dialog.Form4.close();
        Tester_Mode_Combo.select(model_.tester_mode_flag);
        return;
    }
    model_.tester_mode_flag = static_cast<std::int16_t>(std::max(Tester_Mode_Combo.selected(), 0));
}

void TesterMode::ok_pressed() {
    const bool accepted = tester_password_accepted(from_utf8(dialog.Pass_Text.text()), positions_);
    model_.tester_mode_flag = accepted ? 1 : 0;
    dialog.Form4.close();
}

void TesterMode::cancel_pressed() {
    model_.tester_mode_flag = 0;
    dialog.Form4.close();
}

} // namespace varnika
