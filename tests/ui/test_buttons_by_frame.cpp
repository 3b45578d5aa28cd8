// Every button of the operations page, pressed in the window connected to the simulated box,
// checked by the frame the box received and by what the box then does or shows.
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <IpAddressEdit.h>
#include <OperationsPage.h>
#include <StbSimulator.h>
#include <StringTable.h>
#include <untMain.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

using namespace quillon;
using namespace quillon::test;

namespace
{

QString zh(int id)
{
    return QString::fromStdString(loadUiString(id));
}

LinkSetup fastLink()
{
    LinkSetup setup;
    LinkTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(3000);
    timeouts.longReply = std::chrono::milliseconds(3000);
    timeouts.watchdogPoll = std::chrono::milliseconds(200);
    setup.timeouts = timeouts;
    return setup;
}

const std::string kNul(1, '\0');

} // namespace

class TestButtonsByFrame : public QObject
{
    Q_OBJECT

    std::unique_ptr<sim::StbSimulator> box;
    std::unique_ptr<Commandio> queueStore;
    std::unique_ptr<TfrmMain> window;
    QString statusAfterClick; // what the status bar said while the button's request ran

    template <typename T> T* get(const char* name) { return child<T>(*window, name); }
    bool waitIdle(int ms = 15000)
    {
        return QTest::qWaitFor([&] { return window->pendingHandlerCount() == 0; }, ms);
    }
    // Presses `button` and returns the frames the box received for it.
    std::vector<std::string> press(const char* button)
    {
        box->clearFrames();
        auto* b = get<QPushButton>(button);
        if (!b || !b->isEnabled())
            return {std::string("<") + button + " not pressable>"};
        b->click();
        statusAfterClick = window->statusText();
        waitIdle();
        const auto frames = box->frames();
        return frames;
    }

private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        setUiLanguage(LanguageChinese);
        sim::SimOptions options;
        options.port = 0;
        options.linePace = std::chrono::milliseconds(20);
        box = std::make_unique<sim::StbSimulator>(options);
        std::string error;
        QVERIFY2(box->start(&error), error.c_str());
        queueStore = std::make_unique<Commandio>();
        window = std::make_unique<TfrmMain>(*queueStore, fastLink());
        window->setStbPort(box->port());
        window->show();
        get<IpAddressEdit>("ipSTBAddress")->setText("127.0.0.1");
        get<QLineEdit>("edtUserName")->setText(sim::kDefaultUser);
        get<QLineEdit>("edtPassword")->setText(sim::kDefaultPassword);
        get<QPushButton>("btnConnect")->click();
        QTRY_COMPARE_WITH_TIMEOUT(window->linkState(), uint8_t(1), 10000);
        QVERIFY(waitIdle());
        get<QTabWidget>("pgAllPage")->setCurrentIndex(2);
    }

    // The connect button while connected: the link goes down, the page says so and offers to
    // connect again, and connecting again works. Faults caught: a disconnect answer left
    // unhandled (the window stays busy), the caption or the buttons not following the link.
    void disconnectAndConnectAgain()
    {
        auto* connect = get<QPushButton>("btnConnect");
        QCOMPARE(connect->text(), zh(26));
        connect->click();
        QTRY_COMPARE_WITH_TIMEOUT(window->linkState(), uint8_t(0), 10000);
        QVERIFY(waitIdle());
        QCOMPARE(window->windowMode(), int8_t(Idle));
        QCOMPARE(window->statusText(), zh(402));
        QCOMPARE(connect->text(), zh(25));
        QVERIFY(!get<QPushButton>("btnRefresh")->isEnabled());
        QVERIFY(!get<QWidget>("shtSTBOperate")->isEnabled());
        connect->click();
        QTRY_COMPARE_WITH_TIMEOUT(window->linkState(), uint8_t(1), 10000);
        QVERIFY(waitIdle());
        QCOMPARE(connect->text(), zh(26));
        QVERIFY(get<QPushButton>("btnRefresh")->isEnabled());
        QVERIFY(get<QWidget>("shtSTBOperate")->isEnabled());
    }

    void cleanupTestCase()
    {
        window->close();
        window.reset();
        box->stop();
    }

    // Faults caught: one button wired to another's handler or command (two trick buttons
    // exchanged, reset sending reboot, stop sending play), a button frame with a NUL behind it
    // (a button's request carries only its command text, so none is sent).
    void playbackAndTrickButtons()
    {
        get<QLineEdit>("edtPlayChannelNO")->setText("41");
        QCOMPARE(press("btnPlayChannelNO"), std::vector<std::string>{"connect^play^null^Channel:41"});
        QCOMPARE(box->playback.state().source, std::string("Channel:41"));
        QCOMPARE(window->operationsPage().playMode(), uint8_t(PlayByNumber));

        struct Step {
            const char* button;
            std::string frame;
            std::string source; // what the box plays afterwards
            std::string trick;  // and how
            int status;         // the status bar's text while it runs
        };
        const Step steps[] = {
            {"btnPlayBack", "connect^fast_backward^null", "Channel:41", "fast_backward", 444},
            {"btnPlayPause", "connect^pause^null", "Channel:41", "pause", 445},
            {"btnPlayPrev", "connect^fast_forward^null", "Channel:41", "fast_forward", 443},
            {"btnChannelNext", "connect^play^null^Channel:42", "Channel:42", "", -1},
            {"btnChannelPrev", "connect^play^null^Channel:41", "Channel:41", "", -1},
            {"btnChannelPrev", "connect^play^null^Channel:40", "Channel:40", "", -1},
            {"btnPlayPause", "connect^pause^null", "Channel:40", "pause", 445},
        };
        for (const Step& s : steps) {
            const QByteArray trace = QByteArray(s.button) + " -> " + QByteArray::fromStdString(s.frame);
            QCOMPARE(press(s.button), std::vector<std::string>{s.frame});
            QVERIFY2(box->playback.state().source == s.source, trace.constData());
            QVERIFY2(box->playback.state().trick == s.trick, trace.constData());
            if (s.status >= 0)
                QVERIFY2(statusAfterClick == zh(s.status), trace.constData());
        }
        QCOMPARE(get<QLineEdit>("edtPlayChannelNO")->text(), QString("40"));

        // The number button is now the stop button.
        QCOMPARE(press("btnPlayChannelNO"), std::vector<std::string>{"connect^stop^null"});
        QVERIFY(box->playback.state().source.empty());
        QCOMPARE(window->operationsPage().playMode(), uint8_t(PlayNone));

        get<QLineEdit>("edtPlayChannelURL")->setText("igmp://239.1.1.9:5000");
        QCOMPARE(press("btnPlayChannelURL"), std::vector<std::string>{"connect^play^null^igmp://239.1.1.9:5000"});
        QCOMPARE(box->playback.state().source, std::string("igmp://239.1.1.9:5000"));
        QCOMPARE(press("btnPlayBack"), std::vector<std::string>{"connect^fast_backward^null"});
        QCOMPARE(box->playback.state().trick, std::string("fast_backward"));
        QCOMPARE(press("btnPlayChannelURL"), std::vector<std::string>{"connect^stop^null"});
        QVERIFY(box->playback.state().source.empty());

        // With nothing playing, the trick buttons send nothing.
        for (const char* button : {"btnPlayBack", "btnPlayPause", "btnPlayPrev"}) {
            box->clearFrames();
            if (get<QPushButton>(button)->isEnabled()) {
                get<QPushButton>(button)->click();
                waitIdle();
            }
            QVERIFY2(box->frames().empty(), button);
        }
    }

    // Faults caught: the two system buttons exchanged, a free command sent in another form.
    void systemAndCommandButtons()
    {
        QCOMPARE(press("btnSTBReboot"), std::vector<std::string>{"ioctl^reboot^null"});
        QCOMPARE(press("btnSTBReset"), std::vector<std::string>{"ioctl^restore_setting^null"});
        get<QLineEdit>("edExecCmd")->setText("read STBType");
        QCOMPARE(press("btnExecCmd"), std::vector<std::string>{"read^STBType^null"});
        QCOMPARE(window->statusText(), "read, STBType=" + QString::fromStdString(box->value("STBType")));
    }

    // Faults caught: the start and stop buttons of ping and trace route crossed, a stop that
    // sends nothing, an address taken from the other group's edit.
    void diagnosticsStartAndStop()
    {
        window->operationsPage().pingAddress()->setText("10.0.0.1");
        window->operationsPage().routeAddress()->setText("10.0.0.2");
        box->clearFrames();
        get<QPushButton>("btnPing")->click();
        QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), int8_t(PingRunning), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(!box->frames().empty(), 5000);
        QCOMPARE(box->frames().front(), "connect^ping^null^10.0.0.1" + kNul);
        get<QPushButton>("btnStopPing")->click();
        QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), int8_t(PingDone), 10000);
        QCOMPARE(box->frames().back(), "connect^ping^/stop" + kNul);

        box->clearFrames();
        get<QPushButton>("btnRouteStart")->click();
        QTRY_VERIFY_WITH_TIMEOUT(!box->frames().empty(), 5000);
        QCOMPARE(box->frames().front(), "connect^traceroute^null^10.0.0.2" + kNul);
        QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), int8_t(TraceDone), 10000);
    }
};

QTEST_MAIN(TestButtonsByFrame)
#include "test_buttons_by_frame.moc"
