// varnika-cli's signal check: `analyze FILE`, or --analyze after a run.
#pragma once

#include "cli_options.h"

#include <ostream>

namespace varnika::cli {

class Session;

// Checks the options' file against the session's settings; the numbers (or the JSON object) go to `out`.
// An exit code: exit_differs when the verdict is "differs".
int check_file(Session& session, const Options& options, std::ostream& out, std::ostream& errors);

} // namespace varnika::cli
