#pragma once

#include <string>
#include <vector>

namespace quillon {

// One channel of the box's channel list.
struct ChannelEntry {
    std::string number;       // UserChannelID
    bool timeShift = false;
    std::string channelUrl;
    std::string timeShiftUrl;
};

// The two patterns of a channel entry: values in double quotation marks, and unquoted values.
extern const char* const kQuotedChannelPattern;
extern const char* const kPlainChannelPattern;

// Applies one pattern to the text at an entry, anchored at its start. True when it matched with
// all four groups within the match limits; a time shift URL left empty is taken from behind the
// first "|" of the channel URL.
bool parseChannelEntry(const char* pattern, const std::string& text, ChannelEntry& entry);

// Every entry of a channel-list text, in order: each occurrence of "UserChannelID" (the first
// character of the text included) is tried with the quoted pattern, then the unquoted one;
// an occurrence that matches neither is skipped.
std::vector<ChannelEntry> parseChannelList(const std::string& text);

} // namespace quillon
