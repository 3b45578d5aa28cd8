#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>

namespace quillon {

// A first-in first-out queue of heap copies, shared between threads. A push stores the object's
// clone(), so the caller may destroy its own object at once; a pop hands the copy's ownership to
// the caller. The queue has no length limit: a push never blocks and never drops an object, so the
// window thread can never be stalled by a busy worker.
template <typename T>
class CloneQueue {
public:
    void push(const T& object)
    {
        std::unique_ptr<T> copy = object.clone();
        {
            std::lock_guard<std::mutex> guard(mutex_);
            items_.push_back(std::move(copy));
        }
        ready_.notify_one();
    }

    // Blocks (sleeping, not spinning) until an object is waiting or the queue is closed.
    // Returns null only once the queue is closed and empty.
    std::unique_ptr<T> popWait()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return !items_.empty() || closed_; });
        return takeFront();
    }

    // Waits at most `timeout`; null when nothing arrived in time or the queue is closed and empty.
    std::unique_ptr<T> popWait(std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait_for(lock, timeout, [this] { return !items_.empty() || closed_; });
        return takeFront();
    }

    // Never waits longer than another thread's list operation; null when empty.
    std::unique_ptr<T> tryPop()
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return takeFront();
    }

    // Wakes every waiting pop; objects already queued can still be taken.
    void close()
    {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

    bool closed() const
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return closed_;
    }

    size_t size() const
    {
        std::lock_guard<std::mutex> guard(mutex_);
        return items_.size();
    }

private:
    std::unique_ptr<T> takeFront()
    {
        if (items_.empty())
            return nullptr;
        std::unique_ptr<T> front = std::move(items_.front());
        items_.pop_front();
        return front;
    }

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::unique_ptr<T>> items_;
    bool closed_ = false;
};

} // namespace quillon
