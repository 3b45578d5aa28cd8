// The window against responses fed straight into its queue (no link threads): handlers, pending
// list, link-state display and input checks.
#include "UiTestSupport.h"

#include <ConfigPage.h>
#include <Dialogs.h>
#include <InfoPage.h>
#include <IpAddressEdit.h>
#include <BoxText.h>
#include <StringTable.h>
#include <WindowOptions.h>
#include <untMain.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace quillon;
using namespace quillon::test;

namespace
{

QString zh(int id)
{
    return textIn(LanguageChinese, id);
}

ResSTBInfo sampleInfo()
{
    ResSTBInfo info;
    info.stbType = "0";
    info.stbModel = "QB-5000";
    info.serialNumber = "SN-1";
    info.softwareVersion = "V1.2";
    info.compileTime = "2024-01-02";
    info.browserVersion = "B3";
    info.hardwareVersion = "H4";
    info.macAddress = "00:11:22:33:44:55";
    info.connectType = 2;
    info.stbIP = "10.0.0.9";
    info.gateway = "10.0.0.1";
    info.dns = "10.0.0.2";
    info.ntvUserAccount = "acct&1"; // shown literally, not as an accelerator
    info.casType = "CAS";
    info.chipId = "CHIP";
    info.mainHomepageUrl = "http://home/a";
    info.secondaryHomepageUrl = "http://home/b";
    info.epgUrl = "http://epg";
    info.upgradeServer = "http://up";
    info.ntpDomain = "ntp.example";
    info.timeZone = -5;
    info.localTime = 3600;
    info.localTimeUnset = 1;
    info.logServerUrl = "http://log";
    info.managementDomain = "http://acs";
    info.tvmsHeartbitUrl = "http://tvms";
    return info;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Dialogs::setSuppressMessages(true); }
    void init() { Dialogs::resetCounters(); }

    // Faults caught: an option accepted but not applied (the live log on port 514 after all, the
    // box texts in the other encoding), Qt's own options taken for ours.
    void windowOptionsReachTheSetup()
    {
        auto parse = [](std::vector<std::string> words, LinkSetup& setup, std::string& error) {
            words.insert(words.begin(), "quillon");
            std::vector<char*> argv;
            for (std::string& w : words)
                argv.push_back(w.data());
            return parseWindowOptions(int(argv.size()), argv.data(), setup, error);
        };
        const std::string modulus(256, 'C');
        LinkSetup setup;
        std::string error;
        QVERIFY(parse({"-platform", "offscreen", "--live-log-port", "5140", "--box-encoding", "utf-8",
                       "--box-modulus=" + modulus},
                      setup, error));
        QCOMPARE(setup.liveLogPort, uint16_t(5140));
        QCOMPARE(setup.boxModulusHex, modulus);
        QVERIFY(boxEncoding() == BoxEncoding::Utf8);

        LinkSetup other;
        QVERIFY(parse({"--live-log-port=65535", "--box-encoding", "gbk"}, other, error));
        QCOMPARE(other.liveLogPort, uint16_t(65535));
        QVERIFY(other.boxModulusHex.empty());
        QVERIFY(boxEncoding() == BoxEncoding::Gbk);

        LinkSetup plain;
        QVERIFY(parse({}, plain, error));
        QCOMPARE(plain.liveLogPort, uint16_t(514));

        LinkSetup refused;
        QVERIFY(!parse({"--live-log-port", "70000"}, refused, error));
        QCOMPARE(QString::fromStdString(error), QString("--live-log-port must be 1 to 65535"));
        QCOMPARE(refused.liveLogPort, uint16_t(514));
    }

