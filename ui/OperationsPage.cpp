#include "OperationsPage.h"

#include "Dialogs.h"
#include "InfoPage.h"
#include "IpAddressEdit.h"
#include "untMain.h"

#include <Commandio.h>
#include <ExchangeText.h>
#include <FreeCommand.h>
#include <LinkService.h>
#include <Logger.h>
#include <PlaybackCommand.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <climits>
#include <memory>

namespace quillon
{

namespace
{

QPlainTextEdit* makeMemo(QWidget* parent, const char* name)
{
    auto* memo = makeNamed<QPlainTextEdit>(parent, name);
    memo->setReadOnly(true);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setMinimumHeight(90);
    memo->setMaximumBlockCount(OperationsPage::kMemoLines);
    // The output stays after a link drop; the user clears it from the memo's own menu.
    memo->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(memo, &QWidget::customContextMenuRequested, memo, [memo](const QPoint& at) {
        std::unique_ptr<QMenu> menu(memo->createStandardContextMenu(at));
        menu->addSeparator();
        menu->addAction(uiText(815), memo, &QPlainTextEdit::clear);
        menu->exec(memo->viewport()->mapToGlobal(at));
    });
    return memo;
}

std::string toStd(const QString& text)
{
    return text.toStdString();
}

QString trimmedText(QLineEdit* edit)
{
    return edit->text().trimmed();
}

} // namespace

OperationsPage::OperationsPage(TfrmMain& frame, QWidget* parent) : QWidget(parent), frame_(frame)
{
    setObjectName("shtSTBOperate");
    auto* layout = new QGridLayout(this);
    layout->addWidget(buildPingGroup(), 0, 0);
    layout->addWidget(buildRouterGroup(), 0, 1);
    layout->addWidget(buildCommandGroup(), 1, 0);
    layout->addWidget(buildPlayGroup(), 1, 1);
    layout->addWidget(buildUpgradeGroup(), 2, 0, 1, 2);
    layout->setRowStretch(0, 1);
    layout->setColumnStretch(0, 1);
    layout->setColumnStretch(1, 1);

    appendCaptionRunByName(captions_, this, 159,
                           {"gbPing", "lblPingIP", "lblPingTime", "lblPingUnit", "btnPing", "btnStopPing", "gbRouter",
                            "lblRouteIP", "btnRouteStart", "btnRouteStop", "gbSysOperate", "btnSTBReboot",
                            "btnSTBReset", "lblExecCmd", "btnExecCmd", "gbPlay", "lblPlayChannelURL"});
    appendCaptionRunByName(captions_, this, 178, {"lblPlayChannelNumber"});
    appendCaptionRunByName(captions_, this, 181,
                           {"btnChannelNext", "btnChannelPrev", "btnPlayBack", "btnPlayPause", "btnPlayPrev",
                            "gbUpgrade", "lblUpgradeFile", "btnSelectUpgradeFile", "chkForceUpgrade", "btnUpgrade"});

    findChild<QPushButton*>("btnStopPing")->setEnabled(false);
    findChild<QPushButton*>("btnRouteStop")->setEnabled(false);
    connectButtons();
}

void OperationsPage::connectButtons()
{
    const std::pair<const char*, void (OperationsPage::*)()> buttons[] = {
        {"btnPing", &OperationsPage::btnPingClick},
        {"btnStopPing", &OperationsPage::btnStopPingClick},
        {"btnRouteStart", &OperationsPage::btnRouteStartClick},
        {"btnRouteStop", &OperationsPage::btnRouteStopClick},
        {"btnSTBReboot", &OperationsPage::btnSTBRebootClick},
        {"btnSTBReset", &OperationsPage::btnSTBResetClick},
        {"btnExecCmd", &OperationsPage::btnExecCmdClick},
        {"btnPlayChannelURL", &OperationsPage::btnPlayChannelURLClick},
        {"btnPlayChannelNO", &OperationsPage::btnPlayChannelNOClick},
        {"btnChannelNext", &OperationsPage::btnChannelNextClick},
        {"btnChannelPrev", &OperationsPage::btnChannelPrevClick},
        {"btnPlayBack", &OperationsPage::btnPlayBackClick},
        {"btnPlayPause", &OperationsPage::btnPlayPauseClick},
        {"btnPlayPrev", &OperationsPage::btnPlayPrevClick},
        {"btnSelectUpgradeFile", &OperationsPage::btnSelectUpgradeFileClick},
        {"btnUpgrade", &OperationsPage::btnUpgradeClick},
    };
    for (const auto& [name, handler] : buttons)
        connect(findChild<QPushButton*>(name), &QPushButton::clicked, this, [this, h = handler] { (this->*h)(); });
}

QWidget* OperationsPage::buildPingGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbPing");
    auto* layout = new QVBoxLayout(group);
    auto* row = new QHBoxLayout;
    row->addWidget(makeNamed<QLabel>(group, "lblPingIP"));
    ipPingAddress_ = makeNamed<IpAddressEdit>(group, "ipPingAddress");
    row->addWidget(ipPingAddress_);
    row->addStretch(1);
    layout->addLayout(row);
    row = new QHBoxLayout;
    row->addWidget(makeNamed<QLabel>(group, "lblPingTime"));
    auto* time = makeNamed<QLineEdit>(group, "edtPingTime");
    time->setMaximumWidth(80);
    row->addWidget(time);
    row->addWidget(makeNamed<QLabel>(group, "lblPingUnit"));
    row->addStretch(1);
    row->addWidget(makeNamed<QPushButton>(group, "btnPing"));
    row->addWidget(makeNamed<QPushButton>(group, "btnStopPing"));
    layout->addLayout(row);
    layout->addWidget(makeMemo(group, "edtPingMsg"), 1);
    return group;
}

