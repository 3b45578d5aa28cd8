// The configuration page and its parameter files: against the simulated box (what the box
// received, read from its frames) and against responses fed straight into the queue.
#include "UiTestSupport.h"

#include <ConfigPage.h>
#include <Dialogs.h>
#include <InfoPage.h>
#include <IpAddressEdit.h>
#include <ParamFileActions.h>
#include <StbSimulator.h>
#include <StringTable.h>
#include <untMain.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace quillon;
using namespace quillon::test;

namespace
{

// Edits and the key each shows, and the combos shown by index.
const std::pair<const char*, const char*> kEditKeys[] = {
    {"edtHomepage", "Main_HomepageUrl"},    {"edtHomepage1", "Secondary_HomepageUrl"},
    {"edtUpgradeServer", "UpgradeServer"},  {"edtNTP", "NTPDomain"},
    {"edtNTP1", "NTPDomainBackup"},         {"edtLogUploadInterval", "LogUploadInterval"},
    {"edtLogServer", "LogServerUrl"},       {"edtIptvAccount", "ntvuseraccount"},
    {"edtIptvPassword", "ntvuserpassword"}, {"edtHeartInterval", "TMSHeartBitInterval"},
    {"edtACSAddress", "ManagementDomain"},  {"edtTMSAccount", "TMSUsername"},
    {"edtTMSPasswd", "TMSPassword"},        {"edtSerialNumber", "STBSerialNumber"},
};
const std::pair<const char*, const char*> kIndexKeys[] = {
    {"cmbLogSwitch", "QoSLogSwitch"},     {"cmbBrowserLogSwitch", "browser_log_switch"},
    {"cmbTMSSwitch", "TMSEnable"},        {"cmbHeartSwitch", "TMSHeartBit"},
    {"cmbTelnet", "telnetServiceEnable"}, {"cmbAniFicker", "antiFlickerSwitch"},
    {"cmbVideoScale", "AspectRatio"},     {"cmbStreamTranType", "TransportProtocol"},
    {"cmbStarupEnter", "directplay"},     {"cmbCAProtect", "qv_op_CAregister"},
};
const std::pair<const char*, const char*> kTextKeys[] = {
    {"cmbTVStandard", "SDVideoStandard"},
    {"cmbHDMIOutput", "HDVideoStandard"},
    {"cmbChannelSwitch", "channelSwitchMode"},
    {"cmbWorkMode", "workModel"},
};

// A window connected to an in-process box, idle on the configuration page after its read.
struct Connected {
    explicit Connected(bool android)
    {
        sim::SimOptions options;
        options.port = 0;
        options.channels = 3;
        options.android = android;
        box = std::make_unique<sim::StbSimulator>(options);
        started = box->start();
        window = std::make_unique<TfrmMain>(queues, quickLinkSetup());
        window->setStbPort(box->port());
        window->show();
        child<IpAddressEdit>(*window, "ipSTBAddress")->setText("127.0.0.1");
        child<QLineEdit>(*window, "edtUserName")->setText(sim::kDefaultUser);
        child<QLineEdit>(*window, "edtPassword")->setText(sim::kDefaultPassword);
        child<QPushButton>(*window, "btnConnect")->click();
    }
    ~Connected()
    {
        window->close();
        window.reset();
        box->stop();
    }
    bool idle() const { return window->pendingHandlerCount() == 0 && window->windowMode() == Idle; }
    std::vector<std::string> writes() const
    {
        std::vector<std::string> w;
        for (const std::string& f : box->frames())
            if (f.rfind("write^", 0) == 0)
                w.push_back(f);
        return w;
    }
    void click(const char* button) { child<QPushButton>(*window, button)->click(); }

