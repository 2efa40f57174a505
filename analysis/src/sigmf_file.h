// Reading a SigMF recording: the meta file's JSON says how the data file's samples are stored and at what
// rate they were taken.
#pragma once

#include "analysis/waveform_file.h"

namespace varnika::analysis {

inline constexpr const char* sigmf_meta_suffix = ".sigmf-meta";
inline constexpr const char* sigmf_data_suffix = ".sigmf-data";

// `file` is either half of the pair (BASE.sigmf-meta or BASE.sigmf-data); both are read.
WaveformFile read_sigmf(const std::filesystem::path& file, const ReadOptions& options);

} // namespace varnika::analysis
