#pragma once

#include <LinkObserver.h>

#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>

class QObject;

namespace quillon
{

// The window's side of LinkObserver. A link-state change is queued to the window thread and the
// reporting thread waits until the window has shown it, as a synchronous window message would;
// detach() releases every waiter, so a worker that reports while the window is closing can never
// block the join that follows.
// Output lines never make the worker wait: they are collected in arrival order and handed to the
// window in batches, one queued call per batch. While the window is behind, at most
// kMaxPendingLines wait; older ones are dropped (the memos keep fewer lines than that anyway).
class LinkBridge : public LinkObserver
{
public:
    using StateHandler = std::function<void(uint8_t)>;
    using LineHandler = std::function<void(OutputChannel, const QString&)>;
    static constexpr size_t kMaxPendingLines = 10000;

    // Both handlers run on `context`'s thread.
    LinkBridge(QObject* context, StateHandler onState, LineHandler onLine);

    void linkStateChanged(uint8_t state) override;
    void outputLine(OutputChannel channel, const std::string& line) override;

    // Shows the lines handed over so far at once (window thread only). The window calls it when it
    // takes a response, so a run's last lines are shown before its end.
    void deliverPendingLines();

    // From now on nothing reaches the window and no caller waits. Calls already queued are dropped.
    void detach();
    bool detached() const;

private:

    QObject* context_; // the window; outlives the link threads, which are joined before it goes
    StateHandler onState_;
    LineHandler onLine_;
    mutable std::mutex mutex_;
    std::condition_variable shown_;
    bool detached_ = false;
    uint64_t queued_ = 0; // link-state calls queued so far, numbered in posting order
    uint64_t done_ = 0;   // of those, how many the window thread has run
    std::deque<std::pair<OutputChannel, std::string>> pendingLines_;
    bool flushPosted_ = false; // a batch call is queued and has not yet taken the lines
};

} // namespace quillon
