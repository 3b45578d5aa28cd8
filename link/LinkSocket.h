#pragma once

#include <mutex>
#include <vector>

namespace quillon {

// The TCP connection to the box, shared by the worker (which receives and sends), the window
// (which sends the stop frame of a running ping) and the watchdog (which peeks and may close it).
// Closing shuts the connection down at once, which wakes a blocked receive, but the descriptor is
// released only when nobody uses it any more, so no thread can ever read from a reused number.
class LinkSocket {
public:
    // Holds the descriptor open for as long as it lives; fd() is -1 when there is no connection.
    class Use {
    public:
        explicit Use(LinkSocket& socket);
        ~Use();
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        int fd() const { return fd_; }
        // Which connection the descriptor belongs to: a number reused by a later connection
        // comes with another generation.
        unsigned long generation() const { return generation_; }

    private:
        LinkSocket& socket_;
        int fd_;
        unsigned long generation_;
    };

    LinkSocket() = default;
    ~LinkSocket();
    LinkSocket(const LinkSocket&) = delete;
    LinkSocket& operator=(const LinkSocket&) = delete;

    // Takes a freshly connected descriptor, closing the previous connection.
    void adopt(int fd);
    // Shuts the connection down (the peer sees it closed); safe from any thread, repeatable.
    void close();

private:
    void releaseLocked();

    mutable std::mutex mutex_;
    int fd_ = -1;
    unsigned long generation_ = 0; // connections adopted so far
    int users_ = 0;
    std::vector<int> closing_; // shut-down descriptors still in use, released by the last user
};

} // namespace quillon
