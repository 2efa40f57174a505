// A command button: caption, optional face colour, and the rule its press runs.
#pragma once

#include "form/element.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace varnika::form {

class Button : public Element {
public:
    using Rule = std::function<void()>;

    Button(ElementId id, std::string caption) : Element(std::move(id)), caption_(std::move(caption)) {}

    const std::string& caption() const { return caption_; }
    void set_caption(std::string caption);
    // 0xRRGGBB; none means the system's button face.
    std::optional<std::uint32_t> colour() const { return colour_; }
    void set_colour(std::optional<std::uint32_t> colour);

    // Runs the press rule. The view lets the user press only an enabled button; the program may press
    // any button.
    void press() const;
    void set_press_rule(Rule rule) { rule_ = std::move(rule); }

private:
    std::string caption_;
    std::optional<std::uint32_t> colour_;
    Rule rule_;
};

// A dialog window: shown modally by the platform until its own rules close it, or the user dismisses
// it with the window's close box.
class Dialog : public Element {
public:
    Dialog(ElementId id, std::string caption) : Element(std::move(id)), caption_(std::move(caption)) {
        set_visible(false);
    }

    const std::string& caption() const { return caption_; }
    void open() { set_visible(true); }
    void close() { set_visible(false); }

private:
    std::string caption_;
};

} // namespace varnika::form
