// One-of-n choices: a group of option buttons, or the pages of a tab set. Selecting, by the user or by
// the program, runs the group's change rule.
#pragma once

#include "form/element.h"

#include <functional>
#include <string>
#include <vector>

namespace varnika::form {

class OptionGroup : public Element {
public:
    using Rule = std::function<void()>;

    // An empty caption stands for an index the window offers no button for; the program may still
    // select it.
    OptionGroup(ElementId id, std::vector<std::string> captions);

    const std::vector<std::string>& captions() const { return captions_; }
    int count() const { return static_cast<int>(captions_.size()); }
    bool offers(int index) const;
    // -1 while nothing is selected.
    int selected() const { return selected_; }

    // Selects `index` and runs the change rule; an index outside the group changes nothing.
    bool select(int index);
    void set_change_rule(Rule rule) { rule_ = std::move(rule); }

private:
    std::vector<std::string> captions_;
    int selected_ = -1;
    Rule rule_;
};

// The pages of a tab set, by caption.
class TabSet : public OptionGroup {
public:
    TabSet(ElementId id, std::vector<std::string> page_captions)
        : OptionGroup(std::move(id), std::move(page_captions)) {}
};

} // namespace varnika::form
