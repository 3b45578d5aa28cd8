#pragma once

#include <cstdio>
#include <string>

namespace quillon {

class Response;
class StbLink;

// A failed send (text 352) or receive (text 353) on the link ends an exchange the same way
// everywhere: the text with the socket error, logged, as an error marked "disconnect".
void setLinkFailure(StbLink& link, int stringId, Response& response);

// The result of a write (or read) of several keys: nothing sent gives text 486, nothing accepted
// text 405 (the collected failures are dropped), all accepted STA_OK, else STA_PART_OK with them.
void setMultiKeyResult(Response& response, int sent, int succeeded, const std::string& failures);

// One frame and its reply: the reply's length, 0 when none came within the wait, or -1 when the
// link failed (the failure is then set in `response`). With `function` and `call` given, a reply
// that echoes the same function but another call is the late answer to an earlier frame: it is
// dropped and the wait goes on within the same limit.
int sendAndReceive(StbLink& link, const std::string& frame, std::string& reply, Response& response,
                   const char* function = nullptr, const char* call = nullptr);

// The text of an upgrade that ended because the link was lost, with the percentage it reached:
// "Upgrade failed: link lost at 16%" (in the current language). Empty for any other result,
// whose own text stands.
std::string upgradeFailureText(const Response& response);

// One result or failure text, formatted as the worker's 256-byte message buffer holds it.
template <typename... Args>
std::string messageText(const char* format, Args... args)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, format, args...);
    return buf;
}

} // namespace quillon
