// The operations and capture pages with the real link threads against the simulated box.
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <IpAddressEdit.h>
#include <OperationsPage.h>
#include <SimDiagnostics.h>
#include <StbSimulator.h>
#include <StringTable.h>
#include <untMain.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
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

QString tempFile(const QString& name, const std::string& bytes)
{
    const QString path =
        QDir::temp().filePath(QString("quillon-ops-%1-%2").arg(QCoreApplication::applicationPid()).arg(name));
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes.data(), static_cast<qint64>(bytes.size()));
    return path;
}

} // namespace

class TestOperationsWithBox : public QObject
{
    Q_OBJECT

    std::unique_ptr<sim::StbSimulator> box;
    std::unique_ptr<Commandio> queueStore;
    std::unique_ptr<TfrmMain> window;

    template <typename T> T* get(const char* name) { return child<T>(*window, name); }
    void click(const char* name) { get<QPushButton>(name)->click(); }
    bool waitIdle(int ms = 15000)
    {
        return QTest::qWaitFor([&] { return window->pendingHandlerCount() == 0; }, ms);
    }

private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        setUiLanguage(LanguageChinese);
        sim::SimOptions options;
        options.port = 0;
        options.linePace = std::chrono::milliseconds(60);
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
        click("btnConnect");
        QTRY_COMPARE_WITH_TIMEOUT(window->linkState(), uint8_t(1), 10000);
        QVERIFY(waitIdle());
        get<QTabWidget>("pgAllPage")->setCurrentIndex(2);
    }

    void cleanupTestCase()
    {
        window->close();
        window.reset();
        box->stop();
    }

    // The lines appear while the ping still runs; stop sends the stop frame and the run ends.
    void pingShowsItsLinesLiveAndStops()
    {
        box->clearFrames();
        window->operationsPage().pingAddress()->setText("10.0.0.1");
        click("btnPing");
        auto* memo = get<QPlainTextEdit>("edtPingMsg");
        QTRY_VERIFY_WITH_TIMEOUT(memo->blockCount() >= 4, 10000);
        QCOMPARE(window->windowMode(), int8_t(PingRunning));
        QVERIFY(memo->toPlainText().startsWith("PING 10.0.0.1"));
        QVERIFY(!get<QWidget>("gbRouter")->isEnabled());
        QVERIFY(get<QPushButton>("btnStopPing")->isEnabled());
        QVERIFY(window->grab().save(QUILLON_SHOT_DIR "/quillon-operations-ping.png"));

        click("btnStopPing");
        QCOMPARE(window->statusText(), zh(425));
        QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), int8_t(PingDone), 10000);
        QCOMPARE(window->statusText(), zh(424));
        const auto frames = box->frames();
        QCOMPARE(frames.front(), std::string("connect^ping^null^10.0.0.1") + '\0');
        QCOMPARE(frames.back(), std::string("connect^ping^/stop") + '\0');
        QVERIFY(memo->toPlainText().contains("ping statistics"));
        QVERIFY(get<QWidget>("gbRouter")->isEnabled());
        QVERIFY(!get<QPushButton>("btnStopPing")->isEnabled());
    }

    void traceRouteRunsToItsEnd()
    {
        window->operationsPage().routeAddress()->setText("10.0.0.7");
        click("btnRouteStart");
        QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), int8_t(TraceDone), 10000);
        QCOMPARE(window->statusText(), zh(428));
        QCOMPARE(get<QPlainTextEdit>("edtRouteMsg")->blockCount(), 6);
    }

    void freeCommandReboot()
    {
        get<QLineEdit>("edExecCmd")->setText("ioctl reboot");
        click("btnExecCmd");
        QVERIFY(waitIdle());
        QCOMPARE(window->statusText(), zh(404));
        QCOMPARE(box->frames().back(), std::string("ioctl^reboot^null"));
        get<QLineEdit>("edExecCmd")->setText("read STBType");
        click("btnExecCmd");
        QVERIFY(waitIdle());
        QCOMPARE(window->statusText(), "read, STBType=" + QString::fromStdString(box->value("STBType")));
    }

    void playByNumberStepAndTrickPlay()
    {
        get<QLineEdit>("edtPlayChannelNO")->setText("3");
        click("btnPlayChannelNO");
        QVERIFY(waitIdle());
        QCOMPARE(window->operationsPage().playMode(), uint8_t(PlayByNumber));
        QCOMPARE(box->playback.state().source, std::string("Channel:3"));
        click("btnChannelNext");
        QVERIFY(waitIdle());
        QCOMPARE(box->playback.state().source, std::string("Channel:4"));
        click("btnPlayPause");
        QVERIFY(waitIdle());
        QCOMPARE(box->playback.state().trick, std::string("pause"));
        click("btnPlayChannelNO"); // stop
        QVERIFY(waitIdle());
        QCOMPARE(window->operationsPage().playMode(), uint8_t(PlayNone));
        QVERIFY(box->playback.state().source.empty());
    }

    // Sending then writing percentages on the bar, then the end text.
    void upgradeShowsProgressThenFinishes()
    {
        const QString path = tempFile("good.bin", sim::simImageHeader("V9.9") + std::string(10000 - 32, 'x'));
        QSignalSpy values(get<QProgressBar>("progressBar"), &QProgressBar::valueChanged);
        get<QLineEdit>("edtUpgradeFile")->setText(path);
        click("btnUpgrade");
        QVERIFY(waitIdle());
        QCOMPARE(window->statusText(), zh(451));
        QList<int> seen;
        for (const QList<QVariant>& v : values)
            seen << v.at(0).toInt();
        QCOMPARE(seen, (QList<int>{40, 81, 100, 20, 40, 60, 80, 100}));
        QVERIFY(get<QProgressBar>("progressBar")->isHidden());
        QFile::remove(path);
    }

    // The box refuses its own version: its text is shown and nothing else arrives afterwards.
    void refusedImageShowsTheBoxTextOnce()
    {
        const QString path =
            tempFile("same.bin", sim::simImageHeader(box->value("SoftwareVersion")) + std::string(4u << 20, 'y'));
        get<QLineEdit>("edtUpgradeFile")->setText(path);
        click("btnUpgrade");
        QVERIFY(waitIdle());
        QCOMPARE(window->statusText(), QString::fromStdString(statusCodeText(300)));
        QCOMPARE(window->windowMode(), int8_t(Idle));
        QTest::qWait(800);
        QVERIFY(!window->queues().popResponse());
        QFile::remove(path);
    }

    void captureRunsAndShowsItsLines()
    {
        get<QTabWidget>("pgAllPage")->setCurrentIndex(5);
        get<QLineEdit>("edtPcapTime")->setText("2");
        Dialogs::setNextQuestionAnswer(true);
        click("btnPcap");
        QVERIFY(waitIdle());
        QCOMPARE(window->statusText(), zh(404));
        const QString lines = get<QPlainTextEdit>("edtPcapMsg")->toPlainText();
        QVERIFY2(lines.startsWith(QString::fromUtf8("启动开始抓包...")), qPrintable(lines));
        QVERIFY(lines.endsWith(QString::fromUtf8("上传文件成功...")));
        QVERIFY(window->grab().save(QUILLON_SHOT_DIR "/quillon-capture.png"));
    }

    // Last, as it takes the link down. The box goes away in the middle of the image: the bar
    // stops at once, the window is Idle and disconnected within 2 s, and the status bar says
    // where the upgrade stopped; nothing overwrites that afterwards.
    void upgradeWhoseLinkDiesSaysWhereItStopped()
    {
        sim::SimFaults faults;
        faults.upgradeStopReadingAfter = 1 << 20;
        box->setFaults(faults);
        const QString path = tempFile("lost.bin", sim::simImageHeader("V9.9") + std::string((16u << 20) - 32, 'z'));
        auto* bar = get<QProgressBar>("progressBar");
        get<QLineEdit>("edtUpgradeFile")->setText(path);
        click("btnUpgrade");
        QTRY_VERIFY_WITH_TIMEOUT(!bar->isHidden() && bar->value() > 0, 10000);
        QTest::qWait(600); // the sender stalls where the box stopped reading
        QCOMPARE(window->windowMode(), int8_t(Busy));
        const int reached = bar->value();
        QSignalSpy moved(bar, &QProgressBar::valueChanged);
        QElapsedTimer clock;
        clock.start();
        box->dropClient();
        QVERIFY(
            QTest::qWaitFor([&] { return window->windowMode() == Idle && window->pendingHandlerCount() == 0; }, 2000));
        const qint64 idleAfter = clock.elapsed();
        QCOMPARE(window->linkState(), uint8_t(0));
        QCOMPARE(moved.count(), 0);
        const QString expected = QString::fromUtf8("升级失败：连接断开 (%1%)").arg(reached);
        QCOMPARE(window->statusText(), expected);
        qInfo("link lost at %d%%: window Idle after %lld ms", reached, static_cast<long long>(idleAfter));
        QTest::qWait(1000);
        QCOMPARE(window->statusText(), expected);
        box->setFaults({});
        QFile::remove(path);
    }
};

QTEST_MAIN(TestOperationsWithBox)
#include "test_operations_with_box.moc"
