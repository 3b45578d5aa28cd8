#include "untMain.h"

#include "Captions.h"
#include "ConfigPage.h"
#include "Dialogs.h"
#include "InfoPage.h"
#include "IpAddressEdit.h"
#include "LinkBridge.h"
#include "LogPage.h"
#include "LogViewer.h"
#include "OperationsPage.h"
#include "PcapPage.h"
#include "QtLanguage.h"
#include "ToolsPage.h"
#include "untAbout.h"

#include <Commandio.h>
#include <LinkService.h>
#include <Logger.h>
#include <StringTable.h>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTime>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>
#include <ifaddrs.h>
#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <ctime>
#include <stdexcept>
#include <thread>

namespace quillon
{

namespace
{

enum PageIndex { PageInfo = 0, PageConfig = 1, PageOperate = 2, PageLog = 3, PageTools = 4, PagePcap = 5 };

// Controls that an Android box does not let the tool change.
const char* const kAndroidLimitedControls[] = {"edtIP",
                                               "edtGateway",
                                               "edtNetmark",
                                               "edtDHCPAccount",
                                               "edtDHCPPasswd",
                                               "edtPPoEAccount",
                                               "edtPPPoEPasswd",
                                               "cmbBrowserLogSwitch",
                                               "lblBrowserLogSwitch",
                                               "cmbTVStandard",
                                               "lblTVStandard",
                                               "lblHDMIOutput",
                                               "cmbHDMIOutput",
                                               "lblCAProtect",
                                               "cmbCAProtect",
                                               "lblAniFicker",
                                               "cmbAniFicker",
                                               "lblVideoScale",
                                               "cmbVideoScale",
                                               "lblStarupEnter",
                                               "cmbStarupEnter",
                                               "lblWorkMode",
                                               "cmbWorkMode",
                                               "chkForceUpgrade",
                                               "btnPlayBack",
                                               "btnPlayPause",
                                               "btnPlayPrev",
                                               "edtNTP",
                                               "edtNTP1",
                                               "cmbTimezone",
                                               "edtSerialNumber"};

QByteArray utf8(const QString& text)
{
    return text.toUtf8();
}

} // namespace

TfrmMain::TfrmMain(Commandio& queues, const LinkSetup& setup, QWidget* parent) : QMainWindow(parent), queues_(queues)
{
    setObjectName("frmMain");
    buildMenus();
    buildPages();
    buildStatusBar();

    tmrTick_ = new QTimer(this);
    tmrTick_->setObjectName("tmrTick");
    tmrTick_->setInterval(100);
    connect(tmrTick_, &QTimer::timeout, this, [this] { runPendingHandlers(); });
    tmrSTBTime_ = new QTimer(this);
    tmrSTBTime_->setObjectName("tmrSTBTime");
    tmrSTBTime_->setInterval(1000);
    connect(tmrSTBTime_, &QTimer::timeout, this, [this] {
        if (stbClockSeconds_ < INT32_MAX)
            ++stbClockSeconds_;
        showStbClock();
    });

    startLink(setup);
    tmrTick_->start();
    LiveLogReceiver::Options liveLog = logPage_->viewer().liveLogOptions();
    liveLog.port = setup.liveLogPort;
    logPage_->viewer().setLiveLogOptions(liveLog);

    fillLocalAddresses();
    progressBar_->hide();
    pgAllPage_->setCurrentIndex(PageInfo);
    showLinkState(linkState());
    configPage_->setConnectTypeControls(255);
    operationsPage_->setPlayMode(PlayNone);
    fixWindowSize();
    configPage_->disableVirtualLan();
    infoPage_->stbAddress()->setFocus(Qt::OtherFocusReason);
}

TfrmMain::~TfrmMain()
{
    stopLink();
}

void TfrmMain::buildMenus()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName("mainMenu");
    menuLanguage_ = bar->addMenu(QString());
    menuLanguage_->setObjectName("menuLanguage");
    menuLanguageEn_ = menuLanguage_->addAction(QString());
    menuLanguageEn_->setObjectName("menuLanguageEn");
    menuLanguageEn_->setCheckable(true);
    menuLanguageCh_ = menuLanguage_->addAction(QString());
    menuLanguageCh_->setObjectName("menuLanguageCh");
    menuLanguageCh_->setCheckable(true);
    menuHelp_ = bar->addMenu(QString());
    menuHelp_->setObjectName("menuHelp");
    menuHelpAbout_ = menuHelp_->addAction(QString());
    menuHelpAbout_->setObjectName("menuHelpAbout");
    connect(menuLanguageEn_, &QAction::triggered, this, [this] { menuLanguageEnClick(); });
    connect(menuLanguageCh_, &QAction::triggered, this, [this] { menuLanguageChClick(); });
    connect(menuHelpAbout_, &QAction::triggered, this, [this] { menuHelpAboutClick(); });

