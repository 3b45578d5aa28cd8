#include "InfoPage.h"

#include "Dialogs.h"
#include "IpAddressEdit.h"
#include "untMain.h"

#include <ChannelEntry.h>
#include <Commandio.h>
#include <ConfigInfo.h>
#include <Logger.h>

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdlib>

namespace quillon
{

namespace
{

// The tag labels of the two information groups, in caption-id order; each value label is named
// after its tag with "Value" for "Tag".
const std::vector<const char*> kStbInfoTags = {
    "lblSTBModelTag",        "lblSerialNumberTag",   "lblSoftVersionTag", "lblCompileDateTag", "lblBrowserVersionTag",
    "lblHardwareVersionTag", "lblMACAddressTag",     "lblConnectTypeTag", "lblIPAddressTag",   "lblGatewayTag",
    "lblDNSAddressTag",      "lblNetUserAccountTag", "lblCATypeTag",      "lblChipIdTag"};
const std::vector<const char*> kServerInfoTags = {
    "lblHomepageTag", "lblHomepage1Tag", "lblEPGUrlTag", "lblUpgradeServerTag", "lblNTPTag",
    "lblTimeZoneTag", "lblCurrTimeTag",  "lblQosLogTag", "lblTMSUrlTag",        "lblTVMSUrlTag"};

int connectDots = 0;

QString valueName(const char* tagName)
{
    QString name = QString::fromLatin1(tagName);
    name.chop(3);
    return name + "Value";
}

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// The user name as the box expects it: blanks and control characters cut from both ends.
QString trimmedUserName(const QString& text)
{
    int begin = 0;
    int end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

InfoPage::InfoPage(TfrmMain& frame, QWidget* parent) : QWidget(parent), frame_(frame)
{
    setObjectName("shtSTBInfo");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildConnectGroup());
    auto* infoRow = new QHBoxLayout;
    QGroupBox* stbInfo = buildInfoGroup("gbSTBInfo", kStbInfoTags, 2, "00000000000000000000");
    QGroupBox* serverInfo =
        buildInfoGroup("gbServerInfo", kServerInfoTags, 1, "http://00.00.0.00:0000/iptvepg/platform/auth.jsp");
    infoRow->addWidget(stbInfo, 3);
    infoRow->addWidget(serverInfo, 2);
    layout->addLayout(infoRow);
    layout->addWidget(buildChannelGroup(), 1);

    btnRefresh_ = new QPushButton(this);
    btnRefresh_->setObjectName("btnRefresh");
    btnExportChannelList_ = new QPushButton(this);
    btnExportChannelList_->setObjectName("btnExportChannelList");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnRefresh_);
    buttons->addWidget(btnExportChannelList_);
    layout->addLayout(buttons);

    lblCurrTimeValue_ = value("lblCurrTimeValue");

    captions_.push_back({findChild<QGroupBox*>("gbConnect"), 21});
    appendCaptionRun(
        captions_, 22,
        {findChild<QLabel*>("lblSTBIP"), findChild<QLabel*>("lblUserName"), findChild<QLabel*>("lblPasswd")});
    captions_.push_back({stbInfo, 27});
    for (size_t i = 0; i < kStbInfoTags.size(); ++i)
        captions_.push_back({findChild<QLabel*>(kStbInfoTags[i]), 28 + int(i)});
    captions_.push_back({serverInfo, 43});
    for (size_t i = 0; i < kServerInfoTags.size(); ++i)
        captions_.push_back({findChild<QLabel*>(kServerInfoTags[i]), 44 + int(i)});
    captions_.push_back({findChild<QGroupBox*>("gbChannelList"), 56});
    captions_.push_back({btnRefresh_, 63});
    captions_.push_back({btnExportChannelList_, 64});

