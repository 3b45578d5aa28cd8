#pragma once

#include "Commandio.h"
#include "LinkObserver.h"
#include "LinkTimeouts.h"

#include <cstdint>
#include <memory>
#include <string>

namespace quillon {

class StbLink;
class TSockThread;
class TSockDetect;

// The link to one box with its two threads: the worker that runs one request at a time from the
// request queue, and the watchdog that notices a box that went away. The window and the command
// line own one each; tests may own several.
class LinkService {
public:
    LinkService(Commandio& queues, LinkObserver* observer);
    ~LinkService(); // shuts down
    LinkService(const LinkService&) = delete;
    LinkService& operator=(const LinkService&) = delete;

    // Time limits and the box family's key must be set before start().
    void setTimeouts(const LinkTimeouts& timeouts);
    // 256 hexadecimal digits of the box family's RSA modulus; false (and a reason) when malformed.
    bool setBoxModulus(const std::string& hex, std::string* error = nullptr);

    // Starts the worker, then the watchdog.
    void start();
    // Stops the watchdog, wakes the worker out of its wait (breaking a running exchange by shutting
    // the connection down), stops the firmware sender, and joins every thread. Repeatable.
    void shutdown();

    // 1 while the link is up, 0 when it is down.
    uint8_t linkState() const;

    // Stop frames of a running ping or trace route, sent on the caller's thread while the worker
    // waits for the box's output.
    void stopPing();
    void stopTraceRoute();

    Commandio& queues() { return queues_; }
    StbLink& link() { return *link_; }

private:
    Commandio& queues_;
    std::unique_ptr<StbLink> link_;
    std::unique_ptr<TSockThread> worker_;
    std::unique_ptr<TSockDetect> watchdog_;
    bool started_ = false;
};

// Reads the --box-modulus option: 256 hexadecimal digits, or "@FILE" naming a file that holds
// them (blanks and line ends ignored). False with a reason on `error` when malformed.
bool parseBoxModulusOption(const std::string& value, std::string& hex, std::string& error);

} // namespace quillon
