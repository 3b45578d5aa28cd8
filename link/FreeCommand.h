#pragma once

#include "Frame.h"
#include "Messages.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon
{

// The free-command language the engineer types ("ioctl reboot", "write|Key|null|5",
// "connect ping 10.1.1.1"). Words may be separated by any run of blanks, "|" or "^"; the
// function words are case-sensitive. A text longer than a frame can carry (2023 characters)
// matches no pattern. Shared by the window and the command line.

// The longest text a frame can carry, in bytes.
constexpr size_t kMaxFreeCommandBytes = kFrameTextArea - 1;

// "connect ping [null|/length:N] A.B.C.D": true on a match, with the target and the duration
// (-1 when none is given or it is not a number).
bool parsePingCommand(const std::string& text, std::string& target, int32_t& duration);
// "connect traceroute [null] A.B.C.D": true on a match, with the target.
bool parseTraceRouteCommand(const std::string& text, std::string& target);
// "FUNCTION CALL PARAMETER DATA" with one of the five function words; true on a match, with the
// function's code and the next three words (each possibly empty; words past the fourth dropped).
bool parseCommand(const std::string& text, uint8_t& function, std::string& call, std::string& parameter,
                  std::string& data);

// What a typed command asks for, after the rules of the free command.
struct FreeCommand {
    enum Kind {
        Empty,       // nothing typed
        Ping,        // target, duration
        TraceRoute,  // target
        ChannelList, // "read Channellist": the channel-list export
        ParamList,   // "read Paralist": the parameter export
        Command,     // request: a command for the box
        Invalid,     // no pattern matched, or a list read with arguments
    };
    Kind kind = Empty;
    bool tooLong = false; // Invalid because longer than kMaxFreeCommandBytes
    std::string target;
    int32_t duration = -1;
    // For Command: function, type 8, the rebuilt text function^call^parameter[^data], and the
    // words (an empty parameter sent as "null").
    ReqExtCommand request;
};

// Interprets `text` (trimmed by the caller) in the order of the three patterns.
FreeCommand interpretFreeCommand(const std::string& text);

} // namespace quillon
