#include "cli_report.h"

#include "run/used_channels.h"

#include <nlohmann/json.hpp>
#include <wavesave/wavesave.h>

#include <cmath>

namespace varnika::cli {

namespace {

using nlohmann::ordered_json;

ordered_json ended(int exit_code, const std::vector<std::string>& errors) {
    ordered_json object;
    object["exit_code"] = exit_code;
    object["error"] = errors.empty() ? ordered_json(nullptr) : ordered_json(errors.front());
    if (errors.size() > 1) {
        object["errors"] = errors;
    }
    return object;
}

} // namespace

std::string json_report(const Options& options, const MainForm& form, ProgramLibraries& libraries,
                        int exit_code, const std::vector<std::string>& errors) {
    ordered_json object = ended(exit_code, errors);
    const int link = form.model.link_flag == 0 ? uplink_item : downlink_item;
    object["command"] = options.command == Command::MakeAwg        ? "make-awg"
                        : options.command == Command::MakeFloating ? "make-floating"
                        : options.command == Command::MakeSigmf    ? "make-sigmf"
                                                                   : "save-settings";
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
    if (exit_code == exit_ok && options.command != Command::None && crest_factor != nullptr &&
        form.model.waveform_buffer) {
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
    object["warnings"] = run_warnings(form, link);
    return object.dump(2) + "\n";
}

std::string json_error(int exit_code, const std::vector<std::string>& errors) {
    return ended(exit_code, errors).dump(2) + "\n";
}

} // namespace varnika::cli
