#include "ConfigPage.h"

#include "ParamFileActions.h"
#include "untMain.h"

#include <Commandio.h>
#include <ConfigInfo.h>
#include <Logger.h>
#include <Utdatacheck.h>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <climits>

namespace quillon
{

namespace
{

QString fromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// A combo index from a box value: anything outside the list leaves no selection.
void selectIndex(QComboBox* box, long long index)
{
    box->setCurrentIndex(index >= 0 && index < box->count() ? static_cast<int>(index) : -1);
}

// The trimmed text of an interval edit as a number of 0 or more; -1 when it is not one.
int32_t intervalOf(const QLineEdit* edit, bool* valid = nullptr)
{
    const QString text = edit->text().trimmed();
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    const bool accepted = text.isEmpty() || (ok && value >= 0);
    if (valid)
        *valid = accepted;
    return ok && value >= 0 ? value : -1;
}

template <size_t N> QStringList fixedItems(const std::array<const char*, N>& items)
{
    QStringList list;
    for (const char* item : items)
        list << QString::fromLatin1(item);
    return list;
}

// Rows of "label: field" in a grid; a row with a null field holds only its (bold) heading.
class FormBuilder
{
public:
    FormBuilder(QGroupBox* group) : group_(group), grid_(new QGridLayout(group)) { grid_->setVerticalSpacing(3); }

