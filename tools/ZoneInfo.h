#pragma once

#include <string>

namespace quillon
{

// The site a configuration file belongs to: capture 1 of the first line matching
// "\s*info\s*=\s*(.*)" (unanchored, case-sensitive). Lines end with LF or CR LF and may be of
// any length. The file is the box's, so the site comes back from its encoding as UTF-8. Empty when
// the file cannot be read or no line matches.
std::string readZoneInfo(const std::string& path);

} // namespace quillon
