#pragma once

#include "Messages.h"

#include <string>

namespace quillon
{

// The box's playback commands, as the operations page and the command line send them.
constexpr const char* kStopPlayCommand = "connect^stop^null";
constexpr const char* kFastBackwardCommand = "connect^fast_backward^null";
constexpr const char* kPauseCommand = "connect^pause^null";
constexpr const char* kFastForwardCommand = "connect^fast_forward^null";

// A URL the box can play: "rtsp://" or "igmp://" somewhere in it (case-sensitive).
bool isPlayableUrl(const std::string& url);
// A channel number: decimal digits only, at most what an int holds. False for anything else
// (a sign, blanks, an empty text).
bool parseChannelNumber(const std::string& text, int& number);

// "connect^play^null^" and the URL, cut to 1023 characters as the box's buffer holds it.
std::string playUrlCommand(const std::string& url);
// "connect^play^null^Channel:" and the number.
std::string playNumberCommand(int number);

// A button's command: function connect, type 9, only the command text set.
ReqExtCommand playbackRequest(const std::string& command);

} // namespace quillon
