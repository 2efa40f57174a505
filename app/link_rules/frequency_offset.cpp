#include "link_rules/frequency_offset.h"

#include "form/number_text.h"

#include <algorithm>
#include <cmath>

namespace varnika {

namespace {

std::string prefixed(int link, const char* name) {
    return std::string(link == downlink_item ? "DL_" : "UL_") + name;
}

bool contains_any(const std::string& text, std::string_view letters) {
    return text.find_first_of(letters) != std::string::npos;
}

void remove_all(std::string& text, std::string_view letters) {
    std::erase_if(text, [letters](char c) { return letters.find(c) != std::string_view::npos; });
}

} // namespace

std::string phase_step_note(double offset_hz) {
    const double cycles = offset_hz / frame_repeat_hz;
    // The values carry two decimals of a hertz: a step below a thousandth of a degree is none.
    const double degrees = (cycles - std::floor(cycles)) * 360.0;
    if (!std::isfinite(degrees) || degrees < 1e-3 || degrees > 360.0 - 1e-3) {
        return {};
    }
    const double shown = std::round(degrees * 10.0) / 10.0;
    const bool whole = shown == std::round(shown);
    std::string step = form::format_fixed(shown, whole ? 0 : 1);
    return "not a multiple of 37.5 Hz: phase steps by " + step + " degrees where the frame repeats";
}

FrequencyOffsetFrame::FrequencyOffsetFrame(SettingsModel& model, int link)
    : frame(prefixed(link, "Freq_Ofs_Frame"), "Deterioration Factor"),
      option(prefixed(link, "Freq_Ofs_Option"), {"None", "Freq error", "IF conversion"}),
      freqerr_caption(prefixed(link, "Freqerr_Label"), "Frequency Error"),
      freqerr(prefixed(link, "Freqerr_Text")), freqerr_unit(prefixed(link, "Freqerr_Unit"), "Hz"),
      ifconv_caption(prefixed(link, "IFconv_Label"), "IF Frequency"), ifconv(prefixed(link, "IFconv_Text")),
      ifconv_unit(prefixed(link, "IFconv_Unit"), "Hz"), note(prefixed(link, "Freq_Ofs_Note")), model_(model),
      link_(link) {
    option.set_change_rule([this] { apply_choice(); });
    note_watch_[0] = freqerr.on_change([this] { update_note(); });
    note_watch_[1] = ifconv.on_change([this] { update_note(); });
    for (form::TextField* field : {&freqerr, &ifconv}) {
        field->set_key_filter(form::is_frequency_key);
        field->set_spin({.step = 0.01, .decimals = 2});
        field->set_commit_rule([this](form::TextField& f) { apply_value(f); });
    }
}

void FrequencyOffsetFrame::apply_choice() {
    const int choice = option.selected();
    const bool error_on = choice == 1;
    const bool if_on = choice == 2;
    for (form::Element* element :
         std::initializer_list<form::Element*>{&freqerr_caption, &freqerr, &freqerr_unit}) {
        element->set_enabled(error_on);
    }
    for (form::Element* element :
         std::initializer_list<form::Element*>{&ifconv_caption, &ifconv, &ifconv_unit}) {
        element->set_enabled(if_on);
    }
    (link_ == downlink_item ? model_.dl_df_flag : model_.ul_df_flag) = choice;
    update_note();
}

void FrequencyOffsetFrame::apply_value(form::TextField& field) const {
    // A unit letter scales the number: "M" or "m" mega (and any "k" with it is dropped), "k" or "K" kilo.
    std::string text = field.text();
    double factor = 1.0;
    if (contains_any(text, "mM")) {
        remove_all(text, "mMkK");
        factor = 1e6;
    } else if (contains_any(text, "kK")) {
        remove_all(text, "kK");
        factor = 1e3;
    }
    field.set_text(text);
    const double limit = model_.sampling_rate(link_);
    double value = 0.0;
    if (const auto number = form::parse_number(text)) {
        value = std::clamp(*number * factor, -limit, limit);
    }
    field.set_text(form::format_fixed(value, 2));
}

void FrequencyOffsetFrame::update_note() {
    const int choice = option.selected();
    if (choice == 1) {
        note.set_text(phase_step_note(freqerr.number()));
    } else if (choice == 2) {
        note.set_text(phase_step_note(ifconv.number()));
    } else {
        note.set_text({});
    }
}

void FrequencyOffsetFrame::revalidate() {
    apply_value(freqerr);
    apply_value(ifconv);
}

} // namespace varnika
