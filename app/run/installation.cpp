#include "run/installation.h"

#include <varnika_version.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace varnika {

namespace fs = std::filesystem;

namespace {

bool holds_libraries(const fs::path& folder) {
    std::error_code error;
    return fs::exists(folder / kestra_file_name, error) && fs::exists(folder / wavesave_file_name, error);
}

fs::path config_home() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && fs::path(xdg).is_absolute()) {
        return xdg;
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home == '\0') {
        // A service or a cron job may run without HOME: the account's home folder stands in.
        const passwd* account = ::getpwuid(::getuid());
        home = account != nullptr && account->pw_dir != nullptr ? account->pw_dir : "/";
    }
    return fs::path(home) / ".config";
}

// One library's line of the version report.
std::string library_line(LibraryBinding& library, const char* name, const char* version_export) {
    std::string missing;
    auto* version = library.find<std::int32_t()>(version_export, missing);
    if (version == nullptr) {
        return std::string(name) + ": " + missing;
    }
    return std::string(name) + " " + version_number_text(version()) + " (" + library.file().string() + ")";
}

} // namespace

fs::path library_folder(const fs::path& program_folder) {
    if (holds_libraries(program_folder)) {
        return program_folder;
    }
    const fs::path installed = (program_folder / VARNIKA_RELATIVE_LIBDIR).lexically_normal();
    return holds_libraries(installed) ? installed : program_folder;
}

bool portable_copy(const fs::path& program_folder) {
    return holds_libraries(program_folder);
}

fs::path settings_home_path(const fs::path& program_folder) {
    // An installed program never writes beside itself, whoever runs it (root may write into /usr/bin).
    if (portable_copy(program_folder) && ::access(program_folder.c_str(), W_OK | X_OK) == 0) {
        return program_folder;
    }
    return config_home() / "varnika";
}

fs::path settings_home(const fs::path& program_folder) {
    fs::path folder = settings_home_path(program_folder);
    std::error_code error;
    fs::create_directories(folder, error);
    return folder;
}

std::string program_version() {
    return VARNIKA_VERSION;
}

std::string version_number_text(std::int32_t number) {
    return std::to_string(number / 10000) + "." + std::to_string(number / 100 % 100) + "." +
           std::to_string(number % 100);
}

std::string version_report(const std::string& program_name, ProgramLibraries& libraries) {
    return program_name + " " + program_version() + "\n" +
           library_line(libraries.kestra, "kestra", "KESTRA_Version") + "\n" +
           library_line(libraries.wavesave, "wavesave", "WAVESAVE_Version") + "\n";
}

} // namespace varnika
