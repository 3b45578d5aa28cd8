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

// Longest head and word of a capture progress message that are kept.
constexpr size_t kPcapFieldMax = 1023;

// What "%[^^]^%[^:]:%d" takes from a capture progress message from the box, each field at most
// kPcapFieldMax characters; fields the message does not supply stay empty, the number 0.
void parseProgressMessage(const std::string& message, std::string& head, std::string& word, int& number);

} // namespace quillon
