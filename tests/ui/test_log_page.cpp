// The log page: log parameters against requests and answers and against the simulated box,
// the live log from the box into the viewer and the files, filters, and loaded log files.
#include "../LiveLogSupport.h"
#include "UiTestSupport.h"

#include <Dialogs.h>
#include <IpAddressEdit.h>
#include <LogPage.h>
#include <LogRowModel.h>
#include <LogViewer.h>
#include <StbSimulator.h>
#include <StringTable.h>
#include <untMain.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTabWidget>
#include <QFile>
#include <QLineEdit>
#include <QTableView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <fstream>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

using namespace quillon;
using namespace quillon::test;

namespace
{

QString zh(int id)
{
    return QString::fromStdString(loadUiString(id));
}

std::unique_ptr<ReqLogParams> takeLogRequest(Commandio& queues)
{
    std::unique_ptr<Request> request = takeRequest(queues);
    auto* log = dynamic_cast<ReqLogParams*>(request.get());
    if (!log)
        return nullptr;
    request.release();
    return std::unique_ptr<ReqLogParams>(log);
}

LiveLogReceiver::Options loopback(uint16_t port = 0)
{
    LiveLogReceiver::Options options;
    options.port = port;
    options.bindAddress = "127.0.0.1";
    return options;
}

void selectAddress(TfrmMain& window, const QString& address)
{
    QComboBox* box = window.logPage().localAddressBox();
    int index = box->findText(address);
    if (index < 0) {
        box->addItem(address);
        index = box->count() - 1;
    }
    box->setCurrentIndex(index);
}

std::string utf8(const QString& text)
{
    return text.toStdString();
}

// Sends `count` rows "<prefix> N" and waits until the viewer holds `total` rows.
bool sendRows(UdpSender& sender, LogRowModel& model, const std::string& prefix, int count, int total)
{
    for (int i = 0; i < count; ++i)
        if (!sender.send(prefix + " " + std::to_string(i)))
            --i;
    return QTest::qWaitFor([&] { return model.rowCount() >= total; }, 10000) && model.rowCount() == total;
}

void writeFile(const QString& path, const std::string& bytes)
{
    std::ofstream out(utf8(path), std::ios::binary);
    out << bytes;
}

} // namespace

