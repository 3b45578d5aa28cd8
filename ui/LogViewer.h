#pragma once

#include <LiveLogReceiver.h>
#include <LogFilter.h>

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QCheckBox;
class QLineEdit;
class QTableView;
class QTimer;

namespace quillon
{

class LogPage;
class LogRowDelegate;
class LogRowModel;
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
    void saveFilteredLines(const QString& path);
    void ensureLogScrollWidth(int width);
    int logScrollWidth() const { return logScrollWidth_; }
    void clearRows();

    LogRowModel& model() { return *model_; }
    const LiveLogReceiver& receiver() const { return *receiver_; }

    static constexpr const char* kFileFilter = "Text files (*.txt *.log);;All files (*.*)";

private:
    QLineEdit* edit(const char* name) const;
    // The save dialog's answer under the name rule, into `editName`; empty when cancelled.
    QString chooseSavePath(const char* editName, const char* logPrefix);
    void showLostCount();

    TfrmMain& frame_;
    LogPage& page_;
    LogViewMode logViewMode_ = LogViewNone;
    int logScrollWidth_ = 0;
    LogFilter filterKeywords_;
    uint64_t filterGeneration_ = 0;
    LiveLogReceiver::Options options_;
    std::unique_ptr<LiveLogReceiver> receiver_;
    uint64_t shownLost_ = 0;

    QTableView* lbLogs_ = nullptr;
    LogRowModel* model_ = nullptr;
    LogRowDelegate* delegate_ = nullptr;
    QCheckBox* chkPrintLiveLog_ = nullptr;
    QTimer* tmrLiveLog_ = nullptr;
};

} // namespace quillon
