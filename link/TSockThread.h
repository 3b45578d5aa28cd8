#pragma once

#include <memory>
#include <thread>

namespace quillon {

class Request;
class StbLink;

// The worker: takes one request at a time from the request queue and runs its exchange, which
// pushes the responses. It alone receives on the link and changes the session.
class TSockThread {
public:
    explicit TSockThread(StbLink& link);
    ~TSockThread(); // stops and joins
    TSockThread(const TSockThread&) = delete;
    TSockThread& operator=(const TSockThread&) = delete;

    void start();
    // Wakes the worker out of its wait, breaks a running exchange by shutting the connection
    // down, and joins the thread.
    void stop();

    // Runs one request on the calling thread: the log line of its type, then its exchange. An
    // exception escaping the exchange is logged and answered with an error response.
    void execute(const Request& request);

    StbLink& link() { return link_; }

private:
    void run();

    StbLink& link_;
    std::thread thread_;
};

} // namespace quillon
