// varnika-cli run in the test's own process: its exit code and what it wrote on standard output and
// standard error.
#pragma once

#include "cli_session.h"
#include "run/library_binding.h"

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace varnika::testing {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

// The program with `words` after its name, the libraries bound from `program`.
inline Outcome cli(const std::vector<std::string>& words,
                   const std::filesystem::path& program = varnika::program_folder()) {
    std::ostringstream out;
    std::ostringstream err;
    const int code = varnika::cli::run_cli(words, program, out, err);
    return {code, out.str(), err.str()};
}

} // namespace varnika::testing
