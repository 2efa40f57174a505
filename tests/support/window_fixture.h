// The assembled main window under QTest, started as main() starts it: the Qt platform, the window model
// started up from a settings folder (none: every settings file missing), the view shown and active.
#pragma once

#include "ui/main_window.h"
#include "ui/qt_platform.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <QString>
#include <QTest>
#include <QWidget>

#include <filesystem>
#include <memory>

namespace varnika::testing {

struct StartedWindow {
    // Starts the program again from `settings_folder`; false when the window did not become active.
    bool start(const std::filesystem::path& settings_folder = {}) {
        stop();
        platform = std::make_unique<ui::QtPlatform>();
        form = std::make_unique<MainForm>(*platform);
        form->settings_folder = settings_folder;
        start_up(*form);
        window = std::make_unique<ui::MainWindow>(*form, *platform);
        platform->set_main_window(window.get());
        window->show();
        window->activateWindow();
        return QTest::qWaitForWindowActive(window.get());
    }
    void stop() {
        window.reset();
        form.reset();
        platform.reset();
    }

    // The widget named `name` within `within` (the main window when none); a test without it stops.
    template <class T> T* find(const QString& name, QWidget* within = nullptr) const {
        T* widget = (within != nullptr ? within : window.get())->findChild<T*>(name);
        if (widget == nullptr) {
            qFatal("no widget %s", qPrintable(name));
        }
        return widget;
    }

    std::unique_ptr<ui::QtPlatform> platform;
    std::unique_ptr<MainForm> form;
    std::unique_ptr<ui::MainWindow> window;
};

} // namespace varnika::testing
