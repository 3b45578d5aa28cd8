#include "LogPage.h"

#include "LogViewer.h"
#include "Captions.h"
#include "untMain.h"

#include <Commandio.h>
#include <Logger.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon
{

// In the order their keywords enter the filter: left column, then right column.
const std::array<int, 4> LogPage::logLevelValues = {0, 3, 6, 7};
const std::array<int, 5> LogPage::logTypeValues = {0, 16, 17, 19, 20};
const std::array<int, 4> LogPage::outputTypeValues = {0, 1, 2, 3};

const char* const LogPage::kKeywordBoxes[22] = {
    "chkHost",  "chkHttp",       "chkRtsp", "chkBuffer",   "chkRequest",     "chkOpen",    "chkIgmp", "chkUrl",
    "chkError", "chkConnection", "chkPVR",  "chkDownload", "chkMediaplayer", "chkUpgrade", "chkDRM",  "chkACS",
    "chkDVB",   "chkSQM",        "chkLOG",  "chkUPnp",     "chkTemplate",    "chkHMS"};

LogPage::LogPage(TfrmMain& frame, QWidget* parent) : QWidget(parent), frame_(frame)
{
    setObjectName("shtLogManage");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildParamGroup());
    layout->addWidget(buildAnalyseGroup(), 1);

    appendCaptionRunByName(captions_, this, 193,
                           {"gbLogParamSet", "lblLogAddrType", "lblUploadAddr", "lblLogLevel", "lblLogType",
                            "lblLogCfgLogSwitch", "btnLogParamRefresh", "btnLogParamSubmit", "btnLogParamFastSet",
                            "lblLiveLogFile", "btnLiveLog", "gbLogAnalyse", "chkPrintLiveLog", "lblLocalLogFile",
                            "btnLocalLog"});
    for (int i = 0; i < 22; ++i)
        appendCaptionRunByName(captions_, this, 211 + i, {kKeywordBoxes[i]});
    appendCaptionRunByName(captions_, this, 238,
                           {"lblCustomWord", "btnApplyFilter", "lblFilterLogSaveFile", "btnBrowseFilterLogSaveFile"});
    appendCaptionRunByName(captions_, this, 794, {"chkFollowLog", "chkMatchingOnly"});

    chkPrintLiveLog_ = findChild<QCheckBox*>("chkPrintLiveLog");
    viewer_ = std::make_unique<LogViewer>(frame_, *this);
    connect(combo("cmbLogAddrType"), &QComboBox::activated, this, [this] { cmbLogAddrTypeChange(); });
    auto onClick = [this](const char* name, void (LogPage::*handler)()) {
        connect(findChild<QPushButton*>(name), &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    onClick("btnLogParamRefresh", &LogPage::btnLogParamRefreshClick);
    onClick("btnLogParamSubmit", &LogPage::btnLogParamSubmitClick);
    onClick("btnLogParamFastSet", &LogPage::btnLogParamFastSetClick);
}

LogPage::~LogPage() = default;

QComboBox* LogPage::combo(const char* name) const
{
    return findChild<QComboBox*>(name);
}

QWidget* LogPage::buildParamGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbLogParamSet");
    auto* grid = new QGridLayout(group);
    grid->addWidget(makeNamed<QLabel>(group, "lblLogAddrType"), 0, 0);
    grid->addWidget(makeNamed<QComboBox>(group, "cmbLogAddrType"), 0, 1);
    grid->addWidget(makeNamed<QLabel>(group, "lblUploadAddr"), 0, 2);
    auto* address = makeNamed<QComboBox>(group, "cmbLogAddrValue");
    address->setEditable(true);
    address->setMinimumWidth(150);
    grid->addWidget(address, 0, 3);
    grid->addWidget(makeNamed<QPushButton>(group, "btnLogParamRefresh"), 0, 5);
    grid->addWidget(makeNamed<QLabel>(group, "lblLogLevel"), 1, 0);
    grid->addWidget(makeNamed<QComboBox>(group, "cmbLogLevel"), 1, 1);
    grid->addWidget(makeNamed<QLabel>(group, "lblLogType"), 1, 2);
    grid->addWidget(makeNamed<QComboBox>(group, "cmbLogType"), 1, 3);
    grid->addWidget(makeNamed<QLabel>(group, "lblLogCfgLogSwitch"), 2, 0);
    grid->addWidget(makeNamed<QComboBox>(group, "cmbLogOutputType"), 2, 1);
    grid->addWidget(makeNamed<QPushButton>(group, "btnLogParamFastSet"), 2, 3, Qt::AlignRight);
    grid->addWidget(makeNamed<QPushButton>(group, "btnLogParamSubmit"), 2, 5);
    grid->addWidget(makeNamed<QLabel>(group, "lblLiveLogFile"), 3, 0);
    auto* liveFile = makeNamed<QLineEdit>(group, "edtLiveLogFile");
    showWholeInToolTip(liveFile);
    grid->addWidget(liveFile, 3, 1, 1, 4);
    grid->addWidget(makeNamed<QPushButton>(group, "btnLiveLog"), 3, 5);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnMinimumWidth(4, 12);
    return group;
}

QWidget* LogPage::buildAnalyseGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbLogAnalyse");
    auto* layout = new QVBoxLayout(group);
    auto* row = new QHBoxLayout;
    row->addWidget(makeNamed<QCheckBox>(group, "chkPrintLiveLog"));
    row->addWidget(makeNamed<QCheckBox>(group, "chkFollowLog"));
    row->addSpacing(16);
    row->addWidget(makeNamed<QLabel>(group, "lblLocalLogFile"));
    auto* localFile = makeNamed<QLineEdit>(group, "edtLocalLogFile");
    showWholeInToolTip(localFile);
    row->addWidget(localFile, 1);
    row->addWidget(makeNamed<QPushButton>(group, "btnLocalLog"));
    layout->addLayout(row);

    auto* keywords = new QGridLayout;
    for (int i = 0; i < 22; ++i)
        keywords->addWidget(makeNamed<QCheckBox>(group, kKeywordBoxes[i]), i / 11, i % 11);
    layout->addLayout(keywords);

    row = new QHBoxLayout;
    row->addWidget(makeNamed<QLabel>(group, "lblCustomWord"));
    row->addWidget(makeNamed<QLineEdit>(group, "edtAutoFilter"), 1);
    row->addWidget(makeNamed<QPushButton>(group, "btnApplyFilter"));
    row->addWidget(makeNamed<QCheckBox>(group, "chkMatchingOnly"));
    layout->addLayout(row);

    auto* logs = makeNamed<QTableView>(group, "lbLogs");
    logs->setMinimumHeight(120);
    layout->addWidget(logs, 1);

    row = new QHBoxLayout;
    row->addWidget(makeNamed<QLabel>(group, "lblFilterLogSaveFile"));
    auto* filteredFile = makeNamed<QLineEdit>(group, "edtSaveFilterLogFile");
    showWholeInToolTip(filteredFile);
    row->addWidget(filteredFile, 1);
    row->addWidget(makeNamed<QPushButton>(group, "btnBrowseFilterLogSaveFile"));
    layout->addLayout(row);
    return group;
}

