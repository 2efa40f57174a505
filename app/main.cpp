// Varnika: the cdma2000 1xEV-DV waveform generator's window.
#include "check/signal_check.h"
#include "run/generation_run.h"
#include "run/library_binding.h"
#include "run/tester_share.h"
#include "settings/main_form.h"
#include "settings/start_up.h"
#include "ui/main_window.h"
#include "ui/papr_dialog.h"
#include "ui/qt_platform.h"
#include "ui/run_desktop.h"
#include "ui/signal_check_window.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));

    varnika::ui::QtPlatform platform;
    varnika::MainForm form(platform);
    // The generation run binds kestra and wavesave from the program's folder, where its temporary files
    // go too; it also serves the network page's look-ups, which start-up already runs.
    const std::filesystem::path folder = varnika::program_folder();
    varnika::ProgramLibraries libraries(folder);
    varnika::TesterShare tester_share;
    varnika::ui::QtGenerationDesktop desktop;
    // The signal check learns the file each run makes from the save dialog's answer.
    varnika::MadeFileWatch made_file(form, desktop);
    varnika::GenerationRun run(form, made_file, libraries, tester_share, folder);
    // The settings files live beside the program: start-up reads them, "Save and Quit" writes them.
    form.settings_folder = folder;
    varnika::start_up(form);

    varnika::ui::MainWindow window(form, platform);
    platform.set_main_window(&window);
    desktop.set_main_window(&window);
    varnika::ui::attach_papr_dialog(run.papr, &window);
    varnika::ui::SignalCheckLauncher signal_check(&window, form, libraries, made_file);
    window.show();
    return QApplication::exec();
}
