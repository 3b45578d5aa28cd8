#pragma once

// Small helpers shared by the benchmarks.

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

namespace quillon::bench
{

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

} // namespace quillon::bench
