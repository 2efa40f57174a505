// The assembled main window as a user meets it: both tab sets carry the "Common System Settings" page, the
// window keeps one size whichever page and link it starts on or switches to, every way of leaving or
// generating applies the field being typed in, and a refused logarithm abandons its operation but never
// the program. Runs headless (QT_QPA_PLATFORM=offscreen).
#include "window/settings_files.h"
#include "window_fixture.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>

using namespace varnika;

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    testing::StartedWindow app_;

    // Starts the program on the settings files of the test's folder, as main() does.
    void start() { QVERIFY(app_.start(folder_->path().toStdString())); }

    template <class T> T* find(const QString& name, QWidget* within = nullptr) {
        return app_.find<T>(name, within);
    }

    QWidget* tab_page(const char* tab_set, int page) { return find<QTabWidget>(tab_set)->widget(page); }

    // Runs `answer` on the next modal window (a message box or a dialog) once it is up, then `act`.
    bool with_modal_answer(const std::function<void(QWidget*)>& answer, const std::function<void()>& act) {
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            QVERIFY(modal != nullptr);
            seen = true;
            answer(modal);
        });
        act();
        return seen;
    }

    std::string file_text(const char* name) const {
        std::ifstream in(folder_->filePath(name).toStdString());
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        start();
    }

    void cleanup() {
        app_.stop();
        folder_.reset();
    }

    void commonSystemSettingsPageIsOnBothTabSetsAndShowsTheSameValues() {
        QWidget* uplink = tab_page("UL_SSTab", 1);
        QWidget* downlink = tab_page("DL_SSTab", 2);
        for (const auto& [page, item] : {std::pair{uplink, 0}, std::pair{downlink, 1}}) {
            const QString n = QString::number(item);
            for (const char* name :
                 {"IP_ADDRESS1_", "IP_ADDRESS2_", "IP_ADDRESS3_", "IP_ADDRESS4_", "Q4410_Host_Name_"}) {
                find<QLineEdit>(name + n, page);
            }
            QCOMPARE(find<QPushButton>("Apply_NetConfig_" + n, page)->text(), QString("Apply"));
            QCOMPARE(find<QPushButton>("NetWorkDef_Button_" + n, page)->text(), QString("Set Default"));
            find<QLabel>("ip_address_info_" + n, page);
            find<QLabel>("host_name_info_" + n, page);
            const QString save = item == 0 ? "SaveMode_ul_Option_" : "SaveMode_dl_Option_";
            QCOMPARE(find<QRadioButton>(save + "0", page)->text(), QString("Save on This Computer"));
            QCOMPARE(find<QRadioButton>(save + "1", page)->text(),
                     QString("Save on Waveform file Folder in Q4410 SG Option"));
        }

        // What is typed and left on the uplink page shows on the downlink page, and the other way round.
        app_.form->UL_SSTab.select(1);
        QLineEdit* octet = find<QLineEdit>("IP_ADDRESS2_0", uplink);
        octet->setFocus(Qt::TabFocusReason);
        octet->selectAll();
        QTest::keyClicks(octet, "77");
        QTest::keyClick(octet, Qt::Key_Tab);
        QCOMPARE(find<QLineEdit>("IP_ADDRESS2_1", downlink)->text(), QString("77"));
        app_.form->Link_Selection_Option.select(downlink_item);
        app_.form->DL_SSTab.select(2);
        QTest::mouseClick(find<QRadioButton>("SaveMode_dl_Option_1", downlink), Qt::LeftButton);
        QVERIFY(find<QRadioButton>("SaveMode_ul_Option_1", uplink)->isChecked());
        QVERIFY(app_.form->network.saves_to_tester());
    }

    void windowKeepsOneSizeOnEveryStartPageAndLinkSwitch() {
        QSize first;
        const std::pair<int, int> starts[] = {
            {uplink_item, 0}, {uplink_item, 1}, {downlink_item, 0}, {downlink_item, 1}, {downlink_item, 2}};
        for (const auto& [link, page] : starts) {
            // "Save and Quit" on that page, then the next start.
            app_.form->Link_Selection_Option.select(link);
            (link == uplink_item ? app_.form->UL_SSTab : app_.form->DL_SSTab).select(page);
            QVERIFY(write_system_settings(*app_.form));
            start();
            QCOMPARE(app_.form->model.link_flag, link);
            const QSize size = app_.window->frameGeometry().size();
            qInfo("start on link %d page %d: %d x %d", link, page, size.width(), size.height());
            if (!first.isValid()) {
                first = size;
            }
            QCOMPARE(size, first);
            QVERIFY(size.width() <= 1280 && size.height() <= 1000);
        }
        for (int round = 0; round < 2; ++round) {
            for (int link : {uplink_item, downlink_item, uplink_item}) {
                app_.form->Link_Selection_Option.select(link);
                for (int page = 0; page < (link == uplink_item ? 2 : 3); ++page) {
                    (link == uplink_item ? app_.form->UL_SSTab : app_.form->DL_SSTab).select(page);
                    QCoreApplication::processEvents();
                    QCOMPARE(app_.window->frameGeometry().size(), first);
                }
            }
        }
        // Every page fits in the room the window gives it.
        for (QTabWidget* tabs : {find<QTabWidget>("UL_SSTab"), find<QTabWidget>("DL_SSTab")}) {
            for (int page = 0; page < tabs->count(); ++page) {
                QVERIFY(tabs->widget(page)->minimumSizeHint().height() <= tabs->minimumHeight());
            }
        }
    }

    void closeAndMakeButtonsApplyTheFieldBeingTyped() {
        app_.form->uplink.UL_CH_Selection_Option.select(2);
        QLineEdit* power = find<QLineEdit>("UL_RC7_PDCH_Gain_Text");
        auto type_150 = [&] {
            power->setFocus(Qt::TabFocusReason);
            power->selectAll();
            QTest::keyClicks(power, "150");
            QCOMPARE(app_.form->uplink.rc7.PDCH.gain.text(), std::string("150"));
        };
        // A run reads the fields when its button is pressed, whichever way it is pressed.
        std::string seen_by_run;
        for (form::Button* make : {&app_.form->MakeAWGFile_Button, &app_.form->MakeFloatingFile_Button}) {
            make->set_press_rule([&] { seen_by_run = app_.form->uplink.rc7.PDCH.gain.text(); });
            type_150();
            find<QPushButton>(QString::fromStdString(make->object_name()))->click();
            QVERIFY(seen_by_run != "150");
            QCOMPARE(seen_by_run, app_.form->uplink.rc7.PDCH.gain.text());
        }

        type_150();
        QVERIFY(with_modal_answer(
            [](QWidget* dialog) {
                QTest::mouseClick(dialog->findChild<QPushButton*>("ExitPara_Button_0"), Qt::LeftButton);
            },
            [&] { QVERIFY(app_.window->close()); }));
        const std::string saved = file_text("uplink_def.ini");
        QVERIFY(!saved.empty());
        QVERIFY(saved.find(":150\n") == std::string::npos);
        QVERIFY(saved.find(app_.form->uplink.rc7.PDCH.gain.text()) != std::string::npos);
    }

    void exitDialogAsksItsQuestionAboveItsButtons() {
        QVERIFY(with_modal_answer(
            [](QWidget* dialog) {
                auto* question = dialog->findChild<QLabel*>("ExitPara_Question");
                QVERIFY(question != nullptr);
                QCOMPARE(question->text(), QString("Save the settings before quitting?"));
                auto* first = dialog->findChild<QPushButton*>("ExitPara_Button_0");
                QVERIFY(question->geometry().bottom() < first->geometry().top());
                QTest::keyClick(dialog, Qt::Key_Escape);
            },
            [&] { QVERIFY(!app_.window->close()); }));
        QVERIFY(app_.window->isVisible());
    }

    void refusedLogarithmAbandonsThePowerAdjustmentAndKeepsTheProgram() {
        // A power so high that the sum of the linear powers overflows, as a hand-edited file may hold.
        app_.form->uplink.UL_CH_Selection_Option.select(2);
        app_.form->uplink.rc7.PICH.gain.set_text("4000");
        std::vector<std::string> before;
        for (UplinkChannel* channel : app_.form->uplink.rc7.channels()) {
            before.push_back(channel->gain.text());
        }
        for (bool cancel : {false, true}) {
            QString text;
            QVERIFY(with_modal_answer(
                [&](QWidget* modal) {
                    auto* box = qobject_cast<QMessageBox*>(modal);
                    QVERIFY(box != nullptr);
                    text = box->text();
                    QVERIFY(box->button(QMessageBox::Ok) != nullptr && box->button(QMessageBox::Cancel));
                    box->button(cancel ? QMessageBox::Cancel : QMessageBox::Ok)->click();
                },
                [&] { find<QPushButton>("Adjust_Total_Power_Button_0")->click(); }));
            QCOMPARE(text, QString("Number must be more 0 at log10."));
        }
        std::vector<std::string> after;
        for (UplinkChannel* channel : app_.form->uplink.rc7.channels()) {
            after.push_back(channel->gain.text());
        }
        QVERIFY(after == before);
        QVERIFY(app_.window->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
