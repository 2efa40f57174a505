#include "form/option_group.h"

namespace varnika::form {

OptionGroup::OptionGroup(ElementId id, std::vector<std::string> captions)
    : Element(std::move(id)), captions_(std::move(captions)) {}

bool OptionGroup::offers(int index) const {
    return index >= 0 && index < count() && !captions_[index].empty();
}

bool OptionGroup::select(int index) {
    if (index < 0 || index >= count()) {
        return false;
    }
    if (selected_ != index) {
        selected_ = index;
        notify();
    }
    if (rule_) {
        rule_();
    }
    return true;
}

} // namespace varnika::form
