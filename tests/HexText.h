#pragma once

#include <string>

namespace quillon::test {

// Lower-case hexadecimal of raw bytes, for comparing with vectors printed by xxd -p.
inline std::string hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

} // namespace quillon::test
