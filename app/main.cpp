// Varnika: the cdma2000 1xEV-DV waveform generator's window.
#include "check/signal_check.h"
#include "run/generation_run.h"
#include "run/installation.h"
#include "run/library_binding.h"
#include "run/tester_share.h"
#include "ui/main_window.h"
#include "ui/papr_dialog.h"
#include "ui/qt_platform.h"
#include "ui/run_desktop.h"
#include "ui/signal_check_window.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <safewrite/safe_file.h>

#include <QApplication>
#include <QStyleFactory>

#include <cstring>
#include <iostream>

namespace {

std::string usage_text(const std::filesystem::path& settings_folder) {
    return "Usage: Varnika [--version | --help]\n"
           "\n"
           "Opens the window that makes cdma2000 1xEV-DV test waveforms (varnika-cli makes them without\n"
           "a display).\n"
           "\n"
           "  --version  print the version of the program and of both libraries\n"
           "  --help     show this text\n"
           "\n"
           "Settings folder in use: " +
           settings_folder.string() +
           "\n(the program's folder for a build or portable copy, else $XDG_CONFIG_HOME/varnika)\n";
}

} // namespace

int main(int argc, char* argv[]) {
    // An interrupt while a settings file or waveform is being written leaves no temporary behind.
    safewrite::install_signal_cleanup();
    const std::filesystem::path folder = varnika::program_folder();
    // Both answers need no display, so they come before the window's application starts.
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "--version") == 0) {
            varnika::ProgramLibraries libraries(varnika::library_folder(folder));
            std::cout << varnika::version_report("Varnika", libraries);
            return 0;
        }
        if (std::strcmp(argv[k], "--help") == 0 || std::strcmp(argv[k], "-h") == 0) {
            std::cout << usage_text(varnika::settings_home(folder));
            return 0;
        }
    }

    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));

    varnika::ui::QtPlatform platform;
    varnika::MainForm form(platform);
    // The generation run binds kestra and wavesave from the program's folder or its install's library
    // folder. It also serves the network page's look-ups.
    const std::filesystem::path settings_folder = varnika::settings_home(folder);
    varnika::ProgramLibraries libraries(varnika::library_folder(folder));
    varnika::TesterShare tester_share;
    varnika::ui::QtGenerationDesktop desktop;
    varnika::GenerationRun run(form, desktop, libraries, tester_share, settings_folder);
    // The settings files live beside a build or portable copy of the program, else in the user's
    // configuration folder: start-up reads them, "Save and Quit" writes them. The tester's address is
    // looked up only by "Apply" (on a worker thread) or by a run that saves into its folder.
    form.settings_folder = settings_folder;
    varnika::StartupSteps steps;
    steps.apply_network_settings = [](varnika::MainForm& f) { f.network.apply_settings(false); };
    varnika::start_up(form, steps);

    varnika::ui::MainWindow window(form, platform);
    window.set_about_text([&libraries, settings_folder] {
        return varnika::version_report("Varnika", libraries) +
               "\nSettings folder: " + settings_folder.string();
    });
    platform.set_main_window(&window);
    desktop.set_main_window(&window);
    varnika::ui::attach_papr_dialog(run.papr, &window);
    // The signal check learns the file each run makes, and its settings, from the run's result.
    varnika::ui::SignalCheckLauncher signal_check(&window, form, libraries, run);
    // The network page's look-ups answer through the event loop. `app` outlives the page, and the page
    // stops every delivery when it goes.
    form.network.look_up_in_background([&app](std::function<void()> on_window_thread) {
        QMetaObject::invokeMethod(&app, std::move(on_window_thread), Qt::QueuedConnection);
    });
    window.show();
    return QApplication::exec();
}