    connect(btnConnect_, &QPushButton::clicked, this, [this] { btnConnectClick(); });
    connect(btnRefresh_, &QPushButton::clicked, this, [this] { btnRefreshClick(); });
    connect(btnExportChannelList_, &QPushButton::clicked, this, [this] { btnExportChannelListClick(); });
}

QGroupBox* InfoPage::buildConnectGroup()
{
    auto* group = new QGroupBox(this);
    group->setObjectName("gbConnect");
    auto* row = new QHBoxLayout(group);
    auto label = [group](const char* name) {
        auto* l = new QLabel(group);
        l->setObjectName(name);
        return l;
    };
    ipSTBAddress_ = new IpAddressEdit(group);
    ipSTBAddress_->setObjectName("ipSTBAddress");
    edtUserName_ = new QLineEdit(group);
    edtUserName_->setObjectName("edtUserName");
    edtPassword_ = new QLineEdit(group);
    edtPassword_->setObjectName("edtPassword");
    edtPassword_->setEchoMode(QLineEdit::Password);
    edtPassword_->setStyleSheet("lineedit-password-character: 42"); // "*"
    btnConnect_ = new QPushButton(group);
    btnConnect_->setObjectName("btnConnect");
    btnConnect_->setDefault(true);
    row->addWidget(label("lblSTBIP"));
    row->addWidget(ipSTBAddress_);
    row->addSpacing(12);
    row->addWidget(label("lblUserName"));
    row->addWidget(edtUserName_, 1);
    row->addSpacing(12);
    row->addWidget(label("lblPasswd"));
    row->addWidget(edtPassword_, 1);
    row->addSpacing(12);
    row->addWidget(btnConnect_);
    QWidget::setTabOrder(ipSTBAddress_->octetField(3), edtUserName_);
    QWidget::setTabOrder(edtUserName_, edtPassword_);
    QWidget::setTabOrder(edtPassword_, btnConnect_);
    return group;
}

QGroupBox* InfoPage::buildInfoGroup(const char* name, const std::vector<const char*>& rows, int columns,
                                    const char* widestValue)
{
    auto* group = new QGroupBox(this);
    group->setObjectName(name);
    auto* grid = new QGridLayout(group);
    grid->setVerticalSpacing(4);
    grid->setHorizontalSpacing(10);
    const int perColumn = int((rows.size() + columns - 1) / columns);
    for (size_t i = 0; i < rows.size(); ++i) {
        auto* tag = new QLabel(group);
        tag->setObjectName(rows[i]);
        auto* val = new QLabel(group);
        val->setObjectName(valueName(rows[i]));
        // Values are shown literally. Each has room for the longest usual value (a 20-digit STBID,
        // a server URL); a longer one is cut at the group's edge and shown whole in its tip.
        val->setTextFormat(Qt::PlainText);
        val->setTextInteractionFlags(Qt::TextSelectableByMouse);
        val->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        val->setMinimumWidth(val->fontMetrics().horizontalAdvance(QString::fromLatin1(widestValue)) + 4);
        valueLabels_.push_back(val);
        const int column = int(i) / perColumn * 2;
        grid->addWidget(tag, int(i) % perColumn, column);
        grid->addWidget(val, int(i) % perColumn, column + 1);
        grid->setColumnStretch(column + 1, 1);
    }
    grid->setRowStretch(perColumn, 1);
    return group;
}

QGroupBox* InfoPage::buildChannelGroup()
{
    auto* group = new QGroupBox(this);
    group->setObjectName("gbChannelList");
    auto* layout = new QVBoxLayout(group);
    lvChannelList_ = new QTreeWidget(group);
    lvChannelList_->setObjectName("lvChannelList");
    lvChannelList_->setColumnCount(4);
    lvChannelList_->setRootIsDecorated(false);
    lvChannelList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvChannelList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvChannelList_->setUniformRowHeights(true);
    lvChannelList_->setStyleSheet(
        "QTreeView::item { border-right: 1px solid #d0d0d0; border-bottom: 1px solid #d0d0d0; }");
    lvChannelList_->headerItem()->setTextAlignment(1, Qt::AlignCenter);
    lvChannelList_->header()->resizeSection(0, 90);
    lvChannelList_->header()->resizeSection(1, 80);
    lvChannelList_->header()->resizeSection(2, 320);
    lvChannelList_->setMinimumHeight(150);
    layout->addWidget(lvChannelList_);
    return group;
}

QLabel* InfoPage::value(const char* name) const
{
    return findChild<QLabel*>(name);
}

// A value too long for its label is cut at the edge; the tip shows it whole.
void InfoPage::setValue(const char* name, const QString& text)
{
    QLabel* label = value(name);
    label->setText(text);
    label->setToolTip(text);
}

void InfoPage::applyUiLanguage(bool linkUp)
{
    applyCaptions(captions_);
    btnConnect_->setText(uiText(linkUp ? 26 : 25));
    QTreeWidgetItem* header = lvChannelList_->headerItem();
    for (int column = 0; column < 4; ++column)
        header->setText(column, uiText(57 + column));
}

void InfoPage::setLinkControls(bool linkUp)
{
    btnConnect_->setText(uiText(linkUp ? 26 : 25));
    btnRefresh_->setEnabled(linkUp);
    btnExportChannelList_->setEnabled(linkUp);
}

void InfoPage::btnConnectClick()
{
    const uint8_t state = frame_.linkState();
    if (state != 0) {
        if (state == 1) {
            frame_.queues().pushRequest(ReqDisConnect());
            frame_.addPendingHandler([this] { return onDisconnectResponse(); });
            frame_.setWindowMode(Busy);
        }
        return;
    }
    const QString address = ipSTBAddress_->text();
    if (address == "0.0.0.0") {
        frame_.showError(uiText(400));
        return;
    }
    const QString userName = trimmedUserName(edtUserName_->text());
    const QString password = edtPassword_->text();
    if (userName.isEmpty()) {
        frame_.showError(uiText(480));
        return;
    }
    if (password.isEmpty()) {
        frame_.showError(uiText(481));
        return;
    }
    ReqConnect request;
    request.ip = address.toStdString();
    request.port = int32_t(frame_.stbPort());
    request.userName = userName.toStdString();
    request.password = password.toStdString();
    frame_.queues().pushRequest(request);
    frame_.addPendingHandler([this] { return onConnectResponse(); });
    frame_.showStatus(uiText(401));
    frame_.setWindowMode(Busy);
}

QString InfoPage::nextConnectingText()
{
    if (++connectDots > 12)
        connectDots = 0;
    return uiText(401) + QString(connectDots, '.');
}

int InfoPage::onConnectResponse()
{
    frame_.showStatus(nextConnectingText());
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeConnect, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("Get connect response");
    if (response->status == STA_OK) {
        frame_.showStatus(uiText(404));
        requestStbInfo();
        log.info("STA_OK");
    } else if (response->status == STA_ERROR) {
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        log.error("STA_ERROR");
    }
    frame_.setWindowMode(Idle);
    return 1;
}

int InfoPage::onDisconnectResponse()
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeDisconnect, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("Get disconnect response");
    if (response->status == STA_OK) {
        frame_.showStatus(uiText(402));
        log.info("STA_OK");
    } else if (response->status == STA_ERROR) {
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        log.error("STA_ERROR");
    }
    frame_.setWindowMode(Idle);
    return 1;
}

