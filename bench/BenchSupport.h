#pragma once

// Small helpers the benchmarks share: wall time and the process's resident memory.

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace quillon::bench {

using Clock = std::chrono::steady_clock;

inline double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A field of /proc/self/status in kB ("VmRSS", "VmHWM"); -1 when unreadable.
inline long statusKb(const char* field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + key.size());
    }
    return -1;
}

// Restarts the peak resident size from the current one (Linux 4.0 and later).
inline void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

// A listening socket on an ephemeral loopback port (its number in `port`).
inline int listenLoopback(int& port, int backlog = 4)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), len);
    ::listen(fd, backlog);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

} // namespace quillon::bench
