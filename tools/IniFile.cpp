#include "IniFile.h"

#include "WorkbookReader.h"

#include <BoxText.h>

#include <fstream>
#include <iterator>
#include <system_error>
#include <filesystem>

namespace quillon
{

namespace
{

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return out;
}

// Key of a "key=value" line, lower case; empty for any other line.
std::string keyOf(std::string_view line)
{
    const std::string t = trimmed(line);
    if (t.empty() || t[0] == ';' || t[0] == '[')
        return {};
    const size_t eq = t.find('=');
    if (eq == std::string::npos)
        return {};
    return lower(trimmed(std::string_view(t).substr(0, eq)));
}

// Name of a "[name]" header line, or false.
bool headerName(std::string_view line, std::string& name)
{
    const std::string t = trimmed(line);
    if (t.size() < 2 || t[0] != '[')
        return false;
    const size_t close = t.find(']');
    if (close == std::string::npos)
        return false;
    name = trimmed(std::string_view(t).substr(1, close - 1));
    return true;
}

} // namespace

namespace
{

// The file's bytes; a missing file is empty. False when it exists but cannot be read.
bool readWholeFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return !ec;
    // A folder opens as a stream, and reading it then throws.
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    try {
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::ios_base::failure&) {
        return false; // a read error of the file system
    }
    return !in.bad();
}

} // namespace

bool IniFile::loadBoxFile(const std::string& path)
{
    sections_.clear();
    index_.clear();
    modified_ = false;
    std::string bytes;
    if (!readWholeFile(path, bytes))
        return false;
    parse(fromBox(bytes));
    return true;
}

std::string IniFile::boxText() const
{
    return toBox(text());
}

void IniFile::parse(std::string_view text)
{
    sections_.assign(1, Section{});
    index_.clear();
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        pos = end + 1;
        std::string name;
        if (headerName(line, name)) {
            sections_.push_back(Section{std::string(line), {}});
            index_.emplace(lower(name), sections_.size() - 1); // keeps the first of a repeated name
        } else {
            sections_.back().lines.push_back(Line{std::string(line), keyOf(line)});
        }
    }
}

const IniFile::Section* IniFile::find(std::string_view section) const
{
    const auto it = index_.find(lower(trimmed(section)));
    return it == index_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section* IniFile::find(std::string_view section)
{
    return const_cast<Section*>(static_cast<const IniFile*>(this)->find(section));
}

std::string IniFile::value(std::string_view section, std::string_view key, std::string_view fallback) const
{
    if (const Section* s = find(section)) {
        const std::string k = lower(trimmed(key));
        for (const Line& line : s->lines) {
            if (!line.key.empty() && line.key == k)
                return trimmed(std::string_view(line.raw).substr(line.raw.find('=') + 1));
        }
    }
    return std::string(fallback);
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string_view value)
{
    if (sections_.empty())
        sections_.emplace_back();
    const std::string name = trimmed(section);
    const std::string k = trimmed(key);
    Line entry{k + "=" + std::string(value), lower(k)};
    modified_ = true;
    Section* s = find(name);
    if (!s) {
        sections_.push_back(Section{"[" + name + "]", {std::move(entry)}});
        index_.emplace(lower(name), sections_.size() - 1);
        return;
    }
    size_t lastEntry = 0; // one past the last non-blank line
    for (size_t i = 0; i < s->lines.size(); ++i) {
        Line& line = s->lines[i];
        if (!line.key.empty() && line.key == entry.key) {
            line = std::move(entry);
            return;
        }
        if (!trimmed(line.raw).empty())
            lastEntry = i + 1;
    }
    s->lines.insert(s->lines.begin() + static_cast<std::ptrdiff_t>(lastEntry), std::move(entry));
}

std::string IniFile::text() const
{
    std::string out;
    for (const Section& s : sections_) {
        if (!s.header.empty())
            out += s.header + "\r\n";
        for (const Line& line : s.lines)
            out += line.raw + "\r\n";
    }
    return out;
}

} // namespace quillon