QWidget* OperationsPage::buildRouterGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbRouter");
    auto* layout = new QVBoxLayout(group);
    auto* row = new QHBoxLayout;
    row->addWidget(makeNamed<QLabel>(group, "lblRouteIP"));
    ipRouteAddress_ = makeNamed<IpAddressEdit>(group, "ipRouteAddress");
    row->addWidget(ipRouteAddress_);
    row->addStretch(1);
    layout->addLayout(row);
    row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(makeNamed<QPushButton>(group, "btnRouteStart"));
    row->addWidget(makeNamed<QPushButton>(group, "btnRouteStop"));
    layout->addLayout(row);
    layout->addWidget(makeMemo(group, "edtRouteMsg"), 1);
    return group;
}

QWidget* OperationsPage::buildCommandGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbSysOperate");
    auto* layout = new QGridLayout(group);
    layout->addWidget(makeNamed<QPushButton>(group, "btnSTBReboot"), 0, 1);
    layout->addWidget(makeNamed<QPushButton>(group, "btnSTBReset"), 0, 2);
    layout->addWidget(makeNamed<QLabel>(group, "lblExecCmd"), 1, 0);
    layout->addWidget(makeNamed<QLineEdit>(group, "edExecCmd"), 1, 1, 1, 2);
    layout->addWidget(makeNamed<QPushButton>(group, "btnExecCmd"), 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(2, 1);
    return group;
}

QWidget* OperationsPage::buildPlayGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbPlay");
    auto* layout = new QGridLayout(group);
    layout->addWidget(makeNamed<QLabel>(group, "lblPlayChannelURL"), 0, 0);
    layout->addWidget(makeNamed<QLineEdit>(group, "edtPlayChannelURL"), 0, 1, 1, 3);
    layout->addWidget(makeNamed<QPushButton>(group, "btnPlayChannelURL"), 0, 4);
    layout->addWidget(makeNamed<QLabel>(group, "lblPlayChannelNumber"), 1, 0);
    layout->addWidget(makeNamed<QLineEdit>(group, "edtPlayChannelNO"), 1, 1, 1, 3);
    layout->addWidget(makeNamed<QPushButton>(group, "btnPlayChannelNO"), 1, 4);
    auto* row = new QHBoxLayout;
    for (const char* name : {"btnChannelNext", "btnChannelPrev", "btnPlayBack", "btnPlayPause", "btnPlayPrev"})
        row->addWidget(makeNamed<QPushButton>(group, name));
    layout->addLayout(row, 2, 0, 1, 5);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(3, 1);
    return group;
}

QWidget* OperationsPage::buildUpgradeGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbUpgrade");
    auto* row = new QHBoxLayout(group);
    row->addWidget(makeNamed<QLabel>(group, "lblUpgradeFile"));
    row->addWidget(makeNamed<QLineEdit>(group, "edtUpgradeFile"), 1);
    row->addWidget(makeNamed<QPushButton>(group, "btnSelectUpgradeFile"));
    row->addWidget(makeNamed<QCheckBox>(group, "chkForceUpgrade"));
    row->addWidget(makeNamed<QPushButton>(group, "btnUpgrade"));
    return group;
}

