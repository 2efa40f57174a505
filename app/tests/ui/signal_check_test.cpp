// The Signal Check window through the assembled main window: the button waits for a made file, a check
// runs on a worker thread against the settings of the run that made the file (whatever the window shows
// by then) and opens the window with its three plots and the numbers, which copy to the clipboard; the
// plots save as PNG files; a file that has gone is said in a message; runs that are cancelled, fail or
// stream their waveform into a FIFO leave the last made file checkable. Runs headless.
#include "check/signal_check.h"
#include "run/generation_run.h"
#include "ui/main_window.h"
#include "ui/qt_platform.h"
#include "ui/signal_check_window.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStackedBarSeries>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <fstream>
#include <memory>
#include <thread>

#include <sys/stat.h>

using namespace varnika;

namespace {

// The save dialog answers with the test's file.
class AnsweringDesktop : public GenerationDesktop {
public:
    std::string file;
    SaveFileAnswer ask_save_file(const SaveFileRequest&) override { return {file, 1}; }
    void show_busy_pointer(bool) override {}
    void let_pending_messages_through() override {}
};

// The real platform, with messages recorded rather than shown.
class RecordingPlatform : public ui::QtPlatform {
public:
    std::vector<std::string> messages;
    form::MessageAnswer show_message(const std::string& text, const std::string&, form::MessageIcon,
                                     form::MessageButtons) override {
        messages.push_back(text);
        return form::MessageAnswer::Ok;
    }
};

} // namespace

class SignalCheckTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir folder_;
    std::unique_ptr<RecordingPlatform> platform_;
    std::unique_ptr<MainForm> form_;
    std::unique_ptr<AnsweringDesktop> desktop_;
    std::unique_ptr<ProgramLibraries> libraries_;
    std::unique_ptr<TesterShare> share_;
    std::unique_ptr<GenerationRun> run_;
    std::unique_ptr<ui::MainWindow> window_;
    std::unique_ptr<ui::SignalCheckLauncher> launcher_;

    template <class T> T* find(QObject* parent, const QString& name) {
        T* widget = parent->findChild<T*>(name);
        if (widget == nullptr) {
            qFatal("no widget %s", qPrintable(name));
        }
        return widget;
    }

    // Types a new power into the table row of the F-PDCH as a user would, on the channel page.
    void type_pdch_power(const char* text) {
        form_->DL_SSTab.select(1);
        const DownlinkChannelPage& page = form_->downlink_channels;
        int row = -1;
        page.for_each_instance_row([&](int r) { row = page.row(r).type() == F_PDCH ? r : row; });
        auto* edit = find<QLineEdit>(window_.get(), QString("DL_CH_POWER_Text_%1").arg(row));
        edit->setFocus(Qt::TabFocusReason);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(page.row(row).DL_CH_POWER_Text.number(), std::stod(text));
    }

    // Presses "Signal Check" and waits for the window; its numbers.
    QString checked_numbers(QPushButton* check) {
        if (launcher_->window() != nullptr) {
            launcher_->window()->hide();
        }
        QTest::mouseClick(check, Qt::LeftButton);
        if (!QTest::qWaitFor(
                [this] { return launcher_->window() != nullptr && launcher_->window()->isVisible(); },
                60000)) {
            return {};
        }
        return find<QPlainTextEdit>(launcher_->window(), "SignalCheck_Numbers")->toPlainText();
    }

