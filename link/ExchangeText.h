#pragma once

#include <cstdio>
#include <string>

namespace quillon {

class Response;
class StbLink;

// A failed send (text 352) or receive (text 353) on the link ends an exchange the same way
// everywhere: the text with the socket error, logged, as an error marked "disconnect".
void setLinkFailure(StbLink& link, int stringId, Response& response);

// One frame and its reply: the reply's length, 0 when none came within the wait, or -1 when the
// link failed (the failure is then set in `response`).
int sendAndReceive(StbLink& link, const std::string& frame, std::string& reply, Response& response);

// One result or failure text, formatted as the worker's 256-byte message buffer holds it.
template <typename... Args>
std::string messageText(const char* format, Args... args)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

} // namespace quillon