void OperationsPage::enable(std::initializer_list<const char*> names, bool on)
{
    for (const char* name : names)
        if (QWidget* w = findChild<QWidget*>(name))
            w->setEnabled(on);
}

void OperationsPage::applyUiLanguage()
{
    applyCaptions(captions_);
    const bool playing = playMode_ != PlayNone;
    findChild<QPushButton*>("btnPlayChannelURL")->setText(uiText(playing ? 177 : 176));
    findChild<QPushButton*>("btnPlayChannelNO")->setText(uiText(playing ? 180 : 179));
}

void OperationsPage::setPlayMode(uint8_t mode)
{
    playMode_ = mode;
    auto* byUrl = findChild<QPushButton*>("btnPlayChannelURL");
    auto* byNumber = findChild<QPushButton*>("btnPlayChannelNO");
    // On an Android box the trick-play buttons keep the disabled state of the Android limits.
    const bool trickPlayFollows = frame_.stbType() != "1";
    switch (mode) {
    case PlayNone:
        byUrl->setText(uiText(176));
        byNumber->setText(uiText(179));
        byUrl->setEnabled(true);
        byNumber->setEnabled(true);
        enable({"btnChannelNext", "btnChannelPrev"}, false);
        if (trickPlayFollows)
            enable({"btnPlayBack", "btnPlayPause", "btnPlayPrev"}, false);
        break;
    case PlayByUrl:
        byUrl->setText(uiText(177));
        byNumber->setEnabled(false);
        if (trickPlayFollows)
            enable({"btnPlayBack", "btnPlayPause", "btnPlayPrev"}, true);
        break;
    case PlayByNumber:
        byUrl->setEnabled(false);
        byNumber->setText(uiText(180));
        enable({"btnChannelNext", "btnChannelPrev"}, true);
        if (trickPlayFollows)
            enable({"btnPlayBack", "btnPlayPause", "btnPlayPrev"}, true);
        break;
    default:
        break;
    }
}

void OperationsPage::clearOperationsPage()
{
    ipPingAddress_->clear();
    findChild<QLineEdit*>("edtPingTime")->clear();
    btnStopPingClick();
    ipRouteAddress_->clear();
    btnRouteStopClick();
    findChild<QLineEdit*>("edExecCmd")->clear();
    findChild<QLineEdit*>("edtPlayChannelURL")->clear();
    if (playMode_ == PlayByUrl)
        stopChannelUrl();
    findChild<QLineEdit*>("edtPlayChannelNO")->clear();
    if (playMode_ == PlayByNumber)
        stopChannelNumber();
    findChild<QLineEdit*>("edtUpgradeFile")->clear();
    findChild<QCheckBox*>("chkForceUpgrade")->setChecked(false);
}

void OperationsPage::markLinkLost(const QString& mark)
{
    for (const char* name : {"edtPingMsg", "edtRouteMsg"}) {
        auto* memo = findChild<QPlainTextEdit*>(name);
        if (!memo->document()->isEmpty())
            memo->appendPlainText(mark);
    }
}

void OperationsPage::clearOutput()
{
    findChild<QPlainTextEdit*>("edtPingMsg")->clear();
    findChild<QPlainTextEdit*>("edtRouteMsg")->clear();
}

bool OperationsPage::androidBox() const
{
    return frame_.stbType() == "1";
}

// Every action of the page: push, register the handler, set the mode, show the status.
void OperationsPage::send(const Request& request, int (OperationsPage::*handler)(), int8_t mode, const QString& status)
{
    frame_.queues().pushRequest(request);
    frame_.addPendingHandler([this, handler] { return (this->*handler)(); });
    frame_.showStatus(status);
    frame_.setWindowMode(mode);
}

// --- ping and trace route ---

