#include "form/element.h"

namespace varnika::form {

std::string Element::object_name() const {
    return id_.index < 0 ? id_.name : id_.name + "_" + std::to_string(id_.index);
}

void Element::set_enabled(bool enabled) {
    if (enabled_ != enabled) {
        enabled_ = enabled;
        notify();
    }
}

void Element::set_visible(bool visible) {
    if (visible_ != visible) {
        visible_ = visible;
        notify();
    }
}

void Label::set_text(std::string text) {
    if (text_ != text) {
        text_ = std::move(text);
        notify();
    }
}

} // namespace varnika::form
