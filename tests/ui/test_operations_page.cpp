// The operations and capture pages against responses fed straight into the queue (no link
// threads): input checks, the free command, the play-mode machine, the upgrade display and the
// capture's question.
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <InfoPage.h>
#include <IpAddressEdit.h>
#include <OperationsPage.h>
#include <StringTable.h>
#include <untMain.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace quillon;
using namespace quillon::test;

namespace
{

QString zh(int id)
{
    return QString::fromStdString(loadUiString(id));
}

// A window whose link is shown up, the box at 10.0.0.9.
struct Window {
    Commandio queues;
    TfrmMain window{queues, noLink()};
    OperationsPage& page = window.operationsPage();
    Window()
    {
        window.showLinkState(1);
        window.infoPage().stbAddress()->setText("10.0.0.9");
        window.setWindowMode(Idle);
    }
    template <typename T> T* get(const char* name) { return child<T>(window, name); }
    void type(const char* name, const QString& text) { get<QLineEdit>(name)->setText(text); }
    void click(const char* name) { get<QPushButton>(name)->click(); }
    // Hands a response to the window and runs its handlers once.
    void answer(const Response& response)
    {
        queues.pushResponse(response);
        window.runPendingHandlers();
    }
    void answerOk(uint8_t type = TypeButtonCommand)
    {
        ResExtCommand ok(FuncConnect, type);
        answer(ok);
    }
    std::unique_ptr<ReqExtCommand> takeCommand()
    {
        std::unique_ptr<Request> r = takeRequest(queues);
        auto* command = dynamic_cast<ReqExtCommand*>(r.get());
        if (!command)
            return nullptr;
        r.release();
        return std::unique_ptr<ReqExtCommand>(command);
    }
    // The text of the next queued command, or a marker when none was queued.
    QString takenText()
    {
        auto command = takeCommand();
        return command ? QString::fromStdString(command->command) : QString("<no command>");
    }
};

} // namespace

class TestOperationsPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        setUiLanguage(LanguageChinese);
    }
    void init() { Dialogs::resetCounters(); }

    // Every input error shows its text in a message box and sends nothing.
    void inputErrorsSendNothing()
    {
        Window w;
        struct Case {
            std::function<void(Window&)> setUp;
            const char* button;
            int text;
        };
        const Case cases[] = {
            {[](Window& w) { w.page.pingAddress()->setText("10.0.0.9"); }, "btnPing", 421},
            {[](Window& w) { w.page.pingAddress()->clear(); }, "btnPing", 400},
            {[](Window& w) { w.page.pingAddress()->setText("0.0.0.0"); }, "btnPing", 400},
            {[](Window& w) {
                 w.page.pingAddress()->setText("10.0.0.1");
                 w.type("edtPingTime", "0");
             },
             "btnPing", 422},
            {[](Window& w) { w.type("edtPingTime", "-3"); }, "btnPing", 422},
            {[](Window& w) { w.type("edtPingTime", "5s"); }, "btnPing", 422},
            {[](Window& w) { w.page.routeAddress()->setText("10.0.0.9"); }, "btnRouteStart", 426},
            {[](Window& w) { w.page.routeAddress()->clear(); }, "btnRouteStart", 400},
            {[](Window& w) { w.type("edExecCmd", "   "); }, "btnExecCmd", 433},
            {[](Window& w) { w.type("edExecCmd", "READ Channellist"); }, "btnExecCmd", 434},
            {[](Window& w) { w.type("edExecCmd", "read Channellist x"); }, "btnExecCmd", 434},
            {[](Window& w) { w.type("edExecCmd", "read Paralist null y"); }, "btnExecCmd", 434},
            {[](Window& w) { w.type("edExecCmd", "reboot"); }, "btnExecCmd", 434},
            {[](Window& w) { w.type("edtPlayChannelURL", " "); }, "btnPlayChannelURL", 436},
            {[](Window& w) { w.type("edtPlayChannelURL", "http://a/b"); }, "btnPlayChannelURL", 437},
            {[](Window& w) { w.type("edtPlayChannelNO", ""); }, "btnPlayChannelNO", 440},
            {[](Window& w) { w.type("edtPlayChannelNO", "-1"); }, "btnPlayChannelNO", 441},
            {[](Window& w) { w.type("edtPlayChannelNO", "x1"); }, "btnPlayChannelNO", 441},
            {[](Window& w) { w.type("edtUpgradeFile", ""); }, "btnUpgrade", 447},
            {[](Window& w) { w.type("edtUpgradeFile", "/tmp/image.BIN"); }, "btnUpgrade", 448},
            {[](Window& w) { w.type("edtUpgradeFile", "/tmp/image.zip"); }, "btnUpgrade", 448},
        };
        for (const Case& c : cases) {
            Dialogs::resetCounters();
            c.setUp(w);
            w.click(c.button);
            QCOMPARE(Dialogs::lastMessageText(), zh(c.text));
            QCOMPARE(Dialogs::suppressedMessageCount(), 1);
            QCOMPARE(w.queues.waitingRequests(), size_t(0));
            QCOMPARE(w.window.pendingHandlerCount(), size_t(0));
            QCOMPARE(w.window.windowMode(), int8_t(Idle));
        }
        // A command too long for a frame: the table's text, then its length and the limit.
        Dialogs::resetCounters();
        w.type("edExecCmd", QString("ioctl reboot ") + QString(2100, 'x'));
        w.click("btnExecCmd");
        QCOMPARE(Dialogs::lastMessageText(), zh(434) + " " + zh(801).arg(2113).arg(2023));
        QCOMPARE(w.queues.waitingRequests(), size_t(0));
        // Trick play while nothing plays: the status bar only.
        Dialogs::resetCounters();
        w.page.btnPlayPauseClick();
        QCOMPARE(w.window.statusText(), zh(446));
        QCOMPARE(Dialogs::suppressedMessageCount(), 0);
        QCOMPARE(w.queues.waitingRequests(), size_t(0));
    }

    void pingRequestCarriesTheDuration()
    {
        Window w;
        w.page.pingAddress()->setText("192.168.1.20");
        for (const auto& [typed, expected] : {std::pair{"", -1}, std::pair{" 15 ", 15}}) {
            w.window.setWindowMode(Idle);
            w.type("edtPingTime", typed);
            w.get<QPlainTextEdit>("edtPingMsg")->setPlainText("old run");
            w.click("btnPing");
            auto r = takeRequest(w.queues);
            auto* ping = dynamic_cast<ReqPing*>(r.get());
            QVERIFY(ping);
            QCOMPARE(ping->target, std::string("192.168.1.20"));
            QCOMPARE(ping->duration, expected);
            QCOMPARE(w.window.windowMode(), int8_t(PingRunning));
            QVERIFY(w.get<QPlainTextEdit>("edtPingMsg")->toPlainText().isEmpty());
            QCOMPARE(w.window.statusText(), zh(423));
            ResPing done;
            done.finished = 1;
            w.answer(done);
            QCOMPARE(w.window.windowMode(), int8_t(PingDone));
            QCOMPARE(w.window.statusText(), zh(424));
        }
    }

    // A stray answer during a run: Idle, with the controls the run had locked usable again.
    void wrongTypeDuringARunUnlocksThePage()
    {
        Window w;
        w.page.startTraceRoute("10.0.0.1");
        QVERIFY(!w.get<QWidget>("gbPing")->isEnabled());
        ResUpgrade stray;
        w.answer(stray);
        QCOMPARE(w.window.windowMode(), int8_t(Idle));
        QCOMPARE(w.window.pendingHandlerCount(), size_t(0));
        QVERIFY(w.get<QWidget>("gbPing")->isEnabled());
        QVERIFY(w.get<QWidget>("btnRouteStart")->isEnabled());
        QVERIFY(!w.get<QWidget>("btnRouteStop")->isEnabled());
        QVERIFY(w.window.statusText().endsWith("ResponseID:10"));
    }

    // The free command: the ping form bypasses the address check, the general form is rebuilt,
    // a list read runs the export instead of sending.
    void freeCommands()
    {
        Window w;
        w.type("edExecCmd", "connect ping 10.0.0.9"); // the box itself: no check here
        w.click("btnExecCmd");
        auto r = takeRequest(w.queues);
        auto* ping = dynamic_cast<ReqPing*>(r.get());
        QVERIFY(ping);
        QCOMPARE(ping->target, std::string("10.0.0.9"));
        QCOMPARE(ping->duration, -1);
        QCOMPARE(w.window.windowMode(), int8_t(PingRunning));
        w.answer(ResPing());
        w.window.setWindowMode(Idle);

        w.type("edExecCmd", "  write|Key|null|5 ");
        w.click("btnExecCmd");
        auto write = w.takeCommand();
        QVERIFY(write);
        QCOMPARE(write->command, std::string("write^Key^null^5"));
        QCOMPARE(int(write->function), int(FuncWrite));
        QCOMPARE(int(write->type), int(TypeUserCommand));
        QCOMPARE(w.window.statusText(), zh(435) + "  write|Key|null|5 ");
        QCOMPARE(w.window.windowMode(), int8_t(Busy));
        ResExtCommand written(FuncWrite, TypeUserCommand);
        written.call = "Key";
        written.data = "5";
        w.answer(written);
        QCOMPARE(w.window.statusText(), QString("write, Key=5"));
        QCOMPARE(w.window.windowMode(), int8_t(Idle));

        w.type("edExecCmd", "readSTBType");
        w.click("btnExecCmd");
        auto read = w.takeCommand();
        QVERIFY(read);
        QCOMPARE(read->command, std::string("read^STBType^null"));
        ResExtCommand value(FuncRead, TypeUserCommand);
        value.call = "STBType";
        value.body = "1";
        value.status = STA_PROGRESS;
        value.body = "working";
        w.answer(value);
        QCOMPARE(w.window.statusText(), QString("working")); // still waiting
        QCOMPARE(w.window.pendingHandlerCount(), size_t(1));
        value.status = STA_OK;
        value.body = "1";
        w.answer(value);
        QCOMPARE(w.window.statusText(), QString("read, STBType=1"));

        w.type("edExecCmd", "ioctl reboot");
        w.click("btnExecCmd");
        auto reboot = w.takeCommand();
        QVERIFY(reboot);
        QCOMPARE(reboot->command, std::string("ioctl^reboot^null"));
        w.answer(ResExtCommand(FuncIoctl, TypeUserCommand));
        QCOMPARE(w.window.statusText(), zh(404));

        // List reads: the export's file dialog comes up, nothing goes to the box from here.
        Dialogs::setNextSaveFileName(QString()); // cancelled
        w.type("edExecCmd", "read^Channellist^null");
        w.click("btnExecCmd");
        QCOMPARE(Dialogs::lastFileFilter(), QString("Text files (*.txt);;All files (*.*)"));
        QCOMPARE(w.queues.waitingRequests(), size_t(0));
        QSignalSpy paramExport(w.get<QPushButton>("btnExportParams"), &QPushButton::clicked);
        Dialogs::setNextSaveFileName(QString()); // the parameter export's dialog, cancelled too
        w.type("edExecCmd", "read Paralist");
        w.click("btnExecCmd");
        QCOMPARE(paramExport.count(), 1);
        QCOMPARE(w.queues.waitingRequests(), size_t(0));
    }

    void rebootAndResetAskNothing()
    {
        Window w;
        w.click("btnSTBReboot");
        auto reboot = w.takeCommand();
        QVERIFY(reboot);
        QCOMPARE(reboot->command, std::string("ioctl^reboot^null"));
        QCOMPARE(int(reboot->type), int(TypeButtonCommand));
        QCOMPARE(w.window.statusText(), zh(431));
        ResExtCommand refused(FuncIoctl, TypeButtonCommand);
        refused.setResult(STA_ERROR, "0", 402);
        w.answer(refused);
        QCOMPARE(w.window.statusText(), QString::fromStdString(statusCodeText(402)));
        QCOMPARE(w.window.windowMode(), int8_t(Idle));
        w.click("btnSTBReset");
        auto reset = w.takeCommand();
        QVERIFY(reset);
        QCOMPARE(reset->command, std::string("ioctl^restore_setting^null"));
        QCOMPARE(Dialogs::suppressedMessageCount(), 0);
    }

    // URL, number, stepping, trick play and stop; an error changes no mode.
    void playModeMachine()
    {
        Window w;
        auto* byUrl = w.get<QPushButton>("btnPlayChannelURL");
        auto* byNumber = w.get<QPushButton>("btnPlayChannelNO");
        w.type("edtPlayChannelURL", " x rtsp://10.0.0.1/ch1 ");
        w.click("btnPlayChannelURL");
        auto play = w.takeCommand();
        QVERIFY(play);
        QCOMPARE(play->command, std::string("connect^play^null^x rtsp://10.0.0.1/ch1"));
        QCOMPARE(int(play->function), int(FuncConnect));
        QCOMPARE(int(play->type), int(TypeButtonCommand));
        ResExtCommand refused(FuncConnect, TypeButtonCommand);
        refused.setResult(STA_ERROR, "0", 603);
        w.answer(refused);
        QCOMPARE(w.page.playMode(), uint8_t(PlayNone));
        w.click("btnPlayChannelURL");
        w.takeCommand();
        w.answerOk();
        QCOMPARE(w.page.playMode(), uint8_t(PlayByUrl));
        QCOMPARE(byUrl->text(), zh(177));
        QVERIFY(!byNumber->isEnabled());
        QVERIFY(w.get<QPushButton>("btnPlayPause")->isEnabled());
        w.click("btnPlayPrev");
        auto forward = w.takeCommand();
        QVERIFY(forward);
        QCOMPARE(forward->command, std::string("connect^fast_forward^null"));
        QCOMPARE(w.window.statusText(), zh(443));
        w.answerOk();
        w.click("btnPlayChannelURL"); // now a stop
        auto stop = w.takeCommand();
        QVERIFY(stop);
        QCOMPARE(stop->command, std::string("connect^stop^null"));
        w.answerOk();
        QCOMPARE(w.page.playMode(), uint8_t(PlayNone));
        QCOMPARE(byUrl->text(), zh(176));
        QVERIFY(!w.get<QPushButton>("btnPlayBack")->isEnabled());

        w.type("edtPlayChannelNO", " 0 ");
        w.click("btnPlayChannelNO");
        auto zero = w.takeCommand();
        QVERIFY(zero);
        QCOMPARE(zero->command, std::string("connect^play^null^Channel:0"));
        QCOMPARE(w.window.statusText(), zh(442) + "0");
        w.answerOk();
        QCOMPARE(w.page.playMode(), uint8_t(PlayByNumber));
        QVERIFY(!byUrl->isEnabled());
        QCOMPARE(byNumber->text(), zh(180));
        w.click("btnChannelPrev"); // at channel 0: nothing
        QCOMPARE(w.queues.waitingRequests(), size_t(0));
        for (int channel : {1, 2}) {
            w.click("btnChannelNext");
            QCOMPARE(w.takenText(), QString("connect^play^null^Channel:%1").arg(channel));
            w.answerOk();
        }
        QCOMPARE(w.get<QLineEdit>("edtPlayChannelNO")->text(), QString("2"));
        QCOMPARE(w.page.playMode(), uint8_t(PlayByNumber)); // stepping keeps the mode
        w.click("btnChannelPrev");
        QCOMPARE(w.takenText(), QString("connect^play^null^Channel:1"));
        w.answerOk();
        QCOMPARE(w.page.currentChannel(), 1);

        // The language switch shows the stop captions while playing.
        w.window.menuLanguageEnClick();
        QCOMPARE(byNumber->text(), QString::fromStdString(loadUiString(180)));
        w.window.menuLanguageChClick();

        // Stopped: the channel steps and trick play are off again, and both ways to play are open.
        w.click("btnPlayChannelNO");
        QCOMPARE(w.takenText(), QString("connect^stop^null"));
        w.answerOk();
        QCOMPARE(w.page.playMode(), uint8_t(PlayNone));
        QCOMPARE(byNumber->text(), zh(179));
        QVERIFY(byUrl->isEnabled() && byNumber->isEnabled());
        for (const char* name : {"btnChannelNext", "btnChannelPrev", "btnPlayBack", "btnPlayPause", "btnPlayPrev"})
            QVERIFY2(!w.get<QPushButton>(name)->isEnabled(), name);
        w.click("btnPlayChannelNO");
        QCOMPARE(w.takenText(), QString("connect^play^null^Channel:1"));
        w.answerOk();
        QCOMPARE(w.page.playMode(), uint8_t(PlayByNumber));

        // The link goes down: the page stops the playback and the mode is none whatever comes.
        w.window.showLinkState(0);
        QCOMPARE(w.takenText(), QString("connect^stop^null"));
        QCOMPARE(w.page.playMode(), uint8_t(PlayNone));
        QVERIFY(w.get<QLineEdit>("edtPlayChannelNO")->text().isEmpty());
    }

    void upgradeShowsPhaseAndPercent()
    {
        Window w;
        auto* bar = w.get<QProgressBar>("progressBar");
        w.type("edtUpgradeFile", "/tmp/a.bin.bak"); // ".bin" anywhere
        w.get<QCheckBox>("chkForceUpgrade")->setChecked(true);
        w.click("btnUpgrade");
        auto r = takeRequest(w.queues);
        auto* upgrade = dynamic_cast<ReqUpgrade*>(r.get());
        QVERIFY(upgrade);
        QCOMPARE(upgrade->fileName, std::string("/tmp/a.bin.bak"));
        QCOMPARE(int(upgrade->forceUpgrade), 1);
        QCOMPARE(w.window.statusText(), zh(450));
        ResUpgrade progress;
        progress.status = STA_PROGRESS;
        progress.percent = 40;
        w.answer(progress);
        // The phases by their own words: the image still being sent, then the box upgrading.
        QCOMPARE(w.window.statusText(), QString::fromUtf8("正在发送文件...40%"));
        QVERIFY(!bar->isHidden());
        QCOMPARE(bar->value(), 40);
        progress.upgrading = 1;
        progress.percent = 0;
        w.answer(progress);
        QCOMPARE(w.window.statusText(), QString::fromUtf8("正在升级中...0%"));
        QVERIFY(bar->isHidden()); // 0 hides the bar
        QCOMPARE(w.window.pendingHandlerCount(), size_t(1));
        ResUpgrade done;
        done.setResult(STA_OK, "0", 302);
        done.percent = 100;
        w.answer(done);
        QCOMPARE(w.window.statusText(), QString::fromUtf8("升级完成"));
        QCOMPARE(w.window.windowMode(), int8_t(Idle));
        QCOMPARE(w.window.pendingHandlerCount(), size_t(0));

        // An Android box takes a zip package and offers it in the dialog.
        w.window.setStbType("1");
        Dialogs::setNextOpenFileName("/tmp/pkg.zip");
        w.click("btnSelectUpgradeFile");
        QCOMPARE(Dialogs::lastFileFilter(), QString("zip file (*.zip);;All files (*.*)"));
        w.click("btnUpgrade");
        QVERIFY(dynamic_cast<ReqUpgrade*>(takeRequest(w.queues).get()));
    }

    // The checks run in order with their fixed texts; No adds one line and sends nothing; Yes
    // sends the texts exactly as typed.
    void captureChecksAndQuestion()
    {
        Window w;
        struct Case {
            const char *time, *size, *port, *text;
        };
        const Case refused[] = {
            {"", "", "", "时间、文件大小至少输入一个!"}, {"", "32767", "", "抓包的最小值不能少于32KB !"},
            {"0", "", "", "抓包的最小值不能少于32KB !"}, {"-5", "", "", "pcap time error"},
            {"10s", "", "", "pcap time error"},          {"60", "", "70000", "pcap port error"},
        };
        auto* memo = w.get<QPlainTextEdit>("edtPcapMsg");
        memo->setPlainText("earlier capture");
        for (const Case& c : refused) {
            w.type("edtPcapTime", c.time);
            w.type("edtPcapFilesize", c.size);
            w.type("edtpcapport", c.port);
            w.click("btnPcap");
            QCOMPARE(Dialogs::lastMessageText(), QString::fromUtf8(c.text));
            QCOMPARE(w.queues.waitingRequests(), size_t(0));
        }
        w.type("edtPcapTime", " 60 ");
        w.type("edtPcapFilesize", "");
        w.type("edtpcapport", "2222");
        w.type("edtpcapip", "10.0.0.5");
        Dialogs::setNextQuestionAnswer(false);
        w.click("btnPcap");
        QCOMPARE(Dialogs::lastMessageText(), QString::fromUtf8("是否已经打开sftp server？"));
        QCOMPARE(memo->toPlainText(), QString::fromUtf8("earlier capture\nsftp server未开启..."));
        QCOMPARE(w.queues.waitingRequests(), size_t(0));

        Dialogs::setNextQuestionAnswer(true);
        w.click("btnPcap");
        auto r = takeRequest(w.queues);
        auto* pcap = dynamic_cast<ReqPcap*>(r.get());
        QVERIFY(pcap);
        QCOMPARE(pcap->captureTime, std::string(" 60 "));
        QCOMPARE(pcap->maxFileSize, std::string());
        QCOMPARE(pcap->serverIp, std::string("10.0.0.5"));
        QCOMPARE(pcap->serverPort, std::string("2222"));
        QCOMPARE(w.window.windowMode(), int8_t(Busy));
        // The running capture is shown, not the earlier check's "pcap port error".
        QCOMPARE(w.window.statusText(), QString::fromUtf8("正在抓包..."));
        Response failed(0xFF, TypePcap);
        failed.setResult(STA_ERROR, "ignored", 2);
        w.answer(failed);
        QCOMPARE(w.window.statusText(), QString::fromStdString(statusCodeText(2)));
        QCOMPARE(w.window.windowMode(), int8_t(Idle));
        QVERIFY(memo->toPlainText().startsWith("earlier capture")); // never cleared
    }

    // A long run: the memo keeps its last lines only.
    void memoKeepsItsLastLines()
    {
        Window w;
        auto* memo = w.get<QPlainTextEdit>("edtPingMsg");
        for (int i = 0; i < OperationsPage::kMemoLines + 50; ++i)
            memo->appendPlainText(QString("line %1").arg(i));
        QCOMPARE(memo->blockCount(), OperationsPage::kMemoLines);
        QVERIFY(memo->toPlainText().endsWith(QString("line %1").arg(OperationsPage::kMemoLines + 49)));
    }
};

QTEST_MAIN(TestOperationsPage)
#include "test_operations_page.moc"
