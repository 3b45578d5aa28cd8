#include "ChannelEntry.h"

#include <Logger.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace quillon {

const char* const kQuotedChannelPattern =
    ".*?UserChannelID=\"?(\\d+)\"?.*?ChannelURL=\"(.*?)\".*?TimeShift=\"?([01]?)\"?.*?TimeShiftURL=\"(.*?)\"";
const char* const kPlainChannelPattern =
    ".*?UserChannelID=(\\d+)\\s*ChannelURL=(.*?)\\s*TimeShift=([01]?)\\s*(?:.*?\\s*)*TimeShiftURL=(.*)";

namespace {

// The list comes from the box: a hostile list shaped to make the patterns backtrack must cost
// a bounded amount per entry. A well-formed entry needs a few hundred steps.
constexpr uint32_t kMatchLimit = 20000;
constexpr uint32_t kDepthLimit = 2000;

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct CompileContextFree {
    void operator()(pcre2_compile_context* context) const { pcre2_compile_context_free(context); }
};
struct ContextFree {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

// A compiled pattern with its bounded match context; compiled with JIT where the library has it.
class EntryPattern {
public:
    explicit EntryPattern(const char* pattern)
    {
        int errorCode = 0;
        PCRE2_SIZE errorOffset = 0;
        // "." stops at a line feed, whatever the library's default: parseChannelList relies on it.
        std::unique_ptr<pcre2_compile_context, CompileContextFree> compile(pcre2_compile_context_create(nullptr));
        if (compile)
            pcre2_set_newline(compile.get(), PCRE2_NEWLINE_LF);
        code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0, &errorCode,
                                  &errorOffset, compile.get()));
        if (!code_) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(errorCode, message, sizeof message);
            Logger::instance().error("compile error at:%d, %s", static_cast<int>(errorOffset),
                                     reinterpret_cast<const char*>(message));
            return;
        }
        pcre2_jit_compile(code_.get(), PCRE2_JIT_COMPLETE); // the interpreter is used when JIT is missing
        context_.reset(pcre2_match_context_create(nullptr));
        if (context_) {
            pcre2_set_match_limit(context_.get(), kMatchLimit);
            pcre2_set_depth_limit(context_.get(), kDepthLimit);
        }
    }
    bool valid() const { return code_ && context_; }

    // The match's return code: 5 for all four groups, a PCRE2 error below zero.
    int match(const char* subject, size_t length, uint32_t options, ChannelEntry& entry) const
    {
        std::unique_ptr<pcre2_match_data, MatchDataFree> data(pcre2_match_data_create(10, nullptr));
        if (!data)
            return PCRE2_ERROR_NOMEMORY;
        const int rc = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(subject), length, 0, options,
                                   data.get(), context_.get());
        if (rc == 5) {
            const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
            auto group = [&](int i) {
                if (ov[2 * i] == PCRE2_UNSET)
                    return std::string();
                return std::string(subject + ov[2 * i], ov[2 * i + 1] - ov[2 * i]);
            };
            entry.number = group(1);
            entry.channelUrl = group(2);
            entry.timeShift = std::atoi(group(3).c_str()) != 0;
            entry.timeShiftUrl = group(4);
        }
        return rc;
    }

private:
    std::unique_ptr<pcre2_code, CodeFree> code_;
    std::unique_ptr<pcre2_match_context, ContextFree> context_;
};

const EntryPattern& quotedPattern()
{
    static const EntryPattern pattern(kQuotedChannelPattern);
    return pattern;
}

const EntryPattern& plainPattern()
{
    static const EntryPattern pattern(kPlainChannelPattern);
    return pattern;
}

bool hitLimit(int rc)
{
    return rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT || rc == PCRE2_ERROR_HEAPLIMIT ||
           rc == PCRE2_ERROR_JIT_STACKLIMIT || rc == PCRE2_ERROR_NOMEMORY;
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

void logEntry(const ChannelEntry& entry)
{
    Logger::instance().debug("UserChannelID:%s, timeShift:%d, channelURL:%s, timeShiftURL:%s", entry.number.c_str(),
                             entry.timeShift ? 1 : 0, entry.channelUrl.c_str(), entry.timeShiftUrl.c_str());
}

// One pattern at one entry: 1 matched, 0 no match, -1 the match hit a limit.
int parseAt(const EntryPattern& pattern, const char* subject, size_t length, uint32_t options, ChannelEntry& entry)
{
    if (!pattern.valid())
        return 0;
    const int rc = pattern.match(subject, length, options, entry);
    if (rc != 5)
        return hitLimit(rc) ? -1 : 0;
    splitTimeShift(entry);
    logEntry(entry);
    return 1;
}

} // namespace

bool parseChannelEntry(const char* pattern, const std::string& text, ChannelEntry& entry)
{
    if (pattern == kQuotedChannelPattern)
        return parseAt(quotedPattern(), text.data(), text.size(), 0, entry) == 1;
    if (pattern == kPlainChannelPattern)
        return parseAt(plainPattern(), text.data(), text.size(), 0, entry) == 1;
    const EntryPattern other(pattern);
    return parseAt(other, text.data(), text.size(), 0, entry) == 1;
}

std::vector<ChannelEntry> parseChannelList(const std::string& text)
{
    std::vector<ChannelEntry> entries;
    static const char kTag[] = "UserChannelID";
    size_t at = text.find(kTag);
    while (at != std::string::npos) {
        // Each entry is matched from its occurrence on. The match is anchored there: an entry that
        // does not match is skipped rather than answered by a later entry's text.
        const char* subject = text.data() + at;
        const size_t length = text.size() - at;
        // Nothing in the quoted pattern matches a line feed, so its match lies within the entry's
        // line; the rest of the text is not even looked at.
        const char* lineEnd = static_cast<const char*>(std::memchr(subject, '\n', length));
        const size_t lineLength = lineEnd ? static_cast<size_t>(lineEnd - subject) : length;
        ChannelEntry entry;
        int found = parseAt(quotedPattern(), subject, lineLength, PCRE2_ANCHORED, entry);
        if (found == 0)
            found = parseAt(plainPattern(), subject, length, PCRE2_ANCHORED, entry = {});
        if (found == 1)
            entries.push_back(std::move(entry));
        else if (found < 0)
            Logger::instance().error("channel entry at offset %zu skipped: it takes too long to match", at);
        at = text.find(kTag, at + 1);
    }
    return entries;
}

} // namespace quillon
