#pragma once

#include <string>

namespace quillon
{

// The site a configuration file belongs to: capture 1 of the first line matching
// "\s*info\s*=\s*(.*)" (unanchored, case-sensitive). Lines end with LF or CR LF and may be of
// any length. Empty when the file cannot be read or no line matches.
std::string readZoneInfo(const std::string& path);

} // namespace quillon
