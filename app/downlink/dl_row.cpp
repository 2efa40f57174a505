#include "downlink/dl_row.h"

#include "form/number_text.h"
#include "link_rules/power_field.h"

#include <kestra/air_interface.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnika {

namespace {

constexpr WalshCode pilot_code{kestra::air::pilot_shown_code.length, kestra::air::pilot_shown_code.number};
constexpr WalshCode sync_code{kestra::air::synch_shown_code.length, kestra::air::synch_shown_code.number};

form::ElementId id(const char* name, int row) {
    return form::ElementId(name, row);
}

} // namespace

std::int32_t whole_number(double value) {
    constexpr double lowest = std::numeric_limits<std::int32_t>::min();
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    if (std::isnan(value)) {
        return 0;
    }
    return static_cast<std::int32_t>(std::trunc(std::clamp(value, lowest, highest)));
}

std::int32_t whole_number(std::string_view text) {
    return whole_number(form::leading_number(text));
}

DlRow::DlRow(int row, int type)
    : DL_CH_INDEX_Text(id("DL_CH_INDEX_Text", row)), DL_CH_TYPE_Label(id("DL_CH_TYPE_Label", row)),
      DL_CH_POWER_Text(id("DL_CH_POWER_Text", row)), DL_CH_WARN_Label(id("DL_CH_WARN_Label", row)), row_(row),
      type_(type) {
    const DlTypeInfo& type_info = info();
    DL_CH_TYPE_Label.set_text(type_info.row_label);
    DL_CH_WARN_Label.set_text(warning_mark_text);

    if (type_info.has_length_choice()) {
        DL_CH_WLEN_Combo.emplace(id("DL_CH_WLEN_Combo", row), type_info.lengths);
        DL_CH_WLEN_Combo->select(0);
        // F-FCH starts on BPSK, which locks its length.
        DL_CH_WLEN_Combo->set_enabled(type != F_FCH);
    } else {
        DL_CH_WLEN_Text.emplace(id("DL_CH_WLEN_Text", row));
        DL_CH_WLEN_Text->set_text(type_info.lengths.front());
        DL_CH_WLEN_Text->set_enabled(false);
    }

    if (type_info.number_kind == WalshNumberKind::Choice) {
        DL_CH_WNO_Combo.emplace(id("DL_CH_WNO_Combo", row), type_info.numbers);
        DL_CH_WNO_Combo->select(0);
    } else {
        DL_CH_WNO_Text.emplace(id("DL_CH_WNO_Text", row));
        DL_CH_WNO_Text->set_text(type_info.numbers.front());
        if (type_info.number_kind == WalshNumberKind::Fixed) {
            DL_CH_WNO_Text->set_enabled(false);
        } else {
            DL_CH_WNO_Text->set_key_filter(form::is_digit_key);
            DL_CH_WNO_Text->set_spin({.step = 1, .decimals = 0});
        }
    }

    make_power_field(DL_CH_POWER_Text);
    DL_CH_POWER_Text.set_text("0.00");

    if (type_info.has_modulation_choice()) {
        DL_CH_MOD_Combo.emplace(id("DL_CH_MOD_Combo", row), type_info.modulations);
        DL_CH_MOD_Combo->select(0);
    } else {
        DL_CH_MOD_Text.emplace(id("DL_CH_MOD_Text", row));
        DL_CH_MOD_Text->set_text(type_info.modulations.front());
        DL_CH_MOD_Text->set_enabled(false);
    }

    if (type_info.second_power) {
        DL_CH_POWER2_Text.emplace(id("DL_CH_POWER2_Text", row));
        make_power_field(*DL_CH_POWER2_Text);
        DL_CH_POWER2_Text->set_text("0.00");
    }

    code_ = shown_code();
    committed = {length(), number()};
    auto refresh = [this] { code_ = shown_code(); };
    form::Element& length_field =
        DL_CH_WLEN_Combo ? static_cast<form::Element&>(*DL_CH_WLEN_Combo) : *DL_CH_WLEN_Text;
    form::Element& number_field =
        DL_CH_WNO_Combo ? static_cast<form::Element&>(*DL_CH_WNO_Combo) : *DL_CH_WNO_Text;
    code_watch_ = {length_field.on_change(refresh), number_field.on_change(refresh)};
    set_fields_visible(false);
    set_marked(false);
}

std::int32_t DlRow::length() const {
    return whole_number(DL_CH_WLEN_Combo ? DL_CH_WLEN_Combo->text() : DL_CH_WLEN_Text->text());
}

std::int32_t DlRow::number() const {
    return whole_number(DL_CH_WNO_Combo ? DL_CH_WNO_Combo->text() : DL_CH_WNO_Text->text());
}

WalshCode DlRow::shown_code() const {
    switch (type_) {
    case F_PICH:
        return pilot_code;
    case SYNCH:
        return sync_code;
    default:
        return {length(), number()};
    }
}

void DlRow::set_fields_visible(bool visible) {
    DL_CH_INDEX_Text.set_visible(visible);
    DL_CH_TYPE_Label.set_visible(visible);
    for (auto* field : {&DL_CH_WLEN_Text, &DL_CH_WNO_Text, &DL_CH_MOD_Text, &DL_CH_POWER2_Text}) {
        if (*field) {
            (*field)->set_visible(visible);
        }
    }
    for (auto* choice : {&DL_CH_WLEN_Combo, &DL_CH_WNO_Combo, &DL_CH_MOD_Combo}) {
        if (*choice) {
            (*choice)->set_visible(visible);
        }
    }
    DL_CH_POWER_Text.set_visible(visible);
}

void DlRow::write_walsh_number(std::string text) {
    if (!DL_CH_WNO_Text) {
        return;
    }
    DL_CH_WNO_Text->set_text(std::move(text));
    committed.number = number();
}

} // namespace varnika
