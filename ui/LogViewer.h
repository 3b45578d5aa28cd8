#pragma once

#include <LiveLogReceiver.h>
#include <LogFilter.h>

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <set>

class QCheckBox;
class QLineEdit;
class QTableView;
class QTimer;

namespace quillon
{

class LogPage;
class LogRowDelegate;
class LogRowModel;
class MatchingRowsProxy;
class TfrmMain;

enum LogViewMode : uint8_t { LogViewNone = 0, LogViewLive = 1, LogViewFile = 2 };

// The lower part of the log page: the live-log receiver switched by chkPrintLiveLog, the
// viewer lbLogs, the keyword filter with its red rows, a loaded log file, and the two files
// the live log and its filtered part are saved to. The receiver runs on its own thread; its
// rows reach the viewer in batches on the window thread, in arrival order.
class LogViewer : public QObject
{
    Q_OBJECT
public:
    LogViewer(TfrmMain& frame, LogPage& page);
    ~LogViewer() override;

    // Where the receiver listens (port 514 of every local address unless changed).
    void setLiveLogOptions(const LiveLogReceiver::Options& options) { options_ = options; }
    const LiveLogReceiver::Options& liveLogOptions() const { return options_; }

    void btnLiveLogClick();
    void btnBrowseFilterLogSaveFileClick();
    void chkPrintLiveLogClick(bool checked);
    void btnLocalLogClick();
    void btnApplyFilterClick();

    void setLogViewMode(LogViewMode mode);
    LogViewMode logViewMode() const { return logViewMode_; }
    void startLiveLog();
    void stopLiveLog();
    // Moves the rows received so far into the viewer (run by the timer while receiving).
    void takeLiveRows();

    void buildFilter();
    bool matchesFilter(const QString& text) const;
    // Writes the matching rows to `path` and says how many went there. A file that exists and
    // was not written by this window is replaced only when the user agrees.
    void saveFilteredLines(const QString& path);
    void ensureLogScrollWidth(int width);
    int logScrollWidth() const { return logScrollWidth_; }
    void clearRows();

    // The view keeps the newest row in sight only while following; scrolling up stops it,
    // scrolling back to the end or chkFollowLog resumes it.
    void setFollowing(bool on);
    bool following() const { return following_; }
    // chkMatchingOnly: the view shows only the rows the current filter matches.
    void setMatchingOnly(bool on);
    bool matchingOnly() const;
    // The link went down: the filter goes with the cleared keyword boxes, and the rows stay,
    // ended by `mark` when there are any.
    void markLinkLost(const QString& mark);
    // The paths this window has written (absolute), which it may replace without asking.
    bool wroteFile(const QString& path) const;

    LogRowModel& model() { return *model_; }
    const LiveLogReceiver& receiver() const { return *receiver_; }

    static constexpr const char* kFileFilter = "Text files (*.txt *.log);;All files (*.*)";

private:
    QLineEdit* edit(const char* name) const;
    // The save dialog's answer under the name rule, into `editName`; empty when cancelled.
    QString chooseSavePath(const char* editName, const char* logPrefix);
    void showLostCount();
    // True when `path` may be (re)written: it does not exist, this window wrote it, or the user
    // agreed to replace it. Remembers it as written by this window.
    bool mayReplace(const QString& path);
    void followNewest();

    TfrmMain& frame_;
    LogPage& page_;
    LogViewMode logViewMode_ = LogViewNone;
    int logScrollWidth_ = 0;
    LogFilter filterKeywords_;
    uint64_t filterGeneration_ = 0;
    LiveLogReceiver::Options options_;
    std::unique_ptr<LiveLogReceiver> receiver_;
    uint64_t shownLost_ = 0;

    bool following_ = true;
    bool scrolling_ = false; // the view is moved by the viewer, not by the user
    std::set<QString> writtenFiles_;

    QTableView* lbLogs_ = nullptr;
    LogRowModel* model_ = nullptr;
    MatchingRowsProxy* matching_ = nullptr;
    QCheckBox* chkFollowLog_ = nullptr;
    QCheckBox* chkMatchingOnly_ = nullptr;
    LogRowDelegate* delegate_ = nullptr;
    QCheckBox* chkPrintLiveLog_ = nullptr;
    QTimer* tmrLiveLog_ = nullptr;
};

} // namespace quillon
