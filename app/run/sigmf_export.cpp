#include "run/sigmf_export.h"

#include "run/installation.h"

#include <nlohmann/json.hpp>
#include <safewrite/safe_file.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
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

// Writes the samples as float32 little-endian bytes, I then Q, a block at a time.
std::optional<safewrite::Failure> write_cf32_le(safewrite::SafeFile& file,
                                                std::span<const IqSample> samples) {
    constexpr std::size_t block = 65536;
    std::vector<unsigned char> bytes;
    bytes.reserve(std::min(samples.size(), block) * 8);
    auto put = [&bytes](double value) {
        auto bits = std::bit_cast<std::uint32_t>(static_cast<float>(value));
        for (int k = 0; k < 4; ++k) {
            bytes.push_back(static_cast<unsigned char>(bits & 0xffu));
            bits >>= 8;
        }
    };
    while (!samples.empty()) {
        const auto part = samples.first(std::min(samples.size(), block));
        bytes.clear();
        for (const IqSample& sample : part) {
            put(sample.i);
            put(sample.q);
        }
        if (auto failed = file.write({reinterpret_cast<const char*>(bytes.data()), bytes.size()})) {
            return failed;
        }
        samples = samples.subspan(part.size());
    }
    return std::nullopt;
}

// ISO 8601 in UTC with milliseconds: "2026-12-08T02:13:08.123Z".
std::string iso8601_utc(std::chrono::system_clock::time_point when) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(when);
    const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(when - seconds).count();
    const std::time_t whole = std::chrono::system_clock::to_time_t(seconds);
    std::tm utc{};
    gmtime_r(&whole, &utc);
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(milliseconds));
    return text;
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
             {"core:freq_lower_edge", recording.offset_hz - channel_half_band_hz},
             {"core:freq_upper_edge", recording.offset_hz + channel_half_band_hz},
             {"core:label", label},
             {"core:comment", channel.type + ", Walsh " + (channel.walsh.empty() ? "none" : channel.walsh) +
                                  ", " + power_text(channel.power_db) + " dB"}});
    }
    ordered_json meta;
    meta["global"] = {{"core:datatype", "cf32_le"},
                      {"core:sample_rate", recording.sample_rate_hz},
                      {"core:version", sigmf_version},
                      {"core:description", recording.description},
                      {"core:recorder", recording.recorder + " " + program_version()}};
    meta["captures"] =
        ordered_json::array({{{"core:sample_start", 0}, {"core:datetime", iso8601_utc(recording.made)}}});
    meta["annotations"] = annotations;
    return meta.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

fs::path sigmf_lock_file(const fs::path& base) {
    const fs::path folder = base.has_parent_path() ? base.parent_path() : fs::path(".");
    std::string name(1, '.');
    name.append(base.filename().string()).append(sigmf_lock_extension);
    return folder / name;
}

void add_sigmf(safewrite::FileSet& files, const fs::path& base, const SigmfRecording& recording,
               safewrite::Accepts accepts) {
    fs::path data = base;
    data += sigmf_data_extension;
    fs::path meta = base;
    meta += sigmf_meta_extension;
    files.add(
        data,
        [samples = recording.samples](safewrite::SafeFile& file) { return write_cf32_le(file, samples); },
        accepts);
    files.add(
        meta, [text = sigmf_meta_text(recording)](safewrite::SafeFile& file) { return file.write(text); },
        accepts);
}

std::optional<std::string> write_sigmf(const fs::path& base, const SigmfRecording& recording) {
    safewrite::NameLock lock;
    if (auto failed = lock.take(sigmf_lock_file(base))) {
        return "its lock " + failed->text();
    }
    safewrite::FileSet files;
    add_sigmf(files, base, recording);
    if (auto failed = files.write()) {
        return failed->file + " cannot be written: " + failed->cause;
    }
    return std::nullopt;
}

} // namespace varnika