    void startsInChineseWithEmptyFields()
    {
        setUiLanguage(LanguageEnglish); // a previous choice must not survive into a new start
        Commandio queues;
        TfrmMain window(queues, noLink());
        QCOMPARE(uiLanguage(), uint8_t(LanguageChinese));
        QVERIFY(child<QAction>(window, "menuLanguageCh")->isChecked());
        QVERIFY(!child<QAction>(window, "menuLanguageEn")->isChecked());
        QCOMPARE(child<QPushButton>(window, "btnConnect")->text(), zh(25));
        QCOMPARE(child<QGroupBox>(window, "gbConnect")->title(), zh(21));
        QVERIFY(child<IpAddressEdit>(window, "ipSTBAddress")->isBlank());
        QVERIFY(child<QLineEdit>(window, "edtUserName")->text().isEmpty());
        QVERIFY(child<QLineEdit>(window, "edtPassword")->text().isEmpty());
        QCOMPARE(child<QLineEdit>(window, "edtPassword")->echoMode(), QLineEdit::Password);
        QVERIFY(labelText(window, "lblSTBModelValue").isEmpty());
        QCOMPARE(child<QTreeWidget>(window, "lvChannelList")->topLevelItemCount(), 0);
        // The not-connected display, then the status line emptied by the caption run.
        QVERIFY(window.statusText().isEmpty());
        QVERIFY(!child<QPushButton>(window, "btnRefresh")->isEnabled());
        for (const char* sheet : {"shtSTBConfigure", "shtSTBOperate", "shtremotepcap"})
            QVERIFY2(!child<QWidget>(window, sheet)->isEnabled(), sheet);
        QVERIFY(child<QWidget>(window, "shtUSBDiskConfig")->isEnabled());
        QVERIFY(!child<QWidget>(window, "chkVirtualLAN")->isEnabled());
        QCOMPARE(child<QComboBox>(window, "cmbTimezone")->count(), 25);
        QCOMPARE(child<QComboBox>(window, "cmbTimezone")->itemText(12), QString("UTC"));
        QCOMPARE(child<QComboBox>(window, "cmbTimezone")->itemText(0), QString("UTC -12:00"));
        QCOMPARE(child<QComboBox>(window, "cmbTimezone")->currentIndex(), -1);
        QCOMPARE(child<QTimer>(window, "tmrTick")->interval(), 100);
        QVERIFY(child<QTimer>(window, "tmrTick")->isActive());
        QVERIFY(!child<QTimer>(window, "tmrSTBTime")->isActive());
        QCOMPARE(child<QTabWidget>(window, "pgAllPage")->currentIndex(), 0);
        QCOMPARE(window.windowTitle(), QString("Quillon"));
        QCOMPARE(window.size(), window.minimumSize()); // opens at its minimum, may grow
        QCOMPARE(queues.waitingRequests(), size_t(0));
    }

    // Faults caught: a check missing or out of order, a request sent in spite of an error.
    void inputErrorsShowTheirTextAndSendNothing()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        auto* ip = child<IpAddressEdit>(window, "ipSTBAddress");
        auto* user = child<QLineEdit>(window, "edtUserName");
        auto* password = child<QLineEdit>(window, "edtPassword");
        auto* connect = child<QPushButton>(window, "btnConnect");

        user->setText("admin");
        password->setText("x");
        connect->click();
        QCOMPARE(window.statusText(), zh(400));
        QCOMPARE(Dialogs::lastMessageText(), zh(400));
        QCOMPARE(Dialogs::lastMessageCaption(), zh(414));

        ip->setText("0.0.0.0"); // typed explicitly: the same as blank
        connect->click();
        QCOMPARE(window.statusText(), zh(400));

        ip->setText("10.0.0.1");
        user->setText(" \t ");
        connect->click();
        QCOMPARE(window.statusText(), zh(480));

