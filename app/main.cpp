// Varnika: the cdma2000 1xEV-DV waveform generator's window.
#include "run/generation_run.h"
#include "run/library_binding.h"
#include "run/tester_share.h"
#include "settings/main_form.h"
#include "settings/start_up.h"
#include "ui/main_window.h"
#include "ui/papr_dialog.h"
#include "ui/qt_platform.h"
#include "ui/run_desktop.h"

#include <safewrite/safe_file.h>

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    // An interrupt while a settings file or waveform is being written leaves no temporary behind.
    safewrite::install_signal_cleanup();
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));

    varnika::ui::QtPlatform platform;
    varnika::MainForm form(platform);
    // The generation run binds kestra and wavesave from the program's folder; it also serves the network
    // page's look-ups.
    const std::filesystem::path folder = varnika::program_folder();
    varnika::ProgramLibraries libraries(folder);
    varnika::TesterShare tester_share;
    varnika::ui::QtGenerationDesktop desktop;
    varnika::GenerationRun run(form, desktop, libraries, tester_share, folder);
    // The settings files live beside the program: start-up reads them, "Save and Quit" writes them. The
    // tester's address is resolved in the background once the window is up.
    form.settings_folder = folder;
    varnika::StartupSteps steps;
    steps.apply_network_settings = [](varnika::MainForm& f) { f.network.apply_settings(false); };
    varnika::start_up(form, steps);

    varnika::ui::MainWindow window(form, platform);
    platform.set_main_window(&window);
    desktop.set_main_window(&window);
    varnika::ui::attach_papr_dialog(run.papr, &window);
    window.show();
    form.network.resolve_in_background([&app](std::function<void()> on_window_thread) {
        QMetaObject::invokeMethod(&app, std::move(on_window_thread), Qt::QueuedConnection);
    });
    return QApplication::exec();
}