    auto* toolBar = addToolBar(QString());
    toolBar->setObjectName("mainToolBar");
    toolBar->setMovable(false);
    toolBar->setFloatable(false);
    toolBar->toggleViewAction()->setEnabled(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    auto makeButton = [toolBar](const char* name, QMenu* menu) {
        auto* button = new QToolButton(toolBar);
        button->setObjectName(name);
        button->setMenu(menu);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAutoRaise(true);
        toolBar->addWidget(button);
        return button;
    };
    tbtnLanguage_ = makeButton("tbtnLanguage", menuLanguage_);
    tbtnHelp_ = makeButton("tbtnHelp", menuHelp_);
}

void TfrmMain::buildPages()
{
    pgAllPage_ = new QTabWidget(this);
    pgAllPage_->setObjectName("pgAllPage");
    infoPage_ = new InfoPage(*this);
    configPage_ = new ConfigPage(*this);
    operationsPage_ = new OperationsPage(*this);
    logPage_ = new LogPage(*this);
    toolsPage_ = new ToolsPage(*this);
    pcapPage_ = new PcapPage(*this);
    for (QWidget* page :
         std::initializer_list<QWidget*>{infoPage_, configPage_, operationsPage_, logPage_, toolsPage_, pcapPage_})
        pgAllPage_->addTab(page, QString());
    operationsPage_->setEnabled(false);
    logPage_->setLinkControls(false);
    setCentralWidget(pgAllPage_);
    connect(pgAllPage_, &QTabWidget::currentChanged, this, [this](int index) { pgAllPageChange(index); });
}

void TfrmMain::buildStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setObjectName("statusBar");
    bar->setSizeGripEnabled(true);
    statusText_ = new QLabel(bar);
    statusText_->setObjectName("statusText");
    statusText_->setTextFormat(Qt::PlainText);
    statusText_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar->addWidget(statusText_, 3);
    progressBar_ = new QProgressBar(bar);
    progressBar_->setObjectName("progressBar");
    progressBar_->setRange(0, 100);
    progressBar_->setMaximumHeight(16);
    bar->addWidget(progressBar_, 2);
}

