#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace quillon::sim
{

class StbSimulator;

// The box's live log: while its log parameters name a live address and the live output is on
// (output type 2 or 3), the box sends log lines to that address by UDP, `rate` a second.
// The simulated box runs on the tool's own PC: an address of this PC is reached on loopback,
// and nothing is ever sent off the machine.
class SimLiveLog
{
public:
    SimLiveLog(int rate, uint16_t port);
    ~SimLiveLog();
    SimLiveLog(const SimLiveLog&) = delete;
    SimLiveLog& operator=(const SimLiveLog&) = delete;

    // Re-reads the box's log address and output type.
    void update(const StbSimulator& box);
    uint64_t sent() const { return sent_; }

    // The loopback address a live-log address is sent to; empty when it is not this machine's.
    static std::string deliveryAddress(const std::string& address);
    // Log line number `n` as the box writes it.
    static std::string line(uint64_t n);

private:
    void run();

    const int rate_;
    const uint16_t port_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::string target_; // empty: not sending
    bool stopping_ = false;
    std::atomic<uint64_t> sent_{0};
    std::thread thread_;
};

} // namespace quillon::sim
