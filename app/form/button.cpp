#include "form/button.h"

namespace varnika::form {

void Button::set_caption(std::string caption) {
    if (caption_ != caption) {
        caption_ = std::move(caption);
        notify();
    }
}

void Button::set_colour(std::optional<std::uint32_t> colour) {
    if (colour_ != colour) {
        colour_ = colour;
        notify();
    }
}

void Button::press() const {
    if (rule_) {
        rule_();
    }
}

} // namespace varnika::form
