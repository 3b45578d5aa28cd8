#include "ZoneInfo.h"

#include <Logger.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <fstream>
#include <memory>

namespace quillon
{

namespace
{

struct CodeFree {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};

} // namespace

std::string readZoneInfo(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};

    static const char kPattern[] = "\\s*info\\s*=\\s*(.*)";
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    std::unique_ptr<pcre2_code, CodeFree> code(pcre2_compile(
        reinterpret_cast<PCRE2_SPTR>(kPattern), PCRE2_ZERO_TERMINATED, 0, &errorCode, &errorOffset, nullptr));
    if (!code) {
        PCRE2_UCHAR message[256];
        pcre2_get_error_message(errorCode, message, sizeof message);
        Logger::instance().error("compile error at:%d, %s", static_cast<int>(errorOffset),
                                 reinterpret_cast<const char*>(message));
        return {};
    }
    std::unique_ptr<pcre2_match_data, MatchDataFree> match(pcre2_match_data_create_from_pattern(code.get(), nullptr));
    if (!match)
        return {};

    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        // The leftmost match is the first "info" followed by "=" (the leading blanks only widen
        // it), so the pattern is tried anchored at each "info": tried from every position of a
        // hostile line of blanks it would cost the square of the line's length.
        for (size_t at = line.find("info"); at != std::string::npos; at = line.find("info", at + 1)) {
            const int rc = pcre2_match(code.get(), reinterpret_cast<PCRE2_SPTR>(line.data()), line.size(), at,
                                       PCRE2_ANCHORED, match.get(), nullptr);
            if (rc >= 2) {
                const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(match.get());
                return line.substr(ovector[2], ovector[3] - ovector[2]);
            }
        }
    }
    return {};
}

} // namespace quillon
