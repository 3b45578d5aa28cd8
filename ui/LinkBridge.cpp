#include "LinkBridge.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace quillon
{

LinkBridge::LinkBridge(QObject* context, StateHandler onState, LineHandler onLine)
    : context_(context), onState_(std::move(onState)), onLine_(std::move(onLine))
{
}

void LinkBridge::linkStateChanged(uint8_t state)
{
    if (context_ && QThread::currentThread() == context_->thread()) {
        if (!detached())
            onState_(state);
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (detached_ || !context_)
        return;
    // Numbered and posted under the lock, so tickets follow the order the window runs them in.
    const uint64_t ticket = ++queued_;
    QMetaObject::invokeMethod(
        context_,
        [this, state] {
            if (!detached())
                onState_(state);
            {
                std::lock_guard<std::mutex> guard(mutex_);
                ++done_;
            }
            shown_.notify_all();
        },
        Qt::QueuedConnection);
    shown_.wait(lock, [&] { return detached_ || done_ >= ticket; });
}

void LinkBridge::outputLine(OutputChannel channel, const std::string& line)
{
    if (!context_)
        return;
    std::lock_guard<std::mutex> guard(mutex_);
    if (detached_)
        return;
    pendingLines_.emplace_back(channel, line);
    if (pendingLines_.size() > kMaxPendingLines)
        pendingLines_.pop_front();
    if (flushPosted_)
        return;
    flushPosted_ = true;
    QMetaObject::invokeMethod(
        context_, [this] { deliverPendingLines(); }, Qt::QueuedConnection);
}

void LinkBridge::deliverPendingLines()
{
    std::deque<std::pair<OutputChannel, std::string>> lines;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        lines.swap(pendingLines_);
        flushPosted_ = false;
        if (detached_)
            return;
    }
    for (const auto& [channel, line] : lines) {
        if (detached())
            return;
        onLine_(channel, QString::fromStdString(line));
    }
}

void LinkBridge::detach()
{
    {
        std::lock_guard<std::mutex> guard(mutex_);
        detached_ = true;
    }
    shown_.notify_all();
}

bool LinkBridge::detached() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return detached_;
}

} // namespace quillon
