#include "link_rules/sequence_markers.h"

#include "form/number_text.h"

#include <algorithm>
#include <cmath>

namespace varnika {

namespace {

constexpr int mode_offset = 0;
constexpr int start_offset = 1;
constexpr int high_offset = 2;

std::string named(int marker, const char* part) {
    return "Marker" + std::to_string(marker) + part;
}

// A period typed into a field, as a whole even number of samples within 0 .. data_size.
std::optional<std::int32_t> period_from(const std::string& text, std::int32_t data_size) {
    const auto number = form::parse_number(text);
    if (!number) {
        return std::nullopt;
    }
    // Clamped while still a double, so no typed number can overflow the integer.
    const double whole = std::clamp(std::trunc(*number), 0.0, static_cast<double>(data_size));
    auto period = static_cast<std::int32_t>(whole);
    if (period % 2 != 0) {
        --period;
    }
    return period;
}

} // namespace

MarkerFields::MarkerFields(int marker)
    : caption(named(marker, "_Label"), "Maker " + std::to_string(marker)),
      mode(named(marker, "_Combo"), marker_mode_items),
      start_caption(named(marker, "_Start_Label"), std::string("Start period")),
      start(named(marker, "_Start_Text")), start_unit(named(marker, "_Start_Unit"), std::string("pts")),
      high_caption(named(marker, "_High_Label"), std::string("High period")),
      high(named(marker, "_High_Text")), high_unit(named(marker, "_High_Unit"), std::string("pts")) {}

SequenceMarkers::SequenceMarkers(SettingsModel& model) : model_(model) {
    for (int marker = 0; marker < 2; ++marker) {
        for (int link = 0; link < 2; ++link) {
            wire(marker, link);
        }
    }
}

void SequenceMarkers::wire(int marker, int link) {
    MarkerFields& fields = markers_[static_cast<std::size_t>(marker)];
    fields.mode[link].set_change_rule([this, marker, link] { apply_mode(marker, link); });
    for (form::TextField* field : {&fields.start[link], &fields.high[link]}) {
        field->set_key_filter(form::is_digit_key);
        field->set_spin({.step = 2, .decimals = 0, .min = 0, .max = marker_spin_limit});
    }
    fields.start[link].set_commit_rule([this, marker, link](form::TextField&) { apply_start(marker, link); });
    fields.high[link].set_commit_rule([this, marker, link](form::TextField&) { apply_high(marker, link); });
}

std::int32_t& SequenceMarkers::entry(int marker, int offset, int link) {
    const int line = 3 * marker + offset;
    return model_.MarkerTable[static_cast<std::size_t>(line)][static_cast<std::size_t>(link)];
}

void SequenceMarkers::apply_mode(int marker, int link) {
    MarkerFields& fields = markers_[static_cast<std::size_t>(marker)];
    const int mode = fields.mode[link].selected();
    entry(marker, mode_offset, link) = mode;
    const bool on = mode > 0;
    for (form::Element* element : std::initializer_list<form::Element*>{
             &fields.start_caption[link], &fields.start[link], &fields.start_unit[link],
             &fields.high_caption[link], &fields.high[link], &fields.high_unit[link]}) {
        element->set_enabled(on);
    }
}

void SequenceMarkers::apply_start(int marker, int link) {
    MarkerFields& fields = markers_[static_cast<std::size_t>(marker)];
    const std::int32_t data_size = model_.data_size(link);
    std::int32_t& start = entry(marker, start_offset, link);
    std::int32_t& high = entry(marker, high_offset, link);
    if (const auto period = period_from(fields.start[link].text(), data_size)) {
        start = *period;
        high = std::min(high, data_size - start);
        fields.high[link].set_text(std::to_string(high));
    }
    // A text that is not a number gives back the previous start.
    fields.start[link].set_text(std::to_string(start));
}

void SequenceMarkers::apply_high(int marker, int link) {
    MarkerFields& fields = markers_[static_cast<std::size_t>(marker)];
    const std::int32_t data_size = model_.data_size(link);
    std::int32_t& start = entry(marker, start_offset, link);
    std::int32_t& high = entry(marker, high_offset, link);
    if (const auto period = period_from(fields.high[link].text(), data_size)) {
        high = *period;
        start = std::min(start, data_size - high);
        fields.start[link].set_text(std::to_string(start));
    }
    fields.high[link].set_text(std::to_string(high));
}

void SequenceMarkers::reset_periods(int link) {
    const std::int32_t half = model_.data_size(link) / 2;
    for (int marker = 0; marker < 2; ++marker) {
        entry(marker, start_offset, link) = 0;
        entry(marker, high_offset, link) = half;
        markers_[static_cast<std::size_t>(marker)].start[link].set_text("0");
        markers_[static_cast<std::size_t>(marker)].high[link].set_text(std::to_string(half));
    }
}

void SequenceMarkers::show_table(int link) {
    for (int marker = 0; marker < 2; ++marker) {
        MarkerFields& fields = markers_[static_cast<std::size_t>(marker)];
        const std::int32_t start = entry(marker, start_offset, link);
        const std::int32_t high = entry(marker, high_offset, link);
        fields.mode[link].select(entry(marker, mode_offset, link));
        fields.start[link].set_text(std::to_string(start));
        fields.high[link].set_text(std::to_string(high));
    }
}

} // namespace varnika
