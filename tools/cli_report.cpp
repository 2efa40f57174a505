#include "cli_report.h"

#include "run/used_channels.h"

#include <nlohmann/json.hpp>
#include <wavesave/wavesave.h>

#include <cmath>
#include <sstream>
#include <string_view>

namespace varnika::cli {

namespace {

using nlohmann::ordered_json;

ordered_json ended(const std::string& command, int exit_code, const ReportParts& parts) {
    ordered_json object;
    object["command"] = command;
    object["exit_code"] = exit_code;
    object["error"] = parts.errors.empty() ? ordered_json(nullptr) : ordered_json(parts.errors.front());
    if (parts.errors.size() > 1) {
        object["errors"] = parts.errors;
    }
    object["warnings"] = parts.warnings;
    return object;
}

// Text that is not UTF-8 (a byte 0xb0 of a settings line, a file name with 0xff) is shown with U+FFFD in
// its place rather than ending the program.
std::string text_of(const ordered_json& object) {
    return object.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

void add_keys(ordered_json& object, const ReportParts& parts) {
    if (!parts.keys) {
        return;
    }
    ordered_json keys = ordered_json::array();
    for (const NamedSetting& setting : *parts.keys) {
        keys.push_back({{"key", setting.name}, {"value", setting.value}, {"rule", setting.rule}});
    }
    object["keys"] = std::move(keys);
}

// The check's own object, its members after the command's.
void add_analysis(ordered_json& object, const std::string& analysis, bool as_member) {
    if (analysis.empty()) {
        return;
    }
    ordered_json check = ordered_json::parse(analysis, nullptr, false);
    if (check.is_discarded()) {
        return;
    }
    if (as_member) {
        object["analysis"] = std::move(check);
        return;
    }
    for (auto& [name, value] : check.items()) {
        if (!object.contains(name)) {
            object[name] = value;
        }
    }
}

} // namespace

std::string json_report(const Options& options, const MainForm& form, ProgramLibraries& libraries,
                        int exit_code, const ReportParts& parts) {
    ordered_json object = ended(command_name(options), exit_code, parts);
    if (options.command == Command::Analyze) {
        object["file"] = options.file;
        add_analysis(object, parts.analysis, false);
        add_keys(object, parts);
        return text_of(object);
    }
    if (options.command == Command::None) {
        add_keys(object, parts);
        return text_of(object);
    }
    const int link = form.model.link_flag == 0 ? uplink_item : downlink_item;
    object["file"] = options.file;
    object["link"] = link == downlink_item ? "downlink" : "uplink";
    object["description"] = waveform_description(form, link);
    const std::int32_t count = form.model.data_size(link);
    object["ratio"] = count / frame_chips;
    object["sampling_rate_hz"] = form.model.sampling_rate(link);
    object["sample_count"] = count;
    // The measures of the samples the run left in the waveform buffer, as the PAPR dialog has them.
    std::string missing;
    auto* crest_factor = libraries.wavesave.find<decltype(CalcCrestFactor)>("CalcCrestFactor", missing);
    if (exit_code == exit_ok && crest_factor != nullptr && form.model.waveform_buffer) {
        double crest_i_db = 0.0;
        double crest_q_db = 0.0;
        double papr_db = 0.0;
        crest_factor(form.model.waveform_buffer.get(), count, &crest_i_db, &crest_q_db, &papr_db);
        object["papr_db"] = papr_db;
        object["crest_factor_i_db"] = crest_i_db;
        object["crest_factor_q_db"] = crest_q_db;
    }
    ordered_json channels = ordered_json::array();
    for (const UsedChannel& channel : used_channels(form, link)) {
        channels.push_back({{"type", channel.type},
                            {"walsh", channel.walsh},
                            {"power_db", std::round(channel.power_db * 100.0) / 100.0}});
    }
    object["channels"] = channels;
    for (const std::string& warning : run_warnings(form, link)) {
        object["warnings"].push_back(warning);
    }
    add_analysis(object, parts.analysis, true);
    add_keys(object, parts);
    return text_of(object);
}

std::string json_error(const std::string& command, int exit_code, const ReportParts& parts) {
    return text_of(ended(command, exit_code, parts));
}

void sort_messages(const std::string& text, ReportParts& parts) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        constexpr std::string_view prefix = "varnika-cli: ";
        constexpr std::string_view warning = "warning: ";
        if (line.starts_with(prefix)) {
            line.erase(0, prefix.size());
        }
        if (line.starts_with(warning)) {
            parts.warnings.push_back(line.substr(warning.size()));
        } else if (!line.empty()) {
            parts.errors.push_back(line);
        }
    }
}

} // namespace varnika::cli
