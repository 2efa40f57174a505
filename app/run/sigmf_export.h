// SigMF recordings: the open format software-radio tools read. A recording is two files beside each
// other: BASE.sigmf-data, the samples as cf32_le (interleaved little-endian float32 I and Q), and
// BASE.sigmf-meta, JSON that says what they are.
#pragma once

#include "run/used_channels.h"

#include <kestra/kestra.h>

#include <safewrite/safe_file.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varnika {

inline constexpr const char* sigmf_data_extension = ".sigmf-data";
inline constexpr const char* sigmf_meta_extension = ".sigmf-meta";
inline constexpr const char* sigmf_lock_extension = ".sigmf-lock";
// Half the band one code channel occupies around the carrier: 1.2288 MHz wide.
inline constexpr double channel_half_band_hz = 614400.0;

struct SigmfRecording {
    std::span<const IqSample> samples;
    double sample_rate_hz = 0.0;
    std::string description;
    std::vector<UsedChannel> channels;            // one annotation each, over the whole recording
    std::string recorder = "Varnika";             // the program that made it; its version is added
    std::chrono::system_clock::time_point made{}; // when the samples were made
    double offset_hz = 0.0; // where the carrier's band lies: the frequency error or IF set, else 0
};

// The recording's base name for a chosen file: "a/rec.sigmf-meta" and "a/rec.sigmf-data" give "a/rec",
// any other name stays as it is.
std::filesystem::path sigmf_base(const std::filesystem::path& chosen);

// The meta file's JSON text.
std::string sigmf_meta_text(const SigmfRecording& recording);

// The lock file that writers of the recording BASE hold while they write its pair: ".NAME.sigmf-lock"
// in BASE's folder.
std::filesystem::path sigmf_lock_file(const std::filesystem::path& base);

// Adds BASE.sigmf-data and then BASE.sigmf-meta to `files`, so the data replaces its earlier file first
// and the meta last. The samples are read when the set is written: `recording` must live until then.
void add_sigmf(safewrite::FileSet& files, const std::filesystem::path& base, const SigmfRecording& recording,
               safewrite::Accepts accepts = {});

// Writes the recording BASE under its lock: both files complete before either replaces its earlier file,
// so a failure leaves the earlier pair as it was, and a reader never meets the data of one run beside the
// meta of another. Nothing on success, otherwise the reason in words.
std::optional<std::string> write_sigmf(const std::filesystem::path& base, const SigmfRecording& recording);

} // namespace varnika
