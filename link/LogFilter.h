#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillon
{

// The keywords of the log page's 22 check boxes, in the order they enter the filter.
extern const char* const kLogKeywords[22];

// `text` in upper case: ASCII letters by table, other UTF-8 characters by the C library's
// wide-character mapping of the current locale. Bytes that are not valid UTF-8 stay as they are.
std::string upperText(std::string_view text);

// The keyword filter of the log viewer: a row matches when any keyword occurs in it, ignoring
// case. An empty filter matches nothing.
class LogFilter
{
public:
    LogFilter() = default;
    // Keywords as given; each is upper-cased here, none is trimmed or split.
    explicit LogFilter(std::vector<std::string> keywords);

    bool empty() const { return keywords_.empty(); }
    const std::vector<std::string>& keywords() const { return keywords_; }
    // The list as the log shows it: the keywords joined by ",".
    std::string describe() const;
    bool matches(std::string_view text) const;

private:
    std::vector<std::string> keywords_;
    bool asciiOnly_ = true;
};

// The name a save dialog's answer is used under: ".txt" appended unless ".txt", ".TXT", ".log"
// or ".LOG" occurs anywhere in it (case-sensitive).
std::string logSaveFileName(const std::string& chosen);

} // namespace quillon
