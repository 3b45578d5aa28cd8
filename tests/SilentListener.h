#pragma once

// A TCP port on 127.0.0.1 that listens but never accepts: a connection is taken by the kernel's
// backlog and then nothing ever answers. Closed, the same port refuses connections.

#include <cstdint>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::test
{

class SilentListener
{
public:
    SilentListener() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 16) == 0) {
            socklen_t length = sizeof a;
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
            port_ = ntohs(a.sin_port);
        }
    }
    ~SilentListener() { close(); }
    SilentListener(const SilentListener&) = delete;
    SilentListener& operator=(const SilentListener&) = delete;

    uint16_t port() const { return port_; } // 0 when the port could not be opened

    // The connection attempts queued so far (each is taken and closed).
    int connections()
    {
        int n = 0;
        for (int fd; (fd = ::accept(fd_, nullptr, nullptr)) >= 0; ++n)
            ::close(fd);
        return n;
    }

    // From now on the port refuses.
    void close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_;
    uint16_t port_ = 0;
};

} // namespace quillon::test
