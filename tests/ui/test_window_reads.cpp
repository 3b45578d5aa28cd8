// What a user reads in the window: the status after a partial read, the language items, the user
// name sent, and values a GBK box holds.
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <InfoPage.h>
#include <IpAddressEdit.h>
#include <StbSimulator.h>
#include <StringTable.h>
#include <untMain.h>

#include <QAction>
#include <QMenu>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

using namespace quillon;
using namespace quillon::test;

namespace
{

QString textIn(int id, uint8_t language)
{
    const uint8_t saved = uiLanguage();
    setUiLanguage(language);
    QString text = QString::fromStdString(loadUiString(id));
    setUiLanguage(saved);
    return text;
}

QString zh(int id)
{
    return textIn(id, LanguageChinese);
}

void login(TfrmMain& window, const QString& user, const char* password = sim::kDefaultPassword)
{
    child<IpAddressEdit>(window, "ipSTBAddress")->setText("127.0.0.1");
    child<QLineEdit>(window, "edtUserName")->setText(user);
    child<QLineEdit>(window, "edtPassword")->setText(password);
    child<QPushButton>(window, "btnConnect")->click();
}

ResSTBInfo partialInfo()
{
    ResSTBInfo info;
    info.stbModel = "QB-5000";
    info.setResult(STA_PART_OK, "read CASType failed,errorid:401; ", 0);
    return info;
}

} // namespace

class TestWindowReads : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        setUiLanguage(LanguageChinese);
    }

    // Fault caught: the channel list read that follows a partial information read reports plain
    // success (404) over it.
    void partialInformationReadStaysPartialAfterTheChannelList()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        login(window, "admin");
        QVERIFY(takeRequest(queues));
        queues.pushResponse(ResConnect());
        QTRY_COMPARE(queues.waitingRequests(), size_t(1));
        QCOMPARE(int(takeRequest(queues)->type), int(TypeStbInfo));

        queues.pushResponse(partialInfo());
        QTRY_COMPARE(queues.waitingRequests(), size_t(1));
        QCOMPARE(int(takeRequest(queues)->type), int(TypeExportChannelList));
        QCOMPARE(labelText(window, "lblSTBModelValue"), QString("QB-5000"));
        queues.pushResponse(ResExportChannelList());
        QTRY_COMPARE(window.pendingHandlerCount(), size_t(0));
        QCOMPARE(window.statusText(), zh(487));

        // A full read afterwards is plain success again.
        window.infoPage().btnRefreshClick();
        QTRY_COMPARE(queues.waitingRequests(), size_t(1));
        QCOMPARE(int(takeRequest(queues)->type), int(TypeStbInfo));
        ResSTBInfo full;
        full.stbModel = "QB-5000";
        queues.pushResponse(full);
        QTRY_COMPARE(queues.waitingRequests(), size_t(1));
        takeRequest(queues);
        queues.pushResponse(ResExportChannelList());
        QTRY_COMPARE(window.pendingHandlerCount(), size_t(0));
        QCOMPARE(window.statusText(), zh(404));
    }

    // Fault caught: one item captioned with the other's text (the same language twice).
    void eachLanguageItemCarriesItsOwnCaption()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        auto* english = child<QAction>(window, "menuLanguageEn");
        auto* chinese = child<QAction>(window, "menuLanguageCh");
        QVERIFY(english && chinese);
        for (uint8_t language : {LanguageEnglish, LanguageChinese}) {
            language == LanguageEnglish ? window.menuLanguageEnClick() : window.menuLanguageChClick();
            QCOMPARE(english->text(), textIn(3, language));
            QCOMPARE(chinese->text(), textIn(4, language));
            QVERIFY(english->text() != chinese->text());
            QCOMPARE(child<QMenu>(window, "menuLanguage")->title(), textIn(2, language));
        }
    }

    // Fault caught: blanks kept at the start of the user name (only the end trimmed), or blanks
    // inside it removed.
    void userNamesAreTrimmedAtBothEnds()
    {
        const struct {
            const char* typed;
            const char* sent;
        } cases[] = {{"  admin", "admin"}, {"\tadmin \t", "admin"}, {" ad min ", "ad min"}, {"管理员 ", "管理员"}};
        for (const auto& c : cases) {
            Commandio queues;
            TfrmMain window(queues, noLink());
            login(window, QString::fromUtf8(c.typed));
            std::unique_ptr<Request> request = takeRequest(queues);
            auto* connect = dynamic_cast<ReqConnect*>(request.get());
            QVERIFY2(connect, c.typed);
            QCOMPARE(QString::fromStdString(connect->userName), QString::fromUtf8(c.sent));
        }
        Commandio queues;
        TfrmMain window(queues, noLink());
        login(window, " \t ");
        QVERIFY(!takeRequest(queues));
        QCOMPARE(window.statusText(), zh(480));
    }

    // The real link against a box that holds GBK values and fails one information key.
    // Faults caught: GBK shown as replacement characters, the partial read shown as success.
    void aGbkBoxShowsItsValuesAndAPartialRead()
    {
        sim::SimOptions options;
        options.port = 0;
        options.channels = 2;
        options.gbkValues = true;
        sim::StbSimulator box(options);
        QVERIFY(box.start());
        sim::SimFaults faults;
        faults.statusOverride["CASType"] = 401;
        box.setFaults(faults);

        Commandio queues;
        LinkSetup setup;
        LinkTimeouts timeouts;
        timeouts.reply = std::chrono::milliseconds(3000);
        timeouts.watchdogPoll = std::chrono::milliseconds(200);
        setup.timeouts = timeouts;
        auto window = std::make_unique<TfrmMain>(queues, setup);
        window->setStbPort(box.port());
        login(*window, sim::kDefaultUser);
        QTRY_COMPARE_WITH_TIMEOUT(child<QTreeWidget>(*window, "lvChannelList")->topLevelItemCount(), 2, 15000);
        QTRY_COMPARE_WITH_TIMEOUT(window->windowMode(), int8_t(Idle), 5000);
        QCOMPARE(labelText(*window, "lblSTBModelValue"), QString::fromUtf8("QB-5000 高清机顶盒"));
        QCOMPARE(labelText(*window, "lblNetUserAccountValue"), QString::fromUtf8("用户一二三四五六七八九"));
        QCOMPARE(labelText(*window, "lblCATypeValue"), QString());
        QCOMPARE(window->statusText(), zh(487));

        // The configuration page reads the account as text too.
        child<QTabWidget>(*window, "pgAllPage")->setCurrentIndex(1);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromStdString(window->storedConfig().ntvUserAccount),
                                  QString::fromUtf8("用户一二三四五六七八九"), 10000);
        window->close();
        window.reset();
        box.stop();
    }
};

QTEST_MAIN(TestWindowReads)
#include "test_window_reads.moc"
