// Generation runs from the assembled window: the PAPR dialog names the file, link and ratio its figures
// describe and the rows the run left out, and a later run that fails takes the old figures away; the
// frequency offset's note says when the carrier's phase steps where the frame repeats. The libraries are
// the real ones beside the test program. Runs headless (QT_QPA_PLATFORM=offscreen).
#include "run/generation_run.h"
#include "run/library_binding.h"
#include "run/tester_share.h"
#include "ui/binding.h"
#include "ui/main_window.h"
#include "ui/papr_dialog.h"
#include "ui/qt_platform.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace varnika;

namespace {

// The save dialog answers with the file the test chose.
class AnsweringDesktop : public GenerationDesktop {
public:
    std::string file;
    SaveFileAnswer ask_save_file(const SaveFileRequest&) override { return {file, 1}; }
    void show_busy_pointer(bool) override {}
    void let_pending_messages_through() override { QCoreApplication::processEvents(); }
};

} // namespace

class RunViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<ui::QtPlatform> platform_;
    std::unique_ptr<MainForm> form_;
    std::unique_ptr<ProgramLibraries> libraries_;
    std::unique_ptr<TesterShare> share_;
    AnsweringDesktop desktop_;
    std::unique_ptr<GenerationRun> run_;
    std::unique_ptr<ui::MainWindow> window_;

    template <class T> T* find(QWidget* within, const QString& name) {
        T* widget = within->findChild<T*>(name);
        if (widget == nullptr) {
            qFatal("no widget %s", qPrintable(name));
        }
        return widget;
    }
    QDialog* papr_dialog() { return window_->findChild<QDialog*>("Form3"); }
    // A label's text as read, with the no-break spaces and hyphens of a notice as plain ones.
    QString papr_label(const char* name) {
        return find<QLabel>(papr_dialog(), name)
            ->text()
            .replace(QChar(0x2011), '-')
            .replace(QChar(0x00A0), ' ');
    }

    // Presses "Make AWG File" with the save dialog answering `file`; the texts of the messages the run
    // showed, each answered with OK. The run lets events through before a message, so the boxes are
    // watched for rather than expected at a fixed turn of the event loop.
    QStringList make_awg(const QString& file) {
        desktop_.file = file.toStdString();
        QStringList messages;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, this, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                messages.push_back(box->text());
                box->button(QMessageBox::Ok)->click();
            }
        });
        poll.start(10);
        QTest::mouseClick(find<QPushButton>(window_.get(), "MakeAWGFile_Button"), Qt::LeftButton);
        return messages;
    }

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        platform_ = std::make_unique<ui::QtPlatform>();
        form_ = std::make_unique<MainForm>(*platform_);
        libraries_ = std::make_unique<ProgramLibraries>(program_folder());
        share_ = std::make_unique<TesterShare>();
        run_ = std::make_unique<GenerationRun>(*form_, desktop_, *libraries_, *share_,
                                               folder_->path().toStdString());
        start_up(*form_);
        window_ = std::make_unique<ui::MainWindow>(*form_, *platform_);
        platform_->set_main_window(window_.get());
        ui::attach_papr_dialog(run_->papr, window_.get());
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    }

    void cleanup() {
        window_.reset();
        run_.reset();
        form_.reset();
        share_.reset();
        libraries_.reset();
        platform_.reset();
        folder_.reset();
    }

    void paprDialogNamesItsFileAndLeftOutRowsAndAFailedRunTakesItsFiguresAway() {
        // Forward link, SCH's second and third rows both on W4(2).
        form_->Link_Selection_Option.select(downlink_item);
        form_->downlink_general.DL_Filter_Over_Combo.select_text("12");
        DownlinkChannelPage& page = form_->downlink_channels;
        page.DL_CH_Multi_Text(F_SCH).set_text("3");
        page.DL_CH_Multi_Text(F_SCH).commit();
        page.DL_CH_Stat_Command(F_SCH).press();
        for (int k = 0; k < 3; ++k) {
            page.instance(F_SCH, k).DL_CH_WNO_Text->set_text(k == 0 ? "1" : "2");
            page.instance(F_SCH, k).DL_CH_WNO_Text->commit();
        }
        QVERIFY(page.instance(F_SCH, 2).marked());
        QVERIFY(!page.instance(F_SCH, 0).marked());

        const QString file = folder_->filePath("forward.awv");
        const QStringList first = make_awg(file);
        QVERIFY2(first.isEmpty(), qPrintable(first.join("; ")));
        QVERIFY(papr_dialog() != nullptr && papr_dialog()->isVisible());
        QCOMPARE(papr_label("PAPR_File_Label"), "File: " + file);
        QCOMPARE(papr_label("PAPR_Link_Label"), QString("Link: Downlink(Forward), oversampling ratio 12"));
        QCOMPARE(papr_label("PAPR_Crest_Label"), QString("Crest factors:"));
        QCOMPARE(papr_label("PAPR_Left_Out_Label"), QString("Left out (Walsh-code clash): F-SCH 2, F-SCH 3"));
        QVERIFY(find<QLabel>(papr_dialog(), "PAPR_Left_Out_Label")->isVisible());
        QVERIFY(!find<QLineEdit>(papr_dialog(), "PAPR_0")->text().isEmpty());

        // A run into a folder that does not exist writes nothing: its message, and no old figures.
        QCOMPARE(make_awg(folder_->filePath("missing/next.awv")).size(), 1);
        QVERIFY(!papr_dialog()->isVisible());
        for (int k = 0; k < 3; ++k) {
            QCOMPARE(find<QLineEdit>(papr_dialog(), QString("PAPR_%1").arg(k))->text(), QString());
        }
        QCOMPARE(papr_label("PAPR_File_Label"), QString());
    }

    void paprDialogWithHundredsOfRowsLeftOutStaysOnTheScreen() {
        // Every type at full multiplicity on its initial Walsh number: all but F-PICH and SYNCH clash.
        form_->Link_Selection_Option.select(downlink_item);
        form_->downlink_general.DL_Filter_Over_Combo.select_text("12");
        DownlinkChannelPage& page = form_->downlink_channels;
        for (int type = 1; type < dl_type_count; ++type) {
            if (!dl_type_info(type).single()) {
                page.DL_CH_Multi_Text(type).set_text(std::to_string(dl_type_info(type).capacity));
                page.DL_CH_Multi_Text(type).commit();
            }
            page.DL_CH_Stat_Command(type).press();
        }
        QCOMPARE(page.DL_CH_Total_Multi_Text.text(), std::string("2"));
        const QStringList messages = make_awg(folder_->filePath("crowded.awv"));
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join("; ")));
        QDialog* dialog = papr_dialog();
        QVERIFY(dialog != nullptr && dialog->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(dialog));

        // The dialog and its OK button lie within the screen; the list scrolls instead.
        const QRect room = dialog->screen()->availableGeometry();
        QVERIFY2(room.contains(dialog->frameGeometry()),
                 qPrintable(QString("dialog %1x%2 at %3,%4 on a screen of %5x%6")
                                .arg(dialog->frameGeometry().width())
                                .arg(dialog->frameGeometry().height())
                                .arg(dialog->x())
                                .arg(dialog->y())
                                .arg(room.width())
                                .arg(room.height())));
        auto* ok = find<QPushButton>(dialog, "PAPR_Command");
        QVERIFY(ok->isVisible());
        QVERIFY(room.contains(QRect(ok->mapToGlobal(QPoint(0, 0)), ok->size())));
        auto* list = find<QScrollArea>(dialog, "PAPR_Left_Out_List");
        QVERIFY(list->verticalScrollBar()->maximum() > 0);
        // 805 rows, named by their table numbers; a name never breaks at its hyphen or before its number.
        QString names = find<QLabel>(dialog, "PAPR_Left_Out_Label")->text();
        QVERIFY(names.contains(QString("F\u2011ACKCH\u00A0") +
                               ui::qt_text(page.row(404).DL_CH_INDEX_Text.text())));
        names.replace(QChar(0x2011), '-').replace(QChar(0x00A0), ' ');
        QCOMPARE(names.count(", ") + 1, 805);
        QVERIFY(names.startsWith("Left out (Walsh-code clash): PCH 2, PCH 3, "));
        QVERIFY(names.endsWith(", F-PDCH 805, F-PDCH 806"));
        // It opens on OK, not on a selected figure; Enter closes it.
        auto* papr = find<QLineEdit>(dialog, "PAPR_0");
        QVERIFY(!papr->hasSelectedText());
        QVERIFY(ok->hasFocus());
        QTest::keyClick(ok, Qt::Key_Return);
        QVERIFY(!dialog->isVisible());
    }

    void frequencyOffsetNotesAPhaseStepWhereTheFrameRepeats() {
        QLabel* note = find<QLabel>(window_.get(), "UL_Freq_Ofs_Note");
        form_->uplink.offset.option.select(1);
        QLineEdit* error = find<QLineEdit>(window_.get(), "UL_Freqerr_Text");
        const std::pair<const char*, const char*> cases[] = {
            {"25", "not a multiple of 37.5 Hz: phase steps by 240 degrees where the frame repeats"},
            {"75", ""},
            {"-12.5", "not a multiple of 37.5 Hz: phase steps by 240 degrees where the frame repeats"},
            {"1k", "not a multiple of 37.5 Hz: phase steps by 240 degrees where the frame repeats"},
            {"10", "not a multiple of 37.5 Hz: phase steps by 96 degrees where the frame repeats"},
            {"0.01", "not a multiple of 37.5 Hz: phase steps by 0.1 degrees where the frame repeats"},
        };
        for (const auto& [typed, shown] : cases) {
            error->setFocus(Qt::TabFocusReason);
            error->selectAll();
            QTest::keyClicks(error, typed);
            QTest::keyClick(error, Qt::Key_Return);
            QCOMPARE(note->text(), QString(shown));
        }
        // The note belongs to the value in use.
        form_->uplink.offset.option.select(0);
        QCOMPARE(note->text(), QString());
        form_->uplink.offset.option.select(1);
        QVERIFY(!note->text().isEmpty());
    }

    // The tester given as 127.0.0.1 on the network page: the address is found as "localhost", a name
    // without a domain part, so the tester's folder is unknown. The run saves the file the user chose and
    // says why, never that the address cannot be resolved.
    void aTesterWhoseNameHasNoDomainPartLeavesTheFileWhereTheUserChose() {
        form_->UL_SSTab.select(1);
        for (int n = 1; n <= 4; ++n) {
            auto* edit = find<QLineEdit>(window_.get(), QString("IP_ADDRESS%1_0").arg(n));
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, n == 1 ? "127" : n == 4 ? "1" : "0");
            QTest::keyClick(edit, Qt::Key_Tab);
        }
        QTest::mouseClick(find<QRadioButton>(window_.get(), "SaveMode_ul_Option_1"), Qt::LeftButton);
        const QString file = folder_->filePath("sig.awv");
        const QStringList messages = make_awg(file);

        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0],
                 "The tester's waveform folder is unknown: the name \"localhost\" found for 127.0.0.1 "
                 "has no domain part. The file was saved as " +
                     file + ".");
        QVERIFY(QFile::exists(file));
        QVERIFY(papr_dialog()->isVisible());
        QCOMPARE(
            find<QLabel>(window_.get(), "Lookup_Note_0")->text(),
            QString("The name \"localhost\" found for 127.0.0.1 has no domain part, so the tester's waveform "
                    "folder is unknown."));
        QCOMPARE(find<QLabel>(window_.get(), "host_name_info_1")->text(), QString("localhost"));
    }
};

QTEST_MAIN(RunViewTest)
#include "run_view_test.moc"