// The window opens at the larger of what the layout needs in Chinese and in English, centred, so
// that a switch never clips a caption; it may grow and be maximised but not shrink below that.
void TfrmMain::fixWindowSize()
{
    setUiLanguage(LanguageEnglish);
    applyUiLanguage();
    const QSize english = sizeHint().expandedTo(minimumSizeHint());
    const QSize englishMenus = menuBar()->sizeHint();
    setUiLanguage(LanguageChinese);
    menuLanguageChClick();
    const QSize size = english.expandedTo(sizeHint()).expandedTo(minimumSizeHint());
    // Qt walks the widgets of a menu's title while it renames it; a menu bar too small for its
    // titles (narrower, or lower: Chinese titles stand a pixel taller than English ones) moves a
    // menu into its overflow menu during that walk, which changes the very list being walked, a
    // use-after-free at a language switch. The bar is therefore never smaller than its titles in
    // either language, not even before the first layout gives it its size.
    menuBar()->setMinimumSize(englishMenus.expandedTo(menuBar()->sizeHint()));
    setMinimumSize(size);
    resize(size);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TfrmMain::startLink(const LinkSetup& setup)
{
    bridge_ = std::make_unique<LinkBridge>(
        this, [this](uint8_t state) { showLinkState(state); },
        [this](OutputChannel channel, const QString& line) {
            const char* memo = channel == OutputChannel::Ping         ? "edtPingMsg"
                               : channel == OutputChannel::TraceRoute ? "edtRouteMsg"
                                                                      : "edtPcapMsg";
            if (auto* edit = findChild<QPlainTextEdit*>(memo))
                edit->appendPlainText(line);
        });
    if (!setup.startLink)
        return;
    link_ = std::make_unique<LinkService>(queues_, bridge_.get());
    if (setup.timeouts)
        link_->setTimeouts(*setup.timeouts);
    if (!setup.boxModulusHex.empty()) {
        std::string error;
        if (!link_->setBoxModulus(setup.boxModulusHex, &error))
            throw std::runtime_error("box modulus: " + error);
    }
    link_->start();
}

// Nothing may wait on the window any more once it goes: waiters are released first, then the
// threads are joined.
void TfrmMain::stopLink()
{
    if (bridge_)
        bridge_->detach();
    if (link_)
        link_->shutdown();
}

uint8_t TfrmMain::linkState() const
{
    return link_ ? link_->linkState() : shownLinkState_;
}

void TfrmMain::addPendingHandler(PendingHandler handler)
{
    if (handler)
        pendingHandlers_.push_back(std::move(handler));
}

// Each entry runs once per tick in registration order; finished entries leave at once, and an
// entry added while the walk runs is reached in the same walk.
void TfrmMain::runPendingHandlers()
{
    // A modal box opened by a handler runs its own event loop; its ticks must not walk the list
    // that is being walked already.
    if (runningHandlers_)
        return;
    runningHandlers_ = true;
    for (auto it = pendingHandlers_.begin(); it != pendingHandlers_.end();) {
        if ((*it)() != 0)
            it = pendingHandlers_.erase(it);
        else
            ++it;
    }
    runningHandlers_ = false;
}

void TfrmMain::showStatus(const QString& text)
{
    statusText_->setText(text);
    inputErrorShown_ = false;
}

QString TfrmMain::statusText() const
{
    return statusText_->text();
}

void TfrmMain::showError(const QString& text)
{
    showStatus(text);
    inputErrorShown_ = true;
    Dialogs::information(this, uiText(414), text);
}

void TfrmMain::showProgress(int percent)
{
    if (percent != 0) {
        progressBar_->setValue(percent);
        if (progressBar_->isHidden())
            progressBar_->show();
    } else {
        progressBar_->hide();
    }
}

void TfrmMain::setWindowMode(int8_t mode)
{
    windowMode_ = mode;
    auto enable = [this](std::initializer_list<const char*> names, bool on) {
        for (const char* name : names)
            if (QWidget* w = findChild<QWidget*>(name))
                w->setEnabled(on);
    };
    switch (mode) {
    case Busy:
        // A request goes out, so the checks before it passed: an earlier check's error no longer
        // describes the screen.
        if (inputErrorShown_)
            showStatus(QString());
        pgAllPage_->setEnabled(false);
        setCursor(Qt::WaitCursor);
        break;
    case Idle:
        showProgress(0);
        pgAllPage_->setEnabled(true);
        unsetCursor();
        break;
    case PingRunning:
    case PingDone: {
        const bool done = mode == PingDone;
        enable({"shtSTBInfo", "shtSTBConfigure", "shtLogManage", "btnPing", "gbRouter", "gbSysOperate", "gbPlay",
                "gbUpgrade"},
               done);
        enable({"btnStopPing"}, !done);
        unsetCursor();
        break;
    }
    case TraceRunning:
    case TraceDone: {
        const bool done = mode == TraceDone;
        enable({"shtSTBInfo", "shtSTBConfigure", "shtLogManage", "gbPing", "btnRouteStart", "gbSysOperate", "gbPlay",
                "gbUpgrade"},
               done);
        enable({"btnRouteStop"}, !done);
        unsetCursor();
        break;
    }
    default:
        break;
    }
}

int TfrmMain::reportInvalidResponse(const Response& response)
{
    const QString text = QString::asprintf("%s, ResponseID:%d", utf8(uiText(403)).constData(), int(response.type));
    showStatus(text);
    Logger::instance().error("%s", utf8(text).constData());
    setWindowMode(Idle);
    return 1;
}

std::unique_ptr<Response> TfrmMain::takeResponse(int expectedType, int& result)
{
    result = 0;
    std::unique_ptr<Response> response = queues_.popResponse();
    // Output lines pushed before this response are shown before its handler reports the end.
    if (response && bridge_)
        bridge_->deliverPendingLines();
    if (response && response->type != expectedType) {
        result = reportInvalidResponse(*response);
        response.reset();
    }
    return response;
}

QString TfrmMain::responseErrorText(const Response& response)
{
    if (response.errorId != 0)
        return QString::fromStdString(statusCodeText(response.errorId));
    return QString::fromStdString(response.message);
}

void TfrmMain::showLinkState(uint8_t state)
{
    if (state > 1)
        return;
    shownLinkState_ = state;
    const bool up = state == 1;
    if (!up)
        startStbClock(-1, false);
    infoPage_->setLinkControls(up);
    // The sheets' contents follow the link; their tabs stay selectable, so the window stays on the
    // page the user is on. The log page keeps its viewer, which needs no box.
    for (int page : {PageConfig, PageOperate, PagePcap})
        pgAllPage_->widget(page)->setEnabled(up);
    logPage_->setLinkControls(up);
    if (up) {
        operationsPage_->clearOutput();
        Logger::instance().info("STB Connected.");
        return;
    }
    infoPage_->clearInfoPage();
    configPage_->clearConfigPage();
    operationsPage_->clearOperationsPage();
    logPage_->clearLogPage();
    // What ping, trace route and the live log wrote stays readable, ended by the time of the loss.
    const QString mark = uiText(796) + " " + QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    operationsPage_->markLinkLost(mark);
    logPage_->markLinkLost(mark);
    operationsPage_->setPlayMode(PlayNone);
    showStatus(uiText(402));
    Logger::instance().info("STB disconnect.");
}

void TfrmMain::startStbClock(int32_t seconds, bool utc)
{
    if (seconds < 0) {
        tmrSTBTime_->stop();
        return;
    }
    stbClockSeconds_ = seconds;
    stbClockUtc_ = utc;
    showStbClock();
    tmrSTBTime_->start();
}

void TfrmMain::showStbClock()
{
    const time_t seconds = stbClockSeconds_;
    struct tm parts {
    };
    if (stbClockUtc_)
        gmtime_r(&seconds, &parts);
    else
        localtime_r(&seconds, &parts);
    char text[20] = {};
    strftime(text, sizeof text, "%H:%M:%S %Y-%m-%d", &parts);
    infoPage_->currentTimeLabel()->setText(QString::fromLatin1(text));
}

void TfrmMain::applyUiLanguage()
{
    followQtLanguage(uiLanguage());
    setWindowTitle(uiText(1));
    setCaption(tbtnLanguage_, uiText(2));
    setCaption(menuLanguage_, uiText(2));
    setCaption(menuLanguageEn_, uiText(3));
    setCaption(menuLanguageCh_, uiText(4));
    setCaption(tbtnHelp_, uiText(10));
    setCaption(menuHelp_, uiText(10));
    setCaption(menuHelpAbout_, uiText(11));
    for (int page = PageInfo; page <= PagePcap; ++page)
        pgAllPage_->setTabText(page, uiText(14 + page));
    infoPage_->applyUiLanguage(linkState() == 1);
    configPage_->applyUiLanguage();
    operationsPage_->applyUiLanguage();
    logPage_->applyUiLanguage();
    toolsPage_->applyUiLanguage();
    pcapPage_->applyUiLanguage();
    configPage_->refillCombos();
    logPage_->refillCombos();
    showStatus(QString());
}

// The two items behave as check items kept mutually exclusive by hand: choosing the checked one
// again changes nothing.
void TfrmMain::menuLanguageEnClick()
{
    if (checkedLanguage_ == LanguageEnglish) {
        menuLanguageEn_->setChecked(true);
        return;
    }
    checkedLanguage_ = LanguageEnglish;
    menuLanguageEn_->setChecked(true);
    menuLanguageCh_->setChecked(false);
    setUiLanguage(LanguageEnglish);
    applyUiLanguage();
}

void TfrmMain::menuLanguageChClick()
{
    if (checkedLanguage_ == LanguageChinese) {
        menuLanguageCh_->setChecked(true);
        return;
    }
    checkedLanguage_ = LanguageChinese;
    menuLanguageCh_->setChecked(true);
    menuLanguageEn_->setChecked(false);
    setUiLanguage(LanguageChinese);
    applyUiLanguage();
}

void TfrmMain::menuHelpAboutClick()
{
    TfrmAbout about(this);
    Dialogs::exec(about);
}

void TfrmMain::pgAllPageChange(int index)
{
    if (index == PageConfig)
        configPage_->requestConfigRead();
}

void TfrmMain::applyAndroidLimits()
{
    for (const char* name : kAndroidLimitedControls)
        if (QWidget* w = findChild<QWidget*>(name))
            w->setEnabled(false);
}

// The limited controls are enabled again, then those with rules of their own (the access type's
// edits, the trick-play buttons) follow them.
void TfrmMain::liftAndroidLimits()
{
    for (const char* name : kAndroidLimitedControls)
        if (QWidget* w = findChild<QWidget*>(name))
            w->setEnabled(true);
    configPage_->fillStandardHdModes();
    const int8_t type = configPage_->selectedConnectType();
    configPage_->setConnectTypeControls(type < 0 ? 255 : static_cast<uint8_t>(type));
    operationsPage_->setPlayMode(operationsPage_->playMode());
}

void TfrmMain::fillAndroidHdModes()
{
    configPage_->fillAndroidHdModes();
}

// The PC's own IPv4 addresses, offered as the address the box sends its live log to: those the
// host name resolves to, then those of the network interfaces, each once, loopback last.
void TfrmMain::fillLocalAddresses()
{
    QStringList addresses;
    char host[128] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host, nullptr, &hints, &found) == 0) {
            for (addrinfo* a = found; a; a = a->ai_next) {
                char text[INET_ADDRSTRLEN] = {};
                auto* in = reinterpret_cast<sockaddr_in*>(a->ai_addr);
                if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) && !addresses.contains(text))
                    addresses << text;
            }
            freeaddrinfo(found);
        }
    }
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) == 0) {
        for (ifaddrs* i = interfaces; i; i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
                continue;
            char text[INET_ADDRSTRLEN] = {};
            auto* in = reinterpret_cast<sockaddr_in*>(i->ifa_addr);
            if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) && !addresses.contains(text))
                addresses << text;
        }
        freeifaddrs(interfaces);
    }
    // A box cannot reach the PC on a loopback address; keep those at the end of the list.
    std::stable_partition(addresses.begin(), addresses.end(), [](const QString& a) { return !a.startsWith("127."); });
    logPage_->localAddressBox()->addItems(addresses);
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    if (!closed_) {
        closed_ = true;
        if (linkState() == 1)
            queues_.pushRequest(ReqDisConnect());
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        tmrTick_->stop();
        tmrSTBTime_->stop();
        stopLink();
    }
    event->accept();
}

// Enter presses the focused button, else btnConnect while it can be pressed (its page shown and
// the window not busy), as a dialog's default button would.
void TfrmMain::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        QPushButton* target = focused ? focused : infoPage_->connectButton();
        if (target->isVisible() && target->isEnabled()) {
            target->click();
            return;
        }
    }
    QMainWindow::keyPressEvent(event);
}

} // namespace quillon
