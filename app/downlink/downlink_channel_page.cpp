#include "downlink/downlink_channel_page.h"

#include "form/number_text.h"

#include <algorithm>
#include <cmath>

namespace varnika {

namespace {

const std::array<const char*, 8> heading_texts{"No",        "Type", "WLen",       "WNo",
                                               "Power[dB]", "Mod",  "Power2[dB]", "Conflict"};

} // namespace

void VerticalScroll::set_value(int value) {
    value = std::clamp(value, 0, maximum_);
    if (value_ != value) {
        value_ = value;
        notify();
    }
}

void VerticalScroll::set_content_units(std::int32_t units) {
    content_units_ = units;
    update_maximum();
}

void VerticalScroll::set_view_units(std::int32_t units) {
    view_units_ = std::max(units, 0);
    update_maximum();
}

void VerticalScroll::update_maximum() {
    // Rounded up, so that the last row shows whole.
    const double beyond_view = std::max(static_cast<double>(content_units_) - view_units_, 0.0);
    const int maximum = static_cast<int>(std::ceil(beyond_view / dl_scroll_units_per_step));
    if (maximum_ != maximum) {
        maximum_ = maximum;
        value_ = std::min(value_, maximum_);
        notify();
    }
}

std::int32_t VerticalScroll::surface_offset() const {
    return -static_cast<std::int32_t>(std::lround(value_ * dl_scroll_units_per_step));
}

DlTypeStatus::DlTypeStatus(int type)
    : DL_CH_Stat_Label(form::ElementId("DL_CH_Stat_Label", type), dl_type_info(type).name),
      DL_CH_Stat_Command(form::ElementId("DL_CH_Stat_Command", type), "OFF"),
      DL_CH_Multi_Text(form::ElementId("DL_CH_Multi_Text", type)) {
    DL_CH_Multi_Text.set_text("1");
    DL_CH_Multi_Text.set_key_filter(form::is_digit_key);
    if (dl_type_info(type).single()) {
        DL_CH_Multi_Text.set_enabled(false);
    } else {
        DL_CH_Multi_Text.set_spin({.step = 1, .decimals = 0});
    }
    // The pilot is switched on by the program at start-up and stays on.
    DL_CH_Stat_Command.set_enabled(type != F_PICH);
}

DownlinkChannelPage::DownlinkChannelPage(SettingsModel& model, const WalshPositionTable& positions,
                                         form::Platform& platform)
    : model_(model), positions_(positions), platform_(platform), types_(initial_type_table()) {
    for (std::size_t k = 0; k < heading_texts.size(); ++k) {
        headings.emplace_back(form::ElementId("DL_CH_Heading_Label", static_cast<int>(k)), heading_texts[k]);
    }
    for (int type = 0; type < dl_type_count; ++type) {
        DlTypeStatus& controls = status_.emplace_back(type);
        controls.DL_CH_Stat_Command.set_press_rule([this, type] { status_pressed(type); });
        controls.DL_CH_Multi_Text.set_commit_rule(
            [this, type](form::TextField&) { multiplicity_committed(type); });
    }
    DL_CH_TestModel_Combo.select(0);
    DL_CH_Default_Button.set_press_rule([this] { apply_channel_defaults(); });
    DL_CH_TestModel_Command.set_press_rule([this] { apply_test_model(DL_CH_TestModel_Combo.selected()); });
}

void DownlinkChannelPage::build_table() {
    if (built()) {
        return;
    }
    types_ = initial_type_table();
    for (int type = 0; type < dl_type_count; ++type) {
        const DlTypeEntry& type_row = type_entry(type);
        for (std::int32_t r = type_row.first_row; r <= type_row.last_reserved_row(); ++r) {
            wire_row(rows_.emplace_back(r, type));
        }
    }
    update_scroll_range();
}

void DownlinkChannelPage::wire_row(DlRow& row) {
    const int r = row.row();
    if (row.DL_CH_WLEN_Combo) {
        row.DL_CH_WLEN_Combo->set_change_rule([this, r] { length_chosen(r); });
    }
    if (row.DL_CH_WNO_Combo) {
        row.DL_CH_WNO_Combo->set_change_rule([this, r] { qpch_number_chosen(r); });
    } else if (row.DL_CH_WNO_Text->enabled()) {
        row.DL_CH_WNO_Text->set_commit_rule([this, r](form::TextField&) { walsh_number_committed(r); });
    }
    if (row.DL_CH_MOD_Combo) {
        row.DL_CH_MOD_Combo->set_change_rule([this, r] { modulation_chosen(r); });
    }
}

int DownlinkChannelPage::type_of_row(int r) const {
    for (int type = 0; type < dl_type_count; ++type) {
        if (type_entry(type).last_reserved_row() >= r) {
            return type;
        }
    }
    return 0;
}

// --- switching types and their multiplicity -----------------------------------------------------------

std::int32_t DownlinkChannelPage::multiplicity_in_field(int type) const {
    const DlTypeEntry& type_row = type_entry(type);
    const auto number =
        form::parse_number(status_.at(static_cast<std::size_t>(type)).DL_CH_Multi_Text.text());
    if (!number) {
        return type_row.multiplicity;
    }
    return static_cast<std::int32_t>(
        std::clamp(std::trunc(*number), 1.0, static_cast<double>(type_row.capacity)));
}

void DownlinkChannelPage::status_pressed(int type) {
    if (!built()) {
        return;
    }
    DlTypeEntry& type_row = entry(type);
    form::Button& button = DL_CH_Stat_Command(type);
    if (type_row.on()) {
        // The rows to hide are the ones shown, whatever the multiplicity field holds just now.
        type_row.status = DlTypeEntry::off_status;
        button.set_caption("OFF");
        button.set_colour(std::nullopt);
        shift_positions(type, -type_row.multiplicity);
        hide_rows(type, type_row.first_row, type_row.first_row + type_row.multiplicity - 1);
    } else {
        // The field's number is taken over, kept within 1 .. capacity as a commit would keep it.
        type_row.multiplicity = multiplicity_in_field(type);
        DL_CH_Multi_Text(type).set_text(std::to_string(type_row.multiplicity));
        type_row.status = DlTypeEntry::on_status;
        button.set_caption("ON");
        button.set_colour(status_on_colour);
        shift_positions(type, type_row.multiplicity);
        show_rows(type, type_row.first_row, type_row.first_row + type_row.multiplicity - 1);
    }
    update_total_count();
}

void DownlinkChannelPage::multiplicity_committed(int type) {
    DlTypeEntry& type_row = entry(type);
    const std::int32_t old = type_row.multiplicity;
    type_row.multiplicity = multiplicity_in_field(type);
    DL_CH_Multi_Text(type).set_text(std::to_string(type_row.multiplicity));
    const std::int32_t now = type_row.multiplicity;
    if (now != old && type_row.on() && built()) {
        shift_positions(type, now - old);
        if (now > old) {
            show_rows(type, type_row.first_row + old, type_row.first_row + now - 1);
        } else {
            hide_rows(type, type_row.first_row + now, type_row.first_row + old - 1);
        }
    }
    update_total_count();
}

// --- display slots ---------------------------------------------------------------------------------

void DownlinkChannelPage::shift_positions(int type, int delta) {
    if (entry(type).on()) {
        std::int32_t position = 0;
        for (int below = type - 1; below >= 0; --below) {
            if (type_entry(below).on()) {
                position = type_entry(below).position + type_entry(below).multiplicity;
                break;
            }
        }
        entry(type).position = position;
    }
    for (int later = type; later < dl_type_count; ++later) {
        if (!type_entry(later).on()) {
            continue;
        }
        if (later != type) {
            entry(later).position += delta;
        }
        layout_rows(later);
    }
    update_scroll_range();
}

void DownlinkChannelPage::layout_rows(int type) {
    const DlTypeEntry& type_row = type_entry(type);
    for (std::int32_t k = 0; k < type_row.multiplicity; ++k) {
        DlRow& shown = row(type_row.first_row + k);
        const std::int32_t slot = type_row.position + k;
        shown.top = slot * dl_row_pitch + dl_row_offset;
        shown.DL_CH_INDEX_Text.set_text(std::to_string(slot));
    }
}

void DownlinkChannelPage::show_rows(int type, int first, int last) {
    (void)type;
    for (int r = first; r <= last; ++r) {
        DlRow& shown = row(r);
        if (check_row_code(shown.code(), r)) {
            shown.set_marked(true);
        }
        shown.set_fields_visible(true);
    }
}

void DownlinkChannelPage::hide_rows(int type, int first, int last) {
    (void)type;
    for (int r = first; r <= last; ++r) {
        DlRow& hidden = row(r);
        hidden.set_marked(false);
        clear_stale_warnings(hidden.code(), r);
        hidden.set_fields_visible(false);
    }
}

void DownlinkChannelPage::update_total_count() {
    if (model_.loading_flag || !built()) {
        return;
    }
    int total = 0;
    for_each_instance_row([this, &total](int r) {
        if (!row(r).marked()) {
            ++total;
        }
    });
    DL_CH_Total_Multi_Text.set_text(std::to_string(total));
}

std::string channel_label(const DownlinkChannelPage& page, int row) {
    const DlRow& named = page.row(row);
    const std::string& type = named.info().name;
    return named.shown() ? type + " " + named.DL_CH_INDEX_Text.text() : type;
}

int DownlinkChannelPage::slot_count() const {
    int slots = 0;
    for (const DlTypeEntry& type : types_) {
        if (type.on()) {
            slots += type.multiplicity;
        }
    }
    return slots;
}

int DownlinkChannelPage::row_at_slot(int slot) const {
    for (const DlTypeEntry& type : types_) {
        if (type.on() && slot >= type.position && slot < type.position + type.multiplicity) {
            return type.first_row + (slot - type.position);
        }
    }
    return -1;
}

void DownlinkChannelPage::update_scroll_range() {
    // The rows stand from the row offset down, one pitch each.
    DL_Channel_Parameters_VScroll.set_content_units(dl_row_offset + slot_count() * dl_row_pitch);
}

// --- row fields ------------------------------------------------------------------------------------

void DownlinkChannelPage::test_own_code(int r, WalshCode code) {
    DlRow& tested = row(r);
    tested.set_marked(tested.shown() && check_row_code(code, r));
}

void DownlinkChannelPage::length_chosen(int r) {
    DlRow& chosen = row(r);
    const std::int32_t length = chosen.length();
    entry(type_of_row(r)).max_walsh_number = length - 1;
    wlen_change_flag = true;
    clear_stale_warnings(chosen.committed, r);
    chosen.committed.length = length;
    chosen.DL_CH_WNO_Text->commit();
    wlen_change_flag = false;
    update_total_count();
}

void DownlinkChannelPage::walsh_number_committed(int r) {
    DlRow& committed = row(r);
    std::int32_t number = 0;
    if (const auto value = form::parse_number(committed.DL_CH_WNO_Text->text())) {
        number = limited_walsh_number(r, *value == 0.0 ? 1.0 : *value);
    }
    committed.DL_CH_WNO_Text->set_text(std::to_string(number));
    if (!wlen_change_flag) {
        clear_stale_warnings(committed.committed, r);
    }
    if (!model_.loading_flag) {
        test_own_code(r, {committed.committed.length, number});
    }
    committed.committed.number = number;
    update_total_count();
}

std::int32_t DownlinkChannelPage::limited_walsh_number(int r, double number) const {
    // 0 is what an emptied field commits to; it stays, as the row's code.
    if (number == 0.0) {
        return 0;
    }
    const std::int32_t type_limit = std::max(type_entry(type_of_row(r)).max_walsh_number, 1);
    const std::int32_t limit = std::clamp(row(r).length() - 1, 1, type_limit);
    return static_cast<std::int32_t>(std::clamp(std::trunc(number), 1.0, static_cast<double>(limit)));
}

void DownlinkChannelPage::qpch_number_chosen(int r) {
    DlRow& chosen = row(r);
    clear_stale_warnings(chosen.committed, r);
    const WalshCode code = chosen.code();
    if (!model_.loading_flag) {
        test_own_code(r, code);
    }
    chosen.committed.number = code.number;
    update_total_count();
}

void DownlinkChannelPage::modulation_chosen(int r) {
    DlRow& chosen = row(r);
    if (chosen.type() == F_FCH) {
        const bool bpsk = chosen.DL_CH_MOD_Combo->text() == "BPSK";
        if (bpsk) {
            chosen.DL_CH_WLEN_Combo->select_text("64");
        }
        chosen.DL_CH_WLEN_Combo->set_enabled(!bpsk);
    }
    chosen.DL_CH_WNO_Text->commit();
}

} // namespace varnika