void InfoPage::requestStbInfo()
{
    clearInfoPage();
    frame_.queues().pushRequest(ReqSTBInfo());
    frame_.addPendingHandler([this] { return onStbInfoResponse(); });
    frame_.setWindowMode(Busy);
    frame_.showStatus(uiText(406));
}

void InfoPage::btnRefreshClick()
{
    requestStbInfo();
}

int InfoPage::onStbInfoResponse()
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeStbInfo, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("Get stb info response");
    // The type code says which class it is; the cast is checked all the same.
    const auto* info = dynamic_cast<const ResSTBInfo*>(response.get());
    if (response->status == STA_OK && info) {
        showStbInfo(*info);
        frame_.showStatus(uiText(404));
        log.info("STA_OK");
    } else if (response->status == STA_PART_OK && info) {
        showStbInfo(*info);
        frame_.showStatus(uiText(487));
        log.error("%s", response->message.c_str());
        log.info("STA_PART_OK");
    } else if (response->status == STA_ERROR) {
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        log.error("STA_ERROR");
    }
    frame_.setWindowMode(Idle);
    requestChannelList(QString());
    infoPartial_ = response->status == STA_PART_OK && info;
    return 1;
}

void InfoPage::showStbInfo(const ResSTBInfo& info)
{
    setValue("lblSTBModelValue", fromStd(info.stbModel));
    setValue("lblSerialNumberValue", fromStd(info.serialNumber));
    setValue("lblSoftVersionValue", fromStd(info.softwareVersion));
    setValue("lblCompileDateValue", fromStd(info.compileTime));
    setValue("lblBrowserVersionValue", fromStd(info.browserVersion));
    setValue("lblHardwareVersionValue", fromStd(info.hardwareVersion));
    setValue("lblMACAddressValue", fromStd(info.macAddress));
    setValue("lblConnectTypeValue", connectTypeText(info.connectType));
    setValue("lblIPAddressValue", fromStd(info.stbIP));
    setValue("lblGatewayValue", fromStd(info.gateway));
    setValue("lblDNSAddressValue", fromStd(info.dns));
    setValue("lblNetUserAccountValue", fromStd(info.ntvUserAccount));
    setValue("lblCATypeValue", fromStd(info.casType));
    setValue("lblChipIdValue", fromStd(info.chipId));
    setValue("lblHomepageValue", fromStd(info.mainHomepageUrl));
    setValue("lblEPGUrlValue", fromStd(info.epgUrl));
    setValue("lblHomepage1Value", fromStd(info.secondaryHomepageUrl));
    setValue("lblUpgradeServerValue", fromStd(info.upgradeServer));
    setValue("lblNTPValue", fromStd(info.ntpDomain));
    setValue("lblTimeZoneValue", timeZoneText(info.timeZone));
    frame_.startStbClock(info.localTime, info.localTimeUnset != 0);
    setValue("lblQosLogValue", fromStd(info.logServerUrl));
    setValue("lblTMSUrlValue", fromStd(info.managementDomain));
    setValue("lblTVMSUrlValue", fromStd(info.tvmsHeartbitUrl));
    const bool wasAndroid = frame_.stbType() == "1";
    frame_.setStbType(info.stbType);
    if (wasAndroid && info.stbType != "1")
        frame_.liftAndroidLimits();
    if (info.stbType == "1") {
        Logger::instance().info("Adnroid box");
        frame_.fillAndroidHdModes();
        frame_.applyAndroidLimits();
    }
}

