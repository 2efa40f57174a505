// The downlink channel page's view: the status area and the virtualised row list follow the model, and what
// the user does in a row reaches the model row shown there. Runs headless (QT_QPA_PLATFORM=offscreen).
#include "ui/downlink_row_list.h"
#include "ui/main_window.h"
#include "ui/qt_platform.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace varnika;

class DownlinkViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ui::QtPlatform> platform_;
    std::unique_ptr<MainForm> form_;
    std::unique_ptr<ui::MainWindow> window_;

    DownlinkChannelPage& page() { return form_->downlink_channels; }

    template <class T> T* find(const QString& name) {
        T* widget = window_->findChild<T*>(name);
        if (widget == nullptr) {
            qFatal("no widget %s", qPrintable(name));
        }
        return widget;
    }
    ui::DownlinkRowList* list() { return find<ui::DownlinkRowList>("DL_Channel_Parameters_List"); }
    // Lets queued layouts run.
    void settle() { QCoreApplication::processEvents(); }

    // Model rows that have a visible widget of their own.
    int rows_with_power_widgets() {
        int count = 0;
        for (QLineEdit* edit : window_->findChildren<QLineEdit*>()) {
            count += edit->objectName().startsWith("DL_CH_POWER_Text_") && edit->isVisibleTo(window_.get())
                         ? 1
                         : 0;
        }
        return count;
    }

    void switch_all_on() {
        for (int type = 1; type < dl_type_count; ++type) {
            page().DL_CH_Multi_Text(type).set_text(std::to_string(page().type_entry(type).capacity));
            page().DL_CH_Multi_Text(type).commit();
            page().DL_CH_Stat_Command(type).press();
        }
    }

