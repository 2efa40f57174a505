// The command line of varnika-cli: what to make, where to read the settings files, and the window
// choices to make before the run. Parsing only checks the words; the choices themselves are made
// through the window's controls (cli_session.h).
#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace varnika::cli {

// One exit status per kind of outcome, listed in the help text.
enum ExitCode : int {
    exit_ok = 0,
    exit_internal_error = 1,  // an unexpected failure inside the program
    exit_usage = 2,           // unknown option, bad or missing value
    exit_ratio_refused = 3,   // the AWG run refuses the sampling rate
    exit_not_written = 4,     // a waveform, reference or settings file could not be written
    exit_library_missing = 5, // libkestra.so or libwavesave.so, or one of their exports, is missing
    exit_bad_waveform = 6,    // the settings give no usable waveform (all zero, or not finite numbers)
    exit_check_failed = 7,    // the file to check cannot be read or measured
    exit_differs = 8,         // analyze: the file differs from the waveform the settings make
};

enum class Command { None, MakeAwg, MakeFloating, MakeSigmf, Analyze };

struct Options {
    bool help = false;
    bool version = false;
    bool json = false; // one JSON object on standard output instead of text
    Command command = Command::None;
    std::string file; // the waveform file of make-awg / make-floating / analyze, the base name of make-sigmf
    bool analyze = false; // the signal check of the file, after make-awg / make-floating
    bool detect = false;  // analyze: find the active codes instead of comparing with the settings
    std::optional<std::filesystem::path> settings_dir;
    std::optional<std::string> reference_file;
    std::optional<int> link;          // item of Link_Selection_Option: 0 uplink, 1 downlink
    std::optional<int> configuration; // item of UL_CH_Selection_Option: 0 RC1/RC2, 1 RC3/RC4, 2 RC3/RC4/RC7
    std::optional<int> test_model;    // entry 0..8 of the downlink test-model list
    std::optional<std::string> ratio; // an item of the oversampling lists ("20")
    std::optional<int> iq_inverse;    // item of the I/Q inverse list: 0 "OFF", 1 "ON"
    bool save_settings = false;
    // --set KEY=VALUE, in the order given: settings-file lines by key (list_settings).
    std::vector<std::pair<std::string, std::string>> settings;
    bool list_keys = false;
    std::optional<double> sample_rate_hz; // --sample-rate: the rate of the file analyze reads
    std::string list_prefix;              // --list-keys PREFIX: only the keys that start so
    bool quiet = false;                   // no notices, no report text: errors and data alone
};

struct ParsedArguments {
    std::optional<Options> options; // nothing when the words are not a valid command line
    std::string error;              // one line saying why
};

// `arguments` without the program's name.
ParsedArguments parse_arguments(std::span<const std::string> arguments);

// With `settings_folder`, the text ends by naming the folder whose settings files are in use.
std::string help_text(const std::filesystem::path& settings_folder = {});

// The command's name in reports ("make-awg", "list-keys").
std::string command_name(const Options& options);

} // namespace varnika::cli
