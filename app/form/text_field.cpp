#include "form/text_field.h"

#include "form/number_text.h"

#include <algorithm>

namespace varnika::form {

TextField::TextField(ElementId id) : Element(std::move(id)) {}

void TextField::set_text(std::string text) {
    if (text_ != text) {
        text_ = std::move(text);
        notify();
    }
}

double TextField::number() const {
    return leading_number(text_);
}

void TextField::set_spin(SpinStep step) {
    spin_step_ = step;
    has_spin_ = true;
}

void TextField::set_masked(bool masked) {
    if (masked_ != masked) {
        masked_ = masked;
        notify();
    }
}

bool TextField::accepts_key(char32_t key) const {
    if (is_control_key(key)) {
        return true;
    }
    return !key_filter_ || key_filter_(key);
}

KeyOutcome TextField::press_key(char32_t key) {
    if (key == enter_key) {
        if (enter_rule_) {
            enter_rule_(*this);
        } else {
            commit();
        }
        return KeyOutcome::Handled;
    }
    return accepts_key(key) ? KeyOutcome::Accepted : KeyOutcome::Refused;
}

void TextField::commit() {
    if (commit_rule_) {
        commit_rule_(*this);
    }
}

void TextField::spin(int direction) {
    if (!has_spin_ || direction == 0) {
        return;
    }
    const double value = number() + (direction > 0 ? spin_step_.step : -spin_step_.step);
    set_text(format_fixed(std::clamp(value, spin_step_.min, spin_step_.max), spin_step_.decimals));
    commit();
}

std::string TextField::spin_object_name() const {
    std::string base = name();
    constexpr std::string_view suffix = "_Text";
    if (base.size() > suffix.size() && base.ends_with(suffix)) {
        base.resize(base.size() - suffix.size());
    }
    base += "_UpDown";
    return index() < 0 ? base : base + "_" + std::to_string(index());
}

bool is_control_key(char32_t key) {
    return key < 32;
}
bool is_digit_key(char32_t key) {
    return key >= U'0' && key <= U'9';
}
bool is_decimal_key(char32_t key) {
    return is_digit_key(key) || key == U'-' || key == U'.';
}
bool is_frequency_key(char32_t key) {
    return is_decimal_key(key) || key == U'k' || key == U'K' || key == U'm' || key == U'M';
}

} // namespace varnika::form
