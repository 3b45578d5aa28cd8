#pragma once

#include <string>

namespace quillon
{

// The smallest capture the box makes when no time is given.
constexpr long long kMinPcapFileSize = 32768;

// Checks the capture page's time, file size and port texts as typed (blanks around them allowed):
// returns the fixed error text of the first check that fails ("pcap time error", ...), or an
// empty text when the request may be sent. The texts themselves are sent unchanged.
std::string checkPcapInputs(const std::string& time, const std::string& fileSize, const std::string& port);

} // namespace quillon