QString OperationsPage::checkedTarget(IpAddressEdit* target, int sameAddressText)
{
    const uint32_t box = frame_.infoPage().stbAddress()->address();
    const uint32_t value = target->address();
    if (box == value) {
        frame_.showError(uiText(sameAddressText));
        target->octetField(0)->setFocus(Qt::OtherFocusReason);
        return {};
    }
    const QString text =
        QString::asprintf("%u.%u.%u.%u", value >> 24, (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
    if (text == "0.0.0.0") {
        frame_.showError(uiText(400));
        return {};
    }
    return text;
}

void OperationsPage::btnPingClick()
{
    const QString target = checkedTarget(ipPingAddress_, 421);
    if (target.isEmpty())
        return;
    auto* time = findChild<QLineEdit*>("edtPingTime");
    const QString text = trimmedText(time);
    int duration = -1;
    if (!text.isEmpty() && (!parseChannelNumber(toStd(text), duration) || duration < 1)) {
        frame_.showError(uiText(422));
        time->setFocus(Qt::OtherFocusReason);
        return;
    }
    startPing(target, duration);
}

void OperationsPage::startPing(const QString& target, int32_t duration)
{
    findChild<QPlainTextEdit*>("edtPingMsg")->clear();
    ReqPing request;
    request.target = toStd(target);
    request.duration = duration;
    send(request, &OperationsPage::onPingResponse, PingRunning, uiText(423));
}

void OperationsPage::btnStopPingClick()
{
    if (frame_.windowMode() != PingRunning)
        return;
    // Sent at once on this thread: the worker is busy in the running ping.
    if (LinkService* link = frame_.linkService())
        link->stopPing();
    frame_.showStatus(uiText(425));
}

void OperationsPage::btnRouteStartClick()
{
    const QString target = checkedTarget(ipRouteAddress_, 426);
    if (!target.isEmpty())
        startTraceRoute(target);
}

void OperationsPage::startTraceRoute(const QString& target)
{
    findChild<QPlainTextEdit*>("edtRouteMsg")->clear();
    ReqTraceRoute request;
    request.target = toStd(target);
    send(request, &OperationsPage::onTraceRouteResponse, TraceRunning, uiText(427));
}

void OperationsPage::btnRouteStopClick()
{
    if (frame_.windowMode() != TraceRunning)
        return;
    if (LinkService* link = frame_.linkService())
        link->stopTraceRoute();
    frame_.showStatus(uiText(429));
}

int OperationsPage::onRunResponse(int type, const char* logText, int8_t doneMode, int finishedText, int runningText)
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(type, result);
    if (!response) {
        // A stray answer ends the run as Idle; the controls the run had locked come back first.
        if (result != 0) {
            frame_.setWindowMode(doneMode);
            frame_.setWindowMode(Idle);
        }
        return result;
    }
    Logger& log = Logger::instance();
    log.info("%s", logText);
    const int32_t finished =
        type == TypePing ? static_cast<ResPing&>(*response).finished : static_cast<ResTraceRoute&>(*response).finished;
    switch (response->status) {
    case STA_OK:
    case STA_PART_OK:
        frame_.showStatus(uiText(finished != 0 ? finishedText : runningText));
        frame_.setWindowMode(doneMode);
        log.info("STA_OK");
        return 1;
    case STA_ERROR:
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        frame_.setWindowMode(doneMode);
        log.error("STA_ERROR");
        return 1;
    default:
        // Never produced by these exchanges; the run is over all the same.
        frame_.setWindowMode(doneMode);
        return 1;
    }
}

int OperationsPage::onPingResponse()
{
    return onRunResponse(TypePing, "Get ping response", PingDone, 424, 423);
}

int OperationsPage::onTraceRouteResponse()
{
    return onRunResponse(TypeTraceRoute, "Get route response", TraceDone, 428, 427);
}

// --- box commands ---

void OperationsPage::btnSTBRebootClick()
{
    ReqExtCommand request(FuncIoctl, TypeButtonCommand);
    request.command = "ioctl^reboot^null";
    send(request, &OperationsPage::onCommandResponse, Busy, uiText(431));
}

void OperationsPage::btnSTBResetClick()
{
    ReqExtCommand request(FuncIoctl, TypeButtonCommand);
    request.command = "ioctl^restore_setting^null";
    send(request, &OperationsPage::onCommandResponse, Busy, uiText(432));
}

void OperationsPage::btnExecCmdClick()
{
    auto* edit = findChild<QLineEdit*>("edExecCmd");
    const FreeCommand command = interpretFreeCommand(toStd(trimmedText(edit)));
    switch (command.kind) {
    case FreeCommand::Empty:
        frame_.showError(uiText(433));
        return;
    case FreeCommand::Invalid:
        // The table's text first; a text too long for a frame also says by how much.
        frame_.showError(command.tooLong
                             ? uiText(434) + " " +
                                   uiText(801).arg(toStd(trimmedText(edit)).size()).arg(kMaxFreeCommandBytes)
                             : uiText(434));
        return;
    case FreeCommand::Ping:
        startPing(QString::fromStdString(command.target), command.duration);
        return;
    case FreeCommand::TraceRoute:
        startTraceRoute(QString::fromStdString(command.target));
        return;
    case FreeCommand::ChannelList:
        frame_.infoPage().btnExportChannelListClick();
        return;
    case FreeCommand::ParamList:
        // The parameter export belongs to the configuration page; its button does the work.
        if (auto* button = frame_.findChild<QPushButton*>("btnExportParams"))
            button->click();
        return;
    case FreeCommand::Command:
        send(command.request, &OperationsPage::onCommandResponse, Busy, uiText(435) + edit->text());
        return;
    }
}

int OperationsPage::onCommandResponse()
{
    std::unique_ptr<Response> response = frame_.queues().popResponse();
    if (!response)
        return 0;
    Logger& log = Logger::instance();
    log.info("Get command response");
    const auto* command = dynamic_cast<const ResExtCommand*>(response.get());
    switch (response->status) {
    case STA_OK:
        if (command && (response->function == FuncRead || response->function == FuncWrite))
            frame_.showStatus(commandResultText(*command));
        else
            frame_.showStatus(uiText(404));
        frame_.setWindowMode(Idle);
        log.info("STA_OK");
        return 1;
    case STA_ERROR:
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        frame_.setWindowMode(Idle);
        log.error("STA_ERROR");
        return 1;
    case STA_PROGRESS:
        if (command)
            frame_.showStatus(QString::fromStdString(command->body));
        return 0;
    default:
        // Never produced by the command exchange; finish without leaving the window locked.
        frame_.setWindowMode(Idle);
        return 1;
    }
}

QString OperationsPage::commandResultText(const ResExtCommand& response)
{
    const QString head =
        QString::fromStdString(functionName(response.function)) + ", " + QString::fromStdString(response.call) + "=";
    if (response.function == FuncRead)
        return head + QString::fromStdString(response.body);
    if (response.function == FuncWrite)
        return head + QString::fromStdString(response.data);
    return {};
}

// --- playback ---

void OperationsPage::sendButtonCommand(const std::string& command, int (OperationsPage::*handler)(),
                                       const QString& status)
{
    send(playbackRequest(command), handler, Busy, status);
}

void OperationsPage::btnPlayChannelURLClick()
{
    if (playMode_ == PlayByUrl) {
        stopChannelUrl();
        return;
    }
    if (playMode_ != PlayNone)
        return;
    const QString url = trimmedText(findChild<QLineEdit*>("edtPlayChannelURL"));
    if (url.isEmpty()) {
        frame_.showError(uiText(436));
        return;
    }
    if (!isPlayableUrl(toStd(url))) {
        frame_.showError(uiText(437));
        return;
    }
    playChannelUrl(url);
}

void OperationsPage::playChannelUrl(const QString& url)
{
    if (url.isEmpty())
        return;
    sendButtonCommand(playUrlCommand(toStd(url)), &OperationsPage::onPlayUrlResponse, uiText(438) + url);
}

void OperationsPage::stopChannelUrl()
{
    sendButtonCommand(kStopPlayCommand, &OperationsPage::onStopUrlResponse, uiText(439));
}

void OperationsPage::btnPlayChannelNOClick()
{
    if (playMode_ == PlayByNumber) {
        stopChannelNumber();
        return;
    }
    if (playMode_ != PlayNone)
        return;
    const QString text = trimmedText(findChild<QLineEdit*>("edtPlayChannelNO"));
    if (text.isEmpty()) {
        frame_.showError(uiText(440));
        return;
    }
    int number = 0;
    if (!parseChannelNumber(toStd(text), number)) {
        frame_.showError(uiText(441));
        return;
    }
    currentChannel_ = number;
    playChannelNumber(number);
}

void OperationsPage::playChannelNumber(int number)
{
    if (number < 0)
        return;
    findChild<QLineEdit*>("edtPlayChannelNO")->setText(QString::number(number));
    sendButtonCommand(playNumberCommand(number), &OperationsPage::onPlayNumberResponse,
                      uiText(442) + QString::number(number));
}

void OperationsPage::stopChannelNumber()
{
    sendButtonCommand(kStopPlayCommand, &OperationsPage::onStopNumberResponse, uiText(439));
}

void OperationsPage::btnChannelNextClick()
{
    if (currentChannel_ == INT_MAX)
        return; // the next number would not be one
    ++currentChannel_;
    playChannelNumber(currentChannel_);
}

void OperationsPage::btnChannelPrevClick()
{
    if (currentChannel_ <= 0)
        return;
    --currentChannel_;
    playChannelNumber(currentChannel_);
}

void OperationsPage::trickPlay(const char* command, int statusText)
{
    if (playMode_ != PlayByUrl && playMode_ != PlayByNumber) {
        frame_.showStatus(uiText(446));
        return;
    }
    sendButtonCommand(command, &OperationsPage::onCommandResponse, uiText(statusText));
}

void OperationsPage::btnPlayBackClick()
{
    trickPlay(kFastBackwardCommand, 444);
}

void OperationsPage::btnPlayPauseClick()
{
    trickPlay(kPauseCommand, 445);
}

void OperationsPage::btnPlayPrevClick()
{
    trickPlay(kFastForwardCommand, 443);
}

int OperationsPage::onPlaybackResponse(const char* logText, uint8_t modeOnSuccess)
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeButtonCommand, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("%s", logText);
    if (response->status == STA_OK) {
        setPlayMode(modeOnSuccess);
        frame_.showStatus(uiText(404));
        frame_.setWindowMode(Idle);
        log.info("STA_OK");
    } else {
        if (response->status == STA_ERROR) {
            frame_.showStatus(TfrmMain::responseErrorText(*response));
            log.error("STA_ERROR");
        }
        frame_.setWindowMode(Idle);
    }
    return 1;
}

