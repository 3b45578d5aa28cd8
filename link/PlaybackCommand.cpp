#include "PlaybackCommand.h"

#include <climits>
#include <cstdio>

namespace quillon
{

bool isPlayableUrl(const std::string& url)
{
    return url.find("rtsp://") != std::string::npos || url.find("igmp://") != std::string::npos;
}

bool parseChannelNumber(const std::string& text, int& number)
{
    if (text.empty() || text.size() > 10)
        return false;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value > INT_MAX)
        return false;
    number = static_cast<int>(value);
    return true;
}

std::string playUrlCommand(const std::string& url)
{
    std::string command = "connect^play^null^" + url;
    if (command.size() > 1023)
        command.resize(1023);
    return command;
}

std::string playNumberCommand(int number)
{
    char text[256];
    std::snprintf(text, sizeof text, "connect^play^null^Channel:%d", number);
    return text;
}

ReqExtCommand playbackRequest(const std::string& command)
{
    ReqExtCommand request(FuncConnect, TypeButtonCommand);
    request.command = command;
    return request;
}

} // namespace quillon
