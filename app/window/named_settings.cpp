#include "window/named_settings.h"

#include "window/main_form.h"
#include "window/settings_files.h"
#include "window/start_up.h"

#include <array>
#include <map>
#include <optional>

namespace varnika {

namespace {

constexpr std::array<SettingsFile, 3> all_files{SettingsFile::System, SettingsFile::Uplink,
                                                SettingsFile::Downlink};

// The qualifier of a key of `file`: "system", "uplink" or "downlink".
std::string qualifier(SettingsFile file) {
    const std::string name = settings_file_name(file);
    return name.substr(0, name.find('_'));
}

// The key of a line as a setting's name: without its closing ":".
std::string key_name(const std::string& key) {
    return key.ends_with(':') ? key.substr(0, key.size() - 1) : key;
}

} // namespace

std::vector<std::pair<std::string, std::string>> list_settings(MainForm& form) {
    std::map<std::string, int> files_of_name;
    std::array<std::vector<SettingsLine>, 3> layouts;
    for (const SettingsFile file : all_files) {
        layouts[static_cast<std::size_t>(file)] = settings_layout(form, file);
        for (const SettingsLine& line : layouts[static_cast<std::size_t>(file)]) {
            ++files_of_name[key_name(line.key)];
        }
    }
    std::vector<std::pair<std::string, std::string>> settings;
    for (const SettingsFile file : all_files) {
        for (const SettingsLine& line : layouts[static_cast<std::size_t>(file)]) {
            const std::string name = key_name(line.key);
            settings.emplace_back(files_of_name[name] > 1 ? qualifier(file) + "." + name : name,
                                  line.value ? line.value() : std::string());
        }
    }
    return settings;
}

std::string apply_named_settings(MainForm& form,
                                 std::span<const std::pair<std::string, std::string>> settings) {
    if (settings.empty()) { // no line to look up: the pages' layouts are not worth building
        form.refresh_chosen_link_readouts();
        return {};
    }
    std::array<std::vector<SettingsLine>, 3> layouts;
    for (const SettingsFile file : all_files) {
        layouts[static_cast<std::size_t>(file)] = settings_layout(form, file);
    }
    std::array<bool, 3> touched{};
    for (const auto& [given, value] : settings) {
        // "uplink.ovr" names the uplink file's key only; a bare name must be one file's.
        std::string name = given;
        std::optional<SettingsFile> only;
        for (const SettingsFile file : all_files) {
            if (given.starts_with(qualifier(file) + ".")) {
                only = file;
                name = given.substr(qualifier(file).size() + 1);
            }
        }
        std::vector<std::pair<SettingsFile, const SettingsLine*>> found;
        for (const SettingsFile file : all_files) {
            if (only && file != *only) {
                continue;
            }
            for (const SettingsLine& line : layouts[static_cast<std::size_t>(file)]) {
                if (key_name(line.key) == name) {
                    found.emplace_back(file, &line);
                }
            }
        }
        if (found.empty()) {
            return "unknown setting " + given;
        }
        if (found.size() > 1) {
            std::string choices;
            for (const auto& [file, line] : found) {
                choices += (choices.empty() ? "" : " or ") + qualifier(file) + "." + name;
            }
            return "the setting " + given + " is in more than one file: give " + choices;
        }
        const auto [file, line] = found.front();
        if (line->valid && !line->valid(value)) {
            return "bad value '" + value + "' for the setting " + given;
        }
        if (line->apply) {
            line->apply(value);
        }
        touched[static_cast<std::size_t>(file)] = true;
    }
    // The rules that reading a whole file runs once its lines are in.
    // A tester address given here is looked up only by a run that saves into its folder.
    if (touched[static_cast<std::size_t>(SettingsFile::System)]) {
        apply_system_settings(form, [](MainForm& f) { f.network.apply_settings(false); });
    }
    if (touched[static_cast<std::size_t>(SettingsFile::Uplink)]) {
        settle_markers(form, uplink_item);
    }
    if (touched[static_cast<std::size_t>(SettingsFile::Downlink)]) {
        settle_markers(form, downlink_item);
        form.downlink_channels.retest_shown_codes();
        form.downlink_channels.update_total_count();
    }
    form.refresh_chosen_link_readouts();
    return {};
}

} // namespace varnika
