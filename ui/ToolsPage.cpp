#include "ToolsPage.h"

#include "Dialogs.h"
#include "untMain.h"

#include <Logger.h>
#include <ProfileGenerator.h>
#include <ZoneInfo.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

namespace quillon
{

namespace
{

// The first entry, the one the dialog opens on, shows every format the readers take.
const char* const kWorkbookFilter = "Workbooks (*.xls *.xlsx *.ods *.csv);;Excel files (*.xls);;"
                                    "Excel 2007 files (*.xlsx);;OpenDocument spreadsheets (*.ods);;CSV files (*.csv);;"
                                    "All files (*.*)";
const char* const kConfigFilter = "Config files (*.cfg);;All files (*.*)";

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The generator runs on the window thread; the wait cursor is undone however it ends.
struct WaitCursor {
    WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

ToolsPage::ToolsPage(TfrmMain& frame, QWidget* parent) : QWidget(parent), frame_(frame)
{
    setObjectName("shtUSBDiskConfig");
    auto* layout = new QVBoxLayout(this);
    auto* group = makeNamed<QGroupBox>(this, "gbCreateUserProfile");
    auto* grid = new QGridLayout(group);
    edtConfigFile_ = makeNamed<QLineEdit>(group, "edtConfigFile");
    edtOutputPath_ = makeNamed<QLineEdit>(group, "edtOutputPath");
    edtZoneInfoFile_ = makeNamed<QLineEdit>(group, "edtZoneInfoFile");
    edtZoneInfo_ = makeNamed<QLineEdit>(group, "edtZoneInfo");
    auto button = [this, group](const char* name, void (ToolsPage::*handler)()) {
        auto* b = makeNamed<QPushButton>(group, name);
        connect(b, &QPushButton::clicked, this, handler);
        return b;
    };
    grid->addWidget(makeNamed<QLabel>(group, "lblConfigFile"), 0, 0);
    grid->addWidget(edtConfigFile_, 0, 1);
    grid->addWidget(button("btnBrowseConfigFile", &ToolsPage::btnBrowseConfigFileClick), 0, 2);
    grid->addWidget(makeNamed<QLabel>(group, "lblOutputPath"), 1, 0);
    grid->addWidget(edtOutputPath_, 1, 1);
    grid->addWidget(button("btnBrowseOutputPath", &ToolsPage::btnBrowseOutputPathClick), 1, 2);
    grid->addWidget(button("btnCreate", &ToolsPage::btnCreateClick), 2, 2);
    grid->setRowMinimumHeight(3, 24);
    grid->addWidget(makeNamed<QLabel>(group, "lblLookZoneInfo"), 4, 0);
    grid->addWidget(edtZoneInfoFile_, 4, 1);
    grid->addWidget(button("btnBrowseZoneInfoFile", &ToolsPage::btnBrowseZoneInfoFileClick), 4, 2);
    edtZoneInfo_->setMinimumHeight(40);
    edtZoneInfo_->setReadOnly(true);
    grid->addWidget(edtZoneInfo_, 5, 1);
    grid->addWidget(button("btnLookZoneInfo", &ToolsPage::btnLookZoneInfoClick), 5, 2, Qt::AlignTop);
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

void ToolsPage::btnBrowseConfigFileClick()
{
    const QString chosen = Dialogs::openFileName(this, kWorkbookFilter);
    if (!chosen.isEmpty())
        edtConfigFile_->setText(QDir::toNativeSeparators(chosen));
}

void ToolsPage::btnBrowseOutputPathClick()
{
    const QString chosen = Dialogs::folderName(window(), uiText(460));
    if (!chosen.isEmpty())
        edtOutputPath_->setText(QDir::toNativeSeparators(chosen));
}

void ToolsPage::btnCreateClick()
{
    TfrmMain* main = &frame_;
    const QString srcFile = edtConfigFile_->text().trimmed();
    if (srcFile.isEmpty()) {
        main->showError(uiText(461));
        return;
    }
    if (!QFileInfo(srcFile).isFile()) {
        main->showError(uiText(462) + srcFile);
        return;
    }
    const QString dstPath = edtOutputPath_->text().trimmed();
    if (dstPath.isEmpty()) {
        main->showError(uiText(463));
        return;
    }
    if (!QFileInfo(dstPath).isDir()) {
        main->showError(uiText(464) + dstPath);
        return;
    }

    // No event loop runs until the generator returns, so the status bar is repainted by hand,
    // once per new percentage, to keep the text and the progress bar current.
    main->showStatus(uiText(465));
    main->statusBar()->repaint();
    int shown = -1;
    const auto progress = [main, &shown](int percent) {
        if (percent == shown)
            return;
        shown = percent;
        main->showProgress(percent);
        main->statusBar()->repaint();
    };
    int result = 0;
    std::string readError;
    {
        WaitCursor wait;
        result = CreateUserProfile(localPath(srcFile), localPath(dstPath), progress, &readError);
    }
    // The reader's reason follows the result, as on the command line.
    const QString text = QString::fromStdString(profileResultText(result, readError));
    main->showStatus(text);
    Logger::instance().info("%s", text.toUtf8().constData());
}

void ToolsPage::btnBrowseZoneInfoFileClick()
{
    const QString chosen = Dialogs::openFileName(this, kConfigFilter);
    if (chosen.isEmpty())
        return;
    edtZoneInfoFile_->setText(QDir::toNativeSeparators(chosen));
    edtZoneInfo_->clear();
}

void ToolsPage::btnLookZoneInfoClick()
{
    TfrmMain* main = &frame_;
    const QString path = edtZoneInfoFile_->text().trimmed();
    if (path.isEmpty()) {
        main->showError(uiText(470));
        return;
    }
    if (!QFileInfo(path).isFile()) {
        main->showError(uiText(471) + path);
        return;
    }
    edtZoneInfo_->setText(uiText(472) + QString::fromUtf8(readZoneInfo(localPath(path))));
}

} // namespace quillon