private slots:
    void init() {
        platform_ = std::make_unique<RecordingPlatform>();
        form_ = std::make_unique<MainForm>(*platform_);
        form_->settings_folder = folder_.path().toStdString();
        start_up(*form_);
        desktop_ = std::make_unique<AnsweringDesktop>();
        libraries_ = std::make_unique<ProgramLibraries>(program_folder());
        share_ = std::make_unique<TesterShare>();
        run_ = std::make_unique<GenerationRun>(*form_, *desktop_, *libraries_, *share_,
                                               folder_.path().toStdString());
        window_ = std::make_unique<ui::MainWindow>(*form_, *platform_);
        launcher_ = std::make_unique<ui::SignalCheckLauncher>(window_.get(), *form_, *libraries_, *run_);
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    void cleanup() {
        launcher_.reset();
        window_.reset();
        run_.reset();
        form_.reset();
    }

    void checksTheMadeFileOnAWorkerAndShowsItsPlotsAndNumbers() {
        form_->Link_Selection_Option.select(downlink_item);
        form_->downlink_channels.DL_CH_TestModel_Combo.select(8); // "Test Model2  PDCH 16QAM"
        form_->downlink_channels.DL_CH_TestModel_Command.press();
        auto* check = find<QPushButton>(window_.get(), "SignalCheck_Button");
        QCOMPARE(check->text(), QString("Signal Check"));
        QVERIFY(!check->isEnabled());

        // A cancelled save dialog makes nothing.
        desktop_->file.clear();
        QTest::mouseClick(find<QPushButton>(window_.get(), "MakeAWGFile_Button"), Qt::LeftButton);
        QVERIFY(!check->isEnabled());
        form_->downlink_general.DL_Filter_Over_Combo.select_text("16");
        desktop_->file = (folder_.path() + "/tm9.awv").toStdString();
        QTest::mouseClick(find<QPushButton>(window_.get(), "MakeAWGFile_Button"), Qt::LeftButton);
        QVERIFY(check->isEnabled());

        // A power and the ratio changed after the run: the file is still checked against the settings that
        // made it, channels named as the table showed them then.
        type_pdch_power("-9");
        form_->downlink_general.DL_Filter_Over_Combo.select_text("12");
        QTest::mouseClick(check, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(launcher_->window() != nullptr && launcher_->window()->isVisible(), 60000);
        ui::SignalCheckWindow* shown = launcher_->window();
        QVERIFY(shown->windowTitle().endsWith("tm9.awv"));

        const QChart* ccdf = find<QChartView>(shown, "SignalCheck_CCDF")->chart();
        QCOMPARE(ccdf->series().size(), 2); // the waveform and the complex Gaussian noise reference
        QCOMPARE(ccdf->series().at(1)->name(), QString("Complex Gaussian noise"));
        for (QAbstractSeries* series : ccdf->series()) {
            QVERIFY(static_cast<QLineSeries*>(series)->count() > 50);
        }
        const QChart* spectrum = find<QChartView>(shown, "SignalCheck_Spectrum")->chart();
        QVERIFY(static_cast<QLineSeries*>(spectrum->series().at(0))->count() > 100);
        // The six emission offsets marked, around the carrier.
        const auto* marks = static_cast<QXYSeries*>(spectrum->series().at(1));
        QCOMPARE(marks->count(), 6);
        QVERIFY(std::abs(marks->at(1).x() + 0.885) < 1e-6);
        QVERIFY(marks->at(1).y() < -50.0);
        // Every code at Walsh 128 on its index: the active channels' codes coloured, the others grey.
        const QChart* codes = find<QChartView>(shown, "SignalCheck_CodeDomain")->chart();
        QCOMPARE(codes->series().size(), 1);
        const QList<QBarSet*> sets = static_cast<QStackedBarSeries*>(codes->series().at(0))->barSets();
        QCOMPARE(sets.size(), 2);
        QCOMPARE(sets.at(0)->count(), 128);
        int active = 0;
        for (int k = 0; k < 128; ++k) {
            active += sets.at(0)->at(k) > 0.0 ? 1 : 0;
            QVERIFY(sets.at(0)->at(k) == 0.0 || sets.at(1)->at(k) == 0.0);
        }
        // F-PICH 64/0, PCH 64/1, F-PDCCH 64/33, F-FCH 64/6: two codes each at 128; SYNCH 256/32 one;
        // F-PDCH 32/2 four.
        QCOMPARE(active, 2 + 1 + 2 + 2 + 2 + 4);

        const QString numbers = find<QPlainTextEdit>(shown, "SignalCheck_Numbers")->toPlainText();
        QVERIFY(numbers.contains("Verdict: the file is the waveform the settings make"));
        QVERIFY(numbers.contains("rho: 1.000000"));
        // Named by the number the channel table shows for the row.
        QVERIFY(numbers.contains(QRegularExpression(R"(F-PDCH \d+ \(32/2\): set -2\.60, measured -2\.60)")));
        QVERIFY(numbers.contains("Largest inactive code: -"));
        QVERIFY(numbers.contains("Frame start: 0.000 chips"));
        QVERIFY2(numbers.contains("Samples: 524288 at 19.6608 MHz"),
                 qPrintable(numbers)); // ratio 16, as made
        QTest::mouseClick(find<QPushButton>(shown, "SignalCheck_Copy"), Qt::LeftButton);
        QCOMPARE(QApplication::clipboard()->text(), numbers);

        QString error;
        const QStringList saved = shown->save_plots(folder_.path() + "/tm9", error);
        QCOMPARE(saved.size(), 3);
        for (const QString& file : saved) {
            QVERIFY2(!QImage(file, "PNG").isNull(), qPrintable(file));
        }
        QVERIFY(shown->save_plots(folder_.path() + "/no/such/folder/tm9", error).isEmpty());
        QVERIFY(error.contains("was not written"));

        // The file removed behind the program's back: the check says so and the window stays as it was.
        QFile::remove(folder_.path() + "/tm9.awv");
        QTest::mouseClick(check, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!platform_->messages.empty(), 60000);
        QVERIFY(QString::fromStdString(platform_->messages.back()).contains("cannot be opened"));
        QCOMPARE(find<QPlainTextEdit>(shown, "SignalCheck_Numbers")->toPlainText(), numbers);
    }

    void runsThatMakeNoReadableFileLeaveTheLastMadeFileCheckable() {
        form_->Link_Selection_Option.select(downlink_item);
        form_->downlink_channels.DL_CH_TestModel_Combo.select(8);
        form_->downlink_channels.DL_CH_TestModel_Command.press();
        form_->downlink_general.DL_Filter_Over_Combo.select_text("12");
        auto* check = find<QPushButton>(window_.get(), "SignalCheck_Button");
        auto* make = find<QPushButton>(window_.get(), "MakeAWGFile_Button");
        desktop_->file = (folder_.path() + "/good.awv").toStdString();
        QTest::mouseClick(make, Qt::LeftButton);
        QVERIFY(check->isEnabled());

        // With a power changed, a cancelled run, a run refused for a folder that does not exist and a run
        // streamed into a FIFO (read by another thread) make no file to check: the good one stays.
        type_pdch_power("-9");
        desktop_->file.clear();
        QTest::mouseClick(make, Qt::LeftButton);
        desktop_->file = (folder_.path() + "/no/such/folder/bad.awv").toStdString();
        QTest::mouseClick(make, Qt::LeftButton);
        QCOMPARE(run_->last_result().outcome, RunOutcome::NotWritten);
        const std::string fifo = (folder_.path() + "/stream.awv").toStdString();
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        std::size_t streamed = 0;
        std::thread reader([&] {
            std::ifstream in(fifo, std::ios::binary);
            char block[65536];
            while (in.read(block, sizeof block) || in.gcount() > 0) {
                streamed += static_cast<std::size_t>(in.gcount());
            }
        });
        desktop_->file = fifo;
        QTest::mouseClick(make, Qt::LeftButton);
        reader.join();
        QCOMPARE(run_->last_result().outcome, RunOutcome::Done);
        QVERIFY(!run_->last_result().made);
        QVERIFY(streamed > 393216 * 2); // one frame at ratio 12
        QVERIFY(check->isEnabled());

        const QString numbers = checked_numbers(check);
        QVERIFY2(numbers.startsWith("File: " + folder_.path() + "/good.awv"), qPrintable(numbers));
        QVERIFY(numbers.contains("Verdict: the file is the waveform the settings make"));
        QVERIFY(numbers.contains(QRegularExpression(R"(F-PDCH \d+ \(32/2\): set -2\.60, measured -2\.60)")));

        // The next run that writes a file is the one checked, against its own settings.
        desktop_->file = (folder_.path() + "/changed.awv").toStdString();
        QTest::mouseClick(make, Qt::LeftButton);
        const QString changed = checked_numbers(check);
        QVERIFY2(changed.startsWith("File: " + folder_.path() + "/changed.awv"), qPrintable(changed));
        QVERIFY(changed.contains("Verdict: the file is the waveform the settings make"));
        QVERIFY(changed.contains(QRegularExpression(R"(F-PDCH \d+ \(32/2\): set -\d+\.\d+, measured)")));
        QVERIFY(!changed.contains(QRegularExpression(R"(F-PDCH \d+ \(32/2\): set -2\.60)")));
    }
};

QTEST_MAIN(SignalCheckTest)
#include "signal_check_test.moc"
