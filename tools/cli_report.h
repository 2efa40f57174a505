// --json: what a command did, or why it failed, as one JSON object on standard output. Built from the
// window's models after the run (the waveform buffer still holds the samples) and the exit code. Every
// object has "command", "exit_code", "error" (null on success) and "warnings".
#pragma once

#include "cli_options.h"
#include "run/library_binding.h"
#include "window/main_form.h"
#include "window/named_settings.h"

#include <optional>
#include <string>
#include <vector>

namespace varnika::cli {

// What the command had to say besides its own numbers.
struct ReportParts {
    std::vector<std::string> errors;   // the first is "error", all of them "errors" when more than one
    std::vector<std::string> warnings; // notices of a command that may still succeed
    std::string analysis;              // the signal check's JSON object; empty when there is none
    std::optional<std::vector<NamedSetting>> keys; // --list-keys
};

// The object of a command that ended with `exit_code` after its session had started.
std::string json_report(const Options& options, const MainForm& form, ProgramLibraries& libraries,
                        int exit_code, const ReportParts& parts);

// The object of a command line that ended before any session: its command ("usage" when the words are
// not a command line), exit code, errors and warnings.
std::string json_error(const std::string& command, int exit_code, const ReportParts& parts);

// Splits the program's message lines ("varnika-cli: warning: TEXT", "varnika-cli: TEXT") into warnings
// and errors, without the prefixes.
void sort_messages(const std::string& text, ReportParts& parts);

} // namespace varnika::cli
