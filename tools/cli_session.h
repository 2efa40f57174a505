// varnika-cli's work: the window's models started up from the settings files, the command line's
// choices made through the window's own controls, one generation run (whose files appear whole or not at
// all), and the settings files written by the exit dialog's "Save and Quit".
#pragma once

#include "cli_options.h"
#include "headless_desktop.h"
#include "run/generation_run.h"
#include "run/library_binding.h"
#include "run/tester_share.h"
#include "window/main_form.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <span>
#include <string>

namespace varnika::cli {

class Session {
public:
    // Starts the window's models up from the settings files in `settings_folder`. The libraries are bound
    // from `program_folder`. The tester's address is looked up only by a run that saves there. `buffers`,
    // when given, are the run buffers to use (made ready while the settings are read).
    Session(const std::filesystem::path& program_folder, const std::filesystem::path& settings_folder,
            std::ostream& errors, std::optional<RunBuffers> buffers = std::nullopt);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    HeadlessPlatform platform;
    MainForm form{platform};
    HeadlessDesktop desktop;
    ProgramLibraries libraries;
    TesterShare share;
    GenerationRun run;

    // Makes the choices of `options` as a user would: link, radio configuration, test model ("Set"),
    // then the ratio and I/Q inversion of the link chosen by then.
    void choose(const Options& options);
    // Runs "Make AWG File" or "Make Floating File" into the options' file (and writes the reference file);
    // the PAPR dialog's lines go to `out`. An exit code.
    int make(const Options& options, std::ostream& out);
    // "Save and Quit" in the exit dialog. An exit code.
    int save_settings();

private:
    int refuse(int code, const std::string& text);
    // make-sigmf: "Make Floating File" with the SigMF choice of the save dialog.
    int make_sigmf(const Options& options);

    std::ostream& errors_;
};

// What becomes of the command's session (the window's models, a run's buffers) when run_cli returns:
// taken apart, or kept for a process that ends right after and leaves it to the system.
enum class SessionEnd { TakeApart, KeepUntilExit };

// The whole program: `arguments` without the program's name; the libraries (and by default the settings
// files) in `program_folder`. The exit code.
int run_cli(std::span<const std::string> arguments, const std::filesystem::path& program_folder,
            std::ostream& out, std::ostream& errors, SessionEnd end = SessionEnd::TakeApart);

} // namespace varnika::cli
