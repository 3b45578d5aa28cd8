#pragma once

// Zip packages written by tests, so that hostile workbooks are made in the test that uses them.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon::test
{

using Parts = std::vector<std::pair<std::string, std::string>>;

inline uint32_t crc32(std::string_view data)
{
    uint32_t c = ~0u;
    for (const unsigned char b : data) {
        c ^= b;
        for (int k = 0; k < 8; ++k)
            c = c >> 1 ^ (0xEDB88320u & (0u - (c & 1)));
    }
    return ~c;
}

inline void put(std::string& out, std::initializer_list<size_t> values, int bytes)
{
    for (const size_t value : values) {
        for (int i = 0; i < bytes; ++i)
            out += static_cast<char>(value >> (8 * i) & 0xFF);
    }
}

// A member that lies about its size: deflated (in one stored deflate block) and declared in both
// headers to unpack to `unpacked` bytes.
struct ZipLie {
    std::string name;
    uint32_t unpacked = 0; // 0: the true size
};

// What zip writers add to each part and a reader must step over: extra fields (time stamps, as
// many tools write them, differing between the local header and the directory) and a comment.
struct ZipDecor {
    std::string localExtra;
    std::string centralExtra;
    std::string comment;
};

// A zip of stored (uncompressed) parts, so a test can write any package and damage it by offset.
inline std::string makeZip(const Parts& parts, const ZipLie& lie = {}, const ZipDecor& decor = {})
{
    std::string body, dir;
    const std::string zeros(12, '\0');
    for (const auto& [name, plain] : parts) {
        const bool lying = name == lie.name;
        std::string data = plain;
        size_t unpacked = data.size();
        if (lying) {
            data = "\x01";
            put(data, {plain.size(), 0xFFFFu & ~plain.size()}, 2);
            data += plain;
            unpacked = lie.unpacked ? lie.unpacked : plain.size(); // 0: the true size
        }
        const char method = lying ? 8 : 0;
        const size_t offset = body.size();
        body += "PK\3\4\x14" + zeros.substr(0, 3) + method + zeros.substr(0, 5);
        put(body, {crc32(plain), data.size(), unpacked}, 4);
        put(body, {name.size(), decor.localExtra.size()}, 2);
        dir += std::string("PK\1\2\x14\0\x14", 7) + zeros.substr(0, 3) + method + zeros.substr(0, 5);
        put(dir, {crc32(plain), data.size(), unpacked}, 4);
        put(dir, {name.size(), decor.centralExtra.size(), decor.comment.size()}, 2);
        dir += zeros.substr(0, 8);
        put(dir, {offset}, 4);
        body += name + decor.localExtra + data;
        dir += name + decor.centralExtra + decor.comment;
    }
    std::string end = "PK\5\6" + zeros.substr(0, 4);
    put(end, {parts.size(), parts.size()}, 2);
    put(end, {dir.size(), body.size()}, 4);
    return body + dir + end + std::string(2, '\0');
}

} // namespace quillon::test
