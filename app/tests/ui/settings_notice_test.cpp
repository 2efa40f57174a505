// Damaged settings files at start-up, as the assembled window meets them: one message names every line
// set aside, the window shows the good lines, the defaults for the bad ones and numbers limited to their
// fields. Runs headless (QT_QPA_PLATFORM=offscreen).
#include "ui/main_window.h"
#include "ui/qt_platform.h"
#include "window/main_form.h"
#include "window/settings_files.h"
#include "window/start_up.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>

using namespace varnika;

class SettingsNoticeTest : public QObject {
    Q_OBJECT

private slots:
    void badLinesAreNamedOnceAndTheRestOfTheFileApplies() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        // uplink_def.ini as the program writes it, with a ratio outside its list and a gain of 7000 dB.
        std::vector<std::string> lines;
        {
            ui::QtPlatform platform;
            MainForm written(platform);
            start_up(written);
            written.uplink.rc34.PICH.gain.set_text("-3.50");
            lines = uplink_settings_lines(written);
        }
        QCOMPARE(QString::fromStdString(lines[1]), QString("ovr:4"));
        lines[1] = "ovr:99";
        for (std::string& line : lines) {
            if (line.starts_with("RC7_PICH_Gain:")) {
                line = "RC7_PICH_Gain:7000";
            }
        }
        {
            std::ofstream out(folder.filePath("uplink_def.ini").toStdString(), std::ios::binary);
            for (const std::string& line : lines) {
                out << line << "\r\n";
            }
        }

        ui::QtPlatform platform;
        MainForm form(platform);
        form.settings_folder = folder.path().toStdString();
        QStringList shown;
        std::function<void()> answer = [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown << box->windowTitle() + ": " + box->text();
                box->accept();
            } else {
                QTimer::singleShot(10, this, answer);
            }
        };
        QTimer::singleShot(0, this, answer);
        start_up(form);
        ui::MainWindow window(form, platform);
        platform.set_main_window(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("uplink_def.ini line 2 was ignored: \"ovr:99\""), qPrintable(shown[0]));
        QVERIFY(!shown[0].contains("RC34_PICH_Gain"));
        QVERIFY(shown[0].startsWith("Settings Files: "));
        auto* ratio = window.findChild<QComboBox*>("UL_Filter_Over_Combo");
        QVERIFY(ratio != nullptr);
        QCOMPARE(ratio->currentText(), QString("20"));
        auto field = [&](const form::TextField& model) {
            auto* edit = window.findChild<QLineEdit*>(QString::fromStdString(model.object_name()));
            return edit != nullptr ? edit->text() : QString("(missing)");
        };
        QCOMPARE(field(form.uplink.rc34.PICH.gain), QString("-3.50"));
        QCOMPARE(field(form.uplink.rc7.PICH.gain), QString("100.00"));
    }

    void aFolderInPlaceOfASettingsFileIsNamedAndLeftAlone() {
        QTemporaryDir folder;
        QVERIFY(folder.isValid());
        QVERIFY(QDir(folder.path()).mkdir("system_def.ini"));
        ui::QtPlatform platform;
        MainForm form(platform);
        form.settings_folder = folder.path().toStdString();
        QStringList shown;
        std::function<void()> answer = [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown << box->text();
                box->accept();
            } else {
                QTimer::singleShot(10, this, answer);
            }
        };
        QTimer::singleShot(0, this, answer);
        start_up(form);
        ui::MainWindow window(form, platform);
        platform.set_main_window(&window);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains("system_def.ini was ignored as a whole: it is a folder"),
                 qPrintable(shown[0]));
        std::string cause;
        QVERIFY(!write_settings_file(form, SettingsFile::System, &cause));
        QVERIFY2(cause.find("it is a folder") != std::string::npos, cause.c_str());
        QVERIFY(QFileInfo(folder.filePath("system_def.ini")).isDir());
        QVERIFY(!QFileInfo::exists(folder.filePath("system_def.ini.bak")));
    }
};

QTEST_MAIN(SettingsNoticeTest)
#include "settings_notice_test.moc"
