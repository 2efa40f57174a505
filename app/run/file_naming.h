// The file names of a generation run: the save dialog's filter lists, the Tester Mode reference file named
// after the chosen file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace varnika {

inline constexpr const char* awg_save_title = "AWG Data Save";
inline constexpr const char* floating_save_title = "Floating Data Save";
inline constexpr const char* awg_filter = "AWG(*.awv)|*.awv|data files(*.dat)|*.dat|csv "
                                          "files(*.csv)|*.csv|text files(*.txt)|*.txt|all files(*.*)|*.*";
inline constexpr const char* floating_filter =
    "data files(*.dat)|*.dat|CSV files(*.csv)|*.csv|text files(*.txt)|*.txt|all files(*.*)|*.*"
    "|SigMF(*.sigmf-meta)|*.sigmf-meta";
// The floating run's entry that writes a SigMF recording instead of a text file.
inline constexpr int floating_sigmf_filter = 5;
// Filter entries with a named type, each with a four-character extension (dot included); the entry after
// them is "all files".
inline constexpr int awg_named_filters = 4;
inline constexpr int floating_named_filters = 3;

// The chip-rate reference file beside `file_name`, chosen with 1-based filter entry `filter_index`: a
// named type's four-character extension is replaced by ".ref"; with "all files" ".ref" is appended. It
// never names the waveform file itself: "sig.ref" chosen as a waveform file gets "sig.ref.ref".
std::string reference_file_name(const std::string& file_name, int filter_index, int named_filters);

// The pieces of a filter list between its "|" marks: caption, pattern, caption, pattern, ...
std::vector<std::string> filter_parts(const std::string& filter);

// The file extension of filter entry `filter_index` ("awv" for "*.awv"); empty for "*.*" or no such entry.
std::string filter_extension(const std::string& filter, int filter_index);

} // namespace varnika
