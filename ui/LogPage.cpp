#include "LogPage.h"

#include "untMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon
{

// In the order their keywords enter the filter: left column, then right column.
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
    grid->addWidget(makeNamed<QLineEdit>(group, "edtLiveLogFile"), 3, 1, 1, 4);
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
    row->addSpacing(16);
    row->addWidget(makeNamed<QLabel>(group, "lblLocalLogFile"));
    row->addWidget(makeNamed<QLineEdit>(group, "edtLocalLogFile"), 1);
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
    layout->addLayout(row);

    auto* logs = makeNamed<QListWidget>(group, "lbLogs");
    logs->setUniformItemSizes(true);
    logs->setMinimumHeight(120);
    layout->addWidget(logs, 1);

    row = new QHBoxLayout;
    row->addWidget(makeNamed<QLabel>(group, "lblFilterLogSaveFile"));
    row->addWidget(makeNamed<QLineEdit>(group, "edtSaveFilterLogFile"), 1);
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
    findChild<QLineEdit*>("edtLocalLogFile")->clear();
    findChild<QCheckBox*>("chkPrintLiveLog")->setChecked(false);
    for (const char* name : kKeywordBoxes)
        findChild<QCheckBox*>(name)->setChecked(false);
    findChild<QLineEdit*>("edtAutoFilter")->clear();
    findChild<QListWidget*>("lbLogs")->clear();
    findChild<QLineEdit*>("edtSaveFilterLogFile")->clear();
}

} // namespace quillon
