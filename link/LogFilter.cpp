#include "LogFilter.h"

#include <cstdint>
#include <cwctype>

namespace quillon
{

const char* const kLogKeywords[22] = {
    "HOST",     "HTTP",        "RTSP",    "BUFFER", "REQUEST", "OPEN", "IGMP", "URL", "ERROR", "CONNECTION", "PVR",
    "DOWNLOAD", "MEDIAPLAYER", "UPGRADE", "DRM",    "ACS",     "DVB",  "SQM",  "LOG", "UPNP",  "TEMPLATE",   "HMS"};

namespace
{

// The code point of the well-formed UTF-8 sequence at `s[i]` and its length; length 0 when
// there is none.
char32_t decodeUtf8(std::string_view s, size_t i, size_t& length)
{
    const auto b = [&](size_t k) { return static_cast<uint8_t>(s[i + k]); };
    const auto cont = [&](size_t k) { return i + k < s.size() && (b(k) & 0xC0) == 0x80; };
    const uint8_t c = b(0);
    length = 0;
    if (c >= 0xC2 && c <= 0xDF && cont(1)) {
        length = 2;
        return char32_t(c & 0x1F) << 6 | (b(1) & 0x3F);
    }
    if (c >= 0xE0 && c <= 0xEF && cont(1) && cont(2)) {
        const char32_t cp = char32_t(c & 0x0F) << 12 | char32_t(b(1) & 0x3F) << 6 | (b(2) & 0x3F);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))
            return 0;
        length = 3;
        return cp;
    }
    if (c >= 0xF0 && c <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        const char32_t cp =
            char32_t(c & 0x07) << 18 | char32_t(b(1) & 0x3F) << 12 | char32_t(b(2) & 0x3F) << 6 | (b(3) & 0x3F);
        if (cp < 0x10000 || cp > 0x10FFFF)
            return 0;
        length = 4;
        return cp;
    }
    return 0;
}

void encodeUtf8(char32_t cp, std::string& out)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

char asciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

bool isAscii(std::string_view s)
{
    for (char c : s)
        if (static_cast<uint8_t>(c) >= 0x80)
            return false;
    return true;
}

// Case-blind search of an upper-case ASCII keyword in ASCII-or-other text, without copying.
bool containsAsciiUpper(std::string_view text, std::string_view keyword)
{
    if (keyword.size() > text.size())
        return false;
    const char first = keyword[0];
    const char firstLower = first >= 'A' && first <= 'Z' ? char(first - 'A' + 'a') : first;
    const size_t last = text.size() - keyword.size();
    for (size_t i = 0; i <= last; ++i) {
        if (text[i] != first && text[i] != firstLower)
            continue;
        size_t k = 1;
        while (k < keyword.size() && asciiUpper(text[i + k]) == keyword[k])
            ++k;
        if (k == keyword.size())
            return true;
    }
    return false;
}

} // namespace

std::string upperText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (static_cast<uint8_t>(c) < 0x80) {
            out += asciiUpper(c);
            ++i;
            continue;
        }
        size_t length = 0;
        const char32_t cp = decodeUtf8(text, i, length);
        if (length == 0) {
            out += c;
            ++i;
            continue;
        }
        encodeUtf8(static_cast<char32_t>(std::towupper(static_cast<wint_t>(cp))), out);
        i += length;
    }
    return out;
}

LogFilter::LogFilter(std::vector<std::string> keywords)
{
    for (std::string& keyword : keywords) {
        keyword = upperText(keyword);
        asciiOnly_ = asciiOnly_ && isAscii(keyword);
        keywords_.push_back(std::move(keyword));
    }
}

std::string LogFilter::describe() const
{
    std::string text;
    for (const std::string& keyword : keywords_) {
        if (!text.empty())
            text += ',';
        text += keyword;
    }
    return text;
}

bool LogFilter::matches(std::string_view text) const
{
    if (keywords_.empty())
        return false;
    // ASCII keywords need no copy of the row: only ASCII letters can match their letters.
    if (asciiOnly_) {
        for (const std::string& keyword : keywords_)
            if (keyword.empty() || containsAsciiUpper(text, keyword))
                return true;
        return false;
    }
    const std::string upper = upperText(text);
    for (const std::string& keyword : keywords_)
        if (upper.find(keyword) != std::string::npos)
            return true;
    return false;
}

std::string logSaveFileName(const std::string& chosen)
{
    for (const char* known : {".txt", ".TXT", ".log", ".LOG"})
        if (chosen.find(known) != std::string::npos)
            return chosen;
    return chosen + ".txt";
}

} // namespace quillon