    template <typename Field> Field* row(const char* label, const char* field)
    {
        grid_->addWidget(makeNamed<QLabel>(group_, label), row_, 0);
        auto* f = makeNamed<Field>(group_, field);
        grid_->addWidget(f, row_++, 1);
        return f;
    }
    QLineEdit* edit(const char* label, const char* field, bool password = false)
    {
        auto* e = row<QLineEdit>(label, field);
        if (password) {
            e->setEchoMode(QLineEdit::Password);
            e->setStyleSheet("lineedit-password-character: 42"); // "*"
        }
        return e;
    }
    // An address field: wide enough for a typical server URL, the whole value in its tip.
    QLineEdit* urlEdit(const char* label, const char* field)
    {
        auto* e = edit(label, field);
        makeRoomForUrl(e);
        return e;
    }
    QLabel* heading(const char* label)
    {
        auto* l = makeNamed<QLabel>(group_, label);
        QFont bold = l->font();
        bold.setBold(true);
        l->setFont(bold);
        grid_->addWidget(l, row_++, 0, 1, 2);
        return l;
    }
    void widget(QWidget* w) { grid_->addWidget(w, row_++, 0, 1, 2); }
    void labelled(const char* label, QLayout* layout)
    {
        grid_->addWidget(makeNamed<QLabel>(group_, label), row_, 0);
        grid_->addLayout(layout, row_++, 1);
    }
    void finish()
    {
        grid_->setColumnStretch(1, 1);
        grid_->setRowStretch(row_, 1);
    }

private:
    QGroupBox* group_;
    QGridLayout* grid_;
    int row_ = 0;
};

} // namespace

ConfigPage::ConfigPage(TfrmMain& frame, QWidget* parent) : QWidget(parent), frame_(frame)
{
    setObjectName("shtSTBConfigure");
    auto* layout = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    // The server and log addresses in the middle column take most of any extra width.
    columns->addWidget(buildNetworkGroup(), 2);
    auto* middle = new QVBoxLayout;
    middle->addWidget(buildOutputGroup());
    middle->addWidget(buildServerGroup());
    middle->addWidget(buildLogGroup());
    middle->addStretch(1);
    columns->addLayout(middle, 3);
    auto* right = new QVBoxLayout;
    right->addWidget(buildIptvGroup());
    right->addWidget(buildTmsGroup());
    right->addWidget(buildAttributeGroup());
    right->addWidget(buildRemoteGroup());
    right->addStretch(1);
    columns->addLayout(right, 2);
    layout->addLayout(columns, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(makeNamed<QPushButton>(this, "btnExportParams"));
    buttons->addWidget(makeNamed<QPushButton>(this, "btnImportParams"));
    buttons->addStretch(1);
    buttons->addWidget(makeNamed<QPushButton>(this, "btnConfigInfoRefresh"));
    buttons->addWidget(makeNamed<QPushButton>(this, "btnConfigInfoSubmit"));
    layout->addLayout(buttons);

    appendCaptionRunByName(captions_, this, 67,
                           {"gbNetWorkConfig",
                            "lblConnectType",
                            "rbStaticIP",
                            "rbDHCP",
                            "rbPPPoE",
                            "lblSstaticIP",
                            "lblIP",
                            "lblGateway",
                            "lblNetmark",
                            "lblDNS",
                            "lblDHCP",
                            "lblDHCPAccount",
                            "lblDHCPPasswd",
                            "lblPPPoE",
                            "lblPPoEAccount",
                            "lblPPoEPasswd",
                            "chkVirtualLAN",
                            "lblVLConnectType",
                            "rbVLStaticIP",
                            "rbVLDHCP",
                            "lblVLStaticIP",
                            "lblVLIP",
                            "lblVLGateway",
                            "lblVLNetmark",
                            "lblVLDNS",
                            "gbOutputConfig",
                            "lblTVStandard",
                            "lblHDMIOutput",
                            "lblAniFicker",
                            "lblChannelSwitch",
                            "lblVideoScale",
                            "gbServerConfig",
                            "lblHomepage",
                            "lblHomepage1",
                            "lblUpgradeServer",
                            "lblNTP",
                            "lblNTP1",
                            "lblTimezone",
                            "gbLogConfig",
                            "lblLogSwitch",
                            "lblLogUploadInterval",
                            "lblLogServer"});
    appendCaptionRunByName(captions_, this, 121, {"lblBrowserLogSwitch"});
    appendCaptionRunByName(captions_, this, 330, {"gbIPTV", "lblNtvUserAccount", "lblNtvUserPassword"});
    appendCaptionRunByName(captions_, this, 109, {"gbTMSConfig", "lblTMSSwitch", "lblHeartSwitch"});
    appendCaptionRunByName(captions_, this, 122, {"lblTelnet"});
    appendCaptionRunByName(captions_, this, 112,
                           {"lblHeartInterval", "lblACSAddress", "lblTMSAccount", "lblTMSPasswd", "gbSTBAttribute",
                            "lblStreamTranType", "lblWorkMode", "lblStarupEnter", "lblCAProtect"});
    appendCaptionRunByName(captions_, this, 338, {"lblSerialNumber"});
    appendCaptionRunByName(captions_, this, 153,
                           {"btnExportParams", "btnImportParams", "btnConfigInfoRefresh", "btnConfigInfoSubmit"});
    appendCaptionRunByName(captions_, this, 131, {"GroupBox2"});

    // The three access types exclude each other through setConnectTypeControls, which can also
    // leave all three unchecked (no type read yet).
    const std::pair<const char*, uint8_t> types[] = {{"rbStaticIP", 3}, {"rbDHCP", 2}, {"rbPPPoE", 1}};
    for (const auto& [name, type] : types) {
        auto* radio = findChild<QRadioButton*>(name);
        radio->setAutoExclusive(false);
        const uint8_t t = type;
        connect(radio, &QRadioButton::clicked, this, [this, t] { setConnectTypeControls(t); });
    }
    auto* virtualLan = findChild<QCheckBox*>("chkVirtualLAN");
    connect(virtualLan, &QCheckBox::clicked, this, [this](bool on) { setVirtualLanControls(on); });

    paramFiles_ = std::make_unique<ParamFileActions>(frame_, *this);
    connect(findChild<QPushButton*>("btnConfigInfoRefresh"), &QPushButton::clicked, this,
            [this] { btnConfigInfoRefreshClick(); });
    connect(findChild<QPushButton*>("btnConfigInfoSubmit"), &QPushButton::clicked, this,
            [this] { btnConfigInfoSubmitClick(); });
    connect(findChild<QPushButton*>("btnExportParams"), &QPushButton::clicked, this,
            [this] { paramFiles_->btnExportParamsClick(); });
    connect(findChild<QPushButton*>("btnImportParams"), &QPushButton::clicked, this,
            [this] { paramFiles_->btnImportParamsClick(); });
}

ConfigPage::~ConfigPage() = default;

QWidget* ConfigPage::buildNetworkGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbNetWorkConfig");
    FormBuilder form(group);
    auto* types = new QHBoxLayout;
    for (const char* name : {"rbStaticIP", "rbDHCP", "rbPPPoE"})
        types->addWidget(makeNamed<QRadioButton>(group, name));
    types->addStretch(1);
    form.labelled("lblConnectType", types);
    form.heading("lblSstaticIP");
    form.edit("lblIP", "edtIP");
    form.edit("lblGateway", "edtGateway");
    form.edit("lblNetmark", "edtNetmark");
    form.edit("lblDNS", "edtDNS");
    form.heading("lblDHCP");
    form.edit("lblDHCPAccount", "edtDHCPAccount");
    form.edit("lblDHCPPasswd", "edtDHCPPasswd", true);
    form.heading("lblPPPoE");
    form.edit("lblPPoEAccount", "edtPPoEAccount");
    form.edit("lblPPoEPasswd", "edtPPPoEPasswd", true);
    form.widget(makeNamed<QCheckBox>(group, "chkVirtualLAN"));
    auto* vlTypes = new QHBoxLayout;
    auto* vlGroup = new QButtonGroup(group);
    for (const char* name : {"rbVLStaticIP", "rbVLDHCP"}) {
        auto* radio = makeNamed<QRadioButton>(group, name);
        vlGroup->addButton(radio);
        vlTypes->addWidget(radio);
    }
    vlTypes->addStretch(1);
    form.labelled("lblVLConnectType", vlTypes);
    form.heading("lblVLStaticIP");
    form.edit("lblVLIP", "edtVLIP");
    form.edit("lblVLGateway", "edtVLGateway");
    form.edit("lblVLNetmark", "edtVLNetmark");
    form.edit("lblVLDNS", "edtVLDNS");
    form.finish();
    return group;
}

QWidget* ConfigPage::buildOutputGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbOutputConfig");
    FormBuilder form(group);
    form.row<QComboBox>("lblTVStandard", "cmbTVStandard");
    form.row<QComboBox>("lblHDMIOutput", "cmbHDMIOutput");
    form.row<QComboBox>("lblAniFicker", "cmbAniFicker");
    form.row<QComboBox>("lblChannelSwitch", "cmbChannelSwitch");
    form.row<QComboBox>("lblVideoScale", "cmbVideoScale");
    form.finish();
    return group;
}

