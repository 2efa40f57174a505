// A drop-down list of item texts with one selected item. Selecting an item, whether the user or the
// program does it, runs the list's change rule, so defaults and settings files go through the same rules
// as the user.
#pragma once

#include "form/element.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace varnika::form {

class ChoiceList : public Element {
public:
    using Rule = std::function<void()>;

    ChoiceList(ElementId id, std::vector<std::string> items);

    const std::vector<std::string>& items() const { return items_; }
    int count() const { return static_cast<int>(items_.size()); }
    // -1 while nothing is selected.
    int selected() const { return selected_; }
    // The selected item's text; empty while nothing is selected.
    const std::string& text() const;

    // Replaces the items; the selection is cleared and the change rule does not run.
    void set_items(std::vector<std::string> items);
    // Selects item `index` (-1: none) and runs the change rule. An index outside the list changes
    // nothing and returns false.
    bool select(int index);
    // Selects the item whose text equals `item` exactly; false (and nothing changes) when there is none.
    bool select_text(std::string_view item);
    int find(std::string_view item) const;

    void set_change_rule(Rule rule) { rule_ = std::move(rule); }

private:
    std::vector<std::string> items_;
    int selected_ = -1;
    Rule rule_;
};

} // namespace varnika::form
