// Varnika: the cdma2000 1xEV-DV waveform generator's window.
#include "settings/main_form.h"
#include "settings/start_up.h"
#include "ui/main_window.h"
#include "ui/qt_platform.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setStyle(QStyleFactory::create("Fusion"));

    varnika::ui::QtPlatform platform;
    varnika::MainForm form(platform);
    varnika::start_up(form);

    varnika::ui::MainWindow window(form, platform);
    platform.set_main_window(&window);
    window.show();
    return QApplication::exec();
}