QWidget* ConfigPage::buildServerGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbServerConfig");
    FormBuilder form(group);
    form.urlEdit("lblHomepage", "edtHomepage");
    form.urlEdit("lblHomepage1", "edtHomepage1");
    form.urlEdit("lblUpgradeServer", "edtUpgradeServer");
    form.urlEdit("lblNTP", "edtNTP");
    form.urlEdit("lblNTP1", "edtNTP1");
    form.row<QComboBox>("lblTimezone", "cmbTimezone");
    form.finish();
    return group;
}

QWidget* ConfigPage::buildLogGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbLogConfig");
    FormBuilder form(group);
    form.row<QComboBox>("lblLogSwitch", "cmbLogSwitch");
    form.edit("lblLogUploadInterval", "edtLogUploadInterval");
    form.urlEdit("lblLogServer", "edtLogServer");
    form.row<QComboBox>("lblBrowserLogSwitch", "cmbBrowserLogSwitch");
    form.finish();
    return group;
}

QWidget* ConfigPage::buildIptvGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbIPTV");
    FormBuilder form(group);
    form.edit("lblNtvUserAccount", "edtIptvAccount");
    form.edit("lblNtvUserPassword", "edtIptvPassword", true);
    form.finish();
    return group;
}

QWidget* ConfigPage::buildTmsGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbTMSConfig");
    FormBuilder form(group);
    form.row<QComboBox>("lblTMSSwitch", "cmbTMSSwitch");
    form.row<QComboBox>("lblHeartSwitch", "cmbHeartSwitch");
    form.edit("lblHeartInterval", "edtHeartInterval");
    form.urlEdit("lblACSAddress", "edtACSAddress");
    form.edit("lblTMSAccount", "edtTMSAccount");
    form.edit("lblTMSPasswd", "edtTMSPasswd", true);
    form.finish();
    return group;
}

