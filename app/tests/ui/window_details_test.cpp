// The assembled window's details an engineer relies on: the pilot stays in the waveform when a row takes
// its code, a power "Adjust Total Power" writes reads back the same after "Save and Quit" and a new start,
// the channel list ends on a full page, a row that gets its widgets only when the keyboard brings it into
// view keeps its edit through a new start, "Adjust Total Power" is off where it does nothing, ratios that
// "Make AWG File" refuses say why, About names the versions, and the framed groups look exactly as their
// style sheet draws them. Runs headless (QT_QPA_PLATFORM=offscreen).
#include "run/installation.h"
#include "run/library_binding.h"
#include "ui/downlink_row_list.h"
#include "ui/group_frame_style.h"
#include "window_fixture.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace varnika;

class WindowDetailsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    testing::StartedWindow app_;

    void start() { QVERIFY(app_.start(folder_->path().toStdString())); }
    template <class T> T* find(const QString& name) { return app_.find<T>(name); }
    void settle() { QCoreApplication::processEvents(); }

    // Types `text` into the field named `name` and presses Enter, as the user does.
    void type_into(const QString& name, const char* text) {
        auto* edit = find<QLineEdit>(name);
        edit->setFocus(Qt::TabFocusReason);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void click(const QString& name) { QTest::mouseClick(find<QAbstractButton>(name), Qt::LeftButton); }
    void show_channel_page() {
        click("Link_Selection_Option_1");
        app_.form->DL_SSTab.select(1);
        settle();
    }

    // "Save and Quit" from the exit dialog, then the program starts again from the files it wrote.
    void save_quit_and_start_again() {
        QTimer::singleShot(0, this, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QTest::mouseClick(
                dialog->findChild<QPushButton*>(QString("ExitPara_Button_%1").arg(ExitDialog::save_and_quit)),
                Qt::LeftButton);
        });
        QVERIFY(app_.window->close());
        start();
        show_channel_page();
    }

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        start();
        show_channel_page();
    }

    void cleanup() {
        app_.stop();
        folder_.reset();
    }

    void aRowOnThePilotsCodeIsLeftOutAndThePilotStays() {
        const auto expect_pilot_kept = [this] {
            settle();
            const DownlinkChannelPage& page = app_.form->downlink_channels;
            QCOMPARE(page.row(2).DL_CH_WNO_Text->text(), std::string("0"));
            QVERIFY(page.row(2).marked());
            QVERIFY(!page.row(0).marked());
            QVERIFY(!find<QLabel>("DL_CH_WARN_Label_0")->isVisible());
            QVERIFY(find<QLabel>("DL_CH_WARN_Label_2")->isVisible());
            QCOMPARE(find<QLabel>("DL_CH_Total_Multi_Text")->text(), QString("1"));
        };
        click("DL_CH_Stat_Command_2"); // PCH, row 2 at No 1
        settle();
        type_into("DL_CH_WNO_Text_2", ""); // an emptied number is 0, the pilot's
        expect_pilot_kept();
        type_into("DL_CH_WNO_Text_2", "3");
        QVERIFY(!find<QLabel>("DL_CH_WARN_Label_2")->isVisible());

        // The same from the settings file: the PCH row's number set to 0 in the file the window saved.
        save_quit_and_start_again();
        const QString ini = folder_->filePath("downlink_def.ini");
        QFile file(ini);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QByteArray text = file.readAll();
        file.close();
        QVERIFY(text.contains("\r\nPCH_WNo_2:3\r\n"));
        text.replace("\r\nPCH_WNo_2:3\r\n", "\r\nPCH_WNo_2:0\r\n");
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        start();
        show_channel_page();
        expect_pilot_kept();
        QCOMPARE(channel_label(app_.form->downlink_channels, 2), std::string("PCH 1"));
    }

    void aPowerAdjustTotalPowerWritesReadsBackTheSameAfterANewStart() {
        click("DL_CH_Stat_Command_2");
        settle();
        type_into("DL_CH_POWER_Text_0", "-100");
        type_into("DL_CH_POWER_Text_2", "100");
        // The shift is -100 dB: the pilot would go to -200 dB, beyond what its field holds.
        click("Adjust_Total_Power_Button_1");
        settle();
        QCOMPARE(find<QLineEdit>("DL_CH_POWER_Text_0")->text(), QString("-100.00"));
        QCOMPARE(find<QLineEdit>("DL_CH_POWER_Text_2")->text(), QString("0.00"));
        save_quit_and_start_again();
        QCOMPARE(find<QLineEdit>("DL_CH_POWER_Text_0")->text(), QString("-100.00"));
        QCOMPARE(find<QLineEdit>("DL_CH_POWER_Text_2")->text(), QString("0.00"));
    }

    void theChannelListEndsOnAFullPage() {
        type_into("DL_CH_Multi_Text_7", "128"); // F-GCH
        click("DL_CH_Stat_Command_7");
        settle();
        auto* list = find<QAbstractScrollArea>("DL_Channel_Parameters_List");
        QScrollBar* bar = list->verticalScrollBar();
        bar->setValue(bar->maximum());
        settle();
        // The last row (F-GCH's 128th, row 403) stands whole at the bottom of the list, every pixel
        // above it is taken by rows, and the scroll value is the model's.
        const int view_height = list->viewport()->height();
        auto* last = find<QLineEdit>("DL_CH_POWER_Text_403");
        QVERIFY(last->isVisible());
        const int last_bottom = last->parentWidget()->geometry().bottom() + 1;
        QVERIFY2(last_bottom <= view_height && last_bottom > view_height - 2,
                 qPrintable(QString("last row ends at %1 of %2").arg(last_bottom).arg(view_height)));
        const int rows_shown = view_height / ui::downlink_row_pitch_px;
        auto* first = find<QLineEdit>(QString("DL_CH_POWER_Text_%1").arg(403 - rows_shown + 1));
        QVERIFY(first->isVisible());
        QVERIFY(first->parentWidget()->y() >= -ui::downlink_row_pitch_px / 2);
        QCOMPARE(app_.form->downlink_channels.DL_Channel_Parameters_VScroll.value(), bar->maximum());
    }

    void aRowFirstShownByTheKeyboardKeepsItsEditThroughANewStart() {
        type_into("DL_CH_Multi_Text_7", "128"); // F-GCH: its 128th row is row 403, the list's last
        click("DL_CH_Stat_Command_7");
        settle();
        // Only the rows in view have widgets: the last row has none yet.
        QVERIFY(app_.window->findChild<QLineEdit*>("DL_CH_POWER_Text_403") == nullptr);
        find<QLineEdit>("DL_CH_POWER_Text_0")->setFocus(Qt::TabFocusReason);
        for (int k = 0; k < 100 && QApplication::focusWidget()->objectName() != "DL_CH_POWER_Text_403"; ++k) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        }
        auto* last = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(last != nullptr && last->isVisible());
        QCOMPARE(last->objectName(), QString("DL_CH_POWER_Text_403"));
        QTest::keyClicks(last, "-12.5"); // the page key selected the cell's text
        QTest::keyClick(last, Qt::Key_Return);
        QCOMPARE(app_.form->downlink_channels.row(403).DL_CH_POWER_Text.text(), std::string("-12.50"));

        save_quit_and_start_again();
        QCOMPARE(app_.form->downlink_channels.row(403).DL_CH_POWER_Text.text(), std::string("-12.50"));
        QScrollBar* bar = find<QAbstractScrollArea>("DL_Channel_Parameters_List")->verticalScrollBar();
        bar->setValue(bar->maximum());
        settle();
        QCOMPARE(find<QLineEdit>("DL_CH_POWER_Text_403")->text(), QString("-12.50"));
        QVERIFY(find<QLineEdit>("DL_CH_POWER_Text_403")->isVisible());
    }

    void adjustTotalPowerIsOffWhereItDoesNothing() {
        click("Link_Selection_Option_0");
        auto* adjust = find<QPushButton>("Adjust_Total_Power_Button_0");
        QVERIFY(!adjust->isEnabled()); // RC 1,2 at the first start
        click("UL_CH_Selection_Option_2");
        QVERIFY(adjust->isEnabled());
        click("UL_CH_Selection_Option_0");
        QVERIFY(!adjust->isEnabled());
        QVERIFY(find<QPushButton>("Adjust_Total_Power_Button_1")->isEnabled());
    }

    void aRatioMakeAwgFileRefusesSaysWhy() {
        auto* awg = find<QPushButton>("MakeAWGFile_Button");
        auto* uplink_ratio = find<QComboBox>("UL_Filter_Over_Combo");
        auto* downlink_ratio = find<QComboBox>("DL_Filter_Over_Combo");
        const QString why4 =
            "Ratio 4 gives 4.9152 MHz: \"Make AWG File\" needs a sampling rate from 12.5 MHz to "
            "200 MHz, ratio 12 or more. \"Make Floating File\" takes every ratio.";
        app_.form->downlink_general.DL_Filter_Over_Combo.select_text("4");
        QCOMPARE(downlink_ratio->toolTip(), why4);
        QCOMPARE(awg->toolTip(), why4);
        app_.form->downlink_general.DL_Filter_Over_Combo.select_text("8");
        QVERIFY(awg->toolTip().startsWith("Ratio 8 gives 9.8304 MHz: "));
        app_.form->downlink_general.DL_Filter_Over_Combo.select_text("80");
        QCOMPARE(downlink_ratio->toolTip(), QString());
        QCOMPARE(awg->toolTip(), QString());
        // The button speaks for the link chosen.
        app_.form->uplink.UL_Filter_Over_Combo.select_text("4");
        QCOMPARE(uplink_ratio->toolTip(), why4);
        QCOMPARE(awg->toolTip(), QString());
        click("Link_Selection_Option_0");
        QCOMPARE(awg->toolTip(), why4);
    }

    void aboutNamesTheProgramsVersionAndTheCaptions() {
        QCOMPARE(app_.window->windowTitle(), QString(main_window_caption));
        ProgramLibraries libraries(program_folder());
        app_.window->set_about_text(version_report("Varnika", libraries));
        auto* about = app_.window->findChild<QAction*>("About_Action");
        QVERIFY(about != nullptr);
        about->trigger();
        auto* box = app_.window->findChild<QMessageBox*>("About_Dialog");
        QVERIFY(box != nullptr);
        QVERIFY2(box->text().startsWith(QString(main_window_caption) + "\n\nVarnika " +
                                        QString::fromStdString(program_version()) + "\n"),
                 qPrintable(box->text()));
        box->close();
    }

    void framedGroupsLookAsTheirStyleSheetDrawsThem() {
        // A window's box beside a box under the style sheet the look is written in, each with a caption,
        // a label and a field, enabled and disabled: the same size and the same pixels.
        QWidget window;
        auto* sheet_host = new QWidget(&window);
        sheet_host->setStyleSheet(ui::framed_group_sheet);
        const auto fill = [](QGroupBox* box) {
            box->setTitle("Deterioration Factor");
            auto* grid = new QGridLayout(box);
            grid->addWidget(new QLabel("Frequency Error", box), 0, 0);
            grid->addWidget(new QLineEdit("0.00", box), 0, 1);
            return box;
        };
        QGroupBox* framed = fill(ui::make_framed_group(&window));
        QGroupBox* sheet = fill(new QGroupBox(sheet_host));
        // Every box of the main window, on every page, has that look.
        const QList<QGroupBox*> boxes = app_.window->findChildren<QGroupBox*>();
        QVERIFY(boxes.size() > 20);
        for (QGroupBox* box : boxes) {
            QVERIFY2(box->style() == boxes.front()->style() && box->style() != QApplication::style() &&
                         box->style()->metaObject() == framed->style()->metaObject(),
                     qPrintable(box->objectName()));
        }
        QCOMPARE(framed->sizeHint(), sheet->sizeHint());
        QCOMPARE(framed->minimumSizeHint(), sheet->minimumSizeHint());
        for (const bool enabled : {true, false}) {
            framed->setEnabled(enabled);
            sheet->setEnabled(enabled);
            framed->resize(framed->sizeHint() + QSize(40, 10));
            sheet->resize(framed->size());
            QCOMPARE(framed->contentsRect(), sheet->contentsRect());
            QVERIFY(framed->grab().toImage() == sheet->grab().toImage());
        }
    }
};

QTEST_MAIN(WindowDetailsTest)
#include "window_details_test.moc"