QString InfoPage::connectTypeText(uint8_t connectType)
{
    return QString::fromStdString(connectTypeName(connectType));
}

QString InfoPage::timeZoneText(int32_t hours)
{
    // Widened before negating, so that the smallest int32 cannot overflow.
    const long long magnitude = std::llabs(static_cast<long long>(hours));
    return QString::asprintf("%s %s%02lld:00", uiText(140).toUtf8().constData(), hours < 0 ? "-" : "+", magnitude);
}

void InfoPage::clearInfoPage()
{
    for (QLabel* label : valueLabels_) {
        label->clear();
        label->setToolTip(QString());
    }
    frame_.startStbClock(-1, false);
    lblCurrTimeValue_->clear();
    lvChannelList_->clear();
}

void InfoPage::requestChannelList(const QString& fileName)
{
    infoPartial_ = false;
    lvChannelList_->clear();
    ReqExportChannelList request;
    request.fileName = fileName.toStdString();
    frame_.queues().pushRequest(request);
    frame_.addPendingHandler([this] { return onChannelListResponse(); });
    frame_.setWindowMode(Busy);
    frame_.showStatus(uiText(407));
}

int InfoPage::onChannelListResponse()
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeExportChannelList, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("Get export channel list response");
    const auto* list = dynamic_cast<const ResExportChannelList*>(response.get());
    switch (response->status) {
    case STA_PROGRESS:
        frame_.showProgress(list ? list->percent : 0);
        frame_.showStatus(uiText(407));
        return 0;
    case STA_OK:
        if (list && !list->channelList.empty())
            fillChannelList(list->channelList);
        frame_.setWindowMode(Idle);
        frame_.showStatus(uiText(infoPartial_ ? 487 : 404));
        infoPartial_ = false;
        log.info("STA_OK");
        return 1;
    case STA_ERROR:
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        frame_.setWindowMode(Idle);
        infoPartial_ = false;
        log.error("STA_ERROR");
        return 1;
    default:
        // Never produced by the channel-list read; finish without leaving the window locked.
        frame_.setWindowMode(Idle);
        return 1;
    }
}

void InfoPage::fillChannelList(const std::string& text)
{
    if (text.empty())
        return;
    for (const ChannelEntry& entry : parseChannelList(text)) {
        auto* row = new QTreeWidgetItem(lvChannelList_);
        row->setText(0, fromStd(entry.number));
        row->setText(1, entry.timeShift ? "YES" : "NO");
        row->setTextAlignment(1, Qt::AlignCenter);
        row->setText(2, fromStd(entry.channelUrl));
        row->setText(3, fromStd(entry.timeShiftUrl));
    }
}

QString InfoPage::exportFileName(const QString& chosen)
{
    for (const char* known : {".txt", ".TXT", ".ini", ".INI"})
        if (chosen.contains(QLatin1String(known), Qt::CaseSensitive))
            return chosen;
    return chosen + ".txt";
}

void InfoPage::btnExportChannelListClick()
{
    const QString chosen = Dialogs::saveFileName(this, "Text files (*.txt);;All files (*.*)");
    if (chosen.isEmpty())
        return;
    requestChannelList(exportFileName(chosen));
    frame_.showStatus(uiText(408));
}

} // namespace quillon