QWidget* ConfigPage::buildAttributeGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "gbSTBAttribute");
    FormBuilder form(group);
    form.row<QComboBox>("lblStreamTranType", "cmbStreamTranType");
    form.row<QComboBox>("lblWorkMode", "cmbWorkMode");
    form.row<QComboBox>("lblStarupEnter", "cmbStarupEnter");
    form.row<QComboBox>("lblCAProtect", "cmbCAProtect");
    form.edit("lblSerialNumber", "edtSerialNumber");
    form.finish();
    return group;
}

QWidget* ConfigPage::buildRemoteGroup()
{
    auto* group = makeNamed<QGroupBox>(this, "GroupBox2");
    FormBuilder form(group);
    form.row<QComboBox>("lblTelnet", "cmbTelnet");
    form.finish();
    return group;
}

void ConfigPage::requestConfigRead()
{
    clearConfigPage();
    frame_.queues().pushRequest(ReqConfigInfo(FuncRead));
    frame_.addPendingHandler([this] { return onConfigInfoResponse(); });
    frame_.setWindowMode(Busy);
    frame_.showStatus(uiText(411));
}

int ConfigPage::onConfigInfoResponse()
{
    return onConfigInfoResponse({});
}

// Takes the answer of a configuration read or write, shows the values of a read, and keeps the
// answer's values, whatever its status, as the baseline of the next write.
int ConfigPage::onConfigInfoResponse(const std::function<void(const ConfigInfo&)>& afterShow)
{
    int result = 0;
    std::unique_ptr<Response> response = frame_.takeResponse(TypeConfigInfo, result);
    if (!response)
        return result;
    Logger& log = Logger::instance();
    log.info("Get config info response");
    const auto* config = dynamic_cast<const ResConfigInfo*>(response.get());
    const bool answeredRead = config && response->function == FuncRead;
    if (response->status == STA_OK || response->status == STA_PART_OK) {
        if (answeredRead) {
            showConfigInfo(*config);
            if (afterShow)
                afterShow(*config);
        }
        if (response->status == STA_OK) {
            frame_.showStatus(uiText(404));
            log.info("STA_OK");
        } else {
            frame_.showStatus(uiText(487));
            log.error("%s", response->message.c_str());
            log.info("STA_PART_OK");
        }
    } else if (response->status == STA_ERROR) {
        frame_.showStatus(TfrmMain::responseErrorText(*response));
        log.error("STA_ERROR");
    }
    if (config)
        static_cast<ConfigInfo&>(frame_.storedConfig()) = *config;
    frame_.setWindowMode(Idle);
    return 1;
}