int OperationsPage::onPlayUrlResponse()
{
    return onPlaybackResponse("Get play channel URL response", PlayByUrl);
}

int OperationsPage::onStopUrlResponse()
{
    return onPlaybackResponse("Get stop channel URL response", PlayNone);
}

int OperationsPage::onPlayNumberResponse()
{
    return onPlaybackResponse("Get play channel number response", PlayByNumber);
}

int OperationsPage::onStopNumberResponse()
{
    return onPlaybackResponse("Get stop channel number response", PlayNone);
}

// --- upgrade ---

void OperationsPage::btnSelectUpgradeFileClick()
{
    const QString chosen = Dialogs::openFileName(this, androidBox() ? "zip file (*.zip);;All files (*.*)"
                                                                    : "Binary file (*.bin);;All files (*.*)");
    if (!chosen.isEmpty())
        findChild<QLineEdit*>("edtUpgradeFile")->setText(chosen);
}

void OperationsPage::btnUpgradeClick()
{
    const QString path = findChild<QLineEdit*>("edtUpgradeFile")->text();
    if (path.isEmpty()) {
        frame_.showError(uiText(447));
        return;
    }
    if (!path.contains(androidBox() ? ".zip" : ".bin", Qt::CaseSensitive)) {
        frame_.showError(uiText(448));
        return;
    }
    ReqUpgrade request;
    request.fileName = toStd(path);
    request.forceUpgrade = findChild<QCheckBox*>("chkForceUpgrade")->isChecked() ? 1 : 0;
    send(request, &OperationsPage::onUpgradeResponse, Busy, uiText(450));
}

