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

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>

#include <fstream>
#include <functional>
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
    varnika::GenerationRun run(form, desktop, libraries, tester_share, settings_folder);
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
    varnika::ui::SignalCheckLauncher signal_check(&window, form, libraries, run);
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

    // The uplink's other channel groups, and the phase-step note of a frequency offset.
    form.Link_Selection_Option.select(varnika::uplink_item);
    form.UL_SSTab.select(0);
    form.uplink.UL_CH_Selection_Option.select(1);
    shoot("07_uplink_rc34");
    form.uplink.UL_CH_Selection_Option.select(2);
    shoot("08_uplink_rc7");
    form.uplink.offset.option.select(1);
    form.uplink.offset.freqerr.set_text("1234.5");
    form.uplink.offset.freqerr.commit();
    shoot("09_uplink_offset_note");
    form.uplink.offset.option.select(0);
    form.uplink.UL_CH_Selection_Option.select(0);

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

    // The windows the main window opens: each is a child of it and takes its look from it.
    const auto shoot_window = [&](const char* name, QWidget* shown) {
        settle();
        shown->grab().save(out + "/" + name + ".png");
        geometry << name << " " << shown->width() << "x" << shown->height() << "\n";
    };
    const auto shoot_modal = [&](const char* name, const std::function<void()>& open) {
        QTimer::singleShot(100, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal != nullptr) {
                shoot_window(name, modal);
                modal->close();
            }
        });
        open();
    };
    shoot_modal("10_exit_dialog", [&] { platform.run_modal(form.exit_flow.dialog.Form2); });
    shoot_modal("11_password_dialog", [&] { platform.run_modal(form.tester_mode.dialog.Form4); });
    shoot_modal("12_message", [&] {
        platform.show_message("The tester's folder is unknown: the name has no domain part.", "Varnika",
                              varnika::form::MessageIcon::Exclamation,
                              varnika::form::MessageButtons::OkCancel);
    });
    std::vector<std::string> left_out;
    for (int k = 1; k <= 60; ++k) {
        left_out.push_back("F-SCH " + std::to_string(k));
    }
    run.papr.describe("/tmp/waveform.awv", "Downlink(Forward)", 12, left_out);
    run.papr.show_values(9.12, 8.25, 8.31);
    run.papr.bring_to_front();
    if (auto* papr = window.findChild<QDialog*>("Form3")) {
        shoot_window("13_papr_dialog", papr);
    }
    run.papr.withdraw();
    if (auto* about = window.findChild<QAction*>("About_Action")) {
        about->trigger();
        if (auto* box = window.findChild<QMessageBox*>("About_Dialog")) {
            shoot_window("14_about", box);
            box->close();
        }
    }
    auto* check = new varnika::ui::SignalCheckWindow(&window);
    check->show();
    shoot_window("15_signal_check_window", check);
    check->close();
    form.Link_Selection_Option.select(varnika::uplink_item);
    form.UL_SSTab.select(0);
    settle();
    if (auto* menu = window.menuBar()->actions().value(0) != nullptr ? window.menuBar()->actions()[0]->menu()
                                                                     : nullptr) {
        menu->popup(window.mapToGlobal(QPoint(10, 20)));
        shoot_window("16_help_menu", menu);
        menu->close();
    }
    if (auto* ratio = window.findChild<QComboBox*>("UL_Filter_Over_Combo")) {
        ratio->showPopup();
        settle();
        shoot_window("17_ratio_list", ratio->view()->window());
        ratio->hidePopup();
        // The tooltip that says why a ratio makes no AWG file.
        form.uplink.UL_Filter_Over_Combo.select_text("4");
        settle();
        // Taken at once: the tip goes as soon as events run.
        QToolTip::showText(ratio->mapToGlobal(QPoint(4, 4)), ratio->toolTip(), ratio);
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->inherits("QTipLabel") && top->isVisible()) {
                top->grab().save(out + "/18_ratio_tooltip.png");
                geometry << "18_ratio_tooltip " << top->width() << "x" << top->height() << "\n";
            }
        }
        QToolTip::hideText();
    }
    const QString save_folder = QDir::tempPath() + "/varnika-window-screenshots-save";
    QDir().mkpath(save_folder);
    shoot_modal("19_save_dialog", [&] {
        varnika::SaveFileRequest request;
        request.title = "Save AWG File";
        request.filter = "AWG(*.awv)|*.awv|all files(*.*)|*.*";
        request.initial_folder = save_folder.toStdString();
        request.file_name = "waveform.awv";
        desktop.ask_save_file(request);
    });
    return 0;
}