void ConfigPage::showConfigInfo(const ConfigInfo& c)
{
    setConnectTypeControls(static_cast<uint8_t>(c.connectType));
    const bool android = frame_.stbType() == "1";
    auto setText = [this](const char* name, const std::string& value) {
        QLineEdit* e = edit(name);
        e->setText(fromStd(value));
        e->setCursorPosition(0); // a long address shows its beginning
    };
    auto showStatic = [&] {
        setText("edtIP", c.stbIP);
        setText("edtGateway", c.gateway);
        setText("edtNetmark", c.netmask);
        setText("edtDNS", c.dns);
    };
    if (android)
        showStatic();
    switch (c.connectType) {
    case 1:
        setText("edtPPoEAccount", c.netUserAccount);
        setText("edtPPPoEPasswd", c.netUserPassword);
        break;
    case 2:
        setText("edtDHCPAccount", c.dhcpAccount);
        setText("edtDHCPPasswd", c.dhcpPassword);
        break;
    case 3:
        showStatic();
        break;
    default:
        break;
    }
    setText("edtHomepage", c.mainHomepageUrl);
    setText("edtHomepage1", c.secondaryHomepageUrl);
    setText("edtUpgradeServer", c.upgradeServer);
    setText("edtNTP", c.ntpDomain);
    setText("edtNTP1", c.ntpDomainBackup);
    selectIndex(combo("cmbTimezone"), static_cast<long long>(c.timeZone) + 12);
    selectIndex(combo("cmbLogSwitch"), c.qosLogSwitch);
    edit("edtLogUploadInterval")->setText(QString::number(c.logUploadInterval));
    setText("edtLogServer", c.logServerUrl);
    selectIndex(combo("cmbBrowserLogSwitch"), c.browserLogSwitch);
    setText("edtIptvAccount", c.ntvUserAccount);
    setText("edtIptvPassword", c.ntvUserPassword);
    selectIndex(combo("cmbTMSSwitch"), c.tmsEnable);
    selectIndex(combo("cmbHeartSwitch"), c.tmsHeartBit);
    selectIndex(combo("cmbTelnet"), c.telnetServiceEnable);
    edit("edtHeartInterval")->setText(QString::number(c.tmsHeartBitInterval));
    setText("edtACSAddress", c.managementDomain);
    setText("edtTMSAccount", c.tmsUsername);
    setText("edtTMSPasswd", c.tmsPassword);
    auto byText = [this](const char* name, const std::string& value) {
        QComboBox* box = combo(name);
        box->setCurrentIndex(box->findText(fromStd(value), Qt::MatchExactly | Qt::MatchCaseSensitive));
    };
    byText("cmbTVStandard", c.sdVideoStandard);
    byText("cmbHDMIOutput", c.hdVideoStandard);
    selectIndex(combo("cmbAniFicker"), c.antiFlickerSwitch);
    byText("cmbChannelSwitch", c.channelSwitchMode);
    selectIndex(combo("cmbVideoScale"), c.aspectRatio);
    selectIndex(combo("cmbStreamTranType"), c.transportProtocol);
    byText("cmbWorkMode", c.workModel);
    selectIndex(combo("cmbStarupEnter"), c.directPlay);
    selectIndex(combo("cmbCAProtect"), caRegisterIndex(c.caRegister));
    setText("edtSerialNumber", c.stbSerialNumber);
    if (android) {
        Logger::instance().info("Adnroid box");
        frame_.applyAndroidLimits();
    }
}

int8_t ConfigPage::selectedConnectType() const
{
    if (findChild<QRadioButton*>("rbStaticIP")->isChecked())
        return 3;
    if (findChild<QRadioButton*>("rbDHCP")->isChecked())
        return 2;
    if (findChild<QRadioButton*>("rbPPPoE")->isChecked())
        return 1;
    return -1;
}

bool ConfigPage::checkConfigInputs()
{
    if (selectedConnectType() == 3) {
        const std::pair<const char*, int> addresses[] = {
            {"edtIP", 415}, {"edtGateway", 416}, {"edtNetmark", 417}, {"edtDNS", 418}};
        for (const auto& [name, message] : addresses) {
            if (!isValidIp(edit(name)->text().trimmed().toStdString())) {
                frame_.showError(uiText(message));
                return false;
            }
        }
    }
    const std::pair<const char*, int> intervals[] = {{"edtLogUploadInterval", 419}, {"edtHeartInterval", 420}};
    for (const auto& [name, message] : intervals) {
        bool valid = false;
        intervalOf(edit(name), &valid);
        if (!valid) {
            frame_.showError(uiText(message));
            return false;
        }
    }
    return true;
}

