#include "window/settings_file_common.h"

#include "window/window_pages.h"

#include <array>
#include <cstdint>

namespace varnika {

namespace {

// No marker period can reach beyond the longest waveform.
constexpr std::int32_t max_marker_period = max_oversampling * frame_chips;

// A value already checked by its line.
int integer(const std::string& value) {
    return settings_integer(value).value_or(0);
}

// Whether a link's marker column holds what the marker fields' rules allow: even periods within the
// waveform.
bool markers_in_range(const SettingsModel& model, int link) {
    const std::int32_t data_size = model.data_size(link);
    const auto column = static_cast<std::size_t>(link);
    for (const std::size_t start : {std::size_t{Mark1Sta}, std::size_t{Mark2Sta}}) {
        const std::int64_t begin = model.MarkerTable[start][column];
        const std::int64_t high = model.MarkerTable[start + 1][column];
        if (begin % 2 != 0 || high % 2 != 0 || begin + high > data_size) {
            return false;
        }
    }
    return true;
}

} // namespace

SettingsLine choice_line(std::string key, form::ChoiceList& list, int longest) {
    const int count = longest > 0 ? longest : list.count();
    return {std::move(key), index_below(count),
            [&list] { return std::to_string(std::max(list.selected(), 0)); },
            [&list](const std::string& value) { list.select(integer(value)); },
            [&list, count] {
                std::string rule = "an index 0 to " + std::to_string(count - 1) + ":";
                for (int k = 0; k < count; ++k) {
                    rule += (k == 0 ? " " : ", ") + std::to_string(k) + " = " +
                            (k < list.count() ? list.items()[static_cast<std::size_t>(k)] : std::string("-"));
                }
                return rule;
            }};
}

SettingsLine text_line(std::string key, form::TextField& field, SettingsLine::Check valid) {
    return {std::move(key), std::move(valid), [&field] { return field.text(); },
            [&field](const std::string& value) {
                field.set_text(value);
                field.commit();
            }};
}

void append_marker_lines(std::vector<SettingsLine>& lines, WindowPages& form, int link) {
    static constexpr std::array<const char*, 6> keys{
        "Mark1Mod:", "Mark1Sta:", "Mark1Hig:", "Mark2Mod:", "Mark2Sta:", "Mark2Hig:"};
    for (std::size_t entry = 0; entry < keys.size(); ++entry) {
        std::int32_t& stored = form.model.MarkerTable[entry][static_cast<std::size_t>(link)];
        const bool mode = entry == Mark1Mod || entry == Mark2Mod;
        const bool last = entry + 1 == keys.size();
        lines.push_back({keys[entry],
                         mode ? index_below(static_cast<int>(marker_mode_items.size()))
                              : integer_within(0, max_marker_period),
                         [&stored] { return std::to_string(stored); },
                         [&stored, &form, link, last](const std::string& value) {
                             stored = integer(value);
                             if (!last) {
                                 return;
                             }
                             settle_markers(form, link);
                         }});
    }
}

void settle_markers(WindowPages& form, int link) {
    form.markers.show_table(link);
    if (!markers_in_range(form.model, link)) {
        // Leaving start, then high, makes both even and keeps them within the waveform; for periods in
        // range it changes nothing.
        for (int marker = 0; marker < 2; ++marker) {
            form.markers.marker(marker).start[link].commit();
            form.markers.marker(marker).high[link].commit();
        }
    }
}

const char* settings_file_name(SettingsFile file) {
    switch (file) {
    case SettingsFile::System:
        return system_file_name;
    case SettingsFile::Uplink:
        return uplink_file_name;
    case SettingsFile::Downlink:
        break;
    }
    return downlink_file_name;
}

SettingsFileReport& settings_report(WindowPages& form, SettingsFile file) {
    return form.settings_reports[static_cast<std::size_t>(file)];
}

std::filesystem::path settings_file_path(const WindowPages& form, SettingsFile file) {
    return form.settings_folder / settings_file_name(file);
}

} // namespace varnika
