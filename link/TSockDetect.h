#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

namespace quillon {

class TSockThread;

// The watchdog: while the link is up it polls the link once a poll interval and declares the
// link lost when the box has closed or reset the connection.
class TSockDetect {
public:
    TSockDetect() = default;
    ~TSockDetect(); // stops and joins
    TSockDetect(const TSockDetect&) = delete;
    TSockDetect& operator=(const TSockDetect&) = delete;

    void setWorker(TSockThread* worker);
    void start();
    void stop();

    // One poll: true when the link was found lost (and reported down).
    bool pollOnce();

private:
    void run();

    TSockThread* worker_ = nullptr;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
};

} // namespace quillon
