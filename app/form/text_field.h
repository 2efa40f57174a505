// A one-line text field. Its text is the stored value: writing it (by typing, pasting or a settings-file
// reader) does not validate; the field's commit rule runs when the field is left, on Enter and after a
// spin step, and repairs the text in place.
#pragma once

#include "form/element.h"

#include <functional>
#include <limits>
#include <string>

namespace varnika::form {

// What became of a key pressed in the field.
enum class KeyOutcome {
    Accepted, // the key goes into the text as usual
    Refused,  // the key is dropped; the view beeps
    Handled,  // Enter: the field's Enter rule ran (by default its commit rule)
};

// One step of the field's spin arrows: the field's number plus or minus `step`, kept within
// `min` .. `max` and written with `decimals` places; the field is then committed.
struct SpinStep {
    double step = 1.0;
    int decimals = 0;
    double min = -std::numeric_limits<double>::infinity();
    double max = std::numeric_limits<double>::infinity();
};

class TextField : public Element {
public:
    using KeyFilter = std::function<bool(char32_t key)>;
    using Rule = std::function<void(TextField& field)>;

    static constexpr char32_t enter_key = U'\r';

    explicit TextField(ElementId id);

    const std::string& text() const { return text_; }
    void set_text(std::string text);
    // The number the text starts with (0 when none): how a rule or a record reads the field's value.
    double number() const;

    void set_key_filter(KeyFilter filter) { key_filter_ = std::move(filter); }
    void set_commit_rule(Rule rule) { commit_rule_ = std::move(rule); }
    // What Enter does instead of committing (a password field presses its dialog's OK).
    void set_enter_rule(Rule rule) { enter_rule_ = std::move(rule); }
    void set_spin(SpinStep step);

    bool accepts_key(char32_t key) const;
    KeyOutcome press_key(char32_t key);
    void commit();
    // direction +1 (up arrow) or -1 (down arrow); nothing for a field without spin arrows.
    void spin(int direction);

    bool has_spin() const { return has_spin_; }
    // The name of the field's spin arrows: the field's name with "_Text" replaced by "_UpDown".
    std::string spin_object_name() const;

    // Shows a mark for each character instead of the text (password entry).
    bool masked() const { return masked_; }
    void set_masked(bool masked);

private:
    std::string text_;
    KeyFilter key_filter_;
    Rule commit_rule_;
    Rule enter_rule_;
    SpinStep spin_step_;
    bool has_spin_ = false;
    bool masked_ = false;
};

// Key filters shared by the field families. Control characters (codes below 32, Backspace among them)
// always pass, so editing and the clipboard keys keep working.
bool is_control_key(char32_t key);
bool is_decimal_key(char32_t key);   // digits, "-" and "."
bool is_digit_key(char32_t key);     // digits only
bool is_frequency_key(char32_t key); // digits, "-", "." and the unit letters k, K, m, M

} // namespace varnika::form
