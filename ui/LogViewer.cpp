#include "LogViewer.h"

#include "Captions.h"
#include "Dialogs.h"
#include "LogPage.h"
#include "LogRowModel.h"
#include "untMain.h"

#include <Logger.h>

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>

#include <vector>

namespace quillon
{

namespace
{

// The path controls that cannot change while the live log is received.
const char* const kPathControls[] = {
    "lblLocalLogFile",     "btnLocalLog",    "edtLocalLogFile",      "lblLiveLogFile",
    "btnLiveLog",          "edtLiveLogFile", "lblFilterLogSaveFile", "btnBrowseFilterLogSaveFile",
    "edtSaveFilterLogFile"};

std::string fileNameOf(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

LogViewer::LogViewer(TfrmMain& frame, LogPage& page)
    : frame_(frame), page_(page), receiver_(std::make_unique<LiveLogReceiver>())
{
    lbLogs_ = page.findChild<QTableView*>("lbLogs");
    model_ = new LogRowModel(this);
    delegate_ = new LogRowDelegate(this);
    lbLogs_->setModel(model_);
    setUpLogView(lbLogs_, delegate_);
    chkPrintLiveLog_ = page.findChild<QCheckBox*>("chkPrintLiveLog");
    matching_ = new MatchingRowsProxy(this);
    chkFollowLog_ = page.findChild<QCheckBox*>("chkFollowLog");
    chkFollowLog_->setChecked(true);
    chkMatchingOnly_ = page.findChild<QCheckBox*>("chkMatchingOnly");
    connect(chkFollowLog_, &QCheckBox::clicked, this, [this](bool on) { setFollowing(on); });
    connect(chkMatchingOnly_, &QCheckBox::toggled, this, [this](bool on) { setMatchingOnly(on); });

    // While the live log runs, the user's scrolling decides whether the view follows: away from
    // the end stops it, back at the end resumes it. Growth of the list keeps a following view at
    // its end.
    QScrollBar* bar = lbLogs_->verticalScrollBar();
    connect(bar, &QScrollBar::valueChanged, this, [this, bar](int value) {
        if (!scrolling_ && logViewMode_ == LogViewLive)
            setFollowing(value >= bar->maximum());
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar](int, int maximum) {
        if (!following_ || logViewMode_ != LogViewLive)
            return;
        scrolling_ = true;
        bar->setValue(maximum);
        scrolling_ = false;
    });

    lbLogs_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(lbLogs_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu;
        menu.addAction(uiText(815), this, [this] { clearRows(); });
        menu.exec(lbLogs_->viewport()->mapToGlobal(at));
    });

    tmrLiveLog_ = new QTimer(this);
    tmrLiveLog_->setObjectName("tmrLiveLog");
    tmrLiveLog_->setInterval(50);
    connect(tmrLiveLog_, &QTimer::timeout, this, [this] { takeLiveRows(); });

    // Checked and unchecked by the user or by the page (link loss) alike.
    connect(chkPrintLiveLog_, &QCheckBox::toggled, this, [this](bool checked) { chkPrintLiveLogClick(checked); });
    auto onClick = [this, &page](const char* name, void (LogViewer::*handler)()) {
        connect(page.findChild<QPushButton*>(name), &QPushButton::clicked, this,
                [this, handler] { (this->*handler)(); });
    };
    onClick("btnLiveLog", &LogViewer::btnLiveLogClick);
    onClick("btnBrowseFilterLogSaveFile", &LogViewer::btnBrowseFilterLogSaveFileClick);
    onClick("btnLocalLog", &LogViewer::btnLocalLogClick);
    onClick("btnApplyFilter", &LogViewer::btnApplyFilterClick);
}

LogViewer::~LogViewer()
{
    receiver_->stop();
}

QLineEdit* LogViewer::edit(const char* name) const
{
    return page_.findChild<QLineEdit*>(name);
}

QString LogViewer::chooseSavePath(const char* editName, const char* logPrefix)
{
    const QString chosen = Dialogs::saveFileName(&page_, kFileFilter);
    if (chosen.isEmpty())
        return chosen;
    const QString path = QString::fromStdString(logSaveFileName(chosen.toStdString()));
    edit(editName)->setText(path);
    Logger::instance().info("%s%s", logPrefix, path.toUtf8().constData());
    return path;
}

void LogViewer::btnLiveLogClick()
{
    chooseSavePath("edtLiveLogFile", "Live log save path:");
}

void LogViewer::btnBrowseFilterLogSaveFileClick()
{
    const QString path = chooseSavePath("edtSaveFilterLogFile", "Filtered log save path:");
    if (!path.isEmpty() && logViewMode_ == LogViewFile)
        saveFilteredLines(path);
}

void LogViewer::chkPrintLiveLogClick(bool checked)
{
    if (checked) {
        logViewMode_ = LogViewLive;
        setLogViewMode(logViewMode_);
        startLiveLog();
    } else {
        logViewMode_ = LogViewNone;
        setLogViewMode(logViewMode_);
        stopLiveLog();
    }
}

void LogViewer::setLogViewMode(LogViewMode mode)
{
    if (mode != LogViewNone) {
        clearRows();
        logScrollWidth_ = 0;
        delegate_->setExtent(0);
        setLogViewExtent(lbLogs_, 0);
    }
    if (mode == LogViewFile)
        return;
    for (const char* name : kPathControls)
        if (QWidget* control = page_.findChild<QWidget*>(name))
            control->setEnabled(mode == LogViewNone);
}

void LogViewer::startLiveLog()
{
    Logger& log = Logger::instance();
    // Both files are written from the start; one that exists and is not this window's own is
    // replaced only when the user agrees, and otherwise left alone.
    const QString livePath = edit("edtLiveLogFile")->text().trimmed();
    if (!livePath.isEmpty() && !mayReplace(livePath)) {
        receiver_->openLiveFile({});
        frame_.showStatus(uiText(816) + livePath);
    } else if (!livePath.isEmpty() && !receiver_->openLiveFile(fileNameOf(livePath))) {
        const QString text = "can't open live log file:" + livePath;
        frame_.showStatus(text);
        log.error("%s", text.toUtf8().constData());
    }
    const QString filteredPath = edit("edtSaveFilterLogFile")->text().trimmed();
    if (!filteredPath.isEmpty() && !mayReplace(filteredPath)) {
        receiver_->openFilteredFile({});
        frame_.showStatus(uiText(816) + filteredPath);
    } else if (!filteredPath.isEmpty() && !receiver_->openFilteredFile(fileNameOf(filteredPath))) {
        const QString text = "can't open filter save log file:" + filteredPath;
        frame_.showStatus(text);
        log.error("%s", text.toUtf8().constData());
    }
    receiver_->setFilter(filterKeywords_, filterGeneration_);
    std::string reason;
    if (!receiver_->start(options_, &reason)) {
        // Told to the user, and the switch goes back off, which closes the files again.
        frame_.showError(uiText(790) + " " + QString::fromLocal8Bit(reason.c_str()));
        chkPrintLiveLog_->setChecked(false);
        return;
    }
    shownLost_ = 0;
    ensureLogScrollWidth(2048);
    tmrLiveLog_->start();
}

void LogViewer::stopLiveLog()
{
    tmrLiveLog_->stop();
    const bool wasRunning = receiver_->running();
    receiver_->stop();
    if (wasRunning) {
        takeLiveRows(); // what arrived before the stop is shown too
        const LiveLogStats s = receiver_->stats();
        Logger::instance().info("live log: %llu received, %llu bytes, %llu lost, %llu too long",
                                static_cast<unsigned long long>(s.received), static_cast<unsigned long long>(s.bytes),
                                static_cast<unsigned long long>(s.kernelDropped),
                                static_cast<unsigned long long>(s.oversized));
    }
}

void LogViewer::takeLiveRows()
{
    std::vector<LiveLogRow> rows;
    if (receiver_->takeRows(rows) > 0) {
        model_->appendLive(rows);
        if (following_)
            followNewest();
    }
    showLostCount();
}

// The newest row shown, as the current row, at the end of the view.
void LogViewer::followNewest()
{
    QAbstractItemModel* shown = lbLogs_->model();
    const int count = shown->rowCount();
    if (count == 0)
        return;
    scrolling_ = true;
    const QModelIndex last = shown->index(count - 1, 0);
    lbLogs_->setCurrentIndex(last);
    lbLogs_->scrollTo(last);
    QScrollBar* bar = lbLogs_->verticalScrollBar();
    bar->setValue(bar->maximum());
    scrolling_ = false;
}

void LogViewer::setFollowing(bool on)
{
    following_ = on;
    chkFollowLog_->setChecked(on);
    if (on && logViewMode_ == LogViewLive)
        followNewest();
}

void LogViewer::setMatchingOnly(bool on)
{
    if (chkMatchingOnly_->isChecked() != on)
        chkMatchingOnly_->setChecked(on); // comes back here through the box's signal
    if (on == matchingOnly())
        return;
    QItemSelectionModel* old = lbLogs_->selectionModel();
    if (on) {
        matching_->setSourceModel(model_);
        lbLogs_->setModel(matching_);
    } else {
        lbLogs_->setModel(model_);
        matching_->setSourceModel(nullptr);
    }
    delete old; // a new model comes with a new selection model
    setLogViewExtent(lbLogs_, delegate_->extent());
    if (following_ && logViewMode_ == LogViewLive)
        followNewest();
}

bool LogViewer::matchingOnly() const
{
    return lbLogs_->model() == matching_;
}

void LogViewer::markLinkLost(const QString& mark)
{
    if (model_->rowCount() == 0)
        return;
    model_->appendNote(mark);
    if (following_)
        followNewest();
}

bool LogViewer::wroteFile(const QString& path) const
{
    return writtenFiles_.count(QFileInfo(path).absoluteFilePath()) > 0;
}

bool LogViewer::mayReplace(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (writtenFiles_.count(absolute) == 0 && QFileInfo::exists(absolute) &&
        !Dialogs::question(&page_, uiText(1), uiText(800).arg(absolute)))
        return false;
    writtenFiles_.insert(absolute);
    return true;
}

void LogViewer::showLostCount()
{
    const uint64_t lost = receiver_->stats().kernelDropped;
    if (lost == shownLost_)
        return;
    shownLost_ = lost;
    frame_.showStatus(QString::number(lost) + " " + uiText(791));
    Logger::instance().warn("live log: %llu datagrams dropped by the kernel", static_cast<unsigned long long>(lost));
}

void LogViewer::btnLocalLogClick()
{
    const QString path = Dialogs::openFileName(&page_, kFileFilter);
    if (path.isEmpty())
        return;
    edit("edtLocalLogFile")->setText(path);
    if (!QFileInfo::exists(path))
        return;
    logViewMode_ = LogViewFile;
    setLogViewMode(logViewMode_);
    const LogRows::LoadResult result = model_->loadFile(fileNameOf(path));
    if (!result.ok) {
        Logger::instance().error("open file:%s failed.", path.toUtf8().constData());
        return;
    }
    if (result.cutLines > 0)
        frame_.showStatus(QString::number(result.cutLines) + " " + uiText(792));
}

void LogViewer::buildFilter()
{
    std::vector<std::string> keywords;
    for (int i = 0; i < 22; ++i)
        if (page_.findChild<QCheckBox*>(LogPage::kKeywordBoxes[i])->isChecked())
            keywords.emplace_back(kLogKeywords[i]);
    const QString custom = edit("edtAutoFilter")->text();
    if (!custom.isEmpty())
        keywords.push_back(custom.toUpper().toStdString());
    filterKeywords_ = LogFilter(std::move(keywords));
    ++filterGeneration_;
    Logger::instance().debug("key words:%s", filterKeywords_.describe().c_str());
    model_->setFilter(filterKeywords_, filterGeneration_);
    receiver_->setFilter(filterKeywords_, filterGeneration_);
    if (matchingOnly()) {
        matching_->refilter();
        if (following_ && logViewMode_ == LogViewLive)
            followNewest();
    }
}

void LogViewer::btnApplyFilterClick()
{
    buildFilter();
    lbLogs_->viewport()->update();
    const QString path = edit("edtSaveFilterLogFile")->text().trimmed();
    if (logViewMode_ == LogViewFile && !path.isEmpty())
        saveFilteredLines(path);
}

bool LogViewer::matchesFilter(const QString& text) const
{
    return filterKeywords_.matches(text.toStdString());
}

void LogViewer::saveFilteredLines(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (writtenFiles_.count(absolute) == 0 && QFileInfo::exists(absolute) &&
        !Dialogs::question(&page_, uiText(1), uiText(800).arg(absolute))) {
        frame_.showStatus(uiText(816) + path);
        return;
    }
    const long long saved = model_->saveMatching(fileNameOf(path));
    if (saved < 0) {
        Logger::instance().error("save filtered log:%s failed.", path.toUtf8().constData());
        frame_.showStatus(uiText(816) + path);
        return;
    }
    if (saved > 0) // nothing matching leaves the file untouched
        writtenFiles_.insert(absolute);
    frame_.showStatus(uiText(799).arg(saved).arg(path));
}

void LogViewer::ensureLogScrollWidth(int width)
{
    if (logScrollWidth_ >= width)
        return;
    delegate_->setExtent(width + 2);
    setLogViewExtent(lbLogs_, width + 2);
    logScrollWidth_ = width;
}

void LogViewer::clearRows()
{
    model_->clear();
}

} // namespace quillon
