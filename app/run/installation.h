// Where a built, unpacked or installed program finds its two libraries and keeps its settings files, and
// how it states its version.
#pragma once

#include "run/library_binding.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace varnika {

// The folder to bind kestra and wavesave from, for a program in `program_folder`: the program's own
// folder when the libraries lie beside it (a build, an unpacked copy), else the library folder of an
// install (the lib folder beside bin). The program's folder when neither holds them, so that the
// message of a run names where they were expected.
std::filesystem::path library_folder(const std::filesystem::path& program_folder);

// Whether the program in `program_folder` is a build or a portable copy: both libraries lie beside it
// under their SONAMEs. An installed program finds them in the library folder instead.
bool portable_copy(const std::filesystem::path& program_folder);

// Where the settings files live: the program's folder for a build or portable copy that may write
// there; for an installed program (and a portable copy on a read-only medium) $XDG_CONFIG_HOME/varnika,
// or $HOME/.config/varnika when that variable is unset or not an absolute path. Nothing is created
// here: the folder is made when settings are first saved.
std::filesystem::path settings_home(const std::filesystem::path& program_folder);
// The same folder, without creating it: for a program that only reads the settings or shows them.
std::filesystem::path settings_home_path(const std::filesystem::path& program_folder);

// The project's version ("0.1.0").
std::string program_version();
// A library version export's number (major * 10000 + minor * 100 + patch) as "major.minor.patch".
std::string version_number_text(std::int32_t number);

// "<program> <version>", then one line per library with its version and file, or why it is missing.
std::string version_report(const std::string& program_name, ProgramLibraries& libraries);

} // namespace varnika
