#pragma once

#include "WorkbookReader.h"

#include <orcus/zip_archive_stream.hpp>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace orcus
{
class zip_archive;
}

namespace quillon
{

// The parts of an .xlsx zip package, unpacked through orcus's zip code. orcus sizes its buffers by
// what the central directory declares, so the declared sizes are checked here first: a lying or
// bomb-sized part is refused before it costs memory. Reads outside the file throw.
class XlsxPackage : public orcus::zip_archive_stream
{
public:
    // Throws std::runtime_error when `zip` is not a zip file or its directory is damaged; `zip`
    // and `limits` must outlive the package.
    XlsxPackage(std::string_view zip, const XlsxLimits& limits);
    ~XlsxPackage() override;

    bool has(const std::string& name) const;

    // The part's bytes followed by a NUL that the XML parser may look at but never parses. Throws
    // when the part is missing or damaged, or when it takes the package over its unpacked size.
    std::vector<unsigned char> part(const std::string& name);

    size_t size() const override { return zip_.size(); }
    size_t tell() const override { return pos_; }
    void seek(size_t pos) override;
    void read(unsigned char* buffer, size_t length) const override;

private:
    struct Entry {
        std::string name;
        uint32_t method, packed, unpacked, header;
    };
    uint32_t le(size_t at, int bytes) const;
    void readDirectory();

    std::string_view zip_;
    const XlsxLimits& limits_;
    size_t pos_ = 0;
    uint64_t unpacked_ = 0;
    std::unordered_map<std::string, Entry> entries_; // by lower-case name: part names ignore case
    std::unique_ptr<orcus::zip_archive> archive_;
};

} // namespace quillon