int OperationsPage::onUpgradeResponse()
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeUpgrade, result);
    if (!response)
        return result;
    // The sender reports faster than the window ticks: every report waiting is taken now, so the
    // bar never trails the image and an end behind them is shown at once.
    while (response->status == STA_PROGRESS) {
        const auto* upgrade = dynamic_cast<const ResUpgrade*>(response.get());
        const int percent = upgrade ? upgrade->percent : 0;
        QString text = uiText(upgrade && upgrade->upgrading ? 450 : 449) + QString::number(percent) + "%";
        frame_.showStatus(text.left(255));
        frame_.showProgress(percent);
        response = frame_.takeResponse(TypeUpgrade, result);
        if (!response)
            return result;
    }
    Logger& log = Logger::instance();
    const std::string lostText = upgradeFailureText(*response);
    switch (response->status) {
    case STA_OK:
        frame_.setWindowMode(Idle);
        frame_.showStatus(uiText(451));
        log.info("STA_OK");
        return 1;
    case STA_ERROR:
        frame_.setWindowMode(Idle);
        frame_.showStatus(lostText.empty() ? TfrmMain::responseErrorText(*response) : QString::fromStdString(lostText));
        log.error("STA_ERROR");
        return 1;
    default:
        frame_.setWindowMode(Idle);
        return 1;
    }
}

} // namespace quillon
