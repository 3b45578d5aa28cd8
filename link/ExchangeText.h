#pragma once

#include <cstdio>
#include <string>

namespace quillon {

// One result or failure text, formatted as the worker's 256-byte message buffer holds it.
template <typename... Args>
std::string messageText(const char* format, Args... args)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

} // namespace quillon
