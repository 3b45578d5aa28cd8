// The real window and link threads against the simulated box, in-process on an ephemeral port.
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <IpAddressEdit.h>
#include <LinkBridge.h>
#include <StbSimulator.h>
#include <StringTable.h>
#include <untMain.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace quillon;
using namespace quillon::test;

namespace
{

QString zh(int id)
{
    return QString::fromStdString(loadUiString(id));
}

void typeLogin(TfrmMain& window, const char* password)
{
    child<IpAddressEdit>(window, "ipSTBAddress")->setText("127.0.0.1");
    child<QLineEdit>(window, "edtUserName")->setText(sim::kDefaultUser);
    child<QLineEdit>(window, "edtPassword")->setText(password);
}

// A box with the default settings on an ephemeral port, or null when it cannot listen.
std::unique_ptr<sim::StbSimulator> startedBox()
{
    sim::SimOptions options;
    options.port = 0;
    auto box = std::make_unique<sim::StbSimulator>(options);
    return box->start() ? std::move(box) : nullptr;
}

// Points the window at the box and clicks Connect with the given password.
void login(TfrmMain& window, const sim::StbSimulator& box, const char* password)
{
    window.setStbPort(box.port());
    typeLogin(window, password);
    child<QPushButton>(window, "btnConnect")->click();
}

} // namespace