    Commandio queues;
    std::unique_ptr<sim::StbSimulator> box;
    std::unique_ptr<TfrmMain> window;
    bool started = false;
};

#define CONNECT_AND_READ(c)                                                                                            \
    QVERIFY((c).started);                                                                                              \
    QTRY_VERIFY_WITH_TIMEOUT((c).window->linkState() == 1 && (c).idle(), 15000);                                       \
    child<QTabWidget>(*(c).window, "pgAllPage")->setCurrentIndex(1);                                                   \
    QTRY_VERIFY_WITH_TIMEOUT((c).idle(), 15000)

ConfigInfo filledConfig()
{
    ConfigInfo c;
    c.connectType = 3;
    c.stbIP = "192.168.1.50";
    c.gateway = "192.168.1.1";
    c.netmask = "255.255.255.0";
    c.dns = "192.168.1.1";
    c.mainHomepageUrl = "http://10.20.0.8:8080/iptvepg/platform/auth.jsp";
    c.secondaryHomepageUrl = "http://10.20.0.18:8080/iptvepg/platform/auth.jsp";
    c.upgradeServer = "http://10.20.0.30/upgrade";
    c.ntpDomain = "ntp1.example.net";
    c.ntpDomainBackup = "ntp2.example.net";
    c.timeZone = 8;
    c.qosLogSwitch = 1;
    c.logUploadInterval = 300;
    c.logServerUrl = "http://10.20.0.40:8088/qos";
    c.browserLogSwitch = 0;
    c.ntvUserAccount = "iptv0001";
    c.ntvUserPassword = "secret";
    c.tmsEnable = 1;
    c.tmsHeartBit = 1;
    c.telnetServiceEnable = 0;
    c.tmsHeartBitInterval = 60;
    c.managementDomain = "http://10.20.0.50:7547/acs";
    c.tmsUsername = "tms0001";
    c.tmsPassword = "secret";
    c.sdVideoStandard = "PAL";
    c.hdVideoStandard = "1080i50Hz";
    c.antiFlickerSwitch = 1;
    c.channelSwitchMode = "smooth switch";
    c.aspectRatio = 1;
    c.transportProtocol = 1;
    c.workModel = "set_work_mode";
    c.directPlay = 0;
    c.caRegister = '3';
    c.stbSerialNumber = "00100299000123456789";
    return c;
}

} // namespace

class TestConfigPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        setUiLanguage(LanguageChinese);
    }
    void init() { Dialogs::resetCounters(); }

    // Faults caught: a control left empty or bound to the wrong key after entering the page; a
    // submit sending unchanged keys, or missing a changed one; storedConfig not following a write.
    void enteringReadsEveryControlAndSubmitSendsOnlyTheChangedKeys()
    {
        Connected c(false);
        CONNECT_AND_READ(c);
        TfrmMain& w = *c.window;
        QVERIFY(child<QRadioButton>(w, "rbDHCP")->isChecked());
        QCOMPARE(child<QLineEdit>(w, "edtDHCPAccount")->text(), QString("dhcp0001"));
        QCOMPARE(child<QLineEdit>(w, "edtDHCPPasswd")->text(), QString("dhcp-secret"));
        QVERIFY(child<QLineEdit>(w, "edtIP")->text().isEmpty()); // not a static box
        for (const auto& [name, key] : kEditKeys)
            QVERIFY2(child<QLineEdit>(w, name)->text().toStdString() == c.box->value(key), name);
        for (const auto& [name, key] : kIndexKeys)
            QVERIFY2(std::to_string(child<QComboBox>(w, name)->currentIndex()) == c.box->value(key), name);
        for (const auto& [name, key] : kTextKeys)
            QVERIFY2(child<QComboBox>(w, name)->currentText().toStdString() == c.box->value(key), name);
        QCOMPARE(child<QComboBox>(w, "cmbTimezone")->currentIndex(), 20); // UTC +08:00
        QCOMPARE(w.storedConfig().ntvUserAccount, std::string("iptv0001"));

        c.box->clearFrames();
        child<QComboBox>(w, "cmbTimezone")->setCurrentIndex(7);
        child<QLineEdit>(w, "edtHomepage")->setText("http://new/auth");
        child<QLineEdit>(w, "edtDHCPAccount")->setText("dhcp0002");
        child<QLineEdit>(w, "edtIP")->setText("10.9.9.9"); // not sent: the box uses DHCP
        c.click("btnConfigInfoSubmit");
        QTRY_VERIFY_WITH_TIMEOUT(c.idle(), 15000);
        QCOMPARE(c.writes(), (std::vector<std::string>{"write^dhcpaccount^null^dhcp0002",
                                                       "write^Main_HomepageUrl^null^http://new/auth",
                                                       "write^timeZone^null^UTC -05:00"}));
        QCOMPARE(c.box->frames().size(), size_t(3));
        QCOMPARE(w.statusText(), chineseText(404));
        QCOMPARE(w.storedConfig().timeZone, -5);

        // The baseline now holds what was written: the same page sends nothing.
        c.box->clearFrames();
        c.click("btnConfigInfoSubmit");
        QTRY_VERIFY_WITH_TIMEOUT(c.idle(), 15000);
        QVERIFY(c.box->frames().empty());
        QCOMPARE(w.statusText(), chineseText(486));

        // Each switch written under its own key: two combos swapped would each write the other's.
        for (const auto& [name, key] : kIndexKeys) {
            auto* combo = child<QComboBox>(w, name);
            const int next = (combo->currentIndex() + 1) % combo->count();
            combo->setCurrentIndex(next);
            c.box->clearFrames();
            c.click("btnConfigInfoSubmit");
            QTRY_VERIFY_WITH_TIMEOUT(c.idle(), 15000);
            QCOMPARE(c.writes(),
                     (std::vector<std::string>{"write^" + std::string(key) + "^null^" + std::to_string(next)}));
        }

        // The box takes one value and refuses the other: the write is said to be done in part.
        sim::SimFaults refusing;
        refusing.statusOverride["Main_HomepageUrl"] = 401;
        c.box->setFaults(refusing);
        child<QLineEdit>(w, "edtHomepage")->setText("http://refused/auth");
        child<QLineEdit>(w, "edtDHCPAccount")->setText("dhcp0003");
        c.click("btnConfigInfoSubmit");
        QTRY_VERIFY_WITH_TIMEOUT(c.idle(), 15000);
        QCOMPARE(w.statusText(), chineseText(487));
    }

    // Fault caught: an export and re-import that changes a value, so that submitting it writes.
    void exportThenImportThenSubmitSendsNothing()
    {
        QTemporaryDir dir;
        for (bool android : {false, true}) {
            Connected c(android);
            CONNECT_AND_READ(c);
            TfrmMain& w = *c.window;
            const QString chosen = dir.filePath(android ? "android" : "standard");
            Dialogs::setNextSaveFileName(chosen);
            c.click("btnExportParams");
            QCOMPARE(w.statusText(), chineseText(409));
            QTRY_VERIFY_WITH_TIMEOUT(c.idle(), 15000);
            QVERIFY(QFile::exists(chosen + ".txt"));
            QFile file(chosen + ".txt");
            QVERIFY(file.open(QIODevice::ReadOnly));
            QVERIFY(file.readAll().startsWith("[stb]\r\nconnecttype = 2\r\n"));
            if (android)
                QCOMPARE(child<QComboBox>(w, "cmbHDMIOutput")->currentText(), QString("1080P"));

            Dialogs::resetCounters();
            Dialogs::setNextOpenFileName(chosen + ".txt");
            c.click("btnImportParams");
            // The Android export has no HD mode line; the box's own list has every key.
            QCOMPARE(Dialogs::lastMessageText(), android ? QString("HDVideoStandard not set\n") : QString());
            c.box->clearFrames();
            c.click("btnConfigInfoSubmit");
            QTRY_VERIFY_WITH_TIMEOUT(c.idle(), 15000);
            QVERIFY2(c.box->frames().empty(), c.box->frames().empty() ? "" : c.box->frames()[0].c_str());
            if (android) {
                // The Android limits keep the DHCP edits disabled even when DHCP is chosen.
                child<QRadioButton>(w, "rbDHCP")->click();
                QVERIFY(child<QRadioButton>(w, "rbDHCP")->isChecked());
                QVERIFY(!child<QLineEdit>(w, "edtDHCPAccount")->isEnabled());
            }
        }
    }

    // Faults caught: a check skipped or reported with the wrong text, a request sent after an
    // input error, addresses checked for an access type that has none.
    void inputErrorsStopTheWriteAndSendNothing()
    {
        Commandio queues;
        TfrmMain window(queues, linkFreeSetup());
        window.showLinkState(1);
        ConfigPage& page = window.configPage();
        page.showConfigInfo(filledConfig());
        struct Case {
            const char* edit;
            const char* text;
            int message; // 0: accepted
        };
        const Case cases[] = {
            {"edtIP", "192.168.1.300", 415},
            {"edtIP", "a 10.0.0.1 b", 0},
            {"edtGateway", "gw", 416},
            {"edtNetmark", "255.255.255", 417},
            {"edtDNS", "", 418},
            {"edtLogUploadInterval", "-5", 419},
            {"edtLogUploadInterval", "abc", 419},
            {"edtLogUploadInterval", " 30 ", 0},
            {"edtLogUploadInterval", "", 0},
            {"edtHeartInterval", "-1", 420},
            {"edtHeartInterval", "1.5", 420},
            {"edtLogUploadInterval", "0", 0}, // zero is a value, not a missing one
            {"edtHeartInterval", "0", 0},
        };
        for (const Case& k : cases) {
            page.showConfigInfo(filledConfig());
            child<QLineEdit>(window, k.edit)->setText(k.text);
            Dialogs::resetCounters();
            page.btnConfigInfoSubmitClick();
            std::unique_ptr<Request> request = takeRequest(queues);
            if (k.message == 0) {
                QVERIFY2(request, k.text);
                window.setWindowMode(Idle);
                window.runPendingHandlers();
                queues.pushResponse(ResConfigInfo(FuncWrite));
                window.runPendingHandlers();
            } else {
                QVERIFY2(!request, k.text);
                QCOMPARE(Dialogs::lastMessageText(), chineseText(k.message));
                QCOMPARE(Dialogs::lastMessageCaption(), chineseText(414));
                QCOMPARE(window.statusText(), chineseText(k.message));
            }
        }
        // DHCP: the address edits are not checked; empty intervals and no CA selection are unset.
        page.showConfigInfo(filledConfig());
        child<QRadioButton>(window, "rbDHCP")->click();
        child<QLineEdit>(window, "edtIP")->setText("bad");
        child<QLineEdit>(window, "edtLogUploadInterval")->setText(" 30 ");
        child<QLineEdit>(window, "edtHeartInterval")->clear();
        child<QComboBox>(window, "cmbCAProtect")->setCurrentIndex(-1);
        page.btnConfigInfoSubmitClick();
        std::unique_ptr<Request> request = takeRequest(queues);
        auto* write = dynamic_cast<ReqConfigInfo*>(request.get());
        QVERIFY(write);
        QCOMPARE(int(write->function), int(FuncWrite));
        QCOMPARE(int(write->connectType), 2);
        QVERIFY(write->stbIP.empty());
        QCOMPARE(write->logUploadInterval, 30);
        QCOMPARE(write->tmsHeartBitInterval, -1);
        QCOMPARE(write->caRegister, kCaRegisterUnset);
        QCOMPARE(write->timeZone, 8);
        QCOMPARE(write->hdVideoStandard, std::string("1080i50Hz"));
        QVERIFY(write->baseline == &window.storedConfig());
        // Each connection type's button by the type the write carries (a button giving another's
        // type would send the wrong group of keys).
        for (const auto& [radio, type] :
             {std::pair<const char*, int>{"rbPPPoE", 1}, {"rbStaticIP", 3}, {"rbDHCP", 2}}) {
            queues.pushResponse(ResConfigInfo(FuncWrite));
            window.runPendingHandlers();
            page.showConfigInfo(filledConfig());
            child<QRadioButton>(window, radio)->click();
            page.btnConfigInfoSubmitClick();
            std::unique_ptr<Request> next = takeRequest(queues);
            auto* typed = dynamic_cast<ReqConfigInfo*>(next.get());
            QVERIFY2(typed, radio);
            QCOMPARE(int(typed->connectType), type);
        }
    }

    // The listed import files: their messages shown together, the page state, nothing sent,
    // storedConfig untouched.
    void importFillsThePageAndShowsTheMessagesTogether()
    {
        QTemporaryDir dir;
        Commandio queues;
        TfrmMain window(queues, linkFreeSetup());
        window.showLinkState(1);
        window.storedConfig().stbIP = "10.1.1.1";
        auto import = [&](const QByteArray& body) {
            const QString path = dir.filePath("p.txt");
            QFile file(path);
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            file.write("[stb]\r\n" + body);
            file.close();
            Dialogs::resetCounters();
            Dialogs::setNextOpenFileName(path);
            child<QPushButton>(window, "btnImportParams")->click();
        };
        import("");
        QCOMPARE(Dialogs::lastMessageText(), QString("Not found connecttype=100\nHDVideoStandard not set\n"));
        QCOMPARE(Dialogs::lastMessageCaption(), chineseText(414));
        QCOMPARE(Dialogs::suppressedMessageCount(), 1);
        QVERIFY(!child<QRadioButton>(window, "rbStaticIP")->isChecked());
        QVERIFY(!child<QRadioButton>(window, "rbDHCP")->isChecked());
        QVERIFY(child<QLineEdit>(window, "edtHomepage")->text().isEmpty());

        import("connecttype = 2\r\n");
        QVERIFY(child<QRadioButton>(window, "rbDHCP")->isChecked());
        QCOMPARE(Dialogs::lastMessageText(), QString("HDVideoStandard not set\n"));

        import("connecttype = 3\r\nstbIP = 10.0.0.5\r\ntimeZone = +8:00\r\nqv_op_CAregister = 3\r\n"
               "Main_HomepageUrl = null\r\nHDVideoStandard = 5\r\nQoSLogSwitch = on\r\n");
        QCOMPARE(Dialogs::lastMessageText(), QString("QoSLogSwitch isn't 0 or 1.\n"));
        QVERIFY(child<QRadioButton>(window, "rbStaticIP")->isChecked());
        QCOMPARE(child<QLineEdit>(window, "edtIP")->text(), QString("10.0.0.5"));
        QCOMPARE(child<QComboBox>(window, "cmbTimezone")->currentIndex(), 20);
        QCOMPARE(child<QComboBox>(window, "cmbCAProtect")->currentIndex(), 3);
        QCOMPARE(child<QLineEdit>(window, "edtHomepage")->text(), QString("null"));
        QCOMPARE(child<QComboBox>(window, "cmbHDMIOutput")->currentText(), QString("720p50Hz"));
        QCOMPARE(child<QComboBox>(window, "cmbLogSwitch")->currentIndex(), -1);

        QCOMPARE(queues.waitingRequests(), size_t(0));
        QCOMPARE(window.storedConfig().stbIP, std::string("10.1.1.1"));
        Dialogs::setNextOpenFileName(QString()); // cancelled: nothing changes
        child<QPushButton>(window, "btnImportParams")->click();
        QCOMPARE(child<QLineEdit>(window, "edtIP")->text(), QString("10.0.0.5"));
    }

    // Fault caught: the window jumping to another page, or the tabs locked, when the link drops.
    void linkDropKeepsTheWindowOnItsPage()
    {
        Commandio queues;
        TfrmMain window(queues, linkFreeSetup());
        window.showLinkState(1);
        auto* pages = child<QTabWidget>(window, "pgAllPage");
        pages->setCurrentIndex(2);
        pages->setCurrentIndex(1);
        takeRequest(queues);
        window.setWindowMode(Idle);
        window.showLinkState(0);
        QCOMPARE(pages->currentIndex(), 1);
        for (int page = 0; page < pages->count(); ++page)
            QVERIFY(pages->isTabEnabled(page));
        QVERIFY(!child<QWidget>(window, "shtSTBConfigure")->isEnabled());
        QVERIFY(child<QWidget>(window, "shtSTBInfo")->isEnabled());
        pages->setCurrentIndex(2); // still selectable, contents disabled
        QCOMPARE(pages->currentIndex(), 2);
        QVERIFY(!pages->currentWidget()->isEnabled());
        // The log page keeps its viewer, which needs no box; only the box's controls go off.
        pages->setCurrentIndex(3);
        QVERIFY(pages->currentWidget()->isEnabled());
        QVERIFY(!child<QWidget>(window, "gbLogParamSet")->isEnabledTo(&window));
    }

    // Fault caught: the Android HD modes and limits staying after a box of the standard family.
    void standardBoxAfterAnAndroidBoxGetsItsListsBack()
    {
        Commandio queues;
        TfrmMain window(queues, linkFreeSetup());
        window.showLinkState(1);
        ResSTBInfo info;
        info.stbType = "1";
        window.infoPage().showStbInfo(info);
        auto* hdmi = child<QComboBox>(window, "cmbHDMIOutput");
        QCOMPARE(hdmi->count(), 5);
        QVERIFY(!child<QWidget>(window, "cmbTimezone")->isEnabled());
        info.stbType = "0";
        window.infoPage().showStbInfo(info);
        QCOMPARE(hdmi->count(), 6);
        QCOMPARE(hdmi->itemText(0), QString("disable"));
        QVERIFY(child<QWidget>(window, "cmbTimezone")->isEnabled());
        QVERIFY(child<QWidget>(window, "chkForceUpgrade")->isEnabled());
        window.configPage().showConfigInfo(filledConfig()); // static IP: its edits usable again
        QVERIFY(child<QWidget>(window, "edtIP")->isEnabled());
        QVERIFY(!child<QWidget>(window, "edtDHCPAccount")->isEnabled());
    }

    // Keeps a picture of the filled page in both languages, shown on screen after the connected
    // windows of the tests above are gone; a switch keeps every selection.
    void filledPageInBothLanguages()
    {
        Commandio queues;
        TfrmMain window(queues, linkFreeSetup());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.showLinkState(1);
        auto* pages = child<QTabWidget>(window, "pgAllPage");
        pages->setCurrentIndex(1);
        takeRequest(queues);
        window.setWindowMode(Idle);
        window.configPage().showConfigInfo(filledConfig());
        for (int language : {LanguageChinese, LanguageEnglish}) {
            language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
            QCoreApplication::processEvents();
            QCOMPARE(child<QComboBox>(window, "cmbTimezone")->currentIndex(), 20);
            QCOMPARE(child<QComboBox>(window, "cmbCAProtect")->currentIndex(), 3);
            const QString file = QString("%1/quillon-config-page-%2.png")
                                     .arg(QUILLON_SHOT_DIR, language == LanguageEnglish ? "en" : "zh");
            QVERIFY2(window.grab().save(file), qPrintable(file));
        }
        window.menuLanguageChClick();
    }
};

QTEST_MAIN(TestConfigPage)
#include "test_config_page.moc"
