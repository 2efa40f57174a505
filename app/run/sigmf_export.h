// SigMF recordings: the open format software-radio tools read. A recording is two files beside each
// other: BASE.sigmf-data, the samples as cf32_le (interleaved little-endian float32 I and Q), and
// BASE.sigmf-meta, JSON that says what they are.
#pragma once

#include "run/used_channels.h"

#include <kestra/kestra.h>

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varnika {

inline constexpr const char* sigmf_data_extension = ".sigmf-data";
inline constexpr const char* sigmf_meta_extension = ".sigmf-meta";

struct SigmfRecording {
    std::span<const IqSample> samples;
    double sample_rate_hz = 0.0;
    std::string description;
    std::vector<UsedChannel> channels; // one annotation each, over the whole recording
};

// The recording's base name for a chosen file: "a/rec.sigmf-meta" and "a/rec.sigmf-data" give "a/rec",
// any other name stays as it is.
std::filesystem::path sigmf_base(const std::filesystem::path& chosen);

// The meta file's JSON text.
std::string sigmf_meta_text(const SigmfRecording& recording);

// Writes BASE.sigmf-data, then BASE.sigmf-meta, each whole or not at all (an existing file stays as it
// was when its replacement fails). Nothing on success, otherwise the reason in words.
std::optional<std::string> write_sigmf(const std::filesystem::path& base, const SigmfRecording& recording);

} // namespace varnika