class TestWindowWithBox : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        setUiLanguage(LanguageChinese);
    }

    // Connect, read the information and the channel list, lose the box, and close cleanly.
    void connectShowsTheBoxThenLosingItClearsThePages()
    {
        sim::SimOptions options;
        options.port = 0;
        options.channels = 5;
        sim::StbSimulator box(options);
        std::string error;
        QVERIFY2(box.start(&error), error.c_str());

        Commandio queues;
        auto window = std::make_unique<TfrmMain>(queues, quickLinkSetup());
        window->setStbPort(box.port());
        window->show();
        typeLogin(*window, sim::kDefaultPassword);
        child<QPushButton>(*window, "btnConnect")->click();

        auto* list = child<QTreeWidget>(*window, "lvChannelList");
        QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 5, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), int8_t(Idle), 5000);
        QCOMPARE(window->linkState(), uint8_t(1));
        QCOMPARE(child<QPushButton>(*window, "btnConnect")->text(), zh(26));
        QVERIFY(child<QWidget>(*window, "shtSTBConfigure")->isEnabled());
        QCOMPARE(labelText(*window, "lblSTBModelValue"), QString::fromStdString(box.value("STB_model")));
        QCOMPARE(labelText(*window, "lblMACAddressValue"), QString::fromStdString(box.value("MACAddress")));
        QCOMPARE(labelText(*window, "lblTimeZoneValue"), QString("UTC +08:00"));
        QVERIFY(!labelText(*window, "lblCurrTimeValue").isEmpty());
        QCOMPARE(window->statusText(), zh(404));
        QCOMPARE(list->topLevelItem(0)->text(0), QString("1"));
        window->grab().save(QUILLON_SHOT_DIR "/quillon-window-connected.png"); // for a person to look at

        // The box goes away: the watchdog reports it and the window clears itself.
        box.dropClient();
        QTRY_COMPARE_WITH_TIMEOUT(window->statusText(), zh(402), 10000);
        QCOMPARE(window->linkState(), uint8_t(0));
        QCOMPARE(list->topLevelItemCount(), 0);
        QVERIFY(labelText(*window, "lblSTBModelValue").isEmpty());
        QCOMPARE(child<QPushButton>(*window, "btnConnect")->text(), zh(25));

        window->close();
        window.reset(); // joins the link threads; a hang here fails the test by its time limit
        box.stop();
    }

    // The box drops the link at each frame of what the window reads after connecting (the
    // information, then the channel list): each time the window ends up idle and disconnected.
    void linkDroppedAtAnyFrameLeavesTheWindowIdle()
    {
        sim::SimOptions options;
        options.port = 0;
        options.channels = 5;
        sim::StbSimulator box(options);
        QVERIFY(box.start());
        for (int drop = 0; drop <= 25; ++drop) {
            sim::SimFaults faults;
            faults.closeAfterFrames = drop;
            box.setFaults(faults);
            Commandio queues;
            TfrmMain window(queues, quickLinkSetup());
            window.setStbPort(box.port());
            typeLogin(window, sim::kDefaultPassword);
            child<QPushButton>(window, "btnConnect")->click();
            QTRY_VERIFY2_WITH_TIMEOUT(window.linkState() == 0 && window.pendingHandlerCount() == 0,
                                      qPrintable(QString("dropped at frame %1").arg(drop + 1)), 15000);
            QTRY_COMPARE_WITH_TIMEOUT(window.windowMode(), int8_t(Idle), 5000);
            window.close();
            QTRY_COMPARE_WITH_TIMEOUT(box.clientCount(), 0, 5000);
        }
        box.stop();
    }

    void wrongPasswordShowsTheBoxCode()
    {
        const auto boxOwner = startedBox();
        QVERIFY(boxOwner);
        sim::StbSimulator& box = *boxOwner;
        Commandio queues;
        TfrmMain window(queues, quickLinkSetup());
        login(window, box, "wrong");
        QTRY_COMPARE_WITH_TIMEOUT(window.pendingHandlerCount(), size_t(0), 10000);
        QCOMPARE(window.statusText(), QString::fromStdString(statusCodeText(501)));
        QCOMPARE(window.linkState(), uint8_t(0));
        QCOMPARE(window.windowMode(), int8_t(Idle));
    }

    // Closing while connected: the disconnect goes out, and the worker, possibly reporting the
    // link down to a window that no longer runs its event loop, is released and joined.
    void closingWhileConnectedDoesNotHang()
    {
        const auto boxOwner = startedBox();
        QVERIFY(boxOwner);
        sim::StbSimulator& box = *boxOwner;
        Commandio queues;
        auto window = std::make_unique<TfrmMain>(queues, quickLinkSetup());
        login(*window, box, sim::kDefaultPassword);
        QTRY_COMPARE_WITH_TIMEOUT(window->linkState(), uint8_t(1), 10000);
        const auto started = std::chrono::steady_clock::now();
        window->close();
        window.reset();
        QVERIFY(std::chrono::steady_clock::now() - started < std::chrono::seconds(5));
        QTRY_COMPARE(box.clientCount(), 0);
    }

    // A question still open when the box goes away: the page behind it is disabled with the link,
    // but the question can still be answered, and a "yes" given after the loss sends nothing.
    void aQuestionOpenWhenTheLinkDropsCanStillBeAnswered()
    {
        const auto boxOwner = startedBox();
        QVERIFY(boxOwner);
        sim::StbSimulator& box = *boxOwner;
        Commandio queues;
        TfrmMain window(queues, quickLinkSetup());
        window.show();
        login(window, box, sim::kDefaultPassword);
        QTRY_COMPARE_WITH_TIMEOUT(window.linkState(), uint8_t(1), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(window.windowMode() == Idle && window.pendingHandlerCount() == 0, 10000);
        child<QTabWidget>(window, "pgAllPage")->setCurrentWidget(child<QWidget>(window, "shtremotepcap"));
        child<QLineEdit>(window, "edtPcapTime")->setText("30");
        const size_t framesBefore = box.frames().size();

        bool buttonsUsable = false;
        bool answered = false;
        QTimer::singleShot(0, &window, [&] {
            box.dropClient();
            QTRY_COMPARE_WITH_TIMEOUT(window.linkState(), uint8_t(0), 5000);
            // The window has shown the loss: the page that asked is disabled under the question.
            QTRY_VERIFY_WITH_TIMEOUT(!child<QWidget>(window, "shtremotepcap")->isEnabled(), 5000);
            auto* question = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!question)
                return;
            QAbstractButton* yes = question->button(QMessageBox::Yes);
            buttonsUsable = question->isEnabled() && yes && yes->isEnabled();
            if (yes)
                yes->click();
            answered = QApplication::activeModalWidget() == nullptr;
            if (!answered)
                question->done(QMessageBox::No); // leaves the test instead of hanging it
        });
        Dialogs::setSuppressMessages(false);
        child<QPushButton>(window, "btnPcap")->click(); // returns once the question is answered
        Dialogs::setSuppressMessages(true);

        QVERIFY(buttonsUsable);
        QVERIFY(answered);
        // What was still being read when the link went fails in its own time; nothing new starts.
        QTRY_VERIFY_WITH_TIMEOUT(
            window.windowMode() == Idle && window.pendingHandlerCount() == 0 && window.statusText() == zh(402), 2000);
        for (size_t i = framesBefore; i < box.frames().size(); ++i)
            QVERIFY2(box.frames()[i].find("remotepcap") == std::string::npos, box.frames()[i].c_str());
        window.close();
        box.stop();
    }

    // A link thread reporting to a window thread that never gets to it is released by detach.
    void detachReleasesAWaitingReporter()
    {
        QObject context;
        std::atomic<int> shown{0};
        LinkBridge bridge(
            &context, [&](uint8_t) { ++shown; }, [](OutputChannel, const QString&) {});
        std::atomic<bool> returned{false};
        std::thread reporter([&] {
            bridge.linkStateChanged(0);
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        QVERIFY(!returned); // waits for the window thread
        bridge.detach();
        reporter.join();
        QVERIFY(returned);
        QCoreApplication::processEvents();
        QCOMPARE(shown.load(), 0);  // dropped once detached
        bridge.linkStateChanged(1); // after detach: returns at once
    }

    // The worker hands over lines without waiting, even while the window thread is busy; they
    // arrive in order, and a window that falls far behind gets the newest ones.
    void outputLinesNeverWaitAndKeepTheirOrder()
    {
        QObject context;
        std::vector<QString> shown;
        LinkBridge bridge(
            &context, [](uint8_t) {}, [&](OutputChannel, const QString& line) { shown.push_back(line); });
        const int total = int(LinkBridge::kMaxPendingLines) + 500;
        std::thread worker([&] {
            for (int i = 0; i < total; ++i)
                bridge.outputLine(OutputChannel::Ping, "line " + std::to_string(i));
        });
        worker.join(); // returns although this thread ran no event loop meanwhile
        QVERIFY(shown.empty());
        QCoreApplication::processEvents();
        QCOMPARE(shown.size(), LinkBridge::kMaxPendingLines);
        for (size_t i = 0; i < shown.size(); ++i)
            QCOMPARE(shown[i], QString("line %1").arg(500 + i));

        shown.clear();
        bridge.outputLine(OutputChannel::TraceRoute, "a");
        bridge.outputLine(OutputChannel::TraceRoute, "b");
        bridge.detach();
        QCoreApplication::processEvents();
        QVERIFY(shown.empty()); // dropped once detached
    }

    void reporterWaitsUntilTheWindowHasShownIt()
    {
        QObject context;
        std::atomic<int> shown{0};
        LinkBridge bridge(
            &context, [&](uint8_t state) { shown = state + 10; }, [](OutputChannel, const QString&) {});
        std::atomic<int> seenAfterReturn{-1};
        std::thread reporter([&] {
            bridge.linkStateChanged(1);
            seenAfterReturn = shown.load();
        });
        QTRY_COMPARE(seenAfterReturn.load(), 11);
        reporter.join();
    }
};

QTEST_MAIN(TestWindowWithBox)
#include "test_window_with_box.moc"
