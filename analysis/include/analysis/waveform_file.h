// Reading waveform files and captures back from disk: the AWG file (a header of brace lines, then I and Q
// as 14-bit offset-binary words in 32-bit little-endian words), the floating-point text file (one "I,Q"
// line per sample) and the SigMF recording (BASE.sigmf-meta beside BASE.sigmf-data, samples as cf32_le,
// ci16_le or cf64_le).
//
// Only regular files are read. A FIFO, a device, a socket or a folder is refused with a message naming
// it, without being opened for reading (a FIFO never blocks the reader). Header numbers are range-checked
// before they are used; samples that are not finite numbers are refused.
#pragma once

#include "analysis/signal_check.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace varnika::analysis {

enum class FileFormat { Awg, Text, Sigmf };

struct WaveformFile {
    std::optional<Waveform> waveform; // nothing when the file cannot be read; `error` says why
    bool awg = false;
    FileFormat format = FileFormat::Text;
    std::string error;
};

// Sampling rates a file, a recording's meta or the caller may give: 1 kHz to 100 GHz.
inline constexpr double lowest_sample_rate_hz = 1e3;
inline constexpr double highest_sample_rate_hz = 1e11;
// The most samples one file may hold: 2^26 samples (1 GiB in memory), about 25 frames at ratio 80.
inline constexpr std::size_t most_file_samples = std::size_t{1} << 26;

struct ReadOptions {
    // The sampling rate the samples were taken at. When given it overrides the AWG header's SAMPLINGFREQ
    // and the recording's core:sample_rate, and it is the rate of a text file.
    std::optional<double> sample_rate_hz;
    // The rate of a text file when `sample_rate_hz` is not given (the settings' rate); 0: none known.
    double text_sample_rate_hz = 0.0;
};

WaveformFile read_waveform_file(const std::filesystem::path& file, const ReadOptions& options);
// An AWG file or a recording takes its sampling rate from itself; a text file is taken at
// `text_sample_rate_hz`.
WaveformFile read_waveform_file(const std::filesystem::path& file, double text_sample_rate_hz);

// Why `hz` cannot be a sampling rate (not a finite number, or outside the range above); nothing when it can.
std::optional<std::string> sample_rate_problem(double hz);

// Whether `file` names one half of a SigMF recording (its name ends in .sigmf-meta or .sigmf-data).
bool is_sigmf_name(const std::filesystem::path& file);

} // namespace varnika::analysis
