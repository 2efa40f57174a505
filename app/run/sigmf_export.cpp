#include "run/sigmf_export.h"

#include "run/installation.h"

#include <nlohmann/json.hpp>
#include <safewrite/safe_file.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string_view>

namespace varnika {

namespace fs = std::filesystem;

namespace {

constexpr const char* sigmf_version = "1.0.0";

std::string power_text(double power_db) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", power_db);
    return text;
}

// The samples as float32 little-endian bytes, I then Q.
std::vector<unsigned char> cf32_le(std::span<const IqSample> samples) {
    std::vector<unsigned char> bytes;
    bytes.reserve(samples.size() * 8);
    auto put = [&bytes](double value) {
        auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
        for (int k = 0; k < 4; ++k) {
            bytes.push_back(static_cast<unsigned char>(bits & 0xffu));
            bits >>= 8;
        }
    };
    for (const IqSample& sample : samples) {
        put(sample.i);
        put(sample.q);
    }
    return bytes;
}

// Writes `bytes` to `target` whole or not at all, through the shared safe write.
std::optional<std::string> replace_file(const fs::path& target, std::span<const unsigned char> bytes) {
    const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (auto failed = safewrite::write_file(target, text)) {
        return target.string() + " cannot be written: " + failed->cause;
    }
    return std::nullopt;
}

} // namespace

fs::path sigmf_base(const fs::path& chosen) {
    const std::string extension = chosen.extension().string();
    if (extension == sigmf_data_extension || extension == sigmf_meta_extension) {
        return fs::path(chosen).replace_extension();
    }
    return chosen;
}

std::string sigmf_meta_text(const SigmfRecording& recording) {
    using nlohmann::ordered_json;
    ordered_json annotations = ordered_json::array();
    for (const UsedChannel& channel : recording.channels) {
        const std::string label = channel.type + (channel.walsh.empty() ? "" : " " + channel.walsh) + " " +
                                  power_text(channel.power_db) + " dB";
        annotations.push_back(
            {{"core:sample_start", 0},
             {"core:sample_count", recording.samples.size()},
             {"core:label", label},
             {"core:comment", channel.type + ", Walsh " + (channel.walsh.empty() ? "none" : channel.walsh) +
                                  ", " + power_text(channel.power_db) + " dB"}});
    }
    ordered_json meta;
    meta["global"] = {{"core:datatype", "cf32_le"},
                      {"core:sample_rate", recording.sample_rate_hz},
                      {"core:version", sigmf_version},
                      {"core:description", recording.description},
                      {"core:recorder", "Varnika " + program_version()}};
    meta["captures"] = ordered_json::array({{{"core:sample_start", 0}}});
    meta["annotations"] = annotations;
    return meta.dump(2) + "\n";
}

std::optional<std::string> write_sigmf(const fs::path& base, const SigmfRecording& recording) {
    fs::path data = base;
    data += sigmf_data_extension;
    fs::path meta = base;
    meta += sigmf_meta_extension;
    const std::vector<unsigned char> samples = cf32_le(recording.samples);
    if (auto problem = replace_file(data, samples)) {
        return problem;
    }
    const std::string text = sigmf_meta_text(recording);
    return replace_file(meta, std::span(reinterpret_cast<const unsigned char*>(text.data()), text.size()));
}

} // namespace varnika
