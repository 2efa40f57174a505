// The Qt view on a started window model: what the user does on real widgets reaches the model, and what
// the model does shows in the widgets. Runs headless (QT_QPA_PLATFORM=offscreen).
#include "window_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using namespace varnika;

class UiBindingTest : public QObject {
    Q_OBJECT

private:
    testing::StartedWindow app_;

    template <class T> T* find(const char* name) { return app_.find<T>(name); }

    // Puts the keyboard focus into `edit` and replaces its text by typing.
    void type_into(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, text);
    }

private slots:
    void init() {
        QVERIFY(app_.start());
        QTest::mouseClick(find<QRadioButton>("UL_CH_Selection_Option_2"), Qt::LeftButton);
    }

    void cleanup() { app_.stop(); }

    void startsWithTheModelsState() {
        QCOMPARE(app_.window->windowTitle(), QString(main_window_caption));
        QCOMPARE(find<QLabel>("SamplingRate_Label")->text(), QString("24.5760MHz"));
        QCOMPARE(find<QLabel>("DataSize_Label")->text(), QString("655,360Points"));
        QCOMPARE(find<QComboBox>("UL_Filter_Over_Combo")->currentText(), QString("20"));
        QVERIFY(find<QTabWidget>("UL_SSTab")->isVisible());
        QVERIFY(!find<QTabWidget>("DL_SSTab")->isVisible());
        // The radio button click of init() reached the model.
        QCOMPARE(app_.form->model.UL_CH_flag, 2);
        QVERIFY(find<QWidget>("UL_RC7_Frame")->isVisible());
        QVERIFY(!find<QWidget>("UL_RC12_Frame")->isVisible());
    }

    void typingAndEnterCommitAPowerField() {
        QLineEdit* edit = find<QLineEdit>("UL_RC7_PDCH_Gain_Text");
        type_into(edit, "12.347");
        QCOMPARE(app_.form->uplink.rc7.PDCH.gain.text(), std::string("12.347"));
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(edit->text(), QString("12.35"));
        QCOMPARE(app_.form->uplink.rc7.PDCH.gain.text(), std::string("12.35"));
    }

    void refusedKeysAreNotEntered() {
        QLineEdit* edit = find<QLineEdit>("UL_RC7_FCH_Gain_Text");
        type_into(edit, "1a/ +,2");
        QCOMPARE(edit->text(), QString("12"));
        QCOMPARE(app_.form->uplink.rc7.FCH.gain.text(), std::string("12"));
        QLineEdit* marker = find<QLineEdit>("Marker1_Start_Text_0");
        app_.form->markers.marker(0).mode[uplink_item].select(1);
        type_into(marker, "-4.2");
        QCOMPARE(marker->text(), QString("42"));
    }

    void leavingAFieldCommitsIt() {
        QLineEdit* edit = find<QLineEdit>("UL_RC7_SPICH_Gain_Text");
        type_into(edit, "150");
        QCOMPARE(app_.form->uplink.rc7.SPICH.gain.text(), std::string("150"));
        find<QLineEdit>("UL_RC7_EACH_Gain_Text")->setFocus();
        QCOMPARE(edit->text(), QString("100.00"));
        QCOMPARE(app_.form->uplink.rc7.SPICH.gain.text(), std::string("100.00"));

        app_.form->uplink.offset.option.select(2);
        QLineEdit* ifconv = find<QLineEdit>("UL_IFconv_Text");
        QVERIFY(ifconv->isEnabled());
        type_into(ifconv, "1.5k");
        find<QLineEdit>("UL_RC7_EACH_Gain_Text")->setFocus();
        QCOMPARE(ifconv->text(), QString("1500.00"));
    }

    void spinArrowsAndArrowKeysStepTheModel() {
        QLineEdit* edit = find<QLineEdit>("UL_RC7_PICH_Gain_Text");
        QTest::mouseClick(find<QToolButton>("UL_RC7_PICH_Gain_UpDown_Up"), Qt::LeftButton);
        QCOMPARE(app_.form->uplink.rc7.PICH.gain.text(), std::string("0.01"));
        QCOMPARE(edit->text(), QString("0.01"));
        QTest::mouseClick(find<QToolButton>("UL_RC7_PICH_Gain_UpDown_Down"), Qt::LeftButton);
        QTest::mouseClick(find<QToolButton>("UL_RC7_PICH_Gain_UpDown_Down"), Qt::LeftButton);
        QCOMPARE(edit->text(), QString("-0.01"));

        app_.form->markers.marker(1).mode[uplink_item].select(1);
        QLineEdit* high = find<QLineEdit>("Marker2_High_Text_0");
        high->setFocus();
        QTest::keyClick(high, Qt::Key_Up);
        QCOMPARE(high->text(), QString("327682"));
        QTest::keyClick(high, Qt::Key_Down);
        QTest::keyClick(high, Qt::Key_Down);
        QCOMPARE(app_.form->markers.marker(1).high[uplink_item].text(), std::string("327678"));
    }

    void modelChangesShowInTheWidgets() {
        QComboBox* walsh = find<QComboBox>("UL_RC7_PDCH_Walsh_Combo");
        app_.form->uplink.rc7.PDCH_Mod.list.select(2); // 8PSK
        QCOMPARE(find<QComboBox>("UL_RC7_PDCH_Mod_Combo")->currentText(), QString("8PSK"));
        QCOMPARE(walsh->count(), 2);
        QCOMPARE(walsh->itemText(1), QString("W2(1)&W4(2)"));

        app_.form->markers.marker(0).mode[uplink_item].select(0);
        QVERIFY(!find<QLineEdit>("Marker1_Start_Text_0")->isEnabled());
        QVERIFY(!find<QWidget>("Marker1_Start_UpDown_0")->isEnabled());
        QVERIFY(!find<QLabel>("Marker1_Start_Label_0")->isEnabled());
        QVERIFY(find<QLineEdit>("Marker2_Start_Text_0")->isEnabled() ==
                (app_.form->markers.marker(1).mode[uplink_item].selected() > 0));

        app_.form->uplink.UL_Filter_Over_Combo.select_text("4");
        QCOMPARE(find<QLabel>("SamplingRate_Label")->text(), QString("4.9152MHz"));
        QCOMPARE(find<QLineEdit>("Marker1_High_Text_0")->text(), QString("65536"));
    }

    void aPickInAListRunsTheConflictRules() {
        app_.form->uplink.rc7.PDCH_Mod.list.select_text("QPSK");
        app_.form->uplink.rc7.PDCH.walsh.select_text("W4(2)");
        QComboBox* each = find<QComboBox>("UL_RC7_EACH_Walsh_Combo");
        each->setFocus();
        QTest::keyClick(each, Qt::Key_Down); // the user picks "W8(2)"
        QCOMPARE(app_.form->uplink.rc7.EACH.walsh.text(), std::string("OFF"));
        QCOMPARE(each->currentText(), QString("OFF"));

        QComboBox* fch = find<QComboBox>("UL_RC7_FCH_Walsh_Combo");
        fch->setFocus();
        QTest::keyClick(fch, Qt::Key_Down);
        QCOMPARE(app_.form->uplink.rc7.FCH.walsh.text(), std::string("W16(4)"));
    }

    void linkChoiceAndTabsFollowTheModel() {
        QTest::mouseClick(find<QRadioButton>("Link_Selection_Option_1"), Qt::LeftButton);
        QCOMPARE(app_.form->model.link_flag, 1);
        QVERIFY(!find<QTabWidget>("UL_SSTab")->isVisible());
        QVERIFY(find<QTabWidget>("DL_SSTab")->isVisible());
        find<QTabWidget>("DL_SSTab")->setCurrentIndex(2);
        QCOMPARE(app_.form->model.Downlink_Tab, 2);
        QVERIFY(!app_.form->DL_Frame[0].visible());
        app_.form->DL_SSTab.select(0);
        QCOMPARE(find<QTabWidget>("DL_SSTab")->currentIndex(), 0);
    }

    void testerModePasswordDialog() {
        QComboBox* combo = find<QComboBox>("Tester_Mode_Combo");
        bool dialog_seen = false;
        // The dialog is modal: answer it from the event loop it runs.
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->windowTitle(), QString("PASSWORD"));
            dialog_seen = true;
            auto* password = dialog->findChild<QLineEdit*>("Pass_Text");
            QCOMPARE(password->echoMode(), QLineEdit::Password);
            QTest::keyClicks(password, "Zq.Hw7");
            QTest::keyClick(password, Qt::Key_Return); // Enter acts as OK: a wrong password
        });
        combo->setFocus();
        QTest::keyClick(combo, Qt::Key_Down);
        QVERIFY(dialog_seen);
        QCOMPARE(app_.form->model.tester_mode_flag, std::int16_t{0});
        QCOMPARE(combo->currentText(), QString("OFF"));

        dialog_seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            dialog_seen = true;
            QCOMPARE(dialog->findChild<QLineEdit*>("Pass_Text")->text(), QString());
            QTest::mouseClick(dialog->findChild<QPushButton*>("Chancel_Command"), Qt::LeftButton);
        });
        QTest::keyClick(combo, Qt::Key_Down);
        QVERIFY(dialog_seen);
        QCOMPARE(combo->currentText(), QString("OFF"));
        QVERIFY(QApplication::activeModalWidget() == nullptr);

        // The accepted password has a control character in it, typed as Ctrl+E.
        dialog_seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            dialog_seen = true;
            auto* password = dialog->findChild<QLineEdit*>("Pass_Text");
            QTest::keyClicks(password, ",E7");
            QTest::keyClick(password, Qt::Key_E, Qt::ControlModifier);
            QTest::keyClicks(password, "rp");
            QCOMPARE(password->text().size(), 6);
            QTest::keyClick(password, Qt::Key_Return);
        });
        QTest::keyClick(combo, Qt::Key_Down);
        QVERIFY(dialog_seen);
        QCOMPARE(app_.form->model.tester_mode_flag, std::int16_t{1});
        QCOMPARE(combo->currentText(), QString("ON"));
    }
};

QTEST_MAIN(UiBindingTest)
#include "ui_binding_test.moc"
