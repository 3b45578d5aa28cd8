#include "FreeCommand.h"

#include "Frame.h"
#include "Pattern.h"

#include <Logger.h>

#include <array>
#include <cerrno>
#include <cstdlib>

namespace quillon
{

namespace
{

const char* const kPingPattern = "connect[\\s|\\^]*ping[\\s|\\^]*(null|/length:(\\d+))*[\\s|\\^]*(\\d+.\\d+.\\d+.\\d+)";
const char* const kTraceRoutePattern = "connect[\\s|\\^]*traceroute[\\s|\\^]*(null)*[\\s|\\^]*(\\d+.\\d+.\\d+.\\d+)";
// A word ends at any separator, "|" included: "write|Key|null|5" is write^Key^null^5.
const char* const kCommandPattern =
    "(read|write|ioctl|inform|connect)[\\s|\\^]*([^\\s|\\^]*)[\\s|\\^]*([^\\s|\\^]*)[\\s|\\^]*([^\\s|\\^]*)";

// The ping pattern backtracks quadratically over a long run of separators, so a text is matched
// only up to the length a frame can carry at all; the limit guards the rest.
constexpr size_t kMaxCommandText = kMaxFreeCommandBytes;
constexpr uint32_t kMatchLimit = 1000000;

constexpr int kGroups = 5;
using Groups = std::array<std::string, kGroups>; // [0] the whole match; unset groups stay empty
using GroupsSet = std::array<bool, kGroups>;

// Unanchored match of `pattern` (no options) against the whole text. A pattern that does not
// compile, or a text too long for a frame, counts as no match.
bool match(const char* pattern, const std::string& text, Groups& groups, GroupsSet& set)
{
    if (text.size() > kMaxCommandText)
        return false;
    pcre2_code* code = compilePattern(pattern);
    if (!code)
        return false;
    pcre2_match_data* data = pcre2_match_data_create(kGroups, nullptr);
    pcre2_match_context* context = pcre2_match_context_create(nullptr);
    if (context)
        pcre2_set_match_limit(context, kMatchLimit);
    const int rc = data && context
                       ? pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, data, context)
                       : -1;
    const bool matched = rc >= 0;
    if (matched) {
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
        const int count = static_cast<int>(pcre2_get_ovector_count(data));
        for (int i = 0; i < kGroups; ++i) {
            set[i] = i < count && (rc == 0 || i < rc) && ov[2 * i] != PCRE2_UNSET;
            groups[i] = set[i] ? text.substr(ov[2 * i], ov[2 * i + 1] - ov[2 * i]) : std::string();
        }
    }
    pcre2_match_context_free(context);
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    return matched;
}

// A decimal that fits in int32; -1 for anything else.
int32_t durationOf(const std::string& digits)
{
    if (digits.empty())
        return -1;
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(digits.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value > INT32_MAX)
        return -1;
    return static_cast<int32_t>(value);
}

} // namespace

bool parsePingCommand(const std::string& text, std::string& target, int32_t& duration)
{
    Groups g;
    GroupsSet set{};
    if (!match(kPingPattern, text, g, set))
        return false;
    target = g[3];
    duration = set[2] ? durationOf(g[2]) : -1;
    Logger::instance().debug("parse ping command, ip:%s, second:%d", target.c_str(), duration);
    return true;
}

bool parseTraceRouteCommand(const std::string& text, std::string& target)
{
    Groups g;
    GroupsSet set{};
    if (!match(kTraceRoutePattern, text, g, set))
        return false;
    target = g[2];
    Logger::instance().debug("parse trace route command, ip:%s", target.c_str());
    return true;
}

bool parseCommand(const std::string& text, uint8_t& function, std::string& call, std::string& parameter,
                  std::string& data)
{
    Groups g;
    GroupsSet set{};
    if (!match(kCommandPattern, text, g, set))
        return false;
    function = FuncNone;
    for (int code = FuncRead; code <= FuncConnect; ++code)
        if (g[1] == functionName(code))
            function = static_cast<uint8_t>(code);
    call = g[2];
    parameter = g[3];
    data = g[4];
    Logger::instance().debug("parse command, func:%s, call:%s, param:%s, data:%s", g[1].c_str(), call.c_str(),
                             parameter.c_str(), data.c_str());
    return function != FuncNone;
}

FreeCommand interpretFreeCommand(const std::string& text)
{
    FreeCommand result;
    if (text.empty())
        return result;
    if (text.size() > kMaxCommandText) {
        result.kind = FreeCommand::Invalid;
        result.tooLong = true;
        return result;
    }
    if (parsePingCommand(text, result.target, result.duration)) {
        result.kind = FreeCommand::Ping;
        return result;
    }
    if (parseTraceRouteCommand(text, result.target)) {
        result.kind = FreeCommand::TraceRoute;
        return result;
    }
    uint8_t function = FuncNone;
    std::string call, parameter, data;
    if (!parseCommand(text, function, call, parameter, data)) {
        result.kind = FreeCommand::Invalid;
        return result;
    }
    if (function == FuncRead && (call == "Channellist" || call == "Paralist")) {
        // A list read takes no arguments; it runs the export instead of a single read.
        const bool extra = (!parameter.empty() && parameter != "null") || !data.empty();
        result.kind = extra                   ? FreeCommand::Invalid
                      : call == "Channellist" ? FreeCommand::ChannelList
                                              : FreeCommand::ParamList;
        return result;
    }
    if (parameter.empty())
        parameter = "null";
    ReqExtCommand& request = result.request;
    request.function = function;
    request.type = TypeUserCommand;
    request.command = functionName(function) + "^" + call + "^" + parameter;
    if (!data.empty())
        request.command += "^" + data;
    request.call = call;
    request.parameter = parameter;
    request.data = data;
    result.kind = FreeCommand::Command;
    return result;
}

} // namespace quillon
