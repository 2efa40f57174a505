#include "window/named_settings.h"

#include "window/main_form.h"
#include "window/settings_files.h"
#include "window/start_up.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
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

// The lowest (or, with `up`, highest) whole number between `known` (taken) and `beyond` that `valid` takes.
std::int64_t edge_of(const SettingsLine::Check& valid, std::int64_t known, std::int64_t beyond) {
    while (known - beyond > 1 || beyond - known > 1) {
        const std::int64_t middle = known + (beyond - known) / 2;
        (valid(std::to_string(middle)) ? known : beyond) = middle;
    }
    return known;
}

// What a line takes, in words: its own rule, else what its value check lets through.
std::string rule_of(const SettingsLine& line) {
    if (line.rule) {
        return line.rule();
    }
    if (!line.valid) {
        return "any text";
    }
    if (line.valid("True") && line.valid("false")) {
        return "True or False";
    }
    if (line.valid("0.5")) {
        return line.valid("1k") ? "a frequency in Hz (k or M for kHz or MHz), limited to the field's range"
                                : "a number, limited to the field's range";
    }
    for (const std::int64_t known : {0, 1, -1, 2}) {
        if (line.valid(std::to_string(known))) {
            constexpr std::int64_t below = std::int64_t{std::numeric_limits<std::int32_t>::min()} - 1;
            constexpr std::int64_t above = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
            const std::int64_t first = edge_of(line.valid, known, below);
            const std::int64_t last = edge_of(line.valid, known, above);
            if (first == below + 1 && last == above - 1) {
                return "a whole number";
            }
            return "a whole number " + std::to_string(first) + " to " + std::to_string(last);
        }
    }
    return "a value its file takes";
}

// The whole text as a finite number; nothing for other text (a frequency with its unit letter).
std::optional<double> plain_number(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

// "KEY=VALUE limited to X" when the line took `given` but holds another number now (beyond the field's
// rounding of a typed number to its hundredths).
std::optional<std::string> limited(const std::string& name, const std::string& given,
                                   const SettingsLine& line) {
    if (!line.value) {
        return std::nullopt;
    }
    const std::string now = line.value();
    const std::optional<double> asked = plain_number(given);
    const std::optional<double> held = plain_number(now);
    if (!asked || !held || std::abs(*asked - *held) <= 0.0051) {
        return std::nullopt;
    }
    std::string shown = now;
    if (line.valid && line.valid("0.5")) {
        char text[64];
        std::snprintf(text, sizeof text, "%.2f", *held);
        shown = text;
    }
    return name + "=" + given + " limited to " + shown;
}

} // namespace

std::vector<NamedSetting> list_settings(MainForm& form) {
    std::map<std::string, int> files_of_name;
    std::array<std::vector<SettingsLine>, 3> layouts;
    for (const SettingsFile file : all_files) {
        layouts[static_cast<std::size_t>(file)] = settings_layout(form, file);
        for (const SettingsLine& line : layouts[static_cast<std::size_t>(file)]) {
            ++files_of_name[key_name(line.key)];
        }
    }
    std::vector<NamedSetting> settings;
    for (const SettingsFile file : all_files) {
        for (const SettingsLine& line : layouts[static_cast<std::size_t>(file)]) {
            const std::string name = key_name(line.key);
            settings.push_back({files_of_name[name] > 1 ? qualifier(file) + "." + name : name,
                                line.value ? line.value() : std::string(), rule_of(line)});
        }
    }
    return settings;
}

NamedSettingsOutcome apply_named_settings(MainForm& form,
                                          std::span<const std::pair<std::string, std::string>> settings,
                                          const std::function<void(MainForm&)>& apply_network_settings) {
    NamedSettingsOutcome outcome;
    if (settings.empty()) { // no line to look up: the pages' layouts are not worth building
        form.refresh_chosen_link_readouts();
        return outcome;
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
            outcome.error = "unknown setting " + given;
            return outcome;
        }
        if (found.size() > 1) {
            std::string choices;
            for (const auto& [file, line] : found) {
                choices += (choices.empty() ? "" : " or ") + qualifier(file) + "." + name;
            }
            outcome.error = "the setting " + given + " is in more than one file: give " + choices;
            return outcome;
        }
        const auto [file, line] = found.front();
        if (line->valid && !line->valid(value)) {
            outcome.error =
                "bad value '" + value + "' for the setting " + given + ": it takes " + rule_of(*line);
            return outcome;
        }
        if (line->apply) {
            line->apply(value);
        }
        if (auto warning = limited(given, value, *line)) {
            outcome.warnings.push_back(std::move(*warning));
        }
        touched[static_cast<std::size_t>(file)] = true;
    }
    // The rules that reading a whole file runs once its lines are in.
    // A tester address given here is looked up only by a run that saves into its folder.
    if (touched[static_cast<std::size_t>(SettingsFile::System)]) {
        apply_system_settings(form, apply_network_settings);
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
    return outcome;
}

} // namespace varnika