void LogPage::applyUiLanguage()
{
    applyCaptions(captions_);
}

void LogPage::refillCombos()
{
    refillCombo(findChild<QComboBox*>("cmbLogAddrType"), uiTexts({244, 245}));
    refillCombo(findChild<QComboBox*>("cmbLogLevel"), uiTexts({246, 247, 248, 249}));
    refillCombo(findChild<QComboBox*>("cmbLogType"), uiTexts({250, 251, 252, 253, 254}));
    refillCombo(findChild<QComboBox*>("cmbLogOutputType"), uiTexts({255, 256, 257, 258}));
}

QComboBox* LogPage::localAddressBox() const
{
    return findChild<QComboBox*>("cmbLogAddrValue");
}

void LogPage::clearLogPage()
{
    for (const char* name : {"cmbLogAddrType", "cmbLogLevel", "cmbLogType", "cmbLogOutputType"})
        findChild<QComboBox*>(name)->setCurrentIndex(-1);
    localAddressBox()->setEditText(QString());
    findChild<QLineEdit*>("edtLiveLogFile")->clear();
    findChild<QCheckBox*>("chkPrintLiveLog")->setChecked(false);
    for (const char* name : kKeywordBoxes)
        findChild<QCheckBox*>(name)->setChecked(false);
    findChild<QLineEdit*>("edtAutoFilter")->clear();
    // The rows stay for reading (a loaded file with its path); the filter goes with its boxes,
    // so no row stays red for a keyword no longer shown.
    viewer_->buildFilter();
    findChild<QLineEdit*>("edtSaveFilterLogFile")->clear();
}

