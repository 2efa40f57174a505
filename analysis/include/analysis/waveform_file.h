// Reading the waveform files the program writes back from disk: the AWG file (a header of brace lines,
// then I and Q as 14-bit offset-binary words in 32-bit little-endian words) and the floating-point text
// file (one "I,Q" line per sample).
#pragma once

#include "analysis/signal_check.h"

#include <filesystem>
#include <optional>
#include <string>

namespace varnika::analysis {

struct WaveformFile {
    std::optional<Waveform> waveform; // nothing when the file cannot be read; `error` says why
    bool awg = false;
    std::string error;
};

// An AWG file takes its sampling rate from its header; a text file is taken at `text_sample_rate_hz`.
WaveformFile read_waveform_file(const std::filesystem::path& file, double text_sample_rate_hz);

} // namespace varnika::analysis
