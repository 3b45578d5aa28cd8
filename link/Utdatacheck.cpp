#include "Utdatacheck.h"

#include "ConfigInfo.h"

#include <Logger.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <memory>

namespace quillon
{

namespace
{

const char* const kIpPattern = "\\b(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\."
                               "(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\.(25[0-5]|2[0-4][0-9]|[01]?[0-9][0-9]?)\\b";
const char* const kTimeZonePattern = "([+|-]?1[0-3]|[+|-]?0[1-9]|[+|-]?[0-9])(?:00)?";

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

// A compiled pattern, built once; compiled patterns are read-only and can be shared by threads.
class Pattern
{
public:
    explicit Pattern(const char* pattern)
    {
        int errorCode = 0;
        PCRE2_SIZE errorOffset = 0;
        code_.reset(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern), PCRE2_ZERO_TERMINATED, 0, &errorCode,
                                  &errorOffset, nullptr));
        if (!code_) {
            PCRE2_UCHAR message[256];
            pcre2_get_error_message(errorCode, message, sizeof message);
            Logger::instance().error("pcre_compile error at:%d, %s", static_cast<int>(errorOffset),
                                     reinterpret_cast<const char*>(message));
        }
    }

    // The match result (the highest group matched + 1), or a negative value; `group1` receives
    // the text of group 1 when it matched.
    int match(std::string_view subject, std::string* group1 = nullptr) const
    {
        if (!code_)
            return -1;
        std::unique_ptr<pcre2_match_data, MatchFree> data(pcre2_match_data_create(10, nullptr));
        if (!data)
            return -1;
        const int rc = pcre2_match(code_.get(), reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0,
                                   data.get(), nullptr);
        if (rc >= 2 && group1) {
            const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
            if (ov[2] != PCRE2_UNSET)
                *group1 = std::string(subject.substr(ov[2], ov[3] - ov[2]));
        }
        return rc;
    }

private:
    std::unique_ptr<pcre2_code, CodeFree> code_;
};

} // namespace

bool isValidIp(std::string_view text)
{
    static const Pattern pattern(kIpPattern);
    return pattern.match(text) == 5;
}

bool isInteger(std::string_view text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    if (i == text.size())
        return false;
    for (; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

bool parseTimeZone(std::string_view text, int32_t& hours)
{
    static const Pattern pattern(kTimeZonePattern);
    std::string group;
    if (pattern.match(text, &group) != 2)
        return false;
    hours = static_cast<int32_t>(decimalPrefix(group));
    Logger::instance().debug("strItem=%s, timeZone=%d", group.c_str(), hours);
    return true;
}

bool parseSwitch(std::string_view text, int32_t& value)
{
    if (text == "0" || text == "1") {
        value = text[0] - '0';
        return true;
    }
    return false;
}

bool isInRange(long low, long high, long value)
{
    return low <= value && value <= high;
}

bool isInIntList(const int* list, int count, long value)
{
    for (int i = 0; i < count; ++i)
        if (list[i] == value)
            return true;
    return false;
}

bool isInTextList(const char* const* list, int count, std::string_view text)
{
    for (int i = 0; i < count; ++i)
        if (text == list[i])
            return true;
    return false;
}

std::string joinInts(const int* list, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ',';
        out += std::to_string(list[i]);
    }
    return out;
}

std::string joinTexts(const char* const* list, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ',';
        out += list[i];
    }
    return out;
}

} // namespace quillon