void LogPage::setLinkControls(bool linkUp)
{
    // Only the box's controls need the link; a log file can be loaded, filtered and saved without.
    findChild<QWidget*>("gbLogParamSet")->setEnabled(linkUp);
    chkPrintLiveLog_->setEnabled(linkUp);
    if (linkUp && viewer_->logViewMode() != LogViewFile)
        viewer_->clearRows(); // what was kept from the last link
}

void LogPage::markLinkLost(const QString& mark)
{
    viewer_->markLinkLost(mark);
}

void LogPage::cmbLogAddrTypeChange()
{
    localAddressBox()->setEditText(QString());
}

void LogPage::pushLogParams(const ReqLogParams& request, int statusId)
{
    frame_.queues().pushRequest(request);
    frame_.addPendingHandler([this] { return onLogParamsResponse(); });
    frame_.setWindowMode(Busy);
    frame_.showStatus(uiText(statusId));
}

void LogPage::btnLogParamRefreshClick()
{
    localAddressBox()->setEditText(QString());
    for (const char* name : {"cmbLogLevel", "cmbLogType", "cmbLogOutputType"})
        combo(name)->setCurrentIndex(-1);
    ReqLogParams request(FuncRead);
    request.addrType = combo("cmbLogAddrType")->currentIndex();
    pushLogParams(request, 453);
}

void LogPage::btnLogParamSubmitClick()
{
    ReqLogParams request(FuncWrite);
    request.addrType = combo("cmbLogAddrType")->currentIndex();
    if (request.addrType >= 0)
        request.addrValue = localAddressBox()->currentText().trimmed().toStdString();
    auto valueOf = [this](const char* name, auto& table) {
        const int index = combo(name)->currentIndex();
        return index >= 0 && index < int(table.size()) ? table[size_t(index)] : -1;
    };
    request.logLevel = valueOf("cmbLogLevel", logLevelValues);
    request.logType = valueOf("cmbLogType", logTypeValues);
    request.outputType = valueOf("cmbLogOutputType", outputTypeValues);
    pushLogParams(request, 454);
}

// An item counts as selected while the edit shows its text; typing over it leaves none selected.
void LogPage::btnLogParamFastSetClick()
{
    QComboBox* address = localAddressBox();
    const int index = address->currentIndex();
    if ((index < 0 || address->itemText(index) != address->currentText()) && address->count() > 0)
        address->setCurrentIndex(0);
    combo("cmbLogAddrType")->setCurrentIndex(0);
    combo("cmbLogLevel")->setCurrentIndex(3);
    combo("cmbLogType")->setCurrentIndex(1);
    combo("cmbLogOutputType")->setCurrentIndex(2);
    ReqLogParams request(FuncWrite);
    request.addrType = 0;
    request.addrValue = address->currentText().toStdString();
    request.logLevel = logLevelValues[3];
    request.logType = logTypeValues[1];
    request.outputType = outputTypeValues[2];
    pushLogParams(request, 455);
}

void LogPage::showLogParams(const ResLogParams& answer)
{
    if (answer.function != FuncRead)
        return;
    if (answer.addrType != -1)
        localAddressBox()->setEditText(QString::fromStdString(answer.addrValue));
    combo("cmbLogLevel")->setCurrentIndex(indexOfValue(logLevelValues, answer.logLevel));
    combo("cmbLogType")->setCurrentIndex(indexOfValue(logTypeValues, answer.logType));
    combo("cmbLogOutputType")->setCurrentIndex(indexOfValue(outputTypeValues, answer.outputType));
}

int LogPage::onLogParamsResponse()
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeLogParams, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("Get log params response");
    const auto* answer = dynamic_cast<const ResLogParams*>(response.get());
    switch (response->status) {
    case STA_OK:
        if (answer)
            showLogParams(*answer);
        frame_.setWindowMode(Idle);
        frame_.showStatus(uiText(404));
        log.info("STA_OK");
        break;
    case STA_PART_OK:
        if (answer)
            showLogParams(*answer);
        frame_.setWindowMode(Idle);
        frame_.showStatus(uiText(487));
        log.error("%s", response->message.c_str());
        log.info("STA_PART_OK");
        break;
    case STA_ERROR:
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        frame_.setWindowMode(Idle);
        log.error("STA_ERROR");
        break;
    default:
        // Never sent for this request; the window is not left busy for it.
        frame_.setWindowMode(Idle);
        break;
    }
    return 1;
}

} // namespace quillon
