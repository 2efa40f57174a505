#include "form/choice_list.h"

#include <algorithm>

namespace varnika::form {

namespace {
const std::string no_text;
}

ChoiceList::ChoiceList(ElementId id, std::vector<std::string> items)
    : Element(std::move(id)), items_(std::move(items)) {}

const std::string& ChoiceList::text() const {
    return selected_ < 0 ? no_text : items_[selected_];
}

void ChoiceList::set_items(std::vector<std::string> items) {
    items_ = std::move(items);
    selected_ = -1;
    notify();
}

bool ChoiceList::select(int index) {
    if (index < -1 || index >= count()) {
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

int ChoiceList::find(std::string_view item) const {
    const auto it = std::find(items_.begin(), items_.end(), item);
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

bool ChoiceList::select_text(std::string_view item) {
    const int index = find(item);
    return index >= 0 && select(index);
}

} // namespace varnika::form