private slots:
    void init() {
        platform_ = std::make_unique<ui::QtPlatform>();
        form_ = std::make_unique<MainForm>(*platform_);
        QElapsedTimer clock;
        clock.start();
        start_up(*form_);
        window_ = std::make_unique<ui::MainWindow>(*form_, *platform_);
        platform_->set_main_window(window_.get());
        window_->show();
        QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
        qInfo("start-up and window with the 807 rows: %lld ms", static_cast<long long>(clock.elapsed()));
        form_->Link_Selection_Option.select(downlink_item);
        form_->DL_SSTab.select(1);
        settle();
    }

    void cleanup() {
        window_.reset();
        form_.reset();
        platform_.reset();
    }

    void status_buttons_switch_types_and_rows_appear() {
        QPushButton* pch = find<QPushButton>("DL_CH_Stat_Command_2");
        QCOMPARE(pch->text(), QString("OFF"));
        QTest::mouseClick(pch, Qt::LeftButton);
        settle();
        QCOMPARE(pch->text(), QString("ON"));
        QVERIFY(page().type_entry(PCH).on());
        QLineEdit* power = find<QLineEdit>("DL_CH_POWER_Text_2");
        QVERIFY(power->isVisibleTo(window_.get()));
        QCOMPARE(power->text(), QString("0.00"));
        QCOMPARE(find<QLabel>("DL_CH_INDEX_Text_2")->text(), QString("1"));
        QCOMPARE(find<QLabel>("DL_CH_Total_Multi_Text")->text(), QString("2"));
        QVERIFY(!find<QLineEdit>("DL_CH_Multi_Text_1")->isEnabled()); // SYNCH has a single row
    }

    void typing_in_a_row_reaches_its_model_row() {
        QTest::mouseClick(find<QPushButton>("DL_CH_Stat_Command_2"), Qt::LeftButton);
        page().DL_CH_Multi_Text(F_PDCCH).set_text("2");
        page().DL_CH_Stat_Command(F_PDCCH).press();
        settle();
        // PDCCH rows 412 and 413 clash on W64(1) with PCH; type PDCCH's second number away from it.
        QVERIFY(find<QLabel>("DL_CH_WARN_Label_413")->isVisibleTo(window_.get()));
        QLineEdit* number = find<QLineEdit>("DL_CH_WNO_Text_413");
        number->setFocus();
        number->selectAll();
        QTest::keyClick(number, Qt::Key_Delete);
        QTest::keyClicks(number, "5x");
        QCOMPARE(number->text(), QString("5")); // the letter is refused
        QTest::keyClick(number, Qt::Key_Return);
        QCOMPARE(page().row(413).committed, (WalshCode{64, 5}));
        QVERIFY(!find<QLabel>("DL_CH_WARN_Label_413")->isVisibleTo(window_.get()));
        QVERIFY(find<QLabel>("DL_CH_WARN_Label_412")->isVisibleTo(window_.get()));
        QTest::mouseClick(find<QToolButton>("DL_CH_WNO_UpDown_413_Up"), Qt::LeftButton);
        QCOMPARE(page().row(413).DL_CH_WNO_Text->text(), std::string("6"));
    }

    void only_the_rows_on_screen_have_widgets() {
        switch_all_on();
        settle();
        QCOMPARE(page().slot_count(), dl_row_count);
        const int widgets = rows_with_power_widgets();
        QVERIFY(widgets > 5);
        QVERIFY(widgets < 60);
        QCOMPARE(list()->bound_widget_count(), widgets);

        // Scrolled to the end, the last rows of F-PDCH are on screen and the first rows are not.
        QScrollBar* bar = find<QScrollBar>("DL_Channel_Parameters_VScroll");
        bar->setValue(bar->maximum());
        settle();
        QCOMPARE(page().DL_Channel_Parameters_VScroll.value(), bar->maximum());
        QVERIFY(find<QLineEdit>("DL_CH_POWER_Text_806")->isVisibleTo(window_.get()));
        QVERIFY(window_->findChild<QLineEdit*>("DL_CH_POWER_Text_1") == nullptr ||
                !window_->findChild<QLineEdit*>("DL_CH_POWER_Text_1")->isVisibleTo(window_.get()));
        QVERIFY(rows_with_power_widgets() < 60);

        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(find<QPushButton>("DL_CH_Default_Button"), Qt::LeftButton);
        settle();
        qInfo("channel \"Set Default\" with every row shown, view included: %lld ms",
              static_cast<long long>(clock.elapsed()));
        QCOMPARE(find<QLabel>("DL_CH_Total_Multi_Text")->text(), QString("1"));
        QCOMPARE(list()->bound_widget_count(), 1);
        QCOMPARE(bar->maximum(), 0);
    }

    void test_models_and_total_power_from_the_buttons() {
        QComboBox* models = find<QComboBox>("DL_CH_TestModel_Combo");
        form_->downlink_channels.DL_CH_TestModel_Combo.select(2);
        QCOMPARE(models->currentText(), QString("Test Model1  FCH 3"));
        QTest::mouseClick(find<QPushButton>("DL_CH_TestModel_Command"), Qt::LeftButton);
        settle();
        QCOMPARE(find<QLabel>("DL_CH_Total_Multi_Text")->text(), QString("6"));
        QCOMPARE(find<QLineEdit>("DL_CH_POWER_Text_486")->text(), QString("-7.25"));
        QTest::mouseClick(find<QPushButton>("Adjust_Total_Power_Button_1"), Qt::LeftButton);
        QCOMPARE(find<QLineEdit>("DL_CH_POWER_Text_0")->text(), QString("-6.99"));
        QVERIFY(window_->findChild<QPushButton*>("Adjust_Total_Power_Button_0") != nullptr);
    }

    void conflict_column_is_headed_and_a_mark_names_its_clashes() {
        QCOMPARE(find<QLabel>("DL_CH_Heading_Label_7")->text(), QString("Conflict"));
        QTest::mouseClick(find<QPushButton>("DL_CH_Stat_Command_2"), Qt::LeftButton);
        page().DL_CH_Multi_Text(F_PDCCH).set_text("2");
        page().DL_CH_Stat_Command(F_PDCCH).press();
        settle();
        // PCH and both PDCCH rows stand on W64(1); each is named by the number in its "No" column.
        for (const auto& [name, tip] :
             {std::pair{"DL_CH_WARN_Label_412", "Clashes with PCH 1, F-PDCCH 3"},
              std::pair{"DL_CH_WARN_Label_2", "Clashes with F-PDCCH 2, F-PDCCH 3"}}) {
            auto* mark = find<QLabel>(name);
            QHelpEvent hover(QEvent::ToolTip, QPoint(2, 2), mark->mapToGlobal(QPoint(2, 2)));
            QCoreApplication::sendEvent(mark, &hover);
            QCOMPARE(mark->toolTip(), QString(tip));
        }
    }

    void the_rows_can_be_worked_from_the_keyboard() {
        page().DL_CH_Multi_Text(F_FCH).set_text("60");
        page().DL_CH_Multi_Text(F_FCH).commit();
        page().DL_CH_Stat_Command(F_FCH).press();
        settle();
        window_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window_.get()));
        QWidget* viewport = list()->viewport();
        // The slot of the row whose cell has the focus; the cell must show whole in the list.
        auto focused_slot = [&]() -> int {
            QWidget* cell = QApplication::focusWidget();
            if (cell == nullptr || !viewport->isAncestorOf(cell)) {
                return -1;
            }
            if (!viewport->rect().contains(QRect(cell->mapTo(viewport, QPoint(0, 0)), cell->size()))) {
                return -2;
            }
            const int row = cell->objectName().section('_', -1).toInt();
            for (int slot = 0; slot < page().slot_count(); ++slot) {
                if (page().row_at_slot(slot) == row) {
                    return slot;
                }
            }
            return -3;
        };
        QLineEdit* pilot_power = find<QLineEdit>("DL_CH_POWER_Text_0");
        pilot_power->setFocus(Qt::TabFocusReason);
        QCOMPARE(focused_slot(), 0);
        const int rows_on_screen = viewport->height() / ui::downlink_row_pitch_px;
        QVERIFY(rows_on_screen < 30);

        // Down the power column row by row, well past the first screen; the power stays the column.
        for (int slot = 1; slot <= 30; ++slot) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down, Qt::ControlModifier);
            QCOMPARE(focused_slot(), slot);
            QVERIFY(QApplication::focusWidget()->objectName().startsWith("DL_CH_POWER_Text_"));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageUp);
        QCOMPARE(focused_slot(), 30 - (rows_on_screen - 1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_PageDown);
        QCOMPARE(focused_slot(), 30);
        // Plain Up in a power field still steps its value.
        const std::string before = page().row(page().row_at_slot(30)).DL_CH_POWER_Text.text();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(focused_slot(), 30);
        QVERIFY(page().row(page().row_at_slot(30)).DL_CH_POWER_Text.text() != before);

        // Tab goes through the cells and on into the next rows, Shift+Tab back, the list following.
        int slot = 30;
        for (int k = 0; k < 40; ++k) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            const int now = focused_slot();
            QVERIFY(now == slot || now == slot + 1);
            slot = now;
        }
        QVERIFY(slot >= 40);
        for (int k = 0; k < 40; ++k) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            const int now = focused_slot();
            QVERIFY(now == slot || now == slot - 1);
            slot = now;
        }
        QCOMPARE(slot, 30);
    }
};

QTEST_MAIN(DownlinkViewTest)
#include "downlink_view_test.moc"
