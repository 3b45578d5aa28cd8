#pragma once

// Loopback UDP helpers for the live-log tests.

#include <chrono>
#include <cstdint>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quillon::test
{

// A UDP port on 127.0.0.1 that was free a moment ago.
inline uint16_t freeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t length = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    ::close(fd);
    return ntohs(a.sin_port);
}

// A UDP port on 127.0.0.1 held by a socket without SO_REUSEADDR, so that no other can bind it.
class HeldUdpPort
{
public:
    HeldUdpPort() : fd_(::socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
            socklen_t length = sizeof a;
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
            port_ = ntohs(a.sin_port);
        }
    }
    ~HeldUdpPort() { ::close(fd_); }
    uint16_t port() const { return port_; } // 0 when none could be had

private:
    int fd_;
    uint16_t port_ = 0;
};

// Sends datagrams to 127.0.0.1:port from one socket, in order.
class UdpSender
{
public:
    explicit UdpSender(uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM, 0))
    {
        to_.sin_family = AF_INET;
        to_.sin_port = htons(port);
        to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    }
    ~UdpSender() { ::close(fd_); }
    bool send(const std::string& bytes)
    {
        return ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to_), sizeof to_) ==
               static_cast<ssize_t>(bytes.size());
    }

private:
    int fd_;
    sockaddr_in to_{};
};

inline std::string readWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace quillon::test
