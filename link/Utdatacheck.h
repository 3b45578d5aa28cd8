#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon
{

// Value checks shared by the configuration page, the parameter-file import and the command line.

// True when the text holds a dotted IPv4 quad between word boundaries, anywhere in it (the check
// is not anchored: "a 10.0.0.1 b" passes, "192.168.1.300" does not).
bool isValidIp(std::string_view text);

// An optional "+" or "-" followed by one or more decimal digits and nothing else.
bool isInteger(std::string_view text);

// Hours of a time-zone text such as "+8:00", "-12:00", "0800" or "13"; false when no hour is
// found. The search is not anchored: "+14:00" gives 1.
bool parseTimeZone(std::string_view text, int32_t& hours);

// "0" gives 0 and "1" gives 1; anything else (empty included) is false.
bool parseSwitch(std::string_view text, int32_t& value);

bool isInRange(long low, long high, long value);
bool isInIntList(const int* list, int count, long value);
bool isInTextList(const char* const* list, int count, std::string_view text);

// The entries in order, separated by "," ({1, 2, 3} gives "1,2,3").
std::string joinInts(const int* list, int count);
std::string joinTexts(const char* const* list, int count);

} // namespace quillon