class TestLogPage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        Dialogs::setSuppressMessages(true);
        setUiLanguage(LanguageChinese);
    }

    // Faults caught: -1 fields sent as 0 or table index; blanks kept on submit; fast set
    // trimming or taking the first address when one was chosen.
    void submitAndFastSetBuildTheirRequests()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        LogPage& page = window.logPage();
        page.btnLogParamSubmitClick();
        auto request = takeLogRequest(queues);
        QVERIFY(request);
        QCOMPARE(int(request->function), int(FuncWrite));
        QCOMPARE(request->addrType, -1);
        QCOMPARE(request->logLevel, -1);
        QCOMPARE(request->logType, -1);
        QCOMPARE(request->outputType, -1);
        QVERIFY(request->addrValue.empty());
        QCOMPARE(window.statusText(), zh(454));
        QCOMPARE(window.windowMode(), int8_t(Busy));

        child<QComboBox>(window, "cmbLogAddrType")->setCurrentIndex(1);
        page.localAddressBox()->setEditText("  ftp://10.0.0.9/logs ");
        child<QComboBox>(window, "cmbLogType")->setCurrentIndex(4);
        page.btnLogParamSubmitClick();
        request = takeLogRequest(queues);
        QVERIFY(request);
        QCOMPARE(request->addrType, 1);
        QCOMPARE(request->addrValue, std::string("ftp://10.0.0.9/logs"));
        QCOMPARE(request->logType, 20);

        // Typed text over the list: no item selected, so fast set takes the first address.
        QComboBox* address = page.localAddressBox();
        address->clear();
        address->addItems({"10.1.1.1", "127.0.0.1"});
        address->setEditText(" 10.9.9.9 ");
        page.btnLogParamFastSetClick();
        request = takeLogRequest(queues);
        QVERIFY(request);
        QCOMPARE(request->addrValue, std::string("10.1.1.1"));
        QCOMPARE(request->addrType, 0);
        QCOMPARE(request->logLevel, 7);
        QCOMPARE(request->logType, 16);
        QCOMPARE(request->outputType, 2);
        QCOMPARE(child<QComboBox>(window, "cmbLogLevel")->currentIndex(), 3);
        QCOMPARE(child<QComboBox>(window, "cmbLogOutputType")->currentIndex(), 2);
        QCOMPARE(window.statusText(), zh(455));

        address->setCurrentIndex(1);
        page.btnLogParamFastSetClick();
        request = takeLogRequest(queues);
        QVERIFY(request);
        QCOMPARE(request->addrValue, std::string("127.0.0.1"));
    }

    // Choosing another address type by hand empties the address, since an address of one type
    // means nothing for the other; a change made by the program (a read answer) does not.
    // Faults caught: the address kept and then written as the other type's address.
    void choosingAnAddressTypeEmptiesTheAddress()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showLinkState(1);
        window.show();
        LogPage& page = window.logPage();
        QComboBox* type = child<QComboBox>(window, "cmbLogAddrType");
        type->setCurrentIndex(0);
        page.localAddressBox()->setEditText("10.0.0.9");
        QCOMPARE(page.localAddressBox()->currentText(), QString("10.0.0.9"));
        QTest::keyClick(type, Qt::Key_Down);
        QCOMPARE(type->currentIndex(), 1);
        QVERIFY(page.localAddressBox()->currentText().isEmpty());
        page.btnLogParamSubmitClick();
        const auto request = takeLogRequest(queues);
        QVERIFY(request);
        QCOMPARE(request->addrType, 1);
        QVERIFY(request->addrValue.empty());
    }

    // Faults caught: a read answer's value outside a table selecting some item; the address
    // filled for addrType -1; a write's answer changing controls; STA_PART_OK not shown.
    void readAnswersFillTheCombos()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        LogPage& page = window.logPage();
        page.localAddressBox()->setEditText("old");
        page.btnLogParamRefreshClick();
        QVERIFY(page.localAddressBox()->currentText().isEmpty());
        auto request = takeLogRequest(queues);
        QVERIFY(request);
        QCOMPARE(int(request->function), int(FuncRead));
        QCOMPARE(request->addrType, -1);

        ResLogParams answer(FuncRead);
        answer.addrType = -1;
        answer.addrValue = "10.2.2.2";
        answer.logLevel = 5;
        answer.logType = 17;
        answer.outputType = 3;
        answer.setResult(STA_OK, "", 0);
        queues.pushResponse(answer);
        window.runPendingHandlers();
        QVERIFY(page.localAddressBox()->currentText().isEmpty());
        QCOMPARE(child<QComboBox>(window, "cmbLogLevel")->currentIndex(), -1);
        QCOMPARE(child<QComboBox>(window, "cmbLogType")->currentText(), zh(252));
        QCOMPARE(child<QComboBox>(window, "cmbLogOutputType")->currentIndex(), 3);
        QCOMPARE(window.statusText(), zh(404));
        QCOMPARE(window.windowMode(), int8_t(Idle));

        child<QComboBox>(window, "cmbLogAddrType")->setCurrentIndex(0);
        page.btnLogParamRefreshClick();
        takeLogRequest(queues);
        answer.addrType = 0;
        answer.logLevel = 6;
        answer.setResult(STA_PART_OK, "read LogType failed:401", 0);
        queues.pushResponse(answer);
        window.runPendingHandlers();
        QCOMPARE(page.localAddressBox()->currentText(), QString("10.2.2.2"));
        QCOMPARE(child<QComboBox>(window, "cmbLogLevel")->currentIndex(), 2);
        QCOMPARE(child<QComboBox>(window, "cmbLogAddrType")->currentIndex(), 0);
        QCOMPARE(window.statusText(), zh(487));

        // The first address type is a type too: its address is written with it.
        page.btnLogParamSubmitClick();
        request = takeLogRequest(queues);
        QVERIFY(request);
        QCOMPARE(request->addrType, 0);
        QCOMPARE(request->addrValue, std::string("10.2.2.2"));
        QCOMPARE(request->logLevel, 6);
        ResLogParams written(FuncWrite);
        written.logLevel = 0;
        written.setResult(STA_ERROR, "write failed", 0);
        queues.pushResponse(written);
        window.runPendingHandlers();
        QCOMPARE(child<QComboBox>(window, "cmbLogLevel")->currentIndex(), 2);
        QCOMPARE(window.statusText(), QString("write failed"));
        QCOMPARE(window.windowMode(), int8_t(Idle));
    }

    // Against the simulated box: fast set writes the four values, a refresh reads them back,
    // and the live log then arrives in the viewer and in both files; link loss stops it.
    void fastSetStartsALiveLogFromTheBox()
    {
        QTemporaryDir dir;
        const uint16_t logPort = freeUdpPort();
        sim::SimOptions options;
        options.port = 0;
        options.logRate = 200;
        options.logPort = logPort;
        sim::StbSimulator box(options);
        QVERIFY(box.start());
        Commandio queues;
        LinkSetup setup;
        LinkTimeouts timeouts;
        timeouts.reply = std::chrono::milliseconds(3000);
        timeouts.watchdogPoll = std::chrono::milliseconds(200);
        setup.timeouts = timeouts;
        TfrmMain window(queues, setup);
        window.setStbPort(box.port());
        window.logPage().viewer().setLiveLogOptions(loopback(logPort));
        child<IpAddressEdit>(window, "ipSTBAddress")->setText("127.0.0.1");
        child<QLineEdit>(window, "edtUserName")->setText(sim::kDefaultUser);
        child<QLineEdit>(window, "edtPassword")->setText(sim::kDefaultPassword);
        child<QPushButton>(window, "btnConnect")->click();
        QTRY_COMPARE_WITH_TIMEOUT(window.linkState(), uint8_t(1), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(window.pendingHandlerCount(), size_t(0), 15000);

        // A level outside the table and the run-log type, as the box reports them.
        box.setValue("LogLevel", "5");
        box.setValue("LogType", "17");
        child<QComboBox>(window, "cmbLogAddrType")->setCurrentIndex(0);
        window.logPage().btnLogParamRefreshClick();
        QTRY_COMPARE_WITH_TIMEOUT(window.pendingHandlerCount(), size_t(0), 10000);
        QCOMPARE(window.logPage().localAddressBox()->currentText(), QString::fromStdString(box.value("LogServer")));
        QCOMPARE(child<QComboBox>(window, "cmbLogLevel")->currentIndex(), -1);
        QCOMPARE(child<QComboBox>(window, "cmbLogType")->currentText(), zh(252));

        const QString livePath = dir.filePath("live.log");
        const QString filteredPath = dir.filePath("filtered.log");
        child<QLineEdit>(window, "edtLiveLogFile")->setText(livePath);
        child<QLineEdit>(window, "edtSaveFilterLogFile")->setText(filteredPath);
        child<QCheckBox>(window, "chkHttp")->setChecked(true);
        window.logPage().viewer().btnApplyFilterClick();
        selectAddress(window, "127.0.0.1");
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(true);
        QVERIFY(!child<QWidget>(window, "btnLocalLog")->isEnabledTo(&window.logPage()));
        window.logPage().btnLogParamFastSetClick();
        QTRY_COMPARE_WITH_TIMEOUT(window.pendingHandlerCount(), size_t(0), 10000);
        QCOMPARE(window.statusText(), zh(404));
        QCOMPARE(box.value("LogServer"), std::string("127.0.0.1"));
        QCOMPARE(box.value("LogOutPutType"), std::string("2"));
        QCOMPARE(box.value("LogLevel"), std::string("7"));
        QCOMPARE(box.value("LogType"), std::string("16"));

        LogRowModel& model = window.logPage().viewer().model();
        QTRY_VERIFY_WITH_TIMEOUT(model.rowCount() >= 20, 10000);
        int red = 0;
        for (int row = 0; row < model.rowCount(); ++row)
            red += model.rowMatches(row) == model.shownText(row).contains("HTTP", Qt::CaseInsensitive) ? 0 : 1000;
        QCOMPARE(red, 0);
        QCOMPARE(child<QTableView>(window, "lbLogs")->currentIndex().row(), model.rowCount() - 1);

        // Link loss unchecks the switch: the receiver stops, the files are complete.
        box.dropClient();
        QTRY_VERIFY_WITH_TIMEOUT(!child<QCheckBox>(window, "chkPrintLiveLog")->isChecked(), 10000);
        QCOMPARE(window.logPage().viewer().logViewMode(), LogViewNone);
        QVERIFY(!window.logPage().viewer().receiver().running());
        const std::string live = readWholeFile(utf8(livePath));
        const std::string filtered = readWholeFile(utf8(filteredPath));
        QVERIFY(live.find("[HTTP] #0 ") != std::string::npos);
        QVERIFY(live.find("\r\n") != std::string::npos);
        QVERIFY(!filtered.empty());
        QVERIFY(filtered.size() < live.size());
        QVERIFY(filtered.find("[RTSP]") == std::string::npos);
        window.close();
        box.stop();
    }

    // Faults caught: a bind failure only logged while the switch stays on, or emptying the file
    // the user agreed to replace although nothing replaces it.
    void bindFailureIsShownAndUnchecksTheSwitch()
    {
        HeldUdpPort holder;
        QVERIFY(holder.port() != 0);
        QTemporaryDir dir;
        const QString livePath = dir.filePath("live.log");
        {
            QFile earlier(livePath);
            QVERIFY(earlier.open(QIODevice::WriteOnly));
            earlier.write("yesterday's log\n");
        }

        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showLinkState(1); // the live log's controls need the box
        LogViewer& viewer = window.logPage().viewer();
        viewer.setLiveLogOptions(loopback(holder.port()));
        child<QLineEdit>(window, "edtLiveLogFile")->setText(livePath);
        Dialogs::resetCounters();
        Dialogs::setNextQuestionAnswer(true); // replace it
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(true);
        QCOMPARE(readWholeFile(utf8(livePath)), std::string("yesterday's log\n"));
        QCOMPARE(Dialogs::suppressedMessageCount(), 1);
        QVERIFY2(Dialogs::lastMessageText().contains("Address already in use"), qPrintable(Dialogs::lastMessageText()));
        QVERIFY(Dialogs::lastMessageText().startsWith(zh(790)));
        QVERIFY(!child<QCheckBox>(window, "chkPrintLiveLog")->isChecked());
        QCOMPARE(viewer.logViewMode(), LogViewNone);
        QVERIFY(child<QWidget>(window, "edtLiveLogFile")->isEnabledTo(&window.logPage()));
    }

    // Live rows through the window: zero bytes as line breaks in one row, the 50 000-row rule,
    // rows red only after Apply, the filter's later datagrams written to the filtered file.
    void liveRowsFilterAndTheRowLimit()
    {
        QTemporaryDir dir;
        Commandio queues;
        TfrmMain window(queues, noLink());
        LogViewer& viewer = window.logPage().viewer();
        viewer.setLiveLogOptions(loopback(freeUdpPort()));
        const QString filteredPath = dir.filePath("f.log");
        child<QLineEdit>(window, "edtSaveFilterLogFile")->setText(filteredPath);
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(true);
        QCOMPARE(viewer.logViewMode(), LogViewLive);
        QCOMPARE(viewer.logScrollWidth(), 2048);
        QVERIFY(!child<QWidget>(window, "edtSaveFilterLogFile")->isEnabledTo(&window.logPage()));
        UdpSender sender(viewer.liveLogOptions().port);
        sender.send(std::string("usb one\0usb two", 15));
        LogRowModel& model = viewer.model();
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 1, 5000);
        QCOMPARE(model.shownText(0), QString("usb one\nusb two"));
        QVERIFY(!model.rowMatches(0)); // no keyword applied: nothing is red

        child<QLineEdit>(window, "edtAutoFilter")->setText("USB");
        QVERIFY(!model.rowMatches(0)); // not before Apply
        viewer.btnApplyFilterClick();
        QVERIFY(model.rowMatches(0));
        QCOMPARE(model.data(model.index(0), Qt::ForegroundRole).value<QColor>(), QColor(255, 0, 0));
        sender.send("Usb later\n");
        sender.send("other\n");
        for (int i = 4; i <= 50001; ++i)
            if (!sender.send("r" + std::to_string(i)))
                i--; // a full socket buffer on a busy machine: send again
        QTRY_COMPARE_WITH_TIMEOUT(int(viewer.receiver().stats().received), 50001, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 50001, 5000);
        sender.send("the 50002nd");
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 1, 5000);
        QCOMPARE(model.shownText(0), QString("the 50002nd"));
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(false);
        QCOMPARE(model.rowCount(), 1); // the rows stay after the stop
        QVERIFY(child<QWidget>(window, "edtSaveFilterLogFile")->isEnabledTo(&window.logPage()));
        QCOMPARE(QString::fromStdString(readWholeFile(utf8(filteredPath))), QString("Usb later\r\n"));
    }

    // The addresses offered for the box to send its live log to: every IPv4 address of this
    // machine's interfaces, each once, those the box can reach first. Fault caught: loopback
    // addresses first, so that the default is one the box cannot reach.
    void localAddressesPutTheReachableOnesFirst()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        QStringList own;
        ifaddrs* interfaces = nullptr;
        QVERIFY(::getifaddrs(&interfaces) == 0);
        for (ifaddrs* i = interfaces; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
                continue;
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(i->ifa_addr)->sin_addr, text, sizeof text);
            own << text;
        }
        ::freeifaddrs(interfaces);
        QStringList offered;
        QComboBox* box = window.logPage().localAddressBox();
        for (int i = 0; i < box->count(); ++i)
            offered << box->itemText(i);
        for (const QString& address : own)
            QCOMPARE(offered.count(address), 1);
        const auto loopback = [](const QString& a) { return a.startsWith("127."); };
        const auto firstLoopback = std::find_if(offered.begin(), offered.end(), loopback);
        QVERIFY2(std::find_if_not(firstLoopback, offered.end(), loopback) == offered.end(),
                 qPrintable(offered.join(", ")));
        if (std::any_of(own.begin(), own.end(), [&](const QString& a) { return !loopback(a); }))
            QVERIFY2(!loopback(box->currentText()), qPrintable(box->currentText()));
    }

    // Datagrams the kernel dropped for a full receive buffer are counted on the status bar, with
    // their own words. Fault caught: the count shown with another message's text.
    void kernelDropsAreShownAsLost()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        LogViewer& viewer = window.logPage().viewer();
        LiveLogReceiver::Options options = loopback(freeUdpPort());
        options.receiveBuffer = 2048; // a few datagrams: a burst overflows it
        viewer.setLiveLogOptions(options);
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(true);
        QVERIFY(viewer.receiver().running());
        UdpSender sender(options.port);
        const std::string row(1000, 'b');
        for (int i = 0; i < 3000; ++i)
            sender.send(row);
        QTest::qWait(200);
        sender.send("after the burst"); // carries the kernel's count of the drops before it
        QTRY_VERIFY_WITH_TIMEOUT(viewer.receiver().stats().received >= 1, 5000);
        QTest::qWait(300);
        const uint64_t lost = viewer.receiver().stats().kernelDropped;
        if (lost == 0)
            QSKIP("the kernel dropped nothing or does not count its drops here");
        QTRY_COMPARE_WITH_TIMEOUT(window.statusText(), QString::number(lost) + QString::fromUtf8(" 条丢失"), 5000);
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(false);
    }

    // Faults caught: the name rules of the save dialogs; a loaded file's filtered rows not
    // saved at once; an overlong line ending the loading.
    void savePathsAndLoadedFiles()
    {
        QTemporaryDir dir;
        Commandio queues;
        TfrmMain window(queues, noLink());
        LogViewer& viewer = window.logPage().viewer();
        Dialogs::setNextSaveFileName(dir.filePath("my.log"));
        viewer.btnLiveLogClick();
        QCOMPARE(child<QLineEdit>(window, "edtLiveLogFile")->text(), dir.filePath("my.log"));
        Dialogs::setNextSaveFileName(dir.filePath("report.Log"));
        viewer.btnBrowseFilterLogSaveFileClick();
        QCOMPARE(child<QLineEdit>(window, "edtSaveFilterLogFile")->text(), dir.filePath("report.Log.txt"));

        const QString logPath = dir.filePath("box.log");
        {
            std::ofstream out(utf8(logPath), std::ios::binary);
            out << "HTTP one\r\n" << std::string(3000, 'x') << " http\r\nplain\r\nDRM two\n";
        }
        child<QCheckBox>(window, "chkDRM")->setChecked(true);
        viewer.btnApplyFilterClick();
        Dialogs::setNextOpenFileName(logPath);
        viewer.btnLocalLogClick();
        QCOMPARE(viewer.logViewMode(), LogViewFile);
        LogRowModel& model = viewer.model();
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(window.statusText(), "1 " + zh(792));
        QVERIFY(model.shownText(1).endsWith(zh(793)));
        QCOMPARE(model.shownText(1).size(), 2047 + zh(793).size());
        QCOMPARE(model.shownText(2), QString("plain"));

        Dialogs::setNextSaveFileName(dir.filePath("filtered"));
        viewer.btnBrowseFilterLogSaveFileClick();
        QCOMPARE(QString::fromStdString(readWholeFile(utf8(dir.filePath("filtered.txt")))), QString("DRM two\r\n"));
        child<QCheckBox>(window, "chkHttp")->setChecked(true);
        viewer.btnApplyFilterClick();
        const std::string saved = readWholeFile(utf8(dir.filePath("filtered.txt")));
        QCOMPARE(saved, "HTTP one\r\n" + std::string(3000, 'x') + " http\r\nDRM two\r\n");

        // A path that does not exist changes nothing but the edit.
        Dialogs::setNextOpenFileName(dir.filePath("missing.log"));
        viewer.btnLocalLogClick();
        QCOMPARE(model.rowCount(), 4);
        QCOMPARE(child<QLineEdit>(window, "edtLocalLogFile")->text(), dir.filePath("missing.log"));
    }
    // Faults caught: the view jumping to the newest row while the user reads older ones; not
    // resuming at the end; the toggle not showing or not changing the state.
    void followingStopsWhenTheUserScrollsUp()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.show();
        child<QTabWidget>(window, "pgAllPage")->setCurrentIndex(3);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        LogViewer& viewer = window.logPage().viewer();
        viewer.setLiveLogOptions(loopback(freeUdpPort()));
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(true);
        UdpSender sender(viewer.liveLogOptions().port);
        LogRowModel& model = viewer.model();
        auto* view = child<QTableView>(window, "lbLogs");
        auto* follow = child<QCheckBox>(window, "chkFollowLog");
        QScrollBar* bar = view->verticalScrollBar();
        QVERIFY(follow->isChecked());
        QVERIFY(sendRows(sender, model, "first", 300, 300));
        QTRY_VERIFY(bar->maximum() > 0 && bar->value() == bar->maximum());
        QCOMPARE(view->currentIndex().row(), 299);

        bar->setValue(10); // the user scrolls up to read
        QVERIFY(!viewer.following());
        QVERIFY(!follow->isChecked());
        QVERIFY(sendRows(sender, model, "more", 100, 400));
        QApplication::processEvents();
        QCOMPARE(bar->value(), 10);
        QCOMPARE(view->currentIndex().row(), 299);

        bar->setValue(bar->maximum()); // back at the end
        QVERIFY(viewer.following());
        QVERIFY(follow->isChecked());
        QVERIFY(sendRows(sender, model, "last", 10, 410));
        QTRY_COMPARE(view->currentIndex().row(), 409);
        QTRY_COMPARE(bar->value(), bar->maximum());

        follow->click();
        QVERIFY(!viewer.following());
        bar->setValue(0);
        QVERIFY(sendRows(sender, model, "x", 5, 415));
        QCOMPARE(bar->value(), 0);
        follow->click();
        QVERIFY(viewer.following());
        QCOMPARE(view->currentIndex().row(), 414);
        QTRY_COMPARE(bar->value(), bar->maximum());
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(false);
    }

    // Faults caught: a keyword box bound to another box's word or captioned with it, or left out
    // of the filter (the last one, HMS, included): each box alone shows exactly the row that
    // holds its word.
    void eachKeywordBoxFiltersItsOwnWord()
    {
        static const char* const kWords[22] = {
            "HOST",  "HTTP",       "RTSP", "BUFFER",   "REQUEST",     "OPEN",    "IGMP", "URL",
            "ERROR", "CONNECTION", "PVR",  "DOWNLOAD", "MEDIAPLAYER", "UPGRADE", "DRM",  "ACS",
            "DVB",   "SQM",        "LOG",  "UPNP",     "TEMPLATE",    "HMS"};
        QTemporaryDir dir;
        Commandio queues;
        TfrmMain window(queues, noLink());
        std::string rows;
        for (const char* word : kWords)
            rows += std::string(word) + " row\r\n";
        const QString logPath = dir.filePath("box.log");
        writeFile(logPath, rows);
        Dialogs::setNextOpenFileName(logPath);
        child<QPushButton>(window, "btnLocalLog")->click();
        auto* view = child<QTableView>(window, "lbLogs");
        QCOMPARE(view->model()->rowCount(), 22);
        child<QCheckBox>(window, "chkMatchingOnly")->setChecked(true);
        for (int i = 0; i < 22; ++i) {
            auto* box = child<QCheckBox>(window, LogPage::kKeywordBoxes[i]);
            // The box is ticked by its caption: the caption names the rows it shows.
            QCOMPARE(box->text().toUpper(), QString(kWords[i]));
            box->setChecked(true);
            child<QPushButton>(window, "btnApplyFilter")->click();
            QCOMPARE(view->model()->rowCount(), 1);
            QCOMPARE(view->model()->index(0, 0).data().toString(), QString(kWords[i]) + " row");
            box->setChecked(false);
        }
    }

    // Faults caught: the toggle showing every row, missing rows that arrive later, staying on
    // an old filter; with no keyword set nothing shown at all; a file not loadable offline.
    void matchingRowsOnlyForLiveRowsAndFilesWithoutABox()
    {
        QTemporaryDir dir;
        Commandio queues;
        TfrmMain window(queues, noLink());
        LogViewer& viewer = window.logPage().viewer();
        LogRowModel& model = viewer.model();
        auto* view = child<QTableView>(window, "lbLogs");
        auto* matching = child<QCheckBox>(window, "chkMatchingOnly");

        // No box: its controls are off, the viewer's are on.
        QVERIFY(!child<QGroupBox>(window, "gbLogParamSet")->isEnabledTo(&window));
        QVERIFY(!child<QCheckBox>(window, "chkPrintLiveLog")->isEnabledTo(&window));
        for (const char* name : {"btnLocalLog", "btnApplyFilter", "chkMatchingOnly", "lbLogs", "edtAutoFilter",
                                 "btnBrowseFilterLogSaveFile", "chkDRM"})
            QVERIFY2(child<QWidget>(window, name)->isEnabledTo(&window), name);
        const QString logPath = dir.filePath("box.log");
        writeFile(logPath, "DRM one\r\nplain\r\nhttp two\r\nDRM three\r\n");
        Dialogs::setNextOpenFileName(logPath);
        child<QPushButton>(window, "btnLocalLog")->click();
        QCOMPARE(model.rowCount(), 4);
        matching->setChecked(true);
        QCOMPARE(view->model()->rowCount(), 4); // no keyword yet: every row
        child<QCheckBox>(window, "chkDRM")->setChecked(true);
        child<QPushButton>(window, "btnApplyFilter")->click();
        QCOMPARE(view->model()->rowCount(), 2);
        QCOMPARE(view->model()->index(1, 0).data().toString(), QString("DRM three"));
        child<QLineEdit>(window, "edtAutoFilter")->setText("plain");
        child<QPushButton>(window, "btnApplyFilter")->click();
        QCOMPARE(view->model()->rowCount(), 3);
        matching->setChecked(false);
        QCOMPARE(view->model()->rowCount(), 4);

        // The live log: rows arriving while the toggle is on are shown when they match.
        window.showLinkState(1);
        QVERIFY(child<QCheckBox>(window, "chkPrintLiveLog")->isEnabledTo(&window));
        child<QLineEdit>(window, "edtAutoFilter")->setText("USB");
        child<QCheckBox>(window, "chkDRM")->setChecked(false);
        child<QPushButton>(window, "btnApplyFilter")->click();
        viewer.setLiveLogOptions(loopback(freeUdpPort()));
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(true);
        matching->setChecked(true);
        UdpSender sender(viewer.liveLogOptions().port);
        for (const char* row : {"usb a", "other", "USB b", "more"})
            sender.send(row);
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 4, 5000);
        QCOMPARE(view->model()->rowCount(), 2);
        QCOMPARE(view->model()->index(1, 0).data().toString(), QString("USB b"));
        QCOMPARE(view->currentIndex().row(), 1); // following the newest shown row
        matching->setChecked(false);
        QCOMPARE(view->model()->rowCount(), 4);
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(false);
    }

    // Faults caught: rows wiped on a link drop, no mark of the loss, rows still red for keywords
    // whose boxes were cleared; rows kept past the next connect.
    void aLinkDropKeepsTheRowsAndDropsTheFilter()
    {
        Commandio queues;
        TfrmMain window(queues, noLink());
        window.showLinkState(1);
        LogViewer& viewer = window.logPage().viewer();
        LogRowModel& model = viewer.model();
        viewer.setLiveLogOptions(loopback(freeUdpPort()));
        child<QCheckBox>(window, "chkHttp")->setChecked(true);
        child<QPushButton>(window, "btnApplyFilter")->click();
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(true);
        UdpSender sender(viewer.liveLogOptions().port);
        sender.send("HTTP get");
        sender.send("plain");
        QTRY_COMPARE_WITH_TIMEOUT(model.rowCount(), 2, 5000);
        QVERIFY(model.rowMatches(0));

        window.showLinkState(0);
        QVERIFY(!viewer.receiver().running());
        QVERIFY(!child<QCheckBox>(window, "chkHttp")->isChecked());
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.shownText(0), QString("HTTP get"));
        QVERIFY(!model.rowMatches(0)); // no longer red
        QVERIFY2(QRegularExpression("^" + zh(796) + " \\d\\d:\\d\\d:\\d\\d$").match(model.shownText(2)).hasMatch(),
                 qPrintable(model.shownText(2)));

        window.showLinkState(1);
        QCOMPARE(model.rowCount(), 0);
    }

    // Faults caught: a filtered save replacing a file this window did not write without asking,
    // writing after a No, asking again for its own file, saying nothing about what it saved; the
    // live log replacing a foreign file without asking.
    void savesAskBeforeReplacingAForeignFile()
    {
        QTemporaryDir dir;
        Commandio queues;
        TfrmMain window(queues, noLink());
        LogViewer& viewer = window.logPage().viewer();
        const QString logPath = dir.filePath("box.log");
        writeFile(logPath, "DRM one\nplain\nDRM two\n");
        const QString filtered = dir.filePath("filtered.log");
        writeFile(filtered, "from an earlier run\n");
        child<QCheckBox>(window, "chkDRM")->setChecked(true);
        viewer.btnApplyFilterClick();
        Dialogs::setNextOpenFileName(logPath);
        viewer.btnLocalLogClick();
        child<QLineEdit>(window, "edtSaveFilterLogFile")->setText(filtered);

        Dialogs::resetCounters();
        Dialogs::setNextQuestionAnswer(false);
        viewer.btnApplyFilterClick();
        QVERIFY(Dialogs::lastMessageText().contains(filtered));
        QCOMPARE(readWholeFile(utf8(filtered)), std::string("from an earlier run\n"));
        QCOMPARE(window.statusText(), zh(816) + filtered);

        Dialogs::setNextQuestionAnswer(true);
        viewer.btnApplyFilterClick();
        QCOMPARE(readWholeFile(utf8(filtered)), std::string("DRM one\r\nDRM two\r\n"));
        QCOMPARE(window.statusText(), zh(799).arg(2).arg(filtered));
        QVERIFY(viewer.wroteFile(filtered));

        Dialogs::resetCounters(); // its own file: replaced without a question
        child<QLineEdit>(window, "edtAutoFilter")->setText("plain");
        viewer.btnApplyFilterClick();
        QVERIFY(Dialogs::lastMessageText().isEmpty());
        QCOMPARE(readWholeFile(utf8(filtered)), std::string("DRM one\r\nplain\r\nDRM two\r\n"));

        // A file that cannot be made: the status names it, and nothing is said to be saved.
        const QString unwritable = dir.filePath("no such folder/filtered.log");
        child<QLineEdit>(window, "edtSaveFilterLogFile")->setText(unwritable);
        viewer.btnApplyFilterClick();
        QCOMPARE(window.statusText(), zh(816) + unwritable);
        QVERIFY(!viewer.wroteFile(unwritable));

        // The live log's file: a foreign one is left alone after a No.
        const QString live = dir.filePath("live.log");
        writeFile(live, "kept\n");
        child<QLineEdit>(window, "edtLiveLogFile")->setText(live);
        child<QLineEdit>(window, "edtSaveFilterLogFile")->clear();
        viewer.setLiveLogOptions(loopback(freeUdpPort()));
        Dialogs::setNextQuestionAnswer(false);
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(true);
        UdpSender sender(viewer.liveLogOptions().port);
        sender.send("new row");
        QTRY_COMPARE_WITH_TIMEOUT(viewer.model().rowCount(), 1, 5000);
        child<QCheckBox>(window, "chkPrintLiveLog")->setChecked(false);
        QCOMPARE(readWholeFile(utf8(live)), std::string("kept\n"));
    }
};

QTEST_MAIN(TestLogPage)
#include "test_log_page.moc"
