// The "Common System Settings" page in the main window: at a first start it shows the modes the program
// is in; "Apply" looks the tester up on a worker thread while the window goes on answering, with a busy
// mark; an edited address drops the old results; a failed look-up says so; and closing the window during
// a look-up that never answers ends at once. Runs headless (QT_QPA_PLATFORM=offscreen).
#include "window_fixture.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>

using namespace varnika;

namespace {

// A name server that answers only when the test lets it (or never), knowing one address.
struct SlowNameServer {
    std::mutex guard;
    std::condition_variable released;
    bool answering = false;

    void answer() {
        const std::lock_guard lock(guard);
        answering = true;
        released.notify_all();
    }
    HostLookup lookup(const std::shared_ptr<SlowNameServer>& self) {
        return {[self](const char* query, char* result) -> std::int32_t {
                    std::unique_lock lock(self->guard);
                    self->released.wait(lock, [&] { return self->answering; });
                    if (std::strcmp(query, "10.1.2.3") != 0) {
                        return 1;
                    }
                    std::strcpy(result, "q4410.lab.example");
                    return 0;
                },
                {},
                {}};
    }
};

} // namespace

class NetworkViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> folder_;
    testing::StartedWindow app_;

    void type_address(const QStringList& octets) {
        for (int n = 1; n <= 4; ++n) {
            auto* edit = app_.find<QLineEdit>(QString("IP_ADDRESS%1_0").arg(n));
            edit->setFocus();
            edit->selectAll();
            QTest::keyClicks(edit, octets[n - 1]);
            QTest::keyClick(edit, Qt::Key_Tab);
        }
    }
    QString text_of(const QString& label) { return app_.find<QLabel>(label)->text(); }

private slots:
    void init() {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        QVERIFY(app_.start(folder_->path().toStdString()));
        app_.form->UL_SSTab.select(1); // the uplink tab set's network page
        app_.form->network.look_up_in_background([](std::function<void()> on_window_thread) {
            QMetaObject::invokeMethod(qApp, std::move(on_window_thread), Qt::QueuedConnection);
        });
    }
    void cleanup() { app_.stop(); }

    void firstStartShowsTheModesInUse() {
        for (const QString& page : {QString("_ul_"), QString("_dl_")}) {
            QVERIFY(app_.find<QRadioButton>("SaveMode" + page + "Option_0")->isChecked());
            QVERIFY(!app_.find<QRadioButton>("SaveMode" + page + "Option_1")->isChecked());
        }
        QVERIFY(app_.find<QRadioButton>("IP_address_UL_0")->isChecked());
        QVERIFY(app_.find<QRadioButton>("IP_address_DL_0")->isChecked());
        QVERIFY2(!app_.find<QPushButton>("Apply_NetConfig_0")->isEnabled(), "nothing to look up yet");
        QVERIFY(app_.find<QLineEdit>("IP_ADDRESS1_1")->isEnabled());
        QVERIFY(!app_.find<QLineEdit>("Q4410_Host_Name_1")->isEnabled());
    }

    void applyLooksUpOffTheWindowThreadWithABusyMark() {
        auto server = std::make_shared<SlowNameServer>();
        app_.form->network.set_lookup(server->lookup(server));
        type_address({"10", "1", "2", "3"});
        QTest::mouseClick(app_.find<QPushButton>("Apply_NetConfig_0"), Qt::LeftButton);

        // The window goes on answering while the name server keeps it waiting.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);
        QTest::qWait(200);
        QVERIFY2(ticks >= 5, "the window's thread is held");
        QVERIFY(app_.find<QProgressBar>("Lookup_Busy_0")->isVisible());
        QVERIFY(text_of("Lookup_Note_0").startsWith("Looking up 10.1.2.3"));
        QVERIFY(!app_.find<QPushButton>("Apply_NetConfig_0")->isEnabled());

        server->answer();
        QTRY_COMPARE(text_of("host_name_info_0"), QString("q4410.lab.example"));
        QCOMPARE(text_of("host_name_info_1"), QString("q4410.lab.example"));
        QCOMPARE(QString::fromStdString(app_.form->model.TesterFolder), QString("\\\\q4410\\waveform"));
        QVERIFY(!app_.find<QProgressBar>("Lookup_Busy_0")->isVisible());
        QCOMPARE(text_of("Lookup_Note_0"), QString());

        // Editing the address clears what was found for the old one.
        type_address({"10", "1", "2", "4"});
        QCOMPARE(text_of("host_name_info_0"), QString());
        QCOMPARE(QString::fromStdString(app_.form->model.TesterFolder), QString());

        // A failed look-up says so beside the read-outs.
        QTest::mouseClick(app_.find<QPushButton>("Apply_NetConfig_0"), Qt::LeftButton);
        QTRY_COMPARE(
            text_of("Lookup_Note_0"),
            QString("No host name was found for 10.1.2.4, so the tester's waveform folder is unknown."));
        QCOMPARE(text_of("host_name_info_0"), QString());
    }

    void anAnswerForAnEditedAddressIsDropped() {
        auto server = std::make_shared<SlowNameServer>();
        app_.form->network.set_lookup(server->lookup(server));
        type_address({"10", "1", "2", "3"});
        QTest::mouseClick(app_.find<QPushButton>("Apply_NetConfig_0"), Qt::LeftButton);
        type_address({"10", "1", "2", "9"});
        QVERIFY(!app_.find<QProgressBar>("Lookup_Busy_0")->isVisible());
        server->answer();
        QTest::qWait(200);
        QCOMPARE(text_of("host_name_info_0"), QString());
        QCOMPARE(QString::fromStdString(app_.form->model.TesterFolder), QString());
    }

    // The look-up never answers; "Quit without Saving" ends the window and its models at once.
    void quittingDuringALookUpEndsAtOnce() {
        auto server = std::make_shared<SlowNameServer>();
        app_.form->network.set_lookup(server->lookup(server));
        type_address({"10", "1", "2", "3"});
        QTest::mouseClick(app_.find<QPushButton>("Apply_NetConfig_0"), Qt::LeftButton);
        QTimer::singleShot(0, this, [] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog != nullptr);
            QTest::mouseClick(dialog->findChild<QPushButton*>("ExitPara_Button_1"), Qt::LeftButton);
        });
        QElapsedTimer clock;
        clock.start();
        app_.window->close();
        app_.stop();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString("%1 ms").arg(clock.elapsed())));
        server->answer(); // the worker ends now, and delivers nothing to the page that is gone
        QTest::qWait(100);
    }
};

QTEST_MAIN(NetworkViewTest)
#include "network_view_test.moc"
