#pragma once

#include "Messages.h"

#include <CloneQueue.h>

#include <chrono>
#include <memory>

namespace quillon {

// The two queues between the window and the link threads. Requests go from the window to the
// worker, which sleeps in popRequest while there is none; responses go from the worker and the
// file sender back to the window, which polls popResponse from its timer without ever waiting.
class Commandio {
public:
    void pushRequest(const Request& request) { requests_.push(request); }
    // Blocks until a request is waiting; null once the queue is closed and drained.
    std::unique_ptr<Request> popRequest() { return requests_.popWait(); }

    void pushResponse(const Response& response) { responses_.push(response); }
    // Null at once when no response is waiting.
    std::unique_ptr<Response> popResponse() { return responses_.tryPop(); }
    // For callers without an event loop (command line, tests): waits at most `timeout`.
    std::unique_ptr<Response> waitResponse(std::chrono::milliseconds timeout) { return responses_.popWait(timeout); }

    // Wakes the worker out of popRequest so that it can be joined.
    void closeRequests() { requests_.close(); }
    bool requestsClosed() const { return requests_.closed(); }
    size_t waitingRequests() const { return requests_.size(); }

private:
    CloneQueue<Request> requests_;
    CloneQueue<Response> responses_;
};

} // namespace quillon
