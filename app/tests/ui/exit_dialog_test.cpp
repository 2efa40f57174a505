// Leaving the window: the close box and the "Exit" button both ask the exit dialog, and its answers keep
// the window, or close it with or without writing the settings files. Runs headless
// (QT_QPA_PLATFORM=offscreen).
#include "window_fixture.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace varnika;

class ExitDialogTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    testing::StartedWindow app_;

    QStringList settings_files() const {
        return QDir(folder_->path()).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    }

    // Answers the exit dialog, once it is up, by clicking the button of item `button`.
    bool answer_with(int button, const std::function<void()>& close_window) {
        bool seen = false;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QCOMPARE(dialog->windowTitle(), QString("Exit"));
            QCOMPARE(dialog->findChild<QPushButton*>("ExitPara_Button_0")->text(), QString("Save and Quit"));
            QCOMPARE(dialog->findChild<QPushButton*>("ExitPara_Button_1")->text(),
                     QString("Quit without Saving"));
            QCOMPARE(dialog->findChild<QPushButton*>("ExitPara_Button_2")->text(), QString("Cancel"));
            seen = true;
            if (button < 0) {
                QTest::keyClick(dialog, Qt::Key_Escape);
            } else {
                QTest::mouseClick(dialog->findChild<QPushButton*>(QString("ExitPara_Button_%1").arg(button)),
                                  Qt::LeftButton);
            }
        });
        close_window();
        return seen;
    }

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        QVERIFY(app_.start(folder_->path().toStdString()));
    }

    void cleanup() {
        app_.stop();
        folder_.reset();
    }

    void cancelOrTheDialogsCloseBoxKeepsTheWindow() {
        QVERIFY(answer_with(ExitDialog::cancel, [&] { QVERIFY(!app_.window->close()); }));
        QVERIFY(app_.window->isVisible());
        QVERIFY(answer_with(-1, [&] { QVERIFY(!app_.window->close()); }));
        QVERIFY(app_.window->isVisible());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(settings_files().isEmpty());
    }

    void exitButtonAndQuitWithoutSavingWriteNothing() {
        auto* exit = app_.window->findChild<QPushButton*>("Exit_Button");
        QVERIFY(exit != nullptr);
        QVERIFY(
            answer_with(ExitDialog::quit_without_saving, [&] { QTest::mouseClick(exit, Qt::LeftButton); }));
        QVERIFY(!app_.window->isVisible());
        QVERIFY(settings_files().isEmpty());
    }

    void saveAndQuitWritesTheThreeFiles() {
        QVERIFY(answer_with(ExitDialog::save_and_quit, [&] { QVERIFY(app_.window->close()); }));
        QVERIFY(!app_.window->isVisible());
        QCOMPARE(settings_files(), (QStringList{"downlink_def.ini", "system_def.ini", "uplink_def.ini"}));
    }
};

QTEST_MAIN(ExitDialogTest)
#include "exit_dialog_test.moc"
