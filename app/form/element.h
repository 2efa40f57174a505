// What every element of the window has: its name (and item number within a group of the same name),
// whether it is enabled and visible, and a notification that fires once for every change of its state.
#pragma once

#include "form/signal.h"

#include <string>
#include <utility>

namespace varnika::form {

// An element's name in the window, with its item number when it belongs to a group of elements that share
// the name (item 0 on the uplink page, item 1 on the downlink page); -1 when it stands alone.
struct ElementId {
    ElementId(const char* element_name) : name(element_name) {}
    ElementId(std::string element_name, int item_index = -1)
        : name(std::move(element_name)), index(item_index) {}

    std::string name;
    int index = -1;
};

class Element {
public:
    explicit Element(ElementId id) : id_(std::move(id)) {}
    Element(const Element&) = delete;
    Element& operator=(const Element&) = delete;
    Element(Element&&) = default;
    Element& operator=(Element&&) = default;

    const std::string& name() const { return id_.name; }
    int index() const { return id_.index; }
    // A unique name for views and tests: "Marker1_Combo_0" for item 0 of Marker1_Combo.
    std::string object_name() const;

    bool enabled() const { return enabled_; }
    void set_enabled(bool enabled);
    bool visible() const { return visible_; }
    void set_visible(bool visible);

    // Fires after every change of the element's state (text, items, selection, caption, enabled, visible).
    [[nodiscard]] Connection on_change(std::function<void()> listener) const {
        return changed_.connect(std::move(listener));
    }

protected:
    ~Element() = default;
    void notify() const { changed_.emit(); }

private:
    ElementId id_;
    bool enabled_ = true;
    bool visible_ = true;
    Signal changed_;
};

// A static text: a caption beside a field, a unit, or a read-out.
class Label : public Element {
public:
    Label(ElementId id, std::string text = {}) : Element(std::move(id)), text_(std::move(text)) {}

    const std::string& text() const { return text_; }
    void set_text(std::string text);

private:
    std::string text_;
};

// A captioned group of elements, shown or hidden as a whole.
class Frame : public Element {
public:
    Frame(ElementId id, std::string caption = {}) : Element(std::move(id)), caption_(std::move(caption)) {}

    const std::string& caption() const { return caption_; }

private:
    std::string caption_;
};

} // namespace varnika::form
