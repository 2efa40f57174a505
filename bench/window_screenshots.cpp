// Pictures of the Varnika window for comparing two builds pixel by pixel: the window as a first start
// opens it, each page of both links, and the channel list with every type on at its full multiplicity,
// at its top, its middle and its end. The window is assembled as the program's main() assembles it.
//
//   window_screenshots OUTPUT_FOLDER     (under xvfb-run, or QT_QPA_PLATFORM=offscreen)
//
// Writes one PNG per view and geometry.txt (the window's size and each picture's name).
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

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <iostream>
#include <string>

namespace {

void settle() {
    for (int k = 0; k < 5; ++k) {
        QCoreApplication::processEvents();
        QTest::qWait(20);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::cerr << "Usage: window_screenshots OUTPUT_FOLDER\n";
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir settings;
    if (!settings.isValid()) {
        return 1;
    }

    // As main() does, with a settings folder of its own: a first start.
    varnika::ui::QtPlatform platform;
    varnika::MainForm form(platform);
    const std::filesystem::path folder = varnika::program_folder();
    const std::filesystem::path settings_folder = settings.path().toStdString();
    varnika::ProgramLibraries libraries(varnika::library_folder(folder));
    varnika::TesterShare tester_share;
    varnika::ui::QtGenerationDesktop desktop;
    varnika::MadeFileWatch made_file(form, desktop);
    varnika::GenerationRun run(form, made_file, libraries, tester_share, settings_folder);
    form.settings_folder = settings_folder;
    varnika::StartupSteps steps;
    steps.apply_network_settings = [](varnika::MainForm& f) { f.network.apply_settings(false); };
    varnika::start_up(form, steps);
    varnika::ui::MainWindow window(form, platform);
    // A fixed text: the pictures do not depend on where the settings folder is.
    window.set_about_text("Varnika");
    platform.set_main_window(&window);
    desktop.set_main_window(&window);
    varnika::ui::attach_papr_dialog(run.papr, &window);
    varnika::ui::SignalCheckLauncher signal_check(&window, form, libraries, made_file);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        return 1;
    }
    settle();

    std::ofstream geometry((out + "/geometry.txt").toStdString());
    geometry << "window " << window.width() << "x" << window.height() << "\n";
    const auto shoot = [&](const char* name) {
        settle();
        window.grab().save(out + "/" + name + ".png");
        geometry << name << "\n";
    };
    shoot("01_first_start");

    const std::pair<int, int> pages[] = {{varnika::uplink_item, 0},
                                         {varnika::uplink_item, 1},
                                         {varnika::downlink_item, 0},
                                         {varnika::downlink_item, 1},
                                         {varnika::downlink_item, 2}};
    for (const auto& [link, page] : pages) {
        form.Link_Selection_Option.select(link);
        (link == varnika::uplink_item ? form.UL_SSTab : form.DL_SSTab).select(page);
        const std::string name =
            std::string(link == varnika::uplink_item ? "02_uplink_page_" : "03_downlink_page_") +
            std::to_string(page);
        shoot(name.c_str());
    }

    // Every type on at its full multiplicity: the longest list.
    varnika::DownlinkChannelPage& channels = form.downlink_channels;
    form.Link_Selection_Option.select(varnika::downlink_item);
    form.DL_SSTab.select(1);
    for (int type = 1; type < varnika::dl_type_count; ++type) {
        channels.DL_CH_Multi_Text(type).set_text(std::to_string(channels.type_entry(type).capacity));
        channels.DL_CH_Multi_Text(type).commit();
        channels.DL_CH_Stat_Command(type).press();
    }
    shoot("04_list_top");
    varnika::VerticalScroll& scroll = channels.DL_Channel_Parameters_VScroll;
    scroll.set_value(scroll.maximum() / 2);
    shoot("05_list_middle");
    scroll.set_value(scroll.maximum());
    shoot("06_list_end");
    geometry << "slots " << channels.slot_count() << "\n";
    return 0;
}
