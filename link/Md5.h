#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace quillon
{

// Hexadecimal MD5 over the concatenation of `parts`: the first `digestBytes` bytes of the digest
// (at most 16), two digits each, in upper case when asked. Empty on a library failure.
std::string md5Hex(std::initializer_list<std::string_view> parts, int digestBytes = 16, bool upperCase = false);

} // namespace quillon