ConfigInfo ConfigPage::configFromControls() const
{
    ConfigInfo c;
    auto text = [this](const char* name) { return edit(name)->text().toStdString(); };
    auto index = [this](const char* name) { return static_cast<int32_t>(combo(name)->currentIndex()); };
    auto shown = [this](const char* name) { return combo(name)->currentText().toStdString(); };
    c.connectType = selectedConnectType();
    switch (c.connectType) {
    case 3:
        c.stbIP = text("edtIP");
        c.gateway = text("edtGateway");
        c.netmask = text("edtNetmark");
        c.dns = text("edtDNS");
        break;
    case 2:
        c.dhcpAccount = text("edtDHCPAccount");
        c.dhcpPassword = text("edtDHCPPasswd");
        break;
    case 1:
        c.netUserAccount = text("edtPPoEAccount");
        c.netUserPassword = text("edtPPPoEPasswd");
        break;
    default:
        break;
    }
    c.mainHomepageUrl = text("edtHomepage");
    c.secondaryHomepageUrl = text("edtHomepage1");
    c.upgradeServer = text("edtUpgradeServer");
    c.ntpDomain = text("edtNTP");
    c.ntpDomainBackup = text("edtNTP1");
    const int zone = index("cmbTimezone");
    c.timeZone = zone < 0 ? kTimeZoneUnset : zone - 12;
    c.qosLogSwitch = index("cmbLogSwitch");
    c.logUploadInterval = intervalOf(edit("edtLogUploadInterval"));
    c.logServerUrl = text("edtLogServer");
    c.browserLogSwitch = index("cmbBrowserLogSwitch");
    c.ntvUserAccount = text("edtIptvAccount");
    c.ntvUserPassword = text("edtIptvPassword");
    c.tmsEnable = index("cmbTMSSwitch");
    c.tmsHeartBit = index("cmbHeartSwitch");
    c.telnetServiceEnable = index("cmbTelnet");
    c.tmsHeartBitInterval = intervalOf(edit("edtHeartInterval"));
    c.managementDomain = text("edtACSAddress");
    c.tmsUsername = text("edtTMSAccount");
    c.tmsPassword = text("edtTMSPasswd");
    c.sdVideoStandard = shown("cmbTVStandard");
    c.hdVideoStandard = shown("cmbHDMIOutput");
    c.channelSwitchMode = shown("cmbChannelSwitch");
    c.workModel = shown("cmbWorkMode");
    c.antiFlickerSwitch = index("cmbAniFicker");
    c.aspectRatio = index("cmbVideoScale");
    c.transportProtocol = index("cmbStreamTranType");
    c.directPlay = index("cmbStarupEnter");
    c.caRegister = caRegisterForIndex(index("cmbCAProtect"));
    c.stbSerialNumber = text("edtSerialNumber");
    return c;
}

void ConfigPage::btnConfigInfoSubmitClick()
{
    if (!checkConfigInputs())
        return;
    ReqConfigInfo request(FuncWrite);
    static_cast<ConfigInfo&>(request) = configFromControls();
    request.baseline = &frame_.storedConfig();
    frame_.queues().pushRequest(request);
    frame_.addPendingHandler([this] { return onConfigInfoResponse(); });
    frame_.setWindowMode(Busy);
    frame_.showStatus(uiText(412));
}

void ConfigPage::fillStandardHdModes()
{
    refillCombo(combo("cmbHDMIOutput"), fixedItems(kHdmiModes));
}

QLineEdit* ConfigPage::edit(const char* name) const
{
    return findChild<QLineEdit*>(name);
}

QComboBox* ConfigPage::combo(const char* name) const
{
    return findChild<QComboBox*>(name);
}

void ConfigPage::enable(std::initializer_list<const char*> names, bool on)
{
    for (const char* name : names)
        if (QWidget* w = findChild<QWidget*>(name))
            w->setEnabled(on);
}

QStringList ConfigPage::timeZoneItems()
{
    const QString utc = uiText(140);
    QStringList items;
    for (int h = -12; h <= 12; ++h) {
        if (h == 0)
            items << utc;
        else
            items << QString::asprintf("%s %s%02d:00", utc.toUtf8().constData(), h > 0 ? "+" : "-", h < 0 ? -h : h);
    }
    return items;
}

void ConfigPage::applyUiLanguage()
{
    applyCaptions(captions_);
}

