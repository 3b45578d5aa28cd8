#include "OperationsPage.h"

#include "IpAddressEdit.h"
#include "untMain.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

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
    return memo;
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
    findChild<QPlainTextEdit*>("edtPingMsg")->clear();
    ipRouteAddress_->clear();
    findChild<QPlainTextEdit*>("edtRouteMsg")->clear();
    for (const char* name : {"edExecCmd", "edtPlayChannelURL", "edtPlayChannelNO", "edtUpgradeFile"})
        findChild<QLineEdit*>(name)->clear();
    findChild<QCheckBox*>("chkForceUpgrade")->setChecked(false);
}

} // namespace quillon
