#include "ChannelEntry.h"

#include "Pattern.h"

#include <Logger.h>

#include <cstdlib>
#include <cstring>

namespace quillon {

const char* const kQuotedChannelPattern =
    ".*?UserChannelID=\"?(\\d+)\"?.*?ChannelURL=\"(.*?)\".*?TimeShift=\"?([01]?)\"?.*?TimeShiftURL=\"(.*?)\"";
const char* const kPlainChannelPattern =
    ".*?UserChannelID=(\\d+)\\s*ChannelURL=(.*?)\\s*TimeShift=([01]?)\\s*(?:.*?\\s*)*TimeShiftURL=(.*)";

namespace {

bool matchEntry(const char* pattern, const char* subject, size_t length, ChannelEntry& entry)
{
    pcre2_code* code = compilePattern(pattern);
    if (!code)
        return false;
    pcre2_match_data* match = pcre2_match_data_create(10, nullptr);
    const int rc = match ? pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject), length, 0, 0, match, nullptr) : -1;
    bool matched = false;
    if (rc == 5) {
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(match);
        auto group = [&](int i) {
            if (ov[2 * i] == PCRE2_UNSET)
                return std::string();
            return std::string(subject + ov[2 * i], ov[2 * i + 1] - ov[2 * i]);
        };
        entry.number = group(1);
        entry.channelUrl = group(2);
        entry.timeShift = std::atoi(group(3).c_str()) != 0;
        entry.timeShiftUrl = group(4);
        matched = true;
    }
    pcre2_match_data_free(match);
    pcre2_code_free(code);
    return matched;
}

void splitTimeShift(ChannelEntry& entry)
{
    if (!entry.timeShiftUrl.empty())
        return;
    const size_t bar = entry.channelUrl.find('|');
    if (bar == std::string::npos)
        return;
    entry.timeShiftUrl = entry.channelUrl.substr(bar + 1);
    entry.channelUrl.resize(bar);
}

bool parseAt(const char* pattern, const char* subject, size_t length, ChannelEntry& entry)
{
    if (!matchEntry(pattern, subject, length, entry))
        return false;
    splitTimeShift(entry);
    Logger::instance().debug("UserChannelID:%s, timeShift:%d, channelURL:%s, timeShiftURL:%s", entry.number.c_str(),
                             entry.timeShift ? 1 : 0, entry.channelUrl.c_str(), entry.timeShiftUrl.c_str());
    return true;
}

} // namespace

bool parseChannelEntry(const char* pattern, const std::string& text, ChannelEntry& entry)
{
    return parseAt(pattern, text.data(), text.size(), entry);
}

std::vector<ChannelEntry> parseChannelList(const std::string& text)
{
    std::vector<ChannelEntry> entries;
    static const char kTag[] = "UserChannelID";
    size_t at = text.find(kTag);
    while (at != std::string::npos) {
        // Each entry is matched against the text from its occurrence to the end.
        const char* subject = text.data() + at;
        const size_t length = text.size() - at;
        ChannelEntry entry;
        if (parseAt(kQuotedChannelPattern, subject, length, entry) || parseAt(kPlainChannelPattern, subject, length, entry = {}))
            entries.push_back(std::move(entry));
        at = text.find(kTag, at + 1);
    }
    return entries;
}

} // namespace quillon