void ConfigPage::refillCombos()
{
    const QStringList onOff = uiTexts({133, 134});
    refillCombo(combo("cmbTVStandard"), fixedItems(kTvStandards));
    refillCombo(combo("cmbHDMIOutput"),
                frame_.stbType() == "1" ? fixedItems(kAndroidHdmiModes) : fixedItems(kHdmiModes));
    refillCombo(combo("cmbAniFicker"), onOff);
    refillCombo(combo("cmbChannelSwitch"), fixedItems(kChannelSwitchModes));
    refillCombo(combo("cmbVideoScale"), uiTexts({138, 139}));
    refillCombo(combo("cmbTimezone"), timeZoneItems());
    for (const char* name : {"cmbLogSwitch", "cmbBrowserLogSwitch", "cmbTMSSwitch", "cmbHeartSwitch", "cmbTelnet"})
        refillCombo(combo(name), onOff);
    refillCombo(combo("cmbStreamTranType"), uiTexts({141, 142, 143, 144}));
    refillCombo(combo("cmbWorkMode"), fixedItems(kWorkModes));
    refillCombo(combo("cmbStarupEnter"), uiTexts({149, 150, 151}));
    refillCombo(combo("cmbCAProtect"), uiTexts({333, 334, 335, 336, 337}));
}

void ConfigPage::fillAndroidHdModes()
{
    QComboBox* hdmi = combo("cmbHDMIOutput");
    hdmi->clear();
    hdmi->addItems(fixedItems(kAndroidHdmiModes));
}

void ConfigPage::clearConfigPage()
{
    setConnectTypeControls(255);
    for (const char* name : {"edtIP",           "edtGateway",           "edtNetmark",       "edtDNS",
                             "edtDHCPAccount",  "edtDHCPPasswd",        "edtPPoEAccount",   "edtPPPoEPasswd",
                             "edtHomepage",     "edtHomepage1",         "edtUpgradeServer", "edtNTP",
                             "edtNTP1",         "edtLogUploadInterval", "edtLogServer",     "edtIptvAccount",
                             "edtIptvPassword", "edtHeartInterval",     "edtACSAddress",    "edtTMSAccount",
                             "edtTMSPasswd",    "edtSerialNumber"})
        findChild<QLineEdit*>(name)->clear();
    for (const char* name : {"cmbTimezone", "cmbLogSwitch", "cmbBrowserLogSwitch", "cmbTMSSwitch", "cmbHeartSwitch",
                             "cmbTelnet", "cmbTVStandard", "cmbHDMIOutput", "cmbAniFicker", "cmbChannelSwitch",
                             "cmbVideoScale", "cmbStreamTranType", "cmbWorkMode", "cmbStarupEnter", "cmbCAProtect"})
        combo(name)->setCurrentIndex(-1);
}

void ConfigPage::setConnectTypeControls(uint8_t type)
{
    findChild<QRadioButton*>("rbStaticIP")->setChecked(type == 3);
    enable(
        {"lblSstaticIP", "lblIP", "edtIP", "lblGateway", "edtGateway", "lblNetmark", "edtNetmark", "lblDNS", "edtDNS"},
        type == 3);
    findChild<QRadioButton*>("rbDHCP")->setChecked(type == 2);
    enable({"lblDHCP", "lblDHCPAccount", "lblDHCPPasswd"}, type == 2);
    findChild<QRadioButton*>("rbPPPoE")->setChecked(type == 1);
    enable({"lblPPPoE", "lblPPoEAccount", "lblPPoEPasswd"}, type == 1);
    // On an Android box these edits keep the disabled state of the Android limits.
    if (frame_.stbType() != "1") {
        enable({"edtDHCPAccount", "edtDHCPPasswd"}, type == 2);
        enable({"edtPPoEAccount", "edtPPPoEPasswd"}, type == 1);
    }
}

void ConfigPage::setVirtualLanControls(bool on)
{
    enable({"lblVLStaticIP", "lblVLConnectType", "rbVLStaticIP", "rbVLDHCP", "lblVLIP", "edtVLIP", "lblVLGateway",
            "edtVLGateway", "lblVLNetmark", "edtVLNetmark", "lblVLDNS", "edtVLDNS"},
           on);
}

void ConfigPage::disableVirtualLan()
{
    enable({"chkVirtualLAN"}, false);
    setVirtualLanControls(false);
}

} // namespace quillon
