#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quillon
{

// An INI file with the platform's profile semantics: section and key names compare without
// regard to ASCII case, the first occurrence wins, values are read trimmed, and a write updates
// the file in place (a new key goes after the last entry of its section, a new section at the
// end). Lines are written as "key=value" with CR LF; comments and unknown lines are kept.
class IniFile
{
public:
    void parse(std::string_view text);
    // Loads a file the box reads: its bytes are in the box's encoding (core/BoxText.h) and are held
    // as UTF-8 here. A missing file is an empty INI; false when the file exists but cannot be read.
    bool loadBoxFile(const std::string& path);

    // The trimmed value, or `fallback` when the section or key is absent.
    std::string value(std::string_view section, std::string_view key, std::string_view fallback = {}) const;
    void setValue(std::string_view section, std::string_view key, std::string_view value);

    bool modified() const { return modified_; }
    std::string text() const;
    // The text in the box's encoding, for a file the box reads.
    std::string boxText() const;

private:
    struct Line {
        std::string raw;
        std::string key; // lower case; empty for blanks, comments and other lines
    };
    struct Section {
        std::string header; // raw header line; empty for the lines before the first section
        std::vector<Line> lines;
    };
    Section* find(std::string_view section);
    const Section* find(std::string_view section) const;

    std::vector<Section> sections_;
    std::unordered_map<std::string, size_t> index_; // lower-case name -> first section of that name
    bool modified_ = false;
};

} // namespace quillon
