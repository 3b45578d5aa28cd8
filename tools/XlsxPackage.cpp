#include "XlsxPackage.h"

#include <orcus/zip_archive.hpp>

#include <algorithm>
#include <cstring>
#include <stdexcept>

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

} // namespace

XlsxPackage::XlsxPackage(std::string_view zip, const XlsxLimits& limits) : zip_(zip), limits_(limits)
{
    readDirectory();
    archive_ = std::make_unique<orcus::zip_archive>(this);
    archive_->load();
}

XlsxPackage::~XlsxPackage() = default;

bool XlsxPackage::has(const std::string& name) const
{
    return entries_.count(lower(name)) != 0;
}

std::vector<unsigned char> XlsxPackage::part(const std::string& name)
{
    const auto it = entries_.find(lower(name));
    if (it == entries_.end())
        throw std::runtime_error("the package has no part " + name);
    const Entry& e = it->second;
    const size_t n = zip_.size();
    if (e.header > n || n - e.header < 30 || le(e.header, 4) != 0x04034b50)
        throw std::runtime_error("the part " + name + " is damaged");
    // Sizes in the local header are zero when a data descriptor follows the data.
    const size_t data = e.header + 30 + le(e.header + 26, 2) + le(e.header + 28, 2);
    const uint32_t localPacked = le(e.header + 18, 4);
    const uint32_t localUnpacked = le(e.header + 22, 4);
    if (data > n || e.packed > n - data || (localPacked != 0 && localPacked != e.packed) ||
        (localUnpacked != 0 && localUnpacked != e.unpacked) || (e.method != 0 && e.method != 8))
        throw std::runtime_error("the part " + name + " is damaged");
    unpacked_ += std::max(e.packed, e.unpacked);
    if (unpacked_ > limits_.unpackedBytes)
        throw std::runtime_error("the package unpacks to more than " + std::to_string(limits_.unpackedBytes) +
                                 " bytes; refused");
    std::vector<unsigned char> bytes;
    if (!archive_->read_file_entry(e.name, bytes))
        throw std::runtime_error("cannot unpack " + name);
    bytes.push_back(0);
    return bytes;
}

void XlsxPackage::seek(size_t pos)
{
    if (pos > zip_.size())
        throw orcus::zip_error("seek past the end of the package");
    pos_ = pos;
}

void XlsxPackage::read(unsigned char* buffer, size_t length) const
{
    if (length > zip_.size() - pos_)
        throw orcus::zip_error("read past the end of the package");
    std::memcpy(buffer, zip_.data() + pos_, length);
}

uint32_t XlsxPackage::le(size_t at, int bytes) const
{
    if (at > zip_.size() || zip_.size() - at < static_cast<size_t>(bytes))
        throw std::runtime_error("the zip directory is damaged");
    uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = value << 8 | static_cast<unsigned char>(zip_[at + static_cast<size_t>(i)]);
    return value;
}

// Walks the directory the way orcus does: from its start for as long as entries follow.
void XlsxPackage::readDirectory()
{
    const size_t n = zip_.size();
    if (n < 22)
        throw std::runtime_error("not a zip package");
    const size_t lowest = n - 22 > 0xFFFF ? n - 22 - 0xFFFF : 0; // the end record's comment is at most 64 KiB
    size_t end = n - 22;
    while (le(end, 4) != 0x06054b50) {
        if (end-- == lowest)
            throw std::runtime_error("not a zip package (no central directory)");
    }
    for (size_t p = le(end + 16, 4); p + 4 <= n && le(p, 4) == 0x02014b50;) {
        const size_t nameLength = le(p + 28, 2);
        Entry e{std::string(), le(p + 10, 2), le(p + 20, 4), le(p + 24, 4), le(p + 42, 4)};
        if (n - p - 46 < nameLength) // le() above kept p + 46 inside the file
            throw std::runtime_error("the zip directory is damaged");
        e.name = std::string(zip_.substr(p + 46, nameLength));
        // Two parts of one name might be told apart differently here and in orcus.
        if (!entries_.emplace(lower(e.name), e).second)
            throw std::runtime_error("the package holds two parts named " + e.name);
        if (entries_.size() > 0xFFFF)
            throw std::runtime_error("the package holds too many parts");
        p += 46 + nameLength + le(p + 30, 2) + le(p + 32, 2);
    }
}

} // namespace quillon