        user->setText("admin");
        password->clear();
        connect->click();
        QCOMPARE(window.statusText(), zh(481));
        QCOMPARE(Dialogs::suppressedMessageCount(), 4);
        QCOMPARE(queues.waitingRequests(), size_t(0));
        QCOMPARE(window.pendingHandlerCount(), size_t(0));
    }

    // The address control is one stop in the tab order: Tab from any octet goes on to the user
    // name, Backtab from the user name comes back to it, and Backtab from it leaves it. Faults
    // caught: Tab walking through the four octets, or leaving to a control that is hidden or
    // disabled.
    void tabLeavesTheAddressAsOneStop()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        auto* ip = child<IpAddressEdit>(window, "ipSTBAddress");
        auto* user = child<QLineEdit>(window, "edtUserName");
        const auto octets = ip->findChildren<QLineEdit*>();
        QCOMPARE(octets.size(), qsizetype(4));
        for (QLineEdit* octet : octets) {
            octet->setFocus();
            QTRY_VERIFY(octet->hasFocus());
            QTest::keyClick(octet, Qt::Key_Tab);
            QTRY_VERIFY(user->hasFocus());
        }
        QTest::keyClick(user, Qt::Key_Backtab);
        QTRY_VERIFY(ip->isAncestorOf(QApplication::focusWidget()));
        QLineEdit* inside = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QVERIFY(inside);
        QTest::keyClick(inside, Qt::Key_Backtab);
        QTRY_VERIFY(!ip->isAncestorOf(QApplication::focusWidget()));
        QVERIFY(QApplication::focusWidget() != user);
        QWidget* before = QApplication::focusWidget();
        QVERIFY(before && before->isEnabled() && before->isVisible());
    }

    // Fault caught: the user name sent with its blanks, or the password trimmed.
    void connectSendsTrimmedUserNameAndRawPassword()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        child<IpAddressEdit>(window, "ipSTBAddress")->setText("10.0.0.1");
        child<QLineEdit>(window, "edtUserName")->setText("admin ");
        child<QLineEdit>(window, "edtPassword")->setText(" x ");
        child<QPushButton>(window, "btnConnect")->click();
        std::unique_ptr<Request> request = takeRequest(queues);
        auto* connect = dynamic_cast<ReqConnect*>(request.get());
        QVERIFY(connect);
        QCOMPARE(QString::fromStdString(connect->ip), QString("10.0.0.1"));
        QCOMPARE(connect->port, 9003);
        QCOMPARE(QString::fromStdString(connect->userName), QString("admin"));
        QCOMPARE(QString::fromStdString(connect->password), QString(" x "));
        QCOMPARE(window.windowMode(), int8_t(Busy));
        QVERIFY(!child<QWidget>(window, "pgAllPage")->isEnabled());
        QVERIFY(window.statusText().startsWith(zh(401)));
    }

    // The whole road after a connect: information, then the channel list, each through its
    // pending handler. Faults caught: a value label left empty or swapped, a wrong time-zone text,
    // the clock not started, the channel list not read after the information.
    void connectAnswerReadsInformationThenChannelList()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        child<IpAddressEdit>(window, "ipSTBAddress")->setText("127.0.0.1");
        child<QLineEdit>(window, "edtUserName")->setText("admin");
        child<QLineEdit>(window, "edtPassword")->setText("quillon");
        child<QPushButton>(window, "btnConnect")->click();
        QVERIFY(takeRequest(queues));

        ResConnect connected;
        queues.pushResponse(connected);
        QTRY_COMPARE(queues.waitingRequests(), size_t(1));
        std::unique_ptr<Request> infoRequest = takeRequest(queues);
        QCOMPARE(int(infoRequest->type), int(TypeStbInfo));
        QCOMPARE(window.statusText(), zh(406));

        queues.pushResponse(sampleInfo());
        QTRY_COMPARE(queues.waitingRequests(), size_t(1));
        std::unique_ptr<Request> listRequest = takeRequest(queues);
        auto* list = dynamic_cast<ReqExportChannelList*>(listRequest.get());
        QVERIFY(list);
        QVERIFY(list->fileName.empty());
        QCOMPARE(window.statusText(), zh(407));

        QCOMPARE(labelText(window, "lblSTBModelValue"), QString("QB-5000"));
        QCOMPARE(labelText(window, "lblSerialNumberValue"), QString("SN-1"));
        QCOMPARE(labelText(window, "lblSoftVersionValue"), QString("V1.2"));
        QCOMPARE(labelText(window, "lblCompileDateValue"), QString("2024-01-02"));
        QCOMPARE(labelText(window, "lblBrowserVersionValue"), QString("B3"));
        QCOMPARE(labelText(window, "lblHardwareVersionValue"), QString("H4"));
        QCOMPARE(labelText(window, "lblMACAddressValue"), QString("00:11:22:33:44:55"));
        QCOMPARE(labelText(window, "lblConnectTypeValue"), QString("DHCP"));
        QCOMPARE(labelText(window, "lblIPAddressValue"), QString("10.0.0.9"));
        QCOMPARE(labelText(window, "lblGatewayValue"), QString("10.0.0.1"));
        QCOMPARE(labelText(window, "lblDNSAddressValue"), QString("10.0.0.2"));
        QCOMPARE(labelText(window, "lblNetUserAccountValue"), QString("acct&1"));
        QCOMPARE(labelText(window, "lblCATypeValue"), QString("CAS"));
        QCOMPARE(labelText(window, "lblChipIdValue"), QString("CHIP"));
        QCOMPARE(labelText(window, "lblHomepageValue"), QString("http://home/a"));
        QCOMPARE(labelText(window, "lblHomepage1Value"), QString("http://home/b"));
        QCOMPARE(labelText(window, "lblEPGUrlValue"), QString("http://epg"));
        QCOMPARE(labelText(window, "lblUpgradeServerValue"), QString("http://up"));
        QCOMPARE(labelText(window, "lblNTPValue"), QString("ntp.example"));
        QCOMPARE(labelText(window, "lblTimeZoneValue"), QString("UTC -05:00"));
        QCOMPARE(labelText(window, "lblCurrTimeValue"), QString("01:00:00 1970-01-01"));
        QCOMPARE(labelText(window, "lblQosLogValue"), QString("http://log"));
        QCOMPARE(labelText(window, "lblTMSUrlValue"), QString("http://acs"));
        QCOMPARE(labelText(window, "lblTVMSUrlValue"), QString("http://tvms"));
        QVERIFY(child<QTimer>(window, "tmrSTBTime")->isActive());

        ResExportChannelList channels;
        channels.channelList =
            "<Channel UserChannelID=\"7\" ChannelURL=\"igmp://239.1.1.7:5000\" TimeShift=\"1\" "
            "TimeShiftURL=\"rtsp://10.1.1.1/ch7\"/>"
            "<Channel UserChannelID=\"8\" ChannelURL=\"igmp://239.1.1.8:5000|rtsp://10.1.1.1/ch8\" TimeShift=\"0\" "
            "TimeShiftURL=\"\"/>";
        queues.pushResponse(channels);
        auto* view = child<QTreeWidget>(window, "lvChannelList");
        QTRY_COMPARE(view->topLevelItemCount(), 2);
        QTreeWidgetItem* first = view->topLevelItem(0);
        QCOMPARE(first->text(0), QString("7"));
        QCOMPARE(first->text(1), QString("YES"));
        QCOMPARE(first->text(2), QString("igmp://239.1.1.7:5000"));
        QCOMPARE(first->text(3), QString("rtsp://10.1.1.1/ch7"));
        QTreeWidgetItem* second = view->topLevelItem(1);
        QCOMPARE(second->text(1), QString("NO"));
        QCOMPARE(second->text(2), QString("igmp://239.1.1.8:5000"));
        QCOMPARE(second->text(3), QString("rtsp://10.1.1.1/ch8"));
        QCOMPARE(window.statusText(), zh(404));
        QCOMPARE(window.windowMode(), int8_t(Idle));
        QCOMPARE(window.pendingHandlerCount(), size_t(0));
    }

    void unquotedChannelEntries()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.infoPage().fillChannelList(
            "x UserChannelID=12 ChannelURL=udp://239.0.0.12:1234 TimeShift=0 TimeShiftURL=");
        auto* view = child<QTreeWidget>(window, "lvChannelList");
        QCOMPARE(view->topLevelItemCount(), 1);
        QCOMPARE(view->topLevelItem(0)->text(0), QString("12"));
        QCOMPARE(view->topLevelItem(0)->text(1), QString("NO"));
        QCOMPARE(view->topLevelItem(0)->text(2), QString("udp://239.0.0.12:1234"));
        QCOMPARE(view->topLevelItem(0)->text(3), QString());
    }

    // Faults caught: progress dropping the handler, the bar not shown, Idle not hiding it.
    void channelListProgressKeepsTheHandler()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        window.infoPage().requestChannelList(QString());
        ResExportChannelList progress;
        progress.status = STA_PROGRESS;
        progress.percent = 40;
        queues.pushResponse(progress);
        auto* bar = child<QProgressBar>(window, "progressBar");
        QTRY_VERIFY(bar->isVisible());
        QCOMPARE(bar->value(), 40);
        QCOMPARE(window.pendingHandlerCount(), size_t(1));
        ResExportChannelList done;
        queues.pushResponse(done);
        QTRY_COMPARE(window.pendingHandlerCount(), size_t(0));
        QVERIFY(!bar->isVisible());
        QCOMPARE(window.windowMode(), int8_t(Idle));
    }

    // Faults caught: a response of another type taken as this one, the window left Busy, the
    // channel list read after a failed information read of the wrong type.
    void wrongResponseTypeIsReportedAndDropped()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.infoPage().requestStbInfo();
        QVERIFY(takeRequest(queues));
        ResExportChannelList wrong;
        queues.pushResponse(wrong);
        QTRY_COMPARE(window.pendingHandlerCount(), size_t(0));
        QCOMPARE(window.statusText(), zh(403) + ", ResponseID:5");
        QCOMPARE(window.windowMode(), int8_t(Idle));
        QCOMPARE(queues.waitingRequests(), size_t(0));
    }

    void boxErrorsShowTheCodeTextOrTheMessage()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        child<IpAddressEdit>(window, "ipSTBAddress")->setText("10.0.0.1");
        child<QLineEdit>(window, "edtUserName")->setText("admin");
        child<QLineEdit>(window, "edtPassword")->setText("x");
        child<QPushButton>(window, "btnConnect")->click();
        ResConnect refused;
        refused.setResult(STA_ERROR, "ignored", 404);
        queues.pushResponse(refused);
        QTRY_COMPARE(window.pendingHandlerCount(), size_t(0));
        QCOMPARE(window.statusText(), QString::fromUtf8("已存在其它连接"));

        window.infoPage().requestStbInfo();
        ResSTBInfo failed;
        failed.setResult(STA_ERROR, "socket error:111", 0);
        queues.pushResponse(failed);
        // The channel list is read all the same.
        QTRY_COMPARE(window.statusText(), zh(407));
        QVERIFY(labelText(window, "lblSTBModelValue").isEmpty());
    }

    // The walk: registration order, head removal continuing in the same tick, a handler added
    // during the walk reached in the same walk, a waiting handler kept.
    void pendingHandlersRunInOrder()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        child<QTimer>(window, "tmrTick")->stop();
        QStringList calls;
        int waits = 0;
        window.addPendingHandler([&] {
            calls << "a";
            window.addPendingHandler([&] {
                calls << "c";
                return 1;
            });
            return 1;
        });
        window.addPendingHandler([&] {
            calls << "b";
            return ++waits >= 2 ? 1 : 0;
        });
        window.addPendingHandler(PendingHandler()); // empty: never added
        QCOMPARE(window.pendingHandlerCount(), size_t(2));
        window.runPendingHandlers();
        QCOMPARE(calls, QStringList({"a", "b", "c"}));
        QCOMPARE(window.pendingHandlerCount(), size_t(1));
        window.runPendingHandlers();
        QCOMPARE(calls, QStringList({"a", "b", "c", "b"}));
        QCOMPARE(window.pendingHandlerCount(), size_t(0));
        window.runPendingHandlers(); // empty list: nothing happens
        QCOMPARE(calls.size(), 4);
    }

    // Faults caught: a caption missing from the tables (still Chinese in English), a combo
    // re-filled by appending or losing its selection, the first start's texts not restored.
    // Faults caught: pages left filled after a lost link, a wrong status text, a state other
    // than 0 or 1 acted upon.
    void lostLinkClearsThePages()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showLinkState(1);
        QCOMPARE(child<QPushButton>(window, "btnConnect")->text(), zh(26));
        QVERIFY(child<QPushButton>(window, "btnRefresh")->isEnabled());
        QVERIFY(child<QWidget>(window, "shtremotepcap")->isEnabled());
        window.infoPage().showStbInfo(sampleInfo());
        window.infoPage().fillChannelList("UserChannelID=\"1\" ChannelURL=\"u\" TimeShift=\"0\" TimeShiftURL=\"\"");
        child<QLineEdit>(window, "edtIP")->setText("1.2.3.4");
        child<QComboBox>(window, "cmbTimezone")->setCurrentIndex(3);
        child<QLineEdit>(window, "edExecCmd")->setText("read^x^null");
        child<QPlainTextEdit>(window, "edtPingMsg")->setPlainText("line");
        child<QComboBox>(window, "cmbLogLevel")->setCurrentIndex(1);

        window.showLinkState(2);
        QCOMPARE(labelText(window, "lblSTBModelValue"), QString("QB-5000"));

        window.showLinkState(0);
        QCOMPARE(window.statusText(), zh(402));
        QCOMPARE(child<QPushButton>(window, "btnConnect")->text(), zh(25));
        QVERIFY(!child<QPushButton>(window, "btnExportChannelList")->isEnabled());
        for (const char* sheet : {"shtSTBConfigure", "shtSTBOperate", "shtremotepcap"})
            QVERIFY2(!child<QWidget>(window, sheet)->isEnabled(), sheet);
        QVERIFY(labelText(window, "lblSTBModelValue").isEmpty());
        QVERIFY(labelText(window, "lblCurrTimeValue").isEmpty());
        QVERIFY(!child<QTimer>(window, "tmrSTBTime")->isActive());
        QCOMPARE(child<QTreeWidget>(window, "lvChannelList")->topLevelItemCount(), 0);
        QVERIFY(child<QLineEdit>(window, "edtIP")->text().isEmpty());
        QCOMPARE(child<QComboBox>(window, "cmbTimezone")->currentIndex(), -1);
        QVERIFY(child<QLineEdit>(window, "edExecCmd")->text().isEmpty());
        QCOMPARE(child<QComboBox>(window, "cmbLogLevel")->currentIndex(), -1);
        // What ping wrote stays, ended by the time of the loss, until the next connect; an empty
        // memo gets no mark.
        const QStringList kept = child<QPlainTextEdit>(window, "edtPingMsg")->toPlainText().split('\n');
        QCOMPARE(kept.size(), 2);
        QCOMPARE(kept[0], QString("line"));
        QVERIFY2(QRegularExpression("^" + zh(796) + " \\d\\d:\\d\\d:\\d\\d$").match(kept[1]).hasMatch(),
                 qPrintable(kept[1]));
        QVERIFY(child<QPlainTextEdit>(window, "edtRouteMsg")->toPlainText().isEmpty());
        window.showLinkState(1);
        QVERIFY(child<QPlainTextEdit>(window, "edtPingMsg")->toPlainText().isEmpty());
    }

    // Faults caught: the Android list not shown or its limits not applied; "01" taken for "1";
    // a later language switch bringing the standard list back for an Android box.
    void androidBoxLimitsTheConfiguration()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showLinkState(1);
        ResSTBInfo info = sampleInfo();
        info.stbType = "01";
        window.infoPage().showStbInfo(info);
        QCOMPARE(child<QComboBox>(window, "cmbHDMIOutput")->count(), 6);
        QVERIFY(child<QWidget>(window, "cmbTimezone")->isEnabled());

        info.stbType = "1";
        window.infoPage().showStbInfo(info);
        auto* hdmi = child<QComboBox>(window, "cmbHDMIOutput");
        QCOMPARE(hdmi->count(), 5);
        QCOMPARE(hdmi->itemText(0), QString("1080P"));
        for (const char* name : {"edtIP", "cmbTimezone", "btnPlayPause", "chkForceUpgrade", "edtSerialNumber"})
            QVERIFY2(!child<QWidget>(window, name)->isEnabled(), name);
        window.menuLanguageEnClick();
        QCOMPARE(hdmi->count(), 5);
        QCOMPARE(hdmi->itemText(4), QString("480P"));

        // Another box of the standard family: the next switch shows the whole standard list.
        info.stbType = "0";
        window.infoPage().showStbInfo(info);
        window.menuLanguageChClick();
        QCOMPARE(hdmi->count(), 6);
        QCOMPARE(hdmi->itemText(5), QString("1080i60Hz"));
    }

    void timeZoneAndConnectTypeTexts()
    {
        QCOMPARE(InfoPage::timeZoneText(8), QString("UTC +08:00"));
        QCOMPARE(InfoPage::timeZoneText(-5), QString("UTC -05:00"));
        QCOMPARE(InfoPage::timeZoneText(0), QString("UTC +00:00"));
        QCOMPARE(InfoPage::timeZoneText(13), QString("UTC +13:00"));
        QCOMPARE(InfoPage::connectTypeText(3), QString("StaticIP"));
        QCOMPARE(InfoPage::connectTypeText(4), QString());
    }

    void stbClockRunsFromUtcSeconds()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.startStbClock(0, true);
        QCOMPARE(labelText(window, "lblCurrTimeValue"), QString("00:00:00 1970-01-01"));
        auto* timer = child<QTimer>(window, "tmrSTBTime");
        QVERIFY(timer->isActive());
        for (int i = 0; i < 10; ++i)
            QMetaObject::invokeMethod(timer, "timeout", Qt::DirectConnection);
        QCOMPARE(labelText(window, "lblCurrTimeValue"), QString("00:00:10 1970-01-01"));
        window.startStbClock(-1, true);
        QVERIFY(!timer->isActive());
        QCOMPARE(labelText(window, "lblCurrTimeValue"), QString("00:00:10 1970-01-01"));
        // Day and month told apart, and the clock ticking once a second.
        window.startStbClock(1700000000, true);
        QCOMPARE(labelText(window, "lblCurrTimeValue"), QString("22:13:20 2023-11-14"));
        QCOMPARE(timer->interval(), 1000);
    }

    void connectingTextCyclesThroughTwelveDots()
    {
        setUiLanguage(LanguageChinese);
        QString text = InfoPage::nextConnectingText();
        while (text != zh(401)) // wherever the shared counter stands, it comes back to no dots
            text = InfoPage::nextConnectingText();
        for (int dots = 1; dots <= 12; ++dots)
            QCOMPARE(InfoPage::nextConnectingText(), zh(401) + QString(dots, '.'));
        QCOMPARE(InfoPage::nextConnectingText(), zh(401));
    }

    void exportAppendsTxtUnlessAKnownExtensionOccurs()
    {
        QCOMPARE(InfoPage::exportFileName("list"), QString("list.txt"));
        QCOMPARE(InfoPage::exportFileName("list.ini"), QString("list.ini"));
        QCOMPARE(InfoPage::exportFileName("my.txt.bak"), QString("my.txt.bak"));
        QCOMPARE(InfoPage::exportFileName("LIST.Txt"), QString("LIST.Txt.txt"));
        QCOMPARE(InfoPage::exportFileName("LIST.TXT"), QString("LIST.TXT")); // all lower or all upper
        QCOMPARE(InfoPage::exportFileName("BOX.INI"), QString("BOX.INI"));

        Commandio queues;
        TfrmMain window(queues, noLink());
        Dialogs::setNextSaveFileName(QString()); // cancelled
        window.infoPage().btnExportChannelListClick();
        QCOMPARE(queues.waitingRequests(), size_t(0));
        Dialogs::setNextSaveFileName("/tmp/channels");
        window.infoPage().btnExportChannelListClick();
        std::unique_ptr<Request> request = takeRequest(queues);
        auto* list = dynamic_cast<ReqExportChannelList*>(request.get());
        QVERIFY(list);
        QCOMPARE(QString::fromStdString(list->fileName), QString("/tmp/channels.txt"));
        QCOMPARE(window.statusText(), zh(408));
    }

    void ipAddressKeyboardEntry()
    {
        IpAddressEdit edit;
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        edit.octetField(0)->setFocus();
        QTest::keyClicks(edit.octetField(0), "10.");
        QVERIFY(edit.octetField(1)->hasFocus());
        QTest::keyClicks(edit.octetField(1), "192"); // a full octet moves on by itself
        QVERIFY(edit.octetField(2)->hasFocus());
        QTest::keyClicks(edit.octetField(2), "7.");
        QTest::keyClicks(edit.octetField(3), "999"); // held at 255
        QCOMPARE(edit.text(), QString("10.192.7.255"));
        QCOMPARE(edit.address(), 0x0AC007FFu);
        QTest::keyClick(edit.octetField(3), Qt::Key_Backspace);
        QTest::keyClick(edit.octetField(3), Qt::Key_Backspace);
        QTest::keyClick(edit.octetField(3), Qt::Key_Backspace);
        QTest::keyClick(edit.octetField(3), Qt::Key_Backspace); // empty: back to the third octet
        QVERIFY(edit.octetField(2)->hasFocus());
        QApplication::clipboard()->setText(" 192.168.1.20 ");
        QTest::keySequence(edit.octetField(2), QKeySequence::Paste);
        QCOMPARE(edit.address(), 0xC0A80114u);
        QVERIFY(!edit.setText("1.2.3"));
        QVERIFY(!edit.setText("1.2.3.256"));
        QCOMPARE(edit.text(), QString("192.168.1.20"));
        QVERIFY(edit.setText("255.255.255.255")); // the top of every octet is an address too
        QCOMPARE(edit.address(), 0xFFFFFFFFu);
        QApplication::clipboard()->setText("10.0.0.255");
        QTest::keySequence(edit.octetField(0), QKeySequence::Paste);
        QCOMPARE(edit.text(), QString("10.0.0.255"));
        edit.clear();
        QVERIFY(edit.isBlank());
        QCOMPARE(edit.address(), 0u);
    }

    // Faults caught: Enter doing nothing in an edit, or pressing btnConnect from another page.
    void enterPressesConnect()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        child<IpAddressEdit>(window, "ipSTBAddress")->setText("10.0.0.1");
        child<QLineEdit>(window, "edtUserName")->setText("admin");
        auto* password = child<QLineEdit>(window, "edtPassword");
        password->setText("x");
        QTest::keyClick(password, Qt::Key_Return);
        QCOMPARE(queues.waitingRequests(), size_t(1));
        takeRequest(queues);
        window.setWindowMode(Idle);
        window.showLinkState(0);
        child<QTabWidget>(window, "pgAllPage")->setCurrentIndex(4);
        QTest::keyClick(child<QLineEdit>(window, "edtConfigFile"), Qt::Key_Return);
        QCOMPARE(queues.waitingRequests(), size_t(0));
    }

    void windowModesLockAndUnlock()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showLinkState(1);
        window.setWindowMode(PingRunning);
        QVERIFY(!child<QWidget>(window, "shtSTBInfo")->isEnabled());
        QVERIFY(!child<QWidget>(window, "btnPing")->isEnabled());
        QVERIFY(child<QWidget>(window, "btnStopPing")->isEnabled());
        QVERIFY(!child<QWidget>(window, "gbRouter")->isEnabled());
        window.setWindowMode(PingDone);
        QVERIFY(child<QWidget>(window, "shtSTBInfo")->isEnabled());
        QVERIFY(!child<QWidget>(window, "btnStopPing")->isEnabled());
        window.setWindowMode(TraceRunning);
        QVERIFY(!child<QWidget>(window, "gbPing")->isEnabled());
        QVERIFY(child<QWidget>(window, "btnRouteStop")->isEnabled());
        window.setWindowMode(TraceDone);
        QVERIFY(child<QWidget>(window, "gbPing")->isEnabled());
        window.setWindowMode(9); // stored only
        QCOMPARE(window.windowMode(), int8_t(9));
        QVERIFY(child<QWidget>(window, "pgAllPage")->isEnabled());
    }

    void pageChangeToConfigurationReadsIt()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showLinkState(1);
        child<QTabWidget>(window, "pgAllPage")->setCurrentIndex(1);
        std::unique_ptr<Request> request = takeRequest(queues);
        auto* read = dynamic_cast<ReqConfigInfo*>(request.get());
        QVERIFY(read);
        QCOMPARE(int(read->function), int(FuncRead));
        QCOMPARE(static_cast<const ConfigInfo&>(*read), ConfigInfo());
        QCOMPARE(window.statusText(), zh(411));
        ResConfigInfo answer;
        answer.stbIP = "10.1.1.1";
        queues.pushResponse(answer);
        QTRY_COMPARE(window.windowMode(), int8_t(Idle));
        QCOMPARE(QString::fromStdString(window.storedConfig().stbIP), QString("10.1.1.1"));
    }

    // Fault caught: closing while connected without telling the box.
    void closingWhileConnectedQueuesOneDisconnect()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        window.showLinkState(1);
        window.close();
        std::unique_ptr<Request> request = takeRequest(queues);
        QVERIFY(request);
        QCOMPARE(int(request->type), int(TypeDisconnect));
        QCOMPARE(queues.waitingRequests(), size_t(0));
    }

    // Keeps a picture of the window in both languages for a person to look at.
    void grabWindowToPng()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.showLinkState(1);
        window.infoPage().showStbInfo(sampleInfo());
        window.infoPage().fillChannelList("UserChannelID=\"1\" ChannelURL=\"igmp://239.1.1.1:5000\" TimeShift=\"1\" "
                                          "TimeShiftURL=\"rtsp://10.1.1.1/1\"");
        auto* pages = child<QTabWidget>(window, "pgAllPage");
        for (int language : {LanguageChinese, LanguageEnglish}) {
            language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
            for (int page = 0; page < pages->count(); ++page) {
                pages->setCurrentIndex(page);
                QCoreApplication::processEvents();
                const QString file = QString("%1/quillon-window-%2-page%3.png")
                                         .arg(QUILLON_SHOT_DIR, language == LanguageEnglish ? "en" : "zh")
                                         .arg(page);
                QVERIFY2(window.grab().save(file), qPrintable(file));
            }
        }
        window.menuLanguageChClick();
    }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
