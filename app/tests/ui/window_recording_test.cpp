// The assembled window as a user meets what makes it installable: Help > About names the version, both
// libraries and the settings folder; the floating run's save dialog offers "SigMF", which writes a
// recording instead of a text file. Runs headless (QT_QPA_PLATFORM=offscreen).
#include "run/generation_run.h"
#include "run/installation.h"
#include "run/tester_share.h"
#include "ui/main_window.h"
#include "ui/qt_platform.h"
#include "ui/run_desktop.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <memory>

using namespace varnika;

class WindowRecordingTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<ui::QtPlatform> platform_;
    std::unique_ptr<MainForm> form_;
    std::unique_ptr<ProgramLibraries> libraries_;
    std::unique_ptr<TesterShare> share_;
    std::unique_ptr<ui::QtGenerationDesktop> desktop_;
    std::unique_ptr<GenerationRun> run_;
    std::unique_ptr<ui::MainWindow> window_;

private slots:
    void init() {
        platform_ = std::make_unique<ui::QtPlatform>();
        form_ = std::make_unique<MainForm>(*platform_);
        libraries_ = std::make_unique<ProgramLibraries>(library_folder(program_folder()));
        share_ = std::make_unique<TesterShare>();
        desktop_ = std::make_unique<ui::QtGenerationDesktop>();
        run_ = std::make_unique<GenerationRun>(*form_, *desktop_, *libraries_, *share_,
                                               folder_.path().toStdString());
        start_up(*form_);
        window_ = std::make_unique<ui::MainWindow>(*form_, *platform_);
        window_->set_about_text(version_report("Varnika", *libraries_) +
                                "\nSettings folder: " + folder_.path().toStdString());
        platform_->set_main_window(window_.get());
        desktop_->set_main_window(window_.get());
        window_->show();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    }
    void cleanup() {
        window_.reset();
        run_.reset();
    }

    void aboutNamesTheVersionTheLibrariesAndTheSettingsFolder() {
        auto* about = window_->findChild<QAction*>("About_Action");
        QVERIFY(about != nullptr);
        about->trigger();
        auto* box = window_->findChild<QMessageBox*>("About_Dialog");
        QVERIFY(box != nullptr);
        QTRY_VERIFY(box->isVisible());
        const QString text = box->text();
        const QString version = QString::fromStdString(program_version());
        // The version the caption carries, then the program's and the libraries'.
        QVERIFY2(text.startsWith(QString(main_window_caption) + "\n\nVarnika " + version + "\nkestra " +
                                 version + " ("),
                 qPrintable(text));
        QVERIFY2(text.contains("\nwavesave " + version + " ("), qPrintable(text));
        QVERIFY2(text.endsWith("Settings folder: " + folder_.path()), qPrintable(text));
        box->accept();
    }

    void sigmfChoiceOfTheFloatingSaveDialogWritesARecording() {
        form_->Link_Selection_Option.select(downlink_item);
        QVERIFY(form_->downlink_general.DL_Filter_Over_Combo.select_text("4"));
        const QString base = folder_.filePath("from_window");
        bool offered = false;
        // The user picks "SigMF" among the dialog's types and types the base name.
        QTimer::singleShot(0, this, [&] {
            auto* dialog = window_->findChild<QFileDialog*>("File_Save_Dialog");
            if (dialog == nullptr) {
                return;
            }
            offered = dialog->nameFilters().contains("SigMF (*.sigmf-meta)");
            // Picking the type in the dialog's list, as a user does, also sets the suffix a bare name gets.
            auto* types = dialog->findChild<QComboBox*>("fileTypeCombo");
            const int sigmf = static_cast<int>(dialog->nameFilters().indexOf("SigMF (*.sigmf-meta)"));
            if (types == nullptr || sigmf < 0) {
                return;
            }
            QTest::keyClick(types, Qt::Key_End); // the last entry
            if (types->currentIndex() != sigmf) {
                return;
            }
            dialog->selectFile(base);
            static_cast<QDialog*>(dialog)->accept(); // as the Save button does
        });
        window_->findChild<QPushButton*>("MakeFloatingFile_Button")->click();
        QVERIFY(offered);
        namespace fs = std::filesystem;
        const fs::path data = base.toStdString() + ".sigmf-data";
        std::string listing;
        for (const auto& entry : fs::directory_iterator(folder_.path().toStdString())) {
            listing += entry.path().filename().string() + " ";
        }
        QVERIFY2(fs::exists(data), listing.c_str());
        QCOMPARE(fs::file_size(data), std::uintmax_t{8} * 4 * FRAME_CHIPS);
        std::ifstream meta(base.toStdString() + ".sigmf-meta");
        const std::string text((std::istreambuf_iterator<char>(meta)), std::istreambuf_iterator<char>());
        QVERIFY2(text.find("\"core:datatype\": \"cf32_le\"") != std::string::npos, text.c_str());
        // The window names itself as the recorder, and the recording its time and the channels' band.
        QVERIFY2(text.find("\"core:recorder\": \"Varnika " + program_version() + "\"") != std::string::npos,
                 text.c_str());
        QVERIFY2(text.find("\"core:datetime\": \"20") != std::string::npos, text.c_str());
        QVERIFY2(text.find("\"core:freq_lower_edge\": -614400.0") != std::string::npos, text.c_str());
        QVERIFY(!fs::exists(base.toStdString() + ".sigmf-meta.sigmf-meta"));
        QVERIFY(!fs::exists(folder_.filePath(".from_window.sigmf-lock").toStdString()));
    }
};

QTEST_MAIN(WindowRecordingTest)
#include "window_recording_test.moc"
