#include "ToolsPage.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon
{

ToolsPage::ToolsPage(QWidget* parent) : QWidget(parent)
{
    setObjectName("shtUSBDiskConfig");
    auto* layout = new QVBoxLayout(this);
    auto* group = makeNamed<QGroupBox>(this, "gbCreateUserProfile");
    auto* grid = new QGridLayout(group);
    grid->addWidget(makeNamed<QLabel>(group, "lblConfigFile"), 0, 0);
    grid->addWidget(makeNamed<QLineEdit>(group, "edtConfigFile"), 0, 1);
    grid->addWidget(makeNamed<QPushButton>(group, "btnBrowseConfigFile"), 0, 2);
    grid->addWidget(makeNamed<QLabel>(group, "lblOutputPath"), 1, 0);
    grid->addWidget(makeNamed<QLineEdit>(group, "edtOutputPath"), 1, 1);
    grid->addWidget(makeNamed<QPushButton>(group, "btnBrowseOutputPath"), 1, 2);
    grid->addWidget(makeNamed<QPushButton>(group, "btnCreate"), 2, 2);
    grid->setRowMinimumHeight(3, 24);
    grid->addWidget(makeNamed<QLabel>(group, "lblLookZoneInfo"), 4, 0);
    grid->addWidget(makeNamed<QLineEdit>(group, "edtZoneInfoFile"), 4, 1);
    grid->addWidget(makeNamed<QPushButton>(group, "btnBrowseZoneInfoFile"), 4, 2);
    auto* zoneInfo = makeNamed<QLineEdit>(group, "edtZoneInfo");
    zoneInfo->setMinimumHeight(40);
    grid->addWidget(zoneInfo, 5, 1);
    grid->addWidget(makeNamed<QPushButton>(group, "btnLookZoneInfo"), 5, 2, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    layout->addWidget(group);
    layout->addStretch(1);

    appendCaptionRunByName(captions_, this, 261,
                           {"gbCreateUserProfile", "lblConfigFile", "btnBrowseConfigFile", "lblOutputPath",
                            "btnBrowseOutputPath", "btnCreate", "lblLookZoneInfo", "btnBrowseZoneInfoFile",
                            "btnLookZoneInfo"});
}

void ToolsPage::applyUiLanguage()
{
    applyCaptions(captions_);
}

} // namespace quillon
