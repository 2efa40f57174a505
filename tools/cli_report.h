// --json: what a run made, or why it failed, as one JSON object on standard output. Built from the
// window's models after the run (the waveform buffer still holds the samples) and the exit code.
#pragma once

#include "cli_options.h"
#include "run/library_binding.h"
#include "window/main_form.h"

#include <string>
#include <vector>

namespace varnika::cli {

// The object of a run that ended with `exit_code`; `error` is what went wrong (empty when nothing did).
// The waveform's fields are present once a run has written it.
std::string json_report(const Options& options, const MainForm& form, ProgramLibraries& libraries,
                        int exit_code, const std::vector<std::string>& errors);

// The object of a command line that ended before any run: its exit code and errors.
std::string json_error(int exit_code, const std::vector<std::string>& errors);

} // namespace varnika::cli
