#pragma once

#include "Commandio.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace quillon
{

// Plain blocking send of a whole block on `socket` (no encryption). Each wait for the socket to
// take more bytes is limited to `waitMs` (15 seconds by default). Returns `length`, or -1 (errno
// kept) on failure.
int sendAll(int socket, const char* data, int length, int waitMs = 15000);

// The thread that pushes a firmware image to the box over its own plain TCP connection, in
// 4096-byte blocks, reporting the sending progress as ResUpgrade progress responses. It never
// pushes a final response: a failure is kept for the upgrade exchange, which answers the request
// once. One sender at a time; it is joined when the next one starts and at shutdown, never left
// running.
class FileSender
{
public:
    static constexpr int kBlockSize = 4096;

    explicit FileSender(Commandio& queues);
    ~FileSender(); // shutdown()
    FileSender(const FileSender&) = delete;
    FileSender& operator=(const FileSender&) = delete;

    // Ends a previous sender (its connection is shut down and it is joined), then starts a new
    // one that connects to ip:port and sends `fileName`. With `imageFd` >= 0 the image is read
    // from that descriptor by position instead (shared by several senders, never closed here).
    void startFileSender(const std::string& ip, int port, const std::string& fileName, int imageFd = -1);
    // Asks the running sender to stop: raises the abort flag and shuts its connection down, so a
    // send in progress fails at once. Does not wait; the thread is joined later.
    void stopFileSender();
    // Stops and joins the sender. Repeatable.
    void shutdown();
    // The longest wait for the box to take more bytes; for the senders started from now on.
    void setWriteWait(std::chrono::milliseconds wait) { writeWaitMs_ = static_cast<int>(wait.count()); }

    // True once the current sender has failed (the image did not reach the box whole).
    bool failed() const { return failed_.load(); }
    // Its failure text (empty while it has not failed).
    std::string failureText() const;
    // The last sending percentage it reported (0 before the first).
    int sentPercent() const { return sentPercent_.load(); }

private:
    void sendUpgradeFile(const std::string& ip, int port, const std::string& fileName, int imageFd);
    void fail(const std::string& message);

    Commandio& queues_;
    std::thread thread_; // touched only by the thread that starts and joins senders
    mutable std::mutex mutex_;
    int socket_ = -1; // the upgrade connection while the sender holds it
    std::string failure_;
    std::atomic<bool> abort_{false};
    std::atomic<bool> failed_{false};
    std::atomic<int> sentPercent_{0};
    std::atomic<int> writeWaitMs_{15000};
};

} // namespace quillon
